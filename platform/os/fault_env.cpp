#include "platform/os/fault_env.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "tarndb/errors.h"

namespace tarn {
namespace {

class FaultFile final : public File {
public:
    FaultFile(std::unique_ptr<File> inner, FaultEnv* env,
              std::shared_ptr<FaultEnv::Tracked> tracked)
        : File(inner->Path()), inner_(std::move(inner)), env_(env), tracked_(std::move(tracked)) {}

    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        return inner_->ReadAt(offset, buffer, count);
    }
    void WriteAt(int64_t offset, const void* buffer, size_t count) override {
        int err = EIO;
        switch (env_->NextWrite(err)) {
            case FaultEnv::WriteFate::Normal:
                Tracked();
                inner_->WriteAt(offset, buffer, count);
                if (tracked_ && env_->Recording()) env_->Recorded(*tracked_, offset, buffer, count);
                return;
            case FaultEnv::WriteFate::Short:
                Tracked();
                inner_->WriteAt(offset, buffer, count / 2);
                if (tracked_ && env_->Recording())
                    env_->Recorded(*tracked_, offset, buffer, count / 2);
                break;
            case FaultEnv::WriteFate::Fail:
                break;
        }
        throw EInOutError(
            Format("Write failed on \"%s\": %s (injected)", Path().c_str(), std::strerror(err)));
    }
    int64_t Size() override { return inner_->Size(); }
    // A truncation changes the file like a write: it counts as one and meets the same faults.
    void Truncate(int64_t length) override {
        int err = EIO;
        if (env_->NextWrite(err) == FaultEnv::WriteFate::Normal) {
            Tracked();
            inner_->Truncate(length);
            if (tracked_ && env_->Recording()) env_->RecordedTruncate(*tracked_, length);
            return;
        }
        throw EInOutError(
            Format("Truncate failed on \"%s\": %s (injected)", Path().c_str(), std::strerror(err)));
    }
    // With power cuts on, a sync only records what it would make durable.
    void Sync() override {
        env_->ThrowIfPowerOff("Sync", Path());
        if (!env_->Recording()) return inner_->Sync();
        Tracked();
        env_->RecordedSync(*tracked_);
    }
    bool TryLockByte(int64_t offset) override {
        return !env_->LocksRefused() && inner_->TryLockByte(offset);
    }
    bool TryReadLockByte(int64_t offset) override {
        return !env_->LocksRefused() && inner_->TryReadLockByte(offset);
    }
    void UnlockByte(int64_t offset) override { inner_->UnlockByte(offset); }
    bool LockHeldElsewhere(int64_t offset) override { return inner_->LockHeldElsewhere(offset); }
    bool TryLockRange(int64_t offset, int64_t count, bool write) override {
        return !env_->LocksRefused() && inner_->TryLockRange(offset, count, write);
    }
    void UnlockRange(int64_t offset, int64_t count) override { inner_->UnlockRange(offset, count); }
    const uint8_t* MapView(int64_t& length, int64_t& capacity) override {
        return inner_->MapView(length, capacity);
    }

private:
    // A file opened before power cuts were asked for is recorded from its first change.
    void Tracked() {
        if (!tracked_ && env_->Recording()) tracked_ = env_->Track(Path(), *inner_);
    }

    std::unique_ptr<File> inner_;
    FaultEnv* env_;
    std::shared_ptr<FaultEnv::Tracked> tracked_;
};

std::vector<uint8_t> ReadWhole(File& file) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(file.Size(), 0)));
    size_t got = bytes.empty() ? 0 : file.ReadAt(0, bytes.data(), bytes.size());
    bytes.resize(got);
    return bytes;
}

std::string ParentOf(const std::string& fullPath) {
    return std::filesystem::path(fullPath).parent_path().string();
}

// What survives of a file after a power cut: its synced content, or with a tear generator
// a seeded mixture of synced and unsynced sectors (see the header).
std::vector<uint8_t> Survivor(const FaultEnv::Tracked& file, std::mt19937* tear) {
    if (tear == nullptr) return file.synced;
    size_t length = file.synced.size();
    if (file.current.size() != length && ((*tear)() & 1u)) length = file.current.size();
    std::vector<uint8_t> out(length, 0);
    std::copy_n(file.synced.begin(), std::min(length, file.synced.size()), out.begin());
    for (int64_t sector : file.dirty) {
        if (((*tear)() & 1u) == 0) continue;
        size_t from = static_cast<size_t>(sector * FaultEnv::kSectorSize);
        size_t to = std::min(from + static_cast<size_t>(FaultEnv::kSectorSize), length);
        for (size_t i = from; i < to; ++i) out[i] = i < file.current.size() ? file.current[i] : 0;
    }
    return out;
}

