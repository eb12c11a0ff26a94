// The main window over a real catalogue file: registration, monitoring passes, browsing and
// annotation, and what a restart finds again. Offscreen, with the desktop's double.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTextBrowser>
#include <QToolButton>
#include <cstdio>
#include <fstream>
#include <functional>

#include "app/catalogue.h"
#include "app/catalogue_model.h"
#include "app/confirm_dialog.h"
#include "app/language.h"
#include "app/os/file_time.h"
#include "app/retention_dialog.h"
#include "app/ribbon.h"
#include "app/testing/main_window_fixture.h"
#include "app/version_capture.h"
#include "tarndb/creator.h"

namespace filever {
namespace {

using testing::Content;
using testing::Q;
using testing::SetMTime;
using testing::Texts;
using testing::VersionOf;

// Every node as "level|text|expanded", in the tree's flat order.
QStringList Snapshot(const QTreeWidget* tree) {
    QStringList out;
    std::function<void(const QTreeWidgetItem*, int)> walk = [&](const QTreeWidgetItem* n,
                                                                int level) {
        out << QStringLiteral("%1|%2|%3")
                   .arg(level)
                   .arg(n->text(0), n->isExpanded() ? "open" : "closed");
        for (int i = 0; i < n->childCount(); ++i) walk(n->child(i), level + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 0);
    return out;
}

class WindowOverCatalogue : public testing::MainWindowFixture {
protected:
    void SetUp() override {
        catalogue = std::make_unique<TCatalogue>();
        catalogue->Open(options.cataloguePath);
        catalogue->AddArea(QStringLiteral("文档"), Q(dir.file("store")));
    }
    // A restart: the window and its catalogue go, new ones come over the same file.
    void Restart() {
        w.reset();
        catalogue = std::make_unique<TCatalogue>();
        w = Make(*catalogue);
    }
    // Selects the area node and registers `paths` by a drop.
    void Register(const QStringList& paths) {
        w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
        w->DropFiles(paths);
        ASSERT_TRUE(desktop.messages.empty());
    }
    // Puts a new state of the watched file in place at once (one report), written at `when`.
    void Change(const std::string& path, const std::string& content, time_t when) {
        const std::string temp = dir.file("next.tmp");
        std::ofstream(temp) << content;
        SetMTime(temp, when);
        ASSERT_EQ(std::rename(temp.c_str(), path.c_str()), 0);
    }
    std::vector<QString> Versions(int32_t fileNo) { return catalogue->VersionNamesOfFile(fileNo); }
    verinfo Version(int32_t fileNo, const QString& name) {
        verinfo rec;
        catalogue->FindVersionByName(name, rec, fileNo);
        return rec;
    }

    std::unique_ptr<TCatalogue> catalogue;
    std::unique_ptr<Tmainw> w;
};

TEST_F(WindowOverCatalogue, AMissingCatalogueIsCreatedAndKeepsWhatIsAdded) {
    options.cataloguePath = Q(dir.file("新的/版本控制.dat"));
    catalogue = std::make_unique<TCatalogue>();
    w = Make(*catalogue);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_TRUE(QFileInfo(options.cataloguePath).isFile());
    EXPECT_EQ(w->TreeView1->topLevelItemCount(), 0);
    AnswerAreaDialog(Q(dir.file("store")), QStringLiteral("新区"));
    w->GlowButton13Click();
    Restart();
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->text(0), QStringLiteral("新区"));
    EXPECT_EQ(catalogue->Areas()[0].Dir, Q(dir.file("store")));
}

TEST_F(WindowOverCatalogue, RegisteringCopiesTheFirstVersionAtOnceAndRemovingDeletesTheHistory) {
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt");
    // By the file-open dialog.
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    desktop.openFileAnswers.push_back(Q(plan));
    w->GlowButton8Click();
    // By a drop: in drop order, each first under the area.
    const std::string b = Source("b.txt"), c = Source("c.txt");
    SetMTime(c, 1600000100);
    w->DropFiles({Q(b), Q(c)});
    ASSERT_TRUE(desktop.messages.empty());

    const auto files = catalogue->AllFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].SourcePath, Q(plan));
    EXPECT_EQ(files[0].BackupDir, Q(dir.file("store/plan.txt-bak")));
    EXPECT_EQ(files[0].RecordedTime, VersionOf(plan));
    const QString planCopy = Q(dir.file("store/plan.txt-bak/plan{")) + VersionOf(plan) + "}.txt";
    EXPECT_EQ(Version(1, VersionOf(plan)).FilePath, planCopy);
    EXPECT_EQ(Content(planCopy), "content of plan.txt");
    EXPECT_EQ(Version(3, VersionOf(c)).SizeText, "16");

    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    EXPECT_EQ(Texts(area), QStringList({Q(c), Q(b), Q(plan)}));
    EXPECT_EQ(Texts(area->child(2)), QStringList{VersionOf(plan)});
    EXPECT_EQ(Texts(area->child(0)), QStringList{VersionOf(c)});
    EXPECT_EQ(w->Watchers.Dirs(), QStringList{Q(dir.file("docs"))});

