// The rollback journal: its encoding read back with bounds checks, and the file as a crash
// leaves it. A transaction cut short after any of its writes (the process dying there)
// reopens as exactly the state before or exactly the state after, with nothing the checker
// calls damage; a journal left by a dead writer is rolled back by the next one to take the
// lock; a torn journal is ignored; a blob value rewritten in place outside a transaction
// shows its old value or its new one, never a mixture.
#include "tarndb/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/os/fault_env.h"
#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/table_io.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/recording_env.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::RecordBuffer;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TestHost;

// ---- the encoding -------------------------------------------------------------------------

std::vector<uint8_t> Journal(int64_t originalLength,
                             const std::vector<std::pair<int64_t, size_t>>& pages) {
    std::vector<uint8_t> out;
    journal::AppendHeader(out, {4096, originalLength, 77});
    for (auto [offset, n] : pages) {
        std::vector<uint8_t> bytes(n, static_cast<uint8_t>(offset / 4096 + 1));
        journal::AppendRecord(out, 77, offset, bytes);
    }
    return out;
}

// The previous release's journals (version 1, no state checksum) are still read; one of a
// later version is neither played nor taken for torn.
TEST(JournalEncoding, ReadsTheOldLayoutAndKeepsALaterVersionApart) {
    std::vector<uint8_t> old;
    journal::AppendHeader(old, {4096, 10000, 77, 0, 0, journal::kOldVersion});
    journal::AppendRecord(old, 77, 4096, std::vector<uint8_t>(4096, 9));
    journal::Contents c = journal::Decode(old);
    ASSERT_TRUE(c.valid) << c.why;
    EXPECT_EQ(c.header.version, journal::kOldVersion);
    EXPECT_EQ(c.header.originalLength, 10000);
    ASSERT_EQ(c.pages.size(), 1u);
    EXPECT_EQ(c.pages[0].offset, 4096);

    std::vector<uint8_t> current = Journal(10000, {{0, 4096}});
    bytes::PutU32(current, 8, journal::kVersion + 1);
    c = journal::Decode(current);
    EXPECT_FALSE(c.valid);
    EXPECT_TRUE(c.newer) << c.why;
}

