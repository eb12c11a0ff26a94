// The guard that lets only one instance of the version manager run per user: an
// exclusive flock on "<name>.lock" in $XDG_RUNTIME_DIR (else the temporary directory, with
// the user id in the file's name). The lock lives as long as the returned object, in
// practice the whole process; the kernel drops it when the process dies, so an instance
// that ended abnormally never blocks the next one.
#pragma once

#include <QString>
#include <memory>

namespace filever {

class TSingleInstanceLock {
public:
    ~TSingleInstanceLock();
    TSingleInstanceLock(const TSingleInstanceLock&) = delete;
    TSingleInstanceLock& operator=(const TSingleInstanceLock&) = delete;

    enum class TResult { Acquired, HeldByOther, Unavailable };

    // Tries to own the lock called `name` without waiting. HeldByOther: another instance
    // runs. Unavailable: the lock file could not be opened (no usable directory, or a
    // file of another user in its place); the caller decides whether to run unguarded.
    static TResult TryAcquire(const QString& name, std::unique_ptr<TSingleInstanceLock>& out);

    // The lock file's path for `name`, from the environment.
    static QString LockFilePath(const QString& name);

private:
    explicit TSingleInstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace filever
