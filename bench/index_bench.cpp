// Index workloads against SQLite with matching indexes: indexed appends, key searches,
// primary-key searches, the open of a table for one key search, a walk in key order, and
// rewrites that move every row.
//   bench_index [--quick] [--rows=N] [--reps=N] [--engine-only] [workload...]
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/support/engine.h"
#include "bench/support/harness.h"
#include "platform/bytes.h"
#include "tarndb/file_io.h"
#include "tarndb/indexes.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

constexpr long kSearches = 100000;
constexpr int kLockSpan = 1024;  // operations per lock when reading, as a cursor scan takes it

// Engine lists of the data set: 1 by id (primary), 2 by k, 3 by name.
constexpr int kByIdList = 1, kByKList = 2;

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }
void RemoveFile(const std::string& path) { std::remove(path.c_str()); }

int32_t MovedKey(int32_t k) {
    return static_cast<int32_t>((static_cast<uint32_t>(k) + 0x40000000u) & 0x7fffffffu);
}

// The rows searched for: the same pseudo-random row numbers for both engines.
std::vector<long> SearchRows(long rows) {
    std::mt19937_64 rng(42);
    std::vector<long> out(static_cast<size_t>(kSearches));
    for (long& r : out) r = static_cast<long>(rng() % static_cast<uint64_t>(rows));
    return out;
}

// ---- the engine -----------------------------------------------------------------------------

void EngineHashList(EngineTable& t, int list, Hash& h) {
    TRecordList& l = t.Table().RecordList(list);
    for (int p = 0; p < l.Count(); p += kLockSpan) {
        ReadLockGuard lock(t.File());
        for (int q = p; q < l.Count() && q < p + kLockSpan; ++q) {
            t.Fetch(list, q);
            t.HashCurrent(h);
        }
    }
}

// Rows by id, then by k: the data and the key order both count.
uint64_t EngineHashAll(const std::string& path, int byKList) {
    EngineTable t(path, false);
    Hash h;
    EngineHashList(t, 0, h);
    EngineHashList(t, byKList, h);
    return h.Value();
}

void EngineFill(const std::string& path, long rows) {
    RemoveFile(path);
    EngineTable t(path, true, {{"id", 1}, {"k", 0}, {"name", 0}});
    for (long i = 0; i < rows; ++i) t.Append(MakeRow(i, true));
}

// Searches index `index` (list index + 1) for the value put in `field` of the buffer.
void EngineLocate(EngineTable& t, int index, int field, const std::vector<long>& rows, bool byId,
                  Hash& h) {
    for (size_t s = 0; s < rows.size(); s += kLockSpan) {
        ReadLockGuard lock(t.File());
        for (size_t q = s; q < rows.size() && q < s + kLockSpan; ++q) {
            Row r = MakeRow(rows[q], true);
            bytes::PutI32(std::span<uint8_t>(t.Slot(field), 4), 0, byId ? r.id : r.k);
            TKeySearch found = TTableIndexes::SearchKey(
                t.Table(), t.Buffers(), t.Table().RecordList(index + 1), false, 0, index);
            if (found.outcome != 0) throw std::runtime_error("key not found");
            t.Fetch(index + 1, found.position);
            t.HashCurrent(h);
        }
    }
}

// ---- SQLite -----------------------------------------------------------------------------------

// The INTEGER PRIMARY KEY is SQLite's own primary index; k and name get one each.
void SqliteCreate(sqlite3* db) {
    Exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, k INTEGER, name TEXT, val REAL, pad TEXT)");
    Exec(db, "CREATE INDEX t_k ON t(k)");
    Exec(db, "CREATE INDEX t_name ON t(name)");
}

void SqliteHashQuery(sqlite3* db, const std::string& sql, Hash& h) {
    sqlite3_stmt* st = Prepare(db, sql);
    while (sqlite3_step(st) == SQLITE_ROW) HashSqliteRow(st, h);
    sqlite3_finalize(st);
}

uint64_t SqliteHashAll(const std::string& path) {
    sqlite3* db = OpenSqlite(path);
    Hash h;
    SqliteHashQuery(db, "SELECT id,k,name,val,pad FROM t ORDER BY id", h);
    SqliteHashQuery(db, "SELECT id,k,name,val,pad FROM t ORDER BY k", h);
    sqlite3_close(db);
    return h.Value();
}

