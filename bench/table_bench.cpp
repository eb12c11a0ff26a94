// Table workloads against SQLite: append, scan, update, delete, open; append_tx, update_tx
// and delete_tx run the engine's side in transactions of the SQLite batch's size.
// commit_sync: durable commits of small transactions (SyncCommit on against SQLite with a
// rollback journal and synchronous=FULL); it has no autocommit column.
//   bench_table [--quick] [--rows=N] [--reps=N] [--engine-only] [workload...]
#include <cstdio>
#include <string>

#include "bench/support/engine.h"
#include "bench/support/harness.h"
#include "tarndb/file_io.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

void RemoveFile(const std::string& path) { std::remove(path.c_str()); }

// ---- the engine ---------------------------------------------------------------------------

void EngineFill(const std::string& path, long rows) {
    RemoveFile(path);
    EngineTable t(path, true);
    for (long i = 0; i < rows; ++i) t.Append(MakeRow(i));
}

uint64_t EngineHashAll(const std::string& path) {
    EngineTable t(path, false);
    Hash h;
    TRecordList& list = t.Table().RecordList(0);
    ReadLockGuard lock(t.File());
    for (int p = 0; p < list.Count(); ++p) {
        t.Fetch(0, p);
        t.HashCurrent(h);
    }
    return h.Value();
}

// ---- SQLite ---------------------------------------------------------------------------------

void SqliteCreate(sqlite3* db) {
    Exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, k INTEGER, name TEXT, val REAL, pad TEXT)");
}

void SqliteFill(const std::string& path, long rows) {
    RemoveFile(path);
    sqlite3* db = OpenSqlite(path);
    SqliteCreate(db);
    sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)");
    SqliteLoop(db, rows, true, [&](long i) { SqliteInsert(st, MakeRow(i)); });
    sqlite3_finalize(st);
    sqlite3_close(db);
}

uint64_t SqliteHashAll(sqlite3* db) {
    sqlite3_stmt* st = Prepare(db, "SELECT id,k,name,val,pad FROM t ORDER BY id");
    Hash h;
    while (sqlite3_step(st) == SQLITE_ROW) HashSqliteRow(st, h);
    sqlite3_finalize(st);
    return h.Value();
}

uint64_t SqliteHashAll(const std::string& path) {
    sqlite3* db = OpenSqlite(path);
    uint64_t v = SqliteHashAll(db);
    sqlite3_close(db);
    return v;
}

// ---- workloads --------------------------------------------------------------------------------

void Append(const Options& o) {
    std::string ours = Scratch("append.tdb"), theirs = Scratch("append.sqlite");
    auto engine = [&](bool batched) {
        return [&, batched](double& s) {
            RemoveFile(ours);
            s = Seconds([&] {
                EngineTable t(ours, true);
                EngineLoop(t.File(), o.rows, batched, [&](long i) { t.Append(MakeRow(i)); });
            });
            return EngineHashAll(ours);
        };
    };
    auto sqlite = [&](bool batched) {
        return [&, batched](double& s) {
            RemoveFile(theirs);
            s = Seconds([&] {
                sqlite3* db = OpenSqlite(theirs);
                SqliteCreate(db);
                sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)");
                SqliteLoop(db, o.rows, batched, [&](long i) { SqliteInsert(st, MakeRow(i)); });
                sqlite3_finalize(st);
                sqlite3_close(db);
            });
            return SqliteHashAll(theirs);
        };
    };
    if (Selected(o, "append"))
        PrintLine(
            "append", o.rows,
            Compare("append", o.rows, o.repetitions, engine(false), sqlite(false), sqlite(true)));
    if (Selected(o, "append_tx"))
        PrintLine(
            "append_tx", o.rows,
            Compare("append_tx", o.rows, o.repetitions, engine(true), sqlite(false), sqlite(true)));
    std::fprintf(stderr, "  file sizes: tarndb %lld bytes, sqlite %lld bytes\n",
                 static_cast<long long>(FileSize(ours)), static_cast<long long>(FileSize(theirs)));
}

