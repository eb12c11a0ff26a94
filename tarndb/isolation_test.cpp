// Isolation between connections and processes: a transaction that reads then writes loses
// nobody's committed change, readers see one committed state per operation (and per read
// transaction, across tables), Refresh shows what others committed, and two database objects
// on one memory image keep out of each other's way as two on a file do.
//
// The accounts: table A (no, bal; indexed by no) and table B (no, bal; no index), five rows
// of 1000 each.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/memory_registry.h"
#include "tarndb/session.h"
#include "tarndb/table.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

constexpr int kAccounts = 5;
constexpr int kStart = 1000;
constexpr int kTotal = 2 * kAccounts * kStart;

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

void AddAccounts(const std::string& database) {
    TTarnDBCreator::AddTable(database, "A", {{"no", ftInteger}, {"bal", ftInteger}},
                             {{"byNo", tiPrimary, {"no"}}});
    TTarnDBCreator::AddTable(database, "B", {{"no", ftInteger}, {"bal", ftInteger}}, {});
}

void Add(TTarnTable& t, int no, int bal) {
    t.Append();
    t.FieldByName("no")->SetAsInteger(no);
    t.FieldByName("bal")->SetAsInteger(bal);
    t.Post();
}

// Puts the table on the row of account `no`; false when there is none.
bool Find(TTarnTable& t, int no) {
    for (t.First(); !t.Eof(); t.Next())
        if (t.FieldByName("no")->AsInteger() == no) return true;
    return false;
}

int Balance(TTarnTable& t, int no) { return Find(t, no) ? t.FieldByName("bal")->AsInteger() : -1; }

void SetBalance(TTarnTable& t, int no, int bal) {
    if (!Find(t, no)) throw EDatabaseError("no account " + std::to_string(no));
    t.Edit();
    t.FieldByName("bal")->SetAsInteger(bal);
    t.Post();
}

int Sum(TTarnTable& t) {
    int sum = 0;
    for (t.First(); !t.Eof(); t.Next()) sum += t.FieldByName("bal")->AsInteger();
    return sum;
}

// One database object with both tables open, as one program would have them.
struct Conn {
    TTarnDatabase db;
    TTarnTable a{nullptr, "A"}, b{nullptr, "B"};
    Conn(const std::string& name, const std::string& file, bool memory = false)
        : db(nullptr, name) {
        const TTarnDBMediumType medium =
            memory ? TTarnDBMediumType::mtMemory : TTarnDBMediumType::mtDisk;
        db.SetDatabaseName(name);
        db.SetMediumType(medium);
        db.SetFileName(file);
        db.Open();
        for (auto [t, table] : {std::pair{&a, "A"}, std::pair{&b, "B"}}) {
            t->SetMediumType(medium);
            t->SetDatabaseName(name);
            t->SetTableName(table);
            t->Open();
        }
    }
};

// The default session's lock settings for a scope.
class LockSettings {
public:
    LockSettings(int retries, int wait)
        : session_(Sessions().DefaultSession()),
          retries_(session_.LockRetryCount()),
          wait_(session_.LockWaitTime()) {
        session_.SetLockRetryCount(retries);
        session_.SetLockWaitTime(wait);
    }
    ~LockSettings() {
        session_.SetLockRetryCount(retries_);
        session_.SetLockWaitTime(wait_);
    }

private:
    TTarnSession& session_;
    int retries_, wait_;
};

// Runs `body` in a child process; the child's exit status is body's result (0 good).
pid_t Spawn(const std::function<int()>& body) {
    pid_t child = fork();
    if (child != 0) return child;
    int status = 3;
    try {
        status = body();
    } catch (...) {
        status = 2;
    }
    _exit(status);  // nothing of the test framework runs in the child
}

