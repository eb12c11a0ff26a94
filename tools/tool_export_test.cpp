// export and restore as a user runs them: a database with every field type, indexes of every
// option, deleted rows and each kind of settings goes to JSON and back into a new file whose
// definitions, settings and dump are those of the original and which checks clean; restore
// refuses a damaged export naming the place and leaves no file behind. Also info --format json.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::Ok;
using testing::RunTarndb;
using testing::ToolRun;

const std::vector<std::string> kAllFields = {
    "--field", "id:autoinc",
    "--field", "s:string:20",
    "--field", "fc:fixedchar:4",
    "--field", "si:smallint",
    "--field", "i:integer",
    "--field", "w:word",
    "--field", "bo:boolean",
    "--field", "f:float",
    "--field", "cu:currency",
    "--field", "d:date",
    "--field", "t:time",
    "--field", "dt:datetime",
    "--field", "li:largeint",
    "--field", "m:memo",
    "--field", "b:blob",
    "--field", "p:string:10:plain",
    "--field", "g:graphic",
    "--field", "fm:fmtmemo",
    "--index", "byS:unique,nocase:s",
    "--index", "byIW:descending:i,w",
};

const char kRows[] =
    "s,fc,si,i,w,bo,f,cu,d,t,dt,li,m,b,p,g,fm\n"
    "\"hello, world\",ab,-32768,2147483647,65535,true,1.5,-0.25,2024-02-29,23:59:59.999,"
    "2024-01-02 03:04:05,-9223372036854775808,\"两行\n备注\",0x00ff10,plain,0x89504e47,{\\rtf}\n"
    ",,0,0,0,false,0,0,,00:00:00,,0,,,,,\n"
    "中文字段值,xyz,32767,-2147483648,0,false,1e+300,12345.67,0001-01-01,00:00:00,9999-12-31 "
    "23:59:59.999,9223372036854775807,\"say \"\"hi\"\"\",,p,,\n"
    "deleted,,1,1,1,true,nan,inf,,,,,,0x01,,,\n"
    "kept,,2,2,2,true,nan,-inf,,,,,\\u4e2d,0x0102,,,\n";

struct Settings {
    const char* name;
    std::vector<std::string> createArgs;
    bool encrypted;
};

void PrintTo(const Settings& c, std::ostream* os) { *os << c.name; }

class ExportRestore : public ::testing::TestWithParam<Settings> {};

// info --format json without its first line (the file's name and size).
std::string Definitions(const ToolRun& info) { return info.out.substr(info.out.find('\n')); }

TEST_P(ExportRestore, TheRestoredDatabaseHoldsWhatTheOriginalHeld) {
    const Settings& s = GetParam();
    tarn::testing::TempDir dir;
    std::string db = dir.file("all.tdb"), copy = dir.file("copy.tdb"), json = dir.file("e.json");
    std::map<std::string, std::string> env;
    if (s.encrypted) env["TARNDB_PASSWORD"] = "s3cret pass";
    std::vector<std::string> create{"create", db};
    create.insert(create.end(), s.createArgs.begin(), s.createArgs.end());
    ASSERT_TRUE(Ok(RunTarndb(create, dir.path(), env)));
    std::vector<std::string> add{"add-table", db, "全部"};
    add.insert(add.end(), kAllFields.begin(), kAllFields.end());
    ASSERT_TRUE(Ok(RunTarndb(add, dir.path())));
    ASSERT_TRUE(
        Ok(RunTarndb({"add-table", db, "empty", "--field", "k:integer", "--index", "pk:primary:k"},
                     dir.path())));
    std::ofstream(dir.file("rows.csv"), std::ios::binary) << kRows;
    ASSERT_TRUE(Ok(RunTarndb({"import", db, "全部", dir.file("rows.csv")}, dir.path(), env)));
    ASSERT_TRUE(
        Ok(RunTarndb({"delete", db, "全部", "--filter", "s = 'deleted'"}, dir.path(), env)));

    ToolRun exported = RunTarndb({"export", db, "--output", json}, dir.path(), env);
    ASSERT_TRUE(Ok(exported));
    EXPECT_EQ(testing::ReadWhole(json).find("s3cret"), std::string::npos);  // never the password
    ToolRun restored = RunTarndb({"restore", json, copy}, dir.path(), env);
    ASSERT_TRUE(Ok(restored));
    EXPECT_EQ(restored.out, "restored 2 tables with 4 rows into " + copy + "\n");

    for (const char* table : {"全部", "empty"})
        for (const char* index : {"", "byS", "byIW", "pk"}) {
            std::vector<std::string> args{"dump", db, table, "--format", "csv"};
            if (*index) {
                if ((std::string(table) == "empty") != (std::string(index) == "pk")) continue;
                args.insert(args.end(), {"--index", index});
            }
            ToolRun a = RunTarndb(args, dir.path(), env);
            args[1] = copy;
            ToolRun b = RunTarndb(args, dir.path(), env);
            ASSERT_TRUE(Ok(a));
            ASSERT_TRUE(Ok(b));
            EXPECT_EQ(a.out, b.out) << table << " " << index;
        }
    ToolRun infoA = RunTarndb({"info", db, "--format", "json"}, dir.path());
    ToolRun infoB = RunTarndb({"info", copy, "--format", "json"}, dir.path());
    ASSERT_TRUE(Ok(infoA));
    ASSERT_TRUE(Ok(infoB));
    // The restored file holds no deleted record: it has appended fewer.
    std::string a = Definitions(infoA), b = Definitions(infoB);
    EXPECT_NE(a.find("\"records\": 4, \"appended\": 5"), std::string::npos) << a;
    size_t p = a.find("\"appended\": 5");
    if (p != std::string::npos) a.replace(p, 13, "\"appended\": 4");
    EXPECT_EQ(a, b);
    // An export of the copy is the export of the original.
    ToolRun again = RunTarndb({"export", copy}, dir.path(), env);
    ASSERT_TRUE(Ok(again));
    EXPECT_EQ(again.out, testing::ReadWhole(json));
    EXPECT_TRUE(Ok(RunTarndb({"check", copy}, dir.path(), env)));
}

