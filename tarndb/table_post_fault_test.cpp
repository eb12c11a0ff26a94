// A Post that the disk refuses: whichever of its writes fails (alone, or with every write
// after it as on a full disk), the file keeps the record as it was (a memo's old value
// included), the dataset stays in edit or insert state with every value the user set, and
// posting again stores them.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/os/fault_env.h"
#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

// Docs: id autoinc, name string (unique index), body memo.
class FailedPost : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("post.tdb");
    FaultEnv env;

    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        TTarnDBCreator::AddTable(path, "Docs",
                                 {{"id", ftAutoInc}, {"name", ftString, 12}, {"body", ftMemo}},
                                 {{"byName", tiUnique, {"name"}}});
        Session([](TTarnTable& t) {
            for (const char* name : {"ann", "bob", "cid"}) {
                t.Append();
                t.FieldByName("name")->SetAsString(name);
                t.FieldByName("body")->SetAsString(std::string(100, name[0]));
                t.Post();
            }
        });
    }

    // Opens the database and the table "Docs" under the fault env and hands it over.
    void Session(const std::function<void(TTarnTable&)>& work) {
        ScopedEnv scoped(&env);
        TTarnDatabase db(nullptr, "Db");
        db.SetDatabaseName("postdb");
        db.SetFileName(path);
        db.Open();
        TTarnTable t(nullptr, "Docs");
        t.SetDatabaseName("postdb");
        t.SetTableName("Docs");
        t.Open();
        work(t);
    }

    // Every row as "id|name|body" in physical order, read by a database object of its own.
    std::string Stored() {
        std::string out;
        TTarnDatabase db(nullptr, "Reader");
        db.SetDatabaseName("reader");
        db.SetFileName(path);
        db.Open();
        TTarnTable t(nullptr, "R");
        t.SetDatabaseName("reader");
        t.SetTableName("Docs");
        t.Open();
        for (t.First(); !t.Eof(); t.Next())
            out += t.FieldByName("id")->AsString() + "|" + t.FieldByName("name")->AsString() + "|" +
                   t.FieldByName("body")->AsString() + "\n";
        return out;
    }
};

TEST_F(FailedPost, KeepsTheStoredRecordAndTheEditedValuesAtEveryFailingWrite) {
    const std::string before = Stored();
    const std::string original = dir.file("original.tdb");
    std::filesystem::copy_file(path, original);
    auto restore = [&] {
        std::filesystem::copy_file(original, path,
                                   std::filesystem::copy_options::overwrite_existing);
    };
    struct Case {
        const char* what;
        bool insert;
        std::string body;
    } cases[] = {
        {"edit, memo shorter (rewritten in its area)", false, std::string(40, 'x')},
        {"edit, memo longer (moved to the end)", false, std::string(9000, 'y')},
        {"edit, memo emptied", false, ""},
        {"insert with a memo", true, std::string(5000, 'z')},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        auto change = [&](TTarnTable& t) {
            if (k.insert) {
                t.Append();
            } else {
                t.First();
                t.Next();
                t.Edit();
            }
            t.FieldByName("name")->SetAsString("new");
            t.FieldByName("body")->SetAsString(k.body);
        };
        // How many writes the post makes when nothing fails, and what it stores.
        long writes = 0;
        Session([&](TTarnTable& t) {
            change(t);
            env.ResetCounters();
            t.Post();
            writes = env.Writes();
        });
        const std::string after = Stored();
        ASSERT_GT(writes, 0);
        ASSERT_NE(after, before);
        // One write fails, or (the disk full) that one and every later one, the undo's too:
        // then the journal it leaves is played back by whoever takes the lock next.
        for (bool full : {false, true}) {
            for (long n = 1; n <= writes; ++n) {
                SCOPED_TRACE("write " + std::to_string(n) + " of " + std::to_string(writes) +
                             (full ? " and every later one fail" : " fails"));
                restore();
                Session([&](TTarnTable& t) {
                    change(t);
                    env.ResetCounters();
                    env.FailWrite(n, full ? ENOSPC : EIO, full);
                    EXPECT_THROW(t.Post(), EInOutError);
                    env.Clear();
                    EXPECT_EQ(t.State(), k.insert ? dsInsert : dsEdit);
                    EXPECT_EQ(t.FieldByName("name")->AsString(), "new");
                    EXPECT_EQ(t.FieldByName("body")->AsString(), k.body);
                    EXPECT_EQ(Stored(), before);
                    TCheckReport r = CheckDatabaseFile(path, {});
                    EXPECT_EQ(r.problemCount, 0) << r.unreadable;
                    // The retry stores what the user set.
                    t.Post();
                    EXPECT_EQ(t.State(), dsBrowse);
                });
                EXPECT_EQ(Stored(), after);
                TCheckReport r = CheckDatabaseFile(path, {});
                EXPECT_EQ(r.problemCount, 0) << r.unreadable;
            }
        }
        restore();
    }
}

}  // namespace
}  // namespace tarn