// The state checksum of the file as playback would leave it equals the one taken when the
// journal began, whatever the transaction overwrote or appended since; a file whose
// identifying bytes differ anywhere else does not match.
TEST(JournalEncoding, TheStateChecksumSeesTheFileAsPlaybackWouldLeaveIt) {
    using namespace format;
    // A file of three tables; the directory names their headers.
    const int64_t length = kFirstFreeOffset + 3 * kTableHeaderSize + 5000;
    std::vector<uint8_t> start(static_cast<size_t>(length));
    for (size_t i = 0; i < start.size(); ++i) start[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    bytes::PutI32(start, kDirOffset, 3);
    for (int t = 0; t < 3; ++t)
        bytes::PutI32(start, kDirOffset + TableDirectory::EntryPosition(t),
                      kFirstFreeOffset + t * kTableHeaderSize);
    auto reader = [](const std::vector<uint8_t>& file) {
        return [&file](int64_t offset, size_t count, uint8_t* out) {
            std::memcpy(out, file.data() + offset, count);
        };
    };
    const uint32_t began = journal::StateChecksum(length, reader(start));

    // The transaction saved pages 0 and 3, then overwrote them and appended.
    std::vector<uint8_t> j;
    journal::AppendHeader(j, {4096, length, 5, began});
    std::vector<uint8_t> now = start;
    for (int64_t page : {0, 3}) {
        journal::AppendRecord(j, 5, page * 4096,
                              std::span<const uint8_t>(start).subspan(page * 4096, 4096));
        std::fill_n(now.begin() + page * 4096, 4096, uint8_t{0xEE});
    }
    now.resize(now.size() + 9000, 0xAB);
    journal::Contents c = journal::Decode(j);
    ASSERT_TRUE(c.valid);
    EXPECT_NE(journal::StateChecksum(length, reader(now)), began);
    EXPECT_EQ(journal::PlayedBackStateChecksum(c, reader(now)), began);

    struct Case {
        const char* what;
        int64_t at;
    } changed[] = {
        {"the information block", kInfoOffset + 3},
        {"a table's record total", kFirstFreeOffset + kTableHeaderSize + kHdrRecordTotal},
        {"a table's change count", kFirstFreeOffset + 3 * kTableHeaderSize - 16},
    };
    for (const Case& k : changed) {
        SCOPED_TRACE(k.what);
        std::vector<uint8_t> other = now;
        // Page 0 is laid over from the journal: change the bytes beyond it.
        if (k.at < 4096) {
            std::vector<uint8_t> changedStart = start;
            changedStart[static_cast<size_t>(k.at)] ^= 1;
            EXPECT_NE(journal::StateChecksum(length, reader(changedStart)), began);
            continue;
        }
        other[static_cast<size_t>(k.at)] ^= 1;
        EXPECT_NE(journal::PlayedBackStateChecksum(c, reader(other)), began);
    }
    // Record bytes the checksum does not cover.
    std::vector<uint8_t> data = now;
    data[static_cast<size_t>(length) - 10] ^= 1;
    EXPECT_EQ(journal::PlayedBackStateChecksum(c, reader(data)), began);
}

TEST(JournalEncoding, RoundTripsAndStopsAtTheFirstBadRecord) {
    std::vector<uint8_t> j = Journal(10000, {{0, 4096}, {8192, 1808}});
    journal::Contents c = journal::Decode(j);
    ASSERT_TRUE(c.valid);
    EXPECT_FALSE(c.torn);
    EXPECT_EQ(c.header.originalLength, 10000);
    ASSERT_EQ(c.pages.size(), 2u);
    EXPECT_EQ(c.pages[1].offset, 8192);
    EXPECT_EQ(c.pages[1].bytes, std::vector<uint8_t>(1808, 3));

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> spoil;
        bool valid;
        size_t pages;
    } cases[] = {
        {"empty", [](auto& b) { b.clear(); }, false, 0},
        {"header cut short", [](auto& b) { b.resize(20); }, false, 0},
        {"header bit flipped", [](auto& b) { b[17] ^= 1; }, false, 0},
        {"other magic", [](auto& b) { b[0] = 'X'; }, false, 0},
        {"second record cut short", [](auto& b) { b.erase(b.end() - 5, b.end()); }, true, 1},
        {"second record's bytes changed", [](auto& b) { b[b.size() - 100] ^= 0x40; }, true, 1},
        {"first record's count too large",
         [](auto& b) { bytes::PutU32(b, journal::kHeaderSize + 8, 0x7fffffff); }, true, 0},
        {"trailing garbage", [](auto& b) { b.push_back(1); }, true, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<uint8_t> b = j;
        k.spoil(b);
        journal::Contents d = journal::Decode(b);
        EXPECT_EQ(d.valid, k.valid);
        EXPECT_EQ(d.pages.size(), k.pages);
    }
    // Records must lie within the original length, on a page boundary, with the journal's salt.
    EXPECT_TRUE(journal::Decode(Journal(10000, {{8192, 4096}})).torn);
    EXPECT_TRUE(journal::Decode(Journal(10000, {{100, 10}})).torn);
    std::vector<uint8_t> other = Journal(10000, {});
    journal::AppendRecord(other, 78, 0, std::vector<uint8_t>(10, 1));
    EXPECT_TRUE(journal::Decode(other).torn);
}

// ---- reads inside a transaction --------------------------------------------------------------

TEST(TransactionReads, SeeThePageCopiesAndTheAppendedBytesAcrossEveryBoundary) {
    TempDir dir;
    std::string path = dir.file("r.tdb");
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "T", {{"n", ftInteger}});
    std::vector<uint8_t> file(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary)
        .read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
    const int64_t size = static_cast<int64_t>(file.size());
    ASSERT_GT(size, 2 * TTarnDBFileIO::kPageSize + 32);

    TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
    io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
    io.BeginTransaction();
    std::vector<uint8_t> expect = file;
    auto write = [&](int64_t at, size_t n, uint8_t v) {
        std::vector<uint8_t> bytes(n, v);
        io.WriteAt(at, bytes.data(), n);
        if (expect.size() < static_cast<size_t>(at) + n) expect.resize(static_cast<size_t>(at) + n);
        for (size_t i = 0; i < n; ++i) expect[static_cast<size_t>(at) + i] = v;
    };
    const int64_t page = TTarnDBFileIO::kPageSize;
    write(page - 5, 10, 0xA1);              // across a page boundary
    write(2 * page + 7, 3, 0xA2);           // within a page
    write(size - 4, 20, 0xA3);              // across the old end of the file
    write(size + (1 << 20) - 8, 16, 0xA4);  // across a chunk of the appended bytes
    EXPECT_EQ(io.FileSize(), static_cast<int64_t>(expect.size()));
    EXPECT_EQ(std::filesystem::file_size(path), file.size()) << "nothing reached the file yet";
    for (int64_t at : {page - 12, page - 5, 2 * page, size - 10, size + (1 << 20) - 16}) {
        SCOPED_TRACE(at);
        const uint8_t* view = io.View(at, 24);
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(std::equal(view, view + 24, expect.begin() + at));
        std::vector<uint8_t> read(24);
        io.ReadAt(at, read.size(), read.data());
        EXPECT_TRUE(std::equal(read.begin(), read.end(), expect.begin() + at));
    }
    EXPECT_THROW(io.View(static_cast<int64_t>(expect.size()) - 4, 8), EDatabaseError);

    // Past kSpillBytes the appended bytes go to the file early; later writes below that
    // point go there directly, above it to memory again.
    const int64_t end = static_cast<int64_t>(expect.size());
    write(end, TTarnDBFileIO::kSpillBytes + 100, 0xB1);
    EXPECT_GT(static_cast<int64_t>(std::filesystem::file_size(path)), size + (1 << 20));
    write(end + 10, 30, 0xB2);                                 // written out already
    write(static_cast<int64_t>(expect.size()) - 5, 10, 0xB3);  // across the early write's end
    for (int64_t at : {end + 5, static_cast<int64_t>(expect.size()) - 20}) {
        std::vector<uint8_t> read(20);
        io.ReadAt(at, read.size(), read.data());
        EXPECT_TRUE(std::equal(read.begin(), read.end(), expect.begin() + at)) << at;
    }

    io.RollbackTransaction();
    EXPECT_EQ(io.FileSize(), size);
    std::vector<uint8_t> back(file.size());
    io.ReadAt(0, back.size(), back.data());
    EXPECT_EQ(back, file);
}

// ---- crashes --------------------------------------------------------------------------------

// Everything a reader can get out of the file: per table, the auto-increment counter and
// each list (physical and key orders) with every field of every record.
std::string Dump(const std::string& path) {
    TestHost host(path);
    std::vector<std::string> names;
    host.io.ListTableNames(names);
    std::string out;
    for (const std::string& name : names) {
        TTarnTableIO table(host, name);
        table.AcquireTable();
        out += name + " counter " + std::to_string(table.Header().AutoIncCounter()) + "\n";
        for (int list = 0; list < table.ListCount(); ++list) {
            out += " list " + std::to_string(list) + ":";
            for (int p = 0; p < table.RecordList(list).Count(); ++p)
                out += " " + std::to_string(table.RecordList(list).At(p).recNo);
            out += "\n";
        }
        RecordBuffer rec(table);
        for (int p = 0; p < table.RecordList(0).Count(); ++p) {
            rec.Fetch(0, p);
            out += " ";
            for (int f = 0; f < table.FieldCount(); ++f) {
                if (IsBlobType(table.FieldDefs()[f].FieldType))
                    out += rec.BlobValue(f) + "|";
                else
                    out += std::string(reinterpret_cast<const char*>(rec.Slot(f)),
                                       static_cast<size_t>(table.SlotSize(f))) +
                           "|";
            }
            out += "\n";
        }
    }
    return out;
}

