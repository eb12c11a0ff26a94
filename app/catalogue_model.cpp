#include "app/catalogue_model.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>

#include "app/os/file_system.h"
#include "app/os/file_time.h"

namespace filever {

void TChangeIndex::Reset(const std::vector<TFileRow>& rows) {
    // What was known to match stays known while the row is the same.
    QHash<QString, int64_t> known;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Known)
            known.insert(rows_[i].SourcePath + QLatin1Char('\n') + rows_[i].RecordedTime,
                         entries_[i].KnownSecond);
    rows_ = rows;
    entries_.assign(rows_.size(), Entry{});
    paths_.clear();
    blob_.clear();
    for (size_t i = 0; i < rows_.size(); ++i) {
        entries_[i].Offset = blob_.size();
        blob_ += QFile::encodeName(rows_[i].SourcePath).toStdString();
        blob_ += '\0';
        const auto k =
            known.constFind(rows_[i].SourcePath + QLatin1Char('\n') + rows_[i].RecordedTime);
        if (k != known.constEnd()) {
            entries_[i].Known = true;
            entries_[i].KnownSecond = k.value();
        }
    }
    // The views point into the finished blob.
    paths_.reserve(rows_.size());
    for (const Entry& e : entries_) paths_.insert(std::string_view(blob_.c_str() + e.Offset));
}

void TChangeIndex::Scan(QStringList& pending) {
    // Paths are matched ignoring case; the set is made only when a change is found.
    QSet<QString> seen;
    bool seenMade = false;
    for (size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        struct stat st;
        const bool found = stat(blob_.c_str() + e.Offset, &st) == 0;
        if (found && e.Known && st.st_mtim.tv_sec == e.KnownSecond) continue;
        const TFileRow& row = rows_[i];
        // The recorded time is text of the file's local time at two-second steps: formatted
        // the way it was written, and remembered as a second that matches.
        const QString current = FormatVersionTime(GetFileTime(row.SourcePath, ftkLastWrite));
        if (current == row.RecordedTime) {
            if (found) {
                e.Known = true;
                e.KnownSecond = st.st_mtim.tv_sec;
            }
            continue;
        }
        if (!seenMade) {
            for (const QString& path : pending) seen.insert(path.toCaseFolded());
            seenMade = true;
        }
        const QString key = row.SourcePath.toCaseFolded();
        if (seen.contains(key)) continue;
        seen.insert(key);
        pending << row.SourcePath;
    }
}

TCatalogueModel::TCatalogueModel(TCatalogue& catalogue) : catalogue_(catalogue) {}

void TCatalogueModel::Open(const QString& path) {
    Touch();
    folderDirsKnown_ = false;
    catalogue_.Open(path);
}

void TCatalogueModel::Refresh() {
    if (!stale_) return;
    const std::vector<TFileRow> rows = catalogue_.AllFiles();
    folders_ = catalogue_.Folders();
    areas_ = catalogue_.Areas();
    index_.Reset(rows);
    fileNos_.clear();
    backupOwners_.clear();
    for (const TFileRow& row : rows) {
        if (!fileNos_.contains(row.SourcePath)) fileNos_.insert(row.SourcePath, row.FileNo);
        backupOwners_.insert(row.BackupDir, row.SourcePath);
    }
    stale_ = false;
}

std::vector<TAreaItem> TCatalogueModel::Tree() {
    // Three passes, one over each table, whatever the number of files and versions.
    std::vector<TAreaItem> tree;
    QHash<int32_t, size_t> areaAt;
    for (const TAreaRow& area : catalogue_.Areas()) {
        areaAt.insert(area.AreaNo, tree.size());
        tree.push_back({area, {}});
    }
    std::map<int32_t, std::vector<QString>> names = catalogue_.AllVersionNames();
    for (const TFileRow& file : catalogue_.AllFiles()) {
        const auto area = areaAt.constFind(file.AreaNo);
        if (area == areaAt.constEnd()) continue;  // its area is gone
        const auto versions = names.find(file.FileNo);
        tree[area.value()].Files.push_back(
            {file, versions == names.end() ? std::vector<QString>() : std::move(versions->second)});
    }
    return tree;
}

