#include "app/desktop_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QUrl>

namespace filever {

void QtDesktopServices::MessageBox(QWidget* parent, const QString& caption, const QString& text,
                                   TMsgIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
        case TMsgIcon::None:
            qtIcon = QMessageBox::NoIcon;
            break;
        case TMsgIcon::Information:
            qtIcon = QMessageBox::Information;
            break;
        case TMsgIcon::Warning:
            qtIcon = QMessageBox::Warning;
            break;
        case TMsgIcon::Error:
            qtIcon = QMessageBox::Critical;
            break;
    }
    QMessageBox box(qtIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

QString QtDesktopServices::GetOpenFileName(QWidget* parent) {
    // One existing file; Qt's dialog has no read-only box to hide.
    return QFileDialog::getOpenFileName(parent, QString(), QDir::homePath());
}

QString QtDesktopServices::GetSaveFileName(QWidget* parent, const QString& caption,
                                           const QString& suggestedName, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption,
                                        QDir(QDir::homePath()).filePath(suggestedName), filter);
}

QString QtDesktopServices::GetExistingDirectory(QWidget* parent) {
    return QFileDialog::getExistingDirectory(
        parent, QCoreApplication::translate("filever", "选择要监控的目录"), QDir::homePath());
}

void QtDesktopServices::ExecModal(QDialog& dialog) { dialog.exec(); }

bool QtDesktopServices::OpenWithAssociatedProgram(const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return false;
    if (!QFileInfo(path).isDir()) {
        // The desktop's opener starts even for a type nobody handles, and then fails where
        // no one sees it: ask the desktop's MIME database first.
        const QString type = QMimeDatabase().mimeTypeForFile(path).name();
        QProcess query;
        query.start(QStringLiteral("xdg-mime"),
                    {QStringLiteral("query"), QStringLiteral("default"), type});
        if (query.waitForFinished(3000) && query.exitStatus() == QProcess::NormalExit &&
            query.exitCode() == 0 && query.readAllStandardOutput().trimmed().isEmpty())
            return false;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktopServices::StartProgram(const QString& program, const QStringList& arguments) {
    if (program.isEmpty()) return false;
    return QProcess::startDetached(program, arguments);
}

bool QtDesktopServices::SystemTrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtDesktopServices::ShowBalloon(QSystemTrayIcon& tray, const QString& title,
                                    const QString& text, int timeoutMs) {
    tray.showMessage(title, text, QSystemTrayIcon::Information, timeoutMs);
}

}  // namespace filever
