#include "app/login_dialog.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "app/desktop_services.h"
#include "app/gb_text.h"
#include "tarndb/database.h"
#include "tarndb/table.h"

namespace filever {

TTarnDBLoginForm::TTarnDBLoginForm(QWidget* owner, const QString& databaseName)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("TarnDBLoginForm"));
    setWindowTitle(QStringLiteral("Database Login"));
    setFixedSize(281, 154);
    setFont(QApplication::font("QMessageBox"));

    BackPanel = new QFrame(this);
    BackPanel->setObjectName(QStringLiteral("BackPanel"));
    BackPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    BackPanel->setGeometry(8, 8, width() - 16, 75);

    const int editWidth = BackPanel->contentsRect().width() - 98;
    DatabaseLabel = new QLabel(QStringLiteral("Database:"), BackPanel);
    DatabaseLabel->setObjectName(QStringLiteral("DatabaseLabel"));
    DatabaseLabel->move(12, 15);
    PasswordLabel = new QLabel(QStringLiteral("Password:"), BackPanel);
    PasswordLabel->setObjectName(QStringLiteral("PasswordLabel"));
    PasswordLabel->move(12, 45);

    DatabaseEdit = new QLineEdit(databaseName, BackPanel);
    DatabaseEdit->setObjectName(QStringLiteral("DatabaseEdit"));
    DatabaseEdit->setReadOnly(true);
    DatabaseEdit->setFocusPolicy(Qt::NoFocus);
    QPalette face = DatabaseEdit->palette();  // shown in the button face colour
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    DatabaseEdit->setPalette(face);
    DatabaseEdit->setGeometry(86, 12, editWidth, 21);
    DatabaseEdit->setCursorPosition(0);
    PasswordEdit = new QLineEdit(BackPanel);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setGeometry(86, 42, editWidth, 21);

    OkButton = new QPushButton(QStringLiteral("&OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    OkButton->setGeometry(109, 94, 75, 25);
    CancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(191, 94, 75, 25);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(PasswordEdit, OkButton);
    setTabOrder(OkButton, CancelButton);
    PasswordEdit->setFocus();
}

void TTarnDBLoginForm::showEvent(QShowEvent* event) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
    PasswordEdit->setFocus();
}

bool PromptDatabasePassword(TDesktopServices& desktop, QWidget* parent,
                            const std::string& databaseFileName, std::string& password) {
    // The engine's names of disk databases are native paths.
    TTarnDBLoginForm form(parent, QFile::decodeName(QByteArray::fromStdString(databaseFileName)));
    desktop.ExecModal(form);
    if (form.result() != QDialog::Accepted) return false;
    password = QStringToAnsi(form.PasswordEdit->text());
    return true;
}

TEngineHooks::TEngineHooks(TDesktopServices& desktop) {
    tarn::SetPasswordPrompt([&desktop](const std::string& name, std::string& password) {
        return PromptDatabasePassword(desktop, QApplication::activeWindow(), name, password);
    });
    tarn::TTarnTable::SetBusyHandler([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

TEngineHooks::~TEngineHooks() {
    tarn::SetPasswordPrompt(nullptr);
    tarn::TTarnTable::SetBusyHandler(nullptr);
}

}  // namespace filever