INSTANTIATE_TEST_SUITE_P(
    , ExportRestore,
    ::testing::Values(Settings{"plain", {}, false},
                      Settings{"zlib", {"--compress", "zlib", "--verify-blob-writes"}, false},
                      Settings{"blowfish", {"--encrypt", "blowfish", "--mode", "2"}, true},
                      Settings{
                          "twofish_zlib", {"--encrypt", "twofish", "--compress", "zlib"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExportRestoreErrors, AnEncryptedExportNeedsANewPassword) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("e.tdb"), json = dir.file("e.json"), copy = dir.file("c.tdb");
    std::map<std::string, std::string> env{{"TARNDB_PASSWORD", "pw"}};
    ASSERT_TRUE(Ok(RunTarndb({"create", db, "--encrypt", "gost"}, dir.path(), env)));
    ToolRun noPassword = RunTarndb({"export", db}, dir.path());
    EXPECT_EQ(noPassword.status, 1);
    EXPECT_NE(noPassword.err.find("is encrypted: give its password"), std::string::npos);
    ASSERT_TRUE(Ok(RunTarndb({"export", db, "--output", json}, dir.path(), env)));
    EXPECT_NE(testing::ReadWhole(json).find("{\"cipher\": \"gost\", \"mode\": 0}"),
              std::string::npos);
    ToolRun r = RunTarndb({"restore", json, copy}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is encrypted: give its password"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(copy));
    ToolRun wrong = RunTarndb({"info", copy}, dir.path());
    EXPECT_NE(wrong.status, 0);
}

TEST(ExportRestoreErrors, ADamagedExportIsNamedAndLeavesNoFile) {
    tarn::testing::TempDir dir;
    const std::string head =
        R"({"format": "tarndb export", "version": 1, "settings": {"compression": null,
        "encryption": null, "verifyBlobWrites": false}, "tables": [)";
    const std::string table =
        R"({"name": "t", "fields": [{"name": "k", "type": "string", "size": 4},
        {"name": "n", "type": "integer"}, {"name": "b", "type": "blob"}],
        "indexes": [{"name": "pk", "options": "unique", "fields": ["k"]}], "rows": )";
    const struct {
        const char* name;
        std::string json;
        const char* message;
    } cases[] = {
        {"not JSON", "{\"format\": ", "x.json: line 1, column 12: the JSON ends"},
        {"not an export", "[1, 2]", "x.json is not a database export of tarndb"},
        {"another version", R"({"format": "tarndb export", "version": 2})",
         "x.json is an export of version 2; this tarndb reads version 1"},
        {"an unknown cipher",
         R"({"format": "tarndb export", "version": 1, "settings": {"encryption":
         {"cipher": "rot13", "mode": 0}}, "tables": []})",
         "x.json: settings: unknown cipher 'rot13'"},
        {"an unknown type",
         head + R"({"name": "t", "fields": [{"name": "k", "type": "text"}], "rows": []}]})",
         "x.json: table 1, field 1: unknown type 'text'"},
        {"a string without its size",
         head + R"({"name": "t", "fields": [{"name": "k", "type": "string"}], "rows": []}]})",
         "x.json: table 1, field 1: \"size\" is missing"},
        {"an unknown index option",
         head + R"({"name": "t", "fields": [{"name": "k", "type": "integer"}], "indexes":
         [{"name": "x", "options": "sorted", "fields": ["k"]}], "rows": []}]})",
         "unknown option 'sorted'"},
        {"a row too short", head + table + R"([["a", 1]]}]})",
         "x.json: table 't', row 1: a row is an array of 3 values, one per field"},
        {"a bad value", head + table + R"([["a", 1, ""], ["b", "x", ""]]}]})",
         "x.json: table 't', row 2, field 'n': 'x' is not an integer"},
        {"bad base64", head + table + R"([["a", 1, "AAA"]]}]})",
         "x.json: table 't', row 1, field 'b': 'AAA' is not base64"},
        {"a repeated unique key", head + table + R"([["a", 1, ""], ["a", 2, ""]]}]})",
         "x.json: table 't', row 2: Invalid unique field value 'a'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(dir.file("x.json"), std::ios::binary | std::ios::trunc) << c.json;
        ToolRun r = RunTarndb({"restore", dir.file("x.json"), dir.file("new.tdb")}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("new.tdb")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("new.tdb-journal")));
    }
    std::ofstream(dir.file("exists.tdb")) << "x";
    ToolRun r = RunTarndb({"restore", dir.file("x.json"), dir.file("exists.tdb")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exists.tdb exists already; restore makes new files only"),
              std::string::npos);
    EXPECT_EQ(testing::ReadWhole(dir.file("exists.tdb")), "x");
}

