// `tarndb compact`: a file that held many rows since deleted shrinks to what its live rows
// need, every value, key order, setting and autoinc counter surviving, and it is never
// replaced while somebody else has it open.
#include <gtest/gtest.h>

#include <filesystem>

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
    ExpectUntouched();
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