QStringList TCatalogueModel::FilePaths() {
    Refresh();
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(index_.Rows().size()));
    for (const TFileRow& row : index_.Rows()) paths << row.SourcePath;
    return paths;
}

QStringList TCatalogueModel::FolderDirs() {
    if (!folderDirsKnown_) {
        folderDirs_ = WatchedFolderDirs(catalogue_);
        folderDirsKnown_ = true;
    }
    return folderDirs_;
}

int32_t TCatalogueModel::FileNoOf(const QString& path) {
    Refresh();
    return fileNos_.value(path, 0);
}

std::vector<TFolderRow> TCatalogueModel::FoldersOfArea(int32_t areaNo) {
    Refresh();
    std::vector<TFolderRow> out;
    for (const TFolderRow& f : folders_)
        if (f.AreaNo == areaNo) out.push_back(f);
    return out;
}

namespace {

// Whether the folder's walk would reach the file at `path`.
bool Covers(const TFolderRow& folder, const QString& path) {
    const QString root =
        folder.Path.endsWith(QLatin1Char('/')) ? folder.Path : folder.Path + QLatin1Char('/');
    if (!path.startsWith(root)) return false;
    const QStringList parts = path.mid(root.size()).split(QLatin1Char('/'));
    if (parts.size() > 1 && !folder.Subfolders) return false;
    const TExclusions exclusions(ParseExclusions(folder.Exclusions));
    for (qsizetype i = 0; i < parts.size(); ++i)
        if (exclusions.Excludes(parts[i], i + 1 < parts.size())) return false;
    return true;
}

}  // namespace

TFolderRow TCatalogueModel::FolderOf(int32_t areaNo, const QString& path) {
    for (const TFolderRow& f : FoldersOfArea(areaNo))
        if (Covers(f, path)) return f;
    return {};
}

QStringList TCatalogueModel::FilesOfFolder(const TFolderRow& folder) {
    QStringList out;
    for (const TFileRow& file : catalogue_.FilesOfArea(folder.AreaNo))
        if (Covers(folder, file.SourcePath)) out << file.SourcePath;
    return out;
}

bool TCatalogueModel::AreaNameInUse(const QString& name) {
    const QString wanted = name.trimmed();
    for (const TAreaRow& area : catalogue_.Areas())
        if (area.Name.trimmed() == wanted) return true;
    return false;
}

int32_t TCatalogueModel::AddArea(const QString& name, const QString& dir) {
    if (AreaNameInUse(name)) return 0;
    QDir().mkpath(dir);
    Touch();
    return catalogue_.AddArea(name, dir);
}

bool TCatalogueModel::AddFile(int32_t areaNo, const QString& path, TRegistration& out) {
    Touch();
    return RegisterFileWithVersion(catalogue_, areaNo, path, out);
}

int32_t TCatalogueModel::AddFolder(int32_t areaNo, const QString& folder, bool subfolders,
                                   const QStringList& exclusions, TFolderScan& scan,
                                   const TFolderProgress& progress) {
    Touch();
    folderDirsKnown_ = false;
    return AddWatchedFolder(catalogue_, areaNo, folder, subfolders, exclusions, scan, progress);
}

bool TCatalogueModel::RemoveFile(const QString& path) {
    Touch();
    return RemoveWatchedFile(catalogue_, path);
}

QStringList TCatalogueModel::RemoveFolder(int32_t folderNo) {
    Refresh();
    const auto it = std::find_if(folders_.begin(), folders_.end(),
                                 [&](const TFolderRow& f) { return f.FolderNo == folderNo; });
    if (it == folders_.end()) return {};
    const TFolderRow folder = *it;
    // A file that another folder of the area also reaches stays watched by that one.
    QStringList files;
    for (const QString& path : FilesOfFolder(folder)) {
        bool other = false;
        for (const TFolderRow& f : folders_)
            if (f.FolderNo != folderNo && f.AreaNo == folder.AreaNo && Covers(f, path))
                other = true;
        if (!other) files << path;
    }
    Touch();
    folderDirsKnown_ = false;
    catalogue_.Transaction([&] {
        for (const TFileRow& file : catalogue_.FilesOfArea(folder.AreaNo))
            if (files.contains(file.SourcePath)) catalogue_.RemoveFileNo(file.FileNo);
        catalogue_.RemoveFolder(folderNo);
    });
    return files;
}

