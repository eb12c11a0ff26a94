// `tarndb import` refusing bad input: every bad value stops the import with its line and
// column, and nothing of the file is written, not even the good rows before it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "platform/os/fault_env.h"
#include "tests/support/quiet_timers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"
#include "tools/commands.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::RunTarndb;
using testing::ToolRun;

struct BadCsv {
    const char* name;
    std::string csv;
    const char* where;    // the position the message must name
    const char* message;  // and what it must say
};

void PrintTo(const BadCsv& c, std::ostream* os) { *os << c.name; }

class ImportRefuses : public ::testing::TestWithParam<BadCsv> {};

TEST_P(ImportRefuses, NamesLineAndColumnAndWritesNothing) {
    const BadCsv& c = GetParam();
    tarn::testing::TempDir dir;
    std::string db = dir.file("i.tdb");
    ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
    ASSERT_EQ(RunTarndb({"add-table", db, "t", "--field", "id:autoinc", "--field", "name:string:6",
                         "--field", "n:smallint", "--field", "d:date", "--field", "b:blob",
                         "--field", "ok:boolean"},
                        dir.path())
                  .status,
              0);
    std::ofstream(dir.file("bad.csv"), std::ios::binary) << c.csv;
    ToolRun r = RunTarndb({"import", db, "t", dir.file("bad.csv")}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.where), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    ToolRun dump = RunTarndb({"dump", db, "t", "--format", "csv"}, dir.path());
    EXPECT_EQ(dump.out, "id,name,n,d,b,ok\n") << "nothing may be written";
    EXPECT_EQ(RunTarndb({"check", db}, dir.path()).status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportRefuses,
    ::testing::Values(
        BadCsv{"not_a_number", "name,n\nfine,1\nbad,x1\n", "line 3, column 2 (n)",
               "'x1' is not a smallint"},
        BadCsv{"out_of_range", "name,n\nfine,1\nbig,40000\n", "line 3, column 2 (n)",
               "'40000' is not a smallint"},
        BadCsv{"too_long", "n,name\n1,fine\n2,toolong\n", "line 3, column 2 (name)",
               "the field holds 6"},
        BadCsv{"chinese_too_long", "name\n三个字\n四个字吧\n", "line 3, column 1 (name)",
               "is 8 bytes long"},
        BadCsv{"bad_date", "name,d\na,2024-02-29\nb,2023-02-29\n", "line 3, column 2 (d)",
               "is not a date"},
        BadCsv{"bad_hex", "b\n0x0g\n", "line 2, column 1 (b)", "0x and hex digits"},
        BadCsv{"bad_boolean", "ok\ntrue\nmaybe\n", "line 3, column 1 (ok)", "is not a boolean"},
        // A quoted value spanning lines: the line counted is the one the value starts on.
        BadCsv{"after_multiline", "name,n\n\"a\nb\",1\nc,z\n", "line 4, column 2",
               "'z' is not a smallint"},
        BadCsv{"wrong_count", "name,n\na,1\nb\n",
               "line 3:", "the row has 1 value; the header names 2 fields"},
        BadCsv{"unknown_field", "name,colour\n", "line 1, column 2",
               "no field 'colour' (fields: id, name, n, d, b, ok)"},
        BadCsv{"field_twice", "name,NAME\n", "line 1, column 2", "named twice"},
        BadCsv{"unclosed_quote", "name\n\"never ends\n", "bad.csv: line 2", "never closed"},
        BadCsv{"text_after_quote", "name\n\"a\"b\n", "bad.csv: line 2, column 1",
               "text after the closing quote"},
        BadCsv{"invalid_utf8", "name\n\xff\xfe\n", "line 2, column 1", "not valid UTF-8"}),
    [](const ::testing::TestParamInfo<BadCsv>& i) { return std::string(i.param.name); });

TEST(Import, ReadsStandardInputAndCountsAutoincFromTheCounter) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("s.tdb");
    ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
    ASSERT_EQ(RunTarndb({"add-table", db, "t", "--field", "id:autoinc", "--field", "v:string:4"},
                        dir.path())
                  .status,
              0);
    // A byte-order mark, CRLF line ends, a blank line and an explicit id that raises the counter.
    ToolRun r = RunTarndb({"import", db, "t", "-"}, dir.path(), {},
                          "\xEF\xBB\xBFid,v\r\n,a\r\n\r\n10,b\r\n,c\r\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "imported 3 rows into t\n");
    EXPECT_EQ(RunTarndb({"dump", db, "t", "--format", "csv"}, dir.path()).out,
              "id,v\n1,a\n10,b\n11,c\n");
}

}  // namespace
}  // namespace tarn::cli

