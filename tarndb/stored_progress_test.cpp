// Compressed and encrypted databases through the table component: blob values round-trip,
// and the modules' progress reaches the database's events with the database as sender.
#include <gtest/gtest.h>

#include "dataproc/progress.h"
#include "platform/bytes.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/file_io.h"
#include "tarndb/record_list.h"
#include "tarndb/table.h"
#include "tarndb/table_io.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

// Text that deflate shrinks to about two fifths: long enough to fill many 64 KiB buffers.
std::string Memo(size_t length) {
    std::string v(length, '\0');
    uint32_t x = 88172645u;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = static_cast<char>('a' + (x % 8));
    }
    return v;
}

struct Reports {
    std::vector<int> compress, uncompress, encrypt, decrypt;
    void Clear() { *this = Reports(); }
};

class StoredProgress : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("p.dat");
    TTarnDatabase db{nullptr, "ProgressDB"};
    Reports reports;

    void Connect(const TDatabaseSettings& settings) {
        TTarnDBCreator::CreateDatabase(path, settings);
        TTarnDBCreator::AddTable(path, "Notes",
                                 {{"ID", ftAutoInc}, {"Name", ftString, 10}, {"Body", ftMemo}});
        db.SetDatabaseName("progress");
        db.SetFileName(path);
        db.SetKeepConnection(true);  // stays connected (and keeps its password) between the tables
        auto into = [this](std::vector<int>& list) {
            return [this, &list](TTarnDatabase& sender, int percent) {
                EXPECT_EQ(&sender, &db);
                list.push_back(percent);
            };
        };
        db.OnCompressProgress = into(reports.compress);
        db.OnUncompressProgress = into(reports.uncompress);
        db.OnEncryptProgress = into(reports.encrypt);
        db.OnDecryptProgress = into(reports.decrypt);
        if (settings.encrypted) db.SupplyPassword(settings.password);
        db.Open();
    }
    void Open(TTarnTable& t) {
        t.SetDatabaseName("progress");  // the database above, found by its name
        t.SetTableName("Notes");
        t.Open();
        EXPECT_EQ(t.Database(), &db);
    }
    void Write(const std::string& body) {
        TTarnTable t;
        Open(t);
        t.Append();
        t.FieldByName("Name")->SetAsString("memo");
        t.FieldByName("Body")->SetAsString(body);
        t.Post();
    }
    // Reads the stored memo back through a freshly opened table; also gives its stored length.
    std::string Read(int32_t* storedLength = nullptr) {
        TTarnTable t;
        Open(t);
        if (storedLength) {
            uint8_t d[format::kBlobDescriptorSize];
            t.TableIO()->File().ReadAt(t.ViewList()->At(0).dataOffset + t.TableIO()->SlotOffset(2),
                                       sizeof d, d);
            *storedLength = format::TBlobDescriptor::Decode(d).length;
        }
        EXPECT_EQ(t.FieldByName("Name")->AsString(), "memo");
        return t.FieldByName("Body")->AsString();
    }
};

TEST_F(StoredProgress, CompressedDatabaseReportsCompressionAndUncompression) {
    TDatabaseSettings settings;
    settings.compressed = true;
    Connect(settings);
    const std::string memo = Memo(1 << 20);
    Write(memo);
    EXPECT_TRUE(reports.uncompress.empty());
    // One report per full 64 KiB output buffer while the value is fed, none while the
    // stream is finished: at least one here, never falling, never past 100.
    ASSERT_FALSE(reports.compress.empty());
    for (size_t i = 0; i < reports.compress.size(); ++i) {
        EXPECT_GE(reports.compress[i], i ? reports.compress[i - 1] : 0);
        EXPECT_LE(reports.compress[i], 100);
    }

    reports.Clear();
    int32_t stored = 0;
    EXPECT_EQ(Read(&stored), memo);
    EXPECT_TRUE(reports.compress.empty());
    // Decompression reports once per refill of its 64 KiB input buffer, counting the stored
    // bytes consumed before the refill out of the whole unit: from 0, ending below 100.
    int64_t zlibBytes = stored - 4;
    ASSERT_GT(zlibBytes % 65536, 8) << "the trailer must not sit alone in the last buffer";
    std::vector<int> expected;
    for (int64_t done = 0; done < zlibBytes; done += 65536)
        expected.push_back(ProgressPercent(done, stored));
    EXPECT_EQ(reports.uncompress, expected);
    EXPECT_GE(reports.uncompress.size(), 5u);
    EXPECT_TRUE(reports.encrypt.empty());
    EXPECT_TRUE(reports.decrypt.empty());

    // A small value compresses into less than one output buffer: no compression report.
    reports.Clear();
    Write(Memo(2000));
    EXPECT_TRUE(reports.compress.empty());
}

TEST_F(StoredProgress, EncryptedDatabaseReportsEncryptionAndDecryption) {
    TDatabaseSettings settings;
    settings.encrypted = true;
    settings.encryptModule = "Blowfish";
    settings.encryptMode = 0;
    settings.password = "secret";
    Connect(settings);
    const std::string memo = Memo(10000);
    Write(memo);
    // One 4 KiB chunk at a time, then the closing 0; field slots report nothing.
    const std::vector<int> steps{0, 41, 82, 100, 0};
    EXPECT_EQ(reports.encrypt, steps);
    EXPECT_TRUE(reports.decrypt.empty());

    reports.Clear();
    EXPECT_EQ(Read(), memo);
    EXPECT_EQ(reports.decrypt, steps);
    EXPECT_TRUE(reports.encrypt.empty());
    EXPECT_TRUE(reports.compress.empty());
    EXPECT_TRUE(reports.uncompress.empty());

    // Without a handler nothing is called; the value still round-trips.
    db.OnEncryptProgress = nullptr;
    db.OnDecryptProgress = nullptr;
    reports.Clear();
    TTarnTable t;
    Open(t);
    t.Edit();
    t.FieldByName("Body")->SetAsString("short");
    t.Post();
    EXPECT_EQ(t.FieldByName("Body")->AsString(), "short");
    EXPECT_TRUE(reports.encrypt.empty());
    EXPECT_TRUE(reports.decrypt.empty());
}

}  // namespace
}  // namespace tarn
