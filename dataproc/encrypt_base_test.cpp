// The cipher framework over all three ciphers: the five modes and their tail rules, the
// feedback register, keying from a password, wiping and the framework's errors.
#include "dataproc/encrypt_base.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "dataproc/enc_test_support.h"
#include "dataproc/hash_sha.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

using enc_testing::FromHex;
using enc_testing::MakeCipher;
using enc_testing::ToHex;
using Bytes = std::vector<uint8_t>;

const char* const kCiphers[] = {"Blowfish", "Twofish", "Gost"};

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + 37 * i + (i >> 3));
    return out;
}

std::unique_ptr<TEncrypt> Keyed(const std::string& name, uint8_t mode) {
    auto cipher = MakeCipher(name);
    const Bytes key = Pattern(20, 0x5A);
    cipher->Init(key.data(), 20);
    cipher->SetMode(mode);
    return cipher;
}

Bytes Encode(TEncrypt& c, const Bytes& in) {
    Bytes out(in.size(), 0xEE);
    c.EncodeBuffer(in.data(), out.data(), static_cast<int32_t>(in.size()));
    return out;
}

Bytes Decode(TEncrypt& c, const Bytes& in) {
    Bytes out(in.size(), 0xEE);
    c.DecodeBuffer(in.data(), out.data(), static_cast<int32_t>(in.size()));
    return out;
}

// The mode equations written out byte by byte, starting from the initial vector, with
// `blocks` supplying E and D. Used to pin the exact output of every mode; `feedbackOut`
// receives the feedback register after the call.
Bytes Model(TEncrypt& blocks, uint8_t mode, const Bytes& in, bool encode,
            Bytes* feedbackOut = nullptr) {
    const size_t b = static_cast<size_t>(blocks.BlockSize());
    Bytes f(blocks.InitVector().begin(), blocks.InitVector().end());
    Bytes out(in.size());
    auto e = [&](Bytes x) {
        blocks.EncryptBlock(x.data());
        return x;
    };
    auto d = [&](Bytes x) {
        blocks.DecryptBlock(x.data());
        return x;
    };
    if (mode == chCFB8 || mode == chOFB8) {
        for (size_t i = 0; i < in.size(); ++i) {
            const Bytes k = e(f);
            out[i] = in[i] ^ k[0];
            f.erase(f.begin());
            f.push_back(mode == chOFB8 ? k[0] : (encode ? out[i] : in[i]));
        }
        if (feedbackOut) *feedbackOut = f;
        return out;
    }
    const size_t whole = in.size() / b * b;
    for (size_t at = 0; at < whole; at += b) {
        Bytes x(in.begin() + at, in.begin() + at + b), y(b);
        if (mode == chECB) {
            y = encode ? e(x) : d(x);
        } else if (encode) {
            for (size_t i = 0; i < b; ++i) x[i] ^= f[i];
            y = e(x);
            for (size_t i = 0; i < b; ++i) f[i] = mode == chXorFeedback ? y[i] ^ f[i] : y[i];
        } else {
            y = d(x);
            for (size_t i = 0; i < b; ++i) {
                y[i] ^= f[i];
                f[i] = mode == chXorFeedback ? x[i] ^ f[i] : x[i];
            }
        }
        std::copy(y.begin(), y.end(), out.begin() + at);
    }
    const Bytes k = e(f);
    for (size_t i = whole; i < in.size(); ++i)
        out[i] = mode == chECB ? in[i] : in[i] ^ k[i - whole];
    if (mode == chXorFeedback && whole < in.size())
        for (size_t i = 0; i < b; ++i) f[i] ^= k[i];
    if (feedbackOut) *feedbackOut = f;
    return out;
}

struct ModeCase {
    const char* cipher;
    uint8_t mode;
};

class ModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTest, RoundTripAndExactOutputForEveryLength) {
    const auto [name, mode] = GetParam();
    auto cipher = Keyed(name, mode);
    auto blocks = Keyed(name, mode);
    const size_t b = static_cast<size_t>(cipher->BlockSize());
    for (size_t n : {size_t{0}, size_t{1}, b - 1, b, b + 1, 3 * b + 5}) {
        SCOPED_TRACE(n);
        const Bytes plain = Pattern(n, static_cast<uint8_t>(n));
        Bytes feedback;
        const Bytes coded = Encode(*cipher, plain);
        EXPECT_EQ(ToHex(coded), ToHex(Model(*blocks, mode, plain, true, &feedback)));
        EXPECT_EQ(ToHex(cipher->Feedback().data(), b), ToHex(feedback));
        cipher->ResetFeedback();
        EXPECT_EQ(ToHex(Decode(*cipher, coded)), ToHex(plain));
        EXPECT_EQ(ToHex(Model(*blocks, mode, coded, false, &feedback)), ToHex(plain));
        EXPECT_EQ(ToHex(cipher->Feedback().data(), b), ToHex(feedback));
        cipher->ResetFeedback();

        // In place gives the same bytes as separate buffers.
        Bytes inPlace = plain;
        cipher->EncodeBuffer(inPlace.data(), inPlace.data(), static_cast<int32_t>(n));
        EXPECT_EQ(ToHex(inPlace), ToHex(coded));
        cipher->ResetFeedback();
        cipher->DecodeBuffer(inPlace.data(), inPlace.data(), static_cast<int32_t>(n));
        EXPECT_EQ(ToHex(inPlace), ToHex(plain));
        cipher->ResetFeedback();
    }
}

TEST_P(ModeTest, TailRule) {
    const auto [name, mode] = GetParam();
    auto cipher = Keyed(name, mode);
    const size_t b = static_cast<size_t>(cipher->BlockSize());
    const Bytes plain = Pattern(3 * b + 5, 1);
    const Bytes coded = Encode(*cipher, plain);
    const std::string plainTail = ToHex(plain.data() + 3 * b, 5);
    const std::string codedTail = ToHex(coded.data() + 3 * b, 5);
    if (mode == chECB)
        EXPECT_EQ(codedTail, plainTail);  // stored in clear
    else
        EXPECT_NE(codedTail, plainTail);
    EXPECT_NE(ToHex(coded.data(), 3 * b), ToHex(plain.data(), 3 * b));
}

// The chaining state carries across calls until ResetFeedback.
TEST_P(ModeTest, FeedbackCarriesOverUntilReset) {
    const auto [name, mode] = GetParam();
    auto cipher = Keyed(name, mode);
    const size_t b = static_cast<size_t>(cipher->BlockSize());
    const Bytes plain = Pattern(3 * b + 5, 2);
    const Bytes first = Encode(*cipher, plain);
    const Bytes again = Encode(*cipher, plain);
    if (mode == chECB) {
        EXPECT_EQ(ToHex(again), ToHex(first));
        EXPECT_EQ(ToHex(cipher->Feedback().data(), b), ToHex(cipher->InitVector().data(), b));
    } else {
        EXPECT_NE(ToHex(again), ToHex(first));
    }
    cipher->ResetFeedback();
    EXPECT_EQ(ToHex(Encode(*cipher, plain)), ToHex(first));

    // Two calls, the first a whole number of blocks, equal one call over all bytes: this is
    // what lets streams be processed in chunks.
    cipher->ResetFeedback();
    Bytes split = plain;
    cipher->EncodeBuffer(split.data(), split.data(), static_cast<int32_t>(2 * b));
    cipher->EncodeBuffer(split.data() + 2 * b, split.data() + 2 * b, static_cast<int32_t>(b + 5));
    EXPECT_EQ(ToHex(split), ToHex(first));
}

