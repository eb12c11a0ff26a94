#include "app/version_compare.h"

#include <gtest/gtest.h>

#include <QMap>
#include <random>

#include "app/gb_text.h"

namespace filever {
namespace {

QStringList Lines(const char* text) { return SplitLines(QString::fromUtf8(text)); }

// Length of a longest common subsequence, by the textbook table.
int LcsLength(const QStringList& a, const QStringList& b) {
    std::vector<std::vector<int>> t(static_cast<size_t>(a.size()) + 1,
                                    std::vector<int>(static_cast<size_t>(b.size()) + 1, 0));
    for (qsizetype i = a.size() - 1; i >= 0; --i)
        for (qsizetype j = b.size() - 1; j >= 0; --j)
            t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1 : std::max(t[i + 1][j], t[i][j + 1]);
    return t[0][0];
}

// The rows show every line of each side once, in order; same rows hold equal lines and
// changed rows unequal ones. Returns the number of same rows.
int CheckAlignment(const QStringList& a, const QStringList& b, const std::vector<TDiffRow>& rows) {
    int nextLeft = 0, nextRight = 0, same = 0;
    for (const TDiffRow& r : rows) {
        if (r.left >= 0) {
            EXPECT_EQ(r.left, nextLeft++);
        }
        if (r.right >= 0) {
            EXPECT_EQ(r.right, nextRight++);
        }
        switch (r.kind) {
            case TDiffKind::Same:
                EXPECT_TRUE(r.left >= 0 && r.right >= 0 && a[r.left] == b[r.right]);
                ++same;
                break;
            case TDiffKind::Changed:
                EXPECT_TRUE(r.left >= 0 && r.right >= 0);
                break;
            case TDiffKind::Removed:
                EXPECT_TRUE(r.left >= 0 && r.right < 0);
                break;
            case TDiffKind::Added:
                EXPECT_TRUE(r.left < 0 && r.right >= 0);
                break;
        }
    }
    EXPECT_EQ(nextLeft, a.size());
    EXPECT_EQ(nextRight, b.size());
    return same;
}

TEST(DiffLines, RowsOfTypicalEdits) {
    using K = TDiffKind;
    struct Case {
        const char* left;
        const char* right;
        std::vector<TDiffRow> rows;
    } cases[] = {
        {"", "", {}},
        {"a\nb\n", "a\nb\n", {{0, 0, K::Same}, {1, 1, K::Same}}},
        {"", "x\n", {{-1, 0, K::Added}}},
        {"a\nb\nc\n", "a\nB\nc\n", {{0, 0, K::Same}, {1, 1, K::Changed}, {2, 2, K::Same}}},
        {"a\nb\nc\n", "a\nc\n", {{0, 0, K::Same}, {1, -1, K::Removed}, {2, 1, K::Same}}},
        {"a\nc\n",
         "a\nb1\nb2\nc\n",
         {{0, 0, K::Same}, {-1, 1, K::Added}, {-1, 2, K::Added}, {1, 3, K::Same}}},
        // Two removed lines opposite one added line: one changed row, one removed row.
        {"a\nx\ny\nc\n",
         "a\nz\nc\n",
         {{0, 0, K::Same}, {1, 1, K::Changed}, {2, -1, K::Removed}, {3, 2, K::Same}}},
        // Line ends: CRLF reads like LF; a missing last line end is no difference.
        {"a\r\nb\r\n", "a\nb", {{0, 0, K::Same}, {1, 1, K::Same}}},
    };
    for (const Case& c : cases) {
        const QStringList a = Lines(c.left), b = Lines(c.right);
        EXPECT_EQ(DiffLines(a, b), c.rows) << c.left << " | " << c.right;
    }
}

TEST(DiffLines, FindsALongestCommonSubsequence) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        auto make = [&] {
            QStringList lines;
            const int n = static_cast<int>(random() % 30);
            for (int i = 0; i < n; ++i)
                lines << QString(QChar(static_cast<char16_t>(u'a' + random() % 4)));
            return lines;
        };
        const QStringList a = make(), b = make();
        EXPECT_EQ(CheckAlignment(a, b, DiffLines(a, b)), LcsLength(a, b)) << round;
    }
}

TEST(DiffLines, TooManyDifferencesStillAlignEveryLine) {
    // Every line differs: far beyond the exact search's bound.
    QStringList a, b;
    a << "head";
    b << "head";
    for (int i = 0; i < 6000; ++i) {
        a << QStringLiteral("left %1").arg(i);
        b << QStringLiteral("right %1").arg(i);
    }
    b << "extra";
    a << "tail";
    b << "tail";
    const std::vector<TDiffRow> rows = DiffLines(a, b);
    EXPECT_EQ(CheckAlignment(a, b, rows), 2);
    ASSERT_EQ(rows.size(), 6003u);
    EXPECT_EQ(rows[1].kind, TDiffKind::Changed);
    EXPECT_EQ(rows[6001], (TDiffRow{-1, 6001, TDiffKind::Added}));
}

TEST(CompareText, DecodingAndBinaryFiles) {
    const QString chinese = QStringLiteral("版本说明");
    EXPECT_EQ(DecodeText(chinese.toUtf8()), chinese);
    EXPECT_EQ(DecodeText("\xEF\xBB\xBFplain"), "plain");  // the byte-order mark goes
    // Not UTF-8: read as GB18030.
    const std::string gb = QStringToAnsi(chinese);
    EXPECT_EQ(DecodeText(QByteArray::fromStdString(gb)), chinese);
    EXPECT_FALSE(LooksBinary(chinese.toUtf8()));
    EXPECT_TRUE(LooksBinary(QByteArray("PK\x03\x04\0\0", 6)));
}

TEST(DiffTool, ChosenInOrderOfPreference) {
    QMap<QString, QString> installed;
    auto find = [&](const QString& name) { return installed.value(name); };
    EXPECT_EQ(ResolveDiffTool("", "", find), QStringList{});
    installed["kdiff3"] = "/usr/bin/kdiff3";
    EXPECT_EQ(ResolveDiffTool("", "", find), QStringList{"/usr/bin/kdiff3"});
    installed["meld"] = "/usr/bin/meld";
    EXPECT_EQ(ResolveDiffTool("  ", "", find), QStringList{"/usr/bin/meld"});
    EXPECT_EQ(ResolveDiffTool("", "vimdiff -R", find), (QStringList{"vimdiff", "-R"}));
    EXPECT_EQ(ResolveDiffTool("\"/opt/My Diff/bin/mydiff\" --wait", "vimdiff", find),
              (QStringList{"/opt/My Diff/bin/mydiff", "--wait"}));
}

}  // namespace
}  // namespace filever
