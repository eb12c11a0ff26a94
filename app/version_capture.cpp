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

bool CaptureVersion(TCatalogue& catalogue, const QString& path, const QString& description,
                    verinfo& rec) {
    TFileRow file;
    if (!catalogue.FindFileIgnoreCase(path, file)) return false;
    const QString version = FormatVersionTime(GetFileTime(path, ftkLastWrite));
    rec.VerName = version;
    const QString size = QString::number(FileSize(path));
    const QString copy = file.BackupDir + QLatin1Char('/') + VersionCopyName(path, version);

    // The backup directory may have been removed since registration: make it again.
    QDir().mkpath(file.BackupDir);
    CopyVersionFile(path, copy);

    TVersionRow row;
    row.FileNo = file.FileNo;
    row.VerName = version;
    row.FilePath = copy;
    row.Remark = description;
    row.SizeText = size;
    row.FileExt = FileExtension(path);
    catalogue.AddVersion(row, rec);
    // The recorded time last: when the row is refused (a description too long for the
    // catalogue) the file stays changed and the next pass asks again.
    catalogue.SetRecordedTime(file.FileNo, version);
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