// Decodes `lengths` as one batch of units, apart and in place, and checks every unit
// against a lone DecodeBuffer of it from the initial vector.
void ExpectBatchEqualsLoneDecodes(TEncrypt& cipher, const std::vector<size_t>& lengths) {
    const size_t b = static_cast<size_t>(cipher.BlockSize());
    std::vector<Bytes> coded, expected, apart;
    for (size_t u = 0; u < lengths.size(); ++u) {
        coded.push_back(Encode(cipher, Pattern(lengths[u], static_cast<uint8_t>(u * 11))));
        cipher.ResetFeedback();
        expected.push_back(Decode(cipher, coded.back()));
        cipher.ResetFeedback();
        apart.push_back(Bytes(lengths[u], 0xEE));
    }
    std::vector<Bytes> inPlace = coded;
    std::vector<TCipherUnit> batch, batchInPlace;
    for (size_t u = 0; u < lengths.size(); ++u) {
        const int32_t n = static_cast<int32_t>(lengths[u]);
        batch.push_back({coded[u].data(), apart[u].data(), n});
        batchInPlace.push_back({inPlace[u].data(), inPlace[u].data(), n});
    }
    cipher.DecodeUnits(batch);
    EXPECT_EQ(ToHex(cipher.Feedback().data(), b), ToHex(cipher.InitVector().data(), b));
    cipher.DecodeUnits(batchInPlace);
    for (size_t u = 0; u < lengths.size(); ++u) {
        EXPECT_EQ(ToHex(apart[u]), ToHex(expected[u])) << "unit " << u;
        EXPECT_EQ(ToHex(inPlace[u]), ToHex(expected[u])) << "unit " << u;
    }
}

// A batch of units decodes each unit as a lone DecodeBuffer from the initial vector: units
// of every length class (empty, shorter than a block, whole blocks, blocks and a tail), in
// place and apart; and batches of 1 to 17 units of a block and a tail, whose block counts
// (to decrypt, and to encrypt for the tails' keys) leave every remainder of a cipher's
// block lanes.
TEST_P(ModeTest, DecodeUnitsEqualsOneDecodePerUnit) {
    const auto [name, mode] = GetParam();
    auto cipher = Keyed(name, mode);
    const size_t b = static_cast<size_t>(cipher->BlockSize());
    const size_t lengths[] = {4, 0, b, 3 * b + 1, 1, 2 * b, b - 1, 6 * b + 3, b + 1, 9 * b};
    for (size_t units = 1; units <= std::size(lengths); ++units) {
        SCOPED_TRACE(units);
        ExpectBatchEqualsLoneDecodes(*cipher, {lengths, lengths + units});
    }
    for (size_t units = 1; units <= 17; ++units) {
        SCOPED_TRACE("block and tail units: " + std::to_string(units));
        ExpectBatchEqualsLoneDecodes(*cipher, std::vector<size_t>(units, b + 1 + units % 3));
    }
}

std::vector<ModeCase> AllModes() {
    std::vector<ModeCase> cases;
    for (const char* name : kCiphers)
        for (uint8_t mode = 0; mode <= kMaxCipherMode; ++mode) cases.push_back({name, mode});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllCiphers, ModeTest, ::testing::ValuesIn(AllModes()),
                         [](const auto& info) {
                             return std::string(info.param.cipher) + "_mode" +
                                    std::to_string(info.param.mode);
                         });

TEST(EncryptModes, CbcShorterThanOneBlockIsXorWithEncryptedInitVector) {
    for (const char* name : kCiphers) {
        SCOPED_TRACE(name);
        auto cipher = Keyed(name, chCBC);
        const size_t b = static_cast<size_t>(cipher->BlockSize());
        Bytes k(cipher->InitVector().begin(), cipher->InitVector().end());
        cipher->EncryptBlock(k.data());
        const Bytes plain = Pattern(b - 1, 7);
        const Bytes coded = Encode(*cipher, plain);
        for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(coded[i], plain[i] ^ k[i]);
        // The CBC tail leaves the feedback alone: a second call gives the same bytes.
        EXPECT_EQ(ToHex(Encode(*cipher, plain)), ToHex(coded));
    }
}

TEST(EncryptFramework, NotKeyedCipherRefusesEveryBufferOperation) {
    for (const char* name : kCiphers) {
        SCOPED_TRACE(name);
        auto cipher = MakeCipher(name);
        uint8_t data[20] = {1, 2, 3};
        uint8_t out[20] = {};
        const std::string feedback = ToHex(cipher->Feedback().data(), cipher->Feedback().size());
        for (bool encode : {true, false}) {
            try {
                if (encode)
                    cipher->EncodeBuffer(data, out, 20);
                else
                    cipher->DecodeBuffer(data, out, 20);
                ADD_FAILURE() << "no error";
            } catch (const EEncryptException& e) {
                EXPECT_EQ(e.ErrorCode(), 3);
                EXPECT_EQ(e.Message(), std::string(cipher->ClassName()) +
                                           " is not initialized call Init() or InitKey() before.");
            }
        }
        EXPECT_EQ(ToHex(out, 20), std::string(40, '0'));
        EXPECT_EQ(ToHex(cipher->Feedback().data(), cipher->Feedback().size()), feedback);
    }
    EXPECT_EQ(TEnc_Blowfish().ClassName(), std::string("TEnc_Blowfish"));
}

