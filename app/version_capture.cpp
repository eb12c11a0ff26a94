#include "app/version_capture.h"

#include <QDir>
#include <QFileInfo>

#include "app/os/file_time.h"
#include "app/os/version_copy.h"

namespace filever {

QString FileExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString BackupDirFor(const QString& areaDir, const QString& sourcePath) {
    QString dir = areaDir;
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    return dir + QLatin1Char('/') + QFileInfo(sourcePath).fileName() + QStringLiteral("-bak");
}

QString VersionCopyName(const QString& sourcePath, const QString& versionName) {
    const QString name = QFileInfo(sourcePath).fileName();
    const QString ext = FileExtension(sourcePath);
    const QString base = name.left(name.size() - ext.size());
    return base + QLatin1Char('{') + versionName + QLatin1Char('}') + ext;
}

void ScanForChanges(TCatalogue& catalogue, QStringList& pending) {
    for (const TFileRow& row : catalogue.AllFiles()) {
        const QString current = FormatVersionTime(GetFileTime(row.SourcePath, ftkLastWrite));
        if (current == row.RecordedTime) continue;
        if (!pending.contains(row.SourcePath, Qt::CaseInsensitive)) pending << row.SourcePath;
    }
}

bool TakeVersionCopy(TCatalogue& catalogue, const QString& path, TVersionCopy& copy) {
    TFileRow file;
    if (!catalogue.FindFileIgnoreCase(path, file)) return false;
    copy.FileNo = file.FileNo;
    copy.VerName = FormatVersionTime(GetFileTime(path, ftkLastWrite));
    copy.SizeText = QString::number(FileSize(path));
    copy.FileExt = FileExtension(path);
    copy.CopyPath = file.BackupDir + QLatin1Char('/') + VersionCopyName(path, copy.VerName);
    // The backup directory may have been removed since registration: make it again.
    QDir().mkpath(file.BackupDir);
    CopyVersionFile(path, copy.CopyPath);
    return true;
}

void RecordVersion(TCatalogue& catalogue, const TVersionCopy& copy, const QString& description,
                   verinfo& rec) {
    TVersionRow row;
    row.FileNo = copy.FileNo;
    row.VerName = copy.VerName;
    row.FilePath = copy.CopyPath;
    row.Remark = description;
    row.SizeText = copy.SizeText;
    row.FileExt = copy.FileExt;
    catalogue.AddVersion(row, rec);
    // The recorded time last: when the row is refused (a description too long for the
    // catalogue) the file stays changed and the next pass asks again.
    catalogue.SetRecordedTime(copy.FileNo, copy.VerName);
}

bool CaptureVersion(TCatalogue& catalogue, const QString& path, const QString& description,
                    verinfo& rec) {
    TVersionCopy copy;
    if (!TakeVersionCopy(catalogue, path, copy)) return false;
    rec.VerName = copy.VerName;
    RecordVersion(catalogue, copy, description, rec);
    return true;
}

bool RegisterFile(TCatalogue& catalogue, const QString& areaName, const QString& path) {
    TAreaRow area;
    if (!catalogue.FindArea(areaName, area)) return false;
    const QString backup = BackupDirFor(area.Dir, path);
    catalogue.AddFile(area.AreaNo, path, backup);
    // A directory that cannot be made shows up as the first capture's copy error.
    QDir().mkpath(backup);
    return true;
}

}  // namespace filever