std::string Report(const TCheckReport& r) {
    std::string s = r.unreadable;
    for (const TCheckProblem& p : r.problems)
        s += "\nproblem: record " + std::to_string(p.record) + ": " + p.text;
    return s;
}

void Set(TTarnTableIO& table, int position, const std::function<void(RecordBuffer&)>& change) {
    RecordBuffer rec(table);
    rec.Fetch(0, position);
    change(rec);
    TFieldBuffers fb = rec.Buffers();
    table.ModifyRecord(fb, position, false, nullptr);
}

// "Docs": id autoinc, name string (unique index), body memo. "Marks": k integer (index),
// note string.
class TwoTables : public ::testing::Test {
protected:
    bool sync = true;    // SyncCommit
    std::string openAs;  // the name Run opens the work file by, when not `path`
    TempDir dir;
    std::string base = dir.file("base.tdb");
    std::string path = dir.file("work.tdb");

    void SetUp() override {
        TTarnDBCreator::CreateDatabase(base);
        TTarnDBCreator::AddTable(base, "Docs",
                                 {{"id", ftAutoInc}, {"name", ftString, 12}, {"body", ftMemo}},
                                 {{"byName", tiUnique, {"name"}}});
        TTarnDBCreator::AddTable(base, "Marks", {{"k", ftInteger}, {"note", ftString, 8}},
                                 {{"byK", {}, {"k"}}});
        TestHost host(base);
        TTarnTableIO docs(host, "Docs"), marks(host, "Marks");
        docs.AcquireTable();
        marks.AcquireTable();
        for (int i = 0; i < 6; ++i) {
            RecordBuffer d(docs);
            d.SetString(1, "doc" + std::to_string(i));
            d.SetBlob(2, std::string(100, static_cast<char>('a' + i)));
            d.Append();
            RecordBuffer m(marks);
            m.SetInt(0, 10 * i);
            m.SetString(1, "m" + std::to_string(i));
            m.Append();
        }
    }

    // The transaction: appends, rewrites (a blob shortened in place, a key moved), deletes
    // in both tables; committed, or with `commit` false rolled back.
    void Transaction(TTarnDBFileIO& io, TTarnTableIO& docs, TTarnTableIO& marks,
                     bool commit = true) {
        io.SetSyncCommit(sync);
        io.BeginTransaction();
        RecordBuffer d(docs);
        d.SetString(1, "new");
        d.SetBlob(2, std::string(5000, 'n'));
        d.Append();
        Set(docs, 1, [](RecordBuffer& r) {
            r.SetString(1, "zzz");
            r.SetBlob(2, std::string(50, 'B'));
        });
        Set(docs, 2, [](RecordBuffer& r) { r.SetBlob(2, std::string(300, 'C')); });
        docs.RemoveRecord(3, false);
        RecordBuffer m(marks);
        m.SetInt(0, 25);
        m.SetString(1, "new");
        m.Append();
        Set(marks, 0, [](RecordBuffer& r) { r.SetInt(0, 99); });
        marks.RemoveRecord(4, false);
        if (commit)
            io.CommitTransaction();
        else
            io.RollbackTransaction();
    }

    // A rewrite outside a transaction: the memo of Docs' second record rewritten shorter in
    // place, which goes through a journal of its own.
    static void RewriteInPlace(TTarnDBFileIO&, TTarnTableIO& docs, TTarnTableIO&) {
        Set(docs, 1, [](RecordBuffer& r) {
            r.SetString(1, "yyy");
            r.SetBlob(2, std::string(60, 'R'));
        });
    }

    using Work = std::function<void(TTarnDBFileIO&, TTarnTableIO&, TTarnTableIO&)>;
    Work Commit() {
        return [this](TTarnDBFileIO& io, TTarnTableIO& d, TTarnTableIO& m) {
            Transaction(io, d, m, true);
        };
    }
    Work Rollback() {
        return [this](TTarnDBFileIO& io, TTarnTableIO& d, TTarnTableIO& m) {
            Transaction(io, d, m, false);
        };
    }

    // Runs `work` on a fresh copy of the base file under `env` (a FaultEnv of its own when
    // none is given); with `crashAfter` >= 0 the process "dies" after that many writes
    // (nothing written after reaches the file, the journal and any undo included), with
    // `failAt` > 0 that one write fails (and the work's own undo goes on). Returns the
    // writes made.
    long Run(long crashAfter, const Work& work, long failAt = 0, FaultEnv* use = nullptr) {
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove(path + "-journal");
        FaultEnv own;
        FaultEnv& env = use ? *use : own;
        ScopedEnv scoped(&env);
        {
            TestHost host(openAs.empty() ? path : openAs);
            TTarnTableIO docs(host, "Docs"), marks(host, "Marks");
            docs.AcquireTable();
            marks.AcquireTable();
            env.ResetCounters();
            if (crashAfter >= 0) env.CrashAfterWrites(crashAfter);
            if (failAt > 0) env.FailWrite(failAt);
            if (crashAfter < 0 && failAt == 0)
                work(host.io, docs, marks);
            else
                EXPECT_THROW(work(host.io, docs, marks), EInOutError);
        }  // the close tries to roll back: after the crash, in vain
        return env.Writes();
    }
    long Run(long crashAfter) { return Run(crashAfter, Commit()); }