void MarkSectors(FaultEnv::Tracked& file, int64_t from, int64_t to) {
    if (to <= from) return;
    for (int64_t s = from / FaultEnv::kSectorSize; s <= (to - 1) / FaultEnv::kSectorSize; ++s)
        file.dirty.insert(s);
}

}  // namespace

void FaultEnv::FailWrite(long n, int err, bool sticky) {
    failAt_ = writes_ + n;
    failErr_ = err;
    failSticky_ = sticky;
}

void FaultEnv::ShortWrite(long n) { shortAt_ = writes_ + n; }

void FaultEnv::CrashAfterWrites(long n) { crashAfter_ = writes_ + n; }

void FaultEnv::Clear() {
    failAt_ = 0;
    failSticky_ = false;
    shortAt_ = 0;
    crashAfter_ = -1;
    crashed_ = false;
    refuseLocks_ = false;
}

FaultEnv::WriteFate FaultEnv::NextWrite(int& err) {
    long n = ++writes_;
    long crash = crashAfter_.load();
    if (crash >= 0 && n > crash) {
        crashed_ = true;
        err = EIO;
        return WriteFate::Fail;
    }
    long failAt = failAt_.load();
    if (failAt != 0 && (n == failAt || (failSticky_ && n > failAt))) {
        err = failErr_;
        return WriteFate::Fail;
    }
    if (shortAt_.load() == n) {
        err = ENOSPC;
        return WriteFate::Short;
    }
    return WriteFate::Normal;
}

// ---- power cuts -----------------------------------------------------------------------------

void FaultEnv::CutPowerAfterWrites(long n, std::optional<uint32_t> tearSeed) {
    std::lock_guard<std::mutex> lock(powerMutex_);
    tearSeed_ = tearSeed;
    crashed_ = false;
    crashAfter_ = writes_ + n;
    powerMode_ = true;
}

void FaultEnv::ThrowIfPowerOff(const char* what, const std::string& path) const {
    if (powerMode_.load() && crashed_.load())
        throw EInOutError(
            Format("%s failed on \"%s\": the power is off (injected)", what, path.c_str()));
}

std::shared_ptr<FaultEnv::Tracked> FaultEnv::Track(const std::string& path, File& inner) {
    std::string key = Key(path);
    std::lock_guard<std::mutex> lock(powerMutex_);
    auto it = entries_.find(key);
    if (it != entries_.end() && it->second) return it->second;
    // First reached now: what it holds counts as durable, name and content.
    auto tracked = std::make_shared<Tracked>();
    tracked->current = ReadWhole(inner);
    tracked->synced = tracked->current;
    entries_[key] = tracked;
    durable_.try_emplace(key, tracked);
    return tracked;
}

void FaultEnv::Recorded(Tracked& file, int64_t offset, const void* buffer, size_t count) {
    if (count == 0 || offset < 0) return;
    std::lock_guard<std::mutex> lock(powerMutex_);
    size_t end = static_cast<size_t>(offset) + count;
    if (file.current.size() < end) file.current.resize(end, 0);
    std::memcpy(file.current.data() + offset, buffer, count);
    MarkSectors(file, offset, static_cast<int64_t>(end));
}

void FaultEnv::RecordedTruncate(Tracked& file, int64_t length) {
    std::lock_guard<std::mutex> lock(powerMutex_);
    int64_t old = static_cast<int64_t>(file.current.size());
    file.current.resize(static_cast<size_t>(std::max<int64_t>(length, 0)), 0);
    MarkSectors(file, std::min(old, length), std::max(old, length));
}

void FaultEnv::RecordedSync(Tracked& file) {
    std::lock_guard<std::mutex> lock(powerMutex_);
    file.synced = file.current;
    file.dirty.clear();
}

