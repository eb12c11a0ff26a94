#include "platform/text/collation.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_EQ(root.Compare("a", "B", false), -1);   // not byte order
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

}  // namespace
}  // namespace tarn
