#include "app/watched_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

#include "app/gb_text.h"
#include "app/os/file_system.h"
#include "app/version_capture.h"
#include "tarndb/errors.h"

namespace filever {

QStringList DefaultFolderExclusions() {
    return {QStringLiteral("*.swp"), QStringLiteral("*.swx"),        QStringLiteral("*~"),
            QStringLiteral(".#*"),   QStringLiteral("#*#"),          QStringLiteral("*.tmp"),
            QStringLiteral(".git/"), QStringLiteral("node_modules/")};
}

QStringList ParseExclusions(const QString& text) {
    QStringList out;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString p = line.trimmed();
        if (!p.isEmpty()) out << p;
    }
    return out;
}

QString JoinExclusions(const QStringList& patterns) { return patterns.join(QLatin1Char('\n')); }

namespace {

// Whether a pattern is only literal bytes and "*": matched without fnmatch.
bool StarsOnly(const QByteArray& p) {
    return !p.contains('?') && !p.contains('[') && !p.contains('\\');
}

// fnmatch without flags for a pattern of literal bytes and "*" (which matches any run of
// bytes, a leading dot too): the greedy match with one point to return to.
bool StarMatch(const QByteArray& pattern, const char* s, size_t n) {
    const char* p = pattern.constData();
    const size_t pn = static_cast<size_t>(pattern.size());
    size_t pi = 0, si = 0, star = SIZE_MAX, mark = 0;
    while (si < n) {
        if (pi < pn && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (pi < pn && p[pi] == s[si]) {
            ++pi;
            ++si;
        } else if (star != SIZE_MAX) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < pn && p[pi] == '*') ++pi;
    return pi == pn;
}

}  // namespace

TExclusions::TExclusions(const QStringList& patterns) {
    for (QString p : patterns) {
        p = p.trimmed();
        if (p.endsWith(QLatin1Char('/'))) {
            while (p.endsWith(QLatin1Char('/'))) p.chop(1);
            if (!p.isEmpty()) dirs_.push_back({QFile::encodeName(p), false});
        } else if (!p.isEmpty()) {
            any_.push_back({QFile::encodeName(p), false});
        }
    }
    for (auto* list : {&any_, &dirs_})
        for (Pattern& p : *list) p.Stars = StarsOnly(p.Text);
}

bool TExclusions::Matches(const Pattern& p, const char* name, size_t size) {
    if (p.Stars) return StarMatch(p.Text, name, size);
    // fnmatch needs the name ended by a zero: names longer than a file name can be are
    // no entry's.
    char buffer[NAME_MAX + 1];
    if (size > NAME_MAX) return false;
    std::memcpy(buffer, name, size);
    buffer[size] = '\0';
    return fnmatch(p.Text.constData(), buffer, 0) == 0;
}

bool TExclusions::Excludes(const char* name, size_t size, bool isDir) const {
    for (const Pattern& p : any_)
        if (Matches(p, name, size)) return true;
    if (isDir)
        for (const Pattern& p : dirs_)
            if (Matches(p, name, size)) return true;
    return false;
}

bool TExclusions::Excludes(const QByteArray& name, bool isDir) const {
    return Excludes(name.constData(), static_cast<size_t>(name.size()), isDir);
}

bool TExclusions::Excludes(const QString& name, bool isDir) const {
    return Excludes(QFile::encodeName(name), isDir);
}

namespace {

QString CleanFolder(const QString& folder) {
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

}  // namespace

void WalkFolder(const QByteArray& root, bool subfolders, const TExclusions& exclusions,
                const std::function<void(const std::string&)>& onDir,
                const std::function<void(const std::string&)>& onFile) {
    // Breadth first, so that a deep tree needs no deep stack. The entries are read in
    // blocks by getdents64 into one buffer, with their type from the entry itself: no
    // stat, no allocation per entry (a file system that gives no type is asked by
    // fstatat relative to the open directory).
    std::vector<std::string> queue{root.toStdString()};
    std::vector<char> buffer(32768);
    std::string path;
    for (size_t next = 0; next < queue.size(); ++next) {
        const std::string dir = std::move(queue[next]);
        onDir(dir);
        const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        path.assign(dir);
        if (path != "/") path += '/';
        const size_t base = path.size();
        for (;;) {
            const ssize_t got = getdents64(fd, buffer.data(), buffer.size());
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                dirent64 entry;
                // The record's fixed part, copied out: the buffer gives no alignment.
                const size_t fixed = offsetof(dirent64, d_name);
                if (static_cast<size_t>(got - at) < fixed) break;
                std::memcpy(&entry, buffer.data() + at, fixed);
                if (entry.d_reclen <= fixed || entry.d_reclen > got - at) break;
                const char* name = buffer.data() + at + fixed;
                const size_t size = strnlen(name, entry.d_reclen - fixed);
                at += entry.d_reclen;
                if ((size == 1 && name[0] == '.') ||
                    (size == 2 && name[0] == '.' && name[1] == '.'))
                    continue;
                unsigned char type = entry.d_type;
                if (type == DT_UNKNOWN) {
                    const std::string own(name, size);
                    struct stat st;
                    if (fstatat(fd, own.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
                }
                if (type == DT_DIR) {
                    if (!subfolders || exclusions.Excludes(name, size, true)) continue;
                    path.resize(base);
                    path.append(name, size);
                    queue.push_back(path);
                } else if (type == DT_REG) {
                    if (exclusions.Excludes(name, size, false)) continue;
                    path.resize(base);
                    path.append(name, size);
                    onFile(path);
                }
            }
        }
        close(fd);
    }
}

namespace {

void Walk(const QByteArray& root, bool subfolders, const TExclusions& exclusions,
          TFolderListing& out) {
    std::vector<std::string> files;
    WalkFolder(
        root, subfolders, exclusions,
        [&](const std::string& dir) {
            out.Dirs << QFile::decodeName(QByteArray::fromStdString(dir));
        },
        [&](const std::string& file) { files.push_back(file); });
    std::sort(files.begin(), files.end());
    out.Files.reserve(static_cast<qsizetype>(files.size()));
    for (const std::string& f : files) out.Files << QFile::decodeName(QByteArray::fromStdString(f));
}

// Registers the files of `listing` missing from `registered` under area `area`, adding
// each to `registered`. `progress` hears before each file; false from it stops.
void RegisterMissing(TCatalogue& catalogue, const TAreaRow& area, const TFolderListing& listing,
                     QSet<QString>& registered, TFolderScan& scan,
                     const TFolderProgress& progress) {
    QStringList missing;
    for (const QString& path : listing.Files)
        if (!registered.contains(path)) missing << path;
    // Which file keeps its copies where: read once, kept current below, so that a folder
    // of many files of one name costs no read of the catalogue per file.
    QHash<QString, QString> owners;
    bool ownersRead = false;
    const auto owner = [&](const QString& dir) {
        if (!ownersRead) {
            for (const TFileRow& row : catalogue.AllFiles())
                owners.insert(row.BackupDir, row.SourcePath);
            ownersRead = true;
        }
        return owners.value(dir);
    };
    // In batches: one flush of the copies and one transaction for each. The progress is
    // heard before each file joins a batch; a stop registers the files before it.
    constexpr size_t kBatch = 100;
    std::vector<TNewFile> batch;
    const auto registerBatch = [&] {
        if (batch.empty()) return;
        RegisterFilesWithVersions(catalogue, area, batch, [&](size_t i) {
            TFolderFile added;
            added.AreaNo = area.AreaNo;
            added.Path = batch[i].Path;
            added.Registration = batch[i].Registration;
            registered.insert(added.Path);
            scan.Added.push_back(std::move(added));
        });
        batch.clear();
    };
    for (qsizetype i = 0; i < missing.size(); ++i) {
        if (progress && !progress(i, missing.size())) {
            scan.Cancelled = true;
            registerBatch();
            return;
        }
        TNewFile file;
        file.Path = missing[i];
        file.BackupDir = FreeBackupDir(area.Dir, file.Path, owner);
        // Made now and known as this file's, so that the next file of the same name takes
        // another directory (one that cannot be made shows up as the copy's error).
        TFileSystem::Current().MakePath(QFile::encodeName(file.BackupDir));
        owner(file.BackupDir);  // the catalogue's owners are read before this one goes in
        owners.insert(file.BackupDir, file.Path);
        batch.push_back(std::move(file));
        if (batch.size() == kBatch) registerBatch();
    }
    registerBatch();
    if (progress) progress(missing.size(), missing.size());
}

QSet<QString> RegisteredPaths(const std::vector<TFileRow>& rows) {
    QSet<QString> out;
    out.reserve(static_cast<qsizetype>(rows.size()));
    for (const TFileRow& row : rows) out.insert(row.SourcePath);
    return out;
}

}  // namespace

TFolderListing ListFolder(const QString& folder, bool subfolders, const TExclusions& exclusions) {
    TFolderListing out;
    Walk(QFile::encodeName(CleanFolder(folder)), subfolders, exclusions, out);
    return out;
}

int32_t AddWatchedFolder(TCatalogue& catalogue, int32_t areaNo, const QString& folder,
                         bool subfolders, const QStringList& exclusions, TFolderScan& scan,
                         const TFolderProgress& progress) {
    const QString path = CleanFolder(folder);
    if (!QFileInfo(path).isDir())
        throw tarn::EDatabaseError(
            QStringToAnsi(QCoreApplication::translate("filever", "目录“%1”不存在").arg(folder)));
    TAreaRow area;
    for (const TAreaRow& a : catalogue.Areas())
        if (a.AreaNo == areaNo) area = a;
    if (area.AreaNo == 0)
        throw tarn::EDatabaseError(
            QStringToAnsi(QCoreApplication::translate("filever", "存储区 %1 不存在").arg(areaNo)));
    const int32_t folderNo =
        catalogue.AddFolder(areaNo, path, subfolders, JoinExclusions(exclusions));
    const TFolderListing listing = ListFolder(path, subfolders, TExclusions(exclusions));
    QSet<QString> registered = RegisteredPaths(catalogue.AllFiles());
    RegisterMissing(catalogue, area, listing, registered, scan, progress);
    scan.Dirs << listing.Dirs;
    if (!scan.Cancelled) return folderNo;
    // Stopped by the user: the files registered so far stay (each complete with its first
    // version), and the folder goes, so that no pass registers the rest behind the user's
    // back.
    catalogue.RemoveFolder(folderNo);
    return 0;
}

QStringList WatchedFolderDirs(TCatalogue& catalogue) {
    QStringList dirs;
    for (const TFolderRow& folder : catalogue.Folders()) {
        // Only the directories are wanted: the listing's files are dropped.
        dirs << ListFolder(folder.Path, folder.Subfolders,
                           TExclusions(ParseExclusions(folder.Exclusions)))
                    .Dirs;
    }
    return dirs;
}

}  // namespace filever
