// Filtering and locating through the table component against SQLite's unindexed
// SELECT ... WHERE. For these workloads the two SQLite columns are SQLite without memory
// mapping (sqlite_auto_us) and with a 1 GB mapping (sqlite_batch_us); times are per row of
// the table.
//   bench_filter [--quick] [--rows=N] [--reps=N] [workload...]
#include <cstdio>
#include <string>

#include "bench/support/harness.h"
#include "tarndb/creator.h"
#include "tarndb/datetime.h"
#include "tarndb/table.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

// Row i's date-time: one day apart, from 2020-01-01 on.
double Stamp(long i) { return 43831.0 + static_cast<double>(i % 3650) + 0.25; }
int32_t Key(long i) { return static_cast<int32_t>(i % 100); }

void FillEngine(const std::string& path, long rows) {
    std::remove(path.c_str());
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "t",
                             {{"id", ftAutoInc},
                              {"k", ftInteger},
                              {"name", ftString, 24},
                              {"val", ftFloat},
                              {"ts", ftDateTime},
                              {"pad", ftString, 50}});
    TTarnTable t;
    t.SetDatabaseName(path);
    t.SetTableName("t");
    t.Open();
    TField* k = t.FieldByName("k");
    TField* name = t.FieldByName("name");
    TField* val = t.FieldByName("val");
    TField* ts = t.FieldByName("ts");
    TField* pad = t.FieldByName("pad");
    for (long i = 0; i < rows; ++i) {
        Row r = MakeRow(i);
        t.Append();
        k->SetAsInteger(Key(i));
        name->SetAsString(r.name);
        val->SetAsFloat(r.val);
        ts->SetAsDateTime(Stamp(i));
        pad->SetAsString(r.pad);
        t.Post();
    }
}

void FillSqlite(const std::string& path, long rows) {
    std::remove(path.c_str());
    sqlite3* db = OpenSqlite(path);
    Exec(db,
         "CREATE TABLE t(id INTEGER PRIMARY KEY, k INTEGER, name TEXT, val REAL, ts REAL, pad "
         "TEXT)");
    sqlite3_stmt* st = Prepare(db, "INSERT INTO t(k,name,val,ts,pad) VALUES(?,?,?,?,?)");
    Exec(db, "BEGIN");
    for (long i = 0; i < rows; ++i) {
        Row r = MakeRow(i);
        sqlite3_bind_int(st, 1, Key(i));
        sqlite3_bind_text(st, 2, r.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 3, r.val);
        sqlite3_bind_double(st, 4, Stamp(i));
        sqlite3_bind_text(st, 5, r.pad.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    Exec(db, "COMMIT");
    sqlite3_finalize(st);
    sqlite3_close(db);
}

struct Workload {
    std::string name, filter, where;
};

void Filter(const Options& o, const Workload& w, const std::string& ours,
            const std::string& theirs) {
    TTarnTable t;
    t.SetDatabaseName(ours);
    t.SetTableName("t");
    t.Open();
    TField* id = t.FieldByName("id");
    TField* name = t.FieldByName("name");
    auto engine = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            t.SetFiltered(false);
            t.SetFilter(w.filter);
            t.SetFiltered(true);
            for (t.First(); !t.Eof(); t.Next()) {
                h.Add(static_cast<int64_t>(id->AsInteger()));
                h.Add(name->AsString());
            }
        });
        return h.Value();
    };
    auto sqlite = [&](long long mmap) {
        return [&, mmap](double& s) {
            sqlite3* db = OpenSqlite(theirs, mmap);
            sqlite3_stmt* st =
                Prepare(db, "SELECT id, name FROM t WHERE " + w.where + " ORDER BY id");
            Hash h;
            s = Seconds([&] {
                while (sqlite3_step(st) == SQLITE_ROW) {
                    h.Add(static_cast<int64_t>(sqlite3_column_int(st, 0)));
                    h.Add(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
                }
            });
            sqlite3_finalize(st);
            sqlite3_close(db);
            return h.Value();
        };
    };
    PrintLine(w.name, o.rows,
              Compare(w.name, o.rows, o.repetitions, engine, sqlite(0), sqlite(1LL << 30)));
}

void LocateScan(const Options& o, const std::string& ours, const std::string& theirs) {
    constexpr int kLocates = 20;
    TTarnTable t;
    t.SetDatabaseName(ours);
    t.SetTableName("t");
    t.Open();
    TField* id = t.FieldByName("id");
    auto target = [&](int j) { return MakeRow(o.rows - 1 - (j * 7919L) % (o.rows / 2 + 1)).name; };
    auto engine = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            for (int j = 0; j < kLocates; ++j)
                if (t.Locate("name", TVariant(target(j)), 0))
                    h.Add(static_cast<int64_t>(id->AsInteger()));
        });
        return h.Value();
    };
    auto sqlite = [&](long long mmap) {
        return [&, mmap](double& s) {
            sqlite3* db = OpenSqlite(theirs, mmap);
            sqlite3_stmt* st = Prepare(db, "SELECT id FROM t WHERE name = ? ORDER BY id LIMIT 1");
            Hash h;
            s = Seconds([&] {
                for (int j = 0; j < kLocates; ++j) {
                    std::string key = target(j);
                    sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
                    if (sqlite3_step(st) == SQLITE_ROW)
                        h.Add(static_cast<int64_t>(sqlite3_column_int(st, 0)));
                    sqlite3_reset(st);
                }
            });
            sqlite3_finalize(st);
            sqlite3_close(db);
            return h.Value();
        };
    };
    PrintLine(
        "locate_scan", o.rows,
        Compare("locate_scan", kLocates, o.repetitions, engine, sqlite(0), sqlite(1LL << 30)));
}

