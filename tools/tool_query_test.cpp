// query and count as a user runs them: chosen fields, filters, any order with ties kept,
// windows, aggregates per table and per group, every output format; and what they say for
// a wrong name, value or filter. Also what every listing does when its output cannot be
// written, and --version.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::Ok;
using testing::RunTarndb;
using testing::ToolRun;

// Table 书目: id autoinc, 书名 string, 价格 float, 作者 string, 出版 date, 备注 memo, 封面 blob;
// an index on 作者. Prices repeat (30) so that ties show whether the table's order is kept.
class Query : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(Ok(RunTarndb({"create", db}, dir.path())));
        ASSERT_TRUE(Ok(RunTarndb(
            {"add-table", db, "书目", "--field", "id:autoinc", "--field", "书名:string:40",
             "--field", "价格:float", "--field", "作者:string:20", "--field", "出版:date",
             "--field", "备注:memo", "--field", "封面:blob", "--index", "by作者::作者"},
            dir.path())));
        std::ofstream(dir.file("r.csv")) << "书名,价格,作者,出版,备注,封面\n"
                                            "甲,30,张,2020-01-05,\"a\tb\",0x01\n"
                                            "乙,60,李,2019-03-01,,\n"
                                            "丙,45.5,张,2021-07-07,\"two\nlines\",\n"
                                            "丁,10,王,,back\\slash,\n"
                                            "戊,30,李,2018-12-31,,0x02\n";
        ASSERT_TRUE(Ok(RunTarndb({"import", db, "书目", dir.file("r.csv")}, dir.path())));
    }
    ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin() + 1, db);
        return RunTarndb(args, dir.path());
    }

    tarn::testing::TempDir dir;
    std::string db = dir.file("books.tdb");
};

struct Case {
    const char* name;
    std::vector<std::string> args;  // after "query FILE" / "count FILE"
    const char* out;
};

