#include "app/watched_folders.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

#include "app/gb_text.h"
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

TExclusions::TExclusions(const QStringList& patterns) {
    for (QString p : patterns) {
        p = p.trimmed();
        if (p.endsWith(QLatin1Char('/'))) {
            while (p.endsWith(QLatin1Char('/'))) p.chop(1);
            if (!p.isEmpty()) dirs_.push_back(QFile::encodeName(p));
        } else if (!p.isEmpty()) {
            any_.push_back(QFile::encodeName(p));
        }
    }
}

bool TExclusions::Excludes(const QByteArray& name, bool isDir) const {
    for (const QByteArray& p : any_)
        if (fnmatch(p.constData(), name.constData(), 0) == 0) return true;
    if (isDir)
        for (const QByteArray& p : dirs_)
            if (fnmatch(p.constData(), name.constData(), 0) == 0) return true;
    return false;
}

bool TExclusions::Excludes(const QString& name, bool isDir) const {
    return Excludes(QFile::encodeName(name), isDir);
}

namespace {

QString CleanFolder(const QString& folder) {
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

// Walks `dir` (native bytes), breadth first so that a deep tree needs no deep stack.
void Walk(const QByteArray& root, bool subfolders, const TExclusions& exclusions,
          TFolderListing& out) {
    std::vector<QByteArray> queue{root};
    std::vector<QByteArray> files;
    for (size_t next = 0; next < queue.size(); ++next) {
        const QByteArray dir = queue[next];
        out.Dirs << QFile::decodeName(dir);
        DIR* d = opendir(dir.constData());
        if (!d) continue;
        while (const dirent* e = readdir(d)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == "..") continue;
            const QByteArray path = dir == "/" ? "/" + name : dir + '/' + name;
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st;
                if (lstat(path.constData(), &st) != 0) continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
            }
            if (type == DT_DIR) {
                if (subfolders && !exclusions.Excludes(name, true)) queue.push_back(path);
            } else if (type == DT_REG) {
                if (!exclusions.Excludes(name, false)) files.push_back(path);
            }
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    out.Files.reserve(static_cast<qsizetype>(files.size()));
    for (const QByteArray& f : files) out.Files << QFile::decodeName(f);
}

// Registers the files of `listing` missing from `registered` under area `area`, adding
// each to `registered`.
void RegisterMissing(TCatalogue& catalogue, const TAreaRow& area, const TFolderListing& listing,
                     QSet<QString>& registered, TFolderScan& scan) {
    for (const QString& path : listing.Files) {
        if (registered.contains(path)) continue;
        TFolderFile added;
        added.AreaNo = area.AreaNo;
        added.Path = path;
        if (!RegisterFileWithVersion(catalogue, area.Name, path, added.Registration)) continue;
        registered.insert(path);
        scan.Added.push_back(std::move(added));
    }
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
                         bool subfolders, const QStringList& exclusions, TFolderScan& scan) {
    const QString path = CleanFolder(folder);
    if (!QFileInfo(path).isDir())
        throw tarn::EDatabaseError(QStringToAnsi(QStringLiteral("目录“%1”不存在").arg(folder)));
    TAreaRow area;
    for (const TAreaRow& a : catalogue.Areas())
        if (a.AreaNo == areaNo) area = a;
    if (area.AreaNo == 0)
        throw tarn::EDatabaseError(QStringToAnsi(QStringLiteral("存储区 %1 不存在").arg(areaNo)));
    const int32_t folderNo =
        catalogue.AddFolder(areaNo, path, subfolders, JoinExclusions(exclusions));
    const TFolderListing listing = ListFolder(path, subfolders, TExclusions(exclusions));
    QSet<QString> registered = RegisteredPaths(catalogue.AllFiles());
    RegisterMissing(catalogue, area, listing, registered, scan);
    scan.Dirs << listing.Dirs;
    return folderNo;
}

void RegisterAppearedFiles(TCatalogue& catalogue, TFolderScan& scan) {
    if (catalogue.Folders().empty()) return;
    RegisterAppearedFiles(catalogue, catalogue.AllFiles(), scan);
}

void RegisterAppearedFiles(TCatalogue& catalogue, const std::vector<TFileRow>& rows,
                           TFolderScan& scan) {
    const std::vector<TFolderRow> folders = catalogue.Folders();
    if (folders.empty()) return;
    QHash<int32_t, TAreaRow> areas;
    for (const TAreaRow& a : catalogue.Areas()) areas.insert(a.AreaNo, a);
    QSet<QString> registered = RegisteredPaths(rows);
    for (const TFolderRow& folder : folders) {
        const auto area = areas.constFind(folder.AreaNo);
        if (area == areas.constEnd()) continue;
        const TFolderListing listing = ListFolder(folder.Path, folder.Subfolders,
                                                  TExclusions(ParseExclusions(folder.Exclusions)));
        RegisterMissing(catalogue, *area, listing, registered, scan);
        scan.Dirs << listing.Dirs;
    }
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