namespace tarn::cli {
namespace {

class IndexedImport : public ::testing::Test {
protected:
    void SetUp() override {
        db = dir.file("x.tdb");
        ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
        ASSERT_EQ(
            RunTarndb({"add-table", db, "t", "--field", "id:integer", "--field", "name:string:10",
                       "--field", "at:time", "--index", "pk:primary:id", "--index",
                       "byName:unique,nocase,descending:name", "--index", "byTime::at,id"},
                      dir.path())
                .status,
            0);
        std::ofstream(dir.file("a.csv"))
            << "id,name,at\n3,bravo,10:00\n1,Alpha,09:00\n2,charlie,09:00\n";
        ASSERT_EQ(RunTarndb({"import", db, "t", dir.file("a.csv")}, dir.path()).status, 0);
    }
    std::string Dump(const char* index) {
        return RunTarndb({"dump", db, "t", "--index", index, "--format", "csv"}, dir.path()).out;
    }
    tarn::testing::TempDir dir;
    std::string db;
};

TEST_F(IndexedImport, RowsGoIntoKeyOrderAndTheChainsCheckClean) {
    EXPECT_EQ(Dump("pk"), "id,name,at\n1,Alpha,09:00:00\n2,charlie,09:00:00\n3,bravo,10:00:00\n");
    EXPECT_EQ(Dump("byName"),
              "id,name,at\n2,charlie,09:00:00\n3,bravo,10:00:00\n1,Alpha,09:00:00\n");
    EXPECT_EQ(Dump("byTime"),
              "id,name,at\n1,Alpha,09:00:00\n2,charlie,09:00:00\n3,bravo,10:00:00\n");
    ToolRun check = RunTarndb({"check", db}, dir.path());
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("ok (1 table, 3 live records, 3 indexes)"), std::string::npos);
}

TEST_F(IndexedImport, AKeyTheTableHoldsStopsTheImportBeforeAnythingIsWritten) {
    std::ofstream(dir.file("b.csv")) << "id,name,at\n4,delta,\n5,ALPHA,\n";
    ToolRun r = RunTarndb({"import", db, "t", dir.file("b.csv")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("line 3: Invalid unique field value 'ALPHA' (the table holds this key already)"),
        std::string::npos)
        << r.err;
    ToolRun info = RunTarndb({"info", db}, dir.path());
    EXPECT_NE(info.out.find("records: 3 live;"), std::string::npos) << "no record appended\n"
                                                                    << info.out;
}

TEST_F(IndexedImport, AKeyRepeatedWithinTheFileLeavesNothingBehind) {
    std::ofstream(dir.file("c.csv")) << "id,name,at\n4,delta,\n5,echo,\n6,Delta,\n";
    ToolRun r = RunTarndb({"import", db, "t", dir.file("c.csv")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("line 4: Invalid unique field value 'Delta'; the 2 rows imported before it "
                   "were rolled back"),
        std::string::npos)
        << r.err;
    // The import ran as one transaction: not even deleted records are left of it.
    ToolRun info = RunTarndb({"info", db}, dir.path());
    EXPECT_NE(info.out.find("records: 3 live;"), std::string::npos) << info.out;
    EXPECT_EQ(Dump("pk"), "id,name,at\n1,Alpha,09:00:00\n2,charlie,09:00:00\n3,bravo,10:00:00\n");
    EXPECT_EQ(RunTarndb({"check", db}, dir.path()).status, 0);
}

}  // namespace
}  // namespace tarn::cli

namespace tarn::cli {
namespace {

// An import that cannot write says which file and why, and what became of its rows.
class ImportCannotWrite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunTarndb({"create", db}, dir.path()).status, 0);
        ASSERT_EQ(RunTarndb({"add-table", db, "t", "--field", "v:integer", "--field", "m:memo"},
                            dir.path())
                      .status,
                  0);
        std::ofstream csv(dir.file("rows.csv"), std::ios::binary);
        csv << "v,m\n";
        for (int i = 0; i < 30; ++i) csv << i << "," << std::string(300, 'm') << "\n";
    }
    std::string Rows() { return RunTarndb({"dump", db, "t", "--format", "csv"}, dir.path()).out; }

    tarn::testing::TempDir dir;
    std::string db = dir.file("w.tdb");
};

TEST_F(ImportCannotWrite, AReadOnlyFileIsNamedWithTheCause) {
    ASSERT_EQ(::chmod(db.c_str(), 0444), 0);
    const std::string before = Rows();
    ToolRun r = RunTarndb({"import", db, "t", dir.file("rows.csv")}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot import into " + db), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_EQ(Rows(), before);
}

// A full disk at each write of the import in turn (the tool runs in this process, over a
// fault-injecting layer): a commit that failed says that nothing was written, and the file
// holds no row of it; one that failed past its commit point says that the rows stand.
TEST_F(ImportCannotWrite, AFailedCommitSaysWhatBecameOfTheRows) {
    tarn::testing::TQuietTimers timers;
    int rolledBack = 0;
    for (long n = 1;; ++n) {
        SCOPED_TRACE("write " + std::to_string(n) + " fails");
        ASSERT_LT(n, 1000);
        int status = 0;
        std::string err;
        {
            FaultEnv env;
            tarn::testing::ScopedEnv scoped(&env);
            env.FailWrite(n, ENOSPC);
            char* text = nullptr;
            size_t size = 0;
            FILE* errFile = open_memstream(&text, &size);
            FILE* outFile = std::fopen("/dev/null", "w");
            TToolContext ctx;
            ctx.out = outFile;
            ctx.err = errFile;
            status = RunTool({"import", db, "t", dir.file("rows.csv")}, ctx);
            std::fclose(outFile);
            std::fclose(errFile);
            err.assign(text, size);
            std::free(text);
        }
        if (status == 0) break;
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
        const std::string rows = Rows();
        if (err.find("are committed") != std::string::npos) {
            EXPECT_NE(rows.find("29,"), std::string::npos) << err;
            break;
        }
        EXPECT_NE(err.find("nothing was written"), std::string::npos) << err;
        EXPECT_EQ(rows, "v,m\n") << err;
        ++rolledBack;
    }
    EXPECT_GT(rolledBack, 0);
}

}  // namespace
}  // namespace tarn::cli