bool TCatalogueModel::RemoveArea(int32_t areaNo) {
    Touch();
    folderDirsKnown_ = false;
    return RemoveAreaWithFiles(catalogue_, areaNo);
}

void TCatalogueModel::Restore(const QString& path, const verinfo& version,
                              TRestoreOutcome& outcome) {
    Touch();
    RestoreVersion(catalogue_, path, version, outcome);
}

bool TCatalogueModel::Annotate(int32_t fileNo, const QString& name, const QString& text) {
    ++generation_;
    return catalogue_.SetVersionDescription(fileNo, name, text);
}

bool TCatalogueModel::TakeCopy(const QString& path, TVersionCopy& copy) {
    // An identical save updates the recorded time.
    Touch();
    return TakeVersionCopy(catalogue_, path, copy);
}

void TCatalogueModel::Record(const TVersionCopy& copy, const QString& description, verinfo& rec) {
    Touch();
    RecordVersion(catalogue_, copy, description, rec);
}

void TCatalogueModel::Capture(std::vector<TBatchCapture>& items) {
    Refresh();
    Touch();
    CaptureVersions(catalogue_, items, index_.Rows());
}

void TCatalogueModel::RegisterAppearedFiles(TFolderScan& scan) {
    Refresh();
    if (folders_.empty()) {
        folderDirs_.clear();
        folderDirsKnown_ = true;
        return;
    }
    QHash<int32_t, TAreaRow> areas;
    for (const TAreaRow& a : areas_) areas.insert(a.AreaNo, a);
    // Registered already: found in the array by the native path, nothing decoded.
    std::vector<std::string> missing;
    QSet<QString> added;
    for (const TFolderRow& folder : folders_) {
        const auto area = areas.constFind(folder.AreaNo);
        if (area == areas.constEnd()) continue;
        missing.clear();
        WalkFolder(
            QFile::encodeName(QDir::cleanPath(folder.Path)), folder.Subfolders,
            TExclusions(ParseExclusions(folder.Exclusions)),
            [&](const std::string& dir) {
                scan.Dirs << QFile::decodeName(QByteArray::fromStdString(dir));
            },
            [&](const std::string& file) {
                if (!index_.Contains(file)) missing.push_back(file);
            });
        std::sort(missing.begin(), missing.end());
        // In batches: one flush of the copies and one transaction for each.
        std::vector<TNewFile> batch;
        const auto registerBatch = [&] {
            if (batch.empty()) return;
            Touch();
            RegisterFilesWithVersions(catalogue_, *area, batch, [&](size_t i) {
                TFolderFile file;
                file.AreaNo = area->AreaNo;
                file.Path = batch[i].Path;
                file.Registration = batch[i].Registration;
                scan.Added.push_back(std::move(file));
            });
            batch.clear();
        };
        for (const std::string& native : missing) {
            const QString path = QFile::decodeName(QByteArray::fromStdString(native));
            if (added.contains(path)) continue;  // two folders reach it
            // A name that is no UTF-8 decodes to a path whose bytes are not its own: the
            // registered row is found by the decoded path.
            if (fileNos_.contains(path)) continue;
            TNewFile file;
            file.Path = path;
            file.BackupDir = FreeBackupDir(
                area->Dir, path, [&](const QString& dir) { return backupOwners_.value(dir); });
            // Made now, so that the next file of the same name takes another directory.
            TFileSystem::Current().MakePath(QFile::encodeName(file.BackupDir));
            backupOwners_.insert(file.BackupDir, path);
            added.insert(path);
            batch.push_back(std::move(file));
            if (batch.size() == 100) registerBatch();
        }
        registerBatch();
    }
    // After a complete walk only: one cut short keeps the directories known before.
    folderDirs_ = scan.Dirs;
    folderDirsKnown_ = true;
}

void TCatalogueModel::ScanForChanges(QStringList& pending) {
    Refresh();
    index_.Scan(pending);
}

}  // namespace filever
