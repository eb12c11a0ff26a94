// Saving the result of a merge into the watched file, without widgets. Nothing is lost by
// a merge: the file's current state is first kept as a version, as a restore keeps it
// (app/version_restore.h: when the file changed since its last capture it is captured,
// described as the state before the merge). Then the merged bytes replace the file
// atomically (temporary file beside it, forced to disk, renamed over it), keeping its
// permissions. The merged state is a change of the file like any save: the monitoring
// pass that follows captures it as a version of its own.
//
// Raises, with the watched file left exactly as it was:
//   EDatabaseError when the path is not a registered file, the version is not one of its
//     versions, or the file no longer holds the bytes the merge was built from (it was
//     changed meanwhile; nothing is captured or written);
//   EFOpenError when the file's directory does not let a file be written there (checked
//     before the current state is captured);
//   the capture's errors (a failed copy, a refused catalogue row), and EInOutError for a
//     failed write, flush or rename.
// An error after the capture keeps the captured version (a true state of the file).
// User-interface thread only (the catalogue's).
#pragma once

#include <QByteArray>
#include <QString>

#include "app/catalogue.h"

namespace filever {

struct TMergeOutcome {
    bool saved = false;       // the merged bytes are in the file
    bool captured = false;    // the state before the merge became a new version
    verinfo capturedVersion;  // that version's row, when captured
};

// The description of the version captured before a merge from `versionName`.
QString MergeBackupRemark(const QString& versionName);

// Writes `merged` into the registered file `path` (the exact registered path), merged from
// `version` (a row of "文件版本表" of that file) into the bytes `expected`.
void SaveMergedFile(TCatalogue& catalogue, const QString& path, const verinfo& version,
                    const QByteArray& expected, const QByteArray& merged, TMergeOutcome& outcome);

}  // namespace filever
