// `tarndb check` on damaged files: each planted fault is found and reported with its table
// and record number, and no damage makes the checker crash or hang.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "platform/bytes.h"
#include "tarndb/check.h"
#include "tests/support/file_layout.h"
#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using namespace tarn::testing::layout;
using testing::RunTarndb;
using testing::ToolRun;
namespace b = tarn::bytes;

// The file as bytes, patched in memory and written back.
struct Image {
    std::string path;
    std::string bytes;
    explicit Image(std::string p) : path(std::move(p)), bytes(testing::ReadWhole(path)) {}
    void Save() const { std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes; }
    std::span<uint8_t> Span() {
        return std::span<uint8_t>(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    }
    int32_t I32(int64_t at) { return b::GetI32(Span(), static_cast<size_t>(at)); }
    void SetI32(int64_t at, int32_t v) { b::PutI32(Span(), static_cast<size_t>(at), v); }
    int64_t Size() const { return static_cast<int64_t>(bytes.size()); }

    int64_t HeaderOffset() { return I32(kDirOffset + 8); }
    TableHeader Header() {
        TableHeader h;
        std::memcpy(h.raw.data(), bytes.data() + HeaderOffset(), h.raw.size());
        return h;
    }
    void SetHeader(const TableHeader& h) {
        std::memcpy(bytes.data() + HeaderOffset(), h.raw.data(), h.raw.size());
    }
    int64_t ItemOffset(int k) {
        return Header().RecTabOffset() + kBlockLinkSize + k * kRecItemSize;
    }
    int64_t DataOffset(int k) { return I32(ItemOffset(k)); }
    int64_t IndexItemOffset(int k) {
        return Header().IndexTabOffset(0) + kBlockLinkSize + k * kIdxItemSize;
    }
};

// Table "books": id autoinc (slot 0, 4 bytes), title string:20 (slot 4, 21 bytes), cover
// blob (slot 25, 20 bytes). Titles by record number: delta alpha echo charlie bravo.
constexpr int32_t kTitleSlot = 4;
constexpr int32_t kCoverSlot = 25;
const std::vector<int32_t> kKeyOrder = {1, 4, 3, 0, 2};  // alpha bravo charlie delta echo

class CheckFixture : public ::testing::Test {
public:
    void SetUp() override {
        db = dir.file("books.tdb");
        ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
        ASSERT_EQ(RunTarndb({"add-table", db, "books", "--field", "id:autoinc", "--field",
                             "title:string:20", "--field", "cover:blob"},
                            dir.path())
                      .status,
                  0);
        std::ofstream(dir.file("b.csv"))
            << "title,cover\ndelta,0x01\nalpha,0x0202\necho,0x03\ncharlie,0x04\nbravo,0x05\n";
        ASSERT_EQ(RunTarndb({"import", db, "books", dir.file("b.csv")}, dir.path()).status, 0);
    }

    // Adds index "byTitle" on title, its chain linking `order` (record numbers) in turn.
    void AddIndex(const std::vector<int32_t>& order, TIndexOptions options = {}) {
        Image img(db);
        TableHeader h = img.Header();
        int32_t n = h.RecordTotal();
        std::vector<int32_t> next(static_cast<size_t>(n), -1);
        for (size_t i = 0; i + 1 < order.size(); ++i)
            next[static_cast<size_t>(order[i])] = order[i + 1];
        int64_t blockAt = img.Size();
        std::string block(static_cast<size_t>(kIdxBlockSize), '\0');
        std::span<uint8_t> s(reinterpret_cast<uint8_t*>(block.data()), block.size());
        for (int32_t k = 0; k < n; ++k) {
            b::PutI32(s, kBlockLinkSize + k * kIdxItemSize, k);
            b::PutI32(s, kBlockLinkSize + k * kIdxItemSize + 4, next[static_cast<size_t>(k)]);
        }
        img.bytes += block;
        h.SetIndex(0, IndexEntry{"byTitle",
                                 options,
                                 {1},
                                 static_cast<int32_t>(blockAt),
                                 order.empty() ? -1 : order[0]});
        h.SetIndexCount(1);
        img.SetHeader(h);
        img.Save();
    }

