// Compacting under faults: whatever write fails, the database stays as it was and the
// temporary file goes away.
#include "tarndb/compact.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/os/fault_env.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/table_io.h"
#include "tests/support/recording_env.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using tarn::testing::RecordBuffer;
using tarn::testing::TestHost;

std::string Bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(CompactFaults, AFailedWriteLeavesTheDatabaseAndNoTemporaryFile) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("f.tdb");
    TTarnDBCreator::CreateDatabase(db);
    TTarnDBCreator::AddTable(db, "t", {{"id", ftAutoInc}, {"name", ftString, 10}},
                             {{"byName", tiUnique, {"name"}}});
    {
        TestHost host(db);
        TTarnTableIO table(host, "t");
        table.AcquireTable();
        for (int i = 0; i < 30; ++i) {
            RecordBuffer rec(table);
            rec.SetString(1, "n" + std::to_string(i));
            TFieldBuffers fb = rec.Buffers();
            table.AddRecord(fb, false, nullptr);
        }
        for (int i = 0; i < 20; ++i) table.RemoveRecord(0, false);
    }
    const std::string original = Bytes(db);
    long writes;
    {
        FaultEnv counting;
        tarn::testing::ScopedEnv scoped(&counting);
        std::filesystem::copy_file(db, dir.file("copy.tdb"));
        CompactDatabase(dir.file("copy.tdb"), {});
        writes = counting.Writes();
        std::filesystem::remove(dir.file("copy.tdb"));
    }
    ASSERT_GT(writes, 5);
    for (long n = 1; n <= writes; ++n) {
        SCOPED_TRACE("write " + std::to_string(n) + " of " + std::to_string(writes) + " fails");
        {
            FaultEnv env;
            tarn::testing::ScopedEnv scoped(&env);
            env.FailWrite(n, ENOSPC, true);
            EXPECT_THROW(CompactDatabase(db, {}), Exception);
        }
        EXPECT_EQ(Bytes(db), original);
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename().string(), "f.tdb");
    }
    TCompactResult r = CompactDatabase(db, {});
    EXPECT_LT(r.sizeAfter, r.sizeBefore);
    EXPECT_EQ(r.sizeBefore, static_cast<int64_t>(original.size()));
    EXPECT_EQ(r.sizeAfter, static_cast<int64_t>(std::filesystem::file_size(db)));
}

TEST(CompactFaults, AnotherOpenDatabaseObjectKeepsItFromBeingReplaced) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("o.tdb");
    TTarnDBCreator::CreateDatabase(db);
    TTarnDBCreator::AddTable(db, "t", {{"v", ftInteger}});
    TestHost host(db);
    EXPECT_THROW(
        {
            try {
                CompactDatabase(db, {});
            } catch (const EDatabaseError& e) {
                EXPECT_NE(std::string(e.Message()).find("in use"), std::string::npos)
                    << e.Message();
                throw;
            }
        },
        EDatabaseError);
}

// The compacted file is on the disk before it takes the old one's name, and the rename is
// made durable before the compaction reports success: after a power cut the name holds the
// old file or the whole new one.
TEST(CompactDurability, TheCopyIsSyncedThenRenamedThenItsDirectorySynced) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("d.tdb");
    TTarnDBCreator::CreateDatabase(db);
    TTarnDBCreator::AddTable(db, "t", {{"name", ftString, 10}});
    {
        TestHost host(db);
        TTarnTableIO table(host, "t");
        table.AcquireTable();
        RecordBuffer rec(table);
        rec.SetString(0, "kept");
        rec.Append();
    }
    tarn::testing::RecordingEnv env;
    std::string temporary;
    bool renamedBeforeDirectorySync = false;
    env.onEvent = [&](const std::string& e) {
        if (e.starts_with("sync .d.tdb.compact-")) temporary = dir.file(e.substr(5));
        if (e == "syncdir d.tdb")
            renamedBeforeDirectorySync = !temporary.empty() && !std::filesystem::exists(temporary);
    };
    {
        tarn::testing::ScopedEnv scoped(&env);
        CompactDatabase(db, {});
    }
    std::string events;
    for (const std::string& e : env.events) events += e + "\n";
    SCOPED_TRACE(events);
    ASSERT_FALSE(temporary.empty()) << "the compacted copy was never synced";
    EXPECT_TRUE(renamedBeforeDirectorySync);
    EXPECT_EQ(env.events.back(), "syncdir d.tdb");
    TestHost host(db);
    TTarnTableIO table(host, "t");
    table.AcquireTable();
    EXPECT_EQ(table.RecordList(0).Count(), 1);
}

}  // namespace
}  // namespace tarn
