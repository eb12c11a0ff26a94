#include "platform/text/codepage.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(CodePage, LeadBytes) {
    EXPECT_FALSE(IsLeadByte(0x80));
    EXPECT_TRUE(IsLeadByte(0x81));
    EXPECT_TRUE(IsLeadByte(0xFE));
    EXPECT_FALSE(IsLeadByte(0xFF));
    EXPECT_FALSE(IsLeadByte('A'));
    EXPECT_TRUE(kSysLocaleFarEast);
}

TEST(CodePage, Gb18030RoundTripsThroughUtf16AndUtf8) {
    // 存储区序号, a four-byte sequence (😀, outside the BMP) and ASCII.
    const std::string gb = "\xB4\xE6\xB4\xA2\xC7\xF8\xD0\xF2\xBA\xC5 \x94\x39\xFC\x36 ok";
    const std::string utf8 = "存储区序号 😀 ok";
    EXPECT_EQ(AnsiToUtf8(gb), utf8);
    EXPECT_EQ(Utf8ToAnsi(utf8), gb);
    std::u16string u16 = AnsiToUtf16(gb);
    EXPECT_EQ(u16, u"存储区序号 😀 ok");
    EXPECT_EQ(Utf16ToAnsi(u16), gb);
}

TEST(CodePage, BrokenBytesBecomeSubstitutes) {
    std::u16string u16 = AnsiToUtf16(std::string("a\xB4", 2));  // lead byte cut off
    ASSERT_EQ(u16.size(), 2u);
    EXPECT_EQ(u16[0], u'a');
    EXPECT_NE(u16[1], u'a');
    std::u16string reused;
    AnsiToUtf16("abc", reused);
    EXPECT_EQ(reused, u"abc");
    AnsiToUtf16("", reused);
    EXPECT_TRUE(reused.empty());
}

}  // namespace
}  // namespace tarn
