#include "tarndb/check/check_file.h"

#include <algorithm>
#include <cstring>

namespace tarn::check {

namespace {
constexpr int64_t kLockByte = 1;
constexpr int kLockAttempts = 20;
constexpr int kLockWaitMs = 100;
// The checker reads records, items and links of a few dozen bytes each, mostly in file
// order: one read of 64 KiB serves many of them.
constexpr size_t kWindowSize = 64 * 1024;
constexpr int64_t kWindowAlign = 4096;
}  // namespace

TCheckFile::TCheckFile(const std::string& path) {
    // The lock is a write lock, which the system grants only to an open for writing; the
    // checker never writes. A file this user may not write is opened read-only and read
    // without the lock.
    Env* env = CurrentEnv();
    lockable_ = env->FileExists(path) && !env->IsReadOnly(path);
    file_ = env->OpenFile(path, lockable_ ? OpenAccess::ReadWrite : OpenAccess::ReadOnly,
                          OpenSharing::Everybody);
    diskSize_ = size_ = file_->Size();
}

TCheckFile::~TCheckFile() {
    if (locked_) file_->UnlockByte(kLockByte);
}

bool TCheckFile::Lock() {
    if (!lockable_) return true;
    for (int i = 0; i < kLockAttempts; ++i) {
        if (file_->TryLockByte(kLockByte)) {
            locked_ = true;
            // What another writer finished before we got the lock counts.
            diskSize_ = size_ = file_->Size();
            windowStart_ = -1;
            return true;
        }
        CurrentEnv()->SleepMs(kLockWaitMs);
    }
    return false;
}

void TCheckFile::LayOver(const journal::Contents& journal) {
    for (const journal::SavedPage& page : journal.pages) pages_[page.offset] = page.bytes;
    size_ = journal.header.originalLength;
}

bool TCheckFile::Short(size_t got, size_t wanted) {
    if (got >= wanted) return false;
    try {
        cutTo_ = file_->Size();
    } catch (const std::exception&) {
        cutTo_ = 0;
    }
    return true;
}

bool TCheckFile::ReadCached(int64_t offset, size_t count, uint8_t* out) {
    const int64_t end = offset + static_cast<int64_t>(count);
    if (count > kWindowSize / 2) return !Short(file_->ReadAt(offset, out, count), count);
    if (windowStart_ < 0 || offset < windowStart_ ||
        end > windowStart_ + static_cast<int64_t>(window_.size())) {
        windowStart_ = -1;
        int64_t start = offset - offset % kWindowAlign;
        window_.resize(kWindowSize);
        size_t want = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(kWindowSize), diskSize_ - start));
        window_.resize(file_->ReadAt(start, window_.data(), want));
        windowStart_ = start;
        // A window shorter than asked: the file was cut since its length was seen.
        if (Short(window_.size(), want)) return false;
    }
    std::memcpy(out, window_.data() + (offset - windowStart_), count);
    return true;
}

bool TCheckFile::ReadDisk(int64_t offset, size_t count, void* out) {
    if (offset < 0 || static_cast<int64_t>(count) > diskSize_ - offset || offset > diskSize_)
        return false;
    if (count == 0) return true;
    return ReadCached(offset, count, static_cast<uint8_t*>(out));
}

bool TCheckFile::Read(int64_t offset, size_t count, void* out) {
    if (!Inside(offset, static_cast<int64_t>(count))) return false;
    if (count == 0) return true;
    uint8_t* to = static_cast<uint8_t*>(out);
    if (!ReadDisk(offset, count, to)) return false;
    if (pages_.empty()) return true;
    // Saved pages that reach into [offset, end) replace the file's bytes there.
    const int64_t end = offset + static_cast<int64_t>(count);
    auto it = pages_.upper_bound(offset);
    if (it != pages_.begin()) --it;
    for (; it != pages_.end() && it->first < end; ++it) {
        const int64_t from = std::max(offset, it->first);
        const int64_t stop = std::min(end, it->first + static_cast<int64_t>(it->second.size()));
        if (from >= stop) continue;
        std::memcpy(to + (from - offset), it->second.data() + (from - it->first),
                    static_cast<size_t>(stop - from));
    }
    return true;
}

}  // namespace tarn::check
