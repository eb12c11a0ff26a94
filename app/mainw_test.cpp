// The main window's own behaviour, offscreen: the desktop replaced by its double and, where
// the catalogue's content does not matter, the catalogue too (app/mainw_catalogue_test.cpp
// runs the window over a real catalogue).
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
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/catalogue.h"
#include "app/os/autostart.h"
#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::CatalogueDouble;
using testing::Q;
using testing::Texts;

using MainWindowTest = testing::MainWindowFixture;

TEST_F(MainWindowTest, CatalogueErrorAtStartUpIsReportedAndTheWindowStillOpens) {
    {
        std::ofstream junk(options.cataloguePath.toStdString());
        junk << std::string(4096, 'x');  // not a database of the engine
    }
    TCatalogue catalogue;
    auto w = Make(catalogue);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].caption, QStringLiteral("文件版本控制"));
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    // The file and the engine's reason, and what can no longer be done.
    EXPECT_TRUE(desktop.messages[0].text.startsWith(
        QStringLiteral("无法打开版本目录“%1”：Database file '%1' is an invalid TarnDB\n")
            .arg(options.cataloguePath)))
        << desktop.messages[0].text.toStdString();
    EXPECT_EQ(w->CatalogueFailure(), desktop.messages[0].text);
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
    // Every page's buttons, in order; the colour schemes on "设置".
    auto buttons = [&](int page) {
        QStringList texts;
        for (QToolButton* b : w->ToolBarPager1->Pages->widget(page)->findChildren<QToolButton*>(
                 QString(), Qt::FindDirectChildrenOnly))
            if (!b->text().isEmpty()) texts << b->text();
        return texts;
    };
    EXPECT_EQ(buttons(0),
              QStringList({"增加存储区", "增加文件", "增加目录", "版本合并", "自动监测"}));
    EXPECT_EQ(buttons(1), QStringList({"增加目录", "版本合并", "增加文件", "增加监控文件"}));
    EXPECT_EQ(buttons(2), QStringList({"刷新报表", "导出图片", "导出CSV"}));
    EXPECT_EQ(w->ToolBarPager1->StartCheck->text(), QStringLiteral("开机启动"));
    EXPECT_EQ(w->ToolBarPager1->StartCheck->parentWidget(), w->ToolBarPager1->Pages->widget(3));
    QStringList schemes;
    for (QAction* a : w->ToolBarPager1->SchemeMenu->actions()) schemes << a->text();
    EXPECT_EQ(schemes, QStringList({"Blue", "Obsidian", "Silver", "Classic Blue", "Classic Olive",
                                    "Classic Silver", "Flat"}));
    QStringList appMenu;
    for (QAction* a : w->ToolBarPager1->PreviewMenu1->actions()) appMenu << a->text();
    EXPECT_EQ(appMenu, QStringList({"后台运行", "退出软件"}));
    EXPECT_EQ(w->PageControl->tabText(0), QStringLiteral("文件管理树"));
    EXPECT_EQ(w->ListView1->headerItem()->text(0), QStringLiteral("文件版本"));
    EXPECT_EQ(w->ListView1->columnWidth(2), 300);
    QStringList tray;
    for (QAction* a : w->pm1->actions()) tray << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(tray, QStringList(
                        {"显示Wendle文件管理", "后台运行", "暂停监测", "-", "退出Wendle文件管理"}));
    QStringList popup;
    for (QAction* a : w->PopupMenu1->actions()) popup << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(popup,
              QStringList({"填写版本说明", "添加监控版本", "删除监控文件", "增加存储区",
                           "删除存储区", "保留策略", "增加目录", "移除目录", "-", "恢复此版本",
                           "与当前文件比较", "比较两个版本", "打开所在文件夹", "重新保存版本"}));
    // Buttons without an action do nothing, and say nothing.
    for (QToolButton* b : w->ToolBarPager1->findChildren<QToolButton*>())
        if (b->objectName().isEmpty()) b->click();
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_TRUE(desktop.dialogScripts.empty());
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
        QStringLiteral("文件版本控制进入后台运行\n如要退出监控文件，请在右下角右键进入菜单！"));
    EXPECT_EQ(desktop.balloons[0].timeoutMs, 10000);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(w->ExitRequested);
}

