// The README's tool transcript ("The tarndb tool in 30 seconds"), run as written: each
// "$ tarndb ..." line is run in a temporary directory and must print the lines that follow
// it; "$ cat FILE" lines give the file's content instead.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "tools/testing/run_tool.h"

namespace tarn::cli {
namespace {

// Splits a shell line into words: blanks separate, double quotes group, a trailing
// backslash joins the next line (done by the caller).
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\\') && !quoted) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word.push_back(c);
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

TEST(ReadmeTool, TheTranscriptRunsAsWritten) {
    const char* root = std::getenv("TARN_SOURCE_DIR");
    std::ifstream readme(std::string(root ? root : ".") + "/README.md");
    ASSERT_TRUE(readme.good());
    std::string line;
    while (std::getline(readme, line) && line != "## The tarndb tool in 30 seconds") {
    }
    // The transcript: indented lines up to the next paragraph.
    std::vector<std::string> lines;
    bool started = false;
    while (std::getline(readme, line)) {
        if (line.rfind("    ", 0) == 0) {
            started = true;
            lines.push_back(line.substr(4));
        } else if (started && !line.empty()) {
            break;
        }
    }
    ASSERT_FALSE(lines.empty());
    tarn::testing::TempDir dir;
    int commands = 0;
    for (size_t i = 0; i < lines.size();) {
        ASSERT_EQ(lines[i].rfind("$ ", 0), 0u) << lines[i];
        std::string command = lines[i++].substr(2);
        while (!command.empty() && command.back() == '\\' && i < lines.size())
            command += " " + lines[i++];
        std::string expected;
        while (i < lines.size() && lines[i].rfind("$ ", 0) != 0) expected += lines[i++] + "\n";
        std::vector<std::string> words = Words(command);
        SCOPED_TRACE(command);
        if (words[0] == "cat") {
            std::ofstream(dir.file(words[1]), std::ios::binary) << expected;
            continue;
        }
        ASSERT_EQ(words[0], "tarndb");
        words.erase(words.begin());
        // Files are named relative to the transcript's directory.
        for (std::string& w : words)
            if (w.find(".tdb") != std::string::npos || w.find(".csv") != std::string::npos)
                w = dir.file(w);
        testing::ToolRun r = testing::RunTarndb(words, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        std::string out = r.out;
        for (size_t p; (p = out.find(dir.path() + "/")) != std::string::npos;)
            out.erase(p, dir.path().size() + 1);
        EXPECT_EQ(out, expected);
        ++commands;
    }
    EXPECT_GT(commands, 5);
}

}  // namespace
}  // namespace tarn::cli
