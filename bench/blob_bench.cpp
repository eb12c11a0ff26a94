// Blob values through the table component against SQLite BLOB columns: append rows that
// carry one blob each, then read every row back and use its value.
//   blob_4k   10,000 rows with a 4 KiB blob
//   blob_1m   200 rows with a 1 MiB blob
// Times are per row (append plus read back). Only the engines' work is timed: making each
// row's value and checksumming what was read back happen outside the clock, the same for
// every contender. The engine runs with its flush timer off, as SQLite runs with
// synchronous=OFF and no journal.
//   bench_blob [--quick] [--reps=N] [--engine-only] [workload...]
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/support/harness.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/table.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

// Row i's value: a fixed pattern with the row number stamped at both ends.
class Values {
public:
    explicit Values(size_t size) : value_(size, '\0') {
        for (size_t i = 0; i < size; ++i)
            value_[i] = static_cast<char>((i * 131 + (i >> 10)) & 0xff);
    }
    const std::string& Row(long i) {
        int64_t stamp = i;
        std::memcpy(value_.data(), &stamp, sizeof stamp);
        std::memcpy(value_.data() + value_.size() - sizeof stamp, &stamp, sizeof stamp);
        return value_;
    }

private:
    std::string value_;
};

// Checksums the values read back (outside the timed part).
void AddValue(Hash& h, int64_t id, const void* data, size_t size) {
    h.Add(id);
    h.Add(static_cast<int64_t>(size));
    // Every byte counts, fast: FNV over 64-bit words.
    uint64_t x = 1469598103934665603ull;
    const auto* p = static_cast<const uint8_t*>(data);
    size_t n = size / 8;
    for (size_t k = 0; k < n; ++k) {
        uint64_t w;
        std::memcpy(&w, p + k * 8, 8);
        x = (x ^ w) * 1099511628211ull;
    }
    for (size_t k = n * 8; k < size; ++k) x = (x ^ p[k]) * 1099511628211ull;
    h.Add(static_cast<int64_t>(x));
}

struct Workload {
    std::string name;
    long rows;
    size_t size;
};

uint64_t EngineRun(const Workload& w, const std::string& path, bool batched, double& seconds) {
    std::remove(path.c_str());
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "t", {{"id", ftAutoInc}, {"data", ftBlob}});
    TTarnDatabase db(nullptr, "bench");
    db.SetDatabaseName("blobbench");
    db.SetFileName(path);
    db.SetAutoFlush(false);
    db.SetSyncCommit(false);  // as SQLite runs here: no sync
    db.Open();
    Values values(w.size);
    Hash h;
    seconds = 0;
    {
        TTarnTable t;
        t.SetDatabaseName("blobbench");
        t.SetTableName("t");
        t.Open();
        TField* data = t.FieldByName("data");
        for (long i = 0; i < w.rows; ++i) {
            const std::string& v = values.Row(i);
            seconds += Seconds([&] {
                if (batched && i % kSqliteBatch == 0) db.StartTransaction();
                t.Append();
                data->SetAsString(v);
                t.Post();
                if (batched && (i % kSqliteBatch == kSqliteBatch - 1 || i == w.rows - 1))
                    db.Commit();
            });
        }
    }
    TTarnTable t;
    t.SetDatabaseName("blobbench");
    t.SetTableName("t");
    TField* id = nullptr;
    TField* data = nullptr;
    seconds += Seconds([&] {
        t.Open();
        id = t.FieldByName("id");
        data = t.FieldByName("data");
        t.First();
    });
    std::string v;
    while (!t.Eof()) {
        int64_t key = 0;
        seconds += Seconds([&] {
            key = id->AsInteger();
            v = data->AsString();
            t.Next();
        });
        AddValue(h, key, v.data(), v.size());
    }
    return h.Value();
}

uint64_t SqliteRun(const Workload& w, const std::string& path, bool batched, double& seconds) {
    std::remove(path.c_str());
    Values values(w.size);
    Hash h;
    seconds = 0;
    sqlite3* db = OpenSqlite(path);
    Exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, data BLOB)");
    sqlite3_stmt* ins = Prepare(db, "INSERT INTO t(data) VALUES(?)");
    constexpr long kBatch = 10000;
    for (long i = 0; i < w.rows; ++i) {
        const std::string& v = values.Row(i);
        seconds += Seconds([&] {
            if (batched && i % kBatch == 0) Exec(db, "BEGIN");
            sqlite3_bind_blob(ins, 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
            sqlite3_step(ins);
            sqlite3_reset(ins);
            if (batched && (i % kBatch == kBatch - 1 || i == w.rows - 1)) Exec(db, "COMMIT");
        });
    }
    sqlite3_finalize(ins);
    sqlite3_stmt* sel = Prepare(db, "SELECT id, data FROM t ORDER BY id");
    for (;;) {
        int rc = 0;
        int64_t key = 0;
        const void* p = nullptr;
        int n = 0;
        seconds += Seconds([&] {
            rc = sqlite3_step(sel);
            if (rc == SQLITE_ROW) {
                key = sqlite3_column_int64(sel, 0);
                p = sqlite3_column_blob(sel, 1);
                n = sqlite3_column_bytes(sel, 1);
            }
        });
        if (rc != SQLITE_ROW) break;
        AddValue(h, key, p, static_cast<size_t>(n));
    }
    sqlite3_finalize(sel);
    sqlite3_close(db);
    return h.Value();
}

void RunWorkload(const Options& o, const Workload& w) {
    std::string ours = Scratch(w.name + ".tdb"), theirs = Scratch(w.name + ".sqlite");
    auto engine = [&](bool batched) {
        return [&, batched](double& s) { return EngineRun(w, ours, batched, s); };
    };
    auto sqlite = [&](bool batched) {
        return [&, batched](double& s) { return SqliteRun(w, theirs, batched, s); };
    };
    if (Selected(o, w.name))
        PrintLine(
            w.name, w.rows,
            Compare(w.name, w.rows, o.repetitions, engine(false), sqlite(false), sqlite(true)));
    // The engine's side in transactions of the SQLite batch's size.
    if (Selected(o, w.name + "_tx"))
        PrintLine(w.name + "_tx", w.rows,
                  Compare(w.name + "_tx", w.rows, o.repetitions, engine(true), sqlite(false),
                          sqlite(true)));
    std::fprintf(stderr, "  file sizes: tarndb %lld bytes, sqlite %lld bytes\n",
                 static_cast<long long>(FileSize(ours)), static_cast<long long>(FileSize(theirs)));
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    // The row counts are the workloads' own (--quick and --rows change nothing here).
    const Workload workloads[] = {{"blob_4k", 10000, 4096}, {"blob_1m", 200, 1 << 20}};
    for (const Workload& w : workloads)
        if (Selected(o, w.name) || Selected(o, w.name + "_tx")) RunWorkload(o, w);
    return 0;
}
