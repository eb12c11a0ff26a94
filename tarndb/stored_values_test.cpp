// Field values stored compressed and encrypted: written through the table storage and read
// back, with nothing of a value left readable in the file.
#include <gtest/gtest.h>

#include <fstream>

#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/table_io.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::RecordBuffer;
using testing::TestHost;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Setting {
    bool compressed;
    std::string cipher;
    uint8_t mode;
};

class StoredValues : public ::testing::TestWithParam<Setting> {};

TEST_P(StoredValues, RoundTripAndNoPlaintextInTheFile) {
    const Setting& s = GetParam();
    testing::TempDir dir;
    std::string path = dir.file("s.dat");
    TDatabaseSettings settings;
    settings.compressed = s.compressed;
    settings.encrypted = !s.cipher.empty();
    settings.encryptModule = s.cipher;
    settings.encryptMode = s.mode;
    settings.password = "secret";
    TTarnDBCreator::CreateDatabase(path, settings);
    TTarnDBCreator::AddTable(path, "T",
                             {{"Name", ftString, 30},
                              {"Num", ftInteger},
                              {"Body", ftMemo},
                              {"Plain", ftString, 30, true},
                              {"Raw", ftBlob, 0, true}});
    std::string body;
    for (int i = 0; i < 200; ++i) body += "SECRETBODY line " + std::to_string(i) + "\n";
    {
        TestHost host(path);
        if (settings.encrypted) {
            EXPECT_FALSE(host.io.CheckPassword("wrong"));
            EXPECT_TRUE(host.io.CheckPassword("secret"));
        }
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        RecordBuffer rec(table);
        rec.SetString(0, "SECRETNAME");
        rec.SetInt(1, 0x5EC2E7);
        rec.SetBlob(2, body);
        rec.SetString(3, "VISIBLEPLAIN");
        rec.SetBlob(4, "VISIBLEBLOB");
        rec.Append();
        rec.SetBlob(2, "");  // an empty value too
        rec.Append();
    }
    std::string file = Slurp(path);
    bool transformed = settings.encrypted || settings.compressed;
    EXPECT_EQ(file.find("SECRETBODY") == std::string::npos, transformed);
    if (settings.encrypted) {
        EXPECT_EQ(file.find("SECRETNAME"), std::string::npos);
    }
    EXPECT_NE(file.find("VISIBLEPLAIN"), std::string::npos);  // StorePlain fields stay in clear
    EXPECT_NE(file.find("VISIBLEBLOB"), std::string::npos);

    TestHost host(path);
    if (settings.encrypted) {
        ASSERT_TRUE(host.io.CheckPassword("secret"));
    }
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    RecordBuffer rec(table);
    for (int pass = 0; pass < 3; ++pass) {  // again: every unit starts from the initial vector
        // The last pass is served from read-ahead copies, decrypted all together.
        if (pass == 2) table.ReadAhead(table.RecordList(0), 0, 2);
        rec.Fetch(0, 0);
        EXPECT_EQ(rec.String(0), "SECRETNAME");
        EXPECT_EQ(rec.Int(1), 0x5EC2E7);
        EXPECT_EQ(rec.BlobValue(2), body);
        EXPECT_EQ(rec.String(3), "VISIBLEPLAIN");
        EXPECT_EQ(rec.BlobValue(4), "VISIBLEBLOB");
    }
    rec.Fetch(0, 1);
    EXPECT_EQ(rec.BlobValue(2), "");
    EXPECT_EQ(rec.String(0), "SECRETNAME");
}

INSTANTIATE_TEST_SUITE_P(Settings, StoredValues,
                         ::testing::Values(Setting{false, "", 0}, Setting{true, "", 0},
                                           Setting{false, "Blowfish", 0},
                                           Setting{false, "Twofish", 1}, Setting{false, "Gost", 4},
                                           Setting{true, "Blowfish", 2}, Setting{true, "Gost", 3}));

TEST(StoredValuesKey, UnkeyedEncryptedDatabaseRefusesToDecode) {
    testing::TempDir dir;
    std::string path = dir.file("k.dat");
    TDatabaseSettings settings;
    settings.encrypted = true;
    settings.encryptModule = "Blowfish";
    settings.password = "pw";
    TTarnDBCreator::CreateDatabase(path, settings);
    TTarnDBCreator::AddTable(path, "T", {{"Name", ftString, 10}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    RecordBuffer rec(table);
    EXPECT_THROW(rec.Append(), EEncryptException);
    EXPECT_EQ(table.RecordList(0).Count(), 0);
}

}  // namespace
}  // namespace tarn