    // The file as the next opener finds it: a journal rolled back, the checker content.
    void ExpectReopens(const std::vector<std::string>& allowed) {
        std::string now = Dump(path);  // the open rolls a journal back
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), now), allowed.end()) << now;
        TCheckReport r = CheckDatabaseFile(path, {});
        EXPECT_EQ(r.problemCount, 0) << Report(r);
    }
};

class CrashedTransactions : public TwoTables, public ::testing::WithParamInterface<bool> {};

TEST_P(CrashedTransactions, EveryCrashPointReopensAsBeforeOrAfter) {
    sync = GetParam();
    std::string before = Dump(base);
    long writes = Run(-1);
    std::string after = Dump(path);
    ASSERT_NE(before, after);
    ASSERT_GE(writes, 5);
    int sawBefore = 0, sawAfter = 0, sawHot = 0;
    for (long n = 0; n < writes; ++n) {
        SCOPED_TRACE("crash after write " + std::to_string(n) + " of " + std::to_string(writes));
        Run(n);
        if (std::filesystem::exists(path + "-journal")) ++sawHot;
        std::string now = Dump(path);  // the open rolls a journal back
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
        EXPECT_TRUE(now == before || now == after) << now;
        sawBefore += now == before;
        sawAfter += now == after;
        TCheckReport r = CheckDatabaseFile(path, {});
        EXPECT_EQ(r.problemCount, 0) << Report(r);
    }
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawHot, 0) << "no crash point left a journal to roll back";
}

INSTANTIATE_TEST_SUITE_P(Sync, CrashedTransactions, ::testing::Values(true, false),
                         [](const auto& info) {
                             return info.param ? std::string("sync") : std::string("nosync");
                         });

// A rollback cut short after any of its writes (the process dying there) leaves the file
// as the next opener rolls it back: the state before. Rollbacks come from the caller, from
// a commit whose write failed, and from a rewrite outside a transaction whose write failed.
TEST_F(TwoTables, EveryCrashPointOfARollbackReopensAsBefore) {
    const std::string before = Dump(base);
    Work rewrite = RewriteInPlace;
    struct Case {
        const char* what;
        Work work;
        bool failing;  // the rollback follows a failed write, at every write of the work
    } cases[] = {
        {"rollback asked for", Rollback(), false},
        {"commit failing", Commit(), true},
        {"rewrite outside a transaction failing", rewrite, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const long writes = Run(-1, k.work);
        ASSERT_GE(writes, 1);
        int replays = 0, hot = 0;
        for (long f = k.failing ? 1 : 0; f <= (k.failing ? writes : 0); ++f) {
            // With write f failing, the writes after it are the rollback's.
            const long total = Run(-1, k.work, f);
            for (long n = f; n < total; ++n) {
                SCOPED_TRACE("write " + std::to_string(f) + " fails, crash after write " +
                             std::to_string(n) + " of " + std::to_string(total));
                Run(n, k.work, f);
                hot += std::filesystem::exists(path + "-journal");
                ExpectReopens({before});
                ++replays;
            }
        }
        EXPECT_GT(replays, 0);
        if (k.failing) {
            EXPECT_GT(hot, 0) << "no crash point left a journal to roll back";
        }
    }
}

// Recovery cut short after any of its writes leaves the journal in place, and the next
// opener plays it back again: recovery can be repeated until it completes.
TEST_F(TwoTables, EveryCrashPointOfARecoveryLeavesAJournalPlayedBackAgain) {
    const std::string before = Dump(base);
    const std::string hotFile = dir.file("hot.tdb");
    Work rewrite = RewriteInPlace;
    int playedBack = 0;
    for (const Work& work : {Commit(), rewrite}) {
        const long writes = Run(-1, work);
        for (long k = 0; k < writes; ++k) {
            Run(k, work);
            if (!std::filesystem::exists(path + "-journal")) continue;
            // A hot journal: keep the pair as the crash left it.
            std::filesystem::copy_file(path, hotFile,
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::copy_file(path + "-journal", hotFile + "-journal",
                                       std::filesystem::copy_options::overwrite_existing);
            auto restore = [&] {
                std::filesystem::copy_file(hotFile, path,
                                           std::filesystem::copy_options::overwrite_existing);
                std::filesystem::copy_file(hotFile + "-journal", path + "-journal",
                                           std::filesystem::copy_options::overwrite_existing);
            };
            long recoveryWrites = 0;
            {
                restore();
                FaultEnv env;
                ScopedEnv scoped(&env);
                TestHost host(path);
                recoveryWrites = env.Writes();
            }
            ASSERT_GE(recoveryWrites, 1);      // a torn journal is only removed
            playedBack += recoveryWrites > 2;  // pages written back, the file cut, the removal
            for (long m = 0; m < recoveryWrites; ++m) {
                SCOPED_TRACE("commit crashed after write " + std::to_string(k) +
                             ", recovery after write " + std::to_string(m) + " of " +
                             std::to_string(recoveryWrites));
                restore();
                {
                    FaultEnv env;
                    ScopedEnv scoped(&env);
                    env.CrashAfterWrites(m);
                    EXPECT_THROW(TestHost host(path), EInOutError);
                }
                EXPECT_TRUE(std::filesystem::exists(path + "-journal"));
                ExpectReopens({before});
            }
        }
    }
    EXPECT_GT(playedBack, 0);
}

// ---- durability: the order in which things reach the disk ------------------------------------

// Positions in a RecordingEnv's events.
struct Events {
    std::vector<std::string> list;
    // The first (last) event equal to `e`, or beginning with it; -1 when none.
    long First(const std::string& e) const {
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].starts_with(e)) return static_cast<long>(i);
        return -1;
    }
    long Last(const std::string& e) const {
        for (size_t i = list.size(); i-- > 0;)
            if (list[i].starts_with(e)) return static_cast<long>(i);
        return -1;
    }
    std::string Text() const {
        std::string out;
        for (const std::string& e : list) out += e + "\n";
        return out;
    }
};