// Master-detail: a master of 1,000 rows, a detail whose rows belong to masters by `k`
// through an index; each master move restricts the detail to its rows (walked and hashed).
void DetailRange(const Options& o) {
    constexpr int kMasters = 1000, kMoves = 10000;
    std::string ours = Scratch("detail.tdb"), theirs = Scratch("detail.sqlite");
    std::remove(ours.c_str());
    TTarnDBCreator::CreateDatabase(ours);
    TTarnDBCreator::AddTable(ours, "m", {{"k", ftInteger}}, {{"pk", tiPrimary | tiUnique, {"k"}}});
    TTarnDBCreator::AddTable(ours, "d",
                             {{"id", ftAutoInc}, {"k", ftInteger}, {"name", ftString, 24}},
                             {{"byk", {}, {"k"}}});
    std::remove(theirs.c_str());
    sqlite3* db = OpenSqlite(theirs);
    Exec(db, "CREATE TABLE m(k INTEGER PRIMARY KEY)");
    Exec(db, "CREATE TABLE d(id INTEGER PRIMARY KEY, k INTEGER, name TEXT)");
    Exec(db, "CREATE INDEX byk ON d(k)");
    {
        TTarnTable m, d;
        m.SetDatabaseName(ours);
        m.SetTableName("m");
        m.Open();
        d.SetDatabaseName(ours);
        d.SetTableName("d");
        d.Open();
        Exec(db, "BEGIN");
        for (int i = 0; i < kMasters; ++i) {
            m.Append();
            m.FieldByName("k")->SetAsInteger(i);
            m.Post();
            Exec(db, "INSERT INTO m VALUES(" + std::to_string(i) + ")");
        }
        sqlite3_stmt* st = Prepare(db, "INSERT INTO d(k,name) VALUES(?,?)");
        for (long i = 0; i < o.rows; ++i) {
            int32_t k = static_cast<int32_t>((i * 7919) % kMasters);
            std::string name = MakeRow(i).name;
            d.Append();
            d.FieldByName("k")->SetAsInteger(k);
            d.FieldByName("name")->SetAsString(name);
            d.Post();
            sqlite3_bind_int(st, 1, k);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        Exec(db, "COMMIT");
    }
    sqlite3_close(db);

    TTarnTable m, d;
    m.SetDatabaseName(ours);
    m.SetTableName("m");
    m.Open();
    TDataSource source(&m);
    d.SetDatabaseName(ours);
    d.SetTableName("d");
    d.SetIndexName("byk");
    d.SetMasterSource(&source);
    d.SetMasterFields("k");
    d.Open();
    // The field is looked up once, as SQLite's side reads its column by number.
    TField* id = d.FieldByName("id");
    auto engine = [&](double& s) {
        Hash h;
        s = Seconds([&] {
            for (int j = 0; j < kMoves; ++j) {
                m.SetRecNo(1 + (j * 37) % kMasters);
                // Rows with equal keys have no defined order: hash the set of rows per move.
                int64_t sum = 0, count = 0;
                for (d.First(); !d.Eof(); d.Next(), ++count) sum += id->AsInteger();
                h.Add(sum);
                h.Add(count);
            }
        });
        return h.Value();
    };
    auto sqlite = [&](long long mmap) {
        return [&, mmap](double& s) {
            sqlite3* con = OpenSqlite(theirs, mmap);
            sqlite3_stmt* st = Prepare(con, "SELECT id FROM d WHERE k = ? ORDER BY k, id");
            Hash h;
            s = Seconds([&] {
                for (int j = 0; j < kMoves; ++j) {
                    sqlite3_bind_int(st, 1, (j * 37) % kMasters);
                    int64_t sum = 0, count = 0;
                    for (; sqlite3_step(st) == SQLITE_ROW; ++count)
                        sum += sqlite3_column_int(st, 0);
                    h.Add(sum);
                    h.Add(count);
                    sqlite3_reset(st);
                }
            });
            sqlite3_finalize(st);
            sqlite3_close(con);
            return h.Value();
        };
    };
    PrintLine("detail_range", o.rows,
              Compare("detail_range", kMoves, o.repetitions, engine, sqlite(0), sqlite(1LL << 30)));
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    std::string ours = Scratch("filter.tdb"), theirs = Scratch("filter.sqlite");
    FillEngine(ours, o.rows);
    FillSqlite(theirs, o.rows);
    std::fprintf(
        stderr,
        "  filter workloads: sqlite_auto = SQLite without mmap, sqlite_batch = with 1 GB mmap\n");
    Workload workloads[] = {
        {"filter_eq", "k = 3", "k = 3"},
        {"filter_like", "name LIKE 'a%'", "name LIKE 'a%'"},
        {"filter_range", "(ts >= '1/1/2021') AND (ts < '2/1/2021')",
         "ts >= 44197.0 AND ts < 44228.0"},
    };
    for (const Workload& w : workloads)
        if (Selected(o, w.name)) Filter(o, w, ours, theirs);
    if (Selected(o, "locate_scan")) LocateScan(o, ours, theirs);
    if (Selected(o, "detail_range")) DetailRange(o);
    return 0;
}
