#include "platform/text/name_compare.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(SameName, FoldsAsciiLettersOnlyOutsideDoubleByteCharacters) {
    EXPECT_TRUE(SameName("TableName", "tablename"));
    EXPECT_TRUE(SameName("a_1", "A_1"));
    EXPECT_FALSE(SameName("abc", "abd"));
    EXPECT_FALSE(SameName("abc", "abcd"));
    // Two different characters whose trail bytes are 'A' (0x41) and 'a' (0x61).
    EXPECT_FALSE(SameName("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(SameName("\xb4\xe6x", "\xb4\xe6X"));
}

}  // namespace
}  // namespace tarn
