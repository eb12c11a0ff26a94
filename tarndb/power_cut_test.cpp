// Power cuts at every write of a transaction with SyncCommit, of a rollback and of the
// recovery that plays a journal back: after each, only what was synced survives (per file,
// and a directory entry only once its directory was synced; with a tear seed, a seeded part
// of the unsynced 512-byte sectors too), and the next open must find exactly the state
// before or the state after, in every table and every index, in a file that checks clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/os/fault_env.h"
#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

constexpr const char* kFile = "cut.tdb";
// Each run is replayed without a tear and with these seeds.
const std::optional<uint32_t> kTears[] = {std::nullopt, 11u, 29u};

std::string Notes(int i, size_t length) {
    return std::string(length, static_cast<char>('a' + i % 26)) + std::to_string(i);
}

// A connection to the file: People (id autoinc, name unique-indexed, notes memo) and Tags
// (person indexed, tag).
struct Conn {
    TTarnDatabase db{nullptr, "Db"};
    TTarnTable people{nullptr, "People"}, tags{nullptr, "Tags"};
    explicit Conn(const std::string& path, bool syncCommit = true) {
        static int serial = 0;
        std::string name = "powercut" + std::to_string(++serial);
        db.SetDatabaseName(name);
        db.SetFileName(path);
        db.SetSyncCommit(syncCommit);
        db.Open();
        for (auto [t, table] : {std::pair{&people, "People"}, std::pair{&tags, "Tags"}}) {
            t->SetDatabaseName(name);
            t->SetTableName(table);
            t->Open();
        }
    }
    void AddPerson(const std::string& name, const std::string& notes) {
        people.Append();
        people.FieldByName("name")->SetAsString(name);
        people.FieldByName("notes")->SetAsString(notes);
        people.Post();
    }
    void AddTag(int person, const std::string& tag) {
        tags.Append();
        tags.FieldByName("person")->SetAsInteger(person);
        tags.FieldByName("tag")->SetAsString(tag);
        tags.Post();
    }
    // Finds the person (physical order) called `name`.
    void Seek(const std::string& name) {
        for (people.First(); !people.Eof(); people.Next())
            if (people.FieldByName("name")->AsString() == name) return;
        FAIL() << "no person " << name;
    }
};

std::string Rows(TTarnTable& t, const std::string& index) {
    t.SetIndexName(index);
    std::string out = "[" + index + "]\n";
    for (t.First(); !t.Eof(); t.Next()) {
        for (int i = 0; i < t.FieldCount(); ++i) out += t.Fields(i)->AsString() + "|";
        out += "\n";
    }
    return out;
}

// What an open finds in the file: every table in physical order and through each index.
// The open plays a journal back; afterwards the file must check clean.
std::string State(const std::string& path) {
    std::string out;
    {
        Conn c(path);
        out = Rows(c.people, "") + Rows(c.people, "byName") + Rows(c.tags, "") +
              Rows(c.tags, "byPerson");
    }
    TCheckReport report = CheckDatabaseFile(path, {});
    std::string problems = report.unreadable;
    for (const TCheckProblem& p : report.problems) problems += "\n" + p.table + ": " + p.text;
    EXPECT_EQ(report.problemCount, 0) << problems;
    EXPECT_TRUE(report.journal.empty()) << report.journal;
    return out;
}

void CopyDir(const std::string& from, const std::string& to) {
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy_file(entry.path(), fs::path(to) / entry.path().filename());
}

// A base file: 24 people whose notes spread over several pages, and their tags.
void MakeBase(const std::string& path) {
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "People",
                             {{"id", ftAutoInc}, {"name", ftString, 20}, {"notes", ftMemo}},
                             {{"byName", tiUnique, {"name"}}});
    TTarnDBCreator::AddTable(path, "Tags", {{"person", ftInteger}, {"tag", ftString, 10}},
                             {{"byPerson", {}, {"person"}}});
    Conn c(path);
    c.db.StartTransaction();
    for (int i = 0; i < 24; ++i) {
        c.AddPerson("p" + std::to_string(i), Notes(i, 100 + static_cast<size_t>(i) * 37));
        c.AddTag(i + 1, "t" + std::to_string(i));
    }
    c.db.Commit();
}

