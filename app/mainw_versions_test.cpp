// The main window's version commands over a real catalogue file: restore, compare, open the
// folder, and the search box. Offscreen, with the desktop's double.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <cstdio>
#include <fstream>

#include "app/catalogue.h"
#include "app/compare_view.h"
#include "app/os/file_time.h"
#include "app/testing/main_window_fixture.h"
#include "app/version_restore.h"

namespace filever {
namespace {

using testing::Content;
using testing::Q;
using testing::SetMTime;
using testing::Texts;
using testing::VersionOf;

// An area "文档" with docs/plan.txt registered (first version "one"), a second version
// "two" described "第二稿 draft" taken by a monitoring pass, and the file then saved as
// "three" without a pass.
class VersionCommands : public testing::MainWindowFixture {
protected:
    void SetUp() override {
        catalogue.Open(options.cataloguePath);
        catalogue.AddArea(QStringLiteral("文档"), Q(dir.file("store")));
        w = Make(catalogue);
        w->DiffTool = [this] { return diffTool; };
        plan = dir.file("docs/plan.txt");
        Save(plan, "one\nsame\n", 1600000000);
        w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
        w->DropFiles({Q(plan)});
        v1 = VersionOf(plan);
        Save(plan, "two\nsame\n", 1600000100);
        AnswerPrompt(QStringLiteral("第二稿 draft"));
        w->tmr1Timer();
        // A pass that asked is followed by one more (nothing was watched meanwhile).
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return w->Watchers.Active() && !w->tmr1.isActive(); }, 5000));
        v2 = VersionOf(plan);
        Save(plan, "three\nsame\n", 1600000200);
        ASSERT_TRUE(desktop.messages.empty());
        ASSERT_EQ(Texts(FileNode()), QStringList({v2, v1}));
    }
    void Save(const std::string& path, const std::string& content, time_t when) {
        const std::string temp = dir.file("next.tmp");
        std::ofstream(temp) << content;
        SetMTime(temp, when);
        ASSERT_EQ(std::rename(temp.c_str(), path.c_str()), 0);
    }
    QTreeWidgetItem* Area() { return w->TreeView1->topLevelItem(0); }
    QTreeWidgetItem* FileNode() { return Area()->child(0); }
    QTreeWidgetItem* VersionNode(const QString& name) {
        for (int i = 0; i < FileNode()->childCount(); ++i)
            if (FileNode()->child(i)->text(0) == name) return FileNode()->child(i);
        return nullptr;
    }
    QString CopyOf(const QString& version) {
        return Q(dir.file("store/plan.txt-bak/plan{")) + version + "}.txt";
    }
    // Which version items the menu offers for the current selection.
    QString Offered() {
        emit w->PopupMenu1->aboutToShow();
        QString out;
        for (QAction* a :
             {w->RestoreItem, w->CompareCurrentItem, w->CompareTwoItem, w->OpenFolderItem})
            out += a->isEnabled() ? '1' : '0';
        return out;
    }

    TCatalogue catalogue;
    std::unique_ptr<Tmainw> w;
    std::string plan;
    QString v1, v2;
    QStringList diffTool;
};

TEST_F(VersionCommands, RestoreKeepsTheUnsavedStateAndAsksNothingAfterwards) {
    w->TreeView1->setCurrentItem(VersionNode(v1));
    AnswerConfirm(true);
    w->RestoreItem->trigger();

    EXPECT_EQ(Content(plan), "one\nsame\n");
    // The state "three" became the newest version, described as the state before.
    const QString kept = catalogue.VersionNamesOfFile(1).back();
    EXPECT_EQ(Texts(FileNode()), QStringList({kept, v2, v1}));
    verinfo rec;
    catalogue.FindVersionByName(kept, rec, 1);
    EXPECT_EQ(rec.Remark, RestoreBackupRemark(v1));
    EXPECT_EQ(Content(rec.FilePath.toStdString()), "three\nsame\n");
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains(v1));
    EXPECT_TRUE(desktop.messages[0].text.contains(kept));

    // The watchers are on again, the restore's own write is not reported, and a pass
    // finds nothing to ask about.
    EXPECT_TRUE(w->Watchers.Active());
    QTest::qWait(100);
    EXPECT_FALSE(w->tmr1.isActive());
    w->tmr1Timer();
    EXPECT_EQ(catalogue.VersionNamesOfFile(1).size(), 3u);
    EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(VersionCommands, FailedRestoreSaysWhyAndChangesNothing) {
    ASSERT_TRUE(QFile::remove(CopyOf(v1)));
    w->TreeView1->setCurrentItem(VersionNode(v1));
    AnswerConfirm(true);
    w->RestoreClick();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(desktop.messages[0].text.contains(CopyOf(v1)));
    EXPECT_EQ(Content(plan), "three\nsame\n");
    EXPECT_EQ(catalogue.VersionNamesOfFile(1).size(), 2u);
    EXPECT_EQ(FileNode()->childCount(), 2);
    EXPECT_TRUE(w->Watchers.Active());
}

