#include "platform/dataset/names.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/dataset/number_text.h"

namespace tarn {
namespace {

TEST(Names, CaseIsIgnoredForLettersOnly) {
    EXPECT_TRUE(SameName("FileNo", "fileno"));
    EXPECT_TRUE(SameName("文件序号", "文件序号"));
    EXPECT_FALSE(SameName("文件序号", "文件"));
    // Trail bytes that look like letters are compared exactly: 0x81 0x41 and 0x81 0x61 are
    // two different characters.
    EXPECT_FALSE(SameName("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(SameName("a\x81\x41", "A\x81\x41"));
    EXPECT_LT(CompareNames("abc", "ABD"), 0);
    EXPECT_GT(CompareNames("abcd", "ABC"), 0);
    EXPECT_TRUE(SameName("", ""));
    EXPECT_EQ((std::vector<std::string>{"a", "b c"}), SplitFieldNames(" a; ;b c ;"));
    EXPECT_TRUE(SplitFieldNames("").empty());
}

TEST(NumberText, FloatsAndIntegers) {
    EXPECT_EQ("0.1", FloatToStr(0.1));
    EXPECT_EQ("-2.5", FloatToStr(-2.5));
    EXPECT_EQ("123456789012345", FloatToStr(123456789012345.0));
    EXPECT_EQ("1.23456789012346E15", FloatToStr(1234567890123456.0));
    EXPECT_EQ("1.5E-5", FloatToStr(0.000015));
    EXPECT_EQ("0.0001", FloatToStr(0.0001));
    EXPECT_EQ("0", FloatToStr(0.0));
    EXPECT_EQ("INF", FloatToStr(INFINITY));

    EXPECT_EQ(INT64_MAX, TryStrToInt64("9223372036854775807"));
    EXPECT_EQ(INT64_MIN, TryStrToInt64("-9223372036854775808"));
    EXPECT_FALSE(TryStrToInt64("9223372036854775808"));
    EXPECT_FALSE(TryStrToInt64("$"));
    EXPECT_FALSE(TryStrToInt64("0x"));
    EXPECT_FALSE(TryStrToInt64("1e3"));
    EXPECT_EQ(-255, TryStrToInt64("-$FF"));
    EXPECT_EQ(0.5, TryStrToFloat(".5"));
    EXPECT_EQ(-1.0, TryStrToFloat("-1"));
    EXPECT_FALSE(TryStrToFloat("-"));
    EXPECT_FALSE(TryStrToFloat("0x1p3"));
    EXPECT_EQ(true, TryStrToBool("Tr"));
    EXPECT_FALSE(TryStrToBool(""));
}

}  // namespace
}  // namespace tarn