    // Removing stops the watching only: the file's row goes, its history stays in the
    // catalogue and on disk, and the watched file itself stays.
    w->TreeView1->setCurrentItem(area->child(2));
    w->N2Click();
    EXPECT_EQ(Texts(area), QStringList({Q(c), Q(b)}));
    EXPECT_EQ(catalogue->AllFiles().size(), 2u);
    EXPECT_EQ(Versions(1).size(), 1u);
    EXPECT_EQ(Content(planCopy), "content of plan.txt");
    EXPECT_TRUE(QFile::exists(Q(plan)));
    EXPECT_EQ(Versions(3).size(), 1u);
    Restart();
    EXPECT_EQ(Texts(w->TreeView1->topLevelItem(0)), QStringList({Q(c), Q(b)}));
}

TEST_F(WindowOverCatalogue, EachChangeGivesOnePromptAndANewVersionWhateverTheAnswer) {
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt");
    Register({Q(plan)});
    int prompts = 0;
    struct Case {
        const char* answer;
        std::function<void(TFormVerSm&)> user;
        QString remark;
    } cases[] = {
        {"submit",
         [](TFormVerSm& d) {
             d.Edit1->insertPlainText(QStringLiteral("第二稿"));  // typed through an input method
             d.Button1->click();
         },
         QStringLiteral("第二稿")},
        {"abandon",
         [](TFormVerSm& d) {
             QTest::keyClicks(d.Edit1, "typed, then abandoned");
             d.Button2->click();
         },
         ""},
        {"time-out", [](TFormVerSm& d) { d.exec(); }, ""},
    };
    time_t when = 1600000000;
    size_t expected = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        w->show();
        desktop.dialogScripts.push_back([&, user = c.user](QDialog& d) {
            ++prompts;
            user(dynamic_cast<TFormVerSm&>(d));
        });
        when += 100;
        Change(plan, c.answer, when);
        ++expected;
        ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == expected; }, 5000));
        QTest::qWait(200);  // no second pass follows
        EXPECT_EQ(Versions(1).size(), expected);
        EXPECT_EQ(prompts, static_cast<int>(expected - 1));

        const QString name = VersionOf(plan);
        const verinfo rec = Version(1, name);
        EXPECT_EQ(rec.Remark, c.remark);
        EXPECT_EQ(Content(rec.FilePath), c.answer);
        EXPECT_EQ(w->TreeView1->topLevelItem(0)->child(0)->child(0)->text(0), name);
        EXPECT_FALSE(w->isVisible());  // hidden after the prompt
        EXPECT_TRUE(w->Watchers.Active());
    }
}

// A save that leaves the bytes as they were (a touch, an editor saving unchanged text):
// no prompt, no version, and the pass after it is quiet; a real change is kept as usual.
TEST_F(WindowOverCatalogue, AnIdenticalSaveAsksNothingAndKeepsNothing) {
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt");
    Register({Q(plan)});
    int prompts = 0;
    const auto countPrompt = [&](QDialog& d) {
        ++prompts;
        dynamic_cast<TFormVerSm&>(d).Button1->click();
    };
    desktop.dialogScripts.push_back(countPrompt);
    Change(plan, "content of plan.txt", 1600000100);
    w->PendingFiles.clear();
    w->tmr1Timer();
    EXPECT_EQ(prompts, 0);
    EXPECT_EQ(Versions(1).size(), 1u);
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->child(0)->childCount(), 1);
    EXPECT_EQ(catalogue->AllFiles()[0].RecordedTime, VersionOf(plan));
    QStringList pending;
    TCatalogueModel(*catalogue).ScanForChanges(pending);
    EXPECT_TRUE(pending.isEmpty());
    EXPECT_TRUE(desktop.messages.empty());

    Change(plan, "content of plan.txT", 1600000200);  // same size, one byte differs
    w->tmr1Timer();
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(Versions(1).size(), 2u);
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->child(0)->childCount(), 2);
}

