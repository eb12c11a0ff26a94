// Test support for the main window: a temporary home for the catalogue, the autostart
// entry, source files and a storage directory; the desktop replaced by its double; helpers
// that play the user in the modal dialogs. For app tests only.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/area_dialog.h"
#include "app/confirm_dialog.h"
#include "app/mainw.h"
#include "app/os/file_time.h"
#include "app/testing/fake_desktop_services.h"
#include "app/ver_desc_dialog.h"
#include "tests/support/temp_dir.h"

QT_BEGIN_NAMESPACE
// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace filever::testing {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

inline void SetMTime(const std::string& path, time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The version name a capture of `path` gets now.
inline QString VersionOf(const std::string& path) {
    return FormatVersionTime(GetFileTime(Q(path), ftkLastWrite));
}

// A file's bytes, or "(missing)".
inline QByteArray Content(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}
inline QByteArray Content(const std::string& path) { return Content(Q(path)); }

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
        std::ofstream(path) << "content of " << name;
        SetMTime(path, 1600000000);
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
