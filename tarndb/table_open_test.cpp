// Opening a table reads its lists as they are needed: list 0 a record-table block at a time,
// each key list when it is first used. These tests cover what that adds: lists read late
// after another writer changed the file, rows fetched before the whole list is read, and
// damage met only when the damaged block is reached.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/bytes.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/file_io.h"
#include "tarndb/table_io.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace tarn::format;
using testing::RecordBuffer;
using testing::TempDir;
using testing::TestHost;

class TableOpenTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("t.dat");

    // `rows` records (ID, K = (rows - i) so that the index order reverses the physical one);
    // then the records whose number `drop` accepts are deleted. A writable open of an
    // indexed table looks at the end of its record table at once, so the tests of list 0
    // read late use a table without indexes.
    void Fill(int rows, bool (*drop)(int) = nullptr, bool indexed = true) {
        TTarnDBCreator::CreateDatabase(path);
        std::vector<TIndexDefinition> indexes;
        if (indexed) indexes.push_back({"by_k", TIndexOptions::FromByte(0), {"K"}});
        TTarnDBCreator::AddTable(path, "T", {{"ID", ftAutoInc}, {"K", ftInteger}}, indexes);
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        RecordBuffer rec(table);
        host.io.BeginTransaction();
        for (int i = 0; i < rows; ++i) {
            rec.Clear();
            rec.SetInt(1, rows - i);
            rec.Append();
        }
        host.io.CommitTransaction();
        if (drop)
            for (int p = table.RecordList(0).Count() - 1; p >= 0; --p)
                if (drop(table.RecordList(0).At(p).recNo)) table.RemoveRecord(p, false);
    }

    // Physical and key lists of a table object that reads everything at once.
    static std::vector<TRecordEntry> List(const std::string& file, int list) {
        TestHost host(file);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        return table.RecordList(list).ToVector();
    }

    void PatchI32(int64_t offset, int32_t value) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        uint8_t word[4];
        bytes::PutI32(word, 0, value);
        f.seekp(offset);
        f.write(reinterpret_cast<const char*>(word), 4);
    }
};

TEST_F(TableOpenTest, RowsFetchedBeforeTheWholeListMatchTheWholeList) {
    // Deletions in every block shift positions against record numbers.
    auto drop = [](int k) { return k % 7 == 3 || (k >= 1000 && k < 1100); };
    Fill(3000, drop, false);
    const std::vector<TRecordEntry> whole = List(path, 0);
    size_t live = 0;
    for (int k = 0; k < 3000; ++k) live += !drop(k);
    ASSERT_EQ(whole.size(), live);
    for (int position : {0, 5, 877, 1500, static_cast<int>(whole.size()) - 1}) {
        SCOPED_TRACE(position);
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        RecordBuffer rec(table);
        TFieldBuffers fb = rec.Buffers();
        table.FetchRecord(fb, 0, position);
        EXPECT_EQ(rec.Int(0), whole[static_cast<size_t>(position)].recNo + 1);
        EXPECT_EQ(table.RecordList(0).ToVector(), whole);
    }
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    RecordBuffer rec(table);
    TFieldBuffers fb = rec.Buffers();
    EXPECT_THROW(table.FetchRecord(fb, 0, static_cast<int>(whole.size())), EDatabaseError);
}

TEST_F(TableOpenTest, ListsReadAfterAnotherWriterShowItsChanges) {
    Fill(1500);
    // Opened before the other writer appends and deletes, read only afterwards.
    TestHost reader(path);
    TTarnTableIO late(reader, "T");
    late.AcquireTable();
    int reloads = 0;
    late.OnReloaded = [&] { ++reloads; };
    {
        TestHost host(path);
        TTarnTableIO writer(host, "T");
        writer.AcquireTable();
        RecordBuffer rec(writer);
        rec.SetInt(1, 0);  // first in key order
        rec.Append();
        writer.RemoveRecord(10, false);
    }
    const std::vector<TRecordEntry> keys = late.RecordList(1).ToVector();
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(keys, List(path, 1));
    ASSERT_EQ(keys.size(), 1500u);
    EXPECT_EQ(keys.front().recNo, 1500);
    // List 0 read after the key list describes the same file.
    EXPECT_EQ(late.RecordList(0).ToVector(), List(path, 0));
    EXPECT_EQ(late.RecordList(0).FindRecNo(10), -1);

    // The same with list 0 taken first (as the open left it) and the key list after it:
    // the key list's read brings both in step with the file.
    TestHost reader2(path);
    TTarnTableIO late2(reader2, "T");
    late2.AcquireTable();
    const TRecordList& physical = late2.RecordList(0);
    {
        TestHost host(path);
        TTarnTableIO writer(host, "T");
        writer.AcquireTable();
        writer.RemoveRecord(0, false);
    }
    EXPECT_EQ(late2.RecordList(1).ToVector(), List(path, 1));
    EXPECT_EQ(physical.ToVector(), List(path, 0));
}

TEST_F(TableOpenTest, DamagedRecordBlockReachedLaterGivesTheLoadError) {
    Fill(2100, nullptr, false);
    int32_t first;
    {
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        first = table.Header().RecTabOffset();
    }
    PatchI32(first, 5);  // the link to block 1 points into the file head
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    RecordBuffer rec(table);
    TFieldBuffers fb = rec.Buffers();
    table.FetchRecord(fb, 0, 1023);  // block 0 is sound
    EXPECT_EQ(rec.Int(0), 1024);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            table.RecordList(0);
            ADD_FAILURE() << "the damaged block was read";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(e.Message().find("record table block 1 is at offset 5"), std::string::npos)
                << e.Message();
        }
    }
    EXPECT_THROW(table.FetchRecord(fb, 0, 1024), EDatabaseError);
}

TEST_F(TableOpenTest, DamagedChainFoundWhenTheKeyListIsFirstUsedIsRepaired) {
    Fill(50);
    int32_t indexTable;
    {
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        indexTable = table.Header().IndexTabOffset(0);
    }
    // Record 49 (K = 1) heads the chain; make record 20 link back to it: a loop.
    PatchI32(static_cast<int64_t>(indexTable) + kBlockLinkSize + 20 * kIdxItemSize + 4, 49);
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    EXPECT_TRUE(table.IndexRepair().findings.empty());  // nothing read yet
    std::vector<TRecordEntry> keys = table.RecordList(1).ToVector();
    ASSERT_EQ(keys.size(), 50u);
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i].recNo, 49 - static_cast<int>(i));
    ASSERT_EQ(table.IndexRepair().findings.size(), 1u);
    EXPECT_NE(table.IndexRepair().findings[0].find("visits record 49 twice"), std::string::npos);
    // The chain was rewritten at once: a fresh load finds nothing to report.
    TestHost again(path);
    TTarnTableIO fresh(again, "T");
    fresh.AcquireTable();
    EXPECT_EQ(fresh.RecordList(1).ToVector(), keys);
    EXPECT_TRUE(fresh.IndexRepair().findings.empty());
}

}  // namespace
}  // namespace tarn
