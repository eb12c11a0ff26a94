// Test double of the desktop: answers the file-open dialog with a prepared path, runs a
// prepared script on each modal dialog instead of waiting for a user, records every
// message box, balloon, "open" request and started program, and says whether a
// notification area exists.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "app/desktop_services.h"

namespace filever::testing {

class FakeDesktopServices final : public TDesktopServices {
public:
    struct Message {
        QString caption;
        QString text;
        TMsgIcon icon;
    };
    struct Started {
        QString program;
        QStringList arguments;
    };
    struct Balloon {
        QString title;
        QString text;
        int timeoutMs;
    };

    std::vector<Message> messages;
    std::vector<Balloon> balloons;
    QStringList opened;
    std::vector<Started> started;
    // What StartProgram answers (the start is recorded either way).
    bool startSucceeds = true;
    // What OpenWithAssociatedProgram answers (the request is recorded either way).
    bool openSucceeds = true;

    // Answers of the file-open dialog, taken in order; an empty list answers "cancel".
    std::deque<QString> openFileAnswers;
    // Answers of the save-file dialog, taken in order; an empty list answers "cancel".
    // Each question asked is recorded: its caption, suggested name and filter.
    std::deque<QString> saveFileAnswers;
    struct SaveQuestion {
        QString caption;
        QString suggestedName;
        QString filter;
    };
    std::vector<SaveQuestion> saveQuestions;
    // Answers of the folder chooser, taken in order; an empty list answers "cancel".
    std::deque<QString> folderAnswers;
    // Scripts run on the modal dialogs, taken in order. A script plays the user: it
    // fills controls and clicks buttons. With no script left the dialog is rejected.
    std::deque<std::function<void(QDialog&)>> dialogScripts;
    bool trayAvailable = true;
    // Runs while a message box is "open" (after it was recorded): plays what happens
    // before the user dismisses it.
    std::function<void(const Message&)> whileMessageOpen;
    // Runs once, as the next box of any kind opens (a message, a file or folder chooser, a
    // modal dialog before its script): plays what the event loop does while a user looks
    // at it (timers fire, a monitoring pass runs). Cleared before it runs.
    std::function<void()> whileNextBoxOpen;

    void MessageBox(QWidget*, const QString& caption, const QString& text, TMsgIcon icon) override {
        messages.push_back({caption, text, icon});
        BoxOpens();
        if (!whileMessageOpen) return;
        // Copies: the hook may replace itself or add messages.
        const Message shown = messages.back();
        const auto hook = whileMessageOpen;
        hook(shown);
    }
    QString GetOpenFileName(QWidget*) override {
        BoxOpens();
        if (openFileAnswers.empty()) return QString();
        QString answer = openFileAnswers.front();
        openFileAnswers.pop_front();
        return answer;
    }
    QString GetSaveFileName(QWidget*, const QString& caption, const QString& suggestedName,
                            const QString& filter) override {
        saveQuestions.push_back({caption, suggestedName, filter});
        BoxOpens();
        if (saveFileAnswers.empty()) return QString();
        QString answer = saveFileAnswers.front();
        saveFileAnswers.pop_front();
        return answer;
    }
    QString GetExistingDirectory(QWidget*) override {
        BoxOpens();
        if (folderAnswers.empty()) return QString();
        QString answer = folderAnswers.front();
        folderAnswers.pop_front();
        return answer;
    }
    void ExecModal(QDialog& dialog) override {
        BoxOpens();
        if (dialogScripts.empty()) {
            dialog.reject();
            return;
        }
        auto script = std::move(dialogScripts.front());
        dialogScripts.pop_front();
        script(dialog);
    }
    bool OpenWithAssociatedProgram(const QString& path) override {
        opened << path;
        return openSucceeds;
    }
    bool StartProgram(const QString& program, const QStringList& arguments) override {
        started.push_back({program, arguments});
        return startSucceeds;
    }
    bool SystemTrayAvailable() override { return trayAvailable; }
    void ShowBalloon(QSystemTrayIcon&, const QString& title, const QString& text,
                     int timeoutMs) override {
        balloons.push_back({title, text, timeoutMs});
    }

private:
    void BoxOpens() {
        if (!whileNextBoxOpen) return;
        const auto hook = std::move(whileNextBoxOpen);
        whileNextBoxOpen = nullptr;
        hook();
    }
};

}  // namespace filever::testing
