// Memory of an open table against SQLite: resident bytes per row after opening a table of
// `rows` rows with two indexes and walking it once in id order.
//   bench_memory [--quick] [--rows=N] [--engine-only]
// 1,000,000 rows by default, 100,000 with --quick.
//
// What is counted: the growth of the process's anonymous resident memory (Anonymous in
// /proc/self/smaps_rollup) from before the open to after the walk, with the table still
// open. File pages, whether mapped or cached, are not counted: both engines read the file
// through the page cache, and its pages belong to the file, not to the open table. For the
// engine this is its record lists: list 0 and, asked for after the walk, both key lists
// (every list a table can hold); for SQLite its page cache at the default size and its
// connection.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "bench/support/engine.h"
#include "bench/support/harness.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

// Anonymous resident bytes of this process.
long long AnonymousBytes() {
    std::ifstream in("/proc/self/smaps_rollup");
    std::string key;
    long long kb = 0;
    while (in >> key) {
        if (key == "Anonymous:") {
            in >> kb;
            return kb * 1024;
        }
        in.ignore(1 << 20, '\n');
    }
    throw std::runtime_error("no Anonymous line in /proc/self/smaps_rollup");
}

const std::vector<std::pair<std::string, int>> kIndexes = {{"k", 0}, {"name", 0}};

void EngineFill(const std::string& path, long rows) {
    std::remove(path.c_str());
    EngineTable t(path, true, kIndexes);
    EngineLoop(t.File(), rows, true, [&](long i) { t.Append(MakeRow(i, true)); });
}

void SqliteFill(const std::string& path, long rows) {
    std::remove(path.c_str());
    sqlite3* db = OpenSqlite(path);
    Exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, k INTEGER, name TEXT, val REAL, pad TEXT)");
    Exec(db, "CREATE INDEX by_k ON t(k)");
    Exec(db, "CREATE INDEX by_name ON t(name)");
    sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)");
    SqliteLoop(db, rows, true, [&](long i) { SqliteInsert(st, MakeRow(i, true)); });
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// Opens the table and walks it; returns the anonymous growth, hashes the rows into `h`.
long long EngineMeasure(const std::string& path, Hash& h) {
    const long long before = AnonymousBytes();
    EngineTable t(path, false);
    TRecordList& physical = t.Table().RecordList(0);
    {
        ReadLockGuard lock(t.File());
        for (int p = 0; p < physical.Count(); ++p) {
            t.Fetch(0, p);
            t.HashCurrent(h);
        }
    }
    long keyed = 0;
    for (int list = 1; list < t.Table().ListCount(); ++list)
        keyed += t.Table().RecordList(list).Count();
    if (keyed != 2L * physical.Count()) throw std::runtime_error("key lists incomplete");
    return AnonymousBytes() - before;
}

long long SqliteMeasure(const std::string& path, Hash& h) {
    const long long before = AnonymousBytes();
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
    sqlite3_stmt* st = Prepare(db, "SELECT id,k,name,val,pad FROM t ORDER BY id");
    while (sqlite3_step(st) == SQLITE_ROW) HashSqliteRow(st, h);
    sqlite3_finalize(st);
    const long long grown = AnonymousBytes() - before;
    sqlite3_close(db);
    return grown;
}

// Each measurement runs in a fresh process of this program, so that memory the fill freed
// but kept cannot hide what the open takes. It prints "<bytes> <hash>".
struct Measured {
    long long bytes = 0;
    uint64_t hash = 0;
};

Measured RunMeasure(const std::string& self, const std::string& which, const std::string& path) {
    std::string command = "'" + self + "' --measure-" + which + " '" + path + "'";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) throw std::runtime_error("cannot run " + command);
    Measured m;
    unsigned long long hash = 0;
    int got = std::fscanf(p, "%lld %llu", &m.bytes, &hash);
    if (pclose(p) != 0 || got != 2) throw std::runtime_error(which + " measurement failed");
    m.hash = hash;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        const std::string which = argv[1];
        if (which == "--measure-engine" || which == "--measure-sqlite") {
            Hash h;
            long long bytes =
                which == "--measure-engine" ? EngineMeasure(argv[2], h) : SqliteMeasure(argv[2], h);
            std::printf("%lld %llu\n", bytes, static_cast<unsigned long long>(h.Value()));
            return 0;
        }
    }
    Options o = ParseOptions(argc, argv);
    const std::string ours = ScratchDir() + "/memory.tdb", theirs = ScratchDir() + "/memory.sqlite";
    EngineFill(ours, o.rows);
    Measured engine = RunMeasure(argv[0], "engine", ours);
    double sqlitePerRow = 0;
    if (!o.engineOnly) {
        SqliteFill(theirs, o.rows);
        Measured sqlite = RunMeasure(argv[0], "sqlite", theirs);
        if (sqlite.hash != engine.hash) {
            std::fprintf(stderr, "memory_open: the engines read different rows\n");
            return 1;
        }
        sqlitePerRow = static_cast<double>(sqlite.bytes) / static_cast<double>(o.rows);
    }
    std::printf("BENCH memory_open rows=%ld tarndb_bytes_per_row=%.2f sqlite_bytes_per_row=%.2f\n",
                o.rows, static_cast<double>(engine.bytes) / static_cast<double>(o.rows),
                sqlitePerRow);
    return 0;
}