// With SyncCommit the journal is on the disk, its directory entry included, before the first
// byte it covers is overwritten; the file is on the disk before the journal is removed, and
// the removal (the commit point) is made durable at once: a journal that came back after a
// power cut would undo a committed transaction, and everything written after it. Without
// SyncCommit nothing is synced.
TEST_F(TwoTables, SyncCommitMakesTheJournalAndItsRemovalDurableInOrder) {
    const int64_t original = static_cast<int64_t>(std::filesystem::file_size(base));
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "SyncCommit on" : "SyncCommit off");
        sync = on;
        testing::RecordingEnv env;
        env.onEvent = [&](const std::string& e) {
            if (e == "create work.tdb-journal") env.events = {e};  // the commit's events only
        };
        Run(-1, Commit(), 0, &env);
        Events ev{env.events};
        SCOPED_TRACE(ev.Text());
        ASSERT_EQ(ev.First("create work.tdb-journal"), 0);
        const long removed = ev.First("remove work.tdb-journal");
        ASSERT_GT(removed, 0);
        // The first overwrite of the file's old bytes.
        long overwrite = -1;
        for (size_t i = 0; i < ev.list.size() && overwrite < 0; ++i)
            if (ev.list[i].starts_with("write work.tdb ") &&
                std::stoll(ev.list[i].substr(15)) < original)
                overwrite = static_cast<long>(i);
        ASSERT_GT(overwrite, 0);
        EXPECT_LT(ev.Last("write work.tdb-journal"), overwrite);
        if (!on) {
            EXPECT_EQ(ev.First("sync"), -1);
            continue;
        }
        EXPECT_LT(ev.Last("write work.tdb-journal"), ev.First("sync work.tdb-journal"));
        EXPECT_LT(ev.First("sync work.tdb-journal"), ev.First("syncdir work.tdb-journal"));
        EXPECT_LT(ev.First("syncdir work.tdb-journal"), overwrite);
        // The first overwrite stamps page 0 with the journal's salt; in a file never stamped
        // before (as this one) the stamp is on the disk before anything else is overwritten.
        EXPECT_LT(std::stoll(ev.list[static_cast<size_t>(overwrite)].substr(15)),
                  TTarnDBFileIO::kPageSize);
        long next = -1;
        for (size_t i = static_cast<size_t>(overwrite) + 1; i < ev.list.size() && next < 0; ++i)
            if (ev.list[i].starts_with("write work.tdb ") &&
                std::stoll(ev.list[i].substr(15)) < original)
                next = static_cast<long>(i);
        ASSERT_GT(next, overwrite);
        long stampSynced = -1;
        for (long i = overwrite + 1; i < next; ++i)
            if (ev.list[static_cast<size_t>(i)] == "sync work.tdb") stampSynced = i;
        EXPECT_GT(stampSynced, overwrite) << "the stamp was not synced before the next overwrite";
        EXPECT_LT(ev.Last("write work.tdb "), ev.Last("sync work.tdb"));
        EXPECT_LT(ev.Last("sync work.tdb"), removed);
        EXPECT_EQ(ev.Last("syncdir work.tdb-journal"), static_cast<long>(ev.list.size()) - 1);
        EXPECT_GT(ev.Last("syncdir work.tdb-journal"), removed);
    }
}

// A directory sync that fails: before the first overwrite the commit is undone; after the
// journal's removal (the commit point) the commit stands and only the error is reported.
TEST_F(TwoTables, AFailedDirectorySyncUndoesTheCommitOnlyBeforeItsCommitPoint) {
    class FailingDirectorySync : public FaultEnv {
    public:
        int calls = 0, failAt = 0;
        void SyncDirectoryOf(const std::string& path) override {
            if (++calls == failAt) throw EInOutError("directory sync refused (injected)");
            FaultEnv::SyncDirectoryOf(path);
        }
    };
    const std::string before = Dump(base);
    Run(-1);
    const std::string after = Dump(path);
    for (int failAt : {1, 2}) {
        SCOPED_TRACE("directory sync " + std::to_string(failAt) + " fails");
        FailingDirectorySync env;
        env.failAt = failAt;
        Run(
            -1,
            [&](TTarnDBFileIO& io, TTarnTableIO& docs, TTarnTableIO& marks) {
                EXPECT_THROW(Transaction(io, docs, marks), EInOutError);
                EXPECT_FALSE(io.InTransaction());
            },
            0, &env);
        ExpectReopens({failAt == 1 ? before : after});
    }
}

// Removing a journal that undid something is made durable as well: the recovery's (the
// journal played back and the file synced first), and a rewrite outside a transaction's,
// whose removal the next flush makes durable, so that a journal cannot come back after a
// power cut and undo what was flushed after it.
TEST_F(TwoTables, ARemovedJournalStaysRemovedAfterARecoveryAndAFlush) {
    // Recovery: a commit that died before its journal was removed.
    long writes = Run(-1);
    Run(writes - 2);
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    {
        testing::RecordingEnv env;
        ScopedEnv scoped(&env);
        TestHost host(path);
        Events ev{env.events};
        SCOPED_TRACE(ev.Text());
        const long removed = ev.First("remove work.tdb-journal");
        ASSERT_GE(removed, 0);
        EXPECT_LT(ev.Last("write work.tdb "), ev.Last("sync work.tdb"));
        EXPECT_LT(ev.Last("sync work.tdb"), removed);
        EXPECT_GT(ev.Last("syncdir work.tdb-journal"), removed);
    }
    // A rewrite outside a transaction, then a flush.
    testing::RecordingEnv env;
    Run(
        -1,
        [](TTarnDBFileIO& io, TTarnTableIO& docs, TTarnTableIO& marks) {
            RewriteInPlace(io, docs, marks);
            io.FlushStorage();
        },
        0, &env);
    Events ev{env.events};
    SCOPED_TRACE(ev.Text());
    const long removed = ev.First("remove work.tdb-journal");
    ASSERT_GE(removed, 0);
    EXPECT_GT(ev.Last("syncdir work.tdb-journal"), removed);
}

