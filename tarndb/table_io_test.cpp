#include "tarndb/table_io.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "platform/bytes.h"
#include "platform/os/fault_env.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/file_stream.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using namespace tarn::format;
using testing::RecordBuffer;
using testing::TempDir;
using testing::TestHost;

class TableIOTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("t.dat");
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "People",
                                 {{"ID", ftAutoInc}, {"Name", ftString, 10}, {"Score", ftFloat}});
    }
    // Header of table 0 as on disk.
    TableHeader DiskHeader() {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        return h;
    }
};

TEST_F(TableIOTest, FirstRecordGetsNewBlockAndOffsetsAndReloads) {
    TestHost host(path);
    TTarnTableIO table(host, "people");  // names match without regard to case
    table.AcquireTable();
    EXPECT_EQ(table.TableNo(), 0);
    EXPECT_EQ(table.RecordSize(), 4 + 11 + 8);
    EXPECT_EQ(table.SlotOffset(2), 15);
    EXPECT_EQ(table.AutoIncField(), 0);
    ASSERT_EQ(table.FieldCount(), 3);
    EXPECT_EQ(table.FieldDefs()[1].Name(), "Name");
    EXPECT_EQ(table.FieldDefs()[1].Size, 10);

    int64_t end = host.io.FileSize();
    RecordBuffer rec(table);
    rec.SetString(1, "Ada");
    rec.SetFloat(2, 2.5);
    rec.Append();
    EXPECT_EQ(rec.Int(0), 1);  // auto-increment written into the caller's buffer
    ASSERT_EQ(table.RecordList(0).Count(), 1);
    TRecordEntry e = table.RecordList(0).At(0);
    EXPECT_EQ(e.recNo, 0);
    EXPECT_EQ(e.dataOffset, end + kRecBlockSize);
    TableHeader h = DiskHeader();
    EXPECT_EQ(h.RecTabOffset(), end);
    EXPECT_EQ(h.RecordTotal(), 1);
    EXPECT_EQ(h.AutoIncCounter(), 1);

    table.ReleaseTable();
    EXPECT_EQ(table.FieldCount(), 0);
    table.AcquireTable();
    RecordBuffer again(table);
    again.Fetch(0, 0);
    EXPECT_EQ(again.Int(0), 1);
    EXPECT_EQ(again.String(1), "Ada");
    EXPECT_EQ(again.Float(2), 2.5);
}

TEST_F(TableIOTest, RecordNumber1024LinksASecondBlock) {
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    RecordBuffer rec(table);
    for (int i = 0; i < 1025; ++i) {
        rec.Clear();
        rec.SetString(1, "n" + std::to_string(i));
        rec.Append();
    }
    table.ReleaseTable();
    table.AcquireTable();
    ASSERT_EQ(table.RecordList(0).Count(), 1025);
    int64_t item1023 = table.RecordItemOffset(1023);
    int64_t item1024 = table.RecordItemOffset(1024);
    TableHeader h = DiskHeader();
    EXPECT_EQ(item1023, h.RecTabOffset() + 4 + 1023 * 5);  // still in the first block
    // The first block links the second, whose item 0 is record 1024.
    uint8_t link[4];
    host.io.ReadAt(h.RecTabOffset(), 4, link);
    EXPECT_EQ(item1024, bytes::GetI32(link, 0) + 4);
    RecordBuffer r(table);
    r.Fetch(0, 1023);
    EXPECT_EQ(r.String(1), "n1023");
    r.Fetch(0, 1024);
    EXPECT_EQ(r.String(1), "n1024");
    EXPECT_EQ(r.Int(0), 1025);
}

