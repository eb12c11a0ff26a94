// Workloads of several processes on one file.
// reader_during_tx: a walk of every row while another process holds a transaction with
//   writes, against the same walk alone (the engine alone: readers should not wait for a
//   transaction being built; the ratio is wanted at most 1.5).
// contended_tx: 4 processes each make a number of read-modify-write transfers between 100
//   accounts, one transaction each; the accounts' total afterwards tells the updates lost
//   (wanted 0), and the time is compared with SQLite in rollback-journal mode doing the same
//   (BEGIN IMMEDIATE, a busy timeout; no sync on either side): throughput_ratio is SQLite's
//   time over ours, wanted at least 1.0.
//   bench_concurrency [--quick] [--rows=N] [--reps=N] [workload...]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/support/harness.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/session.h"
#include "tarndb/table.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

constexpr int kProcesses = 4;
constexpr int kAccounts = 100;
constexpr int kStart = 1000;

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

// One database object with table `table` open.
struct Conn {
    TTarnDatabase db;
    TTarnTable t{nullptr, "T"};
    Conn(const std::string& name, const std::string& path, const std::string& table)
        : db(nullptr, name) {
        db.SetDatabaseName(name);
        db.SetFileName(path);
        db.SetSyncCommit(false);  // SQLite runs with synchronous=OFF
        db.Open();
        t.SetDatabaseName(name);
        t.SetTableName(table);
        t.Open();
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs `worker(p)` in kProcesses child processes at once; the seconds until all have ended,
// or -1 when one failed.
double RunProcesses(const std::function<int(int)>& worker) {
    std::vector<pid_t> children;
    bool failed = false;
    double s = Seconds([&] {
        for (int p = 0; p < kProcesses; ++p) {
            pid_t child = fork();
            if (child == 0) {
                int status = 3;
                try {
                    status = worker(p);
                } catch (...) {
                    status = 2;
                }
                _exit(status);
            }
            children.push_back(child);
        }
        for (pid_t child : children) {
            int status = -1;
            waitpid(child, &status, 0);
            failed |= !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        }
    });
    return failed ? -1 : s;
}

// ---- reader_during_tx -------------------------------------------------------------------------

long long Walk(TTarnTable& t) {
    long long sum = 0;
    for (t.First(); !t.Eof(); t.Next()) sum += t.FieldByName("val")->AsInteger();
    return sum;
}

void ReaderDuringTx(const Options& o) {
    const long rows = std::max(1000L, o.rows / 10);
    const std::string path = Scratch("reader.tdb");
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "t",
                             {{"id", ftInteger}, {"val", ftInteger}, {"pad", ftString, 50}},
                             {{"byId", tiPrimary, {"id"}}});
    {
        Conn fill("fill", path, "t");
        fill.db.StartTransaction();
        for (long i = 0; i < rows; ++i) {
            fill.t.Append();
            fill.t.FieldByName("id")->SetAsInteger(static_cast<int>(i));
            fill.t.FieldByName("val")->SetAsInteger(static_cast<int>(i % 1000));
            fill.t.FieldByName("pad")->SetAsString(MakeRow(i).pad);
            fill.t.Post();
        }
        fill.db.Commit();
    }
    Conn reader("reader", path, "t");
    std::vector<double> alone, during;
    long long expected = Walk(reader.t), seen = 0;
    for (int r = 0; r < o.repetitions; ++r) alone.push_back(Seconds([&] { Walk(reader.t); }));

    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) return;
    pid_t child = fork();
    if (child == 0) {
        int status = 1;
        try {
            Conn w("writer", path, "t");
            w.db.StartTransaction();
            w.t.First();
            for (int i = 0; i < 100 && !w.t.Eof(); ++i, w.t.Next()) {
                w.t.Edit();
                w.t.FieldByName("val")->SetAsInteger(-1);
                w.t.Post();
            }
            char c = 'r';
            if (write(ready[1], &c, 1) == 1 && read(done[0], &c, 1) == 1) status = 0;
            w.db.Rollback();
        } catch (...) {
            status = 2;
        }
        _exit(status);
    }
    char c = 0;
    std::string failure;
    if (read(ready[0], &c, 1) != 1) failure = "the writer did not start its transaction";
    try {
        for (int r = 0; r < o.repetitions && failure.empty(); ++r)
            during.push_back(Seconds([&] { seen = Walk(reader.t); }));
    } catch (const Exception& e) {
        failure = e.Message();
    }
    c = 'd';
    if (write(done[1], &c, 1) != 1 && failure.empty()) failure = "the writer went away";
    int status = -1;
    waitpid(child, &status, 0);
    if (failure.empty() && seen != expected) failure = "the walk saw uncommitted values";
    if (!failure.empty()) {
        std::printf("BENCH reader_during_tx rows=%ld failed: %s\n", rows, failure.c_str());
        return;
    }
    const double a = Median(alone), d = Median(during);
    std::printf("BENCH reader_during_tx rows=%ld alone_us=%.3f during_us=%.3f ratio=%.3f\n", rows,
                a * 1e6 / static_cast<double>(rows), d * 1e6 / static_cast<double>(rows), d / a);
    std::fflush(stdout);
}

// ---- contended_tx -----------------------------------------------------------------------------

int Balance(TTarnTable& t, int id) {
    for (t.First(); !t.Eof(); t.Next())
        if (t.FieldByName("id")->AsInteger() == id) return t.FieldByName("bal")->AsInteger();
    throw EDatabaseError("no account");
}

