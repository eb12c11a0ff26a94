// The password asked on a terminal: create asks twice, and two entries that differ are
// reported as that, with nothing after it that sends the user elsewhere. Run on a pseudo
// terminal, as a user at a terminal runs the tool.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace tarn::cli {
namespace {

// Runs the tool with `args` on a new pseudo terminal, typing each of `lines` when the tool
// has asked for it; returns everything the terminal showed and the exit status.
std::string RunOnTerminal(const std::vector<std::string>& args,
                          const std::vector<std::string>& lines, int& status) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<char*> argv;
        std::string tool = TARNDB_TOOL_PATH;
        argv.push_back(tool.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::unsetenv("TARNDB_PASSWORD");
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    std::string shown;
    size_t typed = 0;
    char buf[512];
    for (;;) {
        // A tool that waits for more than the lines given is stopped, not waited for.
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 60000) == 0) {
            ::kill(pid, SIGKILL);
            shown += "\n[the tool hung]";
            break;
        }
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the tool has ended
        shown.append(buf, static_cast<size_t>(n));
        // A prompt ends in ": " and waits for a line.
        if (typed < lines.size() && shown.size() >= 2 &&
            shown.compare(shown.size() - 2, 2, ": ") == 0) {
            std::string line = lines[typed++] + "\n";
            (void)!::write(master, line.data(), line.size());
        }
    }
    ::close(master);
    ::waitpid(pid, &status, 0);
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return shown;
}

TEST(TerminalPassword, TwoEntriesThatDifferAreSaidToDiffer) {
    tarn::testing::TempDir dir;
    std::string db = dir.file("t.tdb");
    int status = 0;
    std::string shown =
        RunOnTerminal({"create", db, "--encrypt", "blowfish"}, {"one", "two"}, status);
    EXPECT_EQ(status, 1) << shown;
    EXPECT_NE(shown.find("the two passwords differ"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("TARNDB_PASSWORD"), std::string::npos) << shown;
    EXPECT_FALSE(std::filesystem::exists(db));

    shown = RunOnTerminal({"create", db, "--encrypt", "blowfish"}, {"same", "same"}, status);
    EXPECT_EQ(status, 0) << shown;
    EXPECT_NE(shown.find("created " + db + ", encrypted with blowfish mode 0"), std::string::npos)
        << shown;
}

}  // namespace
}  // namespace tarn::cli
