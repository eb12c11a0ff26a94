// TTarnDBLoginForm: "Database Login", the dialog in which the user types the password of
// an encrypted database, and the engine hooks the program installs: that dialog as the
// engine's password prompt, and the wait cursor while a table applies a filter.
//
// The form is 281 x 154 pixels, centred on the screen: a raised panel "BackPanel" holding
// "Database:" with the database's name (read-only, not a tab stop) and "Password:" with a
// masked edit, which has the focus; "OK" (default) accepts, "Cancel" rejects.
//
// User-interface thread only: the engine opens databases on that thread, so its prompt
// and busy callbacks run there too.
#pragma once

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace filever {

class TDesktopServices;

class TTarnDBLoginForm : public QDialog {
    Q_OBJECT
public:
    TTarnDBLoginForm(QWidget* owner, const QString& databaseName);

    QFrame* BackPanel;
    QLabel* DatabaseLabel;
    QLabel* PasswordLabel;
    QLineEdit* DatabaseEdit;
    QLineEdit* PasswordEdit;
    QPushButton* OkButton;
    QPushButton* CancelButton;

protected:
    void showEvent(QShowEvent* event) override;
};

// Asks for the password of `databaseFileName` (the engine's name: a native path or another
// name, shown as text) through `desktop`. True with the text typed, in the data code page,
// when the user chose OK; false on Cancel or any other close.
bool PromptDatabasePassword(TDesktopServices& desktop, QWidget* parent,
                            const std::string& databaseFileName, std::string& password);

// While it lives, the engine asks for passwords with TTarnDBLoginForm through `desktop`
// and shows the wait cursor during a table's filter scan. On destruction the engine goes
// back to having no prompt (opening an encrypted database without a password then fails
// with "Access denied") and no busy handler. One at a time; `desktop` must outlive it.
class TEngineHooks {
public:
    explicit TEngineHooks(TDesktopServices& desktop);
    ~TEngineHooks();
    TEngineHooks(const TEngineHooks&) = delete;
    TEngineHooks& operator=(const TEngineHooks&) = delete;
};

}  // namespace filever
