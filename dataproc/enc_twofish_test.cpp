// The engine's Twofish variant: its known answers (which differ from published Twofish),
// decryption, and the zero padding of short keys.
#include "dataproc/enc_twofish.h"

#include <gtest/gtest.h>

#include "dataproc/enc_test_support.h"

namespace tarn {
namespace {

using enc_testing::Counting;
using enc_testing::ToHex;

TEST(TwofishVariant, KnownAnswersAndInverse) {
    struct Case {
        std::vector<uint8_t> key;
        const char* out;
    };
    const Case cases[] = {
        {std::vector<uint8_t>(16, 0), "1c2aeaa7e1740cfc567004fc106a3e33"},
        {Counting(24), "74a351c9f91ed6cbaff103dfdad93dd2"},
        {Counting(32), "73b95e37fe64e9b64413cd93c6b23d8b"},
    };
    TEnc_Twofish cipher;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.size());
        cipher.Init(c.key.data(), static_cast<int>(c.key.size()));
        uint8_t block[16] = {};
        cipher.EncryptBlock(block);
        EXPECT_EQ(ToHex(block, 16), c.out);
        cipher.DecryptBlock(block);
        EXPECT_EQ(ToHex(block, 16), std::string(32, '0'));
    }
}

// Short keys are zero-padded to the next of 16, 24, 32 bytes; longer keys are cut to 32.
TEST(TwofishVariant, KeysArePaddedWithZerosAndCut) {
    struct Case {
        int shortLength, paddedLength;
    };
    const Case cases[] = {{0, 16}, {5, 16}, {17, 24}, {20, 24}, {25, 32}, {40, 32}};
    auto key = Counting(40);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shortLength);
        std::vector<uint8_t> padded(key.begin(), key.begin() + std::min(c.shortLength, 32));
        padded.resize(static_cast<size_t>(c.paddedLength), 0);
        TEnc_Twofish a, b;
        a.Init(key.data(), c.shortLength);
        b.Init(padded.data(), c.paddedLength);
        uint8_t x[16] = {9}, y[16] = {9};
        a.EncryptBlock(x);
        b.EncryptBlock(y);
        EXPECT_EQ(ToHex(x, 16), ToHex(y, 16));
    }
}

TEST(TwofishVariant, DecryptInvertsEncryptForRandomBlocks) {
    const auto key = Counting(20);
    TEnc_Twofish cipher;
    cipher.Init(key.data(), 20);
    uint32_t seed = 12345;
    for (int round = 0; round < 50; ++round) {
        uint8_t block[16], copy[16];
        for (auto& b : block) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
        std::copy(block, block + 16, copy);
        cipher.EncryptBlock(block);
        EXPECT_NE(ToHex(block, 16), ToHex(copy, 16));
        cipher.DecryptBlock(block);
        EXPECT_EQ(ToHex(block, 16), ToHex(copy, 16));
    }
}

}  // namespace
}  // namespace tarn
