// The main window, offscreen, with the desktop and the catalogue replaced by doubles.
#include "app/mainw.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/area_dialog.h"
#include "app/catalogue_double.h"
#include "app/fake_desktop_services.h"
#include "app/os/autostart.h"
#include "app/ribbon.h"
#include "app/ver_desc_dialog.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

using testing::CatalogueDouble;
using testing::FakeDesktopServices;

QString Q(const std::string& s) { return QString::fromStdString(s); }

void SetOldMTime(const std::string& path) {
    const struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

QStringList Texts(const QTreeWidgetItem* node) {
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
    return out;
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.file("config")));
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        options.cataloguePath = Q(dir.file("版本控制.dat"));
        options.monitorDelayMs = 50;
        options.promptTimeoutMs = 50;
    }
    ~MainWindowTest() override { qunsetenv("XDG_CONFIG_HOME"); }

    std::unique_ptr<Tmainw> Make(TCatalogue& catalogue) {
        return std::make_unique<Tmainw>(desktop, catalogue, options);
    }
    // A source file with an old last-write time.
    std::string Source(const std::string& name) {
        const std::string path = dir.file("docs/" + name);
        std::ofstream(path) << "content of " << name;
        SetOldMTime(path);
        return path;
    }
    // The user's answer to the next area dialog.
    void AnswerAreaDialog(const QString& folder, const QString& name, bool confirm = true) {
        desktop.dialogScripts.push_back([=](QDialog& d) {
            auto& area = dynamic_cast<TCreatDataAreaW&>(d);
            if (!folder.isEmpty()) area.SelectFolder(folder);
            area.Edit2->setText(name);
            (confirm ? area.Button1 : area.Button2)->click();
        });
    }
    // The user's answer to the next description prompt: type `text` and submit.
    void AnswerPrompt(const QString& text) {
        desktop.dialogScripts.push_back([=](QDialog& d) {
            auto& prompt = dynamic_cast<TFormVerSm&>(d);
            QTest::keyClicks(prompt.Edit1, text);
            prompt.Button1->click();
        });
    }

    tarn::testing::TempDir dir;
    FakeDesktopServices desktop;
    Tmainw::Options options;
};

TEST_F(MainWindowTest, CatalogueErrorAtStartUpIsReportedAndTheWindowStillOpens) {
    TCatalogue unconnected;
    auto w = Make(unconnected);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].caption, QStringLiteral("文件版本控制"));
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(desktop.messages[0].text.startsWith("TCatalogue: Open"));
    EXPECT_EQ(w->TreeView1->topLevelItemCount(), 0);
    EXPECT_TRUE(w->WebBrowser1->toPlainText().isEmpty());  // the steps after the error are skipped
    EXPECT_TRUE(w->MinimizeToTray);
    w->show();
    EXPECT_TRUE(w->isVisible());
}

TEST_F(MainWindowTest, FrameRibbonAndMenus) {
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(catalogue.openedPath, options.cataloguePath);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("文件版本控制"));
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->ToolBarPager1->height(), 145);
    EXPECT_EQ(w->WebBrowser1->height(), 41);
    EXPECT_FALSE(w->WebBrowser1->toPlainText().isEmpty());
    QStringList pages;
    for (int i = 0; i < w->ToolBarPager1->Tabs->count(); ++i)
        pages << w->ToolBarPager1->Tabs->tabText(i);
    EXPECT_EQ(pages, QStringList({"文件管理", "网络管理", "报表", "设置"}));
    EXPECT_EQ(w->PageControl->tabText(0), QStringLiteral("文件管理树"));
    EXPECT_EQ(w->ListView1->headerItem()->text(0), QStringLiteral("文件版本"));
    EXPECT_EQ(w->ListView1->columnWidth(2), 300);
    QStringList tray;
    for (QAction* a : w->pm1->actions()) tray << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(tray, QStringList({"显示Wendle文件管理", "后台运行", "-", "退出Wendle文件管理"}));
    QStringList popup;
    for (QAction* a : w->PopupMenu1->actions()) popup << a->text();
    EXPECT_EQ(popup, QStringList({"填写版本说明", "添加监控版本", "删除监控文件", "增加存储区"}));
    // Buttons without an action do nothing, and say nothing.
    for (QToolButton* b : w->ToolBarPager1->findChildren<QToolButton*>())
        if (b->objectName().isEmpty()) b->click();
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_TRUE(desktop.dialogScripts.empty());
}

