// Base64 of blob values in export and restore: RFC 4648's test vectors both ways, and text
// that is no base64 refused.
#include "tools/base64.h"

#include <gtest/gtest.h>

namespace tarn::cli {
namespace {

TEST(Base64, EncodesAndDecodesTheRfcVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe", 3), "AP/+"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64Encode(bytes), text);
        std::string back = "junk";
        ASSERT_TRUE(Base64Decode(text, back)) << text;
        EXPECT_EQ(back, bytes);
    }
}

TEST(Base64, RefusesTextThatIsNotBase64) {
    for (const char* text : {"Zg=", "Zg", "Z===", "Zh==", "Zm9v\n", "Zm-v", "=Zm9", "Zg==Zg=="}) {
        std::string bytes;
        EXPECT_FALSE(Base64Decode(text, bytes)) << text;
    }
}

}  // namespace
}  // namespace tarn::cli
