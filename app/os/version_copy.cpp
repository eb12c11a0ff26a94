#include "app/os/version_copy.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/gb_text.h"
#include "app/os/file_system.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

std::string Ansi(const QByteArray& native) { return QStringToAnsi(QFile::decodeName(native)); }

[[noreturn]] void ThrowOpen(const QByteArray& path, int err) {
    throw tarn::EFOpenError(
        tarn::Format("Cannot open file \"%s\". %s", Ansi(path).c_str(), std::strerror(err)));
}

[[noreturn]] void ThrowIo(const char* what, const QByteArray& path, int err) {
    throw tarn::EInOutError(
        tarn::Format("%s failed on \"%s\": %s", what, Ansi(path).c_str(), std::strerror(err)));
}

// Closes a descriptor when the copy leaves its scope, and removes the temporary file
// unless the copy was committed.
class TempFile {
public:
    TempFile(int fd, QByteArray path) : fd_(fd), path_(std::move(path)) {}
    ~TempFile() {
        if (fd_ >= 0) close(fd_);
        if (!committed_) TFileSystem::Current().Remove(path_);
    }
    int fd() const { return fd_; }
    const QByteArray& path() const { return path_; }
    void CloseOrThrow() {
        int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) ThrowIo("Write", path_, errno);
    }
    void Commit() { committed_ = true; }

private:
    int fd_;
    QByteArray path_;
    bool committed_ = false;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The directory part of a native path ("/" for a file at the root, "." for a bare name).
QByteArray DirOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : path.left(slash);
}

}  // namespace

