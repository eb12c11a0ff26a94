// The one seam through which the system reaches the operating system's files, locks and
// clock. Production code uses Env::Default(); tests put a fault-injecting Env
// (platform/os/fault_env.h) underneath to fail writes, shorten them, refuse locks or
// "crash" after N writes.
//
// Thread-safety: an Env is shared; a File is used by one thread at a time.
// Errors: opening raises EFOpenError naming the full path and the system's error text;
// I/O failures raise EInOutError likewise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tarn {

enum class OpenAccess { ReadOnly, ReadWrite };

// How an open shares the file with other opens (emulated with locks far past any data):
// `Everybody` takes no sharing lock at all, `Shared` a read lock (fails while someone holds
// the file exclusively), `Exclusive` a write lock (fails while anyone else holds it open
// Shared or Exclusive; an open for reading only, which cannot hold a write lock, gets the
// same exclusion through a second byte).
enum class OpenSharing { Everybody, Shared, Exclusive };

class File {
public:
    virtual ~File() = default;

    const std::string& Path() const { return path_; }

    // Reads up to `count` bytes at `offset`; returns the number read (short only at the
    // end of the file).
    virtual size_t ReadAt(int64_t offset, void* buffer, size_t count) = 0;
    // Writes all `count` bytes at `offset` or raises EInOutError.
    virtual void WriteAt(int64_t offset, const void* buffer, size_t count) = 0;
    virtual int64_t Size() = 0;
    // Cuts the file to `length` bytes (or extends it with zeros). Raises EInOutError.
    virtual void Truncate(int64_t length) = 0;
    // Forces written data to the disk (fdatasync).
    virtual void Sync() = 0;
    // Non-blocking lock of one byte, exclusive between opens (also two opens in one
    // process); an open for reading only takes it shared, which still excludes every
    // writer. Returns false when another open holds it.
    virtual bool TryLockByte(int64_t offset) = 0;
    // Non-blocking shared lock of one byte: any number of opens may hold it together, and it
    // keeps every exclusive lock of another open off the byte. Within one open it replaces
    // the open's exclusive lock on the byte (a downgrade, which never fails), and
    // TryLockByte replaces it (an upgrade, which fails while another open holds the byte).
    // Returns false when another open holds the byte exclusively.
    virtual bool TryReadLockByte(int64_t offset) = 0;
    virtual void UnlockByte(int64_t offset) = 0;
    // Whether an open other than this one holds any lock on the byte (an open for reading
    // only may ask too).
    virtual bool LockHeldElsewhere(int64_t offset) = 0;
    // The same for `count` bytes from `offset` at once, in one call: all of them or none
    // (`write`: exclusive, as TryLockByte; else shared, as TryReadLockByte). UnlockRange
    // drops whatever this open holds there.
    virtual bool TryLockRange(int64_t offset, int64_t count, bool write) = 0;
    virtual void UnlockRange(int64_t offset, int64_t count) = 0;

    // A read-only view of [0, Size()) of the file as the system sees it now, including
    // other processes' writes. Returns nullptr when the file cannot be mapped; `length`
    // receives the file's current size and `capacity` the length of the mapping, which is
    // reserved with room to grow so that a growing file is not mapped anew on every call:
    // bytes in [length, capacity) may be read once this process knows they were written.
    virtual const uint8_t* MapView(int64_t& length, int64_t& capacity) = 0;

protected:
    explicit File(std::string path) : path_(std::move(path)) {}

private:
    std::string path_;
};

class Env {
public:
    virtual ~Env() = default;
    static Env* Default();

    virtual bool FileExists(const std::string& path) = 0;
    // True when the user may not write the file: no write permission for this user, or no
    // write bit in its mode at all (the read-only attribute, also for root).
    virtual bool IsReadOnly(const std::string& path) = 0;
    // Opens an existing file. Raises EFOpenError.
    virtual std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                           OpenSharing sharing) = 0;
    // Creates a new file (fails when it exists), opened read-write with `sharing`.
    virtual std::unique_ptr<File> CreateFile(const std::string& path, OpenSharing sharing) = 0;
    // Removes a file; false when there was none. Raises EInOutError when the system refuses.
    virtual bool RemoveFile(const std::string& path) = 0;
    // Makes the creation, removal or renaming of the file `path` durable: syncs the
    // directory that holds it, so that a power cut cannot bring back a removed file or lose
    // a created one. Raises EInOutError.
    virtual void SyncDirectoryOf(const std::string& path) = 0;
    // True when this user may create and remove files in the directory that holds the file
    // `path` (where a rollback journal beside it would go). Raises nothing.
    virtual bool DirectoryWritable(const std::string& path) = 0;
    virtual void SleepMs(int milliseconds) = 0;
    // The absolute form of a path (no symlink resolution).
    virtual std::string FullPath(const std::string& path) = 0;
    // The canonical absolute name of an existing file: every symbolic link on the way and
    // the last one resolved, "." and ".." removed. When the system cannot resolve it (the
    // file is gone, a folder on the way is not searchable) the FullPath of `path`.
    virtual std::string RealPath(const std::string& path) = 0;
};

// Forwards everything to another Env; fault-injecting layers derive from it.
class EnvWrapper : public Env {
public:
    explicit EnvWrapper(Env* target) : target_(target) {}
    Env* Target() const { return target_; }

    bool FileExists(const std::string& path) override { return target_->FileExists(path); }
    bool IsReadOnly(const std::string& path) override { return target_->IsReadOnly(path); }
    std::unique_ptr<File> OpenFile(const std::string& path, OpenAccess access,
                                   OpenSharing sharing) override {
        return target_->OpenFile(path, access, sharing);
    }
    std::unique_ptr<File> CreateFile(const std::string& path, OpenSharing sharing) override {
        return target_->CreateFile(path, sharing);
    }
    bool RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
    void SyncDirectoryOf(const std::string& path) override { target_->SyncDirectoryOf(path); }
    bool DirectoryWritable(const std::string& path) override {
        return target_->DirectoryWritable(path);
    }
    void SleepMs(int milliseconds) override { target_->SleepMs(milliseconds); }
    std::string FullPath(const std::string& path) override { return target_->FullPath(path); }
    std::string RealPath(const std::string& path) override { return target_->RealPath(path); }

private:
    Env* target_;
};

// The Env the engine uses; tests may install another for the duration of a test.
Env* CurrentEnv();
void SetCurrentEnv(Env* env);  // nullptr restores Env::Default()

}  // namespace tarn
