// Digests of the hash family against published test vectors (tests/vectors/*.vec), fed in
// one piece and in several splits, plus the class operations and object reuse.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dataproc/hash_checksum.h"
#include "dataproc/hash_md.h"
#include "dataproc/hash_ripemd.h"
#include "dataproc/hash_sha.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

struct VectorCase {
    std::string input;
    std::string expectedHex;  // lower case
    int line = 0;
};

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string ToHex(const uint8_t* bytes, int size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < size; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Reads "In = <hex>" or "Repeat = <count> x <hex byte>" followed by "Out = <hex>".
std::vector<VectorCase> LoadVectors(const std::string& name) {
    const std::string path = testing::SourceDir() + "/tests/vectors/" + name;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    std::vector<VectorCase> cases;
    VectorCase current;
    bool haveInput = false;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (key == "In") {
            current = VectorCase{FromHex(value), "", lineNo};
            haveInput = true;
        } else if (key == "Repeat") {
            std::istringstream parts(value);
            size_t count = 0;
            std::string x, byteHex;
            parts >> count >> x >> byteHex;
            current = VectorCase{std::string(count, FromHex(byteHex)[0]), "", lineNo};
            haveInput = true;
        } else if (key == "Out" && haveInput) {
            current.expectedHex = value;
            cases.push_back(current);
            haveInput = false;
        }
    }
    return cases;
}

std::string DigestHex(THash& h) { return ToHex(h.Digest(), h.DigestSize()); }

std::string OneShot(THash& h, const std::string& msg) {
    h.Start();
    h.Update(msg.data(), static_cast<int64_t>(msg.size()));
    h.Finish();
    return DigestHex(h);
}

// Feeds the message in pieces of the given sizes, cycling through them.
std::string Pieces(THash& h, const std::string& msg, const std::vector<size_t>& sizes) {
    h.Start();
    size_t pos = 0;
    for (size_t i = 0; pos < msg.size(); ++i) {
        size_t n = std::min(sizes[i % sizes.size()], msg.size() - pos);
        h.Update(msg.data() + pos, static_cast<int64_t>(n));
        pos += n;
    }
    h.Finish();
    return DigestHex(h);
}

struct Algorithm {
    const char* file;
    std::function<std::unique_ptr<THash>()> make;
    bool numberFile = false;  // Out is the checksum as a number; the digest is little-endian
};

// The expected digest bytes of a case, in digest order.
std::string ExpectedDigest(const Algorithm& a, const std::string& outHex) {
    if (!a.numberFile) return outHex;
    std::string reversed;
    for (size_t i = outHex.size(); i >= 2; i -= 2) reversed += outHex.substr(i - 2, 2);
    return reversed;
}

class HashVectors : public ::testing::TestWithParam<Algorithm> {};