TEST_F(TableIOTest, AutoIncrementRules) {
    {  // Start the counter at 41.
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        h.SetAutoIncCounter(41);
        io.WriteTableHeader(0, h);
    }
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    RecordBuffer rec(table);
    struct Step {
        int32_t given, stored, counter;
    } steps[] = {{0, 42, 42}, {100, 100, 100}, {7, 7, 100}};
    for (const Step& s : steps) {
        rec.Clear();
        rec.SetInt(0, s.given);
        rec.Append();
        EXPECT_EQ(rec.Int(0), s.stored);
        EXPECT_EQ(DiskHeader().AutoIncCounter(), s.counter);
    }
    // A rewrite with 0 keeps the stored value; a larger one raises the counter.
    rec.Clear();
    rec.SetString(1, "x");
    TFieldBuffers fb = rec.Buffers();
    table.ModifyRecord(fb, 0, false, nullptr);
    RecordBuffer got(table);
    got.Fetch(0, 0);
    EXPECT_EQ(got.Int(0), 42);
    EXPECT_EQ(got.String(1), "x");
    rec.SetInt(0, 500);
    table.ModifyRecord(fb, 0, false, nullptr);
    EXPECT_EQ(DiskHeader().AutoIncCounter(), 500);
}

TEST_F(TableIOTest, ExhaustedAutoIncrementCounterRefusesTheAppend) {
    {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        h.SetAutoIncCounter(INT32_MAX - 1);
        io.WriteTableHeader(0, h);
    }
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.Append();
    EXPECT_EQ(rec.Int(0), INT32_MAX);  // the last value there is
    rec.Clear();
    try {
        rec.Append();
        FAIL() << "an append past the last auto-increment value went through";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(),
                  "Table 'People' has used up its auto-increment values (the last is 2147483647)");
    }
    EXPECT_EQ(rec.Int(0), 0);  // the caller's buffer is as it was
    EXPECT_EQ(table.RecordList(0).Count(), 1);
    EXPECT_EQ(DiskHeader().RecordTotal(), 1);
    EXPECT_EQ(DiskHeader().AutoIncCounter(), INT32_MAX);
    // A value of the caller's own is still stored.
    rec.SetInt(0, 5);
    rec.Append();
    EXPECT_EQ(table.RecordList(0).Count(), 2);
}

TEST_F(TableIOTest, StringIsCutToDeclaredSizeAndInactiveItemsAreUntouched) {
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.SetRaw(1, "ABCDEFGHIJKL");  // 12 characters into an 11-byte slot: no NUL at all
    rec.Append();
    EXPECT_EQ(rec.String(1), "ABCDEFGHIJ");
    RecordBuffer got(table);
    got.SetFloat(2, 9.75);
    got.SetString(1, "keep");
    TFieldBuffers fb = got.Buffers({1, 2});
    table.FetchRecord(fb, 0, 0);
    EXPECT_EQ(got.Int(0), 1);
    EXPECT_EQ(got.String(1), "keep");
    EXPECT_EQ(got.Float(2), 9.75);
    got.Fetch(0, 0);
    EXPECT_EQ(got.String(1), "ABCDEFGHIJ");
}

TEST_F(TableIOTest, DeletingTheOnlyRecordKeepsTheRecordTotal) {
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    RecordBuffer rec(table);
    rec.Append();
    table.RemoveRecord(0, true);
    EXPECT_EQ(table.RecordList(0).Count(), 0);
    EXPECT_EQ(DiskHeader().RecordTotal(), 1);
    rec.Clear();
    rec.SetString(1, "second");
    rec.Append();
    EXPECT_EQ(table.RecordList(0).At(0).recNo, 1);
    table.ReleaseTable();
    table.AcquireTable();
    ASSERT_EQ(table.RecordList(0).Count(), 1);  // the deleted record is in no list
    EXPECT_EQ(table.RecordList(0).At(0).recNo, 1);
}

