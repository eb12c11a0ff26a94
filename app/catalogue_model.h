// The catalogue as the main window shows it: storage areas -> watched files -> versions,
// with the commands that change it (registering and removing areas, files and folders,
// restoring and annotating versions, keeping new versions) and the monitoring pass's
// look for changed and new files. No widgets: the window draws the tree and the version
// list from it and forwards its handlers here; tests drive it on a catalogue directly.
//
// For the monitoring pass it keeps the registered files in memory in one flat array: the
// native path of each, its recorded time and the last-write second last found to match
// that time. A pass over unchanged files is one stat and one integer compare per file,
// with no row read, no text formatted and nothing allocated. The array is read again
// from the catalogue after any change: the commands here mark it stale themselves; a
// caller that writes to the catalogue some other way calls Invalidate.
//
// Errors of the catalogue and of the file system pass to the caller unchanged.
// User-interface thread only.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/catalogue.h"
#include "app/version_capture.h"
#include "app/version_restore.h"
#include "app/watched_folders.h"

namespace filever {

// One watched file with the names of its versions (oldest first).
struct TFileItem {
    TFileRow Row;
    std::vector<QString> Versions;
};
// One storage area with its watched files, in table order.
struct TAreaItem {
    TAreaRow Row;
    std::vector<TFileItem> Files;
};

// The monitoring pass's view of the registered files (see above).
class TChangeIndex {
public:
    // Takes the rows as they are now. A file whose path and recorded time are the same as
    // before keeps the last-write second known to match.
    void Reset(const std::vector<TFileRow>& rows);
    // Appends to `pending` every file whose current last-write time, formatted, differs
    // from the recorded one; a path already in `pending` (letter case ignored) is not
    // added again. A file that no longer exists gives 1899-12-30-00-00-00 and is
    // collected on every pass.
    void Scan(QStringList& pending);
    // Whether `nativePath` is a registered file's path.
    bool Contains(std::string_view nativePath) const { return paths_.count(nativePath) != 0; }
    const std::vector<TFileRow>& Rows() const { return rows_; }

private:
    struct Entry {
        size_t Offset = 0;        // of the zero-ended native path in blob_
        int64_t KnownSecond = 0;  // st_mtime found to format as the recorded time
        bool Known = false;
    };
    std::vector<TFileRow> rows_;
    std::vector<Entry> entries_;  // one per row
    std::string blob_;            // the native paths, each ended by a zero
    std::unordered_set<std::string_view> paths_;
};

class TCatalogueModel {
public:
    explicit TCatalogueModel(TCatalogue& catalogue);
    TCatalogue& Catalogue() { return catalogue_; }

    // Opens the catalogue at `path` (TCatalogue::Open).
    void Open(const QString& path);
    // The whole tree, read from the catalogue now: one pass over each of its three tables.
    std::vector<TAreaItem> Tree();
    // The registered paths (the files to watch) and the directories of every watched
    // folder as the last walk of them found them.
    QStringList FilePaths();
    QStringList FolderDirs();
    // The number of the registered file at `path` (exact), 0 when there is none.
    int32_t FileNoOf(const QString& path);
    // The watched folders of area `areaNo`, and the one that brought the file at `path`
    // (the first of its area whose reach covers the path; FolderNo 0 when none).
    std::vector<TFolderRow> FoldersOfArea(int32_t areaNo);
    TFolderRow FolderOf(int32_t areaNo, const QString& path);
    // The registered files of area `areaNo` that the folder covers.
    QStringList FilesOfFolder(const TFolderRow& folder);

    // Whether an area is named `name` already (surrounding spaces not counted, so that two
    // areas never look alike in the tree).
    bool AreaNameInUse(const QString& name);

    // Commands. Areas are known by their numbers; names are what the user reads.
    // A new area (its directory made first). Returns its number; 0, with nothing written,
    // when AreaNameInUse(name).
    int32_t AddArea(const QString& name, const QString& dir);
    // Registers `path` under area `areaNo` with its first version (RegisterFileWithVersion).
    // False when there is no such area.
    bool AddFile(int32_t areaNo, const QString& path, TRegistration& out);
    // AddWatchedFolder, with its progress and its stop.
    int32_t AddFolder(int32_t areaNo, const QString& folder, bool subfolders,
                      const QStringList& exclusions, TFolderScan& scan,
                      const TFolderProgress& progress = {});
    // Stops watching a file (RemoveWatchedFile): its versions and copies stay.
    bool RemoveFile(const QString& path);
    // Stops watching a folder: its row and the rows of the files of its area that it
    // covers (and no other folder of the area does) go, in one transaction; versions and
    // copies stay. Returns the paths of the files no longer watched; nothing (and no
    // write) when there is no such folder.
    QStringList RemoveFolder(int32_t folderNo);
    bool RemoveArea(int32_t areaNo);
    // RestoreVersion.
    void Restore(const QString& path, const verinfo& version, TRestoreOutcome& outcome);
    // The description of version `name` of file `fileNo`.
    bool Annotate(int32_t fileNo, const QString& name, const QString& text);
    // The two steps of keeping a changed file's version (TakeVersionCopy, RecordVersion).
    bool TakeCopy(const QString& path, TVersionCopy& copy);
    void Record(const TVersionCopy& copy, const QString& description, verinfo& rec);
    // Keeps the versions of many changed files together (CaptureVersions).
    void Capture(std::vector<TBatchCapture>& items);

    // The monitoring pass. First every watched folder is walked (scan.Dirs gets every
    // directory of every folder) and every file in one that is not registered yet is
    // registered with its first version, in batches of 100 files (see
    // RegisterFilesWithVersions; scan.Added lists them). A folder whose area is gone is
    // skipped; a failing registration raises and keeps the files registered before it.
    void RegisterAppearedFiles(TFolderScan& scan);
    // Then the changed files appended to `pending` (TChangeIndex::Scan).
    void ScanForChanges(QStringList& pending);

    // The catalogue was written around the model: the monitoring array is read again
    // before its next use.
    void Invalidate() { Touch(); }
    // Moves on with every command that writes (and every Invalidate): what a caller read
    // and kept is current while the number it was read at is.
    uint64_t Generation() const { return generation_; }

private:
    // Reads the file rows, folders and areas again when stale.
    void Refresh();

    void Touch() {
        stale_ = true;
        ++generation_;
    }

    TCatalogue& catalogue_;
    bool stale_ = true;
    uint64_t generation_ = 0;
    TChangeIndex index_;
    std::vector<TFolderRow> folders_;
    std::vector<TAreaRow> areas_;
    QHash<QString, int32_t> fileNos_;
    QHash<QString, QString> backupOwners_;  // backup directory -> source path
    QStringList folderDirs_;
    bool folderDirsKnown_ = false;
};

}  // namespace filever