int ExitStatus(pid_t child) {
    int status = -1;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

class Isolation : public ::testing::Test {
protected:
    // Several tests fork: from the first write on, the engine's timers go to a driver that
    // never fires, so no thread of the engine exists (and holds a lock) when a test forks.
    testing::TQuietTimers quietTimers;
    TempDir dir;
    std::string path = dir.file("bank.tdb");
    std::string timeOut;

    void SetUp() override {
        TTarnDBCreator::CreateDatabase(path);
        AddAccounts(path);
        Conn c("seed", path);
        for (int no = 1; no <= kAccounts; ++no) {
            Add(c.a, no, kStart);
            Add(c.b, no, kStart);
        }
        timeOut = "Wait for unlock time out: database file '" + path +
                  "' is locked by another connection's transaction";
    }
};

// A reads a balance in its transaction; B's write of the same row waits for A's whole
// transaction (and says so when it gives up) instead of being overwritten by A's stale
// result; once A has committed, B writes after it.
TEST_F(Isolation, AWriteWaitsForTheTransactionThatReadTheRow) {
    Conn x("x", path), y("y", path);
    x.db.StartTransaction();
    const int seen = Balance(x.a, 1);
    ASSERT_EQ(seen, kStart);
    {
        LockSettings briefly(2, 1);
        EXPECT_EQ(ErrorOf([&] { SetBalance(y.a, 1, 500); }), timeOut);
        y.a.Cancel();
        // The failed write left nothing to end, and a transaction of its own cannot start.
        EXPECT_FALSE(y.db.InTransaction());
        EXPECT_EQ(ErrorOf([&] { y.db.StartTransaction(); }), timeOut);
        EXPECT_FALSE(y.db.InTransaction());
        EXPECT_EQ(ErrorOf([&] { y.db.Rollback(); }), "y: No transaction is active");
        // Reading goes on meanwhile, and shows the last committed state.
        EXPECT_EQ(Balance(y.a, 1), kStart);
    }
    SetBalance(x.a, 1, seen + 10);
    EXPECT_EQ(Balance(y.a, 1), kStart);  // not committed yet
    x.db.Commit();
    y.a.Refresh();
    EXPECT_EQ(Balance(y.a, 1), seen + 10);
    SetBalance(y.a, 1, 500);
    Conn z("z", path);
    EXPECT_EQ(Balance(z.a, 1), 500);
}

// The same from another process: its write waits for the transaction here, fails with the
// time-out while it lasts, and goes through after the commit, over the committed value.
TEST_F(Isolation, AnotherProcessesWriteWaitsForTheTransactionThatReadTheRow) {
    Conn x("x", path);
    x.db.StartTransaction();
    const int seen = Balance(x.a, 1);
    auto writeElsewhere = [&](int retries) {
        return Spawn([&, retries] {
            LockSettings settings(retries, 1);
            Conn y("y", path);
            const std::string error = ErrorOf([&] { SetBalance(y.a, 1, 500); });
            if (error == "(no error)") return 0;
            return error == timeOut ? 1 : 2;
        });
    };
    EXPECT_EQ(ExitStatus(writeElsewhere(2)), 1);  // the time-out, naming the transaction
    pid_t waiting = writeElsewhere(0);            // waits for as long as it takes
    SetBalance(x.a, 1, seen + 10);
    x.db.Commit();
    EXPECT_EQ(ExitStatus(waiting), 0);
    x.a.Refresh();
    EXPECT_EQ(Balance(x.a, 1), 500);
}

// A commit waits for the readers there are; when a read transaction keeps the file past the
// wait, the commit fails before its commit point, rolled back and ended, and says why.
TEST_F(Isolation, ACommitThatCannotHaveTheFileFailsEndedAndSaysWhy) {
    Conn x("x", path), y("y", path);
    y.db.StartReadTransaction();
    x.db.StartTransaction();
    SetBalance(x.a, 1, 1);
    {
        LockSettings briefly(2, 1);
        EXPECT_EQ(ErrorOf([&] { x.db.Commit(); }), "Wait for unlock time out: database file '" +
                                                       path +
                                                       "' is being read by another connection");
    }
    EXPECT_FALSE(x.db.InTransaction());
    EXPECT_FALSE(x.db.LastCommitCommitted());
    EXPECT_EQ(ErrorOf([&] { x.db.Rollback(); }), "(no error)");  // keeps the commit's error
    EXPECT_EQ(Balance(x.a, 1), kStart);
    EXPECT_EQ(Balance(y.a, 1), kStart);
    y.db.EndReadTransaction();
    EXPECT_EQ(ErrorOf([&] { y.db.EndReadTransaction(); }), "y: No read transaction is active");
    x.db.StartTransaction();
    SetBalance(x.a, 1, 1);
    x.db.Commit();
    y.a.Refresh();
    EXPECT_EQ(Balance(y.a, 1), 1);
}

// Processes that each add 1 to one balance, read and written in a transaction, many times at
// once: every increment is in the final balance.
TEST_F(Isolation, ConcurrentReadModifyWriteTransactionsLoseNoUpdate) {
    constexpr int kProcesses = 3, kIncrements = 40;
    LockSettings patient(5000, 1);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p)
        children.push_back(Spawn([&] {
            Conn c("inc", path);
            for (int i = 0; i < kIncrements;) {
                try {
                    c.db.StartTransaction();
                    SetBalance(c.a, 1, Balance(c.a, 1) + 1);
                    c.db.Commit();
                    ++i;
                } catch (const Exception&) {
                    if (c.db.InTransaction()) c.db.Rollback();
                    if (c.a.State() != dsBrowse) c.a.Cancel();
                }
            }
            return 0;
        }));
    for (pid_t child : children) EXPECT_EQ(ExitStatus(child), 0);
    Conn c("check", path);
    EXPECT_EQ(Balance(c.a, 1), kStart + kProcesses * kIncrements);
}

