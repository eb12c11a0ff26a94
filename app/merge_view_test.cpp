// The merge view over the catalogue's double and real files, and the main window's
// "版本合并" buttons over a real catalogue. Offscreen, with the desktop's double.
#include "app/merge_view.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QToolButton>
#include <filesystem>

#include "app/catalogue_model.h"
#include "app/os/file_time.h"
#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/main_window_fixture.h"
#include "app/version_capture.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

using testing::Content;
using testing::Q;
using testing::Texts;
using testing::VersionOf;
using testing::Write;

// The texts marked inside the lines of a pane (word marks, not whole rows).
QStringList MarkedWords(const QPlainTextEdit* pane) {
    QStringList out;
    for (const QTextEdit::ExtraSelection& mark : pane->extraSelections())
        if (mark.cursor.hasSelection()) out << mark.cursor.selectedText();
    return out;
}

const QByteArray kVersion = "title\nalpha one\nmiddle\nomega one\n";
const QByteArray kCurrent = "title\nalpha two\nmiddle\nomega two\n";

// docs/plan.txt with its first version kVersion, then saved as kCurrent without a capture.
class MergeViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("docs"));
        std::filesystem::create_directories(dir.file("store"));
        plan = dir.file("docs/plan.txt");
        Write(plan, kVersion, 1700000000);
        catalogue.AddArea("area", Q(dir.file("store")));
        ASSERT_TRUE(RegisterFile(catalogue, 1, Q(plan)));
        ASSERT_TRUE(CaptureVersion(catalogue, Q(plan), "first", v1));
        Write(plan, kCurrent, 1700000100);
    }
    std::unique_ptr<TMergeView> Open() {
        return std::make_unique<TMergeView>(nullptr, desktop, catalogue, v1, Q(plan), kVersion,
                                            Content(plan));
    }

    tarn::testing::TempDir dir;
    std::string plan;
    testing::CatalogueDouble catalogue;
    testing::FakeDesktopServices desktop;
    verinfo v1;
};

