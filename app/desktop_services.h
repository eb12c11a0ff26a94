// Everything the version manager asks of the desktop that a test must be able to answer
// or observe: message boxes, the file-open dialog, running a modal dialog, opening a file
// with its associated program, starting a program, the notification area and its balloon.
//
// The main window and its dialogs reach the desktop only through this interface; the
// program installs QtDesktopServices, tests a double that answers dialogs and records
// what was shown (app/testing/fake_desktop_services.h). Called on the user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QSystemTrayIcon;
class QWidget;

namespace filever {

enum class TMsgIcon { None, Information, Warning, Error };

class TDesktopServices {
public:
    virtual ~TDesktopServices() = default;

    // A modal message box with one OK button.
    virtual void MessageBox(QWidget* parent, const QString& caption, const QString& text,
                            TMsgIcon icon) = 0;
    // One existing file chosen by the user, as a full path; empty when cancelled. The
    // dialog starts in the user's home folder.
    virtual QString GetOpenFileName(QWidget* parent) = 0;
    // Where to save a new file: a full path chosen by the user, empty when cancelled. The
    // dialog offers `suggestedName` in the user's home folder and files matching `filter`
    // (a Qt name filter such as "PNG 图片 (*.png)"); replacing an existing file is confirmed
    // in the dialog.
    virtual QString GetSaveFileName(QWidget* parent, const QString& caption,
                                    const QString& suggestedName, const QString& filter) = 0;
    // One existing folder chosen by the user, as a full path; empty when cancelled. The
    // dialog starts in the user's home folder.
    virtual QString GetExistingDirectory(QWidget* parent) = 0;
    // Shows `dialog` modally and returns when it has closed (QDialog::exec for real).
    virtual void ExecModal(QDialog& dialog) = 0;
    // Starts the program the desktop associates with the file's type (a folder opens in
    // the file manager). False when the desktop has no program for the type or the start
    // failed.
    virtual bool OpenWithAssociatedProgram(const QString& path) = 0;
    // Starts `program` (a path, or a name looked up on the search path) with `arguments`,
    // detached: it runs on by itself. False when it could not be started.
    virtual bool StartProgram(const QString& program, const QStringList& arguments) = 0;
    // Whether the desktop has a notification area to hide into.
    virtual bool SystemTrayAvailable() = 0;
    // A balloon message at the tray icon with the information icon.
    virtual void ShowBalloon(QSystemTrayIcon& tray, const QString& title, const QString& text,
                             int timeoutMs) = 0;
};

// The services of the running desktop.
class QtDesktopServices final : public TDesktopServices {
public:
    void MessageBox(QWidget* parent, const QString& caption, const QString& text,
                    TMsgIcon icon) override;
    QString GetOpenFileName(QWidget* parent) override;
    QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& suggestedName,
                            const QString& filter) override;
    QString GetExistingDirectory(QWidget* parent) override;
    void ExecModal(QDialog& dialog) override;
    bool OpenWithAssociatedProgram(const QString& path) override;
    bool StartProgram(const QString& program, const QStringList& arguments) override;
    bool SystemTrayAvailable() override;
    void ShowBalloon(QSystemTrayIcon& tray, const QString& title, const QString& text,
                     int timeoutMs) override;
};

}  // namespace filever
