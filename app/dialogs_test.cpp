// The standard error report and the two dialogs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "app/area_dialog.h"
#include "app/error_report.h"
#include "app/gb_text.h"
#include "app/size_text.h"
#include "app/testing/fake_desktop_services.h"
#include "app/ver_desc_dialog.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

TEST(ErrorReport, FullStopOnlyAfterCharactersThatSortAfterIt) {
    struct Case {
        QString message;
        QString shown;
    } cases[] = {
        {"Table 'x' not found", "Table 'x' not found."},
        {"Done.", "Done."},
        {"Cannot open file \"a\"", "Cannot open file \"a\""},  // '"' sorts before '.'
        {"Stop!", "Stop!"},
        {"(1-2)", "(1-2)"},  // ')' sorts before '.'
        {"Version 2", "Version 2."},
        {"a/", "a/."},  // '/' sorts right after '.'
        {"line\r", "line\r"},
        {QStringLiteral("目录不存在"), QStringLiteral("目录不存在.")},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorReportText(c.message), c.shown) << c.message.toStdString();
}

TEST(ErrorReport, GuardedShowsTheErrorWithTheAppCaptionAndGoesOn) {
    testing::FakeDesktopServices desktop;
    EXPECT_FALSE(Guarded(desktop, nullptr, [] {
        throw tarn::EDatabaseError(QStringToAnsi(QStringLiteral("Table '文件索引表' not found")));
    }));
    EXPECT_FALSE(Guarded(desktop, nullptr, [] { throw tarn::EAbort(); }));  // silent
    EXPECT_FALSE(Guarded(desktop, nullptr, [] { throw std::runtime_error("plain"); }));
    EXPECT_TRUE(Guarded(desktop, nullptr, [] {}));
    ASSERT_EQ(desktop.messages.size(), 2u);
    EXPECT_EQ(desktop.messages[0].caption, QStringLiteral("文件版本控制"));
    EXPECT_EQ(desktop.messages[0].text, QStringLiteral("Table '文件索引表' not found."));
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Error);
    EXPECT_EQ(desktop.messages[1].text, QStringLiteral("plain."));
}

TEST(SizeText, KilobytesInGeneralFormat) {
    EXPECT_EQ(SizeTextK("1536"), "1.5K");
    EXPECT_EQ(SizeTextK("1000"), "0.9765625K");
    EXPECT_EQ(SizeTextK("2048"), "2K");
    EXPECT_EQ(SizeTextK("0"), "0K");
    EXPECT_EQ(SizeTextK("5000000000"), "4882812.5K");
    EXPECT_THROW(SizeTextK("2024-03-05"), tarn::EConvertError);
    EXPECT_THROW(SizeTextK(""), tarn::EConvertError);
}

// The prompt's time-out, shortened for the test.
constexpr int kShortMs = 100;

TEST(FormVerSm, ClosesByItselfAsAbandonedWhenNobodyTypes) {
    TFormVerSm dialog(nullptr, kShortMs);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("版本说明"));
    EXPECT_EQ(dialog.size(), QSize(383, 244));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.ResultCode, 1);
    dialog.exec();  // returns when the timer closes it
    EXPECT_EQ(dialog.ResultCode, 2);
}

TEST(FormVerSm, AKeystrokeStopsTheTimerForGood) {
    TFormVerSm dialog(nullptr, kShortMs);
    dialog.show();
    QTest::keyClick(dialog.Edit1, Qt::Key_A);
    QTest::qWait(kShortMs * 4);
    EXPECT_TRUE(dialog.isVisible()) << "the prompt closed after a keystroke";
    EXPECT_FALSE(dialog.tmr1.isActive());
    QTest::keyClick(dialog.Edit1, Qt::Key_Backspace);  // more typing does not restart it
    QTest::qWait(kShortMs * 2);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClicks(dialog.Edit1, "fix");
    dialog.Button1->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.ResultCode, 1);
    EXPECT_EQ(dialog.Text(), "fix");
}

TEST(FormVerSm, AbandonAndStoppedTimer) {
    TFormVerSm abandoned(nullptr, kShortMs);
    abandoned.show();
    abandoned.Button2->click();
    EXPECT_EQ(abandoned.ResultCode, 2);

    // The describe command stops the timer first: the prompt waits for a button.
    TFormVerSm waiting(nullptr, kShortMs);
    waiting.StopTimer();
    waiting.show();
    QTest::qWait(kShortMs * 3);
    EXPECT_TRUE(waiting.isVisible());
    EXPECT_EQ(waiting.ResultCode, 1);
}

TEST(CreatDataAreaW, StartsAtHomeAndFollowsAChosenOrTypedFolder) {
    tarn::testing::TempDir dir;
    TCreatDataAreaW dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("建立新的储存区"));
    EXPECT_EQ(dialog.ResultCode, 0);
    EXPECT_EQ(dialog.Edit1->text(), QDir::homePath());
    dialog.SelectFolder(QString::fromStdString(dir.path()));
    EXPECT_EQ(dialog.Edit1->text(), QString::fromStdString(dir.path()));

    // Typed: an existing folder is shown in the tree, a new one is kept as typed.
    const QString typed = QString::fromStdString(dir.file("sub"));
    QDir().mkpath(typed);
    dialog.Edit1->clear();
    QTest::keyClicks(dialog.Edit1, typed);
    EXPECT_EQ(dialog.ShellTreeView1->currentIndex().data(QFileSystemModel::FilePathRole).toString(),
              typed);
    QTest::keyClicks(dialog.Edit1, "/new");
    EXPECT_EQ(dialog.Edit1->text(), typed + "/new");
    dialog.show();
    dialog.Button1->click();
    EXPECT_EQ(dialog.ResultCode, 1);
    dialog.show();
    dialog.Button2->click();
    EXPECT_EQ(dialog.ResultCode, 2);
}

}  // namespace
}  // namespace filever
