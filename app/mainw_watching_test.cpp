// The main window's watching through the real inotify watcher: every command leaves it on,
// also when a monitoring pass ran while the command's box was open; reads of watched files
// start no pass, every kind of write does. Offscreen, with the desktop's double.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <cstdio>
#include <fstream>
#include <functional>

#include "app/catalogue.h"
#include "app/folder_dialog.h"
#include "app/report_view.h"
#include "app/ribbon.h"
#include "app/testing/main_window_fixture.h"

namespace filever {
namespace {

using testing::Content;
using testing::Entries;
using testing::Q;
using testing::SetMTime;

// An area "文档" with docs/a.txt (file 1) and docs/b.txt (file 2) registered, changes kept
// without a prompt ("自动监测"), so a pass needs nobody to answer it.
class Watching : public testing::MainWindowFixture {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("store2"));
        std::filesystem::create_directories(dir.file("more"));
        testing::Write(dir.file("more/m.txt"), "in another folder", 1600000000);
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        w = Make(catalogue);
        w->ToolBarPager1->AutoMonitorButton->setChecked(true);
        a = Source("a.txt");
        b = Source("b.txt");
        w->TreeView1->setCurrentItem(Area());
        w->DropFiles({Q(a), Q(b)});
        ASSERT_TRUE(desktop.messages.empty());
        Settle();
    }
    QTreeWidgetItem* Area() { return w->TreeView1->topLevelItem(0); }
    QTreeWidgetItem* FileNode(const std::string& path) { return w->FindFileNode(Q(path)); }
    // Puts a new state of `path` in place at once, each time a later last-write time.
    void Change(const std::string& path, const std::string& content) {
        when += 100;
        const std::string temp = dir.file("next.tmp");
        std::ofstream(temp) << content;
        SetMTime(temp, when);
        ASSERT_EQ(std::rename(temp.c_str(), path.c_str()), 0);
    }
    size_t Kept(int32_t fileNo) { return catalogue.VersionNamesOfFile(fileNo).size(); }
    // No pass due and watching on: what was reported before has been dealt with.
    void Settle() {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !w->tmr1.isActive() && w->Watchers.Active(); }, 5000));
        QTest::qWait(100);  // reports still on their way
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w->tmr1.isActive(); }, 5000));
    }
    // A change of b has been reported: its pass waits for the timer.
    void MakePassDue() {
        Change(b, "b " + std::to_string(when));
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->tmr1.isActive(); }, 5000));
    }
    // The next box the command shows stays open until the due pass has run and kept b.
    void RunPassInNextBox() {
        passInBox = false;
        const size_t before = Kept(2);
        desktop.whileNextBoxOpen = [this, before] {
            passInBox = QTest::qWaitFor([&] { return Kept(2) > before; }, 5000);
        };
    }
    // Watching is really on: a later save of a is noticed and kept.
    void ExpectWatching() {
        EXPECT_TRUE(w->Watchers.Active());
        const size_t before = Kept(1);
        Change(a, "saved later " + std::to_string(when));
        EXPECT_TRUE(QTest::qWaitFor([&] { return Kept(1) > before; }, 3000))
            << "a save after the command was not kept";
    }

    TCatalogue catalogue;
    std::unique_ptr<Tmainw> w;
    std::string a, b;
    time_t when = 1600000000;
    bool passInBox = false;
};

