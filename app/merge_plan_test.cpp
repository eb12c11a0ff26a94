#include "app/merge_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "app/gb_text.h"

namespace filever {
namespace {

QByteArray B(const char* s) { return QByteArray(s); }

std::vector<bool> Flags(const std::string& s) {
    std::vector<bool> out;
    for (char c : s) out.push_back(c == '1');
    return out;
}

TEST(MergePlan, HunksAndMergedBytes) {
    struct Case {
        const char* name;
        QByteArray older, current;
        int hunks;
        std::string taken;  // one flag per hunk
        QByteArray merged;
    };
    const Case cases[] = {
        {"identical files have no hunks", B("a\nb\n"), B("a\nb\n"), 0, "", B("a\nb\n")},
        {"both empty", B(""), B(""), 0, "", B("")},
        {"take nothing gives the current file", B("a\nX\nc\nY\n"), B("a\nb\nc\nd\n"), 2, "00",
         B("a\nb\nc\nd\n")},
        {"take the first of two", B("a\nX\nc\nY\n"), B("a\nb\nc\nd\n"), 2, "10", B("a\nX\nc\nd\n")},
        {"take the second of two", B("a\nX\nc\nY\n"), B("a\nb\nc\nd\n"), 2, "01",
         B("a\nb\nc\nY\n")},
        {"take both gives the version", B("a\nX\nc\nY\n"), B("a\nb\nc\nd\n"), 2, "11",
         B("a\nX\nc\nY\n")},
        {"lines the version lacks are removed", B("a\nc\n"), B("a\nb\nc\n"), 1, "1", B("a\nc\n")},
        {"lines only the version has are brought in", B("a\nb\nc\n"), B("a\nc\n"), 1, "1",
         B("a\nb\nc\n")},
        {"an empty current file", B("x\ny\n"), B(""), 1, "1", B("x\ny\n")},
        {"an empty version empties the file", B(""), B("x\ny\n"), 1, "1", B("")},
        {"a missing final line end is a hunk", B("a\nb"), B("a\nb\n"), 1, "1", B("a\nb")},
        {"the current file's missing final line end is kept", B("a\nX\nc\nd\n"), B("a\nb\nc\nd"), 2,
         "10", B("a\nX\nc\nd")},
        {"lines after the current last line give it a line end", B("a\nb\nc"), B("a\nb"), 1, "1",
         B("a\nb\nc")},
        {"a CRLF file keeps its line ends", B("a\nX\nc\n"), B("a\r\nb\r\nc\r\n"), 1, "1",
         B("a\r\nX\r\nc\r\n")},
        {"CRLF lines are the same lines", B("a\r\nb\r\n"), B("a\nb\n"), 0, "", B("a\nb\n")},
        {"a CRLF version into an LF file", B("a\r\nX\r\n"), B("a\nb\n"), 1, "1", B("a\nX\n")},
        {"a byte-order mark stays", B("\xEF\xBB\xBFone\ntwo\n"), B("\xEF\xBB\xBFone\n2\n"), 1, "1",
         B("\xEF\xBB\xBFone\ntwo\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TMergePlan plan(c.older, c.current);
        ASSERT_EQ(plan.Hunks().size(), static_cast<size_t>(c.hunks));
        EXPECT_EQ(plan.Merge(Flags(c.taken)), c.merged);
        EXPECT_EQ(plan.Merge({}), c.current) << "taking nothing is the current file";
    }
}

TEST(MergePlan, HunkRangesAndRows) {
    // a  a
    // X  b   hunk 0: changed
    // c  c
    //    d   hunk 1: added
    // e  e
    // Y      hunk 2: removed at the end
    const TMergePlan plan(B("a\nX\nc\ne\nY\n"), B("a\nb\nc\nd\ne\n"));
    ASSERT_EQ(plan.Hunks().size(), 3u);
    EXPECT_EQ(plan.Hunks()[0], (TMergeHunk{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(plan.Hunks()[1], (TMergeHunk{3, 1, 3, 0, 3, 1}));
    EXPECT_EQ(plan.Hunks()[2], (TMergeHunk{5, 1, 4, 1, 5, 0}));
    EXPECT_EQ(plan.HunkOfRow(0), -1);
    EXPECT_EQ(plan.HunkOfRow(1), 0);
    EXPECT_EQ(plan.HunkOfRow(3), 1);
    EXPECT_EQ(plan.HunkOfRow(5), 2);
    EXPECT_EQ(plan.HunkOfRow(6), -1);
    EXPECT_EQ(plan.Merge(Flags("011")), B("a\nb\nc\ne\nY\n"));
}

TEST(MergePlan, EncodingsOfTheTwoFiles) {
    const QString older = QStringLiteral("标题\n第一稿\n");
    const QString current = QStringLiteral("标题\n第二稿\n");
    const QByteArray olderGb = QByteArray::fromStdString(QStringToAnsi(older));
    const QByteArray currentGb = QByteArray::fromStdString(QStringToAnsi(current));

    // A GB18030 file stays GB18030, untouched lines byte for byte.
    EXPECT_EQ(TMergePlan(olderGb, currentGb).Merge({true}), olderGb);
    // A line from a UTF-8 version is written in the current file's GB18030, and the other
    // way round.
    EXPECT_EQ(TMergePlan(older.toUtf8(), currentGb).Merge({true}), olderGb);
    EXPECT_EQ(TMergePlan(olderGb, current.toUtf8()).Merge({true}), older.toUtf8());
    // A plain ASCII current file takes the version's encoding.
    EXPECT_EQ(TMergePlan(olderGb, B("x\n")).Merge({true}), olderGb);
    // Bytes that are no character in GB18030 survive when their line is not replaced.
    const QByteArray odd = B("\x81\x20 odd\nsame\n");
    const TMergePlan plan(B("new\nsame\n"), odd);
    EXPECT_EQ(plan.Merge({false}), odd);
    EXPECT_EQ(plan.Merge({true}), B("new\nsame\n"));
}

TEST(MergePlan, ChangedWordsInsideALine) {
    struct Case {
        const char* name;
        QString left, right;
        std::vector<TWordSpan> l, r;
    };
    const Case cases[] = {
        {"same line", "int x = 1;", "int x = 1;", {}, {}},
        {"one word", "int count = 1;", "int total = 1;", {{4, 5}}, {{4, 5}}},
        {"a word added", "a b", "a new b", {}, {{2, 4}}},
        {"adjacent pieces join", "f(x)", "g[y]", {{0, 4}}, {{0, 4}}},
        {"words, not letters", "value", "valve", {{0, 5}}, {{0, 5}}},
        {"each CJK character alone",
         QStringLiteral("第一稿完成"),
         QStringLiteral("第二稿完成"),
         {{1, 1}},
         {{1, 1}}},
        {"white space runs", "a  b", "a b", {{1, 2}}, {{1, 1}}},
        {"empty against text", "", "abc", {}, {{0, 3}}},
        {"characters outside the BMP stay whole",
         QStringLiteral("x \U0001F600 y"),
         QStringLiteral("x \U0001F601 y"),
         {{2, 2}},
         {{2, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TWordDiff diff = DiffWords(c.left, c.right);
        EXPECT_EQ(diff.left, c.l);
        EXPECT_EQ(diff.right, c.r);
    }
}

}  // namespace
}  // namespace filever
