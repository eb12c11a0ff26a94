// Transactions on a database: the API's rules, what other database objects see, and what a
// rollback (asked for, or by a close) gives back to the tables and their open datasets.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/os/env.h"
#include "platform/os/fault_env.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"
#include "tarndb/session.h"
#include "tarndb/table.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

// Two tables: People (id autoinc, name unique-indexed, notes memo) and Tags (person
// integer indexed, tag string).
void AddTables(const std::string& database) {
    TTarnDBCreator::AddTable(database, "People",
                             {{"id", ftAutoInc}, {"name", ftString, 20}, {"notes", ftMemo}},
                             {{"byName", tiUnique, {"name"}}});
    TTarnDBCreator::AddTable(database, "Tags", {{"person", ftInteger}, {"tag", ftString, 10}},
                             {{"byPerson", {}, {"person"}}});
}

void AddPerson(TTarnTable& t, const std::string& name, const std::string& notes) {
    t.Append();
    t.FieldByName("name")->SetAsString(name);
    t.FieldByName("notes")->SetAsString(notes);
    t.Post();
}

void AddTag(TTarnTable& t, int person, const std::string& tag) {
    t.Append();
    t.FieldByName("person")->SetAsInteger(person);
    t.FieldByName("tag")->SetAsString(tag);
    t.Post();
}

// Every row in the order of the current index, one line each.
std::string Rows(TTarnTable& t) {
    std::string out;
    for (t.First(); !t.Eof(); t.Next()) {
        for (int i = 0; i < t.FieldCount(); ++i) out += t.Fields(i)->AsString() + "|";
        out += "\n";
    }
    return out;
}

class Transactions : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("tx.tdb");
    TTarnDatabase db{nullptr, "Db"};
    TTarnTable people{nullptr, "People"}, tags{nullptr, "Tags"};

    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        AddTables(path);
        db.SetDatabaseName("txdb");
        db.SetFileName(path);
        db.Open();
        Open(people, "People");
        Open(tags, "Tags");
        AddPerson(people, "ann", std::string(100, 'a'));
        AddPerson(people, "bob", "short");
        AddPerson(people, "cid", std::string(3000, 'c'));
        AddTag(tags, 1, "x");
        AddTag(tags, 2, "y");
    }
    void Open(TTarnTable& t, const std::string& table, const std::string& index = "") {
        t.SetDatabaseName("txdb");
        t.SetTableName(table);
        t.SetIndexName(index);
        t.Open();
    }
    // A second database object on the same file, as another program would have it.
    std::string ReadElsewhere(const std::string& table, const std::string& index = "") {
        TTarnDatabase other(nullptr, "Other");
        other.SetDatabaseName("elsewhere");
        other.SetFileName(path);
        other.Open();
        TTarnTable t(nullptr, "T");
        t.SetDatabaseName("elsewhere");
        t.SetTableName(table);
        t.SetIndexName(index);
        t.Open();
        return Rows(t);
    }
    // Appends, edits (a blob value rewritten shorter, in its old area; the key moved), and
    // deletes in both tables.
    void ChangeEverything() { ChangeEverything(people, tags); }
    static void ChangeEverything(TTarnTable& people, TTarnTable& tags) {
        AddPerson(people, "dan", "new notes");
        people.First();
        people.Edit();
        people.FieldByName("name")->SetAsString("zed");
        people.FieldByName("notes")->SetAsString(std::string(50, 'b'));
        people.Post();
        people.Last();
        people.Prior();
        people.Delete();
        AddTag(tags, 3, "z");
        tags.First();
        tags.Delete();
    }
};

