#include "platform/text/collation.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace tarn {
namespace {

TEST(Collation, EnvironmentLocaleNames) {
    const char* saved = std::getenv("LC_ALL");
    std::string keep = saved ? saved : "";
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    EXPECT_EQ(TCollator::EnvironmentLocale(), "zh_CN");
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(TCollator::EnvironmentLocale(), "");
    setenv("LC_ALL", "POSIX", 1);
    EXPECT_EQ(TCollator::EnvironmentLocale(), "");
    setenv("LC_ALL", "de_DE@euro", 1);
    EXPECT_EQ(TCollator::EnvironmentLocale(), "de_DE");
    if (saved) {
        setenv("LC_ALL", keep.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

TEST(Collation, RootOrderIsLinguisticAndCaseAware) {
    TCollator root("C");
    EXPECT_EQ(root.Compare("abc", "abc", false), 0);
    EXPECT_EQ(root.Compare("a", "B", false), -1);  // not byte order
    EXPECT_EQ(root.Compare("B", "a", false), 1);
    EXPECT_NE(root.Compare("abc", "ABC", false), 0);
    EXPECT_EQ(root.Compare("abc", "ABC", true), 0);
    EXPECT_EQ(root.Compare("ab", "abc", false), -1);
    EXPECT_EQ(root.Compare("", "", false), 0);
    // Accents still count when case does not.
    EXPECT_NE(root.Compare("e", "\xA8\xA6", true), 0);  // GB18030 é
}

TEST(Collation, ComparesGb18030Text) {
    TCollator root("");
    const std::string zhong = "\xD6\xD0";  // 中
    const std::string wen = "\xCE\xC4";    // 文
    EXPECT_EQ(root.Compare(zhong, zhong, false), 0);
    EXPECT_NE(root.Compare(zhong, wen, false), 0);
    EXPECT_EQ(root.Compare(zhong, wen, false), -root.Compare(wen, zhong, false));
    // Latin letters sort before Han characters.
    EXPECT_EQ(root.Compare("z", zhong, false), -1);
    EXPECT_EQ(root.Compare("A" + zhong, "a" + zhong, true), 0);
}

// GB18030 spellings of the full-width forms used below.
const std::string kWide2 = "\xA3\xB2";   // U+FF12 FULLWIDTH DIGIT TWO
const std::string kWideA = "\xA3\xC1";   // U+FF21 FULLWIDTH LATIN CAPITAL LETTER A
const std::string kWideSa = "\xA3\xE1";  // U+FF41 FULLWIDTH LATIN SMALL LETTER A

TEST(Collation, IgnoringCaseKeepsLetterWidth) {
    TCollator root("");
    struct Case {
        std::string a, b;
        bool equal;         // ignoring case
        bool lettersEqual;  // letters and accents only
    } cases[] = {
        {kWide2, "2", false, true},              // ２ / 2
        {kWideA, "a", false, true},              // Ａ / a
        {kWideA, "A", false, true},              // Ａ / A
        {kWideA + "BC", "abc", false, true},     // ＡBC / abc
        {kWideA, kWideSa, true, true},           // Ａ / ａ: they differ in case only
        {"ABC", "abc", true, true},              // ASCII
        {"A\xD6\xD0", "a\xD6\xD0", true, true},  // A中 / a中
        {"\xA8\xA6", "e", false, false},         // é / e: accents still count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(root.Compare(c.a, c.b, true) == 0, c.equal);
        EXPECT_EQ(root.Compare(c.a, c.b, TCaseRule::IgnoreCase), root.Compare(c.a, c.b, true));
        EXPECT_EQ(root.Compare(c.a, c.b, true), -root.Compare(c.b, c.a, true));
        // Letters and accents only (the order of case-insensitive indexes): width and case
        // do not count there.
        EXPECT_EQ(root.Compare(c.a, c.b, TCaseRule::LettersOnly) == 0, c.lettersEqual);
    }
    // The same rules for UTF-16 text (LIKE compares characters this way).
    EXPECT_NE(root.CompareUtf16(u"\uFF12", u"2", true), 0);
    EXPECT_EQ(root.CompareUtf16(u"\uFF21", u"\uFF41", true), 0);
    EXPECT_EQ(root.CompareUtf16(u"\uFF21", u"a", TCaseRule::LettersOnly), 0);
}

// Case-blind comparison is "fold the case, then compare exactly": ASCII text takes a
// shorter road, which must give the same order.
TEST(Collation, CaseBlindAsciiOrderIsTheFoldedExactOrder) {
    TCollator root("");
    const std::vector<std::string> words = {"",    "a",  "A", "ab", "aB", "Ab", "b", "B",    "a-b",
                                            "a b", "_a", "Z", "z1", "Z2", "10", "9", "a\x01"};
    auto lower = [](std::string s) {
        for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return s;
    };
    for (const std::string& x : words) {
        for (const std::string& y : words) {
            SCOPED_TRACE(x + " / " + y);
            EXPECT_EQ(root.Compare(x, y, true), root.Compare(lower(x), lower(y), false));
        }
    }
}

}  // namespace
}  // namespace tarn
