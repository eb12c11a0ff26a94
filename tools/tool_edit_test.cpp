// insert, update and delete as a user runs them: the values each changes, the count printed,
// --dry-run writing nothing, and one transaction per command (a row refused part-way leaves
// the table as it was).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::Ok;
using testing::RunTarndb;
using testing::ToolRun;

// Table 人: id autoinc, 名 string (unique index), 岁 integer, 生 date, 注 memo, 图 blob, ok
// boolean; rows 1 甲 30, 2 乙 40, 3 丙 50.
class Edit : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(Ok(RunTarndb({"create", db}, dir.path())));
        ASSERT_TRUE(Ok(
            RunTarndb({"add-table", db, "人", "--field", "id:autoinc", "--field", "名:string:10",
                       "--field", "岁:integer", "--field", "生:date", "--field", "注:memo",
                       "--field", "图:blob", "--field", "ok:boolean", "--index", "by名:unique:名"},
                      dir.path())));
        std::ofstream(dir.file("r.csv")) << "名,岁\n甲,30\n乙,40\n丙,50\n";
        ASSERT_TRUE(Ok(RunTarndb({"import", db, "人", dir.file("r.csv")}, dir.path())));
    }
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin() + 1, db);
        return RunTarndb(args, dir.path());
    }
    std::string Rows() {
        ToolRun r = Run({"dump", "人", "--format", "csv", "--header", "off"});
        EXPECT_TRUE(Ok(r));
        return r.out;
    }

    tarn::testing::TempDir dir;
    std::string db = dir.file("p.tdb");
    const std::string original = "1,甲,30,,,,false\n2,乙,40,,,,false\n3,丙,50,,,,false\n";
};

struct Case {
    const char* name;
    std::vector<std::string> args;  // after the command and FILE
    const char* out;
    const char* rows;  // the table's rows afterwards, as dump --format csv --header off
};

TEST_F(Edit, ChangesTheRowsAskedForAndSaysHowMany) {
    const Case cases[] = {
        {"insert with --set, every type the table has",
         {"insert", "人", "--set", "名=丁", "--set", "岁=-7", "--set", "生=2024-02-29", "--set",
          "注=两\n行", "--set", "图=0x00ff", "--set", "ok=true"},
         "inserted 1 row into 人 (id 4)\n",
         "1,甲,30,,,,false\n2,乙,40,,,,false\n3,丙,50,,,,false\n"
         "4,丁,-7,2024-02-29,\"两\n行\",0x00ff,true\n"},
        {"insert with JSON; null is the empty value",
         {"insert", "人", "--json", R"({"名": "戊\u0041", "岁": 12, "生": null, "ok": false})"},
         "inserted 1 row into 人 (id 4)\n",
         "1,甲,30,,,,false\n2,乙,40,,,,false\n3,丙,50,,,,false\n4,戊A,12,,,,false\n"},
        {"insert with an explicit autoinc value",
         {"insert", "人", "--set", "id=10", "--set", "名=己"},
         "inserted 1 row into 人 (id 10)\n",
         "1,甲,30,,,,false\n2,乙,40,,,,false\n3,丙,50,,,,false\n10,己,0,,,,false\n"},
        {"insert, dry run",
         {"insert", "人", "--set", "名=丁", "--dry-run"},
         "would insert 1 row into 人 (dry run: nothing was written)\n",
         nullptr},
        {"update the rows a filter selects, also those the update moves out of it",
         {"update", "人", "--filter", "岁 < 45", "--set", "岁=99", "--set", "注=x"},
         "updated 2 rows in 人\n",
         "1,甲,99,,x,,false\n2,乙,99,,x,,false\n3,丙,50,,,,false\n"},
        {"update with JSON",
         {"update", "人", "--filter", "名 = '丙'", "--json", R"({"ok": true})"},
         "updated 1 row in 人\n",
         "1,甲,30,,,,false\n2,乙,40,,,,false\n3,丙,50,,,,true\n"},
        {"update every row",
         {"update", "人", "--all", "--set", "生=2000-01-01"},
         "updated 3 rows in 人\n",
         "1,甲,30,2000-01-01,,,false\n2,乙,40,2000-01-01,,,false\n3,丙,50,2000-01-01,,,false\n"},
        {"update nothing",
         {"update", "人", "--filter", "岁 > 100", "--set", "岁=1"},
         "updated 0 rows in 人\n",
         nullptr},
        {"update, dry run",
         {"update", "人", "--filter", "岁 > 35", "--set", "岁=1", "--dry-run"},
         "would update 2 rows in 人 (dry run: nothing was written)\n",
         nullptr},
        {"delete the rows a filter selects",
         {"delete", "人", "--filter", "岁 <> 40"},
         "deleted 2 rows from 人\n",
         "2,乙,40,,,,false\n"},
        {"delete every row", {"delete", "人", "--all"}, "deleted 3 rows from 人\n", ""},
        {"delete, dry run",
         {"delete", "人", "--filter", "岁 >= 40", "--dry-run"},
         "would delete 2 rows from 人 (dry run: nothing was written)\n",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(db);  // each case starts from the three rows
        SetUp();
        ToolRun r = Run(c.args);
        ASSERT_TRUE(Ok(r));
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(Rows(), c.rows ? std::string(c.rows) : original);
    }
}

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
};

