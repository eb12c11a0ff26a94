// The one way the version manager changes files on disk: storing copies, putting a copy
// back, removing copies and making backup directories all go through a TFileSystem, so
// that tests can fail any step or "crash" after it. Each method is one step that changes
// the disk and behaves as the system call it names (0 or a descriptor on success, -1 with
// errno set on failure); CopyData raises as described there.
//
// The program uses the system's (TFileSystem::Current() unless a test installed another).
// Tests put app/testing/crash_file_system.h underneath, which takes the fate of every step
// from the engine's fault-injecting Env (platform/os/fault_env.h): one count of writes then
// spans the catalogue's writes and the copies', and a crash after write N stops both.
// User-interface thread only.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <cstdint>
#include <ctime>

namespace filever {

class TFileSystem {
public:
    virtual ~TFileSystem() = default;

    // The file system in use; SetCurrent(nullptr) puts the system's back.
    static TFileSystem& Current();
    static void SetCurrent(TFileSystem* fs);

    // mkostemp(O_CLOEXEC): creates a new file from the template ("...XXXXXX", replaced by
    // the name made); a descriptor open for writing, or -1.
    virtual int MakeTemp(QByteArray& templ);
    // The bytes of `in` from its current offset to its end (at least `size` of them) to
    // `out`: shared (FICLONE) or copied in the kernel where the file systems allow, else
    // read and written. Raises tarn::EInOutError naming `inPath` for a failed read and
    // `outPath` for a failed write.
    virtual void CopyData(int in, int out, int64_t size, const QByteArray& inPath,
                          const QByteArray& outPath);
    virtual int SetTimes(int fd, const struct timespec times[2]);  // futimens
    virtual int SetMode(int fd, mode_t mode);                      // fchmod
    virtual int SetOwner(int fd, uid_t uid, gid_t gid);            // fchown
    virtual int SyncData(int fd);                                  // fdatasync
    virtual int Rename(const QByteArray& from, const QByteArray& to);
    // Forces a directory's entries (a rename or removal in it) to the disk.
    virtual int SyncDir(const QByteArray& dir);
    // syncfs on the file system that holds `path`: every file written there and every
    // name made there reaches the disk (one flush for the copies of a whole batch).
    virtual int SyncFileSystem(const QByteArray& path);
    virtual int Remove(const QByteArray& path);     // unlink
    virtual int RemoveDir(const QByteArray& path);  // rmdir: an empty directory only
    // The directory and every missing parent (mkdir -p); 0 when it exists already.
    virtual int MakePath(const QByteArray& dir);
};

// Installs a file system for a scope (tests).
class TScopedFileSystem {
public:
    explicit TScopedFileSystem(TFileSystem* fs) { TFileSystem::SetCurrent(fs); }
    ~TScopedFileSystem() { TFileSystem::SetCurrent(nullptr); }
    TScopedFileSystem(const TScopedFileSystem&) = delete;
    TScopedFileSystem& operator=(const TScopedFileSystem&) = delete;
};

}  // namespace filever