TEST_F(TwoTables, AJournalLeftByADeadProcessIsRolledBackByTheNextOpener) {
    testing::TQuietTimers quietTimers;  // the test forks
    std::string before = Dump(base);
    long writes = Run(-1);
    // A child process makes the transaction and dies in the middle of its commit, after
    // the journal and one page write: its lock goes with it.
    std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(path + "-journal");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FaultEnv env;
        SetCurrentEnv(&env);
        TestHost host(path);
        TTarnTableIO docs(host, "Docs"), marks(host, "Marks");
        docs.AcquireTable();
        marks.AcquireTable();
        env.ResetCounters();
        env.CrashAfterWrites(writes - 2);  // the journal's removal and one page write are lost
        try {
            Transaction(host.io, docs, marks);
        } catch (...) {
        }
        _exit(0);  // no destructor runs: the journal stays as the crash left it
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    EXPECT_EQ(Dump(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

TEST_F(TwoTables, AnOpenDatabaseRollsBackAJournalBeforeItsNextRead) {
    std::string before = Dump(base);
    long writes = Run(-1);
    std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
    TestHost reader(path);
    TTarnTableIO docs(reader, "Docs");
    docs.AcquireTable();
    {
        FaultEnv env;
        ScopedEnv scoped(&env);
        TestHost writer(path);
        TTarnTableIO wdocs(writer, "Docs"), wmarks(writer, "Marks");
        wdocs.AcquireTable();
        wmarks.AcquireTable();
        env.ResetCounters();
        env.CrashAfterWrites(writes - 2);
        EXPECT_THROW(Transaction(writer.io, wdocs, wmarks), EInOutError);
    }
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    // The reader's next taking of the lock finds the journal and undoes the half commit.
    RecordBuffer r(docs);
    r.Fetch(0, 1);
    EXPECT_EQ(r.String(1), "doc1");
    EXPECT_EQ(r.BlobValue(2), std::string(100, 'b'));
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    EXPECT_EQ(Dump(path), before);
}

TEST_F(TwoTables, ATornJournalIsIgnoredAndRemoved) {
    std::string before = Dump(base);
    std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
    int64_t size = static_cast<int64_t>(std::filesystem::file_size(path));
    // What a writer leaves when it dies while writing the journal's first bytes: the
    // header incomplete, or not matching its checksum. The file was not overwritten yet.
    std::vector<uint8_t> full = Journal(size - 4096, {{0, 4096}});
    for (size_t keep : {size_t{0}, size_t{20}, full.size()}) {
        std::vector<uint8_t> j(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keep));
        if (keep == full.size()) j[25] ^= 1;  // the salt changed under the checksum
        std::ofstream(path + "-journal", std::ios::binary)
            .write(reinterpret_cast<const char*>(j.data()), static_cast<std::streamsize>(j.size()));
        EXPECT_EQ(Dump(path), before) << keep;
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
        EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(path)), size);
    }
}

// ---- the journal belongs to its file ---------------------------------------------------------

