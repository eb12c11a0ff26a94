// Test helpers for files on disk, without widgets: paths as QString, writing a file with
// its directories, setting its last-write time, reading it back, listing a directory.
// For app tests only.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "app/os/file_time.h"

QT_BEGIN_NAMESPACE
// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace filever::testing {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

inline void SetMTime(const std::string& path, time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Writes `content` (any bytes) to the file at `path`, replacing it and making its
// directories first.
inline void Write(const std::string& path, QByteArrayView content = "x") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
}
// The same, then the file's last-write time set to `when`.
inline void Write(const std::string& path, QByteArrayView content, time_t when) {
    Write(path, content);
    SetMTime(path, when);
}

// A file's bytes, or "(missing)".
inline QByteArray Content(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}
inline QByteArray Content(const std::string& path) { return Content(Q(path)); }

// The names in a directory, hidden ones too.
inline QStringList Entries(const std::string& dir) {
    return QDir(Q(dir)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The version name a capture of `path` gets now.
inline QString VersionOf(const std::string& path) {
    return FormatVersionTime(GetFileTime(Q(path), ftkLastWrite));
}

}  // namespace filever::testing