TEST_F(VersionCommands, CompareWithTheToolOrTheBuiltInView) {
    // The menu offers what the selection allows.
    w->TreeView1->setCurrentItem(Area());
    EXPECT_EQ(Offered(), "0000");
    w->TreeView1->setCurrentItem(FileNode());
    EXPECT_EQ(Offered(), "0001");
    w->TreeView1->setCurrentItem(VersionNode(v2));
    EXPECT_EQ(Offered(), "1101");
    // Ctrl-click adds the other version; a right click on a selected node keeps both.
    w->show();
    QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      w->TreeView1->visualItemRect(VersionNode(v1)).center());
    QTest::mouseClick(w->TreeView1->viewport(), Qt::RightButton, {},
                      w->TreeView1->visualItemRect(VersionNode(v2)).center());
    EXPECT_EQ(w->TreeView1->selectedItems().size(), 2);
    EXPECT_EQ(w->TreeView1->currentItem(), VersionNode(v2));
    EXPECT_EQ(Offered(), "1111");

    diffTool = QStringList{"meld", "--newtab"};
    w->CompareTwoItem->trigger();
    w->CompareCurrentItem->trigger();
    ASSERT_EQ(desktop.started.size(), 2u);
    EXPECT_EQ(desktop.started[0].program, "meld");
    EXPECT_EQ(desktop.started[0].arguments, QStringList({"--newtab", CopyOf(v1), CopyOf(v2)}));
    EXPECT_EQ(desktop.started[1].arguments, QStringList({"--newtab", CopyOf(v2), Q(plan)}));

    // No tool: the built-in view, older version on the left.
    diffTool.clear();
    QStringList seen;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        auto& view = dynamic_cast<TCompareView&>(d);
        seen << view.LeftTitle->text() << view.RightTitle->text() << view.LeftText->toPlainText()
             << view.RightText->toPlainText();
        EXPECT_EQ(TCompareView::MarkedRows(view.RightText), QList<int>{0});
    });
    w->CompareTwoClick();
    EXPECT_EQ(seen, QStringList({"版本 " + v1, "版本 " + v2, "one\nsame", "two\nsame"}));
    EXPECT_TRUE(desktop.messages.empty());

    // One version alone cannot be compared with itself.
    w->TreeView1->setCurrentItem(VersionNode(v1));
    EXPECT_EQ(Offered(), "1101");
    w->CompareTwoClick();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.started.size(), 2u);
}

TEST_F(VersionCommands, OpenTheFolderOfAFileOrAVersion) {
    w->TreeView1->setCurrentItem(FileNode());
    w->OpenFolderItem->trigger();
    w->TreeView1->setCurrentItem(VersionNode(v2));
    w->OpenFolderClick();
    EXPECT_EQ(desktop.opened,
              QStringList({Q(dir.file("docs")), Q(dir.file("store/plan.txt-bak"))}));
}

TEST_F(VersionCommands, SearchShowsOnlyMatchingVersions) {
    QTreeWidgetItem* planNode = FileNode();
    QTreeWidgetItem* first = VersionNode(v1);
    QTreeWidgetItem* second = VersionNode(v2);
    // A second file whose only version says nothing of a draft.
    const std::string notes = Source("notes.txt");
    w->TreeView1->setCurrentItem(Area());
    w->DropFiles({Q(notes)});
    QTreeWidgetItem* notesNode = Area()->child(0);
    ASSERT_EQ(notesNode->text(0), Q(notes));
    auto shown = [](QTreeWidgetItem* n) { return !n->isHidden(); };

    w->TreeView1->setCurrentItem(planNode);
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 2);
    QTest::keyClicks(w->SearchEdit, "DRAFT");
    w->RunPendingSearch();
    EXPECT_TRUE(shown(Area()) && shown(planNode) && shown(second));
    EXPECT_FALSE(shown(first) || shown(notesNode));
    EXPECT_FALSE(w->SearchNote->isVisibleTo(w.get()));
    // The version list follows: only the version found.
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(0), v2);

    // A version taken while the search is shown is held to it as well.
    Save(plan, "four\n", 1600000300);
    AnswerPrompt(QStringLiteral("no match here"));
    w->tmr1Timer();
    ASSERT_EQ(planNode->childCount(), 3);
    QTest::qWait(20);
    EXPECT_FALSE(shown(planNode->child(0)));
    EXPECT_TRUE(shown(second));

    w->SearchEdit->setText(QStringLiteral("notes"));  // by file name
    w->RunPendingSearch();
    EXPECT_TRUE(shown(notesNode) && shown(notesNode->child(0)));
    EXPECT_FALSE(shown(planNode));

    w->SearchEdit->setText(QStringLiteral("nothing like it"));
    w->RunPendingSearch();
    EXPECT_FALSE(shown(Area()));
    EXPECT_TRUE(w->SearchNote->isVisibleTo(w.get()));
    EXPECT_TRUE(w->SearchNote->text().contains(QStringLiteral("nothing like it")));

    w->SearchEdit->clear();
    for (QTreeWidgetItem* n : {Area(), planNode, first, second, notesNode}) EXPECT_TRUE(shown(n));
    EXPECT_FALSE(w->SearchNote->isVisibleTo(w.get()));
    EXPECT_TRUE(desktop.messages.empty());
}

