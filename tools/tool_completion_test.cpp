// The bash completion script offers the commands, each command's options and their values.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tarn::cli {
namespace {

// What the completion function offers for the words of a command line (the last one being
// completed).
std::string Complete(const std::string& words) {
    std::string script =
        std::string(std::getenv("TARN_SOURCE_DIR") ? std::getenv("TARN_SOURCE_DIR") : ".") +
        "/tools/completion/tarndb.bash";
    std::string command = "bash -c 'source \"" + script + "\" && COMP_WORDS=(" + words +
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

}  // namespace
}  // namespace tarn::cli
