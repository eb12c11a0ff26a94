// The bash completion script offers the commands, each command's options and their values.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

// What the completion function offers for the words of a command line (the last one being
// completed).
std::string Complete(const std::string& words) {
    std::string script =
        std::string(std::getenv("TARN_SOURCE_DIR") ? std::getenv("TARN_SOURCE_DIR") : ".") +
        "/tools/completion/tarndb.bash";
    // The completion runs the tool (as `tarndb`) to list names.
    std::string bin = TARNDB_TOOL_PATH;
    bin = bin.substr(0, bin.rfind('/'));
    std::string command = "PATH=\"" + bin + ":$PATH\" bash -c 'source \"" + script +
                          "\" && COMP_WORDS=(" + words +
                          ") && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && _tarndb && "
                          "echo \"${COMPREPLY[*]}\"' 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

TEST(Completion, OffersCommandsOptionsAndValues) {
    EXPECT_EQ(Complete("tarndb c"), "create count check compact\n");
    EXPECT_EQ(Complete("tarndb dump x.tdb t --f"), "--filter --format\n");
    EXPECT_EQ(Complete("tarndb dump x.tdb t --format j"), "json\n");
    EXPECT_EQ(Complete("tarndb query x.tdb t --format t"), "table tsv\n");
    EXPECT_EQ(Complete("tarndb query x.tdb t --o"), "--order-by --offset --output\n");
    EXPECT_EQ(Complete("tarndb query x.tdb t --aggregate m"), "min: max:\n");
    EXPECT_EQ(Complete("tarndb d"), "dump delete\n");
    EXPECT_EQ(Complete("tarndb e"), "export\n");
    EXPECT_EQ(Complete("tarndb info x.tdb --format t"), "text\n");
    EXPECT_EQ(Complete("tarndb update x.tdb t --d"), "--dry-run\n");
    EXPECT_EQ(Complete("tarndb compact x.tdb --"), "--help --output\n");
    EXPECT_EQ(Complete("tarndb check x.tdb --"), "--help --recover\n");
    EXPECT_EQ(Complete("tarndb create x --encrypt g"), "gost\n");
    EXPECT_EQ(Complete("tarndb add-table x t --field id:au"), "id:autoinc\n");
}

// Where a table, a field or an index is expected, the names in the database are offered.
TEST(Completion, OffersTheNamesInTheDatabase) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("c.tdb");
    ASSERT_EQ(testing::RunTarndb({"create", db}, dir.path()).status, 0);
    ASSERT_EQ(testing::RunTarndb(
                  {"add-table", db, "书目", "--field", "书名:string:9", "--field", "价格:float",
                   "--index", "by价格::价格", "--index", "by书名:unique:书名"},
                  dir.path())
                  .status,
              0);
    ASSERT_EQ(
        testing::RunTarndb({"add-table", db, "other", "--field", "x:integer"}, dir.path()).status,
        0);
    const std::pair<std::string, std::string> cases[] = {
        {"tarndb dump " + db + " \"\"", "书目 other\n"},
        {"tarndb update " + db + " o", "other\n"},
        {"tarndb query " + db + " 书目 --index by书", "by书名\n"},
        {"tarndb query " + db + " 书目 --order-by \"\"", "书名 价格\n"},
        {"tarndb query " + db + " 书目 --fields 价格,书", "价格,书名\n"},
        {"tarndb query " + db + " other --group-by \"\"", "x\n"},
        // No database there: nothing is offered (compgen then fails, and so does _tarndb).
        {"tarndb dump " + dir.file("none.tdb") + " \"\"", ""},
    };
    for (const auto& [words, offered] : cases) EXPECT_EQ(Complete(words), offered) << words;
}

}  // namespace
}  // namespace tarn::cli
