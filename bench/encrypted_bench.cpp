// The engine on an encrypted database (Blowfish, mode 0) against the same engine on a plain
// one, through the table component:
//   append_encrypted  append every row                       (time per row)
//   locate_encrypted  Locate on the integer field k, which has no index, so each call
//                     scans; the keys sought lie in the last tenth of the table
//                                                            (time per row scanned)
//   scan_encrypted    read every row and use every field     (time per row)
// Both databases run with the flush timer off. Lines:
//   BENCH <name> rows=<n> tarndb_us=<µs encrypted> plain_us=<µs plain> ratio_plain=<enc/plain>
//   bench_encrypted [--quick] [--rows=N] [--reps=N] [workload...]
#include <cstdio>
#include <string>

#include "bench/support/harness.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/table.h"

using namespace tarn;
using namespace tarn::bench;

namespace {

std::string Scratch(const std::string& name) { return ScratchDir() + "/" + name; }

constexpr const char* kPassword = "benchmark password";

void CreateDatabase(const std::string& path, bool encrypted) {
    std::remove(path.c_str());
    TDatabaseSettings settings;
    if (encrypted) {
        settings.encrypted = true;
        settings.encryptModule = "Blowfish";
        settings.encryptMode = 0;
        settings.password = kPassword;
    }
    TTarnDBCreator::CreateDatabase(path, settings);
    TTarnDBCreator::AddTable(path, "t",
                             {{"id", ftAutoInc},
                              {"k", ftInteger},
                              {"name", ftString, 24},
                              {"val", ftFloat},
                              {"pad", ftString, 50}});
}

// A connected database and an open table over it.
class Session {
    TTarnDatabase db_;  // declared first: it outlives the table

public:
    Session(const std::string& path, bool encrypted) : db_(nullptr, encrypted ? "enc" : "plain") {
        std::string name = encrypted ? "bench_enc" : "bench_plain";
        db_.SetDatabaseName(name);
        db_.SetFileName(path);
        db_.SetAutoFlush(false);
        if (encrypted) db_.SupplyPassword(kPassword);
        db_.Open();
        table.SetDatabaseName(name);
        table.SetTableName("t");
        table.Open();
    }
    TTarnTable table;
};

void Fill(TTarnTable& t, long rows) {
    TField* k = t.FieldByName("k");
    TField* name = t.FieldByName("name");
    TField* val = t.FieldByName("val");
    TField* pad = t.FieldByName("pad");
    for (long i = 0; i < rows; ++i) {
        Row r = MakeRow(i);
        t.Append();
        k->SetAsInteger(r.k);
        name->SetAsString(r.name);
        val->SetAsFloat(r.val);
        pad->SetAsString(r.pad);
        t.Post();
    }
}

uint64_t HashAll(TTarnTable& t) {
    Hash h;
    TField* f[5] = {t.FieldByName("id"), t.FieldByName("k"), t.FieldByName("name"),
                    t.FieldByName("val"), t.FieldByName("pad")};
    for (t.First(); !t.Eof(); t.Next()) {
        h.Add(static_cast<int64_t>(f[0]->AsInteger()));
        h.Add(static_cast<int64_t>(f[1]->AsInteger()));
        h.Add(f[2]->AsString());
        h.Add(f[3]->AsFloat());
        h.Add(f[4]->AsString());
    }
    return h.Value();
}

void PrintPlainLine(const std::string& name, long rows, const Result& r) {
    std::printf("BENCH %s rows=%ld tarndb_us=%.3f plain_us=%.3f ratio_plain=%.3f\n", name.c_str(),
                rows, r.engineUs, r.autoUs, r.autoUs > 0 ? r.engineUs / r.autoUs : 0.0);
    std::fflush(stdout);
}

void Append(const Options& o) {
    auto run = [&](bool encrypted) {
        return [&, encrypted](double& s) {
            std::string path = Scratch(encrypted ? "append_enc.tdb" : "append_plain.tdb");
            CreateDatabase(path, encrypted);
            Session session(path, encrypted);
            s = Seconds([&] { Fill(session.table, o.rows); });
            return HashAll(session.table);
        };
    };
    PrintPlainLine(
        "append_encrypted", o.rows,
        Compare("append_encrypted", o.rows, o.repetitions, run(true), run(false), nullptr));
}

void Locate(const Options& o, const std::string& enc, const std::string& plain) {
    constexpr int kLocates = 5;
    auto run = [&](bool encrypted) {
        return [&, encrypted](double& s) {
            Session session(encrypted ? enc : plain, encrypted);
            TTarnTable& t = session.table;
            Hash h;
            long scanned = 0;
            s = Seconds([&] {
                for (int i = 0; i < kLocates; ++i) {
                    long target = o.rows - 1 - (o.rows / 10) * i / kLocates;
                    scanned += target + 1;
                    if (t.Locate("k", TVariant(MakeRow(target).k), 0))
                        h.Add(static_cast<int64_t>(t.FieldByName("id")->AsInteger()));
                }
            });
            h.Add(static_cast<int64_t>(scanned));
            return h.Value();
        };
    };
    // Rows scanned by the five calls, for the time per row.
    long scanned = 0;
    for (int i = 0; i < kLocates; ++i) scanned += o.rows - (o.rows / 10) * i / kLocates;
    PrintPlainLine(
        "locate_encrypted", o.rows,
        Compare("locate_encrypted", scanned, o.repetitions, run(true), run(false), nullptr));
}

void Scan(const Options& o, const std::string& enc, const std::string& plain) {
    auto run = [&](bool encrypted) {
        return [&, encrypted](double& s) {
            Session session(encrypted ? enc : plain, encrypted);
            uint64_t v = 0;
            s = Seconds([&] { v = HashAll(session.table); });
            return v;
        };
    };
    PrintPlainLine(
        "scan_encrypted", o.rows,
        Compare("scan_encrypted", o.rows, o.repetitions, run(true), run(false), nullptr));
}

}  // namespace

int main(int argc, char** argv) {
    Options o = ParseOptions(argc, argv);
    if (Selected(o, "append_encrypted")) Append(o);
    if (!Selected(o, "locate_encrypted") && !Selected(o, "scan_encrypted")) return 0;
    std::string enc = Scratch("data_enc.tdb"), plain = Scratch("data_plain.tdb");
    for (bool encrypted : {true, false}) {
        std::string path = encrypted ? enc : plain;
        CreateDatabase(path, encrypted);
        Session session(path, encrypted);
        Fill(session.table, o.rows);
    }
    if (Selected(o, "locate_encrypted")) Locate(o, enc, plain);
    if (Selected(o, "scan_encrypted")) Scan(o, enc, plain);
    return 0;
}