// 100 transactions of 100 appends each, every commit made durable.
void CommitSync(const Options& o) {
    constexpr long kTransactions = 100, kPerTransaction = 100;
    constexpr long kRows = kTransactions * kPerTransaction;
    std::string ours = Scratch("commit.tdb"), theirs = Scratch("commit.sqlite");
    auto engine = [&](double& s) {
        RemoveFile(ours);
        {
            EngineTable t(ours, true);
            t.File().SetSyncCommit(true);
            s = Seconds([&] {
                for (long i = 0; i < kRows; ++i) {
                    if (i % kPerTransaction == 0) t.File().BeginTransaction();
                    t.Append(MakeRow(i));
                    if (i % kPerTransaction == kPerTransaction - 1) t.File().CommitTransaction();
                }
            });
        }
        return EngineHashAll(ours);
    };
    auto sqlite = [&](double& s) {
        RemoveFile(theirs);
        sqlite3* db = OpenSqlite(theirs);
        Exec(db, "PRAGMA journal_mode=DELETE");
        Exec(db, "PRAGMA synchronous=FULL");
        SqliteCreate(db);
        sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)");
        s = Seconds([&] {
            for (long i = 0; i < kRows; ++i) {
                if (i % kPerTransaction == 0) Exec(db, "BEGIN");
                SqliteInsert(st, MakeRow(i));
                if (i % kPerTransaction == kPerTransaction - 1) Exec(db, "COMMIT");
            }
        });
        sqlite3_finalize(st);
        sqlite3_close(db);
        return SqliteHashAll(theirs);
    };
    PrintLine("commit_sync", kRows,
              Compare("commit_sync", kRows, o.repetitions, engine, nullptr, sqlite));
}

void Scan(const Options& o, const std::string& ours, const std::string& theirs) {
    auto engine = [&](double& s) {
        EngineTable t(ours, false);
        Hash h;
        s = Seconds([&] {
            TRecordList& list = t.Table().RecordList(0);
            int n = list.Count();
            // One lock per block of records, as a scan of the cursor takes it.
            for (int p = 0; p < n; p += 1024) {
                ReadLockGuard lock(t.File());
                for (int q = p; q < n && q < p + 1024; ++q) {
                    t.Fetch(0, q);
                    t.HashCurrent(h);
                }
            }
        });
        return h.Value();
    };
    auto sqlite = [&](double& s) {
        sqlite3* db = OpenSqlite(theirs);
        uint64_t v = 0;
        s = Seconds([&] { v = SqliteHashAll(db); });
        sqlite3_close(db);
        return v;
    };
    PrintLine("scan", o.rows, Compare("scan", o.rows, o.repetitions, engine, sqlite, sqlite));
}

void Update(const Options& o, const std::string& ours, const std::string& theirs) {
    std::string wo = Scratch("update.tdb"), wt = Scratch("update.sqlite");
    auto engine = [&](bool batched) {
        return [&, batched](double& s) {
            CopyFile(ours, wo);
            {
                EngineTable t(wo, false);
                s = Seconds([&] {
                    EngineLoop(t.File(), o.rows, batched, [&](long i) {
                        t.UpdateVal(static_cast<int>(i), MakeRow(i).val + 1);
                    });
                });
            }
            return EngineHashAll(wo);
        };
    };
    auto sqlite = [&](bool batched) {
        return [&, batched](double& s) {
            CopyFile(theirs, wt);
            sqlite3* db = OpenSqlite(wt);
            sqlite3_stmt* st = Prepare(db, "UPDATE t SET val=? WHERE id=?");
            s = Seconds([&] {
                SqliteLoop(db, o.rows, batched, [&](long i) {
                    sqlite3_bind_double(st, 1, MakeRow(i).val + 1);
                    sqlite3_bind_int(st, 2, static_cast<int>(i + 1));
                    sqlite3_step(st);
                    sqlite3_reset(st);
                });
            });
            sqlite3_finalize(st);
            uint64_t v = SqliteHashAll(db);
            sqlite3_close(db);
            return v;
        };
    };
    if (Selected(o, "update"))
        PrintLine(
            "update", o.rows,
            Compare("update", o.rows, o.repetitions, engine(false), sqlite(false), sqlite(true)));
    if (Selected(o, "update_tx"))
        PrintLine(
            "update_tx", o.rows,
            Compare("update_tx", o.rows, o.repetitions, engine(true), sqlite(false), sqlite(true)));
}

