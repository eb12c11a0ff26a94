// A writer killed at a random moment inside its transactions: the next opener finds the
// file exactly as one of the writer's commits left it, never part of a transaction, and
// never without a commit the writer had seen complete.
//
// The writer runs transactions n = 1, 2, ... Each appends a group of kRows rows tagged 2n,
// may rewrite every row of an existing group to the tag 2n + 1 (with memo values of other
// lengths), may delete a whole group, and records n and the number of groups in the one row
// of State. After each commit it tells the parent n over a pipe.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "tarndb/check.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/table.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using testing::TempDir;

constexpr int kRows = 4;       // rows of a group
constexpr int kMaxGroups = 6;  // a transaction deletes a group when there are this many
constexpr uint32_t kSeed = 20240611;
constexpr int kTrials = 30;

// Every row's memo follows from its tag and sequence number; lengths reach past one page.
std::string Body(int tag, int seq) {
    size_t length = static_cast<size_t>((tag * 977 + seq * 131) % 6000);
    return std::string(length, static_cast<char>('a' + (tag + seq) % 26));
}

struct Db {
    TTarnDatabase db{nullptr, "Db"};
    TTarnTable rows{nullptr, "Rows"}, state{nullptr, "State"};
    Db(const std::string& name, const std::string& path, bool syncCommit) {
        db.SetDatabaseName(name);
        db.SetFileName(path);
        db.SetSyncCommit(syncCommit);
        db.Open();
        for (auto [t, table] : {std::pair{&rows, "Rows"}, std::pair{&state, "State"}}) {
            t->SetDatabaseName(name);
            t->SetTableName(table);
            t->Open();
        }
        state.First();
    }
    int N() { return state.FieldByName("n")->AsInteger(); }
    int Groups() { return state.FieldByName("groups")->AsInteger(); }
};

// The writer's loop; runs in the child until it is killed (or has run `limit` transactions).
void Write(const std::string& path, uint32_t seed, bool syncCommit, int pipeOut, int limit) {
    Db d("writer", path, syncCommit);
    auto tell = [&](int n) {
        if (write(pipeOut, &n, sizeof n) != sizeof n) _exit(3);
    };
    tell(d.N());
    for (int i = 0; i < limit; ++i) {
        const int n = d.N() + 1;
        std::mt19937 rng(seed ^ (static_cast<uint32_t>(n) * 2654435761u));
        d.db.StartTransaction();
        std::set<int> tags;
        for (d.rows.First(); !d.rows.Eof(); d.rows.Next())
            tags.insert(d.rows.FieldByName("tag")->AsInteger());
        int groups = static_cast<int>(tags.size());
        auto pick = [&] {
            auto it = tags.begin();
            std::advance(it, static_cast<long>(rng() % tags.size()));
            int tag = *it;
            tags.erase(it);
            return tag;
        };
        int rewrite = tags.size() >= 2 && rng() % 3 != 0 ? pick() : -1;
        int remove = static_cast<int>(tags.size()) + (rewrite >= 0) >= kMaxGroups ? pick() : -1;
        // Physical order: an edit does not move the row.
        for (d.rows.First(); !d.rows.Eof();) {
            int tag = d.rows.FieldByName("tag")->AsInteger();
            if (tag == remove) {
                d.rows.Delete();
                continue;
            }
            if (tag == rewrite) {
                int seq = d.rows.FieldByName("seq")->AsInteger();
                d.rows.Edit();
                d.rows.FieldByName("tag")->SetAsInteger(2 * n + 1);
                d.rows.FieldByName("body")->SetAsString(Body(2 * n + 1, seq));
                d.rows.Post();
            }
            d.rows.Next();
        }
        for (int seq = 0; seq < kRows; ++seq) {
            d.rows.Append();
            d.rows.FieldByName("tag")->SetAsInteger(2 * n);
            d.rows.FieldByName("seq")->SetAsInteger(seq);
            d.rows.FieldByName("body")->SetAsString(Body(2 * n, seq));
            d.rows.Post();
        }
        d.state.First();
        d.state.Edit();
        d.state.FieldByName("n")->SetAsInteger(n);
        d.state.FieldByName("groups")->SetAsInteger(groups + 1 - (remove >= 0));
        d.state.Post();
        d.db.Commit();
        tell(n);
    }
}

