// The auto-increment counter after an append whose writes were torn: whichever write of the
// append lands only in part, the next append (by the same table object or after a fresh
// open) hands out a value no live record holds. A counter found below a stored value is
// raised on disk by a writable open and left alone by a read-only one.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/os/fault_env.h"
#include "tarndb/creator.h"
#include "tarndb/errors.h"
#include "tarndb/table_io.h"
#include "tests/support/table_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using namespace tarn::format;
using testing::RecordBuffer;
using testing::TempDir;
using testing::TestHost;

namespace fs = std::filesystem;

class TornAutoInc : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("ids.tdb");
    std::string base = dir.file("base.tdb");

    // "Plain" has no index; "Keyed" has its ids under a primary index, so a repeated value
    // is refused there instead of stored.
    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "Plain", {{"ID", ftAutoInc}, {"Name", ftString, 10}});
        TTarnDBCreator::AddTable(
            path, "Keyed", {{"ID", ftAutoInc}, {"Name", ftString, 10}},
            {{"PK", tiPrimary, {"ID"}}, {"ByName", tiCaseInsensitive, {"Name"}}});
        for (const char* table : {"Plain", "Keyed"}) {
            TestHost host(path);
            TTarnTableIO t(host, table);
            t.AcquireTable();
            // 1 and 2 handed out, then 65535 given: the next value handed out is 0x00010000,
            // whose counter write torn in half reads 0 (every byte of 0x0000FFFF changes).
            for (int32_t id : {0, 0, 65535}) Append(t, id, "r" + std::to_string(id));
        }
        fs::copy_file(path, base);
    }

    static int32_t Append(TTarnTableIO& t, int32_t id, const std::string& name) {
        RecordBuffer rec(t);
        rec.SetInt(0, id);
        rec.SetString(1, name);
        rec.Append();
        return rec.Int(0);
    }

    // The ids of the live records of `table`, read by a fresh open.
    std::vector<int32_t> Ids(const std::string& table) {
        TestHost host(path);
        TTarnTableIO t(host, table);
        t.AcquireTable();
        std::vector<int32_t> ids;
        for (int p = 0; p < t.RecordList(0).Count(); ++p) {
            RecordBuffer rec(t);
            rec.Fetch(0, p);
            ids.push_back(rec.Int(0));
        }
        return ids;
    }

    int32_t DiskCounter(int tableNo) {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(tableNo, h);
        return h.AutoIncCounter();
    }

    void SetDiskCounter(int tableNo, int32_t value) {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(tableNo, h);
        h.SetAutoIncCounter(value);
        io.WriteTableHeader(tableNo, h);
    }
};

TEST_F(TornAutoInc, NoValueIsHandedOutTwiceAfterATornWriteAnywhereInAnAppend) {
    for (const char* table : {"Plain", "Keyed"}) {
        long writes = 0;
        {
            FaultEnv counting;
            testing::ScopedEnv scoped(&counting);
            TestHost host(path);
            TTarnTableIO t(host, table);
            t.AcquireTable();
            counting.ResetCounters();
            EXPECT_EQ(Append(t, 0, "new"), 65536);
            writes = counting.Writes();
        }
        ASSERT_GE(writes, 3);
        for (bool sameObject : {true, false}) {
            for (long n = 1; n <= writes; ++n) {
                SCOPED_TRACE(std::string(table) + ": write " + std::to_string(n) + " of " +
                             std::to_string(writes) + " torn, next append by " +
                             (sameObject ? "the same table object" : "a fresh open"));
                fs::copy_file(base, path, fs::copy_options::overwrite_existing);
                {
                    FaultEnv env;
                    testing::ScopedEnv scoped(&env);
                    TestHost host(path);
                    TTarnTableIO t(host, table);
                    t.AcquireTable();
                    env.ResetCounters();
                    env.ShortWrite(n);
                    EXPECT_THROW(Append(t, 0, "torn"), EInOutError);
                    if (sameObject) {
                        env.Clear();
                        EXPECT_NO_THROW(Append(t, 0, "next"));
                    }
                }
                if (!sameObject) {
                    TestHost host(path);
                    TTarnTableIO t(host, table);
                    t.AcquireTable();
                    EXPECT_NO_THROW(Append(t, 0, "next"));
                }
                std::vector<int32_t> ids = Ids(table);
                std::set<int32_t> distinct(ids.begin(), ids.end());
                EXPECT_EQ(distinct.size(), ids.size()) << "an id is stored twice";
                ASSERT_GE(ids.size(), 4u);
                // The value just handed out is above every other one.
                EXPECT_EQ(ids.back(), *distinct.rbegin());
            }
        }
    }
}

