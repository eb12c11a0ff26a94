// tarndb shell: commands from -c and from standard input against one database, words split
// as a shell splits them, dot commands, and a failed command that does not stop the rest but
// sets the exit status.
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

using testing::RunTarndb;
using testing::ToolRun;

TEST(Shell, RunsCommandsAgainstOneDatabase) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("s.tdb");
    std::map<std::string, std::string> env{{"TARNDB_PASSWORD", "pw"}};
    ASSERT_EQ(RunTarndb({"create", db, "--encrypt", "twofish"}, dir.path(), env).status, 0);
    ASSERT_EQ(RunTarndb({"add-table", db, "名单", "--field", "名:string:20"}, dir.path()).status,
              0);
    ASSERT_EQ(RunTarndb({"add-table", db, "b", "--field", "n:integer"}, dir.path()).status, 0);

    ToolRun c = RunTarndb({"shell", db, "-c", ".tables", "-c", "insert 名单 --set '名=张 三'", "-c",
                           "query 名单 --format csv --header off"},
                          dir.path(), env);
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.out, "名单\nb\ninserted 1 row into 名单\n张 三\n");

    const std::string script =
        "# a comment, then an empty line\n"
        "\n"
        "insert 名单 --set \"名=say \\\"hi\\\"\"   # quoted, with a comment after\n"
        "query 不在\n"
        "insert b --set n=x\n"
        "count 名单 --filter \"名 = '张 三'\"\n"
        "create other.tdb\n"
        "count 名单 'unclosed\n"
        "help count\n"
        ".quit\n"
        "count 名单\n";
    ToolRun s = RunTarndb({"shell", db}, dir.path(), env, script);
    EXPECT_EQ(s.status, 2) << s.err;  // the last failure: the unclosed quote
    EXPECT_EQ(s.out,
              "inserted 1 row into 名单\n1\nusage: tarndb count FILE TABLE [--filter EXPR]\n\n"
              "Prints the number of live records of a table, or of those the filter expression "
              "keeps.\n");
    for (const char* message :
         {"tarndb query: no table '不在'", "tarndb insert: --set n=x: 'x' is not an integer",
          "'create' makes a new file; run it outside the shell",
          "a ' is never closed in: count 名单 'unclosed"})
        EXPECT_NE(s.err.find(message), std::string::npos) << s.err;
    ToolRun check = RunTarndb({"query", db, "名单", "--format", "csv"}, dir.path(), env);
    EXPECT_EQ(check.out, "名\n张 三\n\"say \"\"hi\"\"\"\n");

    ToolRun noPassword = RunTarndb({"shell", db, "-c", ".tables"}, dir.path());
    EXPECT_EQ(noPassword.status, 1);
    EXPECT_NE(noPassword.err.find("is encrypted: give its password"), std::string::npos);
    ToolRun wrong =
        RunTarndb({"shell", db, "-c", ".tables"}, dir.path(), {{"TARNDB_PASSWORD", "nope"}});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("wrong password for " + db), std::string::npos) << wrong.err;
}

}  // namespace
}  // namespace tarn::cli
