// Text forms of a digest: hexadecimal, the engine's base-64 variant and raw bytes.
#include "dataproc/hash_base.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataproc/hash_sha.h"

namespace tarn {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
    std::vector<uint8_t> out;
    for (int b : v) out.push_back(static_cast<uint8_t>(b));
    return out;
}

TEST(DigestBase64Variant, ReproducesTheStoredForm) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* text;
    };
    const Case cases[] = {
        {Bytes({0x61, 0x62, 0x63}), "YWJj"},                    // as standard Base64
        {Bytes({0x41, 0x00, 0x00, 0x41}), "QQQQ=="},            // standard: QQAAQQ==
        {Bytes({0x00, 0x00, 0x00, 0x61, 0x62, 0x63}), "YWJj"},  // zero group gives nothing
        {Bytes({}), ""},
        {Bytes({0xff}), "/w=="},
        {Bytes({0xf8, 0x80}), "+I="},  // standard: +IA=
        {Bytes({0x00, 0x00}), "="},
        {Bytes({0xfb, 0xff, 0xbf}), "+/+/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeDigestBase64(c.bytes), c.text) << c.text;
    }
}

TEST(DigestText, FormatsOfATwentyByteDigest) {
    THash_SHA sha;
    sha.Start();
    sha.Update("abc", 3);
    sha.Finish();
    EXPECT_EQ(sha.DigestText(16), "0164B8A914CD2A5E74C4F7FF082C4D97F1EDF880");
    EXPECT_EQ(sha.DigestText(0), sha.DigestText(64));
    EXPECT_EQ(sha.DigestText(64), "AWS4qRTNKl50xPf/CCxNl/Ht+I=");
    const std::string raw = sha.DigestText(8);
    ASSERT_EQ(raw.size(), 20u);
    EXPECT_EQ(std::string(raw.begin(), raw.end()),
              std::string(reinterpret_cast<const char*>(sha.Digest()), 20));

    // Whatever the digest, the variant of 20 bytes ends in one "=" and has at most 28
    // characters.
    for (const char* password : {"", "secret", "\xb0\xe6\xb1\xbe", "0000000000"}) {
        sha.Start();
        sha.UpdateText(password);
        sha.Finish();
        const std::string text = sha.DigestText();
        EXPECT_LE(text.size(), 28u);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '=');
        EXPECT_NE(text[text.size() - 2], '=');
    }
}

TEST(DigestText, TheBaseClassHasNoDigest) {
    THash base;
    base.Start();
    base.Update("abc", 3);
    base.Finish();
    EXPECT_EQ(base.DigestSize(), 0);
    EXPECT_EQ(base.DigestText(16), "");
    EXPECT_EQ(base.DigestText(0), "");
}

}  // namespace
}  // namespace tarn