TEST_F(MainWindowTest, LoadBuildsTheTreeNewestFirstExpandedAndWatchesTheFilesDirectories) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "docs", "/store"}, {2, "empty", "/store2"}};
    catalogue.files = {{1, 1, Q(dir.file("docs/a.txt")), "", ""},
                       {2, 1, Q(dir.file("docs/b.txt")), "", ""},
                       {3, 1, "/elsewhere/c.txt", "", ""}};
    catalogue.versions = {{1, "v1", "", "", "1", ""}, {1, "v2", "", "", "1", ""}};
    auto w = Make(catalogue);
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 2);
    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    EXPECT_EQ(area->text(0), "docs");
    EXPECT_EQ(Texts(area), QStringList({"/elsewhere/c.txt", Q(dir.file("docs/b.txt")),
                                        Q(dir.file("docs/a.txt"))}));
    EXPECT_EQ(Texts(area->child(2)), QStringList({"v2", "v1"}));
    EXPECT_TRUE(area->isExpanded() && area->child(2)->isExpanded());
    EXPECT_EQ(w->TreeView1->topLevelItem(1)->childCount(), 0);
    EXPECT_EQ(w->Watchers.Dirs(), QStringList({"/elsewhere", Q(dir.file("docs"))}));
    EXPECT_EQ(w->FindFileNode(Q(dir.file("docs/a.txt"))), area->child(2));
    EXPECT_EQ(w->FindFileNode(Q(dir.file("docs/A.txt"))), nullptr);  // letter case counts
}

TEST_F(MainWindowTest, CloseHidesToTheTrayWithTheBalloonEveryTime) {
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    QSignalSpy closed(w.get(), &Tmainw::Closed);
    w->show();
    for (int i = 1; i <= 2; ++i) {
        w->ToolBarPager1->CloseButton->click();
        EXPECT_FALSE(w->isVisible());
        ASSERT_EQ(desktop.balloons.size(), static_cast<size_t>(i));
        w->MenuItem1->trigger();  // show again
        EXPECT_TRUE(w->isVisible());
    }
    EXPECT_EQ(desktop.balloons[0].title, QStringLiteral("温馨提示"));
    EXPECT_EQ(
        desktop.balloons[0].text,
        QStringLiteral("文件版本控制进入后台运行\r如要退出监控文件，请在右下角右键进入菜单！"));
    EXPECT_EQ(desktop.balloons[0].timeoutMs, 10000);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(w->ExitRequested);
}

TEST_F(MainWindowTest, WithoutANotificationAreaCloseMinimisesInstead) {
    desktop.trayAvailable = false;
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    w->show();
    w->close();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isMinimized());
    EXPECT_TRUE(desktop.balloons.empty());
}

TEST_F(MainWindowTest, ExitPathsEndTheProgramAndBackgroundHides) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "docs", "/store"}};
    catalogue.files = {{1, 1, Q(dir.file("docs/a.txt")), "", ""}};
    {
        auto w = Make(catalogue);
        w->show();
        w->MenuItem2->trigger();  // "后台运行"
        EXPECT_FALSE(w->isVisible());
        QSignalSpy closed(w.get(), &Tmainw::Closed);
        w->MenuItem4->trigger();  // exit while hidden: the window is not shown
        EXPECT_EQ(closed.count(), 1);
        EXPECT_TRUE(w->ExitRequested);
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(w->Watchers.Dirs().isEmpty());  // FormClose freed the watchers
    }
    {
        auto w = Make(catalogue);
        w->show();
        QMenu* app = w->ToolBarPager1->PreviewMenu1;
        app->actions()[0]->trigger();
        EXPECT_FALSE(w->isVisible());
        QSignalSpy closed(w.get(), &Tmainw::Closed);
        app->actions()[1]->trigger();
        EXPECT_EQ(closed.count(), 1);
    }
}

TEST_F(MainWindowTest, AreaCommandChecksDirectoryAndName) {
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    const QString store = Q(dir.file("store"));
    struct Case {
        QString folder;
        QString name;
        bool confirm;
        QStringList messages;
    } cases[] = {
        {"", "", true, {"目录不存在", "输入存储区名称有错"}},
        {store, "", true, {"输入存储区名称有错"}},
        {"", "docs", true, {"目录不存在"}},
        {store, "docs", false, {}},  // abandoned: nothing taken, nothing said
    };
    for (const Case& c : cases) {
        desktop.messages.clear();
        AnswerAreaDialog(c.folder, c.name, c.confirm);
        w->GlowButton13Click();
        QStringList shown;
        for (const auto& m : desktop.messages) shown << m.text;
        EXPECT_EQ(shown, c.messages) << c.folder.toStdString() << " / " << c.name.toStdString();
        EXPECT_TRUE(catalogue.areas.empty());
    }
    AnswerAreaDialog(store, "first");
    w->GlowButton13Click();
    AnswerAreaDialog(store, "first");  // the same name and directory again is allowed
    w->N4->trigger();
    ASSERT_EQ(catalogue.areas.size(), 2u);
    EXPECT_EQ(catalogue.areas[1].Dir, store);
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 2);
    EXPECT_EQ(w->TreeView1->topLevelItem(1)->text(0), "first");
}