// What the file holds after the kill, checked against the all-or-nothing rules. Returns the
// committed transaction count it shows.
int CheckCommittedState(const std::string& path, int lastTold) {
    Db d("reader", path, true);  // the open plays back a journal left behind
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
    const int n = d.N();
    EXPECT_GE(n, lastTold) << "a commit the writer saw complete was lost";
    EXPECT_LE(n, lastTold + 1);
    std::map<int, std::set<int>> groups;
    for (d.rows.First(); !d.rows.Eof(); d.rows.Next()) {
        int tag = d.rows.FieldByName("tag")->AsInteger(),
            seq = d.rows.FieldByName("seq")->AsInteger();
        EXPECT_TRUE(groups[tag].insert(seq).second) << "tag " << tag << " seq " << seq << " twice";
        EXPECT_EQ(d.rows.FieldByName("body")->AsString(), Body(tag, seq))
            << "tag " << tag << " seq " << seq;
        EXPECT_LE(tag, 2 * n + 1) << "a row of a transaction after the last commit";
    }
    EXPECT_EQ(static_cast<int>(groups.size()), d.Groups());
    for (const auto& [tag, seqs] : groups)
        EXPECT_EQ(static_cast<int>(seqs.size()), kRows) << "group " << tag << " is partial";
    if (n > 0) {
        EXPECT_TRUE(groups.count(2 * n)) << "the last commit's group is missing";
    }
    return n;
}

TEST(KilledWriter, EveryKillLeavesACommittedStateAndACleanFile) {
    testing::TQuietTimers quietTimers;  // the test forks
    TempDir dir;
    const std::string path = dir.file("kill.tdb");
    TTarnDBCreator::CreateDatabase(path);
    TTarnDBCreator::AddTable(path, "Rows",
                             {{"tag", ftInteger}, {"seq", ftInteger}, {"body", ftMemo}},
                             {{"byTag", {}, {"tag"}}});
    TTarnDBCreator::AddTable(path, "State", {{"n", ftInteger}, {"groups", ftInteger}});
    {
        Db d("setup", path, true);
        d.state.Append();
        d.state.FieldByName("n")->SetAsInteger(0);
        d.state.FieldByName("groups")->SetAsInteger(0);
        d.state.Post();
    }

    std::mt19937 rng(kSeed);
    int committed = 0, killedInside = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", trial " + std::to_string(trial));
        const bool syncCommit = trial % 2 == 1;
        const uint32_t childSeed = static_cast<uint32_t>(rng());
        const int delayUs = static_cast<int>(rng() % 120000);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            try {
                Write(path, childSeed, syncCommit, fds[1], 100000);
            } catch (...) {
                _exit(2);
            }
            _exit(0);  // nothing of the test framework runs in the child
        }
        close(fds[1]);
        int start = -1;
        ASSERT_EQ(read(fds[0], &start, sizeof start), static_cast<ssize_t>(sizeof start))
            << "the writer did not start";
        EXPECT_EQ(start, committed);
        usleep(static_cast<useconds_t>(delayUs));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended by itself: status " << status;
        // Every commit the writer told of before it died.
        int lastTold = start, told = 0;
        while (read(fds[0], &told, sizeof told) == static_cast<ssize_t>(sizeof told))
            lastTold = told;
        close(fds[0]);
        killedInside += std::filesystem::exists(path + "-journal");
        committed = CheckCommittedState(path, lastTold);
        TCheckReport report = CheckDatabaseFile(path, {});
        std::string problems = report.unreadable;
        for (const TCheckProblem& p : report.problems) problems += "\n" + p.text;
        EXPECT_EQ(report.problemCount, 0) << problems;
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GE(committed, 10) << "too few transactions ran to mean anything";
    RecordProperty("journals_left", killedInside);
}

}  // namespace
}  // namespace tarn