// "保留策略" on an area: what the new setting would remove is listed with the space it
// frees; abandoned there, nothing is stored or removed; confirmed, the versions go from the
// catalogue, the disk and the tree, and the area's row shows the smaller use. Later passes
// apply the setting by themselves.
TEST_F(WindowOverCatalogue, RetentionPreviewsThenRemovesAndTheAreaShowsItsStorageUse) {
    options.promptTimeoutMs = 60000;
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt");  // 19 bytes
    Register({Q(plan)});
    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    QTreeWidgetItem* file = area->child(0);
    w->ToolBarPager1->AutoMonitorButton->setChecked(true);  // no prompts
    for (int i = 1; i <= 3; ++i) {
        Change(plan, std::string(static_cast<size_t>(i) * 1024, 'x'), 1600000000 + i * 100);
        w->tmr1Timer();
    }
    ASSERT_EQ(file->childCount(), 4);
    EXPECT_EQ(area->text(1), "6.0 KB");  // 19 + 1024 + 2048 + 3072 bytes

    const auto chooseLastTwo = [](QDialog& d) {
        auto& r = dynamic_cast<TRetentionDialog&>(d);
        EXPECT_TRUE(r.KeepAllButton->isChecked());
        r.KeepLastButton->setChecked(true);
        r.KeepCountEdit->setValue(2);
        r.Button1->click();
    };
    QString question, details;
    const auto preview = [&](bool confirm) {
        return [&, confirm](QDialog& d) {
            auto& c = dynamic_cast<TConfirmDialog&>(d);
            question = c.Label1->text();
            details = c.Details->toPlainText();
            (confirm ? c.Button1 : c.Button2)->click();
        };
    };
    w->TreeView1->setCurrentItem(area);
    desktop.dialogScripts.push_back(chooseLastTwo);
    desktop.dialogScripts.push_back(preview(false));
    w->RetentionClick();
    EXPECT_TRUE(question.contains(QStringLiteral("2 个版本"))) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("1.0 KB"))) << question.toStdString();
    EXPECT_EQ(details.split('\n').size(), 2);
    EXPECT_TRUE(details.contains(Q(plan)));
    EXPECT_EQ(file->childCount(), 4);
    EXPECT_EQ(catalogue->Retention(1), TRetentionPolicy{});

    desktop.dialogScripts.push_back(chooseLastTwo);
    desktop.dialogScripts.push_back(preview(true));
    w->RetentionClick();
    EXPECT_EQ(file->childCount(), 2);
    EXPECT_EQ(Versions(1).size(), 2u);
    EXPECT_EQ(QDir(Q(dir.file("store/plan.txt-bak"))).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(area->text(1), "5.0 KB");
    EXPECT_EQ(catalogue->Retention(1).Mode, TRetentionMode::KeepLast);
    EXPECT_TRUE(desktop.messages.empty());

    // The next change is kept, and the oldest goes by itself.
    Change(plan, "new", 1600001000);
    w->tmr1Timer();
    EXPECT_EQ(file->childCount(), 2);
    EXPECT_EQ(Versions(1).size(), 2u);
    EXPECT_EQ(area->text(1), "3.0 KB");
}

// "删除存储区" asks; confirmed, the area goes with its files, while their history, the
// area's directory and the other areas stay.
TEST_F(WindowOverCatalogue, RemovingAnAreaAsksThenRemovesItWithItsFiles) {
    catalogue->AddArea(QStringLiteral("其他"), Q(dir.file("store")));
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt"), other = Source("other.txt");
    Register({Q(plan)});
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(1));
    w->DropFiles({Q(other)});
    ASSERT_EQ(catalogue->AllFiles().size(), 2u);
    const QString planCopies = Q(dir.file("store/plan.txt-bak"));
    ASSERT_EQ(QDir(planCopies).entryList(QDir::Files).size(), 1);

    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    desktop.dialogScripts.push_back(
        [](QDialog& d) { dynamic_cast<TConfirmDialog&>(d).Button2->click(); });
    w->RemoveAreaClick();
    EXPECT_EQ(w->TreeView1->topLevelItemCount(), 2);
    EXPECT_EQ(catalogue->Areas().size(), 2u);

    desktop.dialogScripts.push_back(
        [](QDialog& d) { dynamic_cast<TConfirmDialog&>(d).Button1->click(); });
    w->RemoveAreaClick();
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->text(0), QStringLiteral("其他"));
    EXPECT_EQ(catalogue->Areas().size(), 1u);
    ASSERT_EQ(catalogue->AllFiles().size(), 1u);
    EXPECT_EQ(catalogue->AllFiles()[0].SourcePath, Q(other));
    EXPECT_EQ(catalogue->VersionsOfFile(1).size(), 1u);
    EXPECT_EQ(catalogue->VersionsOfFile(2).size(), 1u);
    EXPECT_EQ(QDir(planCopies).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(QFileInfo::exists(Q(dir.file("store/other.txt-bak"))));
    EXPECT_TRUE(QFile::exists(Q(plan)));
    EXPECT_EQ(w->Watchers.Dirs(), QStringList{Q(dir.file("docs"))});
    EXPECT_TRUE(desktop.messages.empty());
    Restart();
    EXPECT_EQ(w->TreeView1->topLevelItemCount(), 1);
}

class InTheBackground : public WindowOverCatalogue, public ::testing::WithParamInterface<bool> {};