    ToolRun Check() { return RunTarndb({"check", db}, dir.path()); }

    tarn::testing::TempDir dir;
    std::string db;
};

TEST_F(CheckFixture, SoundFileWithAnIndexChecksCleanAndDumpsInKeyOrder) {
    AddIndex(kKeyOrder);
    ToolRun r = Check();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ok (1 table, 5 live records, 1 index)"), std::string::npos) << r.out;
    ToolRun dump =
        RunTarndb({"dump", db, "books", "--index", "bytitle", "--format", "csv"}, dir.path());
    EXPECT_EQ(dump.out,
              "id,title,cover\n2,alpha,0x0202\n5,bravo,0x05\n4,charlie,0x04\n1,delta,0x01\n3,echo,"
              "0x03\n");
}

struct Damage {
    const char* name;
    std::function<void(CheckFixture&)> plant;
    std::vector<const char*> expected;  // each must appear in the report
};

void PrintTo(const Damage& c, std::ostream* os) { *os << c.name; }

class CheckFinds : public CheckFixture, public ::testing::WithParamInterface<Damage> {};

TEST_P(CheckFinds, ReportsTheDamageWithTableAndRecord) {
    GetParam().plant(*this);
    ToolRun r = Check();
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const char* e : GetParam().expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << "missing: " << e << "\n" << r.out;
}

void Patch(CheckFixture& f, const std::function<void(Image&)>& change) {
    Image img(f.db);
    change(img);
    img.Save();
}

// Half of a 4-byte link write landed (a power cut): the chain is damaged, every record is
// intact. The table stays readable in key order, the tools say what the engine did, and the
// first open for writing gives the index a whole chain again.
TEST_F(CheckFixture, ATornIndexLinkCostsOnlyTheChain) {
    AddIndex(kKeyOrder);
    // echo (record 2) ends the chain: -1 with the low half of the value 5 written over it.
    Patch(*this, [](Image& i) { i.SetI32(i.IndexItemOffset(2) + 4, -65531); });
    ToolRun check = Check();
    EXPECT_EQ(check.status, 1) << check.out;
    EXPECT_NE(check.out.find("links to record -65531"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("the engine builds its key order from the records"), std::string::npos)
        << check.out;
    chmod(db.c_str(), 0444);
    ToolRun readOnly = RunTarndb({"info", db}, dir.path());
    chmod(db.c_str(), 0644);
    EXPECT_EQ(readOnly.status, 0) << readOnly.out << readOnly.err;
    EXPECT_NE(readOnly.out.find("note: index 'byTitle' of table 'books' is damaged (it links to "
                                "record -65531 of 5); its key order was built from the records' "
                                "keys"),
              std::string::npos)
        << readOnly.out;
    EXPECT_EQ(Check().status, 1) << "a read-only file was written";
    ToolRun dump =
        RunTarndb({"dump", db, "books", "--index", "bytitle", "--format", "csv"}, dir.path());
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(dump.out,
              "id,title,cover\n2,alpha,0x0202\n5,bravo,0x05\n4,charlie,0x04\n1,delta,0x01\n3,echo,"
              "0x03\n");
    ToolRun after = Check();
    EXPECT_EQ(after.status, 0) << after.out;
    EXPECT_EQ(after.out.find("note:"), std::string::npos) << after.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckFinds,
    ::testing::Values(
        Damage{"index_chain_loops",
               [](CheckFixture& f) {
                   f.AddIndex(kKeyOrder);
                   Patch(f, [](Image& i) {
                       i.SetI32(i.IndexItemOffset(3) + 4, 4);
                   });  // charlie -> bravo again
               },
               {"table 'books', record 4: index 'byTitle': the chain comes back to this record (it "
                "loops)",
                "table 'books', record 0: the record is live but the chain of index 'byTitle' does "
                "not reach it",
                "table 'books', record 2: the record is live but the chain",
                "note: table 'books', index 'byTitle': the engine builds its key order from the "
                "records"}},
        Damage{"index_link_to_nowhere",
               [](CheckFixture& f) {
                   f.AddIndex(kKeyOrder);
                   Patch(f, [](Image& i) { i.SetI32(i.IndexItemOffset(0) + 4, 99); });
               },
               {"table 'books', record 0: index 'byTitle': its index item links to record 99, "
                "which does not exist",
                "table 'books', record 2: the record is live but the chain",
                "note: table 'books', index 'byTitle': the engine builds its key order from the "
                "records"}},
        Damage{"index_out_of_key_order",
               [](CheckFixture& f) {
                   f.AddIndex({4, 1, 3, 0, 2});
               },
               {"table 'books', record 1: index 'byTitle': the chain puts this record after record "
                "4, whose key "
                "sorts after its key"}},
        Damage{"descending_index_in_ascending_order",
               [](CheckFixture& f) { f.AddIndex(kKeyOrder, tiDescending); },
               {"table 'books', record 4: index 'byTitle': the chain puts this record after record "
                "1"}},
        Damage{"unique_index_with_equal_keys",
               [](CheckFixture& f) {
                   f.AddIndex(kKeyOrder, tiUnique);
                   Patch(f, [](Image& i) {
                       std::memcpy(i.bytes.data() + i.DataOffset(4) + kTitleSlot, "alpha", 6);
                   });
               },
               {"table 'books', record 4: index 'byTitle' is unique, but this record's key equals "
                "that of record 1"}},
        Damage{"deleted_flag_cleared_off_the_chain",
               [](CheckFixture& f) {
                   // Record 2 was deleted and later dropped from the chain; then its flag is
                   // cleared.
                   f.AddIndex({1, 4, 3, 0});
                   Patch(f,
                         [](Image& i) { i.bytes[static_cast<size_t>(i.ItemOffset(2) + 4)] = 0; });
               },
               {"table 'books', record 2: the record is live but the chain of index 'byTitle' does "
                "not reach it"}},
        Damage{"record_data_past_the_end",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) {
                       i.SetI32(i.ItemOffset(2), static_cast<int32_t>(i.Size() + 100));
                   });
               },
               {"table 'books', record 2: its data at offset", "lies past the end of the file"}},
        Damage{"blob_past_the_end",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) {
                       i.SetI32(i.DataOffset(3) + kCoverSlot, static_cast<int32_t>(i.Size()));
                   });
               },
               {"table 'books', record 3: the blob of field 'cover' at offset"}},
        Damage{
            "blob_area_over_a_table_header",
            [](CheckFixture& f) {
                Patch(f, [](Image& i) {
                    i.SetI32(i.DataOffset(3) + kCoverSlot,
                             static_cast<int32_t>(i.HeaderOffset() + 64));
                });
            },
            {"table 'books', record 3: the blob area of field 'cover' of record 3 of table 'books'",
             "overlaps the header of table 'books'"}},
        Damage{"blob_area_over_another_record",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) {
                       i.SetI32(i.DataOffset(1) + kCoverSlot,
                                static_cast<int32_t>(i.DataOffset(2)));
                   });
               },
               {"table 'books', record 1: the blob area of field 'cover' of record 1",
                "overlaps the data of record 2"}},
        Damage{"blob_area_size",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) { i.SetI32(i.DataOffset(0) + kCoverSlot + 8, 60); });
               },
               {"table 'books', record 0: the blob of field 'cover' has the descriptor length 1, "
                "area 60"}},
        Damage{"record_table_in_the_file_head",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) {
                       TableHeader h = i.Header();
                       h.SetRecTabOffset(100);
                       i.SetHeader(h);
                   });
               },
               {"table 'books', record 0: the first record-table block (RecTabOffset) is at offset "
                "100, inside the "
                "file head"}},
        Damage{
            "record_count_beyond_the_file",
            [](CheckFixture& f) {
                Patch(f, [](Image& i) {
                    TableHeader h = i.Header();
                    h.SetRecordTotal(2000000000);
                    i.SetHeader(h);
                });
            },
            {"table 'books': the header counts 2000000000 records", "more than the file can hold"}},
        Damage{
            "autoinc_counter_below_a_value",
            [](CheckFixture& f) {
                Patch(f, [](Image& i) {
                    TableHeader h = i.Header();
                    h.SetAutoIncCounter(3);
                    i.SetHeader(h);
                });
            },
            {"table 'books', record 3: it holds the autoinc value 4, above the table's counter 3"}},
        Damage{"unknown_field_type",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) {
                       i.bytes[static_cast<size_t>(i.HeaderOffset() + kHdrFields + kFieldEntrySize +
                                                   33)] = 12;
                   });
               },
               {"table 'books': field 'title' has the type code 12", "General error"}},
        Damage{"directory_entry_past_the_end",
               [](CheckFixture& f) {
                   Patch(f, [](Image& i) {
                       i.SetI32(kDirOffset + 8, static_cast<int32_t>(i.Size()));
                   });
               },
               {"table 0: its header at offset", "past the end of the file"}},
        Damage{"truncated_file",
               [](CheckFixture& f) { std::filesystem::resize_file(f.db, 3000); },
               {"the file is 3000 bytes long; its head, settings and table directory alone take "
                "3821"}}),
    [](const ::testing::TestParamInfo<Damage>& i) { return std::string(i.param.name); });

