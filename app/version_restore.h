// Restoring a version: the stored copy of a version is put back in place of its watched
// file. Nothing is ever lost by a restore: when the file's last-write time differs from
// the one recorded at its last capture, its current state is first stored as a new version
// (the usual capture, app/version_capture.h), described as the state before the restore.
// The file is then replaced atomically (app/os/version_copy.h: temporary name beside it,
// then rename), keeping its permissions, and its new last-write time is recorded as the
// file's time, so the next monitoring pass does not ask about the restored state.
//
// Without widgets: the main window switches its watchers off around the call and adds the
// captured version to its tree. Raises, with the watched file left as it was:
//   EDatabaseError when the path is not a registered file or the version is not one of
//     its versions;
//   EFOpenError when the stored copy cannot be opened or the file's directory does not let
//     a file be written there (checked before the current state is captured, so a refused
//     restore stores nothing);
//   the capture's and the copy's errors, and the catalogue's errors, unchanged.
// An error after the capture keeps the captured version (a true state of the file).
#pragma once

#include <QString>

#include "app/catalogue.h"

namespace filever {

struct TRestoreOutcome {
    bool captured = false;    // the state before the restore became a new version
    verinfo capturedVersion;  // that version's row, when captured
    QString restoredTime;     // the file's time after the restore, as recorded
};

// The description of the version captured before a restore of `versionName`.
QString RestoreBackupRemark(const QString& versionName);

// The row of the registered file `path` (the exact registered path: a case-insensitive
// lookup could pick another file). Raises EDatabaseError when it is not registered.
TFileRow RegisteredFile(TCatalogue& catalogue, const QString& path);

// What a command that replaces a watched file's content keeps first: when the file exists
// and its last-write time differs from the one recorded at its last capture, its current
// state is captured as a new version described `remark` (true, `captured` filled). When the
// time is the recorded one, the latest version holds this state already (false). The
// capture's and the catalogue's errors pass unchanged.
bool KeepStateBefore(TCatalogue& catalogue, const TFileRow& file, const QString& remark,
                     verinfo& captured);

// Restores `version` (a row of "文件版本表", as FindVersionByName gives it) of the
// registered file `path` (the exact registered path).
void RestoreVersion(TCatalogue& catalogue, const QString& path, const verinfo& version,
                    TRestoreOutcome& outcome);

}  // namespace filever