// --password-file gives any command the password: the first line of a file, or of standard
// input with "-", before TARNDB_PASSWORD.
TEST(PasswordFile, GivesTheFirstLineAsThePassword) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("p.tdb"), pw = dir.file("pw.txt");
    std::ofstream(pw) << "line one\r\nline two\n";
    ASSERT_TRUE(
        Ok(RunTarndb({"create", db, "--encrypt", "blowfish", "--password-file", pw}, dir.path())));
    ASSERT_TRUE(Ok(RunTarndb({"add-table", db, "t", "--field", "s:string:9"}, dir.path())));
    ASSERT_TRUE(
        Ok(RunTarndb({"insert", "--password-file=" + pw, db, "t", "--set", "s=x"}, dir.path())));
    ToolRun fromStdin = RunTarndb({"query", db, "t", "--format", "csv", "--password-file", "-"},
                                  dir.path(), {}, "line one\n");
    ASSERT_TRUE(Ok(fromStdin));
    EXPECT_EQ(fromStdin.out, "s\nx\n");
    ToolRun env = RunTarndb({"count", db, "t", "--filter", "s = 'x'"}, dir.path(),
                            {{"TARNDB_PASSWORD", "line one"}});
    EXPECT_EQ(env.out, "1\n");
    std::ofstream(dir.file("empty.txt")) << "\nsecond\n";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"dump", db, "t", "--password-file", dir.file("none.txt")},
         1,
         "cannot read the password file "},
        {{"dump", db, "t", "--password-file", dir.file("empty.txt")},
         1,
         "empty.txt holds no password on its first line"},
        {{"restore", "-", dir.file("n.tdb"), "--password-file", "-"},
         2,
         "--password-file - and the data both read standard input"},
    };
    for (const auto& c : cases) {
        ToolRun r = RunTarndb(c.args, dir.path(), {{"TARNDB_PASSWORD", "line one"}});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    // The file goes before the environment: a wrong one is not rescued by it.
    std::ofstream(dir.file("wrong.txt")) << "nope\n";
    ToolRun wrong = RunTarndb({"dump", db, "t", "--password-file", dir.file("wrong.txt")},
                              dir.path(), {{"TARNDB_PASSWORD", "line one"}});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("wrong password for " + db), std::string::npos) << wrong.err;
}

TEST(InfoJson, DescribesSettingsTablesFieldsAndIndexes) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("i.tdb");
    ASSERT_TRUE(Ok(RunTarndb({"create", db, "--compress", "zlib"}, dir.path())));
    ASSERT_TRUE(Ok(RunTarndb({"add-table", db, "书目", "--field", "id:autoinc", "--field",
                              "名:string:8:plain", "--index", "by名:unique,nocase:名,id"},
                             dir.path())));
    ToolRun r = RunTarndb({"info", db, "--format", "json"}, dir.path());
    ASSERT_TRUE(Ok(r));
    std::string text = r.out.substr(r.out.find("\"formatVersion\""));
    text = text.substr(text.find(",\n"));
    EXPECT_EQ(text,
              ",\n \"settings\": {\"compression\": \"zlib\", \"encryption\": null, "
              "\"verifyBlobWrites\": false},\n \"tables\": [\n  {\"name\": \"书目\", "
              "\"records\": 0, \"appended\": 0, \"recordSize\": 13, \"autoincCounter\": 0,\n"
              "   \"fields\": [{\"name\": \"id\", \"type\": \"autoinc\"}, {\"name\": \"名\", "
              "\"type\": \"string\", \"size\": 8, \"plain\": true}],\n   \"indexes\": "
              "[{\"name\": \"by名\", \"options\": \"unique,nocase\", \"fields\": [\"名\", "
              "\"id\"]}]}\n ]}\n");
    ToolRun bad = RunTarndb({"info", db, "--format", "xml"}, dir.path());
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown format 'xml' (known: text, json)"), std::string::npos);
}

}  // namespace
}  // namespace tarn::cli