// Keys typed quickly run one search, once typing pauses; a cleared box shows the tree at
// once.
TEST_F(VersionCommands, TypingRunsOneSearchWhenItPauses) {
    QTreeWidgetItem* first = VersionNode(v1);
    QTest::keyClicks(w->SearchEdit, "DRAFT");
    EXPECT_EQ(w->SearchesRun(), 0);
    EXPECT_TRUE(w->SearchTimer.isActive());
    EXPECT_FALSE(first->isHidden());
    w->RunPendingSearch();
    EXPECT_EQ(w->SearchesRun(), 1);
    EXPECT_TRUE(first->isHidden());
    w->SearchEdit->clear();
    EXPECT_FALSE(w->SearchTimer.isActive());
    EXPECT_FALSE(first->isHidden());
    EXPECT_EQ(w->SearchesRun(), 1);
    EXPECT_TRUE(desktop.messages.empty());
}

// Hits under collapsed nodes are brought into view: their file and area are expanded.
TEST_F(VersionCommands, SearchExpandsWhatHoldsTheHits) {
    QTreeWidgetItem* planNode = FileNode();
    Area()->setExpanded(false);
    planNode->setExpanded(false);
    w->SearchEdit->setText(QStringLiteral("draft"));
    QTest::qWait(400);  // the search runs once typing pauses
    EXPECT_FALSE(VersionNode(v2)->isHidden());
    EXPECT_TRUE(Area()->isExpanded());
    EXPECT_TRUE(planNode->isExpanded());
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(VersionCommands, RestoreAsksFirstNamingTheFileAndTheVersion) {
    w->TreeView1->setCurrentItem(VersionNode(v1));
    QString question;
    AnswerConfirm(false, &question);
    w->RestoreItem->trigger();
    EXPECT_TRUE(desktop.dialogScripts.empty());
    EXPECT_TRUE(question.contains(Q(plan)));
    EXPECT_TRUE(question.contains(v1));
    // "否": nothing happened.
    EXPECT_EQ(Content(plan), "three\nsame\n");
    EXPECT_EQ(Texts(FileNode()), QStringList({v2, v1}));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(VersionCommands, AVersionOfATypeWithNoProgramOffersItsFolder) {
    w->TreeView1->setCurrentItem(VersionNode(v2));
    desktop.openSucceeds = false;
    QString question;
    AnswerConfirm(false, &question);
    w->TreeView1DblClick();  // "取消": only the attempt
    EXPECT_TRUE(desktop.dialogScripts.empty());
    EXPECT_TRUE(question.contains(CopyOf(v2)));
    EXPECT_EQ(desktop.opened, QStringList({CopyOf(v2)}));

    AnswerConfirm(true);
    w->TreeView1DblClick();  // "确定": the folder is asked for too
    EXPECT_EQ(desktop.opened,
              QStringList({CopyOf(v2), CopyOf(v2), Q(dir.file("store/plan.txt-bak"))}));
    // Even the folder has no program: said so.
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains(Q(dir.file("store/plan.txt-bak"))));
}

TEST_F(VersionCommands, DescribingAVersionStartsFromItsDescription) {
    w->TreeView1->setCurrentItem(VersionNode(v2));
    QString shown;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        shown = prompt.Edit1->toPlainText();
        prompt.Edit1->moveCursor(QTextCursor::End);
        prompt.Edit1->insertPlainText(QStringLiteral("，定稿"));
        prompt.Button1->click();
    });
    w->N5->trigger();
    EXPECT_EQ(shown, QStringLiteral("第二稿 draft"));
    verinfo rec;
    catalogue.FindVersionByName(v2, rec, 1);
    EXPECT_EQ(rec.Remark, QStringLiteral("第二稿 draft，定稿"));
}

TEST_F(VersionCommands, ThePromptNamesTheFileThatChanged) {
    QString title, tip;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        title = prompt.Label1->text();
        tip = prompt.Label1->toolTip();
        prompt.Button2->click();
    });
    w->tmr1Timer();  // "three" is there since the last pass
    EXPECT_TRUE(tip.contains(Q(plan)));
    EXPECT_TRUE(title.contains(QStringLiteral("plan.txt")));
    // A long path is cut in the middle: its start and its file name stay.
    EXPECT_LE(w->fontMetrics().horizontalAdvance(title), 383);
}

}  // namespace
}  // namespace filever