TEST(EncryptFramework, ModeAboveFourIsRefused) {
    auto cipher = Keyed("Gost", chOFB8);
    for (int mode : {5, 200, 255}) {
        try {
            cipher->SetMode(static_cast<uint8_t>(mode));
            ADD_FAILURE() << "mode " << mode << " accepted";
        } catch (const EEncryptException& e) {
            EXPECT_EQ(e.ErrorCode(), kEncryptErrInvalidMode);
            EXPECT_NE(e.Message().find(std::to_string(mode)), std::string::npos) << e.Message();
        }
        EXPECT_EQ(cipher->Mode(), chOFB8);
    }
}

TEST(EncryptFramework, WipeForgetsTheKey) {
    auto cipher = Keyed("Blowfish", chXorFeedback);
    ASSERT_TRUE(cipher->Initialized());
    EXPECT_EQ(cipher->StateFlags(), 1u << 9);
    cipher->Wipe();
    EXPECT_FALSE(cipher->Initialized());
    EXPECT_EQ(ToHex(cipher->InitVector().data(), 8), "ffffffffffffffff");
    EXPECT_EQ(ToHex(cipher->Feedback().data(), 8), "ffffffffffffffff");
    uint8_t data[8] = {};
    EXPECT_THROW(cipher->EncodeBuffer(data, data, 8), EEncryptException);
}

TEST(EncryptFramework, GivenInitialVectorIsUsed) {
    auto cipher = MakeCipher("Twofish");
    const Bytes key = Pattern(20, 3), iv = Pattern(16, 9);
    cipher->Init(key.data(), 20, iv.data());
    EXPECT_EQ(ToHex(cipher->InitVector().data(), 16), ToHex(iv));
    EXPECT_EQ(ToHex(cipher->Feedback().data(), 16), ToHex(iv));
}

// Keying from a password: the key is the 20-byte SHA-0 digest of the password, the
// initial vector E(FF..FF) under that key.
TEST(EncryptFramework, InitKeyUsesTheSha0DigestOfThePassword) {
    for (const char* name : kCiphers) {
        for (const std::string password : {"", "secret", "版本控制"}) {
            SCOPED_TRACE(std::string(name) + " '" + password + "'");
            auto byPassword = MakeCipher(name);
            byPassword->SetMode(chCBC);
            byPassword->InitKey(password);

            uint8_t digest[20];
            THash_SHA::HashText(password, digest);
            if (password.empty()) {
                EXPECT_EQ(ToHex(digest, 20), "f96cea198ad1dd5617ac084a3d92c6107708c0ef");
            }
            auto byKey = MakeCipher(name);
            byKey->SetMode(chCBC);
            byKey->Init(digest, 20);

            const size_t b = static_cast<size_t>(byKey->BlockSize());
            Bytes ones(b, 0xFF);
            byKey->EncryptBlock(ones.data());
            EXPECT_EQ(ToHex(byPassword->InitVector().data(), b), ToHex(ones));
            EXPECT_EQ(ToHex(byPassword->Feedback().data(), b), ToHex(ones));

            const Bytes plain = Pattern(3 * b + 5, 4);
            const Bytes coded = Encode(*byPassword, plain);
            EXPECT_EQ(ToHex(coded), ToHex(Encode(*byKey, plain)));

            // The same password again gives the same vector and the same bytes.
            byPassword->InitKey(password);
            EXPECT_EQ(ToHex(byPassword->InitVector().data(), b), ToHex(ones));
            EXPECT_EQ(ToHex(Encode(*byPassword, plain)), ToHex(coded));

            // The hash object no longer holds the key in clear.
            ASSERT_NE(byPassword->HashObject(), nullptr);
            EXPECT_NE(ToHex(byPassword->HashObject()->Digest(), 20), ToHex(digest, 20));
        }
    }
}

}  // namespace
}  // namespace tarn
