// Test helper: runs the built tarndb executable as a user would, with chosen arguments,
// environment additions and standard input, and captures its exit status and output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tarn::cli::testing {

struct ToolRun {
    int status = -1;  // exit code; -1 when the tool did not exit normally
    int signal = 0;   // the signal that ended it, if one did
    std::string out, err;
};

// Passes when the tool exited 0; otherwise shows how it ended and what it printed.
inline ::testing::AssertionResult Ok(const ToolRun& r) {
    if (r.status == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << r.status << " signal " << r.signal
                                         << "\nstdout: " << r.out << "\nstderr: " << r.err;
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs TARNDB_TOOL_PATH with `args`. `env` adds or replaces variables; TARNDB_PASSWORD is
// removed unless given. `workDir` receives the captured output files; `input` is what the
// tool reads on standard input (empty: /dev/null). A run that has not ended after
// `timeoutSeconds` is killed (it then shows signal SIGKILL), so a hanging tool fails its
// test instead of stopping the suite.
inline ToolRun RunTarndb(const std::vector<std::string>& args, const std::string& workDir,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& input = "", int timeoutSeconds = 300) {
    std::string outPath = workDir + "/.tool-out", errPath = workDir + "/.tool-err",
                inPath = "/dev/null";
    if (!input.empty()) {
        inPath = workDir + "/.tool-in";
        std::ofstream(inPath, std::ios::binary) << input;
    }
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        std::string key = kv.substr(0, kv.find('='));
        if (key == "TARNDB_PASSWORD" || env.count(key)) continue;
        envStrings.push_back(kv);
    }
    for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{TARNDB_TOOL_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    // No controlling terminal: the tool must never wait for a password prompt.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    ToolRun run;
    int rc = posix_spawn(&pid, TARNDB_TOOL_PATH, &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        run.err = std::string("spawn failed: ") + std::strerror(rc);
        return run;
    }
    int status = 0;
    const long pollUs = 2000;
    for (long waited = 0;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (waited >= timeoutSeconds * 1000000L) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        usleep(static_cast<useconds_t>(pollUs));
        waited += pollUs;
    }
    if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    run.out = ReadWhole(outPath);
    run.err = ReadWhole(errPath);
    return run;
}

}  // namespace tarn::cli::testing
