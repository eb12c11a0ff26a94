// `tarndb compact`: a file that held many rows since deleted shrinks to what its live rows
// need, every value, key order, setting and autoinc counter surviving, and it is never
// replaced while somebody else has it open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/os/env.h"
#include "tarndb/database.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::RunTarndb;
using testing::ToolRun;

struct Variant {
    const char* name;
    std::vector<std::string> createOptions;
    std::map<std::string, std::string> env;
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

class Compact : public ::testing::TestWithParam<Variant> {
protected:
    // Table "books": id autoinc, title string:20 (unique index), note memo, cover blob. Five
    // rounds import 200 rows each, all deleted again; then 40 rows that stay.
    void SetUp() override {
        const Variant& v = GetParam();
        std::vector<std::string> create{"create", db};
        create.insert(create.end(), v.createOptions.begin(), v.createOptions.end());
        ASSERT_EQ(Run(create).status, 0);
        ASSERT_EQ(Run({"add-table", db, "books", "--field", "id:autoinc", "--field",
                       "title:string:20", "--field", "note:memo", "--field", "cover:blob",
                       "--index", "byTitle:unique:title"})
                      .status,
                  0);
        std::string cover = "0x" + std::string(600, 'a');
        for (int round = 0; round < 5; ++round) {
            std::ofstream csv(dir.file("r.csv"), std::ios::binary | std::ios::trunc);
            csv << "title,note,cover\n";
            for (int i = 0; i < 200; ++i)
                csv << "t" << round << "-" << i << ",\"note " << i << " 备注\n第二行\"," << cover
                    << "\n";
            csv.close();
            ASSERT_EQ(Run({"import", db, "books", dir.file("r.csv")}).status, 0);
        }
        DeleteRounds();
        std::ofstream keep(dir.file("k.csv"), std::ios::binary | std::ios::trunc);
        keep << "title,note,cover\n";
        for (int i = 0; i < 40; ++i)
            keep << "k" << (i * 7 % 40) << ",keep " << i << "," << cover << "\n";
        keep.close();
        ASSERT_EQ(Run({"import", db, "books", dir.file("k.csv")}).status, 0);
    }

    // Deletes every row the rounds imported, through the engine.
    void DeleteRounds() {
        TTarnDatabase database(nullptr, "Rounds");
        database.SetDatabaseName("compact-rounds");
        database.SetFileName(db);
        auto password = GetParam().env.find("TARNDB_PASSWORD");
        if (password != GetParam().env.end()) database.SupplyPassword(password->second);
        database.Open();
        TTarnTable books(nullptr, "Books");
        books.SetDatabaseName("compact-rounds");
        books.SetTableName("books");
        books.Open();
        for (books.First(); !books.Eof();) {
            if (books.FieldByName("title")->AsString().starts_with("t"))
                books.Delete();
            else
                books.Next();
        }
        ASSERT_EQ(books.RecordCount(), 0);
    }

