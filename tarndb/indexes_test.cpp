#include "tarndb/indexes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

#include "platform/bytes.h"
#include "platform/os/fault_env.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/index_links.h"
#include "tests/support/index_check.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using namespace tarn::format;
using testing::ExpectChainsMatch;
using testing::ExpectListsConsistent;
using testing::ExpectLoadFoundNothing;
using testing::RecNos;
using testing::RecordBuffer;
using testing::TempDir;
using testing::TestHost;

// Table "T": ID auto-increment (0), Name string of 10 (1), Score integer (2).
class IndexTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("i.dat");

    void Create(const std::vector<TIndexDefinition>& indexes,
                const TDatabaseSettings& settings = {}) {
        TTarnDBCreator::CreateDatabase(path, settings);
        TTarnDBCreator::AddTable(
            path, "T", {{"ID", ftAutoInc}, {"Name", ftString, 10}, {"Score", ftInteger}}, indexes);
    }

public:
    static void Add(TTarnTableIO& table, const std::string& name, int score,
                    const TInsertNotify& notify = nullptr) {
        RecordBuffer rec(table);
        rec.SetString(1, name);
        rec.SetInt(2, score);
        TFieldBuffers fb = rec.Buffers();
        table.AddRecord(fb, false, notify);
    }
    // Rewrites Name and Score of the record at physical position p.
    static void Set(TTarnTableIO& table, int p, const std::string& name, int score,
                    const TMoveNotify& notify = nullptr) {
        RecordBuffer rec(table);
        rec.Fetch(0, p);
        rec.SetString(1, name);
        rec.SetInt(2, score);
        TFieldBuffers fb = rec.Buffers();
        table.ModifyRecord(fb, p, false, notify);
    }

protected:
    static std::vector<std::string> Names(TTarnTableIO& table, int list) {
        std::vector<std::string> out;
        RecordBuffer rec(table);
        for (int p = 0; p < table.RecordList(list).Count(); ++p) {
            rec.Fetch(list, p);
            out.push_back(rec.String(1));
        }
        return out;
    }
    TableHeader DiskHeader() {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        return h;
    }
    // (OwnRecord, NextRecord) of item k (< 1024) of index i, read from the file.
    std::pair<int32_t, int32_t> Item(int i, int32_t k) {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        uint8_t b[8];
        io.ReadAt(h.IndexTabOffset(i) + 4 + k * 8, 8, b);
        return {bytes::GetI32(b, 0), bytes::GetI32(b, 4)};
    }
};

std::string ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

