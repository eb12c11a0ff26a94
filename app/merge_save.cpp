#include "app/merge_save.h"

#include <QCoreApplication>
#include <QFile>

#include "app/gb_text.h"
#include "app/os/version_copy.h"
#include "app/version_restore.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

[[noreturn]] void Refuse(const QString& text) { throw tarn::EDatabaseError(QStringToAnsi(text)); }

// The file's bytes now; a file that cannot be read holds nothing the merge knows.
bool Holds(const QString& path, const QByteArray& expected) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (file.size() != expected.size()) return false;
    const QByteArray now = file.readAll();
    return file.error() == QFileDevice::NoError && now == expected;
}

}  // namespace

QString MergeBackupRemark(const QString& versionName) {
    // Stored in the catalogue with the version, so never translated.
    return QStringLiteral("合并版本 %1 之前的状态").arg(versionName);
}

void SaveMergedFile(TCatalogue& catalogue, const QString& path, const verinfo& version,
                    const QByteArray& expected, const QByteArray& merged, TMergeOutcome& outcome) {
    const TFileRow file = RegisteredFile(catalogue, path);
    if (version.FileNo != file.FileNo)
        Refuse(QCoreApplication::translate("filever", "版本“%1”不是文件“%2”的版本")
                   .arg(version.VerName, path));
    if (!Holds(path, expected))
        Refuse(QCoreApplication::translate(
                   "filever", "文件“%1”在合并期间被修改过，合并结果没有保存。请重新打开版本合并。")
                   .arg(path));

    // Everything that can be checked without a change: the directory takes a new file.
    TVersionRestore write(TVersionRestore::TContents{merged}, path);
    outcome.captured = KeepStateBefore(catalogue, file, MergeBackupRemark(version.VerName),
                                       outcome.capturedVersion);
    write.Commit();
    outcome.saved = true;
}

}  // namespace filever