    ToolRun Run(const std::vector<std::string>& args) {
        return RunTarndb(args, dir.path(), GetParam().env);
    }
    std::string Dump(const std::string& file) {
        return Run({"dump", file, "books", "--format", "csv"}).out +
               Run({"dump", file, "books", "--index", "byTitle", "--format", "json"}).out;
    }
    static int64_t Size(const std::string& file) {
        return static_cast<int64_t>(std::filesystem::file_size(file));
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    tarn::testing::TempDir dir;
    std::string db = dir.file("books.tdb");
};

TEST_P(Compact, ShrinksTheFileAndKeepsEveryValueAndTheCounter) {
    std::string before = Dump(db);
    ASSERT_NE(before.find("keep 39"), std::string::npos) << before;
    std::string infoBefore = Run({"info", db}).out;
    size_t at = infoBefore.find("autoinc counter ");
    ASSERT_NE(at, std::string::npos) << infoBefore;
    int counter = std::stoi(infoBefore.substr(at + 16));
    ASSERT_GE(counter, 1040) << "every round's rows took their numbers";
    int64_t sizeBefore = Size(db);

    ToolRun r = Run({"compact", db});
    ASSERT_EQ(r.status, 0) << r.err;
    int64_t sizeAfter = Size(db);
    EXPECT_LT(sizeAfter * 5, sizeBefore) << "40 of 1040 rows are live";
    EXPECT_NE(r.out.find(std::to_string(sizeBefore) + " bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::to_string(sizeAfter) + " bytes"), std::string::npos) << r.out;

    EXPECT_EQ(Dump(db), before);
    std::string info = Run({"info", db}).out;
    EXPECT_NE(info.find("records: 40 live;"), std::string::npos) << info;
    // The settings stay, and the counter goes on from where it was.
    for (const char* line : {"compression:", "encryption:", "verify blob writes:"}) {
        size_t a = infoBefore.find(line), b = info.find(line);
        ASSERT_NE(a, std::string::npos);
        EXPECT_EQ(infoBefore.substr(a, infoBefore.find('\n', a) - a),
                  info.substr(b, info.find('\n', b) - b));
    }
    EXPECT_NE(info.find("autoinc counter " + std::to_string(counter) + "\n"), std::string::npos)
        << info;
    ToolRun check = Run({"check", db});
    EXPECT_EQ(check.status, 0) << check.out;
    ToolRun more =
        RunTarndb({"import", db, "books", "-"}, dir.path(), GetParam().env, "title\nnew\n");
    ASSERT_EQ(more.status, 0) << more.err;
    EXPECT_NE(Run({"dump", db, "books", "--format", "csv"})
                  .out.find(std::to_string(counter + 1) + ",new,"),
              std::string::npos);
    for (const std::string& name : Entries())
        EXPECT_TRUE(name == "books.tdb" || name == "k.csv" || name == "r.csv" ||
                    name.rfind(".tool-", 0) == 0)
            << "left behind: " << name;
}

TEST_P(Compact, WritesAnOutputFileAndLeavesTheDatabaseAlone) {
    std::string original = testing::ReadWhole(db);
    std::string before = Dump(db);
    std::string out = dir.file("small.tdb");
    ToolRun r = Run({"compact", db, "--output", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testing::ReadWhole(db), original);
    EXPECT_LT(Size(out) * 5, Size(db));
    EXPECT_EQ(Dump(out), before);
    // An output that exists is not overwritten.
    ToolRun again = Run({"compact", db, "--output", out});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Compact,
    ::testing::Values(Variant{"plain", {}, {}},
                      Variant{"compressed", {"--compress", "zlib", "--verify-blob-writes"}, {}},
                      Variant{"encrypted",
                              {"--compress", "zlib", "--encrypt", "twofish", "--mode", "2"},
                              {{"TARNDB_PASSWORD", "s3cret"}}}),
    [](const ::testing::TestParamInfo<Variant>& i) { return std::string(i.param.name); });

class CompactRefuses : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
        ASSERT_EQ(RunTarndb({"add-table", db, "t", "--field", "v:integer"}, dir.path()).status, 0);
        ASSERT_EQ(RunTarndb({"import", db, "t", "-"}, dir.path(), {}, "v\n1\n2\n").status, 0);
        original = testing::ReadWhole(db);
    }
    void ExpectUntouched() {
        EXPECT_EQ(testing::ReadWhole(db), original);
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "c.tdb" || name.rfind(".tool-", 0) == 0) << "left behind: " << name;
        }
    }
    tarn::testing::TempDir dir;
    std::string db = dir.file("c.tdb");
    std::string original;
};

TEST_F(CompactRefuses, WhileAnotherProgramHasTheDatabaseOpen) {
    TTarnDatabase other(nullptr, "");
    other.SetDatabaseName("compact-holder");
    other.SetFileName(db);
    other.Open();
    ToolRun r = RunTarndb({"compact", db}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("in use"), std::string::npos) << r.err;
    ExpectUntouched();
    other.Close();
    EXPECT_EQ(RunTarndb({"compact", db}, dir.path()).status, 0);
}

TEST_F(CompactRefuses, AnOutputThatCannotBeWrittenLeavesNothingBehind) {
    ToolRun r = RunTarndb({"compact", db, "--output", dir.file("no/such/dir/c.tdb")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no/such/dir"), std::string::npos) << r.err;
    // The message names the file asked for and the cause, not a temporary file.
    EXPECT_NE(r.err.find("'" + dir.file("no/such/dir/c.tdb") + "'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(".compact-"), std::string::npos) << r.err;
    ExpectUntouched();
}

// A pid no process has: a child that has ended.
pid_t DeadPid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// A compact killed while it writes leaves its temporary file; the next compact clears it.
TEST_F(CompactRefuses, AKilledRunsFileIsClearedByTheNext) {
    namespace fs = std::filesystem;
    std::ofstream csv(dir.file("rows.csv"), std::ios::binary);
    csv << "v\n";
    for (int i = 0; i < 60000; ++i) csv << i << "\n";
    csv.close();
    ASSERT_EQ(RunTarndb({"import", db, "t", dir.file("rows.csv")}, dir.path()).status, 0);
    fs::remove(dir.file("rows.csv"));
    auto temporaries = [&] {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename().string().rfind(".c.tdb.compact-", 0) == 0)
                found.push_back(e.path().string());
        return found;
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) _exit(90);
        execl(TARNDB_TOOL_PATH, TARNDB_TOOL_PATH, "compact", db.c_str(), nullptr);
        _exit(91);
    }
    // Killed as soon as its temporary file is there.
    bool seen = false;
    int status = 0;
    while (!seen && waitpid(child, &status, WNOHANG) == 0) seen = !temporaries().empty();
    if (seen) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    ASSERT_TRUE(seen) << "the compact ended before its temporary file was seen";
    ASSERT_EQ(temporaries().size(), 1u);
    ToolRun r = RunTarndb({"compact", db}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(temporaries().empty());
    EXPECT_NE(RunTarndb({"check", db}, dir.path()).out.find("60002 live records"),
              std::string::npos);
}

// A compact that was killed left its temporary file; the next compact of the same file
// removes it, but not one that a running compact still holds open.
TEST_F(CompactRefuses, ClearsTheTemporaryFileOfAKilledRun) {
    std::string left = dir.file(".c.tdb.compact-" + std::to_string(DeadPid()));
    std::string held = dir.file(".c.tdb.compact-" + std::to_string(DeadPid()));
    std::string other = dir.file(".d.tdb.compact-" + std::to_string(DeadPid()));
    for (const std::string& f : {left, held, other}) std::ofstream(f) << std::string(5000, 'x');
    {
        std::unique_ptr<File> holder =
            CurrentEnv()->OpenFile(held, OpenAccess::ReadOnly, OpenSharing::Shared);
        ToolRun r = RunTarndb({"compact", db}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(std::filesystem::exists(left));
        EXPECT_TRUE(std::filesystem::exists(held)) << "removed while open";
        EXPECT_TRUE(std::filesystem::exists(other)) << "belongs to another file";
    }
    EXPECT_EQ(RunTarndb({"compact", db, "--output", dir.file("x.tdb")}, dir.path()).status, 0);
    EXPECT_TRUE(std::filesystem::exists(held)) << "belongs to another target";
    EXPECT_EQ(RunTarndb({"compact", db}, dir.path()).status, 0);
    EXPECT_FALSE(std::filesystem::exists(held));
}

// The compacted file keeps the database's permissions and owner, and a database named
// through a symbolic link is compacted where it lies, the link left as it was.
TEST_F(CompactRefuses, KeepsModeOwnerAndSymbolicLinks) {
    namespace fs = std::filesystem;
    ASSERT_EQ(::chmod(db.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(db.c_str(), 4242, 4343), 0);
    }
    std::string link = dir.file("link.tdb");
    fs::create_symlink("c.tdb", link);
    ToolRun r = RunTarndb({"compact", link}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("c.tdb"));
    struct stat st {};
    ASSERT_EQ(::stat(db.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4242u);
        EXPECT_EQ(st.st_gid, 4343u);
    }
    EXPECT_EQ(RunTarndb({"dump", link, "t", "--format", "csv"}, dir.path()).out, "v\n1\n2\n");
    // An output file takes the permissions too: a copy of a private database stays private.
    ASSERT_EQ(::chmod(db.c_str(), 0600), 0);
    ASSERT_EQ(RunTarndb({"compact", db, "--output", dir.file("o.tdb")}, dir.path()).status, 0);
    ASSERT_EQ(::stat(dir.file("o.tdb").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// A user who may write another user's database (and its folder) cannot give the compacted
// file that owner: compact refuses before writing anything, instead of leaving a file the
// owner may no longer read.
TEST_F(CompactRefuses, ADatabaseWhoseOwnerCannotBeKept) {
    if (::geteuid() != 0) GTEST_SKIP() << "setting up another user's file needs root";
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(::chown(db.c_str(), 4242, 4343), 0);
    ASSERT_EQ(::chmod(db.c_str(), 0666), 0);
    std::string errPath = dir.file(".tool-err");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || dup2(fd, 2) < 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
        execl(TARNDB_TOOL_PATH, TARNDB_TOOL_PATH, "compact", db.c_str(), nullptr);
        _exit(91);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = testing::ReadWhole(errPath);
    EXPECT_NE(err.find("cannot be given the database's owner"), std::string::npos) << err;
    struct stat st {};
    ASSERT_EQ(::stat(db.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u);
    ExpectUntouched();
}

// --output only reads the database: what an open for writing would clear (here a journal of
// a transaction that never began to change the file) stays as it is.
TEST_F(CompactRefuses, AnOutputLeavesTheDatabaseAndItsJournalAlone) {
    std::string journal = std::filesystem::canonical(dir.path()).string() + "/c.tdb-journal";
    std::ofstream(journal, std::ios::binary) << "TarnJrnl-torn";
    ToolRun r = RunTarndb({"compact", db, "--output", dir.file("o.tdb")}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(journal)) << "the source was opened for writing";
    EXPECT_EQ(testing::ReadWhole(db), original);
    EXPECT_EQ(RunTarndb({"dump", dir.file("o.tdb"), "t", "--format", "csv"}, dir.path()).out,
              "v\n1\n2\n");
}

TEST_F(CompactRefuses, AnEncryptedDatabaseWithoutItsPassword) {
    std::string enc = dir.file("e.tdb");
    ASSERT_EQ(
        RunTarndb({"create", enc, "--encrypt", "gost"}, dir.path(), {{"TARNDB_PASSWORD", "pw"}})
            .status,
        0);
    std::string bytes = testing::ReadWhole(enc);
    ToolRun none = RunTarndb({"compact", enc}, dir.path());
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("TARNDB_PASSWORD"), std::string::npos) << none.err;
    ToolRun wrong = RunTarndb({"compact", enc}, dir.path(), {{"TARNDB_PASSWORD", "nope"}});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("wrong password"), std::string::npos) << wrong.err;
    EXPECT_EQ(testing::ReadWhole(enc), bytes);
    std::filesystem::remove(enc);
    ExpectUntouched();
}

}  // namespace
}  // namespace tarn::cli