// Overwrites in both tables (a key that moves, a value rewritten shorter in its old area,
// one that grows and moves to the end), appends with a large value, deletes.
void ChangeEverything(Conn& c) {
    c.Seek("p3");
    c.people.Edit();
    c.people.FieldByName("name")->SetAsString("zed");
    c.people.FieldByName("notes")->SetAsString("short now");
    c.people.Post();
    c.Seek("p17");
    c.people.Edit();
    c.people.FieldByName("notes")->SetAsString(Notes(99, 2500));
    c.people.Post();
    c.Seek("p9");
    c.people.Delete();
    c.AddPerson("new1", Notes(40, 7000));
    c.AddPerson("new2", "n");
    c.tags.First();
    c.tags.Delete();
    c.tags.Last();
    c.tags.Edit();
    c.tags.FieldByName("tag")->SetAsString("last");
    c.tags.Post();
    c.AddTag(25, "t25");
    // Enough appends to need new blocks of records and index items.
    for (int i = 0; i < 40; ++i) {
        c.AddPerson("q" + std::to_string(i), i % 8 == 0 ? Notes(i, 900) : "");
        c.AddTag(100 + i, "u" + std::to_string(i));
    }
}

// Runs `scenario` on a copy of the files in `baseDir` with the power cut after write `n`
// (counted from the scenario's start), applies the cut, and gives the folder of the copy.
// `threw` receives whether the scenario raised.
struct CutRun {
    TempDir dir;
    std::string path = dir.file(kFile);
    bool threw = false;
    long writes = 0;
    std::string error;
};
using Scenario = std::function<void(FaultEnv&, const std::string& path)>;

void RunWithCut(const std::string& baseDir, const Scenario& scenario, long n,
                std::optional<uint32_t> tear, CutRun& run) {
    CopyDir(baseDir, run.dir.path());
    FaultEnv env;
    {
        ScopedEnv scoped(&env);
        env.CutPowerAfterWrites(n, tear);
        try {
            scenario(env, run.path);
        } catch (const Exception& e) {
            run.threw = true;
            run.error = e.Message();
        }
        run.writes = env.Writes();
    }
    env.ApplyPowerCut();
}

// The first line where two states differ, for messages.
std::string FirstDifference(const std::string& got, const std::string& want) {
    size_t line = 1, at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        if (got[at++] == '\n') ++line;
    auto lineAt = [at](const std::string& s) {
        size_t from = s.rfind('\n', at == 0 ? 0 : at - 1);
        from = from == std::string::npos ? 0 : from + 1;
        return s.substr(from, std::min<size_t>(s.find('\n', from) - from, 60));
    };
    return "line " + std::to_string(line) + ": \"" + lineAt(got) + "\" where \"" + lineAt(want) +
           "\" was meant";
}

std::string Describe(long n, long writes, std::optional<uint32_t> tear) {
    return "power cut after write " + std::to_string(n) + " of " + std::to_string(writes) +
           (tear ? ", tear seed " + std::to_string(*tear) : ", nothing unsynced kept");
}

// Replays `scenario` with a power cut after each of its writes (and once after all of them).
// A cut before the end must make the scenario raise; what the next open finds must be
// `before` or `after` (`before` only, when `after` is empty), and after the last write
// `after` (or `before`). Returns how many cuts left each of the two.
struct Seen {
    int before = 0, after = 0;
};
Seen ReplayEveryWrite(const std::string& baseDir, const Scenario& scenario,
                      const std::string& before, const std::string& after) {
    Seen seen;
    CutRun counting;
    RunWithCut(baseDir, scenario, 1L << 40, std::nullopt, counting);
    EXPECT_FALSE(counting.threw) << counting.error;
    const long writes = counting.writes;
    EXPECT_GT(writes, 0);
    const std::string& finalState = after.empty() ? before : after;
    std::string end = State(counting.path);
    EXPECT_TRUE(end == finalState)
        << "the scenario's end did not survive a power cut: " << FirstDifference(end, finalState);
    if (::testing::Test::HasFailure()) return seen;
    for (long n = 0; n <= writes; ++n)
        for (std::optional<uint32_t> tear : kTears) {
            SCOPED_TRACE(Describe(n, writes, tear));
            CutRun run;
            RunWithCut(baseDir, scenario, n, tear, run);
            if (n < writes) {
                EXPECT_TRUE(run.threw) << "a write failed but the scenario reported success";
            }
            std::string state = State(run.path);
            ++(state == before ? seen.before : seen.after);
            if (n == writes || state != before) {
                EXPECT_TRUE(state == finalState)
                    << (n == writes ? "the finished scenario was lost: "
                                    : "neither the state before nor the one after: ")
                    << FirstDifference(state, finalState);
            }
            if (::testing::Test::HasFailure()) return seen;
        }
    return seen;
}

