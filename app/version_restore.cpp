#include "app/version_restore.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "app/gb_text.h"
#include "app/os/file_time.h"
#include "app/os/version_copy.h"
#include "app/version_capture.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

[[noreturn]] void Refuse(const QString& text) { throw tarn::EDatabaseError(QStringToAnsi(text)); }

}  // namespace

QString RestoreBackupRemark(const QString& versionName) {
    // Stored in the catalogue as the version's description: one text whatever the
    // interface's language.
    return QStringLiteral("恢复版本 %1 之前的状态").arg(versionName);
}

TFileRow RegisteredFile(TCatalogue& catalogue, const QString& path) {
    // The exact registered path: a case-insensitive lookup could pick another file.
    for (const TFileRow& row : catalogue.AllFiles())
        if (row.SourcePath == path) return row;
    Refuse(QCoreApplication::translate("filever", "文件“%1”不在监控列表中").arg(path));
}

bool KeepStateBefore(TCatalogue& catalogue, const TFileRow& file, const QString& remark,
                     verinfo& captured) {
    if (!QFileInfo::exists(file.SourcePath)) return false;
    // An unchanged time is not enough: a save in the two-second step of the last capture
    // keeps the time's text. The state is kept unless a stored version holds its bytes.
    const QString current = FormatVersionTime(GetFileTime(file.SourcePath, ftkLastWrite));
    if (current == file.RecordedTime) {
        for (const TVersionRow& v : catalogue.VersionsOfFile(file.FileNo))
            if (SameBytes(file.SourcePath, v.FilePath)) return false;
    }
    return CaptureVersion(catalogue, file.SourcePath, remark, captured);
}

void RestoreVersion(TCatalogue& catalogue, const QString& path, const verinfo& version,
                    TRestoreOutcome& outcome) {
    const TFileRow file = RegisteredFile(catalogue, path);
    if (version.FileNo != file.FileNo || version.FilePath.isEmpty())
        Refuse(QCoreApplication::translate("filever", "版本“%1”不是文件“%2”的版本")
                   .arg(version.VerName, path));

    // Everything that can be checked without a change: the copy opens, the directory
    // takes a new file.
    TVersionRestore restore(version.FilePath, path);

    outcome.captured = KeepStateBefore(catalogue, file, RestoreBackupRemark(version.VerName),
                                       outcome.capturedVersion);

    restore.Commit();
    outcome.restoredTime = FormatVersionTime(GetFileTime(path, ftkLastWrite));
    catalogue.SetRecordedTime(file.FileNo, outcome.restoredTime);
}

}  // namespace filever
