// The tool as a user runs it: create -> add-table -> import -> dump -> check on plain,
// compressed and encrypted databases, and a catalogue-like database with Chinese names.
#include <gtest/gtest.h>

#include "platform/text/codepage.h"
#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::Ok;
using testing::RunTarndb;
using testing::ToolRun;

const std::vector<std::string> kAllFields = {
    "--field", "id:autoinc",     "--field", "s:string:20",
    "--field", "fc:fixedchar:4", "--field", "si:smallint",
    "--field", "i:integer",      "--field", "w:word",
    "--field", "bo:boolean",     "--field", "f:float",
    "--field", "cu:currency",    "--field", "d:date",
    "--field", "t:time",         "--field", "dt:datetime",
    "--field", "li:largeint",    "--field", "m:memo",
    "--field", "b:blob",         "--field", "p:string:10:plain",
};

// Written in the tool's own text forms, so the dump must give back exactly these rows.
const char kCsvHeader[] = "s,fc,si,i,w,bo,f,cu,d,t,dt,li,m,b,p\n";
const char kCsvRows[] =
    "\"hello, world\",ab,-32768,2147483647,65535,true,1.5,-0.25,2024-02-29,23:59:59.999,2024-01-02 "
    "03:04:05,"
    "-9223372036854775808,\"两行\n备注\",0x00ff10,plain\n"
    ",,0,0,0,false,0,0,,00:00:00,,0,,,\n"
    "中文字段值,xyz,32767,-2147483648,0,false,1e+300,12345.67,0001-01-01,00:00:00,9999-12-31 "
    "23:59:59.999,"
    "9223372036854775807,\"say \"\"hi\"\"\",,p\n";

struct Settings {
    const char* name;
    std::vector<std::string> createArgs;
    const char* infoLine1;
    const char* infoLine2;
    bool encrypted;
};

void PrintTo(const Settings& c, std::ostream* os) { *os << c.name; }

class RoundTrip : public ::testing::TestWithParam<Settings> {};