class PowerCuts : public ::testing::Test {
protected:
    TempDir base;
    std::string path = base.file(kFile);
    std::string before, after;
    void SetUp() override {
        MakeBase(path);
        before = State(path);
        TempDir changed;
        CopyDir(base.path(), changed.path());
        {
            Conn c(changed.file(kFile));
            c.db.StartTransaction();
            ChangeEverything(c);
            c.db.Commit();
        }
        after = State(changed.file(kFile));
        ASSERT_NE(before, after);
    }
};

TEST_F(PowerCuts, ACommitLeavesTheOldStateOrTheNew) {
    Seen seen = ReplayEveryWrite(
        base.path(),
        [](FaultEnv&, const std::string& file) {
            Conn c(file);
            c.db.StartTransaction();
            ChangeEverything(c);
            c.db.Commit();
        },
        before, after);
    // The commit point lies among the writes: cuts before it keep the old state, after it
    // the new.
    EXPECT_GT(seen.before, 0);
    EXPECT_GT(seen.after, 0);
    RecordProperty("cuts_before_commit_point", seen.before);
    RecordProperty("cuts_after_commit_point", seen.after);
}

TEST_F(PowerCuts, ARollbackAfterAFailedCommitLeavesTheOldState) {
    // The commit fails at its last overwrite (the disk is full), after the journal and the
    // other overwrites were written: its rollback puts the saved pages back.
    long commitWrites = 0;
    {
        TempDir probe;
        CopyDir(base.path(), probe.path());
        FaultEnv env;
        ScopedEnv scoped(&env);
        Conn c(probe.file(kFile));
        c.db.StartTransaction();
        ChangeEverything(c);
        long start = env.Writes();
        c.db.Commit();
        commitWrites = env.Writes() - start;
    }
    ASSERT_GE(commitWrites, 3) << "a commit writes its journal, the file and removes the journal";
    ReplayEveryWrite(
        base.path(),
        [commitWrites](FaultEnv& env, const std::string& file) {
            Conn c(file);
            c.db.StartTransaction();
            ChangeEverything(c);
            env.FailWrite(commitWrites - 1, ENOSPC);
            try {
                c.db.Commit();
            } catch (const EInOutError& e) {
                if (env.PowerWentOff()) throw;  // the cut came first
                EXPECT_FALSE(c.db.InTransaction());
                return;  // rolled back
            }
            ADD_FAILURE() << "the commit did not fail";
        },
        before, "");
}

TEST_F(PowerCuts, ARecoveryLeavesTheOldState) {
    // A writer dies at each write of its commit: its process is killed, or the machine loses
    // its power (keeping nothing unsynced, or a seeded part of it). Where that leaves a
    // journal, the open that plays it back then loses its power at each of its own writes;
    // where it leaves none, the file holds the old state.
    long commitWrites = 0;
    {
        CutRun counting;
        RunWithCut(
            base.path(),
            [&](FaultEnv& env, const std::string& file) {
                Conn c(file);
                c.db.StartTransaction();
                ChangeEverything(c);
                long start = env.Writes();
                c.db.Commit();
                commitWrites = env.Writes() - start;
            },
            1L << 40, std::nullopt, counting);
    }
    struct Death {
        const char* how;
        bool powerCut;
        std::optional<uint32_t> tear;
    };
    for (const Death& death :
         {Death{"killed", false, std::nullopt}, Death{"power cut", true, std::nullopt},
          Death{"power cut, torn", true, 7u}}) {
        int journals = 0;
        for (long k = 0; k < commitWrites; ++k) {
            SCOPED_TRACE(std::string("the writer died (") + death.how + ") after write " +
                         std::to_string(k) + " of its commit");
            TempDir died;
            CopyDir(base.path(), died.path());
            FaultEnv env;
            {
                ScopedEnv scoped(&env);
                try {
                    Conn c(died.file(kFile));
                    c.db.StartTransaction();
                    ChangeEverything(c);
                    if (death.powerCut)
                        env.CutPowerAfterWrites(k, death.tear);
                    else
                        env.CrashAfterWrites(k);
                    c.db.Commit();
                    ADD_FAILURE() << "the commit survived";
                } catch (const EInOutError&) {
                }
            }
            if (death.powerCut) env.ApplyPowerCut();
            int files = 0;
            for (const auto& entry : fs::directory_iterator(died.path())) files += entry.exists();
            if (files < 2) {
                // No journal: the commit had not begun to overwrite anything that lasted.
                std::string state = State(died.file(kFile));
                EXPECT_TRUE(state == before) << FirstDifference(state, before);
                continue;
            }
            ++journals;
            ReplayEveryWrite(
                died.path(), [](FaultEnv&, const std::string& file) { Conn c(file); }, before, "");
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(journals, 2) << death.how << ": too few deaths left a journal to play back";
    }
}

}  // namespace
}  // namespace tarn