TEST_P(InTheBackground, MonitoringGoesOnAfterClosing) {
    const bool tray = GetParam();
    desktop.trayAvailable = tray;
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt");
    Register({Q(plan)});
    w->show();
    w->close();
    EXPECT_EQ(desktop.balloons.size(), tray ? 1u : 0u);
    AnswerPrompt("in the background");
    Change(plan, "later", 1600000500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 2; }, 5000));
    EXPECT_EQ(Version(1, VersionOf(plan)).Remark, "in the background");
    EXPECT_EQ(w->isVisible(), !tray);
    EXPECT_EQ(w->isMinimized(), !tray);
}

INSTANTIATE_TEST_SUITE_P(Window, InTheBackground, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tray" : "NoTray"; });

TEST_F(WindowOverCatalogue, TwoFilesChangedInOneBurstGiveOnePassWithPromptsInFileIndexOrder) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt"), b = Source("b.txt");
    Register({Q(a), Q(b)});
    QTest::qWait(200);  // the reports of the registration itself have passed
    QSignalSpy passes(&w->tmr1, &QTimer::timeout);
    AnswerPrompt("first");
    AnswerPrompt("second");
    Change(b, "b2", 1600000200);
    Change(a, "a2", 1600000200);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Versions(1).size() == 2 && Versions(2).size() == 2; }, 5000));
    EXPECT_EQ(passes.count(), 1);
    EXPECT_EQ(Version(1, VersionOf(a)).Remark, "first");  // a was registered first
    EXPECT_EQ(Version(2, VersionOf(b)).Remark, "second");
    EXPECT_TRUE(desktop.dialogScripts.empty());
}

TEST_F(WindowOverCatalogue, BrowsingListsOpensAndAnnotatesAndARestartFindsItAllAgain) {
    catalogue->AddArea(QStringLiteral("空"), Q(dir.file("store")));
    w = Make(*catalogue);
    // Both first versions are named by the same old file time.
    const std::string a = Source("a.txt"), b = Source("b.txt");
    Register({Q(a), Q(b)});
    const QString first = VersionOf(a);
    ASSERT_EQ(first, VersionOf(b));
    AnswerPrompt(QStringLiteral("第二稿"));
    Change(a, std::string(1536, 'x'), 1600000300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 2; }, 5000));
    const QString second = VersionOf(a);

    QTreeWidgetItem* area = w->TreeView1->topLevelItem(0);
    QTreeWidgetItem* fileA = area->child(1);
    QTreeWidgetItem* fileB = area->child(0);
    ASSERT_EQ(fileA->text(0), Q(a));
    // A file node lists its versions newest first, with their sizes and descriptions.
    w->TreeView1->setCurrentItem(fileA);
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(0), second);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(1), "1.5K");
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(2), QStringLiteral("第二稿"));
    EXPECT_EQ(w->ListView1->topLevelItem(1)->text(1), "0.015625K");  // 16 bytes
    w->TreeView1->setCurrentItem(fileA->child(1));
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(0), first);
    w->TreeView1->setCurrentItem(area);
    EXPECT_EQ(w->ListView1->topLevelItemCount(), 0);

    // Double-clicks: the area opens nothing, a file itself, a version its own copy.
    w->TreeView1DblClick();
    w->TreeView1->setCurrentItem(fileA);
    w->TreeView1DblClick();
    w->TreeView1->setCurrentItem(fileB->child(0));
    w->TreeView1DblClick();
    EXPECT_EQ(desktop.opened,
              QStringList({Q(a), Q(dir.file("store/b.txt-bak/b{")) + first + "}.txt"}));

    // Annotating b's version shows at once and leaves a's version of the same name alone.
    desktop.dialogScripts.push_back([](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        EXPECT_FALSE(prompt.tmr1.isActive());  // this prompt never closes by itself
        prompt.Edit1->insertPlainText(QStringLiteral("b 的注释"));
        prompt.Button1->click();
    });
    w->N5Click();
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(2), QStringLiteral("b 的注释"));
    // "放弃" changes nothing.
    desktop.dialogScripts.push_back([](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        QTest::keyClicks(prompt.Edit1, "ignored");
        prompt.Button2->click();
    });
    w->N5Click();
    EXPECT_EQ(Version(2, first).Remark, QStringLiteral("b 的注释"));
    EXPECT_EQ(Version(1, first).Remark, "");
    EXPECT_TRUE(desktop.messages.empty());

    const QStringList before = Snapshot(w->TreeView1);
    Restart();
    EXPECT_EQ(Snapshot(w->TreeView1), before);
    EXPECT_FALSE(before.join(' ').contains(QStringLiteral("|closed")));
    EXPECT_EQ(before.size(), 2 + 2 + 3);  // two areas, two files, three versions
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0)->child(0)->child(0));
    ASSERT_EQ(w->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(w->ListView1->topLevelItem(0)->text(2), QStringLiteral("b 的注释"));
}

