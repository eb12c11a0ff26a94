// Test support for the main window: a temporary home for the catalogue, the autostart
// entry, source files and a storage directory; the desktop replaced by its double; helpers
// that play the user in the modal dialogs. For app tests only.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "app/area_dialog.h"
#include "app/confirm_dialog.h"
#include "app/mainw.h"
#include "app/testing/fake_desktop_services.h"
#include "app/testing/files.h"
#include "app/ver_desc_dialog.h"
#include "tests/support/temp_dir.h"

namespace filever::testing {

// The texts of a node's children, in order.
inline QStringList Texts(const QTreeWidgetItem* node) {
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
    return out;
}

class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.file("config")));
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        options.cataloguePath = Q(dir.file("版本控制.dat"));
        options.monitorDelayMs = 50;
        options.promptTimeoutMs = 50;
        options.settingsPath = Q(dir.file("config/filever/filever.conf"));
    }
    ~MainWindowFixture() override { qunsetenv("XDG_CONFIG_HOME"); }

    std::unique_ptr<Tmainw> Make(TCatalogue& catalogue) {
        return std::make_unique<Tmainw>(desktop, catalogue, options);
    }
    // A source file under docs/ with an old last-write time.
    std::string Source(const std::string& name) {
        const std::string path = dir.file("docs/" + name);
        Write(path, "content of " + name, 1600000000);
        return path;
    }
    // The user's answer to the next area dialog.
    void AnswerAreaDialog(const QString& folder, const QString& name, bool confirm = true) {
        desktop.dialogScripts.push_back([=](QDialog& d) {
            auto& area = dynamic_cast<TCreatDataAreaW&>(d);
            // No folder: the user cleared the path the dialog starts with.
            if (folder.isEmpty())
                area.Edit1->clear();
            else
                area.SelectFolder(folder);
            area.Edit2->setText(name);
            (confirm ? area.Button1 : area.Button2)->click();
        });
    }
    // The user's answer to the next confirmation: "确定" or "取消"; `question` receives
    // what was asked.
    void AnswerConfirm(bool yes, QString* question = nullptr) {
        desktop.dialogScripts.push_back([=](QDialog& d) {
            auto& c = dynamic_cast<TConfirmDialog&>(d);
            if (question) *question = c.Label1->text();
            (yes ? c.Button1 : c.Button2)->click();
        });
    }
    // The user's answer to the next description prompt: type `text` (as an input method
    // does, so Chinese works too) and submit.
    void AnswerPrompt(const QString& text) {
        desktop.dialogScripts.push_back([=](QDialog& d) {
            auto& prompt = dynamic_cast<TFormVerSm&>(d);
            prompt.Edit1->insertPlainText(text);
            prompt.Button1->click();
        });
    }

    tarn::testing::TempDir dir;
    FakeDesktopServices desktop;
    Tmainw::Options options;
};

}  // namespace filever::testing
