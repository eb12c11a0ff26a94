// The production Env over POSIX calls: pread/pwrite, open-file-description locks, a
// shared read-only mapping for reads, fdatasync, fsync of a directory.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/os/env.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

// The byte whose lock stands for the sharing mode of an open; far past any data of a
// database file, whose offsets are 32-bit signed. A shared open holds a read lock on it,
// an exclusive one for writing a write lock.
constexpr off_t kSharingByte = 0x80000000LL;
// An exclusive open for reading only cannot hold a write lock (the system refuses it on
// such a descriptor). It holds a read lock here, which shared opens look for.
constexpr off_t kReadOnlyExclusiveByte = kSharingByte + 1;

std::string SystemText(int err) { return std::strerror(err); }

[[noreturn]] void ThrowOpen(const std::string& path, const std::string& why) {
    throw EFOpenError(Format("Cannot open file \"%s\". %s", path.c_str(), why.c_str()));
}

[[noreturn]] void ThrowIo(const char* what, const std::string& path, int err) {
    throw EInOutError(
        Format("%s failed on \"%s\": %s", what, path.c_str(), SystemText(err).c_str()));
}

bool OfdLock(int fd, short type, off_t offset, off_t length = 1) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR) continue;
        return false;
    }
    return true;
}

// Whether an open other than `fd`'s holds any lock on the byte at `offset` (asked as for a
// write lock, which conflicts with every lock; a read-only descriptor may ask). True with
// errno EAGAIN when one does, or with the system's errno when the question fails.
bool HeldElsewhere(int fd, off_t offset) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;
    if (fl.l_type == F_UNLCK) return false;
    errno = EAGAIN;
    return true;
}

// Takes the locks that stand for an open's sharing mode; false (errno set) when another
// open's mode excludes it. Exclusive through a read-only descriptor, in this order: mark
// the second byte, make sure no other open holds either byte, hold the sharing byte like
// a shared open (so that exclusive writers stay out). Shared opens take the sharing byte
// first and then look at the second one. Of two opens that race, one sees the other (both
// may give up), so two never hold the file against each other's mode.
bool TakeSharingLocks(int fd, OpenSharing sharing, bool writable) {
    switch (sharing) {
        case OpenSharing::Everybody:
            return true;
        case OpenSharing::Shared:
            return OfdLock(fd, F_RDLCK, kSharingByte) && !HeldElsewhere(fd, kReadOnlyExclusiveByte);
        case OpenSharing::Exclusive:
            if (writable) return OfdLock(fd, F_WRLCK, kSharingByte);
            return OfdLock(fd, F_RDLCK, kReadOnlyExclusiveByte) &&
                   !HeldElsewhere(fd, kReadOnlyExclusiveByte) && !HeldElsewhere(fd, kSharingByte) &&
                   OfdLock(fd, F_RDLCK, kSharingByte);
    }
    return false;
}