// A watched file whose copy cannot be stored: a copy name over 255 bytes (the version
// name and braces make it 21 bytes longer than the file's own name).
TEST_F(WindowOverCatalogue, AFileWhoseCopyKeepsFailingIsReportedOnceAndNeverPrompted) {
    w = Make(*catalogue);
    const std::string longName = Source(std::string(240, 'L') + ".txt");
    const std::string b = Source("b.txt");
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0));
    w->DropFiles({Q(longName), Q(b)});
    // One report names the file and the cause; the drop goes on with the next file.
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains(Q(longName)))
        << desktop.messages[0].text.toStdString();
    EXPECT_TRUE(desktop.messages[0].text.contains(QStringLiteral("File name too long")))
        << desktop.messages[0].text.toStdString();
    ASSERT_EQ(Versions(2).size(), 1u);
    QTreeWidgetItem* failing = w->FindFileNode(Q(longName));
    ASSERT_TRUE(failing);
    EXPECT_TRUE(failing->toolTip(0).contains(QStringLiteral("File name too long")));
    EXPECT_TRUE(w->FindFileNode(Q(b))->toolTip(0).isEmpty());

    // Changes elsewhere and of the file itself: prompts only for what can be kept.
    QStringList prompted;
    time_t when = 1600000000;
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        desktop.dialogScripts.push_back([&](QDialog& d) {
            auto& prompt = dynamic_cast<TFormVerSm&>(d);
            prompted << QStringLiteral("pass %1").arg(pass);
            prompt.Edit1->insertPlainText(QStringLiteral("b 第%1稿").arg(pass));
            prompt.Button1->click();
        });
        when += 100;
        if (pass == 2) Change(longName, "changed too", when);
        Change(b, "b" + std::to_string(pass), when);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(2).size() == size_t(pass) + 2; }, 5000));
        QTest::qWait(300);  // any later pass has run
        EXPECT_EQ(Version(2, VersionOf(b)).Remark, QStringLiteral("b 第%1稿").arg(pass));
    }
    EXPECT_EQ(prompted.size(), 3);
    EXPECT_TRUE(desktop.dialogScripts.empty());
    EXPECT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(Versions(1).empty());
    EXPECT_FALSE(w->FindFileNode(Q(longName))->toolTip(0).isEmpty());
    EXPECT_TRUE(w->Watchers.Active());
}

// The backup directory is blocked after registration (a file stands in its place) and
// cleared again; a retry takes the version, with the description typed then.
TEST_F(WindowOverCatalogue, AFailedCopyAsksNothingAndARetryKeepsWhatTheUserTypes) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt");
    Register({Q(a)});
    const std::string backup = dir.file("store/a.txt-bak");
    std::filesystem::remove_all(backup);
    std::ofstream(backup) << "in the way";
    int prompts = 0;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        ++prompts;
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        prompt.Edit1->insertPlainText(QStringLiteral("不要丢掉"));
        prompt.Button1->click();
    });
    Change(a, "second", 1600000100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.messages.empty(); }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(prompts, 0);  // nothing asked that could be thrown away
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains(Q(a))) << desktop.messages[0].text.toStdString();
    EXPECT_FALSE(w->FindFileNode(Q(a))->toolTip(0).isEmpty());
    EXPECT_EQ(Versions(1).size(), 1u);

    std::filesystem::remove(backup);
    w->TreeView1->setCurrentItem(w->FindFileNode(Q(a)));
    w->RetryClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 2; }, 5000));
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(Version(1, VersionOf(a)).Remark, QStringLiteral("不要丢掉"));
    EXPECT_EQ(Content(Version(1, VersionOf(a)).FilePath), "second");
    EXPECT_TRUE(w->FindFileNode(Q(a))->toolTip(0).isEmpty());
    EXPECT_EQ(desktop.messages.size(), 1u);
}

// A description the catalogue refuses (longer than its field): the version is not
// recorded, and the next prompt for that file starts with what the user typed.
TEST_F(WindowOverCatalogue, ARefusedDescriptionIsOfferedAgainAtTheNextPrompt) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt");
    Register({Q(a)});
    const QString typed = QString(TCatalogue::kRemarkBytes + 1, QLatin1Char('x'));
    AnswerPrompt(typed);
    Change(a, "second", 1600000100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.messages.empty(); }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(Versions(1).size(), 1u);
    QString offered;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        offered = prompt.Text();
        prompt.Edit1->setPlainText(offered.left(10));
        prompt.Button1->click();
    });
    Change(a, "third", 1600000200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 2; }, 5000));
    EXPECT_EQ(offered, typed);
    EXPECT_EQ(Version(1, VersionOf(a)).Remark, typed.left(10));
}

