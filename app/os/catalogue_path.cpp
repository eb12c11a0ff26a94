#include "app/os/catalogue_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace filever {

QString CatalogueFileNameFor(const QString& exeDir) {
    const QString beside = QDir(exeDir).filePath(kCatalogueName);
    if (QFileInfo(beside).isFile()) return beside;
    QString data = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/filever/") + kCatalogueName;
}

QString CatalogueFileName() { return CatalogueFileNameFor(QCoreApplication::applicationDirPath()); }

}  // namespace filever