TEST_F(Query, ListsChosenFieldsInTheOrderAskedFor) {
    const Case cases[] = {
        {"filter, order by an unindexed field descending, limit",
         {"query", "书目", "--fields", "书名,价格", "--filter", "价格 < 50", "--order-by", "价格",
          "--desc", "--limit", "2", "--format", "csv"},
         "书名,价格\n丙,45.5\n甲,30\n"},
        {"ties keep the table's order, ascending and descending",
         {"query", "书目", "--fields", "id,价格", "--order-by", "价格", "--format", "csv"},
         "id,价格\n4,10\n1,30\n5,30\n3,45.5\n2,60\n"},
        {"ties keep the table's order descending",
         {"query", "书目", "--fields", "id", "--order-by", "价格", "--desc", "--format", "csv",
          "--header", "off"},
         "2\n3\n1\n5\n4\n"},
        {"two sort fields",
         {"query", "书目", "--fields", "作者,价格", "--order-by", "作者,价格", "--desc", "--format",
          "csv", "--header", "off"},
         "王,10\n李,60\n李,30\n张,45.5\n张,30\n"},
        {"dates sort by time, the empty date first",
         {"query", "书目", "--fields", "书名,出版", "--order-by", "出版", "--format", "csv",
          "--header", "off"},
         "丁,\n戊,2018-12-31\n乙,2019-03-01\n甲,2020-01-05\n丙,2021-07-07\n"},
        {"offset and limit without an order read the table's order",
         {"query", "书目", "--fields", "书名", "--offset", "1", "--limit", "2", "--format", "csv",
          "--header", "off"},
         "乙\n丙\n"},
        {"offset and limit over a sorted list",
         {"query", "书目", "--fields", "书名", "--order-by", "价格", "--offset", "3", "--limit",
          "5", "--format", "csv", "--header", "off"},
         "丙\n乙\n"},
        {"an offset past the end shows nothing",
         {"query", "书目", "--order-by", "价格", "--offset", "9", "--format", "csv", "--header",
          "off"},
         ""},
        {"limit 0 shows the header only",
         {"query", "书目", "--fields", "id", "--limit", "0", "--format", "csv"},
         "id\n"},
        {"the key order of an index",
         {"query", "书目", "--fields", "作者", "--index", "by作者", "--filter", "价格 >= 30",
          "--format", "csv", "--header", "off"},
         "张\n张\n李\n李\n"},
        {"tsv escapes tabs, line breaks and backslashes",
         {"query", "书目", "--fields", "id,备注", "--filter", "价格 < 40", "--format", "tsv"},
         "id\t备注\n1\ta\\tb\n4\tback\\\\slash\n5\t\n"},
        {"json: numbers bare, an empty date null",
         {"query", "书目", "--fields", "书名,价格,出版", "--filter", "价格 < 20", "--format",
          "json"},
         "[\n  {\"书名\": \"丁\", \"价格\": 10, \"出版\": null}\n]\n"},
        {"the table format without the header",
         {"query", "书目", "--fields", "书名", "--limit", "1", "--header", "off"},
         "甲\n"},
        {"the table format with its header and count",
         {"query", "书目", "--fields", "id,书名", "--limit", "1"},
         "id  书名\n--  ----\n1   甲\n(1 record)\n"},
        {"aggregates per group, in the group's order",
         {"query", "书目", "--aggregate", "count", "--aggregate", "sum:价格", "--aggregate",
          "avg:价格", "--aggregate", "min:出版", "--aggregate", "max:书名", "--group-by", "作者",
          "--format", "csv"},
         "作者,count,sum(价格),avg(价格),min(出版),max(书名)\n"
         "张,2,75.5,37.75,2020-01-05,甲\n李,2,90,45,2018-12-31,戊\n王,1,10,10,,丁\n"},
        {"aggregates over the whole table, with a filter",
         {"query", "书目", "--aggregate", "count", "--aggregate", "sum:id", "--aggregate",
          "max:价格", "--filter", "价格 > 20", "--format", "json"},
         "[\n  {\"count\": 4, \"sum(id)\": 11, \"max(价格)\": 60}\n]\n"},
        {"aggregates over no rows: a count of 0, no average",
         {"query", "书目", "--aggregate", "count", "--aggregate", "sum:价格", "--aggregate",
          "avg:价格", "--aggregate", "min:书名", "--filter", "价格 > 1000", "--format", "json"},
         "[\n  {\"count\": 0, \"sum(价格)\": 0, \"avg(价格)\": null, \"min(书名)\": \"\"}\n]\n"},
        {"groups descending, limited",
         {"query", "书目", "--aggregate", "count", "--group-by", "作者", "--desc", "--limit", "1",
          "--format", "csv", "--header", "off"},
         "王,1\n"},
        {"count", {"count", "书目"}, "5\n"},
        {"count with a filter", {"count", "书目", "--filter", "作者 = '张'"}, "2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun r = Run(c.args);
        ASSERT_TRUE(Ok(r));
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;  // a part of standard error
};

TEST_F(Query, SaysWhatIsWrongWithTheCommand) {
    const ErrorCase cases[] = {
        {"an unknown field",
         {"query", "书目", "--fields", "书名,价钱"},
         1,
         "--fields: the table 书目 has no field '价钱' (fields: id, 书名, 价格, 作者, 出版, 备注, "
         "封面)"},
        {"an unknown sort field",
         {"query", "书目", "--order-by", "x"},
         1,
         "--order-by: the table 书目 has no field 'x'"},
        {"binary values have no order",
         {"query", "书目", "--order-by", "封面"},
         1,
         "'封面' holds binary values, which have no order"},
        {"a bad filter", {"query", "书目", "--filter", "价格 <"}, 1, "the filter '价格 <': "},
        {"a missing table", {"query", "书", "--limit", "1"}, 1, "no table '书' in "},
        {"an unknown index",
         {"query", "书目", "--index", "x"},
         1,
         "table 书目 has no index 'x' (indexes: by作者)"},
        {"a bad limit",
         {"query", "书目", "--limit", "-1"},
         2,
         "--limit takes a whole number of rows (0 or more), not '-1'"},
        {"a bad offset", {"query", "书目", "--offset", "2x"}, 2, "--offset takes a whole number"},
        {"an unknown format",
         {"query", "书目", "--format", "xml"},
         2,
         "unknown format 'xml' (known: table, csv, tsv, json)"},
        {"a bad header setting",
         {"query", "书目", "--header", "yes"},
         2,
         "--header is on or off, not 'yes'"},
        {"sum of text",
         {"query", "书目", "--aggregate", "sum:书名"},
         1,
         "sum needs a number field; '书名' is not one"},
        {"an unknown aggregate",
         {"query", "书目", "--aggregate", "median:价格"},
         2,
         "unknown aggregate 'median'"},
        {"an aggregate without its field",
         {"query", "书目", "--aggregate", "max"},
         2,
         "--aggregate max needs a field: max:FIELD"},
        {"group-by alone",
         {"query", "书目", "--group-by", "作者"},
         2,
         "--group-by needs --aggregate"},
        {"aggregate with fields",
         {"query", "书目", "--aggregate", "count", "--fields", "id"},
         2,
         "--fields does not go with it"},
        {"desc alone", {"query", "书目", "--desc"}, 2, "--desc reverses --order-by or --group-by"},
        {"count: a bad filter", {"count", "书目", "--filter", "(("}, 1, "the filter '((': "},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(Query, WritesToTheOutputFileAndFailsWhenItCannot) {
    std::string out = dir.file("out.csv");
    ASSERT_TRUE(Ok(Run(
        {"query", "书目", "--fields", "id", "--limit", "2", "--format", "csv", "--output", out})));
    EXPECT_EQ(testing::ReadWhole(out), "id\n1\n2\n");
    for (const char* command : {"query", "dump"}) {
        SCOPED_TRACE(command);
        ToolRun r = Run({command, "书目", "--output", "/dev/full"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot write to /dev/full: No space left on device"),
                  std::string::npos)
            << r.err;
        r = Run({command, "书目", "--output", dir.file("no/such/dir.csv")});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot write to " + dir.file("no/such/dir.csv")), std::string::npos)
            << r.err;
    }
}

// `dump ... > backup.csv` is the manual's backup recipe: a full disk must not pass as done.
TEST_F(Query, AFailedWriteToStandardOutputExitsNonZero) {
    for (const char* args : {"dump BOOKS 书目", "query BOOKS 书目 --format csv", "info BOOKS",
                             "count BOOKS 书目", "--version", "--help"}) {
        SCOPED_TRACE(args);
        std::string cmd = std::string(args);
        if (size_t p = cmd.find("BOOKS"); p != std::string::npos) cmd.replace(p, 5, db);
        std::string err = dir.file("err.txt");
        int rc = std::system(
            (std::string(TARNDB_TOOL_PATH) + " " + cmd + " > /dev/full 2> " + err).c_str());
        ASSERT_TRUE(WIFEXITED(rc));
        EXPECT_EQ(WEXITSTATUS(rc), 1);
        EXPECT_NE(testing::ReadWhole(err).find("cannot write to standard output: No space left "
                                               "on device"),
                  std::string::npos)
            << testing::ReadWhole(err);
    }
}

TEST(ToolVersion, PrintsTheVersion) {
    tarn::testing::TempDir dir;
    for (const char* flag : {"--version", "-V"}) {
        ToolRun r = RunTarndb({flag}, dir.path());
        ASSERT_TRUE(Ok(r));
        EXPECT_TRUE(r.out.rfind("tarndb ", 0) == 0 && r.out.size() > 8 && r.out.back() == '\n')
            << r.out;
        EXPECT_NE(r.out.find_first_of("0123456789"), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace tarn::cli