void Delete(const Options& o, const std::string& ours, const std::string& theirs) {
    std::string wo = Scratch("delete.tdb"), wt = Scratch("delete.sqlite");
    long deletes = (o.rows + 1) / 2;
    auto engine = [&](bool batched) {
        return [&, batched](double& s) {
            CopyFile(ours, wo);
            {
                EngineTable t(wo, false);
                s = Seconds([&] {
                    EngineLoop(t.File(), deletes, batched,
                               [&](long p) { t.Table().RemoveRecord(static_cast<int>(p), false); });
                });
            }
            return EngineHashAll(wo);
        };
    };
    auto sqlite = [&](bool batched) {
        return [&, batched](double& s) {
            CopyFile(theirs, wt);
            sqlite3* db = OpenSqlite(wt);
            sqlite3_stmt* st = Prepare(db, "DELETE FROM t WHERE id=?");
            s = Seconds([&] {
                SqliteLoop(db, deletes, batched, [&](long i) {
                    sqlite3_bind_int(st, 1, static_cast<int>(2 * i + 1));
                    sqlite3_step(st);
                    sqlite3_reset(st);
                });
            });
            sqlite3_finalize(st);
            uint64_t v = SqliteHashAll(db);
            sqlite3_close(db);
            return v;
        };
    };
    if (Selected(o, "delete"))
        PrintLine(
            "delete", o.rows,
            Compare("delete", deletes, o.repetitions, engine(false), sqlite(false), sqlite(true)));
    if (Selected(o, "delete_tx"))
        PrintLine("delete_tx", o.rows,
                  Compare("delete_tx", deletes, o.repetitions, engine(true), sqlite(false),
                          sqlite(true)));
}

void Open(const Options& o, const std::string& ours, const std::string& theirs) {
    auto engine = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            EngineTable t(ours, false);
            t.Fetch(0, 0);
            t.HashCurrent(h);
        });
        return h.Value();
    };
    auto sqlite = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            sqlite3* db = OpenSqlite(theirs);
            sqlite3_stmt* st = Prepare(db, "SELECT id,k,name,val,pad FROM t ORDER BY id LIMIT 1");
            if (sqlite3_step(st) == SQLITE_ROW) HashSqliteRow(st, h);
            sqlite3_finalize(st);
            sqlite3_close(db);
        });
        return h.Value();
    };
    PrintLine("open", o.rows, Compare("open", 1, o.repetitions, engine, sqlite, sqlite));
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    if (Selected(o, "append") || Selected(o, "append_tx")) Append(o);
    if (Selected(o, "commit_sync")) CommitSync(o);
    bool needData = Selected(o, "scan") || Selected(o, "update") || Selected(o, "delete") ||
                    Selected(o, "open") || Selected(o, "update_tx") || Selected(o, "delete_tx");
    if (!needData) return 0;
    std::string ours = Scratch("data.tdb"), theirs = Scratch("data.sqlite");
    EngineFill(ours, o.rows);
    SqliteFill(theirs, o.rows);
    if (Selected(o, "scan")) Scan(o, ours, theirs);
    if (Selected(o, "update") || Selected(o, "update_tx")) Update(o, ours, theirs);
    if (Selected(o, "delete") || Selected(o, "delete_tx")) Delete(o, ours, theirs);
    if (Selected(o, "open")) Open(o, ours, theirs);
    return 0;
}