TEST_P(RoundTrip, ImportedRowsDumpBackUnchangedAndTheFileChecksClean) {
    const Settings& s = GetParam();
    tarn::testing::TempDir dir;
    std::string db = dir.file("all.tdb"), csv = dir.file("rows.csv");
    std::map<std::string, std::string> env;
    if (s.encrypted) env["TARNDB_PASSWORD"] = "s3cret pass";
    std::vector<std::string> create{"create", db};
    create.insert(create.end(), s.createArgs.begin(), s.createArgs.end());
    ASSERT_TRUE(Ok(RunTarndb(create, dir.path(), env)));
    std::vector<std::string> add{"add-table", db, "all"};
    add.insert(add.end(), kAllFields.begin(), kAllFields.end());
    ASSERT_TRUE(Ok(RunTarndb(add, dir.path())));  // adding a table needs no password
    std::ofstream(csv, std::ios::binary) << kCsvHeader << kCsvRows;
    ToolRun imp = RunTarndb({"import", db, "all", csv}, dir.path(), env);
    ASSERT_TRUE(Ok(imp));
    EXPECT_NE(imp.out.find("imported 3 rows"), std::string::npos) << imp.out;

    ToolRun dump = RunTarndb({"dump", db, "all", "--format", "csv"}, dir.path(), env);
    ASSERT_TRUE(Ok(dump));
    std::string expected = std::string("id,") + kCsvHeader;
    std::string rows = kCsvRows;
    int id = 1;
    for (size_t start = 0; start < rows.size();) {
        // Prefix each record (not each physical line: one memo holds a line break) with its id.
        expected += std::to_string(id++) + ",";
        size_t end = start;
        bool quoted = false;
        while (end < rows.size() && (quoted || rows[end] != '\n')) {
            if (rows[end] == '"') quoted = !quoted;
            ++end;
        }
        expected += rows.substr(start, end - start + 1);
        start = end + 1;
    }
    EXPECT_EQ(dump.out, expected);

    // The dump imports again into a table of the same fields, ids included, and dumps the same.
    std::vector<std::string> addCopy{"add-table", db, "copy"};
    addCopy.insert(addCopy.end(), kAllFields.begin(), kAllFields.end());
    ASSERT_TRUE(Ok(RunTarndb(addCopy, dir.path())));
    std::ofstream(dir.file("again.csv"), std::ios::binary) << dump.out;
    ASSERT_TRUE(Ok(RunTarndb({"import", db, "copy", dir.file("again.csv")}, dir.path(), env)));
    EXPECT_EQ(RunTarndb({"dump", db, "copy", "--format", "csv"}, dir.path(), env).out, dump.out);
    ToolRun json = RunTarndb({"dump", db, "all", "--format", "json"}, dir.path(), env);
    ASSERT_TRUE(Ok(json));
    EXPECT_NE(json.out.find("\"s\": \"hello, world\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"m\": \"两行\\n备注\""), std::string::npos);
    EXPECT_NE(json.out.find("\"d\": null"), std::string::npos);
    EXPECT_NE(json.out.find("\"li\": -9223372036854775808"), std::string::npos);

    ToolRun info = RunTarndb({"info", db}, dir.path());
    ASSERT_TRUE(Ok(info));
    EXPECT_NE(info.out.find(s.infoLine1), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(s.infoLine2), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("records: 3 live; record size 131 bytes; autoinc counter 3"),
              std::string::npos)
        << info.out;

    ToolRun check = RunTarndb({"check", db}, dir.path(), env);
    EXPECT_TRUE(Ok(check));
    EXPECT_NE(check.out.find("ok (2 tables, 6 live records"), std::string::npos) << check.out;

    // Values of an encrypted database never reach the file in clear; the plain field does.
    std::string raw = testing::ReadWhole(db);
    EXPECT_EQ(raw.find("hello, world") != std::string::npos, !s.encrypted);
    EXPECT_NE(raw.find("plain"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RoundTrip,
    ::testing::Values(
        Settings{"plain", {}, "compression:        none", "encryption:         none", false},
        Settings{"zlib",
                 {"--compress", "zlib"},
                 "compression:        ZLIB",
                 "encryption:         none",
                 false},
        Settings{"blowfish",
                 {"--encrypt", "blowfish"},
                 "encryption:         Blowfish, mode 0",
                 "verify blob writes: no",
                 true},
        Settings{"twofish_zlib",
                 {"--compress", "zlib", "--encrypt", "twofish", "--mode", "2"},
                 "compression:        ZLIB",
                 "encryption:         Twofish, mode 2",
                 true},
        Settings{"gost_verified",
                 {"--encrypt", "gost", "--mode", "4", "--verify-blob-writes"},
                 "encryption:         Gost, mode 4",
                 "verify blob writes: yes",
                 true}),
    [](const ::testing::TestParamInfo<Settings>& i) { return std::string(i.param.name); });

TEST(ToolCatalogue, ChineseTableAndFieldNamesWorkFromTheCommandLine) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("版本控制.dat");
    ASSERT_TRUE(Ok(RunTarndb({"create", db}, dir.path())));
    ASSERT_TRUE(
        Ok(RunTarndb({"add-table", db, "文件版本表", "--field", "版本序号:autoinc", "--field",
                      "文件序号:integer", "--field", "版本时间:string:19", "--field", "说明:memo"},
                     dir.path())));
    std::ofstream(dir.file("v.csv"), std::ios::binary)
        << "文件序号,版本时间,说明\n1,2024-01-01-08-00-00,初稿\n2,2024-01-02-09-30-00,第二版\n1,"
           "2024-01-03-10-00-00,修订\n";
    ASSERT_TRUE(Ok(RunTarndb({"import", db, "文件版本表", dir.file("v.csv")}, dir.path())));

    ToolRun all = RunTarndb({"dump", db, "文件版本表"}, dir.path());
    ASSERT_TRUE(Ok(all));
    EXPECT_NE(all.out.find("版本序号  文件序号  版本时间"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("第二版"), std::string::npos);
    EXPECT_NE(all.out.find("(3 records)"), std::string::npos);

    ToolRun some = RunTarndb(
        {"dump", db, "文件版本表", "--filter", "文件序号=1", "--format", "csv"}, dir.path());
    ASSERT_TRUE(Ok(some));
    EXPECT_EQ(some.out,
              "版本序号,文件序号,版本时间,说明\n1,1,2024-01-01-08-00-00,初稿\n3,1,2024-01-03-10-00-"
              "00,修订\n");

    // Names and values are stored in the data code page, not as the terminal's UTF-8.
    std::string raw = testing::ReadWhole(db);
    EXPECT_NE(raw.find(Utf8ToAnsi("文件版本表")), std::string::npos);
    EXPECT_NE(raw.find(Utf8ToAnsi("第二版")), std::string::npos);
    EXPECT_EQ(raw.find("文件版本表"), std::string::npos);

    ToolRun info = RunTarndb({"info", db}, dir.path());
    EXPECT_NE(info.out.find("table 文件版本表"), std::string::npos) << info.out;
    EXPECT_TRUE(Ok(RunTarndb({"check", db}, dir.path())));
}

TEST(ToolDump, IndexOrderAndFilterErrors) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("d.tdb");
    ASSERT_TRUE(Ok(RunTarndb({"create", db}, dir.path())));
    ASSERT_TRUE(Ok(RunTarndb({"add-table", db, "t", "--field", "n:integer"}, dir.path())));
    std::ofstream(dir.file("t.csv")) << "n\n3\n1\n2\n";
    ASSERT_TRUE(Ok(RunTarndb({"import", db, "t", dir.file("t.csv")}, dir.path())));
    ToolRun filtered =
        RunTarndb({"dump", db, "t", "--filter", "n >= 2", "--format", "csv"}, dir.path());
    ASSERT_TRUE(Ok(filtered));
    EXPECT_EQ(filtered.out, "n\n3\n2\n");

    ToolRun badFilter = RunTarndb({"dump", db, "t", "--filter", "n >="}, dir.path());
    EXPECT_EQ(badFilter.status, 1);
    EXPECT_NE(badFilter.err.find("the filter 'n >='"), std::string::npos) << badFilter.err;
    ToolRun noIndex = RunTarndb({"dump", db, "t", "--index", "byN"}, dir.path());
    EXPECT_EQ(noIndex.status, 1);
    EXPECT_NE(noIndex.err.find("has no index 'byN' (it has no indexes)"), std::string::npos)
        << noIndex.err;
    ToolRun noTable = RunTarndb({"dump", db, "nosuch"}, dir.path());
    EXPECT_EQ(noTable.status, 1);
    EXPECT_NE(noTable.err.find("no table 'nosuch'"), std::string::npos) << noTable.err;
    EXPECT_NE(noTable.err.find("(tables: t)"), std::string::npos);
}

TEST(ToolPasswords, EncryptedDatabaseNeedsTheRightPassword) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("e.tdb");
    ToolRun noPassword = RunTarndb({"create", db, "--encrypt", "twofish"}, dir.path());
    EXPECT_EQ(noPassword.status, 1);
    EXPECT_NE(noPassword.err.find("TARNDB_PASSWORD"), std::string::npos) << noPassword.err;
    EXPECT_FALSE(std::ifstream(db).good()) << "a failed create leaves no file";

    std::map<std::string, std::string> right{{"TARNDB_PASSWORD", "right"}},
        wrong{{"TARNDB_PASSWORD", "wrong"}};
    ASSERT_TRUE(Ok(RunTarndb({"create", db, "--encrypt", "twofish"}, dir.path(), right)));
    ASSERT_TRUE(Ok(RunTarndb({"add-table", db, "t", "--field", "s:string:8"}, dir.path())));
    std::ofstream(dir.file("t.csv")) << "s\nsecret\n";
    ToolRun bad = RunTarndb({"import", db, "t", dir.file("t.csv")}, dir.path(), wrong);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("wrong password"), std::string::npos) << bad.err;
    ASSERT_TRUE(Ok(RunTarndb({"import", db, "t", dir.file("t.csv")}, dir.path(), right)));
    EXPECT_EQ(RunTarndb({"dump", db, "t"}, dir.path()).status, 1);
    EXPECT_EQ(RunTarndb({"dump", db, "t", "--format", "csv"}, dir.path(), right).out,
              "s\nsecret\n");
    EXPECT_EQ(RunTarndb({"check", db}, dir.path(), wrong).status, 2);
    ToolRun structural = RunTarndb({"check", db}, dir.path());
    EXPECT_EQ(structural.status, 0);
    EXPECT_NE(structural.out.find("no password was given"), std::string::npos) << structural.out;
}