class PosixFile final : public File {
public:
    PosixFile(std::string path, int fd, bool writable)
        : File(std::move(path)), fd_(fd), writable_(writable) {}
    ~PosixFile() override {
        if (map_) munmap(map_, static_cast<size_t>(mapLength_));
        close(fd_);  // drops every OFD lock of this open
    }

    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        size_t done = 0;
        auto* out = static_cast<uint8_t*>(buffer);
        while (done < count) {
            ssize_t n = pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                ThrowIo("Read", Path(), errno);
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

    void WriteAt(int64_t offset, const void* buffer, size_t count) override {
        size_t done = 0;
        const auto* in = static_cast<const uint8_t*>(buffer);
        while (done < count) {
            ssize_t n = pwrite(fd_, in + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                ThrowIo("Write", Path(), errno);
            }
            done += static_cast<size_t>(n);
        }
    }

    int64_t Size() override {
        struct stat st;
        if (fstat(fd_, &st) != 0) ThrowIo("Stat", Path(), errno);
        return st.st_size;
    }

    void Truncate(int64_t length) override {
        while (ftruncate(fd_, static_cast<off_t>(length)) != 0) {
            if (errno == EINTR) continue;
            ThrowIo("Truncate", Path(), errno);
        }
    }

    void Sync() override {
        if (fdatasync(fd_) != 0) ThrowIo("Flush", Path(), errno);
    }

    // An open for reading only cannot hold a write lock; its shared lock still excludes
    // every writer, which is what a reader needs.
    bool TryLockByte(int64_t offset) override {
        return OfdLock(fd_, writable_ ? F_WRLCK : F_RDLCK, offset);
    }
    bool TryReadLockByte(int64_t offset) override { return OfdLock(fd_, F_RDLCK, offset); }
    void UnlockByte(int64_t offset) override { OfdLock(fd_, F_UNLCK, offset); }
    bool LockHeldElsewhere(int64_t offset) override { return HeldElsewhere(fd_, offset); }
    bool TryLockRange(int64_t offset, int64_t count, bool write) override {
        return OfdLock(fd_, write && writable_ ? F_WRLCK : F_RDLCK, offset, count);
    }
    void UnlockRange(int64_t offset, int64_t count) override {
        OfdLock(fd_, F_UNLCK, offset, count);
    }

    const uint8_t* MapView(int64_t& length, int64_t& capacity) override {
        int64_t size = Size();
        length = size;
        if (size <= 0) {
            capacity = 0;
            return nullptr;
        }
        if (size > mapLength_) {
            // Reserve room to grow (files of this format never shrink): half as much again,
            // at least 64 MiB, so a growing file is mapped anew only now and then. Pages of a
            // shared mapping are the page cache, so other processes' writes show at once.
            int64_t want = std::max<int64_t>(size + size / 2, size + (64 << 20));
            void* p = map_
                          ? mremap(map_, static_cast<size_t>(mapLength_), static_cast<size_t>(want),
                                   MREMAP_MAYMOVE)
                          : mmap(nullptr, static_cast<size_t>(want), PROT_READ, MAP_SHARED, fd_, 0);
            if (p == MAP_FAILED) {
                if (map_) munmap(map_, static_cast<size_t>(mapLength_));
                map_ = nullptr;
                mapLength_ = 0;
                capacity = 0;
                return nullptr;
            }
            map_ = p;
            mapLength_ = want;
        }
        capacity = mapLength_;
        return static_cast<const uint8_t*>(map_);
    }

    int fd() const { return fd_; }

private:
    int fd_;
    bool writable_;
    void* map_ = nullptr;
    int64_t mapLength_ = 0;
};

std::unique_ptr<File> FinishOpen(const std::string& path, int fd, OpenSharing sharing,
                                 bool writable) {
    if (!TakeSharingLocks(fd, sharing, writable)) {
        int err = errno;
        close(fd);  // drops whatever part of the locks was taken
        ThrowOpen(path, err == EAGAIN || err == EACCES
                            ? "The file is in use by another process (sharing violation)."
                            : SystemText(err));
    }
    return std::make_unique<PosixFile>(path, fd, writable);
}

class PosixEnv final : public Env {
public:
    bool FileExists(const std::string& path) override {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool IsReadOnly(const std::string& path) override {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return false;
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
        return access(path.c_str(), W_OK) != 0;
    }

    std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                   OpenSharing sharing) override {
        std::string full = FullPath(path);
        // Only regular files are opened, and the open never waits: O_NONBLOCK keeps a FIFO
        // from blocking until a writer comes, and what is not a regular file is refused.
        int flags = (access == OpenAccess::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
        int fd = open(path.c_str(), flags);
        if (fd < 0) ThrowOpen(full, SystemText(errno));
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            int err = errno;
            close(fd);
            ThrowOpen(full, SystemText(err));
        }
        if (!S_ISREG(st.st_mode)) {
            close(fd);
            ThrowOpen(full, S_ISDIR(st.st_mode) ? SystemText(EISDIR) : "Not a regular file");
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return FinishOpen(full, fd, sharing, access == OpenAccess::ReadWrite);
    }

    std::unique_ptr<File> CreateFile(const std::string& path, OpenSharing sharing) override {
        std::string full = FullPath(path);
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) ThrowOpen(full, SystemText(errno));
        return FinishOpen(full, fd, sharing, true);
    }

    bool RemoveFile(const std::string& path) override {
        if (unlink(path.c_str()) == 0) return true;
        if (errno == ENOENT) return false;
        ThrowIo("Remove", FullPath(path), errno);
    }

    void SyncDirectoryOf(const std::string& path) override {
        std::string folder = std::filesystem::path(FullPath(path)).parent_path().string();
        if (folder.empty()) folder = ".";
        int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) ThrowIo("Directory sync", FullPath(path), errno);
        // A file system that cannot sync a directory (EINVAL) keeps its entries by other
        // means; there is nothing more to do.
        int rc = fsync(fd), err = errno;
        close(fd);
        if (rc != 0 && err != EINVAL) ThrowIo("Directory sync", FullPath(path), err);
    }

    bool DirectoryWritable(const std::string& path) override {
        std::string folder = std::filesystem::path(FullPath(path)).parent_path().string();
        if (folder.empty()) folder = ".";
        // Creating and removing an entry needs write and search permission on the folder
        // (a read-only file system answers EROFS here too).
        return access(folder.c_str(), W_OK | X_OK) == 0;
    }

    void SleepMs(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    std::string FullPath(const std::string& path) override {
        std::error_code ec;
        auto abs = std::filesystem::absolute(path, ec);
        return ec ? path : abs.lexically_normal().string();
    }

    std::string RealPath(const std::string& path) override {
        std::error_code ec;
        auto canonical = std::filesystem::canonical(path, ec);
        return ec ? FullPath(path) : canonical.string();
    }
};

std::atomic<Env*> g_current{nullptr};

}  // namespace

Env* Env::Default() {
    static PosixEnv env;
    return &env;
}

Env* CurrentEnv() {
    Env* e = g_current.load(std::memory_order_acquire);
    return e ? e : Env::Default();
}

void SetCurrentEnv(Env* env) { g_current.store(env, std::memory_order_release); }

}  // namespace tarn
