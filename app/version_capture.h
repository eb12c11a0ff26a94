// Change monitoring and version capture without widgets: which watched files changed
// since their last capture, storing a new version of one file, and registering a file
// under a storage area. The main window drives these (prompts, tree nodes); tests call
// them directly on a catalogue.
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

#include "app/catalogue.h"

namespace filever {

// The extension of the path's file name: from its last "." on, dot included; empty when
// the name has no dot.
QString FileExtension(const QString& path);
// "<area dir>/<file name of source>-bak".
QString BackupDirFor(const QString& areaDir, const QString& sourcePath);
// "<base name>{<version name>}<extension>".
QString VersionCopyName(const QString& sourcePath, const QString& versionName);

// Appends to `pending` every registered path whose current last-write time, formatted,
// differs from the recorded one; a path already in `pending` (letter case ignored) is
// not added again. A file that no longer exists gives 1899-12-30-00-00-00 and is
// collected on every pass.
void ScanForChanges(TCatalogue& catalogue, QStringList& pending);

// Stores the current state of the registered file `path` as a new version with the given
// description. False (and nothing changed) when the path is not registered. The copy is
// made first: when it fails the error is raised and no catalogue row is written, so every
// version row has its copy. Then the version row is appended (`rec` is filled from it) and
// the file's recorded time updated, in that order, so a refused row leaves the file to be
// captured at the next pass.
bool CaptureVersion(TCatalogue& catalogue, const QString& path, const QString& description,
                    verinfo& rec);

// CaptureVersion in two steps, so that the copy is taken before the user is asked for a
// description and a failing copy never costs what the user typed.
struct TVersionCopy {
    int32_t FileNo = 0;
    QString VerName;   // the file's last-write time when the copy was taken
    QString CopyPath;  // where the copy was stored
    QString SizeText;  // the source's size then
    QString FileExt;
};
// Stores the copy of the registered file `path`. False (nothing done) when the path is
// not registered; a failed copy raises and nothing is stored or written.
bool TakeVersionCopy(TCatalogue& catalogue, const QString& path, TVersionCopy& copy);
// Appends the version row of a copy taken by TakeVersionCopy (`rec` is filled from it),
// then updates the file's recorded time.
void RecordVersion(TCatalogue& catalogue, const TVersionCopy& copy, const QString& description,
                   verinfo& rec);

// Registers `path` under the area named exactly `areaName`: creates the backup directory
// and appends the file-index row. False when no area has that name. A path may be
// registered twice.
bool RegisterFile(TCatalogue& catalogue, const QString& areaName, const QString& path);

}  // namespace filever