TEST(ToolUsage, CommandsExplainThemselves) {
    tarn::testing::TempDir dir;
    ToolRun none = RunTarndb({}, dir.path());
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("usage: tarndb <command>"), std::string::npos);
    EXPECT_EQ(RunTarndb({"frobnicate"}, dir.path()).status, 2);
    for (const char* command : {"create", "add-table", "info", "dump", "import", "check"}) {
        ToolRun help = RunTarndb({command, "--help"}, dir.path());
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: tarndb ") + command, 0), 0u) << help.out;
    }
    ToolRun missing = RunTarndb({"dump", dir.file("x.tdb")}, dir.path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("missing TABLE"), std::string::npos) << missing.err;
    ToolRun badField =
        RunTarndb({"add-table", dir.file("x.tdb"), "t", "--field", "name:string"}, dir.path());
    EXPECT_EQ(badField.status, 2);
    EXPECT_NE(badField.err.find("needs its size"), std::string::npos) << badField.err;
    ToolRun badType =
        RunTarndb({"add-table", dir.file("x.tdb"), "t", "--field", "name:text:5"}, dir.path());
    EXPECT_NE(badType.err.find("unknown type 'text'"), std::string::npos) << badType.err;
    ToolRun exists = RunTarndb({"create", dir.file("x.tdb")}, dir.path());
    ASSERT_EQ(exists.status, 0);
    EXPECT_EQ(RunTarndb({"create", dir.file("x.tdb")}, dir.path()).status, 1);
    ToolRun noFile = RunTarndb({"info", dir.file("none.tdb")}, dir.path());
    EXPECT_EQ(noFile.status, 1);
    EXPECT_NE(
        noFile.err.find("cannot open " + dir.file("none.tdb") + ": No such file or directory"),
        std::string::npos)
        << noFile.err;
}

}  // namespace
}  // namespace tarn::cli