TEST_P(HashVectors, PublishedDigestsInOnePieceAndSplit) {
    const auto cases = LoadVectors(GetParam().file);
    ASSERT_GE(cases.size(), 17u) << "vector file missing or truncated";
    auto h = GetParam().make();
    std::vector<size_t> lengths;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << GetParam().file << " line " << c.line << " ("
                                          << c.input.size() << " bytes)");
        lengths.push_back(c.input.size());
        const std::string expected = ExpectedDigest(GetParam(), c.expectedHex);
        EXPECT_EQ(OneShot(*h, c.input), expected);
        EXPECT_EQ(Pieces(*h, c.input, {1}), expected) << "byte by byte";
        EXPECT_EQ(Pieces(*h, c.input, {10, 70}), expected);
        EXPECT_EQ(Pieces(*h, c.input, {32, 48}), expected);
        EXPECT_EQ(Pieces(*h, c.input, {63, 1, 64, 65, 7}), expected);
    }
    // The padding boundaries are among the cases.
    for (size_t n : {0u, 55u, 56u, 63u, 64u, 65u}) {
        EXPECT_NE(std::find(lengths.begin(), lengths.end(), n), lengths.end()) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, HashVectors,
    ::testing::Values(Algorithm{"md4.vec", [] { return std::make_unique<THash_MD4>(); }},
                      Algorithm{"ripemd160.vec",
                                [] { return std::make_unique<THash_RipeMD160>(); }},
                      Algorithm{"sha0.vec", [] { return std::make_unique<THash_SHA>(); }},
                      Algorithm{"crc32.vec", [] { return std::make_unique<THash_CRC32>(); }, true}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

TEST(HashSha, IsSha0UnlessTheScheduleRotates) {
    THash_SHA sha;
    EXPECT_EQ(OneShot(sha, "abc"), "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880");
    sha.SetRotateSchedule(true);
    EXPECT_EQ(OneShot(sha, "abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");  // SHA-1
}

TEST(HashClassOperations, HashBufferFillsDigestOutAndReturnsDefaultText) {
    uint8_t crc[4] = {};
    THash_CRC32::HashBuffer("123456789", 9, crc);
    EXPECT_EQ(
        uint32_t{crc[0]} | uint32_t{crc[1]} << 8 | uint32_t{crc[2]} << 16 | uint32_t{crc[3]} << 24,
        0xCBF43926u);

    uint8_t digest[20] = {};
    const std::string text = THash_SHA::HashText("abc", digest);
    EXPECT_EQ(ToHex(digest, 20), "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880");
    EXPECT_EQ(text, "AWS4qRTNKl50xPf/CCxNl/Ht+I=");  // the variant drops the zero tail of "+IA"
    EXPECT_EQ(THash_SHA::HashBuffer("abc", 3), text);

    uint8_t small[19] = {};
    EXPECT_THROW(THash_SHA::HashText("abc", small), Exception);
}

TEST(HashClassOperations, EmptyAndNegativeSizesAddNothing) {
    THash_SHA sha;
    EXPECT_EQ(THash_SHA::HashText(""), THash_SHA::HashBuffer(nullptr, 0));
    sha.Start();
    sha.Update("abc", -3);
    sha.Finish();
    EXPECT_EQ(DigestHex(sha), "f96cea198ad1dd5617ac084a3d92c6107708c0ef");  // no bytes
}

TEST(HashObjects, KnownAnswersMatchAndObjectsAreReusable) {
    std::vector<std::unique_ptr<THash>> all;
    all.push_back(std::make_unique<THash_MD4>());
    all.push_back(std::make_unique<THash_RipeMD160>());
    all.push_back(std::make_unique<THash_SHA>());
    all.push_back(std::make_unique<THash_XOR32>());
    all.push_back(std::make_unique<THash_CRC32>());
    for (auto& h : all) {
        ASSERT_NE(h->KnownAnswerData(), nullptr);
        const std::string known = ToHex(h->KnownAnswerData(), h->DigestSize());
        EXPECT_EQ(OneShot(*h, "abc"), known);
        // A second message on the same object, then "abc" again: Start resets everything.
        OneShot(*h, std::string(100, 'x'));
        EXPECT_EQ(OneShot(*h, "abc"), known);
    }
}

TEST(HashXor32, RotatesAndXorsSixteenBitWordsAcrossSplits) {
    THash_XOR32 x;
    // Words 6261 then 0063: ROL(6261, 5) ^ 63 = 000C4C43.
    EXPECT_EQ(OneShot(x, "abc"), "434c0c00");
    EXPECT_EQ(x.Checksum(), 0x000C4C43u);
    const std::string msg = "an odd-length message of 33 bytes";
    const std::string whole = OneShot(x, msg);
    EXPECT_EQ(Pieces(x, msg, {1}), whole);
    EXPECT_EQ(Pieces(x, msg, {3, 4}), whole);
}

TEST(HashCrc32, AgreesWithZlibForEveryLengthAlignmentAndSplit) {
    // Lengths around the 16- and 64-byte steps of the fast paths, at every alignment.
    std::string data(4096 + 64, '\0');
    uint32_t seed = 7;
    for (char& c : data) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (size_t n : {511u, 512u, 513u, 1000u, 4095u, 4096u}) lengths.push_back(n);
    THash_CRC32 crc;
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t n : lengths) {
            const uint32_t expected =
                static_cast<uint32_t>(crc32(0, bytes + offset, static_cast<uInt>(n)));
            crc.Start();
            crc.Update(bytes + offset, static_cast<int64_t>(n));
            crc.Finish();
            ASSERT_EQ(crc.Checksum(), expected) << "offset " << offset << " length " << n;
            EXPECT_EQ(~THash_CRC32::UpdateRegisterPortable(0xFFFFFFFFu, bytes + offset, n),
                      expected)
                << "table method, offset " << offset << " length " << n;
            // Split at an odd point: the register carries over.
            const size_t cut = n / 3;
            crc.Start();
            crc.Update(bytes + offset, static_cast<int64_t>(cut));
            crc.Update(bytes + offset + cut, static_cast<int64_t>(n - cut));
            crc.Finish();
            ASSERT_EQ(crc.Checksum(), expected) << "split, offset " << offset << " length " << n;
        }
    }
}

}  // namespace
}  // namespace tarn