std::vector<uint8_t> FileBytes(const std::string& file) {
    std::vector<uint8_t> out(std::filesystem::file_size(file));
    std::ifstream(file, std::ios::binary)
        .read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return out;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

// Puts the working directory back at the end of a test that changes it.
struct WorkingDirectoryKept {
    std::filesystem::path was = std::filesystem::current_path();
    ~WorkingDirectoryKept() { std::filesystem::current_path(was); }
};

// Opened through a symbolic link, or by a relative name from a working directory that
// changes before the commit, the database keeps its journal beside the file itself: a crash
// at any point of the commit reopens, through either name, as before or after.
TEST_F(TwoTables, TheJournalFollowsTheFileNotTheNameItWasOpenedBy) {
    WorkingDirectoryKept kept;
    const std::string before = Dump(base);
    Run(-1);
    const std::string after = Dump(path);
    const std::string link = dir.file("link.tdb"), elsewhere = dir.file("elsewhere");
    std::filesystem::create_symlink(path, link);
    std::filesystem::create_directory(elsewhere);
    struct Case {
        const char* what;
        std::string openAs;
        bool moveAway;  // the working directory changes between the open and the commit
    } cases[] = {
        {"opened through a symbolic link", link, false},
        {"opened by a relative name, then the working directory changed", "work.tdb", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        openAs = k.openAs;
        Work work = [&](TTarnDBFileIO& io, TTarnTableIO& docs, TTarnTableIO& marks) {
            if (k.moveAway) std::filesystem::current_path(elsewhere);
            Transaction(io, docs, marks);
        };
        std::filesystem::current_path(dir.path());
        const long writes = Run(-1, work);
        int hot = 0;
        for (long n = 0; n < writes; ++n) {
            SCOPED_TRACE("crash after write " + std::to_string(n) + " of " +
                         std::to_string(writes));
            std::filesystem::current_path(dir.path());
            Run(n, work);
            std::filesystem::current_path(kept.was);
            EXPECT_FALSE(std::filesystem::exists(link + "-journal"));
            EXPECT_FALSE(std::filesystem::exists(elsewhere + "/work.tdb-journal"));
            hot += std::filesystem::exists(path + "-journal");
            const std::string now = Dump(n % 2 == 0 ? link : path);  // either name recovers
            EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
            EXPECT_TRUE(now == before || now == after) << now;
        }
        EXPECT_GT(hot, 0) << "no crash point left a journal to roll back";
    }
    openAs.clear();
}

// A hot journal is played only into the file it was made for. Beside another database, or
// beside a copy of its own that went on to commit more (a restored backup), the open is
// refused with a message naming both, nothing is written, and the journal stays for the
// user; the file reads as it did once the journal is moved away.
TEST_F(TwoTables, AJournalBesideAFileItWasNotMadeForIsRefusedAndLeftInPlace) {
    const std::string before = Dump(base);
    const long writes = Run(-1);
    Run(writes - 2);  // the commit died before its journal was removed
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    const std::vector<uint8_t> hot = FileBytes(path + "-journal");

    const std::string small = dir.file("small.tdb"), large = dir.file("large.tdb"),
                      later = dir.file("later.tdb");
    TTarnDBCreator::CreateDatabase(small);
    TTarnDBCreator::AddTable(small, "Other", {{"x", ftInteger}});
    TTarnDBCreator::CreateDatabase(large);
    TTarnDBCreator::AddTable(large, "Other", {{"x", ftInteger}, {"body", ftMemo}});
    {
        TestHost host(large);
        TTarnTableIO t(host, "Other");
        t.AcquireTable();
        RecordBuffer r(t);
        r.SetInt(0, 1);
        r.SetBlob(1, std::string(200000, 'L'));
        r.Append();
    }
    // Two transactions committed after the state the journal began from.
    std::filesystem::copy_file(base, later);
    {
        TestHost host(later);
        TTarnTableIO docs(host, "Docs"), marks(host, "Marks");
        docs.AcquireTable();
        marks.AcquireTable();
        Transaction(host.io, docs, marks);
        host.io.BeginTransaction();
        RecordBuffer m(marks);
        m.SetInt(0, 77);
        m.SetString(1, "later");
        m.Append();
        host.io.CommitTransaction();
    }
    ASSERT_GT(std::filesystem::file_size(large), std::filesystem::file_size(path));

    struct Case {
        const char* what;
        std::string file;
        const char* why;
    } cases[] = {
        {"another, shorter database", small, "shorter than the"},
        {"another, longer database", large, "are not those the journal began from"},
        {"a later committed copy of the same database", later,
         "the file was last stamped by another journal"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const std::string readable = Dump(k.file);
        const std::vector<uint8_t> bytes = FileBytes(k.file);
        const std::string journal = k.file + "-journal";
        std::ofstream(journal, std::ios::binary)
            .write(reinterpret_cast<const char*>(hot.data()),
                   static_cast<std::streamsize>(hot.size()));
        const std::string err = ErrorOf([&] { TestHost host(k.file); });
        EXPECT_NE(err.find("Journal '" + std::filesystem::canonical(k.file).string() +
                           "-journal' does not belong to database file '" + k.file + "'"),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find(k.why), std::string::npos) << err;
        EXPECT_NE(err.find("move it away if the database is correct"), std::string::npos) << err;
        EXPECT_EQ(FileBytes(k.file), bytes) << "the refused journal changed the file";
        // An open for reading only says the same, not that the journal wants a writer.
        std::filesystem::permissions(k.file, std::filesystem::perms::owner_read);
        EXPECT_EQ(ErrorOf([&] { TestHost host(k.file); }), err);
        std::filesystem::permissions(
            k.file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        ASSERT_TRUE(std::filesystem::exists(journal));
        EXPECT_EQ(FileBytes(journal), hot);
        std::filesystem::remove(journal);
        EXPECT_EQ(Dump(k.file), readable);
    }
    // Beside its own file it still rolls back.
    EXPECT_EQ(Dump(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// A journal the previous release left (the old header, no state checksum) still rolls back
// its file; checked by the file's length, it is refused beside a file too short for it.
TEST_F(TwoTables, AJournalOfThePreviousLayoutStillRollsBack) {
    const std::string before = Dump(base);
    const long writes = Run(-1);
    Run(writes - 2);
    journal::Contents c = journal::Decode(FileBytes(path + "-journal"));
    ASSERT_TRUE(c.valid);
    ASSERT_FALSE(c.pages.empty());
    std::vector<uint8_t> old;
    journal::AppendHeader(old, {c.header.pageSize, c.header.originalLength, c.header.salt, 0, 0,
                                journal::kOldVersion});
    for (const journal::SavedPage& page : c.pages)
        journal::AppendRecord(old, c.header.salt, page.offset, page.bytes);
    auto place = [&](const std::string& file) {
        std::ofstream(file + "-journal", std::ios::binary)
            .write(reinterpret_cast<const char*>(old.data()),
                   static_cast<std::streamsize>(old.size()));
    };
    // One of a later format version is neither played nor removed.
    std::vector<uint8_t> later = old;
    bytes::PutU32(later, 8, journal::kVersion + 1);
    std::ofstream(path + "-journal", std::ios::binary)
        .write(reinterpret_cast<const char*>(later.data()),
               static_cast<std::streamsize>(later.size()));
    const std::vector<uint8_t> crashed = FileBytes(path);
    EXPECT_NE(ErrorOf([&] { TestHost host(path); }).find("written by a later release"),
              std::string::npos);
    EXPECT_EQ(FileBytes(path), crashed);
    EXPECT_EQ(FileBytes(path + "-journal"), later);

    place(path);
    EXPECT_EQ(Dump(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));

    const std::string small = dir.file("small.tdb");
    TTarnDBCreator::CreateDatabase(small);
    const std::vector<uint8_t> bytes = FileBytes(small);
    place(small);
    EXPECT_NE(ErrorOf([&] { TestHost host(small); }).find("does not belong"), std::string::npos);
    EXPECT_EQ(FileBytes(small), bytes);
    EXPECT_TRUE(std::filesystem::exists(small + "-journal"));
}

// Appended bytes that go to the file early (past the spill threshold) are written only once
// the journal's header, which records the file's original length, is in place: a crash at
// any point before the commit point reopens as the very bytes the file held.
TEST_F(TwoTables, AppendedBytesWrittenEarlyAreCutOffByTheRecovery) {
    const std::vector<uint8_t> original = FileBytes(base);
    const std::string before = Dump(base);
    bool spilled = false;
    Work import = [&](TTarnDBFileIO& io, TTarnTableIO& docs, TTarnTableIO&) {
        io.SetSyncCommit(sync);
        io.SetSpillBytes(16 * 1024);
        io.BeginTransaction();
        for (int i = 0; i < 6; ++i) {
            RecordBuffer d(docs);
            d.SetString(1, "big" + std::to_string(i));
            d.SetBlob(2, std::string(40000, static_cast<char>('p' + i)));
            d.Append();
        }
        spilled = std::filesystem::file_size(path) > original.size();
        io.CommitTransaction();
    };
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "SyncCommit on" : "SyncCommit off");
        sync = on;
        const long writes = Run(-1, import);
        ASSERT_TRUE(spilled) << "nothing was written before the commit";
        const std::string after = Dump(path);
        int cut = 0;
        for (long n = 0; n < writes; ++n) {
            SCOPED_TRACE("crash after write " + std::to_string(n) + " of " +
                         std::to_string(writes));
            Run(n, import);
            const std::string now = Dump(path);  // the open rolls a journal back
            if (now == after) continue;
            EXPECT_EQ(now, before);
            EXPECT_EQ(FileBytes(path), original) << "bytes of the killed import stayed behind";
            cut += n > 0;
        }
        EXPECT_GT(cut, 0);
    }
}

// A journal that cannot be made (its name taken by a directory or a FIFO, a folder the user
// may not write) fails the write with a message naming the journal, the database and what
// to do; nothing reaches the file. A journal that was played back but cannot be removed says
// that the folder must be writable.
TEST_F(TwoTables, AJournalThatCannotBeCreatedOrRemovedSaysWhyAndWhatToDo) {
    const std::string before = Dump(base);
    const std::vector<uint8_t> original = FileBytes(base);
    std::filesystem::copy_file(base, path);
    const std::string journal = std::filesystem::canonical(path).string() + "-journal";
    const std::string folder = std::filesystem::canonical(dir.path()).string();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool folderWritable;
        std::string cause;
    } cases[] = {
        {"a directory in the way", [&] { std::filesystem::create_directory(journal); }, true,
         "that name is taken by something that is not a journal (Is a directory); move it away"},
        {"a FIFO in the way", [&] { ASSERT_EQ(mkfifo(journal.c_str(), 0600), 0); }, true,
         "that name is taken by something that is not a journal (not a regular file (a FIFO))"},
        {"a folder the user may not write", [] {}, false,
         "the folder '" + folder + "' must be writable by this user"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        k.arrange();
        FaultEnv env;
        env.SetFoldersWritable(k.folderWritable);
        ScopedEnv scoped(&env);
        {
            TestHost host(path);
            TTarnTableIO docs(host, "Docs"), marks(host, "Marks");
            docs.AcquireTable();
            marks.AcquireTable();
            const std::string err = ErrorOf([&] { Transaction(host.io, docs, marks); });
            EXPECT_NE(err.find("Cannot create the journal '" + journal + "' of database file '" +
                               path + "': " + k.cause),
                      std::string::npos)
                << err;
            EXPECT_FALSE(host.io.InTransaction());
        }
        std::filesystem::remove(journal);
        EXPECT_EQ(FileBytes(path), original);
    }

    // A hot journal in a folder the user may not write: played back, it cannot be removed.
    const long writes = Run(-1);
    Run(writes - 2);
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
    {
        FaultEnv env;
        env.SetFoldersWritable(false);
        ScopedEnv scoped(&env);
        const std::string err = ErrorOf([&] { TestHost host(path); });
        EXPECT_NE(err.find("The journal '" + journal + "' of database file '" + path +
                           "' was rolled back, but it cannot be removed"),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find("the folder '" + folder + "' must be writable"), std::string::npos)
            << err;
    }
    EXPECT_EQ(Dump(path), before);  // played back again, and removed
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// ---- a blob rewritten in place outside a transaction ------------------------------------------

TEST(BlobRewriteCrash, AValueRewrittenInPlaceShowsTheOldOrTheNewValue) {
    TempDir dir;
    std::string base = dir.file("b.tdb"), path = dir.file("w.tdb");
    TTarnDBCreator::CreateDatabase(base);
    TTarnDBCreator::AddTable(base, "Docs", {{"name", ftString, 10}, {"body", ftMemo}});
    {
        TestHost host(base);
        TTarnTableIO t(host, "Docs");
        t.AcquireTable();
        RecordBuffer r(t);
        r.SetString(0, "one");
        r.SetBlob(1, std::string(100, 'a'));
        r.Append();
    }
    auto run = [&](long crashAfter) {
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        FaultEnv env;
        ScopedEnv scoped(&env);
        {
            TestHost host(path);
            TTarnTableIO t(host, "Docs");
            t.AcquireTable();
            env.ResetCounters();
            if (crashAfter >= 0) env.CrashAfterWrites(crashAfter);
            try {
                Set(t, 0, [](RecordBuffer& r) { r.SetBlob(1, std::string(50, 'b')); });
            } catch (const EInOutError&) {
                EXPECT_GE(crashAfter, 0);
            }
        }
        return env.Writes();
    };
    long writes = run(-1);
    for (long n = 0; n <= writes; ++n) {
        SCOPED_TRACE("crash after write " + std::to_string(n) + " of " + std::to_string(writes));
        run(n);
        TestHost host(path);
        TTarnTableIO t(host, "Docs");
        t.AcquireTable();
        RecordBuffer r(t);
        r.Fetch(0, 0);
        std::string v = r.BlobValue(1);
        EXPECT_TRUE(v == std::string(100, 'a') || v == std::string(50, 'b')) << v;
    }
}

}  // namespace
}  // namespace tarn
