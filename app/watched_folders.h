// Watched folders: every file inside a folder (with its subfolders when chosen) is a
// watched file of the folder's area, and files that appear in it later are registered with
// a first version by the next monitoring pass (TCatalogueModel::RegisterAppearedFiles),
// without asking anybody.
//
// Exclusion patterns are globs on an entry's name (fnmatch, no flags: "*" also matches a
// leading dot). A pattern ending in "/" names directories only; every other pattern names
// files and directories alike. An excluded directory is not entered: nothing below it is
// registered or watched. Only regular files are registered; symbolic links are neither
// registered nor followed (a linked directory could lead out of the folder or round in a
// loop).
//
// No widgets: the main window (app/mainw_folders.cpp) and tests call these on a catalogue.
// Errors of the catalogue pass to the caller unchanged; a copy that fails registers the
// file without a version (see RegisterFileWithVersion) and is told in the result.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/version_capture.h"

namespace filever {

// Editor swap and backup files, temporary files, a repository's own directory, installed
// packages.
QStringList DefaultFolderExclusions();
// The patterns of a stored or typed text: one a line, blanks around them dropped, empty
// lines skipped.
QStringList ParseExclusions(const QString& text);
QString JoinExclusions(const QStringList& patterns);

// Exclusion patterns prepared for matching many names.
class TExclusions {
public:
    explicit TExclusions(const QStringList& patterns);
    // Whether the entry called `name` (no directory part) is excluded.
    bool Excludes(const QByteArray& name, bool isDir) const;
    bool Excludes(const QString& name, bool isDir) const;
    bool Excludes(const char* name, size_t size, bool isDir) const;

private:
    struct Pattern {
        QByteArray Text;
        bool Stars;  // literal bytes and "*" only: matched without fnmatch
    };
    static bool Matches(const Pattern& p, const char* name, size_t size);
    std::vector<Pattern> any_;   // files and directories
    std::vector<Pattern> dirs_;  // directories only (the "/" taken off)
};

// What a folder holds: the files to watch and the directories walked (the folder first),
// both as absolute paths without a trailing "/", files sorted.
struct TFolderListing {
    QStringList Files;
    QStringList Dirs;
};
// Lists `folder` (its subfolders too when `subfolders`), leaving out what `exclusions`
// names. A folder or subfolder that cannot be read adds nothing.
TFolderListing ListFolder(const QString& folder, bool subfolders, const TExclusions& exclusions);
// The walk behind ListFolder over native paths: `onDir` for every directory walked (the
// root first), `onFile` for every file kept, in directory order (unsorted).
void WalkFolder(const QByteArray& root, bool subfolders, const TExclusions& exclusions,
                const std::function<void(const std::string&)>& onDir,
                const std::function<void(const std::string&)>& onFile);

// One file registered because it lies in a watched folder.
struct TFolderFile {
    int32_t AreaNo = 0;
    QString Path;
    TRegistration Registration;
};

// What registering the files of folders did.
struct TFolderScan {
    std::vector<TFolderFile> Added;  // in the order registered
    QStringList Dirs;                // every directory of every folder (to be watched)
    bool Cancelled = false;          // the progress callback stopped the registration
};

// Hears how far the registration of a folder's files is: `done` files of `total` are
// registered (called before each file, and once at the end with done == total). Returns
// false to stop.
using TFolderProgress = std::function<bool(qsizetype done, qsizetype total)>;

// Adds a watched folder under area `areaNo` and registers every file in it that is not
// registered yet, each with its first version (RegisterFilesWithVersions, in batches of
// 100 files: one flush of the copies and one transaction for each). The folder's
// row comes first, so a failure part-way leaves a folder whose remaining files the next
// pass registers. Raises tarn::EDatabaseError when there is no such area or the folder is
// no directory (nothing written then). Returns the folder number. When `progress` stops
// it, the files registered so far stay watched, the folder's row is deleted again,
// `scan.Cancelled` is set and 0 is returned.
int32_t AddWatchedFolder(TCatalogue& catalogue, int32_t areaNo, const QString& folder,
                         bool subfolders, const QStringList& exclusions, TFolderScan& scan,
                         const TFolderProgress& progress = {});

// The directories of every watched folder (what the watchers need besides the
// directories of the registered files).
QStringList WatchedFolderDirs(TCatalogue& catalogue);

}  // namespace filever