// Monitoring goes on while a prompt or an error box waits for the user.
TEST_F(WindowOverCatalogue, AChangeWhileAPromptIsOpenIsPickedUpWhenItCloses) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt"), b = Source("b.txt");
    Register({Q(a), Q(b)});
    QTest::qWait(200);
    desktop.dialogScripts.push_back([&](QDialog& d) {
        Change(b, "b2", 1600000300);  // saved while the prompt for a is open
        QTest::qWait(200);
        dynamic_cast<TFormVerSm&>(d).Button1->click();
    });
    AnswerPrompt(QStringLiteral("b 的说明"));
    Change(a, "a2", 1600000200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(2).size() == 2; }, 5000));
    EXPECT_EQ(Versions(1).size(), 2u);
    EXPECT_EQ(Version(2, VersionOf(b)).Remark, QStringLiteral("b 的说明"));
}

TEST_F(WindowOverCatalogue, AnErrorBoxLeftOpenDoesNotStopMonitoring) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt"), b = Source("b.txt");
    Register({Q(a), Q(b)});
    QTest::qWait(200);
    const std::string backup = dir.file("store/a.txt-bak");
    std::filesystem::remove_all(backup);
    std::ofstream(backup) << "in the way";
    bool capturedMeanwhile = false;
    desktop.whileMessageOpen = [&](const auto&) {
        desktop.whileMessageOpen = nullptr;
        AnswerPrompt(QStringLiteral("框还开着"));
        Change(b, "b2", 1600000300);
        capturedMeanwhile = QTest::qWaitFor([&] { return Versions(2).size() == 2; }, 3000);
    };
    Change(a, "a2", 1600000200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.messages.empty(); }, 5000));
    EXPECT_TRUE(capturedMeanwhile);
    EXPECT_EQ(Version(2, VersionOf(b)).Remark, QStringLiteral("框还开着"));
}

// "自动监测" on: each change is kept at once, without a prompt, and the description can be
// written later; off: the prompt as before. The choice outlives a restart.
TEST_F(WindowOverCatalogue, AutomaticMonitoringKeepsChangesWithoutAskingAndIsRemembered) {
    w = Make(*catalogue);
    const std::string plan = Source("plan.txt");
    Register({Q(plan)});
    QTest::qWait(200);
    QToolButton* automatic = w->ToolBarPager1->AutoMonitorButton;
    EXPECT_EQ(automatic->text(), QStringLiteral("自动监测"));
    EXPECT_FALSE(automatic->isChecked());
    automatic->click();
    ASSERT_TRUE(automatic->isChecked());
    Restart();
    ASSERT_TRUE(w->ToolBarPager1->AutoMonitorButton->isChecked());
    w->show();
    int prompts = 0;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        ++prompts;
        d.reject();
    });
    Change(plan, "kept by itself", 1600000100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 2; }, 5000));
    QTest::qWait(200);  // nothing more follows
    EXPECT_EQ(prompts, 0);
    EXPECT_EQ(Versions(1).size(), 2u);
    const verinfo rec = Version(1, VersionOf(plan));
    EXPECT_EQ(rec.Remark, "");
    EXPECT_EQ(Content(rec.FilePath), "kept by itself");
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->child(0)->child(0)->text(0), VersionOf(plan));
    EXPECT_TRUE(w->isVisible());  // nobody was asked: the window stays where it was
    EXPECT_TRUE(w->Watchers.Active());
    // Described afterwards.
    desktop.dialogScripts.clear();  // the answer nobody asked for
    w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(0)->child(0)->child(0));
    AnswerPrompt(QStringLiteral("后来补的说明"));
    w->N5Click();
    EXPECT_EQ(Version(1, VersionOf(plan)).Remark, QStringLiteral("后来补的说明"));
    EXPECT_TRUE(desktop.messages.empty());

    // Off again: the prompt is back, and stays so after a restart.
    w->ToolBarPager1->AutoMonitorButton->click();
    Restart();
    EXPECT_FALSE(w->ToolBarPager1->AutoMonitorButton->isChecked());
    AnswerPrompt(QStringLiteral("问过了"));
    Change(plan, "asked", 1600000200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 3; }, 5000));
    EXPECT_TRUE(desktop.dialogScripts.empty());
    EXPECT_EQ(Version(1, VersionOf(plan)).Remark, QStringLiteral("问过了"));
}