TEST_F(TableIOTest, LoadFailures) {
    TestHost host(path);
    TTarnTableIO missing(host, "Nope");
    try {
        missing.AcquireTable();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Table 'Nope' not found");
    }
    EXPECT_EQ(missing.OpenCount(), 0);

    TTarnDBCreator::AddTable(path, "Odd", {{"a", ftInteger}});
    {  // Give the field a type code without a slot size (ftBCD).
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(1, h);
        h.raw[kHdrFields + 33] = 8;
        io.WriteTableHeader(1, h);
    }
    TTarnTableIO odd(host, "Odd");
    try {
        odd.AcquireTable();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "General error");
    }
    EXPECT_EQ(odd.OpenCount(), 0);
    TTarnTableIO people(host, "People");
    people.AcquireTable();  // the other tables stay usable

    host.closed = true;
    try {
        people.Encrypt(0);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "TestDB: Cannot perform this operation on a closed database");
    }
}

// Every record found after a reload must be whole: its name matches its score.
void ExpectWholeRecords(const std::string& path, int atLeast, int atMost) {
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    int n = table.RecordList(0).Count();
    EXPECT_GE(n, atLeast);
    EXPECT_LE(n, atMost);
    RecordBuffer r(table);
    for (int p = 0; p < n; ++p) {
        r.Fetch(0, p);
        EXPECT_EQ(r.String(1), "r" + std::to_string(static_cast<int>(r.Float(2))))
            << "record " << p;
        EXPECT_EQ(r.Int(0), p + 1);
    }
}

TEST_F(TableIOTest, AppendCutShortAtEveryWriteLeavesNoHalfRecord) {
    // Appends that cross a block boundary and blob areas are covered by the same replay.
    testing::TempDir work;
    std::string base = work.file("base.dat");
    {
        TestHost host(path);
        TTarnTableIO table(host, "People");
        table.AcquireTable();
        RecordBuffer rec(table);
        for (int i = 0; i < 1024; ++i) {
            rec.Clear();
            rec.SetString(1, "r" + std::to_string(i));
            rec.SetFloat(2, i);
            rec.Append();
        }
    }
    std::filesystem::copy_file(path, base);
    auto appendOne = [&](FaultEnv& env, long crashAfter) {
        testing::ScopedEnv scoped(&env);
        TestHost host(path);
        TTarnTableIO table(host, "People");
        table.AcquireTable();
        RecordBuffer rec(table);
        rec.SetString(1, "r1024");
        rec.SetFloat(2, 1024);
        env.ResetCounters();
        if (crashAfter >= 0) env.CrashAfterWrites(crashAfter);
        rec.Append();
    };
    FaultEnv counting;
    appendOne(counting, -1);
    long writes = counting.Writes();
    EXPECT_GE(writes, 3);
    for (long n = 0; n < writes; ++n) {
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        FaultEnv env;
        EXPECT_THROW(appendOne(env, n), EInOutError) << "crash after write " << n;
        ExpectWholeRecords(path, 1024, 1024);
    }
}

TEST_F(TableIOTest, AppendKilledAtRandomPointsLeavesWholeRecords) {
    testing::TQuietTimers quietTimers;  // the test forks
    std::mt19937 rng(12345);
    int expectedMax = 0;
    for (int round = 0; round < 6; ++round) {
        // The writer reports its first committed append through a pipe, so a busy machine
        // that is slow to schedule it still gets killed in the middle of its appends.
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(started[0]);
            TestHost host(path);
            TTarnTableIO table(host, "People");
            table.AcquireTable();
            RecordBuffer rec(table);
            for (int i = table.RecordList(0).Count();; ++i) {
                rec.Clear();
                rec.SetString(1, "r" + std::to_string(i));
                rec.SetFloat(2, i);
                rec.Append();
                if (started[1] >= 0) {
                    (void)!write(started[1], "x", 1);
                    close(started[1]);
                    started[1] = -1;
                }
            }
        }
        close(started[1]);
        char first;
        ASSERT_EQ(read(started[0], &first, 1), 1) << "the writer died before its first append";
        close(started[0]);
        usleep(rng() % 20000);
        kill(pid, SIGKILL);
        int status;
        waitpid(pid, &status, 0);
        ExpectWholeRecords(path, expectedMax, INT32_MAX);
        TestHost host(path);
        TTarnTableIO table(host, "People");
        table.AcquireTable();
        expectedMax = table.RecordList(0).Count();
    }
    EXPECT_GT(expectedMax, 0);
}

