// The window's watched folders: "增加目录" from the ribbon registers what the folder holds
// minus exclusions, and files that appear in it later are registered by the next pass
// without a prompt; the watch limit is told once.
#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolButton>
#include <cerrno>
#include <fstream>

#include "app/catalogue.h"
#include "app/folder_dialog.h"
#include "app/merge_view.h"
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

// What the ribbon's add and merge buttons did to a fresh catalogue, in names relative to
// the folder the files came from.
struct TButtonEffects {
    int folders = 0;
    QStringList files;         // registered source files, in catalogue order
    QList<int> versionCounts;  // versions of each
    int mergeViews = 0;        // merge views opened
    size_t messages = 0;
    bool operator==(const TButtonEffects&) const = default;
};

void PrintTo(const TButtonEffects& e, std::ostream* os) {
    *os << e.folders << " folder(s); files " << e.files.join(QLatin1Char(',')).toStdString() << "; "
        << e.mergeViews << " merge view(s); " << e.messages << " message(s)";
}

TEST_F(WindowFolders, TheNetworkPageButtonsDoWhatTheirFileManagementTwinsDo) {
    // The same steps, once with the buttons of "文件管理" and once with those of "网络管理",
    // each over its own catalogue and source folder.
    const auto run = [&](bool network) {
        const std::string tag = network ? "net" : "files";
        const std::string src = dir.file(tag);
        std::filesystem::create_directories(src + "/sub");
        std::ofstream(src + "/sub/in-folder.txt") << "in the folder";
        std::ofstream(src + "/loose.txt") << "first\n";
        std::ofstream(src + "/watched.txt") << "watched";
        TCatalogue own;
        Tmainw::Options o = options;
        o.cataloguePath = Q(dir.file(tag + ".dat"));
        own.Open(o.cataloguePath);
        own.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        Tmainw w(desktop, own, o);
        TRibbon* r = w.ToolBarPager1;
        QToolButton* addFolder = network ? r->NetAddFolderButton : r->AddFolderButton;
        QToolButton* addFile = network ? r->NetAddFileButton : r->GlowButton8;
        // "增加监控文件" registers a file to watch, as "增加文件" does on the other page.
        QToolButton* addWatched = network ? r->NetAddWatchedFileButton : r->GlowButton8;
        QToolButton* merge = r->MergeButtons[network ? 1 : 0];
        EXPECT_EQ(addFolder->parentWidget(), merge->parentWidget());
        EXPECT_EQ(addFile->parentWidget(), merge->parentWidget());

        const size_t before = desktop.messages.size();
        QTreeWidgetItem* area = w.TreeView1->topLevelItem(0);
        w.TreeView1->setCurrentItem(area);
        AnswerFolder(src + "/sub", true, nullptr);
        addFolder->click();
        w.TreeView1->setCurrentItem(area);
        desktop.openFileAnswers.push_back(Q(src + "/loose.txt"));
        addFile->click();
        w.TreeView1->setCurrentItem(area);
        desktop.openFileAnswers.push_back(Q(src + "/watched.txt"));
        addWatched->click();

        // Merging the first version of loose.txt into its changed content.
        std::ofstream(src + "/loose.txt") << "second\n";
        QTreeWidgetItem* loose = w.FindFileNode(Q(src + "/loose.txt"));
        EXPECT_NE(loose, nullptr);
        TButtonEffects effects;
        if (loose && loose->childCount() > 0) w.TreeView1->setCurrentItem(loose->child(0));
        desktop.dialogScripts.push_back([&](QDialog& d) {
            if (dynamic_cast<TMergeView*>(&d)) ++effects.mergeViews;
            d.reject();
        });
        merge->click();

        effects.folders = static_cast<int>(own.Folders().size());
        for (const TFileRow& f : own.AllFiles()) {
            effects.files << QDir(Q(src)).relativeFilePath(f.SourcePath);
            effects.versionCounts << static_cast<int>(own.VersionNamesOfFile(f.FileNo).size());
        }
        effects.messages = desktop.messages.size() - before;
        EXPECT_TRUE(desktop.dialogScripts.empty());
        return effects;
    };
    const TButtonEffects files = run(false);
    const TButtonEffects expected = {1,
                                     {QStringLiteral("sub/in-folder.txt"),
                                      QStringLiteral("loose.txt"), QStringLiteral("watched.txt")},
                                     {1, 1, 1},
                                     1,
                                     0};
    EXPECT_EQ(files, expected);
    const TButtonEffects network = run(true);
    EXPECT_EQ(network, files);
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