// Another process moves money between the accounts of both tables in transactions (edits,
// and rows appended and deleted in the unindexed table). Each read transaction here, with a
// Refresh and a walk of each table, finds the total unchanged.
TEST_F(Isolation, ReadTransactionsSeeOneStateOfBothTablesWhileAnotherProcessCommits) {
    LockSettings patient(5000, 1);
    pid_t child = Spawn([&] {
        Conn c("mover", path);
        std::mt19937 rng(1234);
        int nextNo = 100;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        int transfers = 0;
        while (std::chrono::steady_clock::now() < until || transfers < 50) {
            const int from = 1 + static_cast<int>(rng() % kAccounts);
            const int amount = 1 + static_cast<int>(rng() % 50);
            try {
                c.db.StartTransaction();
                SetBalance(c.a, from, Balance(c.a, from) - amount);
                switch (rng() % 3) {
                    case 0: {  // to an account of B
                        const int to = 1 + static_cast<int>(rng() % kAccounts);
                        SetBalance(c.b, to, Balance(c.b, to) + amount);
                        break;
                    }
                    case 1:  // into a new row of B
                        Add(c.b, nextNo++, amount);
                        break;
                    default:  // a row of B beyond the accounts given up, with the amount
                        c.b.First();
                        while (!c.b.Eof() && c.b.FieldByName("no")->AsInteger() <= kAccounts)
                            c.b.Next();
                        if (!c.b.Eof()) {
                            const int extra = c.b.FieldByName("bal")->AsInteger();
                            c.b.Delete();
                            SetBalance(c.b, 1, Balance(c.b, 1) + extra + amount);
                        } else {
                            SetBalance(c.b, 2, Balance(c.b, 2) + amount);
                        }
                }
                c.db.Commit();
                ++transfers;
            } catch (const Exception&) {
                if (c.db.InTransaction()) c.db.Rollback();
                for (TTarnTable* t : {&c.a, &c.b})
                    if (t->State() != dsBrowse) t->Cancel();
            }
        }
        return 0;
    });
    Conn reader("reader", path);
    int rounds = 0, wrong = 0, lastSum = 0, status = -1;
    for (pid_t ended = 0; ended == 0;) {
        ended = waitpid(child, &status, WNOHANG);
        TTarnReadTransaction snapshot(reader.db);
        reader.a.Refresh();
        reader.b.Refresh();
        lastSum = Sum(reader.a) + Sum(reader.b);
        wrong += lastSum != kTotal;
        ++rounds;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(wrong, 0) << "of " << rounds << " rounds; the last saw " << lastSum;
    EXPECT_GT(rounds, 10);
    Conn check("check", path);
    EXPECT_EQ(Sum(check.a) + Sum(check.b), kTotal);
    EXPECT_LT(Sum(check.a), kAccounts * kStart) << "the mover moved nothing";
}

// A dataset opened before another connection's commits shows them after Refresh: rows
// appended, rows deleted (in the table without an index too), a transaction's rows.
TEST_F(Isolation, RefreshShowsWhatAnotherConnectionCommitted) {
    Conn x("x", path), y("y", path);
    ASSERT_EQ(x.a.RecordCount(), kAccounts);
    ASSERT_EQ(x.b.RecordCount(), kAccounts);
    // A delete alone, in the table without an index.
    ASSERT_TRUE(Find(y.b, 4));
    y.b.Delete();
    x.b.Refresh();
    EXPECT_EQ(x.b.RecordCount(), kAccounts - 1);
    EXPECT_FALSE(Find(x.b, 4));

    Add(y.a, 10, 1);
    Add(y.a, 11, 2);
    ASSERT_TRUE(Find(y.b, 3));
    y.b.Delete();
    y.db.StartTransaction();
    Add(y.b, 12, 3);
    y.db.Commit();

    x.a.Refresh();
    x.b.Refresh();
    EXPECT_EQ(x.a.RecordCount(), kAccounts + 2);
    EXPECT_EQ(Balance(x.a, 11), 2);
    EXPECT_EQ(x.b.RecordCount(), kAccounts - 1);
    EXPECT_FALSE(Find(x.b, 3));
    EXPECT_EQ(Balance(x.b, 12), 3);
}

// Two database objects on one memory image: one's transaction is invisible to the other
// until it commits, the other's writes wait for it, and its rollback leaves the image and
// the other's committed rows as they were.
TEST(MemoryIsolation, TwoObjectsOnOneImageAreIsolatedAsOnAFile) {
    TMemoryStream image(TTarnDBCreator::CreateImage());
    const std::string name = RegisterMemoryStream(&image);
    AddAccounts(name);
    {
        Conn x("mx", name, true), y("my", name, true);
        Add(y.a, 1, kStart);
        x.a.Refresh();
        const std::string committed(reinterpret_cast<const char*>(image.Memory()),
                                    static_cast<size_t>(image.Size()));

        x.db.StartTransaction();
        Add(x.a, 2, 5);
        SetBalance(x.a, 1, 7);
        EXPECT_EQ(x.a.RecordCount(), 2);
        y.a.Refresh();
        EXPECT_EQ(y.a.RecordCount(), 1);
        EXPECT_EQ(Balance(y.a, 1), kStart);
        {
            LockSettings briefly(2, 1);
            EXPECT_EQ(ErrorOf([&] { SetBalance(y.a, 1, 500); }),
                      "Wait for unlock time out: database file '" + name +
                          "' is locked by another connection's transaction");
            y.a.Cancel();
        }
        x.db.Rollback();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Memory()),
                              static_cast<size_t>(image.Size())),
                  committed);
        y.a.Refresh();
        EXPECT_EQ(y.a.RecordCount(), 1);
        EXPECT_EQ(Balance(y.a, 1), kStart);
        EXPECT_EQ(Balance(x.a, 1), kStart);

        // Committed, it is everybody's.
        x.db.StartTransaction();
        Add(x.a, 3, 9);
        x.db.Commit();
        y.a.Refresh();
        EXPECT_EQ(Balance(y.a, 3), 9);
        SetBalance(y.a, 1, 500);
        x.a.Refresh();
        EXPECT_EQ(Balance(x.a, 1), 500);
    }
    UnregisterMemoryStream(name);
}

}  // namespace
}  // namespace tarn
