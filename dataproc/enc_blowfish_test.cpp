// Blowfish against the published test set (tests/vectors/blowfish.vec), key lengths and
// the empty key.
#include "dataproc/enc_blowfish.h"

#include <gtest/gtest.h>

#include <fstream>

#include "dataproc/enc_test_support.h"
#include "tarndb/errors.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using enc_testing::FromHex;
using enc_testing::ToHex;

struct BlockCase {
    std::string key, in, out;
    int line = 0;
};

// Reads "Key = <hex>", "In = <hex>", "Out = <hex>" triples.
std::vector<BlockCase> LoadVectors(const std::string& name) {
    const std::string path = testing::SourceDir() + "/tests/vectors/" + name;
    std::ifstream file(path);
    EXPECT_TRUE(file.good()) << "cannot open " << path;
    std::vector<BlockCase> cases;
    BlockCase current;
    std::string line;
    for (int lineNo = 1; std::getline(file, line); ++lineNo) {
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find(" = ");
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 3);
        if (key == "Key") current = BlockCase{value, "", "", lineNo};
        if (key == "In") current.in = value;
        if (key == "Out") {
            current.out = value;
            cases.push_back(current);
        }
    }
    return cases;
}

TEST(Blowfish, PublishedVectors) {
    const auto cases = LoadVectors("blowfish.vec");
    ASSERT_GE(cases.size(), 60u);
    TEnc_Blowfish cipher;
    for (const auto& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line));
        const auto key = FromHex(c.key);
        cipher.Init(key.data(), static_cast<int>(key.size()));
        auto block = FromHex(c.in);
        ASSERT_EQ(block.size(), 8u);
        cipher.EncryptBlock(block.data());
        EXPECT_EQ(ToHex(block), c.out);
        cipher.DecryptBlock(block.data());
        EXPECT_EQ(ToHex(block), c.in);
    }
}

TEST(Blowfish, KeyLongerThan56BytesIsCut) {
    const auto key = enc_testing::Counting(64);
    TEnc_Blowfish cut, full;
    cut.Init(key.data(), 64);
    full.Init(key.data(), 56);
    uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    cut.EncryptBlock(a);
    full.EncryptBlock(b);
    EXPECT_EQ(ToHex(a, 8), ToHex(b, 8));
    EXPECT_TRUE(cut.Initialized());
}

TEST(Blowfish, EmptyKeyIsRefusedAndLeavesTheCipherUnkeyed) {
    TEnc_Blowfish cipher;
    const uint8_t key[8] = {};
    cipher.Init(key, 8);
    for (int size : {0, -5}) {
        try {
            cipher.Init(key, size);
            ADD_FAILURE() << "an empty key was accepted";
        } catch (const EEncryptException& e) {
            EXPECT_EQ(e.ErrorCode(), kEncryptErrInvalidKeySize);
        }
        EXPECT_FALSE(cipher.Initialized());
    }
}

}  // namespace
}  // namespace tarn
