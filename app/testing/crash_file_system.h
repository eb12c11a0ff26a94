// A file system for tests of the version manager's file work: every step that changes the
// disk takes its fate from an engine FaultEnv (platform/os/fault_env.h), so one count of
// writes spans the catalogue's writes (the FaultEnv installed as the engine's Env) and the
// copies'. With CrashAfterWrites(N) every step after the Nth fails without touching the
// disk, as if the process had died there: what is left on disk is what a crash leaves.
// It also logs the steps that went through ("rename <from> -> <to>", "syncdir <dir>", ...).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <vector>

#include "app/os/file_system.h"
#include "platform/os/fault_env.h"
#include "tarndb/errors.h"

namespace filever::testing {

class CrashFileSystem final : public TFileSystem {
public:
    explicit CrashFileSystem(tarn::FaultEnv& env) : env_(env) {}

    QStringList log;

    int MakeTemp(QByteArray& templ) override {
        if (!Go("temp", templ)) return -1;
        const int fd = TFileSystem::MakeTemp(templ);
        log.back() = "temp " + QFile::decodeName(templ);
        return fd;
    }
    void CopyData(int in, int out, int64_t size, const QByteArray& inPath,
                  const QByteArray& outPath) override {
        int err = EIO;
        const auto fate = env_.NextWrite(err);
        if (fate == tarn::FaultEnv::WriteFate::Normal) {
            log << "data " + QFile::decodeName(outPath);
            return TFileSystem::CopyData(in, out, size, inPath, outPath);
        }
        if (fate == tarn::FaultEnv::WriteFate::Short) {
            // Half the bytes reach the file, then the disk is full.
            std::vector<char> half(static_cast<size_t>(size / 2));
            const ssize_t n = read(in, half.data(), half.size());
            if (n > 0 && write(out, half.data(), static_cast<size_t>(n)) < 0) {
                // What was written is what the test looks at.
            }
        }
        throw tarn::EInOutError(tarn::Format("Write failed on \"%s\": %s (injected)",
                                             outPath.constData(), std::strerror(err)));
    }
    int SetTimes(int fd, const struct timespec times[2]) override {
        return Go("times") ? TFileSystem::SetTimes(fd, times) : -1;
    }
    int SetMode(int fd, mode_t mode) override {
        return Go("mode") ? TFileSystem::SetMode(fd, mode) : -1;
    }
    int SetOwner(int fd, uid_t uid, gid_t gid) override {
        return Go("owner") ? TFileSystem::SetOwner(fd, uid, gid) : -1;
    }
    int SyncData(int fd) override { return Go("sync") ? TFileSystem::SyncData(fd) : -1; }
    int Rename(const QByteArray& from, const QByteArray& to) override {
        return Go("rename", from + " -> " + to) ? TFileSystem::Rename(from, to) : -1;
    }
    int SyncDir(const QByteArray& dir) override {
        return Go("syncdir", dir) ? TFileSystem::SyncDir(dir) : -1;
    }
    int SyncFileSystem(const QByteArray& path) override {
        return Go("syncfs", path) ? TFileSystem::SyncFileSystem(path) : -1;
    }
    int Remove(const QByteArray& path) override {
        return Go("remove", path) ? TFileSystem::Remove(path) : -1;
    }
    int RemoveDir(const QByteArray& path) override {
        return Go("rmdir", path) ? TFileSystem::RemoveDir(path) : -1;
    }
    int MakePath(const QByteArray& dir) override {
        struct stat st;
        if (stat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;  // no change
        return Go("mkdir", dir) ? TFileSystem::MakePath(dir) : -1;
    }

private:
    // Takes the step's turn; false (errno set) when the step is lost.
    bool Go(const char* what, const QByteArray& path = {}) {
        int err = EIO;
        if (env_.NextWrite(err) != tarn::FaultEnv::WriteFate::Normal) {
            errno = err;
            return false;
        }
        log << QString::fromLatin1(what) +
                   (path.isEmpty() ? QString() : " " + QFile::decodeName(path));
        return true;
    }

    tarn::FaultEnv& env_;
};

}  // namespace filever::testing
