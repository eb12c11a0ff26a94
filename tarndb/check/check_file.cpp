#include "tarndb/check/check_file.h"

#include <cstring>

namespace tarn::check {

namespace {
constexpr int64_t kLockByte = 1;
constexpr int kLockAttempts = 20;
constexpr int kLockWaitMs = 100;
}  // namespace

TCheckFile::TCheckFile(const std::string& path) {
    // The lock is a write lock, which the system grants only to an open for writing; the
    // checker never writes. A file this user may not write is opened read-only and read
    // without the lock.
    Env* env = CurrentEnv();
    lockable_ = env->FileExists(path) && !env->IsReadOnly(path);
    file_ = env->OpenFile(path, lockable_ ? OpenAccess::ReadWrite : OpenAccess::ReadOnly,
                          OpenSharing::Everybody);
    size_ = file_->Size();
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
            size_ = file_->Size();
            return true;
        }
        CurrentEnv()->SleepMs(kLockWaitMs);
    }
    return false;
}

bool TCheckFile::Read(int64_t offset, size_t count, void* out) {
    if (!Inside(offset, static_cast<int64_t>(count))) return false;
    if (count == 0) return true;
    if (!mapTried_) {
        mapTried_ = true;
        int64_t length = 0, capacity = 0;
        map_ = file_->MapView(length, capacity);
        if (map_ != nullptr && length < size_)
            map_ = nullptr;  // mapping older than our size: read instead
    }
    if (map_ != nullptr) {
        std::memcpy(out, map_ + offset, count);
        return true;
    }
    return file_->ReadAt(offset, out, count) == count;
}

}  // namespace tarn::check
