#include "app/desktop_services.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
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
    return QFileDialog::getOpenFileName(parent);
}

void QtDesktopServices::ExecModal(QDialog& dialog) { dialog.exec(); }

void QtDesktopServices::OpenWithAssociatedProgram(const QString& path) {
    if (path.isEmpty()) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktopServices::SystemTrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtDesktopServices::ShowBalloon(QSystemTrayIcon& tray, const QString& title,
                                    const QString& text, int timeoutMs) {
    tray.showMessage(title, text, QSystemTrayIcon::Information, timeoutMs);
}

}  // namespace filever