TEST_F(CheckFixture, FilesThatAreNoDatabaseAreUnreadable) {
    std::ofstream(dir.file("text.tdb")) << "just some text, longer than the twelve bytes of a head";
    ToolRun notDb = RunTarndb({"check", dir.file("text.tdb")}, dir.path());
    EXPECT_EQ(notDb.status, 2);
    EXPECT_NE(notDb.err.find("no database file"), std::string::npos) << notDb.err;
    Image img(db);
    std::memcpy(img.bytes.data() + kHeadVersionOffset, "2.1", 4);
    img.Save();
    ToolRun high = Check();
    EXPECT_EQ(high.status, 2);
    EXPECT_NE(high.err.find("Version of database file is too High"), std::string::npos) << high.err;
    EXPECT_EQ(RunTarndb({"check", dir.file("missing.tdb")}, dir.path()).status, 2);
}

// Overwrites words all over the structures of a sound file; the checker must finish every
// time with a report, never by a fault of its own (ASan builds also catch stray reads).
TEST_F(CheckFixture, NoDamageMakesTheCheckerFail) {
    AddIndex(kKeyOrder, tiUnique);
    Image sound(db);
    std::vector<int64_t> places;
    TableHeader h = sound.Header();
    for (int64_t at = kInfoOffset; at < kFirstFreeOffset; at += 97) places.push_back(at);
    for (int64_t at = 0; at < static_cast<int64_t>(kHdrFields + 3 * kFieldEntrySize); at += 3)
        places.push_back(sound.HeaderOffset() + at);
    for (int64_t at = kHdrIndexCount; at < static_cast<int64_t>(kHdrIndexes + kIndexEntrySize);
         at += 2)
        places.push_back(sound.HeaderOffset() + at);
    for (int64_t at = 0; at < 30; ++at) places.push_back(h.RecTabOffset() + at);
    for (int64_t at = 0; at < 48; ++at) places.push_back(h.IndexTabOffset(0) + at);
    for (int64_t at = 0; at < 45; at += 2) places.push_back(sound.DataOffset(2) + at);
    std::mt19937 rng(20240601);
    const int32_t values[] = {-1, 0, 1, 3821, 4821, INT32_MAX, INT32_MIN, 0x7f7f7f7f};
    int runs = 0;
    for (int64_t at : places) {
        for (int v = 0; v < 2; ++v) {
            Image img = sound;
            int32_t value =
                v == 0 ? values[rng() % std::size(values)] : static_cast<int32_t>(rng());
            if (at + 4 > img.Size()) continue;
            img.SetI32(at, value);
            img.Save();
            TCheckReport report = CheckDatabaseFile(db, {});
            ++runs;
            for (const TCheckProblem& p : report.problems)
                ASSERT_EQ(p.text.find("check stopped early"), std::string::npos)
                    << "value " << value << " at " << at << ": " << p.text;
        }
    }
    EXPECT_GT(runs, 300);
    sound.Save();
    EXPECT_EQ(CheckDatabaseFile(db, {}).problemCount, 0);
}

}  // namespace
}  // namespace tarn::cli