void SqliteFill(const std::string& path, long rows) {
    RemoveFile(path);
    sqlite3* db = OpenSqlite(path);
    SqliteCreate(db);
    sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)");
    SqliteLoop(db, rows, true, [&](long i) { SqliteInsert(st, MakeRow(i, true)); });
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// ---- workloads ----------------------------------------------------------------------------------

void AppendIndexed(const Options& o) {
    std::string ours = Scratch("append.tdb"), theirs = Scratch("append.sqlite");
    auto engine = [&](bool batched) {
        return [&, batched](double& s) {
            RemoveFile(ours);
            s = Seconds([&] {
                EngineTable t(ours, true, {{"k", 0}, {"name", 0}});
                EngineLoop(t.File(), o.rows, batched, [&](long i) { t.Append(MakeRow(i, true)); });
            });
            return EngineHashAll(ours, 1);
        };
    };
    auto sqlite = [&](bool batched) {
        return [&, batched](double& s) {
            RemoveFile(theirs);
            s = Seconds([&] {
                sqlite3* db = OpenSqlite(theirs);
                SqliteCreate(db);
                sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)");
                SqliteLoop(db, o.rows, batched,
                           [&](long i) { SqliteInsert(st, MakeRow(i, true)); });
                sqlite3_finalize(st);
                sqlite3_close(db);
            });
            return SqliteHashAll(theirs);
        };
    };
    if (Selected(o, "append_indexed"))
        PrintLine("append_indexed", o.rows,
                  Compare("append_indexed", o.rows, o.repetitions, engine(false), sqlite(false),
                          sqlite(true)));
    if (Selected(o, "append_indexed_tx"))
        PrintLine("append_indexed_tx", o.rows,
                  Compare("append_indexed_tx", o.rows, o.repetitions, engine(true), sqlite(false),
                          sqlite(true)));
    std::fprintf(stderr, "  file sizes: tarndb %lld bytes, sqlite %lld bytes\n",
                 static_cast<long long>(FileSize(ours)), static_cast<long long>(FileSize(theirs)));
}

// The searches of an index in use: the table is open and its key list loaded (by one search
// before the clock starts), as for an application that keeps its table open. What the first
// search costs on top of an open is measured on its own, by open_key_search.
void Locate(const Options& o, const std::string& ours, const std::string& theirs, bool byId) {
    const std::string name = byId ? "locate_pk" : "locate_key";
    std::vector<long> rows = SearchRows(o.rows);
    const int index = byId ? kByIdList - 1 : kByKList - 1, field = byId ? 0 : 1;
    auto engine = [&](double& s) {
        EngineTable t(ours, false);
        Hash warm, h;
        EngineLocate(t, index, field, {rows.front()}, byId, warm);
        s = Seconds([&] { EngineLocate(t, index, field, rows, byId, h); });
        return h.Value();
    };
    auto sqlite = [&](double& s) {
        sqlite3* db = OpenSqlite(theirs);
        sqlite3_stmt* st = Prepare(
            db, std::string("SELECT id,k,name,val,pad FROM t WHERE ") + (byId ? "id" : "k") + "=?");
        auto search = [&](long r, Hash& h) {
            Row row = MakeRow(r, true);
            sqlite3_bind_int(st, 1, byId ? row.id : row.k);
            if (sqlite3_step(st) != SQLITE_ROW) throw std::runtime_error("sqlite: key not found");
            HashSqliteRow(st, h);
            sqlite3_reset(st);
        };
        Hash warm, h;
        search(rows.front(), warm);
        s = Seconds([&] {
            for (long r : rows) search(r, h);
        });
        sqlite3_finalize(st);
        sqlite3_close(db);
        return h.Value();
    };
    PrintLine(
        name, o.rows,
        Compare(name, static_cast<long>(rows.size()), o.repetitions, engine, sqlite, nullptr));
}

// Opening the table and finding one row by its k: the open plus the first use of an index,
// which builds that index's key list from its chain in the file.
void OpenKeySearch(const Options& o, const std::string& ours, const std::string& theirs) {
    const long row = SearchRows(o.rows).front();
    auto engine = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            EngineTable t(ours, false);
            EngineLocate(t, kByKList - 1, 1, {row}, false, h);
        });
        return h.Value();
    };
    auto sqlite = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            sqlite3* db = OpenSqlite(theirs);
            sqlite3_stmt* st = Prepare(db, "SELECT id,k,name,val,pad FROM t WHERE k=?");
            sqlite3_bind_int(st, 1, MakeRow(row, true).k);
            if (sqlite3_step(st) != SQLITE_ROW) throw std::runtime_error("sqlite: key not found");
            HashSqliteRow(st, h);
            sqlite3_finalize(st);
            sqlite3_close(db);
        });
        return h.Value();
    };
    PrintLine("open_key_search", o.rows,
              Compare("open_key_search", 1, o.repetitions, engine, sqlite, sqlite));
}