TEST_F(TableIOTest, FourProcessesAppendingLoseNothing) {
    testing::TQuietTimers quietTimers;  // the test forks
    constexpr int kProcesses = 4, kEach = 5000;
    std::vector<pid_t> pids;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            int code = 0;
            try {
                TestHost host(path);
                TTarnTableIO table(host, "People");
                table.AcquireTable();
                RecordBuffer rec(table);
                for (int i = 0; i < kEach; ++i) {
                    rec.Clear();
                    rec.SetString(1, "p" + std::to_string(p));
                    rec.SetFloat(2, i);
                    rec.Append();
                }
            } catch (...) {
                code = 1;
            }
            _exit(code);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status;
        waitpid(pid, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    TestHost host(path);
    TTarnTableIO table(host, "People");
    table.AcquireTable();
    ASSERT_EQ(table.RecordList(0).Count(), kProcesses * kEach);
    std::set<int32_t> recNos, ids;
    std::vector<int> next(kProcesses, 0);
    RecordBuffer r(table);
    for (int p = 0; p < kProcesses * kEach; ++p) {
        recNos.insert(table.RecordList(0).At(p).recNo);
        r.Fetch(0, p);
        ids.insert(r.Int(0));
        int who = r.String(1)[1] - '0';
        ASSERT_GE(who, 0);
        ASSERT_LT(who, kProcesses);
        EXPECT_EQ(static_cast<int>(r.Float(2)),
                  next[static_cast<size_t>(who)]++);  // each writer's rows in order
    }
    EXPECT_EQ(recNos.size(), static_cast<size_t>(kProcesses * kEach));
    EXPECT_EQ(ids.size(), static_cast<size_t>(kProcesses * kEach));
}

TEST_F(TableIOTest, AnotherProcessesAppendIsSeenBeforeWriting) {
    TestHost a(path), b(path);
    TTarnTableIO ta(a, "People"), tb(b, "People");
    ta.AcquireTable();
    tb.AcquireTable();
    int reloaded = 0;
    tb.OnReloaded = [&] { ++reloaded; };
    RecordBuffer ra(ta), rb(tb);
    ra.SetString(1, "from a");
    ra.Append();
    rb.SetString(1, "from b");
    rb.Append();
    EXPECT_EQ(reloaded, 1);
    EXPECT_EQ(rb.Int(0), 2);
    EXPECT_EQ(tb.RecordList(0).Count(), 2);
    // b's rewrite of its own record still finds it after a's next append.
    ra.Append();
    rb.SetString(1, "b again");
    TFieldBuffers fb = rb.Buffers();
    tb.ModifyRecord(fb, 1, false, nullptr);
    RecordBuffer check(tb);
    check.Fetch(0, 1);
    EXPECT_EQ(check.String(1), "b again");
    EXPECT_EQ(check.Int(0), 2);
}

// Small reads go to the system until the file is mapped; a cut must be caught either way.
TEST_F(TableIOTest, FileTruncatedByAnotherProgramGivesTheDamagedFileError) {
    testing::TQuietTimers quietTimers;  // the test forks
    for (int warmup : {1, TTarnDBFileStream::kReadsBeforeMapping}) {
        SCOPED_TRACE(warmup);
        std::string file = dir.file("cut" + std::to_string(warmup) + ".dat");
        TTarnDBCreator::CreateDatabase(file);
        TTarnDBCreator::AddTable(file, "People",
                                 {{"ID", ftAutoInc}, {"Name", ftString, 10}, {"Score", ftFloat}});
        TestHost host(file);
        TTarnTableIO table(host, "People");
        table.AcquireTable();
        RecordBuffer rec(table);
        for (int i = 0; i < 3; ++i) rec.Append();
        RecordBuffer got(table);
        for (int i = 0; i < warmup; ++i) got.Fetch(0, i % 3);  // mapped after enough reads
        // Cut the file at its record-table block: the records lie a whole page beyond the end.
        off_t cut = table.RecordList(0).At(0).dataOffset - kRecBlockSize;
        // The reads run in a child, so that a read of a vanished page cannot end the test run.
        pid_t pid = fork();
        if (pid == 0) {
            int code = 1;
            try {
                if (truncate(file.c_str(), cut) != 0) _exit(9);
                got.Fetch(0, 0);
                code = 2;
            } catch (const EDatabaseError& e) {
                code =
                    e.Message().rfind("Database file '" + file + "' is damaged: ", 0) == 0 ? 0 : 3;
            } catch (...) {
            }
            _exit(code);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "the read died of signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

TEST(TableIOBlobs, AreasAndRewritePlacement) {
    TempDir dir;
    std::string path = dir.file("b.dat");
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "Docs", {{"Body", ftMemo}, {"Extra", ftMemo}});
    TestHost host(path);
    TTarnTableIO table(host, "Docs");
    table.AcquireTable();
    RecordBuffer rec(table);
    auto descriptor = [&](int field, int pos) {
        uint8_t d[kBlobDescriptorSize];
        host.io.ReadAt(table.RecordList(0).At(pos).dataOffset + table.SlotOffset(field), sizeof d,
                       d);
        TBlobDescriptor x = TBlobDescriptor::Decode(d);
        return std::array<int32_t, 3>{x.offset, x.length, x.areaSize};
    };
    struct Case {
        size_t length;
        int32_t area;
    } cases[] = {{0, 64}, {63, 64}, {64, 128}};
    for (size_t i = 0; i < 3; ++i) {
        rec.SetBlob(0, std::string(cases[i].length, 'x'));
        rec.SetBlob(1, "e");
        rec.Append();
        auto d = descriptor(0, static_cast<int>(i));
        EXPECT_EQ(d[0],
                  table.RecordList(0).At(static_cast<int>(i)).dataOffset + table.RecordSize());
        EXPECT_EQ(d[1], static_cast<int32_t>(cases[i].length));
        EXPECT_EQ(d[2], cases[i].area);
    }
    // Record 2's Body (64 bytes, area 128): a 100-byte value fits in place.
    auto before = descriptor(0, 2);
    RecordBuffer r(table);
    r.Fetch(0, 2);
    r.SetBlob(0, std::string(100, 'y'));
    TFieldBuffers fb = r.Buffers({1});
    table.ModifyRecord(fb, 2, false, nullptr);
    auto after = descriptor(0, 2);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[2], 128);
    // 128 bytes do not fit (the area must be strictly larger): to the end of the file.
    int64_t end = host.io.FileSize();
    r.SetBlob(0, std::string(128, 'z'));
    table.ModifyRecord(fb, 2, false, nullptr);
    after = descriptor(0, 2);
    EXPECT_EQ(after[0], end);
    EXPECT_EQ(after[2], 192);
    // Now it ends the file: a longer value stays there and gets a new area size.
    r.SetBlob(0, std::string(300, 'w'));
    table.ModifyRecord(fb, 2, false, nullptr);
    after = descriptor(0, 2);
    EXPECT_EQ(after[0], end);
    EXPECT_EQ(after[2], 320);
    RecordBuffer check(table);
    check.Fetch(0, 2);
    EXPECT_EQ(check.BlobValue(0), std::string(300, 'w'));
    EXPECT_EQ(check.BlobValue(1), "e");
}

}  // namespace
}  // namespace tarn
