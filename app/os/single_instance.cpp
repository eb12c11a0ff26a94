#include "app/os/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>

namespace filever {

TSingleInstanceLock::~TSingleInstanceLock() { close(fd_); }

QString TSingleInstanceLock::LockFilePath(const QString& name) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QFile::decodeName(runtime)).exists())
        return QFile::decodeName(runtime) + QLatin1Char('/') + name + QStringLiteral(".lock");
    // The temporary directory is shared by every user: the user id keeps the guards apart.
    return QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char('-') +
           QString::number(getuid()) + QStringLiteral(".lock");
}

TSingleInstanceLock::TResult TSingleInstanceLock::TryAcquire(
    const QString& name, std::unique_ptr<TSingleInstanceLock>& out) {
    const QByteArray path = QFile::encodeName(LockFilePath(name));
    // No symbolic links: in a shared directory another user could plant one.
    int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return TResult::Unavailable;
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_uid != getuid() || !S_ISREG(st.st_mode)) {
        close(fd);
        return TResult::Unavailable;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        close(fd);
        return err == EWOULDBLOCK ? TResult::HeldByOther : TResult::Unavailable;
    }
    out.reset(new TSingleInstanceLock(fd));
    return TResult::Acquired;
}

}  // namespace filever
