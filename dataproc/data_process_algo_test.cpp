// The stream operations of encryption modules (chunking, positions, progress) and the
// progress percentage rule.
#include "dataproc/data_process_algo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataproc/testing/fake_modules.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

using testing::TRecordingOwner;
using testing::TTestCipher;

TEST(ProgressPercent, RoundsHalvesToEven) {
    struct Case {
        int64_t done, total;
        int percent;
    };
    const Case cases[] = {
        {0, 0, 0},         {5, 0, 0},
        {0, 10000, 0},     {4096, 10000, 41},
        {8192, 10000, 82}, {10000, 10000, 100},
        {1, 200, 0},       {3, 200, 2},
        {5, 200, 2},       {1, 8, 12},
        {3, 8, 38},        {1, 3, 33},
        {2, 3, 67},        {int64_t{1} << 40, int64_t{1} << 41, 50},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
    }
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

struct StreamFixture : ::testing::Test {
    StreamFixture() : cipher(&owner) {
        cipher.InitKey("pw");
        cipher.OnEncodeProgress = [this](void* sender, int p) {
            senders.push_back(sender);
            encode.push_back(p);
        };
        cipher.OnDecodeProgress = [this](void*, int p) { decode.push_back(p); };
    }
    // The bytes one buffer call over everything produces.
    std::string OneCall(const std::string& plain) {
        TTestCipher reference(nullptr);
        reference.InitKey("pw");
        std::string out(plain.size(), '\0');
        reference.EncodeBuffer(plain.data(), out.data(), static_cast<int32_t>(plain.size()));
        return out;
    }

    TRecordingOwner owner;
    TTestCipher cipher;
    std::vector<int> encode, decode;
    std::vector<void*> senders;
};

TEST_F(StreamFixture, TenThousandBytesInChunksEqualOneBufferCall) {
    const std::string plain = Pattern(10000);
    TMemoryStream source(plain), dest;
    cipher.EncodeStream(&source, &dest, -1);
    EXPECT_EQ(dest.Bytes(), OneCall(plain));
    EXPECT_EQ(encode, (std::vector<int>{0, 41, 82, 100, 0}));
    EXPECT_TRUE(decode.empty());
    for (void* s : senders) EXPECT_EQ(s, static_cast<void*>(&owner));

    // And back, in place (no dest), after returning to the initial vector.
    cipher.ResetFeedback();
    dest.SetPosition(0);
    cipher.DecodeStream(&dest, nullptr, -1);
    EXPECT_EQ(dest.Bytes(), plain);
    EXPECT_EQ(decode, (std::vector<int>{0, 41, 82, 100, 0}));
}

TEST_F(StreamFixture, EmptyStreamReportsZeroTwiceAndWritesNothing) {
    TMemoryStream source, dest;
    cipher.EncodeStream(&source, &dest, -1);
    EXPECT_EQ(dest.Size(), 0);
    EXPECT_EQ(encode, (std::vector<int>{0, 0}));
    cipher.EncodeStream(nullptr, &dest, -1);  // no source: nothing at all
    EXPECT_EQ(encode.size(), 2u);
}

TEST_F(StreamFixture, GivenSizeStartsAtTheCurrentPositions) {
    const std::string plain = Pattern(100);
    TMemoryStream source(plain), dest(std::string(10, 'x'));
    source.SetPosition(20);
    dest.SetPosition(4);
    cipher.EncodeStream(&source, &dest, 50);
    const std::string out = dest.Bytes();
    ASSERT_EQ(out.size(), 54u);
    EXPECT_EQ(out.substr(0, 4), "xxxx");
    EXPECT_EQ(out.substr(4), OneCall(plain.substr(20, 50)));

    // A size beyond the source ends at the source's end.
    cipher.ResetFeedback();
    TMemoryStream shortSource(plain.substr(0, 30)), dest2;
    encode.clear();
    cipher.EncodeStream(&shortSource, &dest2, 1000);
    EXPECT_EQ(dest2.Bytes(), OneCall(plain.substr(0, 30)));
    EXPECT_EQ(encode, (std::vector<int>{0, 3, 0}));
}

TEST_F(StreamFixture, AFailureStillEndsWithTheZeroReport) {
    TMemoryStream source(Pattern(9000)), dest;
    cipher.failNext = true;
    EXPECT_THROW(cipher.EncodeStream(&source, &dest, -1), EEncryptException);
    EXPECT_EQ(encode, (std::vector<int>{0, 0}));

    TTestCipher unkeyed(&owner);
    std::vector<int> reports;
    unkeyed.OnDecodeProgress = [&](void*, int p) { reports.push_back(p); };
    try {
        unkeyed.DecodeStream(&source, &dest, -1);
        FAIL() << "unkeyed cipher transformed data";
    } catch (const EEncryptException& e) {
        EXPECT_EQ(e.ErrorCode(), 3);
    }
    EXPECT_EQ(reports, (std::vector<int>{0, 0}));
}

TEST(CompressAlgoBase, LevelDefaults) {
    struct Plain : TCompressAlgo {
        using TCompressAlgo::TCompressAlgo;
        void EncodeStream(TStream*, TStream*, int64_t) override {}
        void DecodeStream(TStream*, TStream*, int64_t) override {}
    } plain(nullptr);
    plain.SetCompressLevel(7);
    EXPECT_EQ(plain.GetCompressLevel(), 1);
    EXPECT_EQ(plain.Owner(), nullptr);
}

}  // namespace
}  // namespace tarn