void SetBalance(TTarnTable& t, int id, int bal) {
    Balance(t, id);  // on its row
    t.Edit();
    t.FieldByName("bal")->SetAsInteger(bal);
    t.Post();
}

int EngineTransfers(const std::string& path, int p, int transfers) {
    Sessions().DefaultSession().SetLockRetryCount(100000);
    Sessions().DefaultSession().SetLockWaitTime(1);
    Conn c("mover", path, "acct");
    std::mt19937 rng(static_cast<unsigned>(p + 1));
    for (int i = 0; i < transfers;) {
        const int from = 1 + static_cast<int>(rng() % kAccounts);
        const int to = 1 + (from + static_cast<int>(rng() % (kAccounts - 1))) % kAccounts;
        try {
            c.db.StartTransaction();
            SetBalance(c.t, from, Balance(c.t, from) - 1);
            SetBalance(c.t, to, Balance(c.t, to) + 1);
            c.db.Commit();
            ++i;
        } catch (const Exception&) {
            if (c.db.InTransaction()) c.db.Rollback();
            if (c.t.State() != dsBrowse) c.t.Cancel();
        }
    }
    return 0;
}

sqlite3* OpenJournalled(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return nullptr;
    Exec(db, "PRAGMA journal_mode=DELETE");
    Exec(db, "PRAGMA synchronous=OFF");
    sqlite3_busy_timeout(db, 60000);
    return db;
}

int SqliteTransfers(const std::string& path, int p, int transfers) {
    sqlite3* db = OpenJournalled(path);
    if (db == nullptr) return 1;
    sqlite3_stmt* get = Prepare(db, "SELECT bal FROM acct WHERE id=?");
    sqlite3_stmt* set = Prepare(db, "UPDATE acct SET bal=? WHERE id=?");
    auto balance = [&](int id) {
        sqlite3_bind_int(get, 1, id);
        int bal = sqlite3_step(get) == SQLITE_ROW ? sqlite3_column_int(get, 0) : 0;
        sqlite3_reset(get);
        return bal;
    };
    auto setBalance = [&](int id, int bal) {
        sqlite3_bind_int(set, 1, bal);
        sqlite3_bind_int(set, 2, id);
        const int rc = sqlite3_step(set);
        sqlite3_reset(set);
        return rc == SQLITE_DONE;
    };
    std::mt19937 rng(static_cast<unsigned>(p + 1));
    for (int i = 0; i < transfers;) {
        const int from = 1 + static_cast<int>(rng() % kAccounts);
        const int to = 1 + (from + static_cast<int>(rng() % (kAccounts - 1))) % kAccounts;
        if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) continue;
        const bool ok = setBalance(from, balance(from) - 1) && setBalance(to, balance(to) + 1);
        if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
            ++i;
            continue;
        }
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(get);
    sqlite3_finalize(set);
    sqlite3_close(db);
    return 0;
}

void ContendedTx(const Options& o) {
    const int transfers = o.quick ? 200 : 1000;  // per process
    const std::string ours = Scratch("contended.tdb"), theirs = Scratch("contended.sqlite");
    std::vector<double> engine, sqlite;
    int lost = 0;
    for (int r = 0; r < o.repetitions; ++r) {
        std::remove(ours.c_str());
        TTarnDBCreator::CreateDatabase(ours);
        TTarnDBCreator::AddTable(ours, "acct", {{"id", ftInteger}, {"bal", ftInteger}},
                                 {{"byId", tiPrimary, {"id"}}});
        {
            Conn c("fill", ours, "acct");
            for (int id = 1; id <= kAccounts; ++id) {
                c.t.Append();
                c.t.FieldByName("id")->SetAsInteger(id);
                c.t.FieldByName("bal")->SetAsInteger(kStart);
                c.t.Post();
            }
        }
        engine.push_back(RunProcesses([&](int p) { return EngineTransfers(ours, p, transfers); }));
        {
            Conn c("check", ours, "acct");
            long total = 0;
            for (c.t.First(); !c.t.Eof(); c.t.Next()) total += c.t.FieldByName("bal")->AsInteger();
            lost += total != static_cast<long>(kAccounts) * kStart;
        }
        if (o.engineOnly) continue;
        std::remove(theirs.c_str());
        sqlite3* db = OpenJournalled(theirs);
        if (db == nullptr) return;
        Exec(db, "CREATE TABLE acct(id INTEGER PRIMARY KEY, bal INTEGER)");
        for (int id = 1; id <= kAccounts; ++id)
            Exec(db, "INSERT INTO acct VALUES(" + std::to_string(id) + "," +
                         std::to_string(kStart) + ")");
        sqlite3_close(db);
        sqlite.push_back(
            RunProcesses([&](int p) { return SqliteTransfers(theirs, p, transfers); }));
    }
    const long operations = static_cast<long>(kProcesses) * transfers;
    const double e = Median(engine), s = sqlite.empty() ? 0 : Median(sqlite);
    if (e < 0 || s < 0) {
        std::printf("BENCH contended_tx failed: a process did not finish its transfers\n");
        return;
    }
    std::printf(
        "BENCH contended_tx processes=%d transfers=%ld tarndb_us=%.3f sqlite_us=%.3f "
        "throughput_ratio=%.3f lost_update_runs=%d\n",
        kProcesses, operations, e * 1e6 / static_cast<double>(operations),
        s * 1e6 / static_cast<double>(operations), e > 0 ? s / e : 0.0, lost);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    if (Selected(o, "reader_during_tx")) ReaderDuringTx(o);
    if (Selected(o, "contended_tx")) ContendedTx(o);
    return 0;
}
