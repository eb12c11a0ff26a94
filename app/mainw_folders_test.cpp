// The window's watched folders: "增加目录" from the ribbon registers what the folder holds
// minus exclusions, and files that appear in it later are registered by the next pass
// without a prompt; the watch limit is told once.
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolButton>
#include <cerrno>
#include <fstream>

#include "app/catalogue.h"
#include "app/folder_dialog.h"
#include "app/os/file_watcher.h"
#include "app/ribbon.h"
#include "app/testing/main_window_fixture.h"
#include "app/watched_folders.h"

namespace filever {
namespace {

using testing::Q;
using testing::Texts;

class WindowFolders : public testing::MainWindowFixture {
protected:
    void SetUp() override {
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    }
    // The user's answers to the folder chooser and the folder dialog.
    void AnswerFolder(const std::string& folder, bool subfolders, QStringList* shownPatterns) {
        desktop.folderAnswers.push_back(Q(folder));
        desktop.dialogScripts.push_back([=](QDialog& d) {
            auto& dialog = dynamic_cast<TFolderDialog&>(d);
            if (shownPatterns) *shownPatterns = dialog.Patterns();
            dialog.SubfoldersCheck->setChecked(subfolders);
            dialog.Button1->click();
        });
    }
    TCatalogue catalogue;
};

TEST_F(WindowFolders, AddingAFolderRegistersItsFilesAndAPassTheOnesThatAppear) {
    const std::string kept = Source("notes.txt");
    Source(".notes.txt.swp");
    auto w = Make(catalogue);
    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    w->TreeView1->setCurrentItem(area);
    QStringList shown;
    AnswerFolder(dir.file("docs"), true, &shown);
    w->ToolBarPager1->AddFolderButton->click();
    EXPECT_EQ(shown, DefaultFolderExclusions());
    ASSERT_TRUE(desktop.messages.empty()) << desktop.messages[0].text.toStdString();
    EXPECT_EQ(Texts(area), QStringList({Q(kept)}));
    EXPECT_EQ(area->child(0)->childCount(), 1);  // its first version
    ASSERT_EQ(catalogue.Folders().size(), 1u);
    EXPECT_EQ(catalogue.AllFiles().size(), 1u);

    // A new file and an excluded one appear: the pass registers the first, asking nothing.
    Source("later.tmp");
    const std::string later = Source("later.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return catalogue.AllFiles().size() == 2; }, 5000));
    EXPECT_EQ(catalogue.AllFiles()[1].SourcePath, Q(later));
    EXPECT_EQ(catalogue.VersionNamesOfFile(catalogue.AllFiles()[1].FileNo).size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return area->childCount() == 2; }, 5000));
    EXPECT_EQ(Texts(area), QStringList({Q(later), Q(kept)}));
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_TRUE(desktop.dialogScripts.empty());
    // A file in a subfolder made later is found too: the new folder is watched.
    std::filesystem::create_directories(dir.file("docs/sub"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->Watchers.Dirs().contains(Q(dir.file("docs/sub"))); }, 5000));
    const std::string deep = Source("sub/deep.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return catalogue.AllFiles().size() == 3; }, 5000));
    EXPECT_EQ(catalogue.AllFiles()[2].SourcePath, Q(deep));
}

TEST_F(WindowFolders, TheTreeMenuAsksForAnAreaAndACancelAddsNothing) {
    Source("notes.txt");
    auto w = Make(catalogue);
    w->TreeView1->setCurrentItem(nullptr);
    w->AddFolderClick();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, QStringLiteral("请先选择一个存储区"));
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    emit w->PopupMenu1->aboutToShow();
    EXPECT_TRUE(w->AddFolderItem->isEnabled());
    desktop.folderAnswers.push_back(Q(dir.file("docs")));  // the dialog is cancelled
    w->AddFolderItem->trigger();
    EXPECT_TRUE(catalogue.Folders().empty());
    EXPECT_TRUE(catalogue.AllFiles().empty());
}

TEST_F(WindowFolders, RemovingAFolderAsksThenStopsWatchingItsFilesAndKeepsTheirCopies) {
    const std::string inFolder = Source("notes.txt");
    const std::string loose = dir.file("loose.txt");
    std::ofstream(loose) << "loose";
    auto w = Make(catalogue);
    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    w->TreeView1->setCurrentItem(area);
    AnswerFolder(dir.file("docs"), true, nullptr);
    w->ToolBarPager1->AddFolderButton->click();
    w->TreeView1->setCurrentItem(area);
    desktop.openFileAnswers.push_back(Q(loose));
    w->GlowButton8Click();
    ASSERT_EQ(Texts(area), QStringList({Q(loose), Q(inFolder)}));
    const std::vector<TVersionRow> versions =
        catalogue.VersionsOfFile(catalogue.AllFiles()[0].FileNo);
    ASSERT_EQ(versions.size(), 1u);

    // Not offered for a file outside every folder.
    w->TreeView1->setCurrentItem(area->child(0));
    emit w->PopupMenu1->aboutToShow();
    EXPECT_FALSE(w->RemoveFolderItem->isEnabled());
    // Offered for a file of the folder; a cancelled question changes nothing.
    w->TreeView1->setCurrentItem(area->child(1));
    emit w->PopupMenu1->aboutToShow();
    ASSERT_TRUE(w->RemoveFolderItem->isEnabled());
    QString question;
    AnswerConfirm(false, &question);
    w->RemoveFolderItem->trigger();
    EXPECT_TRUE(question.contains(Q(dir.file("docs"))));
    EXPECT_EQ(catalogue.Folders().size(), 1u);
    EXPECT_EQ(area->childCount(), 2);

    AnswerConfirm(true);
    w->RemoveFolderItem->trigger();
    ASSERT_TRUE(desktop.messages.empty()) << desktop.messages[0].text.toStdString();
    EXPECT_TRUE(catalogue.Folders().empty());
    EXPECT_EQ(Texts(area), QStringList({Q(loose)}));
    ASSERT_EQ(catalogue.AllFiles().size(), 1u);
    EXPECT_EQ(catalogue.AllFiles()[0].SourcePath, Q(loose));
    EXPECT_FALSE(w->Watchers.Dirs().contains(Q(dir.file("docs"))));
    EXPECT_TRUE(QFileInfo::exists(versions[0].FilePath));
    EXPECT_EQ(catalogue.VersionsOfFile(versions[0].FileNo).size(), 1u);
}

int RefuseWatches(int, const char*, uint32_t) {
    errno = ENOSPC;
    return -1;
}

TEST_F(WindowFolders, TheWatchLimitIsToldOnceWithWhatToDo) {
    Source("notes.txt");
    TFileSystemWatcher::AddWatchCall = RefuseWatches;
    auto w = Make(catalogue);
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    AnswerFolder(dir.file("docs"), true, nullptr);
    w->AddFolderClick();
    std::filesystem::create_directories(dir.file("docs/sub"));
    Source("sub/more.txt");
    AnswerFolder(dir.file("docs/sub"), true, nullptr);
    w->AddFolderClick();
    TFileSystemWatcher::AddWatchCall = inotify_add_watch;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.messages.empty(); }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(
        desktop.messages[0].text.contains("sudo sysctl fs.inotify.max_user_watches=524288"));
    EXPECT_EQ(catalogue.AllFiles().size(), 2u);
}

}  // namespace
}  // namespace filever