// Every command that shows a box, run while a pass is due; the pass runs while the box is
// open (as the event loop of a real modal box lets it), and watching is on afterwards.
TEST_F(Watching, NoCommandLeavesWatchingOffWhenAPassRanInsideItsBox) {
    struct Case {
        const char* command;
        std::function<void()> play;
    };
    const Case cases[] = {
        {"增加存储区",
         [&] {
             AnswerAreaDialog(Q(dir.file("store2")), QStringLiteral("第二区"));
             w->GlowButton13Click();
         }},
        {"增加文件",
         [&] {
             w->TreeView1->setCurrentItem(Area());
             desktop.openFileAnswers.push_back(Q(Source("c.txt")));
             w->GlowButton8Click();
         }},
        {"删除存储区 (cancelled)",
         [&] {
             w->TreeView1->setCurrentItem(Area());
             AnswerConfirm(false);
             w->RemoveAreaClick();
         }},
        {"保留策略 (abandoned)",
         [&] {
             w->TreeView1->setCurrentItem(Area());
             w->RetentionClick();
         }},
        {"增加目录",
         [&] {
             w->TreeView1->setCurrentItem(Area());
             desktop.folderAnswers.push_back(Q(dir.file("more")));
             desktop.dialogScripts.push_back(
                 [](QDialog& d) { dynamic_cast<TFolderDialog&>(d).Button1->click(); });
             w->AddFolderClick();
         }},
        {"移除目录 (nothing to remove: a message)",
         [&] {
             w->TreeView1->setCurrentItem(FileNode(a));
             w->RemoveFolderClick();
         }},
        {"填写版本说明 (abandoned)",
         [&] {
             w->TreeView1->setCurrentItem(FileNode(a)->child(0));
             w->N5Click();
         }},
        {"恢复此版本",
         [&] {
             w->TreeView1->setCurrentItem(FileNode(a)->child(FileNode(a)->childCount() - 1));
             AnswerConfirm(true);
             w->RestoreClick();
         }},
        {"与当前文件比较",
         [&] {
             w->DiffTool = [] { return QStringList(); };
             w->TreeView1->setCurrentItem(FileNode(a)->child(0));
             w->CompareCurrentClick();
         }},
        {"版本合并 (abandoned)",
         [&] {
             w->TreeView1->setCurrentItem(FileNode(a)->child(FileNode(a)->childCount() - 1));
             w->MergeClick();
         }},
        {"double-click, no program (declined)",
         [&] {
             desktop.openSucceeds = false;
             w->TreeView1->setCurrentItem(FileNode(a));
             w->TreeView1DblClick();
             desktop.openSucceeds = true;
         }},
        {"打开所在文件夹, no program (a message)",
         [&] {
             desktop.openSucceeds = false;
             w->TreeView1->setCurrentItem(FileNode(a));
             w->OpenFolderClick();
             desktop.openSucceeds = true;
         }},
        {"报表: export (cancelled)", [&] { w->Reports->ExportCsv(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        MakePassDue();
        RunPassInNextBox();
        c.play();
        EXPECT_TRUE(passInBox) << "the command showed no box, or the pass did not run in it";
        desktop.whileNextBoxOpen = nullptr;
        desktop.dialogScripts.clear();
        ExpectWatching();
        Settle();
    }
}

// What only reads a watched file (a viewer, grep, a build) is no change: no pass starts.
// What changes its content, its name or its times does.
TEST_F(Watching, ReadsStartNoPassAndEveryKindOfWriteDoes) {
    QSignalSpy passes(&w->tmr1, &QTimer::timeout);
    struct Action {
        const char* what;
        std::function<void()> act;
    };
    const Action reads[] = {
        {"read the file", [&] { ASSERT_FALSE(Content(a).isEmpty()); }},
        {"list its folder", [&] { ASSERT_FALSE(Entries(dir.file("docs")).isEmpty()); }},
        {"look at its times",
         [&] {
             struct stat st;
             ASSERT_EQ(stat(a.c_str(), &st), 0);
         }},
    };
    for (const Action& r : reads) {
        SCOPED_TRACE(r.what);
        r.act();
        QTest::qWait(300);  // many times the monitoring delay
        EXPECT_EQ(passes.count(), 0);
        EXPECT_FALSE(w->tmr1.isActive());
        EXPECT_TRUE(w->Watchers.Active());
    }
    const Action writes[] = {
        {"write in place", [&] { std::ofstream(a, std::ios::trunc) << "written in place"; }},
        {"save by renaming over it", [&] { Change(a, "saved by rename"); }},
        {"set its last-write time", [&] { SetMTime(b, when += 100); }},
        {"a new file in its folder", [&] { testing::Write(dir.file("docs/new.txt"), "new"); }},
        {"a file of its folder deleted",
         [&] { ASSERT_EQ(std::remove(dir.file("docs/new.txt").c_str()), 0); }},
    };
    for (const Action& wr : writes) {
        SCOPED_TRACE(wr.what);
        passes.clear();
        wr.act();
        EXPECT_TRUE(QTest::qWaitFor([&] { return passes.count() > 0; }, 3000));
        Settle();
    }
}

}  // namespace
}  // namespace filever