TEST_F(Transactions, TheRulesOfStartingAndEnding) {
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(ErrorOf([&] { db.Commit(); }), "Db: No transaction is active");
    EXPECT_EQ(ErrorOf([&] { db.Rollback(); }), "Db: No transaction is active");
    db.StartTransaction();
    EXPECT_TRUE(db.InTransaction());
    EXPECT_EQ(ErrorOf([&] { db.StartTransaction(); }), "Db: A transaction is already active");
    db.Commit();
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(ErrorOf([&] { db.Commit(); }), "Db: No transaction is active");
    db.StartTransaction();
    db.Rollback();
    EXPECT_FALSE(db.InTransaction());

    TTarnDatabase closed(nullptr, "Closed");
    EXPECT_EQ(ErrorOf([&] { closed.StartTransaction(); }),
              "Closed: Cannot perform this operation on a closed database");
}

TEST_F(Transactions, OthersReadTheStateBeforeMeanwhileAndWaitToWrite) {
    std::string peopleBefore = ReadElsewhere("People"), tagsBefore = ReadElsewhere("Tags");
    db.StartTransaction();
    ChangeEverything();
    std::string peopleAfter = Rows(people), tagsAfter = Rows(tags);
    EXPECT_NE(peopleAfter, peopleBefore);

    TTarnSession& session = Sessions().DefaultSession();
    int retries = session.LockRetryCount(), wait = session.LockWaitTime();
    session.SetLockRetryCount(2);
    session.SetLockWaitTime(1);
    // The transaction's writes are its own until Commit: readers elsewhere do not wait for
    // it, and read the last committed state.
    EXPECT_EQ(ReadElsewhere("People"), peopleBefore);
    EXPECT_EQ(ReadElsewhere("Tags"), tagsBefore);
    // A writer elsewhere waits for the whole transaction and says why it gave up; a
    // transaction elsewhere does not even start.
    {
        TTarnDatabase other(nullptr, "Other");
        other.SetDatabaseName("elsewhere");
        other.SetFileName(path);
        other.Open();
        TTarnTable t(nullptr, "T");
        t.SetDatabaseName("elsewhere");
        t.SetTableName("Tags");
        t.Open();
        const std::string timeOut = "Wait for unlock time out: database file '" + path +
                                    "' is locked by another connection's transaction";
        t.Append();
        t.FieldByName("person")->SetAsInteger(9);
        EXPECT_EQ(ErrorOf([&] { t.Post(); }), timeOut);
        t.Cancel();
        EXPECT_EQ(ErrorOf([&] { other.StartTransaction(); }), timeOut);
        EXPECT_FALSE(other.InTransaction());
    }
    session.SetLockRetryCount(retries);
    session.SetLockWaitTime(wait);

    db.Commit();
    EXPECT_EQ(ReadElsewhere("People"), peopleAfter);
    EXPECT_EQ(ReadElsewhere("Tags"), tagsAfter);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// Sleeps as asked, and counts the sleeps: a reader's waits for the lock.
class SleepCountingEnv : public EnvWrapper {
public:
    SleepCountingEnv() : EnvWrapper(Env::Default()) {}
    std::atomic<int> sleeps{0};
    void SleepMs(int ms) override {
        ++sleeps;
        EnvWrapper::SleepMs(ms);
    }
};

// Another process holds a transaction: a reader here does not wait for it and reads the
// state before it, and while it commits (or rolls back) reads the whole transaction or
// nothing of it, never a part, in one table or across two.
TEST_F(Transactions, AnotherProcessesTransactionIsSeenWholeOrNotAtAll) {
    testing::TQuietTimers quietTimers;  // the test forks
    const std::string peopleBefore = ReadElsewhere("People"), tagsBefore = ReadElsewhere("Tags");
    db.StartTransaction();
    ChangeEverything();
    const std::string peopleAfter = Rows(people), tagsAfter = Rows(tags);
    db.Rollback();
    ASSERT_NE(peopleAfter, peopleBefore);
    ASSERT_NE(tagsAfter, tagsBefore);
    TTarnSession& session = Sessions().DefaultSession();
    const int retries = session.LockRetryCount(), wait = session.LockWaitTime();

    for (bool commit : {false, true}) {  // a rollback leaves the state before for the next
        SCOPED_TRACE(commit ? "commit" : "rollback");
        int written[2], go[2];
        ASSERT_EQ(pipe(written), 0);
        ASSERT_EQ(pipe(go), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Objects of its own (an open inherited from the parent would share its lock).
            int status = 1;
            try {
                TTarnDatabase kid(nullptr, "Kid");
                kid.SetDatabaseName("kid");
                kid.SetFileName(path);
                kid.Open();
                TTarnTable p(nullptr, "P"), t(nullptr, "T");
                for (auto [table, name] : {std::pair{&p, "People"}, std::pair{&t, "Tags"}}) {
                    table->SetDatabaseName("kid");
                    table->SetTableName(name);
                    table->Open();
                }
                kid.StartTransaction();
                ChangeEverything(p, t);
                char c = 'w', g = 0;
                if (write(written[1], &c, 1) == 1 && read(go[0], &g, 1) == 1) {
                    // Long enough for the reader to read meanwhile.
                    usleep(300 * 1000);
                    if (commit)
                        kid.Commit();
                    else
                        kid.Rollback();
                    status = 0;
                }
            } catch (...) {
                status = 2;
            }
            _exit(status);  // nothing of the test framework runs in the child
        }
        close(written[1]);
        close(go[0]);
        char c = 0;
        ASSERT_EQ(read(written[0], &c, 1), 1) << "the child did not write";

        // The transaction keeps its writes until it ends: readers here go on at once.
        session.SetLockRetryCount(2);
        session.SetLockWaitTime(1);
        SleepCountingEnv env;
        {
            ScopedEnv scoped(&env);
            EXPECT_EQ(ReadElsewhere("People"), peopleBefore);
            EXPECT_EQ(ReadElsewhere("Tags"), tagsBefore);
        }
        EXPECT_EQ(env.sleeps.load(), 0) << "a reader waited for a transaction being built";
        // While it ends, both tables read in one read transaction show one state of them.
        session.SetLockRetryCount(500);
        session.SetLockWaitTime(1);
        ASSERT_EQ(write(go[1], "g", 1), 1);
        TTarnDatabase other(nullptr, "Other");
        other.SetDatabaseName("elsewhere");
        other.SetFileName(path);
        other.Open();
        TTarnTable p(nullptr, "P"), t(nullptr, "T");
        for (auto [table, name] : {std::pair{&p, "People"}, std::pair{&t, "Tags"}}) {
            table->SetDatabaseName("elsewhere");
            table->SetTableName(name);
            table->Open();
        }
        int status = -1, rounds = 0, mixed = 0;
        pid_t ended = 0;
        std::string peopleSeen, tagsSeen;
        do {
            ended = waitpid(child, &status, WNOHANG);
            TTarnReadTransaction snapshot(other);
            p.Refresh();
            t.Refresh();
            peopleSeen = Rows(p);
            tagsSeen = Rows(t);
            const bool before = peopleSeen == peopleBefore && tagsSeen == tagsBefore;
            const bool after = peopleSeen == peopleAfter && tagsSeen == tagsAfter;
            mixed += !before && !after;
            ++rounds;
        } while (ended == 0);
        session.SetLockRetryCount(retries);
        session.SetLockWaitTime(wait);
        close(written[0]);
        close(go[1]);
        ASSERT_EQ(ended, child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(mixed, 0) << "of " << rounds << " rounds";
        EXPECT_EQ(peopleSeen, commit ? peopleAfter : peopleBefore);
        EXPECT_EQ(tagsSeen, commit ? tagsAfter : tagsBefore);
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }
}

TEST_F(Transactions, RollbackRestoresEveryTableAndRefreshesOpenDatasets) {
    TTarnTable byName(nullptr, "ByName");
    Open(byName, "People", "byName");
    std::string peopleBefore = Rows(people), byNameBefore = Rows(byName), tagsBefore = Rows(tags);
    std::string byPersonBefore = ReadElsewhere("Tags", "byPerson");
    int64_t sizeBefore = std::filesystem::file_size(path);

    db.StartTransaction();
    ChangeEverything();
    byName.Refresh();
    EXPECT_NE(Rows(byName), byNameBefore);  // the transaction's own changes show at once
    // A dataset on a row the rollback takes away moves to one that is left (here after an
    // append the table refused, as an import's last row may be).
    AddPerson(people, "fay", "");
    AddPerson(people, "gus", "");
    EXPECT_THROW(AddPerson(people, "fay", ""), EDatabaseError);
    people.Cancel();
    // An edit in progress when the rollback comes is cancelled.
    tags.First();
    tags.Edit();
    tags.FieldByName("tag")->SetAsString("pending");
    db.Rollback();

    EXPECT_EQ(tags.State(), dsBrowse);
    EXPECT_EQ(people.FieldByName("name")->AsString(), "cid");
    EXPECT_EQ(Rows(people), peopleBefore);
    EXPECT_EQ(Rows(byName), byNameBefore);
    EXPECT_EQ(Rows(tags), tagsBefore);
    EXPECT_EQ(ReadElsewhere("People", "byName"), byNameBefore);
    EXPECT_EQ(ReadElsewhere("Tags", "byPerson"), byPersonBefore);
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(path)), sizeBefore);

    // The auto-increment counter went back too: the next person is number 4 again.
    AddPerson(people, "eve", "");
    EXPECT_EQ(people.FieldByName("id")->AsInteger(), 4);
}