void IndexWalk(const Options& o, const std::string& ours, const std::string& theirs) {
    auto engine = [&](double& s) {
        EngineTable t(ours, false);
        Hash h;
        s = Seconds([&] { EngineHashList(t, kByKList, h); });
        return h.Value();
    };
    auto sqlite = [&](double& s) {
        sqlite3* db = OpenSqlite(theirs);
        Hash h;
        s = Seconds([&] { SqliteHashQuery(db, "SELECT id,k,name,val,pad FROM t ORDER BY k", h); });
        sqlite3_close(db);
        return h.Value();
    };
    PrintLine("index_walk", o.rows,
              Compare("index_walk", o.rows, o.repetitions, engine, sqlite, nullptr));
}

void UpdateKey(const Options& o, const std::string& ours, const std::string& theirs) {
    std::string wo = Scratch("update.tdb"), wt = Scratch("update.sqlite");
    auto engine = [&](bool batched) {
        return [&, batched](double& s) {
            CopyFile(ours, wo);
            {
                EngineTable t(wo, false);
                TFieldBuffers keyOnly;
                for (int i = 0; i < t.Table().FieldCount(); ++i) {
                    if (i == 1)
                        keyOnly.Add(t.Slot(1), t.Table().FieldDefs()[1].FieldType, 4);
                    else
                        keyOnly.AddInactive();
                }
                s = Seconds([&] {
                    EngineLoop(t.File(), o.rows, batched, [&](long i) {
                        bytes::PutI32(std::span<uint8_t>(t.Slot(1), 4), 0,
                                      MovedKey(MakeRow(i, true).k));
                        t.Table().ModifyRecord(keyOnly, static_cast<int>(i), false, nullptr);
                    });
                });
            }
            return EngineHashAll(wo, kByKList);
        };
    };
    auto sqlite = [&](bool batched) {
        return [&, batched](double& s) {
            CopyFile(theirs, wt);
            sqlite3* db = OpenSqlite(wt);
            sqlite3_stmt* st = Prepare(db, "UPDATE t SET k=? WHERE id=?");
            s = Seconds([&] {
                SqliteLoop(db, o.rows, batched, [&](long i) {
                    sqlite3_bind_int(st, 1, MovedKey(MakeRow(i, true).k));
                    sqlite3_bind_int(st, 2, static_cast<int>(i + 1));
                    sqlite3_step(st);
                    sqlite3_reset(st);
                });
            });
            sqlite3_finalize(st);
            sqlite3_close(db);
            return SqliteHashAll(wt);
        };
    };
    if (Selected(o, "update_key"))
        PrintLine("update_key", o.rows,
                  Compare("update_key", o.rows, o.repetitions, engine(false), sqlite(false),
                          sqlite(true)));
    if (Selected(o, "update_key_tx"))
        PrintLine("update_key_tx", o.rows,
                  Compare("update_key_tx", o.rows, o.repetitions, engine(true), sqlite(false),
                          sqlite(true)));
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    if (Selected(o, "append_indexed") || Selected(o, "append_indexed_tx")) AppendIndexed(o);
    bool needData = Selected(o, "locate_key") || Selected(o, "locate_pk") ||
                    Selected(o, "open_key_search") || Selected(o, "index_walk") ||
                    Selected(o, "update_key") || Selected(o, "update_key_tx");
    if (!needData) return 0;
    std::string ours = Scratch("data.tdb"), theirs = Scratch("data.sqlite");
    EngineFill(ours, o.rows);
    SqliteFill(theirs, o.rows);
    if (Selected(o, "locate_key")) Locate(o, ours, theirs, false);
    if (Selected(o, "locate_pk")) Locate(o, ours, theirs, true);
    if (Selected(o, "open_key_search")) OpenKeySearch(o, ours, theirs);
    if (Selected(o, "index_walk")) IndexWalk(o, ours, theirs);
    if (Selected(o, "update_key") || Selected(o, "update_key_tx")) UpdateKey(o, ours, theirs);
    return 0;
}
