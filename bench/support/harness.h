// The benchmark harness: runs each workload on the engine and on SQLite in one process,
// interleaved (engine, SQLite autocommit, SQLite batched, engine, ...), at least five
// times, reports the median time per operation, and compares the engines' result hashes
// so a broken workload cannot look fast. Options common to the programs: --quick,
// --rows=N, --reps=N, --engine-only (the engine alone, for profiling), workload names.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarn::bench {

struct Options {
    long rows = 1000000;
    int repetitions = 5;
    bool quick = false;
    // Runs the engine's side alone (no SQLite, no hash comparison): for profiling.
    bool engineOnly = false;
    std::vector<std::string> only;  // workload names to run; empty: all
};
// Also sets the process-wide engine-only switch that Compare follows.
Options ParseOptions(int argc, char** argv);
bool Selected(const Options& options, const std::string& workload);

// A fresh scratch directory for the run, removed at exit.
std::string ScratchDir();
void CopyFile(const std::string& from, const std::string& to);
int64_t FileSize(const std::string& path);

// 64-bit FNV-1a over everything a workload read or left behind.
class Hash {
public:
    void Add(const void* data, size_t n);
    void Add(const std::string& s) { Add(s.data(), s.size()); }
    void Add(int64_t v) { Add(&v, sizeof v); }
    void Add(double v) { Add(&v, sizeof v); }
    uint64_t Value() const { return h_; }

private:
    uint64_t h_ = 1469598103934665603ull;
};

// One timed run of one engine: returns the result hash; `seconds` receives the time.
using Run = std::function<uint64_t(double& seconds)>;

struct Result {
    double engineUs = 0, autoUs = 0, batchUs = 0;
};

// Runs the three contenders `repetitions` times interleaved; fails loudly when their hashes
// differ. `operations` divides the times into per-operation microseconds.
Result Compare(const std::string& workload, long operations, int repetitions, const Run& engine,
               const Run& sqliteAuto, const Run& sqliteBatch);
void PrintLine(const std::string& workload, long rows, const Result& r);

// Wall-clock seconds of `f`.
double Seconds(const std::function<void()>& f);

// The benchmark rows: (id, k, name of 24 characters, val, pad of 50 characters).
struct Row {
    int32_t id;
    int32_t k;
    std::string name;
    double val;
    std::string pad;
};
Row MakeRow(long i, bool randomKey = false);

// SQLite in its fastest comparable setting: no journal, no sync, normal locking, a large
// cache, prepared statements.
sqlite3* OpenSqlite(const std::string& path, long long mmapSize = 0);
void Exec(sqlite3* db, const std::string& sql);
sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql);

// Operations per transaction of SQLite's batched column.
constexpr long kSqliteBatch = 10000;
// Runs `op(i)` for i in [0, count), one statement each (autocommit) or kSqliteBatch per
// transaction (batched).
template <typename Op>
void SqliteLoop(sqlite3* db, long count, bool batched, Op op) {
    for (long i = 0; i < count; ++i) {
        if (batched && i % kSqliteBatch == 0) Exec(db, "BEGIN");
        op(i);
        if (batched && (i % kSqliteBatch == kSqliteBatch - 1 || i == count - 1)) Exec(db, "COMMIT");
    }
}
// The benchmark rows in SQLite: table t(id INTEGER PRIMARY KEY, k, name, val, pad).
// Binds (k, name, val, pad) to an "INSERT INTO t(k,name,val,pad) VALUES(?,?,?,?)" and steps it.
void SqliteInsert(sqlite3_stmt* st, const Row& r);
// Hashes a row selected as (id, k, name, val, pad), as the engine's side hashes its rows.
void HashSqliteRow(sqlite3_stmt* st, Hash& h);

}  // namespace tarn::bench