TEST_F(Transactions, ClosingTheDatabaseRollsBack) {
    std::string before = Rows(people);
    db.StartTransaction();
    ChangeEverything();
    db.Close();
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(ReadElsewhere("People"), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// A Commit that fails has ended its transaction either way; LastCommitCommitted says which
// way: no space for the journal, before the commit point, rolled it back; a directory sync
// refused after the journal's removal (the commit point) leaves it committed. The documented
// pattern `try { ...; Commit(); } catch (...) { Rollback(); throw; }` passes on the Commit's
// own error, not "No transaction is active".
TEST_F(Transactions, AFailedCommitSaysWhetherItCommittedAndTheDocumentedPatternKeepsItsError) {
    class FailingDirectorySync : public FaultEnv {
    public:
        int calls = 0, failAt = 0;
        void SyncDirectoryOf(const std::string& file) override {
            if (++calls == failAt) throw EInOutError("directory sync refused (injected)");
            FaultEnv::SyncDirectoryOf(file);
        }
    };
    const std::string before = Rows(people);
    std::string after;
    auto commitAsDocumented = [&] {
        db.StartTransaction();
        try {
            ChangeEverything();
            after = Rows(people);
            db.Commit();
        } catch (...) {
            db.Rollback();
            throw;
        }
    };
    struct Case {
        const char* what;
        std::function<void(FailingDirectorySync&)> arm;
        std::string error;
        bool committed;
    } cases[] = {
        {"no space left for the journal",
         [](FailingDirectorySync& env) { env.FailWrite(1, ENOSPC); }, std::strerror(ENOSPC), false},
        {"the directory sync after the journal's removal refused",
         [](FailingDirectorySync& env) { env.failAt = 2; }, "directory sync refused (injected)",
         true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const std::string start = Rows(people);
        FailingDirectorySync env;
        ScopedEnv scoped(&env);
        k.arm(env);
        const std::string err = ErrorOf(commitAsDocumented);
        EXPECT_NE(err.find(k.error), std::string::npos) << err;
        EXPECT_FALSE(db.InTransaction());
        EXPECT_EQ(db.LastCommitCommitted(), k.committed);
        EXPECT_EQ(Rows(people), k.committed ? after : start);
        EXPECT_EQ(ReadElsewhere("People"), k.committed ? after : start);
        EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    }
    EXPECT_NE(Rows(people), before);
    // A Commit that succeeds says so, and a Rollback with nothing begun is an error again.
    db.StartTransaction();
    AddPerson(people, "fay", "");
    db.Commit();
    EXPECT_TRUE(db.LastCommitCommitted());
    EXPECT_EQ(ErrorOf([&] { db.Rollback(); }), "Db: No transaction is active");
}

TEST_F(Transactions, ClosingTheLastDatasetKeepsTheTransaction) {
    db.StartTransaction();
    AddPerson(people, "dan", "kept");
    people.Close();
    tags.Close();  // the database would disconnect here without a transaction
    EXPECT_TRUE(db.Connected());
    ASSERT_TRUE(db.InTransaction());
    db.Commit();
    EXPECT_NE(ReadElsewhere("People").find("dan|kept|"), std::string::npos);
}

TEST_F(Transactions, WithoutSyncCommitTheResultIsTheSame) {
    db.SetSyncCommit(false);
    db.StartTransaction();
    ChangeEverything();
    std::string after = Rows(people);
    db.Commit();
    EXPECT_EQ(ReadElsewhere("People"), after);
}

TEST_F(Transactions, ManyBlobValuesInOneTransaction) {
    // More appended bytes than one chunk of those kept in memory until the commit.
    db.SetSyncCommit(false);
    db.StartTransaction();
    for (int i = 0; i < 600; ++i)
        AddPerson(people, "p" + std::to_string(i),
                  std::string(4096, static_cast<char>('a' + i % 26)));
    db.Commit();
    TTarnTable byName(nullptr, "ByName");
    Open(byName, "People", "byName");
    int seen = 0;
    for (byName.First(); !byName.Eof(); byName.Next()) {
        std::string name = byName.FieldByName("name")->AsString();
        if (name[0] != 'p') continue;
        int i = std::stoi(name.substr(1));
        EXPECT_EQ(byName.FieldByName("notes")->AsString(),
                  std::string(4096, static_cast<char>('a' + i % 26)))
            << name;
        ++seen;
    }
    EXPECT_EQ(seen, 600);
}

TEST(MemoryTransactions, RollbackRestoresTheImage) {
    TMemoryStream image(TTarnDBCreator::CreateImage());
    std::string name = RegisterMemoryStream(&image);
    AddTables(name);
    {
        TTarnDatabase db(nullptr, "Mem");
        db.SetDatabaseName("memdb");
        db.SetMediumType(TTarnDBMediumType::mtMemory);
        db.SetFileName(name);
        db.Open();
        TTarnTable people(nullptr, "P");
        people.SetMediumType(TTarnDBMediumType::mtMemory);
        people.SetDatabaseName("memdb");
        people.SetTableName("People");
        people.Open();
        AddPerson(people, "ann", std::string(100, 'a'));
        std::string before = Rows(people);
        int64_t size = image.Size();
        std::string bytes(reinterpret_cast<const char*>(image.Memory()), static_cast<size_t>(size));

        db.StartTransaction();
        AddPerson(people, "bob", "b");
        people.First();
        people.Edit();
        people.FieldByName("notes")->SetAsString(std::string(40, 'z'));
        people.Post();
        EXPECT_NE(Rows(people), before);
        db.Rollback();
        EXPECT_EQ(Rows(people), before);
        ASSERT_EQ(image.Size(), size);
        EXPECT_EQ(
            std::string(reinterpret_cast<const char*>(image.Memory()), static_cast<size_t>(size)),
            bytes);

        db.StartTransaction();
        AddPerson(people, "cid", "c");
        db.Commit();
        EXPECT_EQ(people.RecordCount(), 2);
    }
    UnregisterMemoryStream(name);
}

}  // namespace
}  // namespace tarn