TEST_F(MergeViewTest, TakingOneOfTwoPlacesWritesExactlyThatChange) {
    auto view = Open();
    ASSERT_EQ(view->HunkList->count(), 2);
    EXPECT_FALSE(view->SaveButton->isEnabled());
    // The changed words are marked inside the changed lines.
    EXPECT_EQ(MarkedWords(view->OlderText), QStringList({"one", "one"}));
    EXPECT_EQ(MarkedWords(view->CurrentText), QStringList({"two", "two"}));

    // The first place is selected; the user takes it.
    EXPECT_EQ(view->SelectedHunk(), 0);
    view->TakeButton->click();
    EXPECT_EQ(view->ResultText->toPlainText(), "title\nalpha one\nmiddle\nomega two");
    EXPECT_EQ(view->Summary->text(), "共有 2 处不同，已采用 1 处");
    // Taken and left again, then taken: the choice is the last one.
    view->LeaveButton->click();
    EXPECT_EQ(view->ResultText->toPlainText(), "title\nalpha two\nmiddle\nomega two");
    view->TakeButton->click();
    ASSERT_TRUE(view->SaveButton->isEnabled());
    const QString before = VersionOf(plan);
    view->SaveButton->click();

    EXPECT_EQ(Content(plan), "title\nalpha one\nmiddle\nomega two\n");
    EXPECT_EQ(view->result(), QDialog::Accepted);
    // The state before the merge is a version, described as such, with its bytes.
    ASSERT_TRUE(view->Outcome().saved);
    ASSERT_TRUE(view->Outcome().captured);
    ASSERT_EQ(catalogue.versions.size(), 2u);
    const TVersionRow& kept = catalogue.versions.back();
    EXPECT_EQ(kept.VerName, before);
    EXPECT_EQ(kept.Remark, MergeBackupRemark(v1.VerName));
    EXPECT_EQ(Content(kept.FilePath.toStdString()), kCurrent);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Information);
    EXPECT_TRUE(desktop.messages[0].text.contains(kept.VerName));
    // Nothing is left beside the file; the merged state is a change for the next pass.
    EXPECT_EQ(QDir(Q(dir.file("docs"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{"plan.txt"});
    QStringList pending;
    TCatalogueModel(catalogue).ScanForChanges(pending);
    EXPECT_EQ(pending, QStringList{Q(plan)});
}

TEST_F(MergeViewTest, RefusedSavesLeaveTheFileAsItWas) {
    // The state before cannot be kept: the catalogue refuses the version row.
    catalogue.beforeWrite = [](const QString& method) {
        if (method == "AddVersion") throw tarn::EDatabaseError("catalogue is read-only");
    };
    auto view = Open();
    view->SetTaken(1, true);
    view->SaveButton->click();
    EXPECT_EQ(Content(plan), kCurrent);
    EXPECT_EQ(catalogue.versions.size(), 1u);
    EXPECT_FALSE(view->Outcome().saved);
    EXPECT_NE(view->result(), QDialog::Accepted);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(desktop.messages[0].text.contains(Q(plan)));
    EXPECT_TRUE(desktop.messages[0].text.contains("catalogue is read-only"));
    EXPECT_EQ(QDir(Q(dir.file("docs"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{"plan.txt"});

    // The file changed after the view read it: the merge was built on other bytes.
    catalogue.beforeWrite = nullptr;
    Write(plan, "edited elsewhere\n", 1700000200);
    view->SaveButton->click();
    EXPECT_EQ(Content(plan), "edited elsewhere\n");
    EXPECT_EQ(catalogue.versions.size(), 1u);
    ASSERT_EQ(desktop.messages.size(), 2u);
    EXPECT_EQ(desktop.messages[1].icon, TMsgIcon::Error);
}

// The ribbon's buttons over a real catalogue: an area "文档" with docs/plan.txt and its first
// version kVersion; the file then holds kCurrent.
class MergeCommand : public testing::MainWindowFixture {
protected:
    void SetUp() override {
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        w = Make(catalogue);
        plan = dir.file("docs/plan.txt");
        Write(plan, kVersion, 1600000000);
        w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
        w->DropFiles({Q(plan)});
        v1 = VersionOf(plan);
        Write(plan, kCurrent, 1600000100);
        ASSERT_EQ(Texts(FileNode()), QStringList{v1});
    }
    QTreeWidgetItem* FileNode() { return w->TreeView1->topLevelItem(0)->child(0); }

    TCatalogue catalogue;
    std::unique_ptr<Tmainw> w;
    std::string plan;
    QString v1;
};

TEST_F(MergeCommand, BothButtonsMergeTheSelectedVersion) {
    ASSERT_EQ(w->ToolBarPager1->MergeButtons.size(), 2);
    // No version selected: the user is told, nothing opens.
    w->ToolBarPager1->MergeButtons[1]->click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.dialogScripts.empty());

    w->TreeView1->setCurrentItem(FileNode()->child(0));
    bool shown = false;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        auto& view = dynamic_cast<TMergeView&>(d);
        shown = true;
        view.SetTaken(1, true);
        view.SaveButton->click();
    });
    const QString kept = VersionOf(plan);
    w->ToolBarPager1->MergeButtons[0]->click();
    ASSERT_TRUE(shown);
    EXPECT_EQ(Content(plan), "title\nalpha two\nmiddle\nomega one\n");
    // The state before joined the tree as the newest version, and the catalogue has it.
    EXPECT_EQ(Texts(FileNode()), QStringList({kept, v1}));
    verinfo rec;
    catalogue.FindVersionByName(kept, rec, 1);
    EXPECT_EQ(Content(rec.FilePath.toStdString()), kCurrent);
}

TEST_F(MergeCommand, FilesThatAreNotTextOrNotDifferentOpenNoView) {
    w->TreeView1->setCurrentItem(FileNode()->child(0));
    // The same content: nothing to merge.
    Write(plan, kVersion, 1600000200);
    w->MergeClick();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains(v1));
    // A binary current file: the comparison's message.
    Write(plan, QByteArray("bin\0ary", 7), 1600000300);
    w->MergeClick();
    ASSERT_EQ(desktop.messages.size(), 2u);
    EXPECT_TRUE(desktop.messages[1].text.contains("二进制"));
    EXPECT_EQ(Content(plan), QByteArray("bin\0ary", 7));
}

}  // namespace
}  // namespace filever