// The tray's "暂停监测": nothing is kept while paused; "继续监测" looks at once for what
// changed meanwhile.
TEST_F(WindowOverCatalogue, PausedMonitoringKeepsNothingAndResumingCatchesUpAtOnce) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt"), b = Source("b.txt");
    Register({Q(a), Q(b)});
    QTest::qWait(200);
    EXPECT_EQ(w->PauseItem->text(), QStringLiteral("暂停监测"));
    EXPECT_EQ(w->pm1->actions().indexOf(w->PauseItem), 2);
    w->PauseItem->trigger();
    EXPECT_EQ(w->PauseItem->text(), QStringLiteral("继续监测"));
    int prompts = 0;
    desktop.dialogScripts.push_back([&](QDialog& d) {
        ++prompts;
        d.reject();
    });
    Change(a, "while paused", 1600000100);
    Change(b, "also while paused", 1600000100);
    QTest::qWait(400);  // many times the monitoring delay
    EXPECT_EQ(Versions(1).size(), 1u);
    EXPECT_EQ(Versions(2).size(), 1u);
    EXPECT_EQ(prompts, 0);

    // Resuming runs a pass at once: both changes are kept, each with its prompt.
    desktop.dialogScripts.clear();
    AnswerPrompt(QStringLiteral("暂停时改的"));
    AnswerPrompt(QStringLiteral("也是暂停时改的"));
    w->PauseItem->trigger();
    EXPECT_EQ(w->PauseItem->text(), QStringLiteral("暂停监测"));
    EXPECT_EQ(Versions(1).size(), 2u);
    EXPECT_EQ(Versions(2).size(), 2u);
    EXPECT_EQ(Version(1, VersionOf(a)).Remark, QStringLiteral("暂停时改的"));
    EXPECT_EQ(Content(Version(2, VersionOf(b)).FilePath), "also while paused");

    // And watching goes on as before.
    QTest::qWait(200);
    AnswerPrompt(QStringLiteral("继续之后"));
    Change(a, "after resuming", 1600000200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 3; }, 5000));
    EXPECT_EQ(Version(1, VersionOf(a)).Remark, QStringLiteral("继续之后"));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(WindowOverCatalogue, PausingWhileAPromptIsOpenKeepsThatVersionAndHoldsTheRest) {
    w = Make(*catalogue);
    const std::string a = Source("a.txt"), b = Source("b.txt");
    Register({Q(a), Q(b)});
    QTest::qWait(200);
    desktop.dialogScripts.push_back([&](QDialog& d) {
        w->PauseItem->trigger();  // from the tray, while the prompt for a waits
        auto& prompt = dynamic_cast<TFormVerSm&>(d);
        prompt.Edit1->insertPlainText(QStringLiteral("暂停前的"));
        prompt.Button1->click();
    });
    Change(a, "a2", 1600000200);
    Change(b, "b2", 1600000200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Versions(1).size() == 2; }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(Version(1, VersionOf(a)).Remark, QStringLiteral("暂停前的"));
    EXPECT_EQ(Versions(2).size(), 1u);  // b waits
    EXPECT_FALSE(w->Watchers.Active());
    AnswerPrompt(QStringLiteral("继续后的"));
    w->PauseItem->trigger();
    EXPECT_EQ(Versions(2).size(), 2u);
    EXPECT_EQ(Version(2, VersionOf(b)).Remark, QStringLiteral("继续后的"));
}

// Areas are told apart by their numbers, never by their names: a new area may not take a
// name in use (the user is told, in the interface's language), and in a catalogue that has
// two areas of one name already (made before names were checked) a file goes to the area
// selected, and stays there after a restart.
TEST_F(WindowOverCatalogue, AreasAreKnownByNumberAndANameInUseIsRefused) {
    std::filesystem::create_directories(dir.file("store2"));
    catalogue->AddArea(QStringLiteral("文档"), Q(dir.file("store2")));
    w = Make(*catalogue);
    ASSERT_EQ(w->TreeView1->topLevelItemCount(), 2);

    struct Case {
        TUiLanguage language;
        QString name;
        QString message;
    };
    const Case cases[] = {
        {TUiLanguage::Chinese, QStringLiteral("文档"),
         QStringLiteral("已经有名为“文档”的存储区，请换一个名称")},
        {TUiLanguage::Chinese, QStringLiteral(" 文档 "),
         QStringLiteral("已经有名为“文档”的存储区，请换一个名称")},
        {TUiLanguage::English, QStringLiteral("文档"),
         QStringLiteral("A storage area named “文档” already exists: choose another name")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const TInstalledTranslations language(c.language);
        desktop.messages.clear();
        AnswerAreaDialog(Q(dir.file("store")), c.name);
        w->GlowButton13Click();
        ASSERT_EQ(desktop.messages.size(), 1u);
        EXPECT_EQ(desktop.messages[0].text, c.message);
        EXPECT_EQ(catalogue->Areas().size(), 2u);
        EXPECT_EQ(w->TreeView1->topLevelItemCount(), 2);
    }
    desktop.messages.clear();

    // Into the second "文档", by a drop and by the file-open dialog.
    const std::string plan = Source("plan.txt"), b = Source("b.txt");
    QTreeWidgetItem* second = w->TreeView1->topLevelItem(1);
    w->TreeView1->setCurrentItem(second);
    w->DropFiles({Q(plan)});
    desktop.openFileAnswers.push_back(Q(b));
    w->GlowButton8Click();
    ASSERT_TRUE(desktop.messages.empty());
    for (const TFileRow& file : catalogue->AllFiles()) {
        SCOPED_TRACE(file.SourcePath.toStdString());
        EXPECT_EQ(file.AreaNo, 2);
        EXPECT_TRUE(file.BackupDir.startsWith(Q(dir.file("store2/"))));
    }
    EXPECT_EQ(catalogue->AllFiles().size(), 2u);
    EXPECT_EQ(Texts(second), QStringList({Q(b), Q(plan)}));
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->childCount(), 0);
    Restart();
    EXPECT_EQ(Texts(w->TreeView1->topLevelItem(1)), QStringList({Q(b), Q(plan)}));
    EXPECT_EQ(w->TreeView1->topLevelItem(0)->childCount(), 0);
}