void FaultEnv::ApplyPowerCut() {
    std::lock_guard<std::mutex> lock(powerMutex_);
    std::optional<std::mt19937> tear;
    if (tearSeed_) tear.emplace(*tearSeed_);
    Env* real = Target();
    for (const auto& [path, file] : durable_) {
        if (!file) {
            real->RemoveFile(path);
            continue;
        }
        std::vector<uint8_t> bytes = Survivor(*file, tear ? &*tear : nullptr);
        std::unique_ptr<File> out =
            real->FileExists(path)
                ? real->OpenFile(path, OpenAccess::ReadWrite, OpenSharing::Everybody)
                : real->CreateFile(path, OpenSharing::Everybody);
        out->Truncate(static_cast<int64_t>(bytes.size()));
        if (!bytes.empty()) out->WriteAt(0, bytes.data(), bytes.size());
    }
    entries_.clear();
    durable_.clear();
    tearSeed_.reset();
    powerMode_ = false;
    Clear();
}

// ---- the Env's calls ------------------------------------------------------------------------

bool FaultEnv::RemoveFile(const std::string& path) {
    int err = EIO;
    if (NextWrite(err) != WriteFate::Normal)
        throw EInOutError(
            Format("Remove failed on \"%s\": %s (injected)", path.c_str(), std::strerror(err)));
    if (!foldersWritable_.load()) {
        if (!EnvWrapper::FileExists(path)) return false;
        throw EInOutError(
            Format("Remove failed on \"%s\": %s", Key(path).c_str(), std::strerror(EACCES)));
    }
    if (!Recording()) return EnvWrapper::RemoveFile(path);
    std::string key = Key(path);
    {
        // A file never reached before keeps its content, for the cut that brings it back.
        std::lock_guard<std::mutex> lock(powerMutex_);
        if (!entries_.count(key) && EnvWrapper::FileExists(path)) {
            auto file = EnvWrapper::OpenFile(path, OpenAccess::ReadOnly, OpenSharing::Everybody);
            auto tracked = std::make_shared<Tracked>();
            tracked->current = ReadWhole(*file);
            tracked->synced = tracked->current;
            entries_[key] = tracked;
            durable_.try_emplace(key, tracked);
        }
    }
    bool removed = EnvWrapper::RemoveFile(path);
    std::lock_guard<std::mutex> lock(powerMutex_);
    if (removed) {
        entries_[key] = nullptr;
        durable_.try_emplace(key, nullptr);
    }
    return removed;
}

void FaultEnv::SyncDirectoryOf(const std::string& path) {
    ThrowIfPowerOff("Directory sync", path);
    if (!Recording()) return EnvWrapper::SyncDirectoryOf(path);
    std::string folder = ParentOf(Key(path));
    std::lock_guard<std::mutex> lock(powerMutex_);
    for (const auto& [entry, file] : entries_)
        if (ParentOf(entry) == folder) durable_[entry] = file;
}

bool FaultEnv::DirectoryWritable(const std::string& path) {
    return foldersWritable_.load() && EnvWrapper::DirectoryWritable(path);
}

std::unique_ptr<File> FaultEnv::Wrap(std::unique_ptr<File> f, std::shared_ptr<Tracked> tracked) {
    return std::make_unique<FaultFile>(std::move(f), this, std::move(tracked));
}

std::unique_ptr<File> FaultEnv::OpenFile(const std::string& path, OpenAccess access,
                                         OpenSharing sharing) {
    return Wrap(EnvWrapper::OpenFile(path, access, sharing), nullptr);
}

std::unique_ptr<File> FaultEnv::CreateFile(const std::string& path, OpenSharing sharing) {
    ThrowIfPowerOff("Create", path);
    if (!foldersWritable_.load())
        throw EFOpenError(
            Format("Cannot open file \"%s\". %s", Key(path).c_str(), std::strerror(EACCES)));
    auto file = EnvWrapper::CreateFile(path, sharing);
    if (!Recording()) return Wrap(std::move(file), nullptr);
    // A new file: nothing of it is durable until its directory is synced.
    auto tracked = std::make_shared<Tracked>();
    std::string key = Key(path);
    {
        std::lock_guard<std::mutex> lock(powerMutex_);
        durable_.try_emplace(key, nullptr);
        entries_[key] = tracked;
    }
    return Wrap(std::move(file), std::move(tracked));
}

}  // namespace tarn
