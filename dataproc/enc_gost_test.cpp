// GOST with the engine's S-boxes: the known answer, decryption and key padding.
#include "dataproc/enc_gost.h"

#include <gtest/gtest.h>

#include "dataproc/enc_test_support.h"

namespace tarn {
namespace {

using enc_testing::Counting;
using enc_testing::ToHex;

TEST(Gost, KnownAnswerAndInverse) {
    const auto key = Counting(32);
    TEnc_Gost cipher;
    cipher.Init(key.data(), 32);
    uint8_t block[8] = {};
    cipher.EncryptBlock(block);
    EXPECT_EQ(ToHex(block, 8), "66aa28cf3b24ddb9");
    cipher.DecryptBlock(block);
    EXPECT_EQ(ToHex(block, 8), "0000000000000000");
}

TEST(Gost, ShortKeysArePaddedWithZerosAndLongKeysCut) {
    auto key = Counting(40);
    std::vector<uint8_t> padded(key.begin(), key.begin() + 20);
    padded.resize(32, 0);
    TEnc_Gost shortKey, paddedKey, longKey, key32;
    shortKey.Init(key.data(), 20);
    paddedKey.Init(padded.data(), 32);
    longKey.Init(key.data(), 40);
    key32.Init(key.data(), 32);
    uint8_t a[8] = {1, 2, 3}, b[8] = {1, 2, 3}, c[8] = {1, 2, 3}, d[8] = {1, 2, 3};
    shortKey.EncryptBlock(a);
    paddedKey.EncryptBlock(b);
    longKey.EncryptBlock(c);
    key32.EncryptBlock(d);
    EXPECT_EQ(ToHex(a, 8), ToHex(b, 8));
    EXPECT_EQ(ToHex(c, 8), ToHex(d, 8));
    EXPECT_NE(ToHex(a, 8), ToHex(c, 8));
}

}  // namespace
}  // namespace tarn