TEST_F(Edit, ChangesNothingWhenAnyPartFails) {
    const ErrorCase cases[] = {
        {"an unknown field",
         {"insert", "人", "--set", "名=丁", "--set", "年=3"},
         1,
         "--set 年=3: the table 人 has no field '年' (fields: id, 名, 岁, 生, 注, 图, ok)"},
        {"a bad value",
         {"insert", "人", "--set", "岁=old"},
         1,
         "--set 岁=old: 'old' is not an integer"},
        {"a value too long",
         {"insert", "人", "--set", "名=一二三四五六"},
         1,
         "--set 名=一二三四五六: '一二三四五六' is 12 bytes long in the data code page; the field "
         "holds 10"},
        {"a repeated unique key",
         {"insert", "人", "--set", "名=乙"},
         1,
         "Invalid unique field value '乙'; nothing was changed"},
        {"a repeated unique key, dry run",
         {"insert", "人", "--set", "名=乙", "--dry-run"},
         1,
         "Invalid unique field value '乙'"},
        {"not JSON",
         {"insert", "人", "--json", "{\"名\": 丁}"},
         1,
         "--json: line 1, column 7: unexpected character '丁'"},
        {"a JSON array",
         {"insert", "人", "--json", "[1]"},
         1,
         "--json takes an object of field values, not an array"},
        {"a JSON value that is an object",
         {"insert", "人", "--json", R"({"名": {"x": 1}})"},
         1,
         "--json: the value of '名' is an object"},
        {"a field given twice",
         {"insert", "人", "--set", "岁=1", "--json", R"({"岁": 2})"},
         2,
         "the field '岁' is given more than once"},
        {"no values", {"insert", "人"}, 2, "give the values with --set FIELD=VALUE"},
        {"--set without =",
         {"update", "人", "--all", "--set", "岁"},
         2,
         "--set takes FIELD=VALUE, not '岁'"},
        {"a missing table", {"delete", "表", "--all"}, 1, "no table '表' in "},
        {"a bad filter", {"delete", "人", "--filter", "岁 >"}, 1, "the filter '岁 >': "},
        {"update without a selection",
         {"update", "人", "--set", "岁=1"},
         2,
         "update needs --filter EXPR to select the rows (or --all for every row)"},
        {"delete with both selections",
         {"delete", "人", "--all", "--filter", "岁 > 1"},
         2,
         "delete takes --filter or --all, not both"},
        // The first row takes the key, the second is refused: the first is rolled back.
        {"an update refused part-way",
         {"update", "人", "--filter", "岁 < 45", "--set", "名=丁"},
         1,
         "table '人', record 1: Invalid unique field value '丁'; nothing was changed"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Rows(), original);
    }
}

}  // namespace
}  // namespace tarn::cli
