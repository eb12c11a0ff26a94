// Version capture without widgets: storing a new version of one file, registering a file
// under a storage area, removing files and versions. The main window drives these through
// its catalogue model (app/catalogue_model.h), which also looks for changed files; tests
// call them directly on a catalogue.
//
// Stored copies: one backup directory per watched file, "<area dir>/<file name>-bak",
// each copy named "<base name>{<version name>}<extension>", the version name being the
// file's last-write time "yyyy-mm-dd-hh-mm-ss" (app/os/file_time.h).
//
// Errors of the catalogue and of the file system (tarn::EFOpenError for a source that
// cannot be opened, EInOutError for a failed copy) pass to the caller unchanged.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "app/catalogue.h"

namespace filever {

// The extension of the path's file name: from its last "." on, dot included; empty when
// the name has no dot.
QString FileExtension(const QString& path);
// "<area dir>/<file name of source>-bak".
QString BackupDirFor(const QString& areaDir, const QString& sourcePath);
// "<base name>{<version name>}<extension>".
QString VersionCopyName(const QString& sourcePath, const QString& versionName);

// Stores the current state of the registered file `path` as a new version with the given
// description. False when the path is not registered (nothing changed), and false when its
// bytes are those of its latest version (an identical save: no copy, no row; only the
// recorded time is updated, so the next pass is quiet). The copy is made first and
// reaches the disk with its name: when it fails the error is raised and no catalogue row
// is written, so every version row has its copy. Then the version row and the file's
// recorded time are written in one transaction (`rec` is filled from the row), so a
// refused row leaves the file to be captured at the next pass.
bool CaptureVersion(TCatalogue& catalogue, const QString& path, const QString& description,
                    verinfo& rec);

// Whether the file at `path` holds exactly the bytes of the file at `copyPath`: the sizes
// first, then the bytes. False when either cannot be read.
bool SameBytes(const QString& path, const QString& copyPath);

// CaptureVersion in two steps, so that the copy is taken before the user is asked for a
// description and a failing copy never costs what the user typed.
struct TVersionCopy {
    int32_t FileNo = 0;
    // The file's last-write time when the copy was taken, as a version name; moved on by
    // two-second steps when another version of the file has that name already (a save in
    // the step of the last capture, kept before a restore; a time that came back).
    QString VerName;
    QString FileTime;  // the file's last-write time itself: the file's recorded time
    QString CopyPath;  // where the copy was stored
    QString SizeText;  // the source's size then
    QString FileExt;
    // The file's bytes were those of its latest version: no copy was taken, the recorded
    // time is updated already, and there is nothing to record or ask.
    bool Identical = false;
};
// Stores the copy of the registered file `path` (see CaptureVersion for identical
// saves). False (nothing done) when the path is not registered; a failed copy raises and
// nothing is stored or written.
bool TakeVersionCopy(TCatalogue& catalogue, const QString& path, TVersionCopy& copy);
// Appends the version row of a copy taken by TakeVersionCopy (`rec` is filled from it) and
// updates the file's recorded time, in one transaction.
void RecordVersion(TCatalogue& catalogue, const TVersionCopy& copy, const QString& description,
                   verinfo& rec);

// One file of a batch of captures (CaptureVersions).
struct TBatchCapture {
    enum class TResult { NotRegistered, Identical, Kept, Failed };
    QString Path;         // in: the registered file
    QString Description;  // in
    TResult Result = TResult::NotRegistered;
    verinfo Version;  // Kept: the row appended
    QString Error;    // Failed: why nothing was kept (the copy, its flush or its row)
};
// Keeps the current state of each file in `items` as CaptureVersion does, at the price of
// few flushes for the whole batch: first every copy is stored without a flush of its own,
// then each file system that took copies is flushed once, so every copy and its name are
// on the disk before any row names them; then the version rows and the recorded times
// (identical saves' too) are written in one transaction. A copy or a flush that fails
// fails its files alone (Failed, no row). When the transaction is refused the files are
// written one transaction each, so a refused row (a description too long) fails its file
// alone and the copy stays for the next try. Raises only what reading the catalogue raises.
void CaptureVersions(TCatalogue& catalogue, std::vector<TBatchCapture>& items);
// The same with the catalogue's file rows as the caller holds them (all of them, in table
// order), so they are not read again.
void CaptureVersions(TCatalogue& catalogue, std::vector<TBatchCapture>& items,
                     const std::vector<TFileRow>& files);

// Registers `path` under area number `areaNo`: creates the backup directory and appends
// the file-index row, without a version. False when there is no such area. A path may be
// registered twice. The backup directory is "<name>-bak" under the area's
// directory, or "<name>-bak-2", "-3", ... when another file of the same name keeps its
// copies there already (RegisterFileWithVersion chooses the same way).
bool RegisterFile(TCatalogue& catalogue, int32_t areaNo, const QString& path);

// What registering a file with its first version did.
struct TRegistration {
    bool Captured = false;  // the first version is recorded; `Version` is its row
    verinfo Version;
    QString CopyError;   // why the copy could not be taken (registered without a version)
    int32_t FileNo = 0;  // the file-index row written
    QString BackupDir;   // where its copies are kept
};
// Registers `path` under area number `areaNo` together with its first version. The copy is stored
// first; then the file-index row, the version row and the recorded time are written in one
// transaction: a catalogue error raises with none of them written (and the new copy removed). When
// the copy itself fails, the file is registered without a version (its recorded time stays empty,
// so the next pass tries again) and `CopyError` tells why. False when there is no such area.
bool RegisterFileWithVersion(TCatalogue& catalogue, int32_t areaNo, const QString& path,
                             TRegistration& out);
// The same under `area` with the backup directory chosen by the caller (FreeBackupDir), for
// callers that register many files and know the directories in use.
void RegisterFileWithVersion(TCatalogue& catalogue, const TAreaRow& area, const QString& backup,
                             const QString& path, TRegistration& out);
// One file of a batch of registrations (RegisterFilesWithVersions).
struct TNewFile {
    QString Path;       // in
    QString BackupDir;  // in: FreeBackupDir's choice
    TRegistration Registration;
};
// Registers each of `files` under `area` with its first version, as the overload above
// does each, at the price of few flushes: the copies stored without a flush each, one flush
// per file system, then every file's rows in one transaction. A copy that fails (or whose
// flush fails) registers its file without a version. `registered` hears the index of each
// file registered, in order. When the transaction is refused, the files are registered one
// transaction each: the first the catalogue refuses raises as the overload above does,
// with the files before it registered and no new copy left for it or the files after it.
void RegisterFilesWithVersions(TCatalogue& catalogue, const TAreaRow& area,
                               std::vector<TNewFile>& files,
                               const std::function<void(size_t)>& registered);
// The backup directory RegisterFile would choose for `path` under an area kept in
// `areaDir`; `owner` gives the source path whose copies a backup directory holds (empty
// for none) and is asked only about directories that exist.
QString FreeBackupDir(const QString& areaDir, const QString& path,
                      const std::function<QString(const QString&)>& owner);

// Stops watching a file: deletes the file-index row of `path` (exact). Its version rows and
// stored copies stay, in the catalogue and on disk. False when `path` is not registered.
bool RemoveWatchedFile(TCatalogue& catalogue, const QString& path);
// Deletes an area: its row and the rows of its files, in one transaction. As for a single
// file, the version rows and the copies stay. False when there is no such area.
bool RemoveAreaWithFiles(TCatalogue& catalogue, int32_t areaNo);
// Removes stored copies after their rows were committed away: each path that no version
// row names any more, then each emptied directory among `dirs`. Failures are ignored.
void RemoveCopies(TCatalogue& catalogue, const QStringList& copies, const QStringList& dirs = {});

// What the stored copies of an area's files take: the sizes recorded in their version
// rows, each copy counted once.
int64_t AreaStorageBytes(TCatalogue& catalogue, int32_t areaNo);

// What an area's retention setting would remove now: the versions, each with the path of
// its watched file, and the space their copies would free (a copy that another row keeps
// frees nothing).
struct TRetentionPlan {
    struct Item {
        QString SourcePath;
        TVersionRow Version;
    };
    std::vector<Item> Remove;
    int64_t FreedBytes = 0;
};
// The plan for area `areaNo` under `policy` at `now` (seconds since the epoch), by the
// rule of app/retention.h; versions are timed by their names (the file's local
// last-write time). Changes nothing.
TRetentionPlan PlanRetention(TCatalogue& catalogue, int32_t areaNo, const TRetentionPolicy& policy,
                             int64_t now);
// Carries a plan out: the version rows in one transaction, then, after the commit, the
// copies that no row names any more. Returns the number of versions removed.
int ApplyRetention(TCatalogue& catalogue, const TRetentionPlan& plan);

// What a crash can leave behind, removed at start-up: the temporary files of a copy that
// never got its name (".<copy>.tmp-XXXXXX" in a backup directory) and of a restore that
// never replaced its file (".<file>.restore-XXXXXX" beside a watched file). Returns how
// many were removed.
int TidyLeftovers(TCatalogue& catalogue);

}  // namespace filever
