#include "tarndb/errors.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(Format, FormatsLikePrintf) {
    EXPECT_EQ(Format("Table '%s' not found", "abc"), "Table 'abc' not found");
    EXPECT_EQ(Format("%s_%d", "S1", 2), "S1_2");
    EXPECT_EQ(Format("%s", ""), "");
}

TEST(Errors, CarryMessageAndCode) {
    try {
        throw EEncryptException("bad key", 3);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "bad key");
        EXPECT_STREQ(e.what(), "bad key");
        EXPECT_EQ(dynamic_cast<const EEncryptException&>(e).ErrorCode(), 3);
    }
}

}  // namespace
}  // namespace tarn
