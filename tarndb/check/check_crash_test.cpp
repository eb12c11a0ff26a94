// The checker on files left by a writer that died: every state the engine's write order
// can leave (an append or a key move stopped after any of its writes) is one the engine
// opens correctly, so the checker must not call it damage. It says what it found in a note,
// and the engine's next open for writing clears it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/os/fault_env.h"
#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/table_io.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using tarn::testing::RecordBuffer;
using tarn::testing::TestHost;

std::string Report(const TCheckReport& r) {
    std::string s = r.unreadable;
    for (const TCheckProblem& p : r.problems)
        s += "\nproblem: record " + std::to_string(p.record) + ": " + p.text;
    for (const std::string& n : r.notes) s += "\nnote: " + n;
    return s;
}

// Table "t": id autoinc, name string:10 (unique, case-blind), score integer (descending),
// 20 records.
class CrashLeftFiles : public ::testing::Test {
protected:
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(base);
        TTarnDBCreator::AddTable(base, "t",
                                 {{"id", ftAutoInc}, {"name", ftString, 10}, {"score", ftInteger}},
                                 {{"byName", tiUnique | tiCaseInsensitive, {"name"}},
                                  {"byScore", tiDescending, {"score"}}});
        TestHost host(base);
        TTarnTableIO table(host, "t");
        table.AcquireTable();
        for (int i = 0; i < 20; ++i) Add(table, "n" + std::to_string(i * 7 % 20), i % 5);
    }

    static void Add(TTarnTableIO& table, const std::string& name, int score) {
        RecordBuffer rec(table);
        rec.SetString(1, name);
        rec.SetInt(2, score);
        TFieldBuffers fb = rec.Buffers();
        table.AddRecord(fb, false, nullptr);
    }
    static void Set(TTarnTableIO& table, int p, const std::string& name, int score) {
        RecordBuffer rec(table);
        rec.Fetch(0, p);
        rec.SetString(1, name);
        rec.SetInt(2, score);
        TFieldBuffers fb = rec.Buffers();
        table.ModifyRecord(fb, p, false, nullptr);
    }

    // Runs `op` on a copy of the base file once for each of its writes, the process "dying"
    // after that write, and hands each crashed file to `inspect`.
    void EveryCrash(const std::function<void(TTarnTableIO&)>& op,
                    const std::function<void(long n)>& inspect) {
        long writes;
        {
            std::filesystem::copy_file(base, path,
                                       std::filesystem::copy_options::overwrite_existing);
            FaultEnv counting;
            tarn::testing::ScopedEnv scoped(&counting);
            TestHost host(path);
            TTarnTableIO table(host, "t");
            table.AcquireTable();
            counting.ResetCounters();
            op(table);
            writes = counting.Writes();
        }
        ASSERT_GE(writes, 3);
        for (long n = 1; n < writes; ++n) {
            SCOPED_TRACE("crash after write " + std::to_string(n) + " of " +
                         std::to_string(writes));
            std::filesystem::copy_file(base, path,
                                       std::filesystem::copy_options::overwrite_existing);
            {
                FaultEnv env;
                tarn::testing::ScopedEnv scoped(&env);
                TestHost host(path);
                TTarnTableIO table(host, "t");
                table.AcquireTable();
                env.ResetCounters();
                env.CrashAfterWrites(n);
                EXPECT_THROW(op(table), EInOutError);
            }
            inspect(n);
        }
    }

    tarn::testing::TempDir dir;
    std::string base = dir.file("base.tdb");
    std::string path = dir.file("crashed.tdb");
};

TEST_F(CrashLeftFiles, NoCrashPointIsReportedAsDamage) {
    struct Op {
        const char* name;
        std::function<void(TTarnTableIO&)> run;
    } ops[] = {
        // Into the middle of one index, at the front of the other.
        {"append", [](TTarnTableIO& t) { Add(t, "n10a", 100); }},
        // At the end of one index, the front of the other.
        {"append at the ends", [](TTarnTableIO& t) { Add(t, "zz", -1); }},
        // Moves in both indexes, one of them to the front.
        {"rewrite", [](TTarnTableIO& t) { Set(t, 7, "a", 999); }},
        {"rewrite to the end", [](TTarnTableIO& t) { Set(t, 0, "zz", -5); }},
    };
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        int noted = 0;
        EveryCrash(op.run, [&](long) {
            TCheckReport r = CheckDatabaseFile(path, {});
            EXPECT_EQ(r.problemCount, 0) << Report(r);
            if (!r.notes.empty()) ++noted;
        });
        EXPECT_GT(noted, 0) << "no crash point left a trace worth a note";
    }
}

bool HasNote(const TCheckReport& r, const std::string& text) {
    for (const std::string& n : r.notes)
        if (n.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(CrashLeftFiles, TheTraceIsCalledRepairableAndTheNextOpenForWritingClearsIt) {
    // An append that linked its record into the chains and died before counting it.
    long commitWrite = 0;
    std::string linked = dir.file("linked.tdb");
    EveryCrash([](TTarnTableIO& t) { Add(t, "n10a", 100); },
               [&](long n) {
                   if (CheckDatabaseFile(path, {}).notes.empty()) return;
                   commitWrite = n;
                   std::filesystem::copy_file(path, linked,
                                              std::filesystem::copy_options::overwrite_existing);
               });
    ASSERT_GT(commitWrite, 0);
    TCheckReport found = CheckDatabaseFile(linked, {});
    EXPECT_EQ(found.problemCount, 0) << Report(found);
    EXPECT_TRUE(HasNote(found, "table 't', index 'byName': the chain passes through record 20"))
        << Report(found);
    EXPECT_EQ(found.tables, 1);
    EXPECT_EQ(found.records, 20);
    EXPECT_EQ(found.indexes, 2);

    // Any open of the file for writing puts the chains in order.
    {
        TestHost host(linked);
        TTarnTableIO table(host, "t");
        table.AcquireTable();
        EXPECT_EQ(table.RecordList(1).Count(), 20);
    }
    TCheckReport after = CheckDatabaseFile(linked, {});
    EXPECT_EQ(after.problemCount, 0) << Report(after);
    EXPECT_TRUE(after.notes.empty()) << Report(after);

    // An interrupted key move: the record marked as moving is out of place in the chains.
    bool marked = false;
    EveryCrash([](TTarnTableIO& t) { Set(t, 7, "a", 999); },
               [&](long) {
                   TCheckReport r = CheckDatabaseFile(path, {});
                   if (HasNote(r, "table 't': a rewrite of record 7")) marked = true;
               });
    EXPECT_TRUE(marked);
}

}  // namespace
}  // namespace tarn
