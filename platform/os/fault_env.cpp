#include "platform/os/fault_env.h"

#include <cstring>

#include "tarndb/errors.h"

namespace tarn {
namespace {

class FaultFile final : public File {
public:
    FaultFile(std::unique_ptr<File> inner, FaultEnv* env)
        : File(inner->Path()), inner_(std::move(inner)), env_(env) {}

    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        return inner_->ReadAt(offset, buffer, count);
    }
    void WriteAt(int64_t offset, const void* buffer, size_t count) override {
        int err = EIO;
        switch (env_->NextWrite(err)) {
            case FaultEnv::WriteFate::Normal:
                inner_->WriteAt(offset, buffer, count);
                return;
            case FaultEnv::WriteFate::Short:
                inner_->WriteAt(offset, buffer, count / 2);
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
        if (env_->NextWrite(err) == FaultEnv::WriteFate::Normal) return inner_->Truncate(length);
        throw EInOutError(
            Format("Truncate failed on \"%s\": %s (injected)", Path().c_str(), std::strerror(err)));
    }
    void Sync() override { inner_->Sync(); }
    bool TryLockByte(int64_t offset) override {
        return !env_->LocksRefused() && inner_->TryLockByte(offset);
    }
    void UnlockByte(int64_t offset) override { inner_->UnlockByte(offset); }
    const uint8_t* MapView(int64_t& length, int64_t& capacity) override {
        return inner_->MapView(length, capacity);
    }

private:
    std::unique_ptr<File> inner_;
    FaultEnv* env_;
};

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
    refuseLocks_ = false;
}

FaultEnv::WriteFate FaultEnv::NextWrite(int& err) {
    long n = ++writes_;
    long crash = crashAfter_.load();
    if (crash >= 0 && n > crash) {
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

bool FaultEnv::RemoveFile(const std::string& path) {
    int err = EIO;
    if (NextWrite(err) == WriteFate::Normal) return EnvWrapper::RemoveFile(path);
    throw EInOutError(
        Format("Remove failed on \"%s\": %s (injected)", path.c_str(), std::strerror(err)));
}

std::unique_ptr<File> FaultEnv::Wrap(std::unique_ptr<File> f) {
    return std::make_unique<FaultFile>(std::move(f), this);
}

std::unique_ptr<File> FaultEnv::OpenFile(const std::string& path, OpenAccess access,
                                         OpenSharing sharing) {
    return Wrap(EnvWrapper::OpenFile(path, access, sharing));
}

std::unique_ptr<File> FaultEnv::CreateFile(const std::string& path, OpenSharing sharing) {
    return Wrap(EnvWrapper::CreateFile(path, sharing));
}

}  // namespace tarn
