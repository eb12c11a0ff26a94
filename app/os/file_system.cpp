#include "app/os/file_system.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/gb_text.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

TFileSystem* current = nullptr;

[[noreturn]] void ThrowIo(const char* what, const QByteArray& path, int err) {
    throw tarn::EInOutError(tarn::Format("%s failed on \"%s\": %s", what,
                                         QStringToAnsi(QFile::decodeName(path)).c_str(),
                                         std::strerror(err)));
}

void CopyByReadWrite(int in, int out, const QByteArray& source, const QByteArray& target) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowIo("Read", source, errno);
        }
        if (n == 0) return;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ThrowIo("Write", target, errno);
            }
            done += w;
        }
    }
}

}  // namespace

TFileSystem& TFileSystem::Current() {
    static TFileSystem system;
    return current ? *current : system;
}

void TFileSystem::SetCurrent(TFileSystem* fs) { current = fs; }

int TFileSystem::MakeTemp(QByteArray& templ) { return mkostemp(templ.data(), O_CLOEXEC); }

void TFileSystem::CopyData(int in, int out, int64_t size, const QByteArray& inPath,
                           const QByteArray& outPath) {
    if (ioctl(out, FICLONE, in) == 0) return;
    // copy_file_range works from the current offsets; fall back to read and write when
    // the kernel or the file systems do not offer it, before anything was copied.
    int64_t copied = 0;
    while (copied < size) {
        ssize_t n =
            copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - copied), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (copied == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                errno == EOPNOTSUPP || errno == EBADF)) {
                break;
            }
            ThrowIo("Copy", inPath, errno);
        }
        if (n == 0) break;  // the source shrank under us: the rest is read below
        copied += n;
    }
    // Whatever copy_file_range did not move (nothing, or a tail that grew meanwhile) goes
    // by read and write from the current offsets.
    CopyByReadWrite(in, out, inPath, outPath);
}

int TFileSystem::SetTimes(int fd, const struct timespec times[2]) { return futimens(fd, times); }
int TFileSystem::SetMode(int fd, mode_t mode) { return fchmod(fd, mode); }
int TFileSystem::SetOwner(int fd, uid_t uid, gid_t gid) { return fchown(fd, uid, gid); }
int TFileSystem::SyncData(int fd) { return fdatasync(fd); }

int TFileSystem::Rename(const QByteArray& from, const QByteArray& to) {
    return rename(from.constData(), to.constData());
}

int TFileSystem::SyncFileSystem(const QByteArray& path) {
    const int fd = open(path.isEmpty() ? "." : path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int rc = syncfs(fd);
    const int err = errno;
    close(fd);
    errno = err;
    return rc;
}

int TFileSystem::SyncDir(const QByteArray& dir) {
    const int fd = open(dir.isEmpty() ? "." : dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int rc = fsync(fd);
    const int err = errno;
    close(fd);
    errno = err;
    return rc;
}

int TFileSystem::Remove(const QByteArray& path) { return unlink(path.constData()); }
int TFileSystem::RemoveDir(const QByteArray& path) { return rmdir(path.constData()); }

namespace {

int MakeDirectories(const QByteArray& dir) {
    struct stat st;
    if (stat(dir.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return 0;
        errno = ENOTDIR;
        return -1;
    }
    const qsizetype slash = dir.lastIndexOf('/');
    if (slash > 0) {
        const int rc = MakeDirectories(dir.left(slash));
        if (rc != 0) return rc;
    }
    if (mkdir(dir.constData(), 0777) == 0 || errno == EEXIST) return 0;
    return -1;
}

}  // namespace

int TFileSystem::MakePath(const QByteArray& dir) { return MakeDirectories(dir); }

}  // namespace filever