// An indexed table's open reads its whole record table when it may write the file, and
// mends the counter there; a table without an index does it at its first write.
TEST_F(TornAutoInc, ACounterBelowAStoredValueIsRaisedBeforeAnyValueIsHandedOut) {
    struct Case {
        int32_t counter;  // as the damage left it
        const char* what;
    } cases[] = {{65534, "one below the last record's value"},
                 {0, "a torn counter that reads 0"},
                 {2, "equal to a value below the last"}};
    for (const Case& c : cases) {
        for (bool readOnly : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (readOnly ? ", read-only" : ", writable"));
            fs::copy_file(base, path, fs::copy_options::overwrite_existing);
            fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
            SetDiskCounter(0, c.counter);
            SetDiskCounter(1, c.counter);
            if (readOnly)
                fs::permissions(
                    path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
            {
                TestHost host(path);
                TTarnTableIO t(host, "Keyed");
                t.AcquireTable();
                EXPECT_EQ(t.RecordList(0).Count(), 3);
            }
            EXPECT_EQ(DiskCounter(1), readOnly ? c.counter : 65535) << "opening Keyed";
            if (readOnly) {
                EXPECT_EQ(DiskCounter(0), c.counter);
                fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
                continue;
            }
            TestHost host(path);
            TTarnTableIO t(host, "Plain");
            t.AcquireTable();
            EXPECT_EQ(Append(t, 0, "next"), 65536);
            EXPECT_EQ(DiskCounter(0), 65536);
        }
    }
    // A counter above every stored value is as it should be: it is left as it is.
    fs::copy_file(base, path, fs::copy_options::overwrite_existing);
    SetDiskCounter(1, 70000);
    {
        TestHost host(path);
        TTarnTableIO t(host, "Keyed");
        t.AcquireTable();
        EXPECT_EQ(Append(t, 0, "next"), 70001);
    }
    EXPECT_EQ(DiskCounter(1), 70001);
}

// Encrypted ids are decrypted before they are compared with the counter.
TEST(TornAutoIncEncrypted, TheStoredValuesAreReadDecrypted) {
    TempDir dir;
    const std::string path = dir.file("secret.tdb");
    TDatabaseSettings settings;
    settings.encrypted = true;
    settings.encryptModule = "Blowfish";
    settings.password = "pw";
    TTarnDBCreator::CreateDatabase(path, settings);
    TTarnDBCreator::AddTable(path, "Keyed", {{"ID", ftAutoInc}, {"Name", ftString, 10}},
                             {{"PK", tiPrimary, {"ID"}}});
    auto append = [](TTarnTableIO& t, int32_t id) {
        RecordBuffer rec(t);
        rec.SetInt(0, id);
        rec.SetString(1, "n");
        rec.Append();
        return rec.Int(0);
    };
    auto counter = [&] {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        return h.AutoIncCounter();
    };
    {
        TestHost host(path);
        ASSERT_TRUE(host.io.CheckPassword("pw"));
        TTarnTableIO t(host, "Keyed");
        t.AcquireTable();
        for (int32_t id : {0, 0, 300}) append(t, id);
    }
    {
        TTarnDBFileIO io(nullptr, TTarnDBMediumType::mtDisk, false);
        io.OpenStorage(path, TTarnDBMediumType::mtDisk, false);
        TableHeader h;
        io.ReadTableHeader(0, h);
        h.SetAutoIncCounter(1);
        io.WriteTableHeader(0, h);
    }
    TestHost host(path);
    ASSERT_TRUE(host.io.CheckPassword("pw"));
    TTarnTableIO t(host, "Keyed");
    t.AcquireTable();
    EXPECT_EQ(counter(), 300);
    EXPECT_EQ(append(t, 0), 301);
}

}  // namespace
}  // namespace tarn
