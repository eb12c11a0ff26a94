#include "bench/support/harness.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tarn::bench {

namespace {
bool g_engineOnly = false;
}  // namespace

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick") {
            o.quick = true;
            o.rows = 100000;
        } else if (a == "--engine-only") {
            o.engineOnly = true;
            g_engineOnly = true;
        } else if (a.rfind("--rows=", 0) == 0) {
            o.rows = std::atol(a.c_str() + 7);
        } else if (a.rfind("--reps=", 0) == 0) {
            o.repetitions = std::max(1, std::atoi(a.c_str() + 7));
        } else {
            o.only.push_back(a);
        }
    }
    return o;
}

bool Selected(const Options& options, const std::string& workload) {
    return options.only.empty() ||
           std::find(options.only.begin(), options.only.end(), workload) != options.only.end();
}

namespace {
std::string g_scratch;
void RemoveScratch() {
    std::error_code ec;
    if (!g_scratch.empty()) std::filesystem::remove_all(g_scratch, ec);
}
}  // namespace

std::string ScratchDir() {
    if (g_scratch.empty()) {
        const char* base = std::getenv("TARN_BENCH_DIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/tarn-bench-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) throw std::runtime_error("cannot make " + templ);
        g_scratch = buf.data();
        std::atexit(RemoveScratch);
    }
    return g_scratch;
}

void CopyFile(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

int64_t FileSize(const std::string& path) {
    std::error_code ec;
    auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(n);
}

void Hash::Add(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
        h_ ^= p[i];
        h_ *= 1099511628211ull;
    }
}

double Seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Result Compare(const std::string& workload, long operations, int repetitions, const Run& engine,
               const Run& sqliteAuto, const Run& sqliteBatch) {
    std::vector<double> e, a, b;
    uint64_t he = 0, ha = 0, hb = 0;
    for (int r = 0; r < repetitions; ++r) {
        double s = 0;
        he = engine(s);
        e.push_back(s);
        if (g_engineOnly) continue;
        if (sqliteAuto) {
            ha = sqliteAuto(s);
            a.push_back(s);
        }
        if (sqliteBatch) {
            hb = sqliteBatch(s);
            b.push_back(s);
        }
        if ((sqliteAuto && ha != he) || (sqliteBatch && hb != he)) {
            std::fprintf(
                stderr,
                "BENCH %s: result hashes differ (tarndb %016llx, sqlite %016llx / %016llx)\n",
                workload.c_str(), static_cast<unsigned long long>(he),
                static_cast<unsigned long long>(ha), static_cast<unsigned long long>(hb));
            std::exit(3);
        }
    }
    Result res;
    double ops = static_cast<double>(std::max(1L, operations));
    res.engineUs = Median(e) * 1e6 / ops;
    res.autoUs = a.empty() ? 0 : Median(a) * 1e6 / ops;
    res.batchUs = b.empty() ? 0 : Median(b) * 1e6 / ops;
    return res;
}

void PrintLine(const std::string& workload, long rows, const Result& r) {
    auto ratio = [](double x, double y) { return y > 0 ? x / y : 0.0; };
    std::printf(
        "BENCH %s rows=%ld tarndb_us=%.3f sqlite_auto_us=%.3f sqlite_batch_us=%.3f ratio_auto=%.3f "
        "ratio_batch=%.3f\n",
        workload.c_str(), rows, r.engineUs, r.autoUs, r.batchUs, ratio(r.engineUs, r.autoUs),
        ratio(r.engineUs, r.batchUs));
    std::fflush(stdout);
}

Row MakeRow(long i, bool randomKey) {
    Row row;
    row.id = static_cast<int32_t>(i + 1);
    // A bijection of 0..2^31 for random unique keys.
    row.k = randomKey
                ? static_cast<int32_t>((static_cast<uint64_t>(i) * 2654435761ull) & 0x7fffffff)
                : static_cast<int32_t>(i);
    char name[32];
    std::snprintf(name, sizeof name, "%c%023ld", static_cast<char>('a' + (i * 7) % 26), i);
    row.name = name;
    row.val = static_cast<double>(i) * 0.25;
    row.pad = std::string(50, static_cast<char>('A' + i % 26));
    return row;
}

sqlite3* OpenSqlite(const std::string& path, long long mmapSize) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("sqlite open " + path);
    Exec(db, "PRAGMA journal_mode=OFF");
    Exec(db, "PRAGMA synchronous=OFF");
    Exec(db, "PRAGMA locking_mode=NORMAL");
    Exec(db, "PRAGMA cache_size=-262144");
    Exec(db, "PRAGMA mmap_size=" + std::to_string(mmapSize));
    return db;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "?";
        sqlite3_free(err);
        throw std::runtime_error("sqlite: " + msg + " in " + sql);
    }
}

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
    return st;
}

void SqliteInsert(sqlite3_stmt* st, const Row& r) {
    sqlite3_bind_int(st, 1, r.k);
    sqlite3_bind_text(st, 2, r.name.data(), static_cast<int>(r.name.size()), SQLITE_STATIC);
    sqlite3_bind_double(st, 3, r.val);
    sqlite3_bind_text(st, 4, r.pad.data(), static_cast<int>(r.pad.size()), SQLITE_STATIC);
    sqlite3_step(st);
    sqlite3_reset(st);
}

void HashSqliteRow(sqlite3_stmt* st, Hash& h) {
    h.Add(static_cast<int64_t>(sqlite3_column_int(st, 0)));
    h.Add(static_cast<int64_t>(sqlite3_column_int(st, 1)));
    h.Add(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))));
    h.Add(sqlite3_column_double(st, 3));
    h.Add(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 4))));
}

}  // namespace tarn::bench