TEST_F(IndexTest, FirstInsertIntoAnEmptyIndex) {
    Create({{"ByName", {}, {"Name"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    EXPECT_EQ(DiskHeader().IndexTabOffset(0), 0);
    Add(table, "m", 1);
    TableHeader h = DiskHeader();
    EXPECT_NE(h.IndexTabOffset(0), 0);
    EXPECT_EQ(h.IndexHead(0), 0);
    EXPECT_EQ(Item(0, 0), std::make_pair(0, -1));  // the table's very first record
    ExpectChainsMatch(table, "first record");

    // The list is empty again (the record is deleted but stays in the chain): the next
    // record goes to position 0 and links to the old head.
    table.RemoveRecord(0, false);
    std::vector<std::pair<int, int>> notified;
    Add(table, "k", 2, [&](int index, int position, const TRecordEntry&) {
        notified.push_back({index, position});
    });
    EXPECT_EQ(notified, (std::vector<std::pair<int, int>>{{-1, -1}, {0, 0}}));
    EXPECT_EQ(Item(0, 1), std::make_pair(1, 0));
    EXPECT_EQ(DiskHeader().IndexHead(0), 1);
    ExpectChainsMatch(table, "after the deleted head");
}

TEST_F(IndexTest, EqualKeysKeepTheirOrderAcrossAReload) {
    Create({{"ByScore", {}, {"Score"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    Add(table, "big", 9);
    for (const char* n : {"a", "b", "c"}) Add(table, n, 5);
    EXPECT_EQ(Names(table, 1), (std::vector<std::string>{"a", "b", "c", "big"}));
    ExpectChainsMatch(table);
    std::vector<int32_t> before = RecNos(table.RecordList(1));
    table.ReleaseTable();
    table.AcquireTable();
    EXPECT_EQ(RecNos(table.RecordList(1)), before);
}

TEST_F(IndexTest, DescendingAndCaseInsensitiveIndexes) {
    Create({{"ByScoreDown", tiDescending, {"Score"}},
            {"ByNameNoCase", tiUnique | tiCaseInsensitive, {"Name"}},
            {"ByName", {}, {"Name"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    Add(table, "abc", 1);
    Add(table, "Abz", 3);
    Add(table, "b", 2);
    EXPECT_EQ(Names(table, 1), (std::vector<std::string>{"Abz", "b", "abc"}));
    // Strings sort by the collation, not by bytes ('A' < 'a' would put Abz first).
    EXPECT_EQ(Names(table, 3), (std::vector<std::string>{"abc", "Abz", "b"}));

    int64_t size = host.io.FileSize();
    RecordBuffer rec(table);
    rec.SetString(1, "ABC");
    EXPECT_EQ(ErrorOf([&] { rec.Append(); }), "Invalid unique field value 'ABC'");
    EXPECT_EQ(rec.Int(0),
              0);  // the auto-increment value the refused append would have had is withdrawn
    EXPECT_EQ(host.io.FileSize(), size);
    EXPECT_EQ(DiskHeader().RecordTotal(), 3);
    ExpectChainsMatch(table);
}

TEST_F(IndexTest, RewriteWithoutKeyChangeWritesNoIndexItem) {
    Create({{"ByName", tiUnique, {"Name"}}, {"ByScore", {}, {"Score"}}});
    {
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        for (int i = 0; i < 5; ++i) Add(table, "n" + std::to_string(i), i % 2);
    }
    FaultEnv env;
    testing::ScopedEnv scoped(&env);
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.Fetch(0, 2);
    int moves = 0;
    auto count = [&](int, int, int) { ++moves; };
    // The same key (a score equal to two others included): only the fixed part is written.
    env.ResetCounters();
    TFieldBuffers fb = rec.Buffers();
    table.ModifyRecord(fb, 2, false, count);
    EXPECT_EQ(env.Writes(), 1);
    // The key field inactive: the stored key stays, so again nothing moves.
    rec.SetString(1, "zzz");
    rec.SetInt(2, 77);
    TFieldBuffers noKeys = rec.Buffers({1, 2});
    env.ResetCounters();
    table.ModifyRecord(noKeys, 2, false, count);
    EXPECT_EQ(env.Writes(), 1);
    EXPECT_EQ(moves, 0);
    ExpectChainsMatch(table);
}

TEST_F(IndexTest, MovingARecordFromFirstToLast) {
    Create({{"ByScore", {}, {"Score"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    for (int i = 0; i < 3; ++i) Add(table, "r" + std::to_string(i), i + 1);
    std::vector<std::array<int, 3>> moves;
    Set(table, 0, "r0", 10, [&](int i, int a, int t) { moves.push_back({i, a, t}); });
    EXPECT_EQ(moves, (std::vector<std::array<int, 3>>{{0, 0, 3}}));
    EXPECT_EQ(DiskHeader().IndexHead(0), 1);
    EXPECT_EQ(Item(0, 2).second, 0);   // the former last links to the moved record
    EXPECT_EQ(Item(0, 0).second, -1);  // which now ends the chain
    EXPECT_EQ(Names(table, 1), (std::vector<std::string>{"r1", "r2", "r0"}));
    ExpectChainsMatch(table);
    // And back to the front.
    Set(table, 0, "r0", 0);
    EXPECT_EQ(DiskHeader().IndexHead(0), 0);
    EXPECT_EQ(Names(table, 1), (std::vector<std::string>{"r0", "r1", "r2"}));
    ExpectChainsMatch(table);
}

TEST_F(IndexTest, UniqueIndexesIgnoreDeletedRecordsAndCheckWholeKeys) {
    Create({{"ByName", tiUnique, {"Name"}}, {"Pair", tiPrimary, {"Name", "Score"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    Add(table, "x", 1);
    table.RemoveRecord(0, false);
    Add(table, "x", 1);  // the deleted record's key is free
    EXPECT_EQ(ErrorOf([&] { Add(table, "x", 2); }), "Invalid unique field value 'x'");
    ExpectChainsMatch(table);

    // Two fields: equal first fields and different second fields are distinct keys.
    TTarnDBCreator::AddTable(path, "P", {{"Name", ftString, 10}, {"Score", ftInteger}},
                             {{"Pair", tiUnique, {"Name", "Score"}}});
    TTarnTableIO pairs(host, "P");
    pairs.AcquireTable();
    RecordBuffer rec(pairs);
    for (int score : {1, 2}) {
        rec.SetString(0, "a");
        rec.SetInt(1, score);
        rec.Append();
    }
    rec.SetInt(1, 1);
    EXPECT_EQ(ErrorOf([&] { rec.Append(); }), "Invalid unique field value 'a,1'");
    // A rewrite may keep its own key, but not take another record's.
    rec.Fetch(0, 1);
    TFieldBuffers fb = rec.Buffers();
    pairs.ModifyRecord(fb, 1, false, nullptr);
    rec.SetInt(1, 1);
    EXPECT_EQ(ErrorOf([&] { pairs.ModifyRecord(fb, 1, false, nullptr); }),
              "Invalid unique field value 'a,1'");
    ExpectChainsMatch(pairs);
}

TEST_F(IndexTest, Record1025LinksASecondIndexBlock) {
    Create({{"ByScore", tiDescending, {"Score"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    for (int i = 0; i < 1025; ++i) Add(table, "r", (i * 37) % 1025);
    TableHeader h = DiskHeader();
    uint8_t link[4];
    host.io.ReadAt(h.IndexTabOffset(0), 4, link);
    int32_t second = bytes::GetI32(link, 0);
    ASSERT_GT(second, h.IndexTabOffset(0));
    uint8_t item[8];
    host.io.ReadAt(second + 4, 8, item);
    EXPECT_EQ(bytes::GetI32(item, 0), 1024);  // record 1024 is item 0 of the second block
    host.io.ReadAt(h.IndexTabOffset(0) + 4 + 1023 * 8, 8, item);
    EXPECT_EQ(bytes::GetI32(item, 0), 1023);  // record 1023 still in the first
    ExpectChainsMatch(table);
    table.ReleaseTable();
    table.AcquireTable();
    ExpectChainsMatch(table, "reloaded");
}

TEST_F(IndexTest, SearchesWithPartialKeysAndBounds) {
    Create({{"ByName", {}, {"Name"}}, {"ByNameScore", {}, {"Name", "Score"}}});
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    for (const char* n : {"B", "ABD", "AB", "A", "ABC", "AB"})
        Add(table, n, static_cast<int>(std::strlen(n)));
    ASSERT_EQ(Names(table, 1), (std::vector<std::string>{"A", "AB", "AB", "ABC", "ABD", "B"}));
    RecordBuffer key(table);
    key.SetString(1, "AB");
    TFieldBuffers fb = key.Buffers();
    const TRecordList& list = table.RecordList(1);
    struct Case {
        bool partial, first;
        int position, outcome;
    } cases[] = {
        {false, true, 1, 0}, {false, false, 2, 0}, {true, true, 1, 0}, {true, false, 4, 0}};
    for (const Case& c : cases) {
        TKeySearch r = TTableIndexes::SearchKeyBound(table, fb, list, c.partial, 0, c.first, 0);
        EXPECT_EQ(r.position, c.position) << c.partial << c.first;
        EXPECT_EQ(r.outcome, c.outcome);
    }
    EXPECT_EQ(TTableIndexes::SearchKey(table, fb, list, true, 0, 0).outcome, 0);
    key.SetString(1, "AA");
    TKeySearch miss = TTableIndexes::SearchKeyBound(table, fb, list, false, 0, true, 0);
    EXPECT_EQ(miss.outcome, -1);  // the last probe: before the first "AB"
    EXPECT_EQ(miss.position, 1);
    key.SetString(1, "");
    TKeySearch empty = TTableIndexes::SearchKey(table, fb, TRecordList(), false, 0, 0);
    EXPECT_EQ(empty.outcome, -2);
    // Only the first key field of a two-field key.
    key.SetString(1, "ABC");
    key.SetInt(2, 99);
    EXPECT_EQ(TTableIndexes::SearchKey(table, fb, table.RecordList(2), false, 1, 1).outcome, 0);
    EXPECT_EQ(TTableIndexes::SearchKey(table, fb, table.RecordList(2), false, 0, 1).outcome, 1);
    // Record positions in a key list: each found where it is.
    for (int p = 0; p < table.RecordList(0).Count(); ++p) {
        int k = table.KeyPosition(1, p);
        ASSERT_GE(k, 0);
        EXPECT_EQ(table.RecordList(1).At(k).recNo, table.RecordList(0).At(p).recNo);
    }
}

TEST_F(IndexTest, DateTimesWithinTheToleranceAreOneKey) {
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "D", {{"At", ftDateTime}, {"Day", ftDate}},
                             {{"ByAt", tiUnique, {"At"}}});
    TestHost host(path);
    TTarnTableIO table(host, "D");
    table.AcquireTable();
    RecordBuffer rec(table);
    double base = 737000.0 * 86400000.0 + 3600000.0;  // a day number times ms, one o'clock
    rec.SetFloat(0, base);
    rec.Append();
    rec.SetFloat(0, base + 999);
    std::string message = ErrorOf([&] { rec.Append(); });
    EXPECT_EQ(message.rfind("Invalid unique field value '", 0), 0u) << message;
    rec.SetFloat(0, base + 1000);
    rec.Append();
    ExpectChainsMatch(table);
}

TEST_F(IndexTest, EncryptedKeysAreDecodedForComparison) {
    TDatabaseSettings settings;
    settings.encrypted = true;
    settings.encryptModule = "Blowfish";
    settings.password = "pw";
    Create({{"ByName", tiUnique, {"Name"}}, {"ByScore", tiDescending, {"Score"}}}, settings);
    TestHost host(path);
    ASSERT_TRUE(host.io.CheckPassword("pw"));
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i)
        Add(table, "n" + std::to_string(rng() % 100000), static_cast<int>(rng() % 50));
    EXPECT_EQ(
        ErrorOf([&] { Add(table, Names(table, 1)[3], 1); }).rfind("Invalid unique field value", 0),
        0u);
    Set(table, 5, "zzzz", 1000);
    ExpectChainsMatch(table);
    table.ReleaseTable();
    table.AcquireTable();
    ExpectChainsMatch(table, "reloaded");
    EXPECT_EQ(Names(table, 1).back(), "zzzz");
    EXPECT_EQ(Names(table, 2).front(), "zzzz");
}

// ---- damaged and interrupted chains ------------------------------------------------------------

class IndexRecoveryTest : public IndexTest {
protected:
    void SetUp() override {
        Create({{"ByName", tiUnique | tiCaseInsensitive, {"Name"}},
                {"ByScore", tiDescending, {"Score"}},
                {"PK", tiPrimary, {"ID"}}});
    }
    void Fill(int count) {
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        for (int i = 0; i < count; ++i) Add(table, "n" + std::to_string(i * 7 % count), i % 5);
    }
    void PokeNext(int index, int32_t k, int32_t next) {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        uint8_t b[4];
        bytes::PutI32(b, 0, next);
        io.WriteAt(h.IndexTabOffset(index) + 4 + k * 8 + 4, b, 4);
    }
};

// A damaged link (a torn write, a stray pointer) costs the key order of its index, never
// the table: the order is built again from the records' keys, on a read-only file in
// memory only, on a writable one also on disk at once.
TEST_F(IndexRecoveryTest, DamagedChainsAreRebuiltFromTheRecords) {
    Fill(10);
    std::vector<int32_t> order;
    {
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        order = RecNos(table.RecordList(2));
    }
    std::string base = dir.file("base.dat");
    std::filesystem::copy_file(path, base);
    // Half of the append's redirect of the last record (-1 to 10) landed: the low bytes
    // of the new value under the high bytes of the old one.
    const int32_t torn = static_cast<int32_t>(0xFFFF0000u | 10u);
    struct Case {
        int32_t at;  // position in the key order whose link is damaged
        int32_t next;
        const char* says;
    } cases[] = {{4, 15, "links to record 15 of 10"},
                 {4, -7, "links to record -7 of 10"},
                 {4, order[0], "visits record"},
                 {9, torn, "links to record -65526 of 10"}};
    for (bool readOnly : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.says) + (readOnly ? ", read-only" : ", writable"));
            std::filesystem::copy_file(base, path,
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
            PokeNext(1, order[static_cast<size_t>(c.at)], c.next);
            if (readOnly)
                std::filesystem::permissions(path,
                                             std::filesystem::perms::owner_write |
                                                 std::filesystem::perms::group_write |
                                                 std::filesystem::perms::others_write,
                                             std::filesystem::perm_options::remove);
            std::string before = ReadBytes(path);
            TestHost host(path);
            TTarnTableIO table(host, "T");
            ASSERT_NO_THROW(table.AcquireTable());
            ExpectListsConsistent(table, "loaded");
            const std::vector<std::string>& found = table.IndexRepair().findings;
            ASSERT_EQ(found.size(), 1u);
            EXPECT_NE(found[0].find("index 'ByScore' of table 'T' is damaged"), std::string::npos)
                << found[0];
            EXPECT_NE(found[0].find(c.says), std::string::npos) << found[0];
            std::vector<int32_t> loaded = RecNos(table.RecordList(2));
            EXPECT_EQ(std::set<int32_t>(loaded.begin(), loaded.end()),
                      std::set<int32_t>(order.begin(), order.end()));
            EXPECT_EQ(RecNos(table.RecordList(1)).size(), order.size());
            if (readOnly) {
                EXPECT_EQ(ReadBytes(path), before) << "a read-only file was written";
            } else {
                ExpectChainsMatch(table, "repaired when the table was opened");
            }
        }
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST_F(IndexRecoveryTest, ChainsMissingRecordsAreRebuiltFromTheKeys) {
    Fill(12);
    std::vector<int32_t> order;
    {
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        order = RecNos(table.RecordList(2));
    }
    // The chain skips two records (a rewrite cut short between unlink and link), and the
    // second index has lost its table altogether.
    PokeNext(1, order[3], order[5]);
    {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        h.SetIndexTabOffset(0, 0);
        io.WriteTableHeader(0, h);
    }
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    ExpectListsConsistent(table, "loaded");
    EXPECT_EQ(RecNos(table.RecordList(2)).size(), order.size());
    Add(table, "new", 2);  // the first write rebuilds the chains on disk
    ExpectChainsMatch(table, "repaired");
    table.ReleaseTable();
    table.AcquireTable();
    ExpectChainsMatch(table, "reloaded");
}

// Replays `op` with a crash after each of its writes. After every crash, a table that was
// loaded before (and so knows nothing of the crash) writes next, then a fresh load checks
// that chains and lists agree.
void ReplayCrashes(const std::string& base, const std::string& path,
                   const std::function<void(TTarnTableIO&)>& op, int oldCount) {
    long writes;
    {
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        FaultEnv counting;
        testing::ScopedEnv scoped(&counting);
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        counting.ResetCounters();
        op(table);
        writes = counting.Writes();
    }
    ASSERT_GE(writes, 2);
    for (long n = 0; n < writes; ++n) {
        SCOPED_TRACE("crash after write " + std::to_string(n) + " of " + std::to_string(writes));
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        TestHost stale(path);
        TTarnTableIO other(stale, "T");
        other.AcquireTable();
        {
            FaultEnv env;
            testing::ScopedEnv scoped(&env);
            TestHost host(path);
            TTarnTableIO table(host, "T");
            table.AcquireTable();
            env.ResetCounters();
            env.CrashAfterWrites(n);
            EXPECT_THROW(op(table), EInOutError);
        }
        {
            // Opened on a copy, so that the table below meets the crash's traces itself: the
            // open puts every chain in order on disk at once, before any write.
            std::string copy = path + ".opened";
            std::filesystem::copy_file(path, copy,
                                       std::filesystem::copy_options::overwrite_existing);
            TestHost host(copy);
            TTarnTableIO table(host, "T");
            table.AcquireTable();
            ExpectListsConsistent(table, "loaded after the crash");
            ExpectChainsMatch(table, "opened after the crash");
            int count = table.RecordList(0).Count();
            EXPECT_TRUE(count == oldCount || count == oldCount + 1 || count == oldCount - 1)
                << count;
        }
        // The table that did not see the crash writes: it must notice and build on the file.
        IndexTest::Add(other, "after" + std::to_string(n), 3);
        IndexTest::Set(other, 0, "first" + std::to_string(n), 1000 + static_cast<int>(n));
        ExpectChainsMatch(other, "written by the other table");
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        ExpectLoadFoundNothing(table, "reloaded after the next writes");
        ExpectChainsMatch(table, "reloaded after the next writes");
        EXPECT_EQ(RecNos(table.RecordList(1)), RecNos(other.RecordList(1)));
    }
}

TEST_F(IndexRecoveryTest, AppendCutShortAtEveryWrite) {
    Fill(20);
    std::string base = dir.file("base.dat");
    std::filesystem::copy_file(path, base);
    // In the middle of one index, first in another, last in the third.
    ReplayCrashes(
        base, path, [](TTarnTableIO& t) { Add(t, "n10a", 100); }, 20);
    ReplayCrashes(
        base, path, [](TTarnTableIO& t) { Add(t, "a", -1); }, 20);
}

TEST_F(IndexRecoveryTest, AppendOfRecord1024CutShortAtEveryWrite) {
    Fill(1024);
    std::string base = dir.file("base.dat");
    std::filesystem::copy_file(path, base);
    ReplayCrashes(
        base, path, [](TTarnTableIO& t) { Add(t, "n5a", 2); }, 1024);
}

TEST_F(IndexRecoveryTest, RewriteAndDeleteCutShortAtEveryWrite) {
    Fill(20);
    std::string base = dir.file("base.dat");
    std::filesystem::copy_file(path, base);
    // Moves in every index: from the middle to the front of one, to the end of another.
    ReplayCrashes(
        base, path, [](TTarnTableIO& t) { Set(t, 7, "m", 999); }, 20);
    ReplayCrashes(
        base, path, [](TTarnTableIO& t) { Set(t, 0, "zz", -5); }, 20);
    ReplayCrashes(
        base, path, [](TTarnTableIO& t) { t.RemoveRecord(4, false); }, 20);
}

// The repair that opening a crashed file performs, itself cut short after each of its
// writes: the open still succeeds with the right lists, and the next open finishes the work.
void ReplayOpenRepair(const std::string& crashed) {
    std::string path = crashed + ".open";
    long writes;
    {
        std::filesystem::copy_file(crashed, path,
                                   std::filesystem::copy_options::overwrite_existing);
        FaultEnv counting;
        testing::ScopedEnv scoped(&counting);
        TestHost host(path);
        TTarnTableIO table(host, "T");
        counting.ResetCounters();
        table.AcquireTable();
        writes = counting.Writes();
    }
    ASSERT_GE(writes, 1) << "opening the crashed file repaired nothing";
    for (long n = 0; n < writes; ++n) {
        SCOPED_TRACE("open cut short after write " + std::to_string(n) + " of " +
                     std::to_string(writes));
        std::filesystem::copy_file(crashed, path,
                                   std::filesystem::copy_options::overwrite_existing);
        {
            FaultEnv env;
            testing::ScopedEnv scoped(&env);
            TestHost host(path);
            TTarnTableIO table(host, "T");
            env.ResetCounters();
            env.CrashAfterWrites(n);
            ASSERT_NO_THROW(table.AcquireTable());
            ExpectListsConsistent(table, "opened while the repair failed");
        }
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        ExpectChainsMatch(table, "opened again");
        IndexTest::Add(table, "later" + std::to_string(n), 4);
        ExpectChainsMatch(table, "written after");
    }
}

TEST_F(IndexRecoveryTest, RepairCutShortAtEveryWrite) {
    Fill(20);
    // Leave the traces of an append stopped just before its commit and of a rewrite stopped
    // in the middle of its moves; the next write repairs them, and is itself cut short.
    long writes;
    {
        FaultEnv counting;
        testing::ScopedEnv scoped(&counting);
        TestHost host(path);
        TTarnTableIO table(host, "T");
        table.AcquireTable();
        counting.ResetCounters();
        Add(table, "n3a", 100);
        writes = counting.Writes();
        table.RemoveRecord(table.RecordList(0).Count() - 1, false);
    }
    std::string filled = dir.file("filled.dat");
    std::filesystem::copy_file(path, filled);
    for (const char* kind : {"append", "rewrite"}) {
        SCOPED_TRACE(kind);
        std::string crashed = dir.file(std::string("crashed-") + kind + ".dat");
        std::filesystem::copy_file(filled, path, std::filesystem::copy_options::overwrite_existing);
        {
            FaultEnv env;
            testing::ScopedEnv scoped(&env);
            TestHost host(path);
            TTarnTableIO table(host, "T");
            table.AcquireTable();
            env.ResetCounters();
            env.CrashAfterWrites(std::string(kind) == "append" ? writes - 1 : 4);
            if (std::string(kind) == "append")
                EXPECT_THROW(Add(table, "n3b", 100), EInOutError);
            else
                EXPECT_THROW(Set(table, 7, "m", 999), EInOutError);
        }
        if (std::string(kind) == "append") {
            EXPECT_EQ(DiskHeader().RecordTotal(), 21);
            EXPECT_EQ(Item(0, 21).first, 21);  // the uncommitted record's items are linked
        } else {
            EXPECT_GE(index_disk::MovingRecord(DiskHeader()), 0);
        }
        std::filesystem::copy_file(path, crashed,
                                   std::filesystem::copy_options::overwrite_existing);
        ReplayCrashes(
            crashed, path, [](TTarnTableIO& t) { Add(t, "n3c", 7); }, 20);
        ReplayOpenRepair(crashed);
    }
}

TEST_F(IndexRecoveryTest, TwoTablesOnOneFileTakeTurns) {
    Fill(8);
    TestHost a(path), b(path);
    TTarnTableIO ta(a, "T"), tb(b, "T");
    ta.AcquireTable();
    tb.AcquireTable();
    // After every step the file alone, read strictly, must hold whole chains: a load that
    // forgives would hide a table that wrote links from stale lists.
    auto fileIsWhole = [&](const std::string& step) {
        TestHost host(path);
        TTarnTableIO fresh(host, "T");
        fresh.AcquireTable();
        ExpectLoadFoundNothing(fresh, step);
        ExpectChainsMatch(fresh, step);
    };
    Add(ta, "x", 1);
    Add(tb, "y", 2);
    fileIsWhole("two appends");
    Set(ta, 0, "zz", -5);  // from the front to the end of two indexes
    Set(tb, 3, "a", 9);    // b must see a's move before it links
    fileIsWhole("two moves");
    Set(ta, 5, "b", 99);
    Set(tb, 6, "c", 98);
    fileIsWhole("two more moves");
    ta.RemoveRecord(0, false);
    Add(tb, "zz", 4);  // the deleted key is free, also for the table that did not delete it
    fileIsWhole("delete and append");
    Set(ta, 0, "d", -1);
    ExpectChainsMatch(ta, "a");
    Add(tb, "e", 0);
    ExpectChainsMatch(tb, "b");
    fileIsWhole("end");
}

TEST_F(IndexRecoveryTest, ThreeProcessesWritingAtOnceKeepTheChainsWhole) {
    testing::TQuietTimers quietTimers;  // the test forks
    Fill(50);
    constexpr int kProcesses = 3, kOps = 300;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> pids;
    for (int w = 0; w < kProcesses; ++w) {
        pid_t pid = fork();
        if (pid == 0) {
            close(start[1]);
            char go;
            (void)!read(start[0], &go, 1);  // all start together when the parent closes the pipe
            int added = 0, removed = 0, failed = 0;
            try {
                TestHost host(path);
                TTarnTableIO table(host, "T");
                table.AcquireTable();
                std::mt19937 rng(static_cast<unsigned>(100 + w));
                for (int op = 0; op < kOps; ++op) {
                    usleep(50 +
                           rng() %
                               200);  // let the others in between: they wait 100 ms when refused
                    int count = table.RecordList(0).Count();
                    int p = count ? static_cast<int>(rng() % static_cast<unsigned>(count)) : 0;
                    std::string name = "w" + std::to_string(w) + "_" + std::to_string(op);
                    try {
                        switch (rng() % 4) {
                            case 0:
                                Add(table, name, static_cast<int>(rng() % 20));
                                ++added;
                                break;
                            case 1:
                            case 2:
                                if (count) Set(table, p, name, static_cast<int>(rng() % 20));
                                break;
                            default:
                                if (count > 10) {
                                    table.RemoveRecord(p, false);
                                    ++removed;
                                }
                        }
                    } catch (const EDatabaseError& e) {
                        // Another process deleted the record this one meant to rewrite.
                        if (e.Message() != TTarnTableIO::kRecordGone) throw;
                    }
                    // Nobody crashed: a reload that found chains to work around means that
                    // some process wrote links from stale lists.
                    if (!table.IndexRepair().findings.empty()) throw std::runtime_error("stale");
                }
            } catch (...) {
                failed = 1;
            }
            std::ofstream(path + ".w" + std::to_string(w)) << added << " " << removed;
            _exit(failed);
        }
        pids.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    int expected = 50;
    for (int w = 0; w < kProcesses; ++w) {
        int status;
        waitpid(pids[static_cast<size_t>(w)], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        int added = 0, removed = 0;
        std::ifstream(path + ".w" + std::to_string(w)) >> added >> removed;
        expected += added - removed;
    }
    TestHost host(path);
    TTarnTableIO table(host, "T");
    table.AcquireTable();
    EXPECT_EQ(table.RecordList(0).Count(), expected);
    ExpectLoadFoundNothing(table);
    ExpectChainsMatch(table);
}

}  // namespace
}  // namespace tarn
