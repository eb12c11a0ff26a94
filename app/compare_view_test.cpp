#include "app/compare_view.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <fstream>

#include "app/testing/fake_desktop_services.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

// Two states of one file in a temporary directory.
class CompareTest : public ::testing::Test {
protected:
    TCompareSide Side(const std::string& name, const std::string& bytes) {
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
        return {QString::fromStdString(dir.file(name)), QString::fromStdString(name)};
    }
    tarn::testing::TempDir dir;
    testing::FakeDesktopServices desktop;
};

TEST_F(CompareTest, TheUsersToolGetsBothPathsOlderFirst) {
    const TCompareSide older = Side("old.txt", "a\n"), newer = Side("new.txt", "b\n");
    CompareFiles(desktop, nullptr, older, newer, {"/usr/bin/meld", "--newtab"});
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0].program, "/usr/bin/meld");
    EXPECT_EQ(desktop.started[0].arguments, (QStringList{"--newtab", older.path, newer.path}));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(CompareTest, BuiltInViewMarksTheChangedLines) {
    const TCompareSide older = Side("old.txt", "one\ntwo\nthree\nfour\n");
    const TCompareSide newer = Side("new.txt", "one\nTWO\nthree\nfour\nfive\n");
    // A tool that cannot be started: the user is told, and the built-in view opens.
    desktop.startSucceeds = false;
    QStringList left, right, summary;
    QList<int> leftMarks, rightMarks;
    desktop.dialogScripts.push_back([&](QDialog& dialog) {
        auto& view = dynamic_cast<TCompareView&>(dialog);
        left = view.LeftText->toPlainText().split('\n');
        right = view.RightText->toPlainText().split('\n');
        leftMarks = TCompareView::MarkedRows(view.LeftText);
        rightMarks = TCompareView::MarkedRows(view.RightText);
        summary << view.Summary->text() << view.windowTitle();
        EXPECT_TRUE(view.LeftText->isReadOnly() && view.RightText->isReadOnly());
    });
    CompareFiles(desktop, nullptr, older, newer, {"no-such-diff-tool"});

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].icon, TMsgIcon::Warning);
    EXPECT_TRUE(desktop.messages[0].text.contains("no-such-diff-tool"));
    EXPECT_TRUE(desktop.dialogScripts.empty()) << "the view was not shown";
    EXPECT_EQ(left, (QStringList{"one", "two", "three", "four", ""}));
    EXPECT_EQ(right, (QStringList{"one", "TWO", "three", "four", "five"}));
    // Row 1 changed on both sides; row 4 added on the right, a filler on the left.
    EXPECT_EQ(leftMarks, (QList<int>{1, 4}));
    EXPECT_EQ(rightMarks, (QList<int>{1, 4}));
    EXPECT_EQ(summary, (QStringList{"共有 2 处不同", "版本比较"}));
}

TEST_F(CompareTest, BinaryFilesGetTheirSizes) {
    const TCompareSide older = Side("old.bin", std::string("\x89PNG\0\0\0", 7));
    const TCompareSide newer = Side("new.bin", std::string("\x89PNG\0\0\0\1\2", 9));
    CompareFiles(desktop, nullptr, older, newer, {});
    ASSERT_EQ(desktop.messages.size(), 1u);
    const QString text = desktop.messages[0].text;
    EXPECT_TRUE(text.contains("二进制文件")) << text.toStdString();
    EXPECT_TRUE(text.contains("内容不同"));
    EXPECT_TRUE(text.contains("old.bin：7 字节")) << text.toStdString();
    EXPECT_TRUE(text.contains("new.bin：9 字节"));
    EXPECT_TRUE(desktop.started.empty());
}

TEST_F(CompareTest, MissingFileIsAnError) {
    const TCompareSide newer = Side("new.txt", "b\n");
    const TCompareSide gone{QString::fromStdString(dir.file("gone.txt")), "gone"};
    EXPECT_THROW(CompareFiles(desktop, nullptr, gone, newer, {}), tarn::EFOpenError);
    EXPECT_THROW(CompareFiles(desktop, nullptr, gone, newer, {"meld"}), tarn::EFOpenError);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_TRUE(desktop.started.empty());
}

}  // namespace
}  // namespace filever