void CopyVersionFile(const QString& source, const QString& target, bool flush) {
    TFileSystem& fs = TFileSystem::Current();
    const QByteArray src = QFile::encodeName(source);
    const QByteArray dst = QFile::encodeName(target);

    Fd in(open(src.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) ThrowOpen(src, errno);
    struct stat st;
    if (fstat(in.get(), &st) != 0) ThrowIo("Stat", src, errno);
    if (S_ISDIR(st.st_mode)) ThrowOpen(src, EISDIR);

    const QFileInfo targetInfo(target);
    QByteArray templ =
        QFile::encodeName(targetInfo.absolutePath() + QLatin1Char('/') + QLatin1Char('.') +
                          targetInfo.fileName() + QStringLiteral(".tmp-XXXXXX"));
    int fd = fs.MakeTemp(templ);
    if (fd < 0) ThrowOpen(dst, errno);
    TempFile temp(fd, templ);

    fs.CopyData(in.get(), temp.fd(), static_cast<int64_t>(st.st_size), src, temp.path());

    // The copy carries the source's last-write time, as copies of files do on the desktop.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    fs.SetTimes(temp.fd(), times);
    if (fs.SetMode(temp.fd(), st.st_mode & 0777) != 0) ThrowIo("Write", temp.path(), errno);
    if (flush && fs.SyncData(temp.fd()) != 0) ThrowIo("Flush", temp.path(), errno);
    temp.CloseOrThrow();
    if (fs.Rename(temp.path(), dst) != 0) ThrowIo("Rename", dst, errno);
    temp.Commit();
    // The new name reaches the disk before anyone records that the copy exists.
    if (flush && fs.SyncDir(DirOf(dst)) != 0) ThrowIo("Flush", DirOf(dst), errno);
}

namespace {

// The file a path names: the path itself, or the end of its chain of symbolic links. A
// dangling link gives the path of the missing file it points to, so the restore makes it.
QByteArray ResolveTarget(const QByteArray& path) {
    struct stat st;
    if (lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    if (realpath(path.constData(), resolved) != nullptr) return QByteArray(resolved);
    // Dangling: follow the links by hand, as far as they go.
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char link[PATH_MAX];
        const ssize_t n = readlink(current.constData(), link, sizeof link - 1);
        if (n < 0) return current;
        QByteArray next(link, static_cast<qsizetype>(n));
        if (!next.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            next = (slash < 0 ? QByteArray() : current.left(slash + 1)) + next;
        }
        current = next;
    }
    ThrowOpen(path, ELOOP);
}

}  // namespace

TVersionRestore::TVersionRestore(const QString& copy, const QString& target)
    : copyPath_(QFile::encodeName(copy)), targetPath_(ResolveTarget(QFile::encodeName(target))) {
    in_ = open(copyPath_.constData(), O_RDONLY | O_CLOEXEC);
    if (in_ < 0) ThrowOpen(copyPath_, errno);
    struct stat st;
    int err = 0;
    if (fstat(in_, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    if (err != 0) {
        close(in_);
        in_ = -1;
        ThrowOpen(copyPath_, err);
    }
    MakeTemp();
}

TVersionRestore::TVersionRestore(const TContents& contents, const QString& target)
    : targetPath_(ResolveTarget(QFile::encodeName(target))) {
    // The bytes wait in an anonymous memory file, so the commit copies them like a copy.
    copyPath_ = targetPath_;
    in_ = memfd_create("filever-contents", MFD_CLOEXEC);
    if (in_ < 0) ThrowIo("Write", targetPath_, errno);
    const char* data = contents.bytes.constData();
    qsizetype left = contents.bytes.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = write(in_, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        data += n;
        left -= n;
    }
    if (err == 0 && fchmod(in_, 0644) != 0) err = errno;
    if (err == 0 && lseek(in_, 0, SEEK_SET) != 0) err = errno;
    if (err != 0) {
        close(in_);
        in_ = -1;
        ThrowIo("Write", targetPath_, err);
    }
    MakeTemp();
}

void TVersionRestore::MakeTemp() {
    const qsizetype slash = targetPath_.lastIndexOf('/');
    // Beside the target, so the rename stays within one file system.
    QByteArray templ =
        targetPath_.left(slash + 1) + '.' + targetPath_.mid(slash + 1) + ".restore-XXXXXX";
    out_ = TFileSystem::Current().MakeTemp(templ);
    if (out_ < 0) {
        const int err = errno;
        close(in_);
        in_ = -1;
        ThrowOpen(targetPath_, err);
    }
    tempPath_ = templ;
}

TVersionRestore::~TVersionRestore() {
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    if (!tempPath_.isEmpty()) TFileSystem::Current().Remove(tempPath_);
}

void TVersionRestore::Commit() {
    if (tempPath_.isEmpty()) throw tarn::EInOutError("TVersionRestore: already committed");
    TFileSystem& fs = TFileSystem::Current();
    struct stat copySt;
    if (fstat(in_, &copySt) != 0) ThrowIo("Stat", copyPath_, errno);
    fs.CopyData(in_, out_, static_cast<int64_t>(copySt.st_size), copyPath_, tempPath_);

    // The permissions of the file being replaced; a missing file gets the copy's.
    struct stat targetSt;
    mode_t mode = copySt.st_mode & 07777;
    if (stat(targetPath_.constData(), &targetSt) == 0) {
        mode = targetSt.st_mode & 07777;
        // Keeping the owner needs the right to give files away; without it the file
        // belongs to the user who restores it, as after any save by that user.
        if ((targetSt.st_uid != geteuid() || targetSt.st_gid != getegid()) &&
            fs.SetOwner(out_, targetSt.st_uid, targetSt.st_gid) != 0) {
            // Not allowed: the restorer's own, as said above.
        }
    }
    // After fchown: giving a file away clears its set-id bits.
    if (fs.SetMode(out_, mode) != 0) ThrowIo("Write", tempPath_, errno);
    if (fs.SyncData(out_) != 0) ThrowIo("Flush", tempPath_, errno);
    const int fd = out_;
    out_ = -1;
    if (close(fd) != 0) ThrowIo("Write", tempPath_, errno);
    if (fs.Rename(tempPath_, targetPath_) != 0) ThrowIo("Rename", targetPath_, errno);
    tempPath_.clear();

    // The rename itself reaches the disk with the directory.
    if (fs.SyncDir(DirOf(targetPath_)) != 0) ThrowIo("Flush", DirOf(targetPath_), errno);
}

}  // namespace filever