// Background and exit, with a notification area (hidden, balloon) and without one
// (minimised to the task bar, so the window can always be found again).
class TrayOrNot : public testing::MainWindowFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(TrayOrNot, BackgroundAndExitPaths) {
    const bool tray = GetParam();
    desktop.trayAvailable = tray;
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    QSignalSpy closed(w.get(), &Tmainw::Closed);
    w->show();
    auto inBackground = [&] { return tray ? !w->isVisible() : w->isVisible() && w->isMinimized(); };
    auto inForeground = [&] { return w->isVisible() && !w->isMinimized(); };
    QAction* backgrounds[] = {nullptr, w->MenuItem2, w->ToolBarPager1->PreviewMenu1->actions()[0]};
    for (QAction* background : backgrounds) {
        const size_t balloons = desktop.balloons.size();
        if (background)
            background->trigger();
        else
            w->ToolBarPager1->CloseButton->click();
        EXPECT_TRUE(inBackground()) << (background ? background->text().toStdString() : "close");
        // The balloon comes with closing only, once each time, and only at a tray.
        EXPECT_EQ(desktop.balloons.size(), balloons + (tray && !background ? 1 : 0));
        if (background)
            w->MenuItem1->trigger();
        else
            emit w->TrayIcon1.activated(QSystemTrayIcon::DoubleClick);  // the default item
        EXPECT_TRUE(inForeground());
    }
    EXPECT_EQ(closed.count(), 0);
    w->MenuItem2->trigger();
    w->MenuItem4->trigger();  // exit from the background: the window is not shown
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(desktop.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(MainWindow, TrayOrNot, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tray" : "NoTray"; });

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
    // The same directory again is allowed (a name in use is not: areas are told apart by
    // number, but the user reads names).
    AnswerAreaDialog(store, "second");
    w->N4->trigger();
    ASSERT_EQ(catalogue.areas.size(), 2u);
    EXPECT_EQ(catalogue.areas[1].Dir, store);
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 2);
    EXPECT_EQ(w->TreeView1->topLevelItem(1)->text(0), "second");
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

TEST_F(MainWindowTest, MouseRightClickSelectsAndDoubleClickOpensAndExpands) {
    CatalogueDouble catalogue;
    catalogue.areas = {{1, "one", "/a"}, {2, "two", "/b"}};
    catalogue.files = {{1, 2, "/docs/x.txt", "", ""}};
    catalogue.versions = {{1, "v1", "/b/x.txt-bak/x{v1}.txt", "", "1024", ".txt"}};
    auto w = Make(catalogue);
    w->show();
    QTreeWidgetItem* file = w->TreeView1->topLevelItem(1)->child(0);
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    // A right click selects the node under the mouse, and the list follows.
    QTest::mouseClick(w->TreeView1->viewport(), Qt::RightButton, {},
                      w->TreeView1->visualItemRect(file).center());
    EXPECT_EQ(w->TreeView1->currentItem(), file);
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(1), "1K");
    // On empty space it keeps the selection.
    QTest::mouseClick(w->TreeView1->viewport(), Qt::RightButton, {},
                      QPoint(5, w->TreeView1->viewport()->height() - 5));
    EXPECT_EQ(w->TreeView1->currentItem(), file);

    // A double-click opens the file and leaves its node expanded.
    file->setExpanded(false);
    const QPoint at = w->TreeView1->visualItemRect(file).center();
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w->TreeView1->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(desktop.opened, QStringList{"/docs/x.txt"});
    EXPECT_TRUE(file->isExpanded());
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