// A catalogue that cannot be opened: one message names the file and the cause, the commands
// that need the catalogue are disabled, and none of them reaches the closed tables.
using CatalogueFailure = testing::MainWindowFixture;

TEST_F(CatalogueFailure, CommandsNeedingTheCatalogueAreDisabledAndSayWhy) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        QString cause;  // part of the engine's reason
    } cases[] = {
        {"no database",
         [](const std::string& path) { std::ofstream(path) << std::string(4096, 'x'); },
         QStringLiteral("is an invalid TarnDB")},
        {"no catalogue tables",
         [](const std::string& path) { tarn::TTarnDBCreator::CreateDatabase(path); },
         QStringLiteral("Table '数据存储区' not found")},
        {"a directory", [](const std::string& path) { std::filesystem::create_directories(path); },
         QStringLiteral("Cannot open file")},
    };
    const std::string source = Source("plan.txt");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string place = dir.file("bad" + std::to_string(++n));
        std::filesystem::create_directories(place);
        const std::string path = place + "/版本控制.dat";
        c.make(path);
        const qint64 size = QFileInfo(Q(path)).size();
        options.cataloguePath = Q(path);
        desktop.messages.clear();
        TCatalogue catalogue;
        auto w = Make(catalogue);

        ASSERT_EQ(desktop.messages.size(), 1u);
        const auto reason = desktop.messages[0];
        EXPECT_EQ(reason.caption, QStringLiteral("文件版本控制"));
        EXPECT_EQ(reason.icon, TMsgIcon::Error);
        EXPECT_TRUE(reason.text.startsWith(QStringLiteral("无法打开版本目录“%1”：").arg(Q(path))))
            << reason.text.toStdString();
        EXPECT_TRUE(reason.text.contains(c.cause)) << reason.text.toStdString();
        EXPECT_TRUE(reason.text.contains(QStringLiteral("已停用"))) << reason.text.toStdString();
        EXPECT_EQ(w->TreeView1->topLevelItemCount(), 0);

        // Disabled, with the reason at hand; what needs no catalogue stays available.
        for (QToolButton* b : {w->ToolBarPager1->GlowButton13, w->ToolBarPager1->GlowButton8}) {
            EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
            EXPECT_TRUE(b->toolTip().contains(Q(path))) << b->toolTip().toStdString();
        }
        for (QAction* a : {w->N1, w->N2, w->N4, w->N5})
            EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
        EXPECT_FALSE(w->SearchEdit->isEnabled());
        emit w->PopupMenu1->aboutToShow();
        for (QAction* a :
             {w->RestoreItem, w->CompareCurrentItem, w->CompareTwoItem, w->OpenFolderItem})
            EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
        EXPECT_TRUE(w->ToolBarPager1->StartCheck->isEnabled());
        EXPECT_TRUE(w->MenuItem4->isEnabled());

        // Reached anyway (a shortcut, a drop, the monitoring timer): the same reason, never
        // the closed tables' "Field ... not found", and nothing is written.
        desktop.messages.clear();
        AnswerAreaDialog(Q(dir.file("store")), QStringLiteral("文档"));
        w->GlowButton13Click();
        desktop.openFileAnswers.push_back(Q(source));
        w->GlowButton8Click();
        w->N2Click();
        w->N5Click();
        w->RestoreClick();
        w->SearchChange(QStringLiteral("计划"));
        w->DropFiles({Q(source)});
        w->PendingFiles << Q(source);
        w->tmr1Timer();
        EXPECT_FALSE(desktop.messages.empty());
        for (const auto& m : desktop.messages) EXPECT_EQ(m.text, reason.text);
        EXPECT_TRUE(w->Watchers.Active());
        if (QFileInfo(Q(path)).isFile()) {
            EXPECT_EQ(QFileInfo(Q(path)).size(), size);
        }
        desktop.dialogScripts.clear();
        desktop.openFileAnswers.clear();
    }
}

}  // namespace
}  // namespace filever