TEST_F(MainWindowTest, AddingFilesRegistersAndCapturesTheFirstVersion) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "docs", Q(dir.file("store"))}};
    auto w = Make(catalogue);
    const std::string a = Source("a.txt");
    // Nothing selected: nothing happens.
    desktop.openFileAnswers.push_back(Q(a));
    w->GlowButton8Click();
    EXPECT_TRUE(catalogue.files.empty());

    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    w->TreeView1->setCurrentItem(area);
    desktop.openFileAnswers.push_back(Q(a));
    w->GlowButton8Click();
    ASSERT_EQ(catalogue.files.size(), 1u);
    ASSERT_EQ(Texts(area), QStringList{Q(a)});
    ASSERT_EQ(catalogue.versions.size(), 1u);
    EXPECT_EQ(Texts(area->child(0)), QStringList{catalogue.versions[0].VerName});
    EXPECT_TRUE(QFile::exists(catalogue.versions[0].FilePath));
    EXPECT_EQ(w->Watchers.Dirs(), QStringList{Q(dir.file("docs"))});

    // A drop registers in drop order, each as the first child.
    w->DropFiles({Q(Source("b.txt")), Q(Source("c.txt"))});
    EXPECT_EQ(Texts(area),
              QStringList({Q(dir.file("docs/c.txt")), Q(dir.file("docs/b.txt")), Q(a)}));

    // Removing a file node drops its row; its stored copies stay.
    w->TreeView1->setCurrentItem(area->child(2));
    w->N2Click();
    EXPECT_EQ(area->childCount(), 2);
    EXPECT_EQ(catalogue.files.size(), 2u);
    EXPECT_TRUE(QFile::exists(catalogue.versions[0].FilePath));
    // ... and on an area node it does nothing.
    w->TreeView1->setCurrentItem(area);
    w->N2Click();
    EXPECT_EQ(area->childCount(), 2);
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MainWindowTest, ASaveLeadsToOnePromptAndANewVersion) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "docs", Q(dir.file("store"))}};
    auto w = Make(catalogue);
    w->show();
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    const std::string a = Source("a.txt");
    desktop.openFileAnswers.push_back(Q(a));
    w->GlowButton8Click();
    ASSERT_EQ(catalogue.versions.size(), 1u);

    AnswerPrompt("second draft");
    std::ofstream(a, std::ios::app) << " changed";  // the watcher wakes the monitor
    ASSERT_TRUE(QTest::qWaitFor([&] { return catalogue.versions.size() == 2; }, 5000));
    EXPECT_EQ(catalogue.versions[1].Remark, "second draft");
    QTreeWidgetItem* file = w->TreeView1->topLevelItem(0)->child(0);
    EXPECT_EQ(file->child(0)->text(0), catalogue.versions[1].VerName);
    EXPECT_FALSE(w->isVisible());  // hidden after the prompt
    EXPECT_TRUE(w->Watchers.Active());
    EXPECT_TRUE(w->PendingFiles.isEmpty());
    EXPECT_FALSE(w->tmr1.isActive());
    EXPECT_TRUE(desktop.dialogScripts.empty());
}

TEST_F(MainWindowTest, AnUnansweredPromptRecordsTheVersionWithoutDescription) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "docs", Q(dir.file("store"))}};
    const std::string a = Source("a.txt");
    catalogue.files = {{1, 1, Q(a), Q(dir.file("store/a.txt-bak")), "old time"}};
    auto w = Make(catalogue);
    desktop.dialogScripts.push_back([](QDialog& d) { d.exec(); });  // nobody answers
    w->FileSystemWatcher1Change();
    EXPECT_TRUE(w->tmr1.isActive());
    EXPECT_FALSE(w->Watchers.Active());
    ASSERT_TRUE(QTest::qWaitFor([&] { return catalogue.versions.size() == 1; }, 5000));
    EXPECT_EQ(catalogue.versions[0].Remark, "");
    EXPECT_TRUE(w->Watchers.Active());
}

TEST_F(MainWindowTest, AFailedPassIsReportedAndWatchingResumes) {
    CatalogueDouble catalogue;
    const std::string a = Source("a.txt");
    // The backup directory cannot be made: a file stands where its parent should be.
    std::ofstream(dir.file("blocked")) << "";
    catalogue.areas = {{1, "docs", Q(dir.file("store"))}};
    catalogue.files = {{1, 1, Q(a), Q(dir.file("blocked/a.txt-bak")), ""}};
    auto w = Make(catalogue);
    AnswerPrompt("x");
    w->tmr1Timer();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(catalogue.versions.empty());
    EXPECT_TRUE(w->Watchers.Active());
    EXPECT_TRUE(w->PendingFiles.isEmpty());
    EXPECT_TRUE(w->TreeView1->updatesEnabled());
}

TEST_F(MainWindowTest, BrowsingListsOpensAndAnnotates) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "docs", "/store"}};
    catalogue.files = {{1, 1, "/docs/a.txt", "", ""}, {2, 1, "/docs/b.txt", "", ""}};
    catalogue.versions = {{1, "v1", "/store/a.txt-bak/a{v1}.txt", "one", "1536", ".txt"},
                          {1, "v2", "/store/a.txt-bak/a{v2}.txt", "", "0", ".txt"},
                          {2, "v2", "/store/b.txt-bak/b{v2}.txt", "b's", "2048", ".txt"}};
    auto w = Make(catalogue);
    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    QTreeWidgetItem* fileA = area->child(1);
    ASSERT_EQ(fileA->text(0), "/docs/a.txt");

    w->TreeView1->setCurrentItem(fileA);
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(0), "v2");
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(1), "0K");
    EXPECT_EQ(w->ListView1->topLevelItem(1)->text(1), "1.5K");
    EXPECT_EQ(w->ListView1->topLevelItem(1)->text(2), "one");
    w->TreeView1->setCurrentItem(area);
    EXPECT_EQ(w->ListView1->topLevelItemCount(), 0);

    // A double-click opens the watched file or the stored copy; an area opens nothing.
    w->TreeView1DblClick();
    w->TreeView1->setCurrentItem(fileA);
    w->TreeView1DblClick();
    w->TreeView1->setCurrentItem(fileA->child(1));
    w->TreeView1DblClick();
    EXPECT_EQ(desktop.opened, QStringList({"/docs/a.txt", "/store/a.txt-bak/a{v1}.txt"}));

    // Annotating b's "v2" changes b's row, not a's earlier row of the same name.
    QTreeWidgetItem* fileB = area->child(0);
    w->TreeView1->setCurrentItem(fileB->child(0));
    desktop.dialogScripts.push_back([](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        EXPECT_FALSE(prompt.tmr1.isActive());  // this prompt never closes by itself
        EXPECT_EQ(prompt.Label1->text(), "v2");
        QTest::keyClicks(prompt.Edit1, "described");
        prompt.Button1->click();
    });
    w->N5Click();
    EXPECT_EQ(catalogue.versions[2].Remark, "described");
    EXPECT_EQ(catalogue.versions[1].Remark, "");
    // "放弃" changes nothing.
    desktop.dialogScripts.push_back([](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        QTest::keyClicks(prompt.Edit1, "ignored");
        prompt.Button2->click();
    });
    w->N5Click();
    EXPECT_EQ(catalogue.versions[2].Remark, "described");
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MainWindowTest, RightClickSelectsTheNodeUnderTheMouse) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "one", "/a"}, {2, "two", "/b"}};
    auto w = Make(catalogue);
    w->show();
    QTreeWidgetItem* two = w->TreeView1->topLevelItem(1);
    const QPoint at = w->TreeView1->visualItemRect(two).center();
    QTest::mouseClick(w->TreeView1->viewport(), Qt::RightButton, {}, at);
    EXPECT_EQ(w->TreeView1->currentItem(), two);
}

TEST_F(MainWindowTest, StartCheckWritesAndRemovesTheAutostartEntry) {
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    QCheckBox* box = w->ToolBarPager1->StartCheck;
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(AutoStartEnabled());
    // The next start shows the entry's state.
    auto again = Make(catalogue);
    EXPECT_TRUE(again->ToolBarPager1->StartCheck->isChecked());
    box->click();
    EXPECT_FALSE(AutoStartEnabled());

    // A directory that cannot be written: the error is reported, the box tells the truth.
    std::ofstream(dir.file("config-file")) << "";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.file("config-file")));
    box->click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.startsWith("Failed to create key "));
    EXPECT_FALSE(box->isChecked());
}

}  // namespace
}  // namespace filever
