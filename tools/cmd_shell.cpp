// tarndb shell FILE [-c COMMAND]...: runs the tool's commands against one database, from
// -c arguments, or line by line from standard input (with a prompt on a terminal). Each
// line is a command without the file name ("query books --limit 3"), words split as a
// shell splits them ('...' and "..." group, a backslash escapes the next character), and
// dot commands: .tables, .help, .quit. An encrypted database's password is asked once.
//
// Exit status: that of the last command that failed (0 when none did); a line continues
// after a failed one, as a script of the sqlite3 shell does.
#include <unistd.h>

#include <iostream>

#include "tools/commands.h"
#include "tools/open_database.h"

namespace tarn::cli {

namespace {

// The words of a command line; raises a usage error for a quote that is never closed.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool any = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < line.size() &&
                       (line[i + 1] == '"' || line[i + 1] == '\\')) {
                word.push_back(line[++i]);
            } else {
                word.push_back(c);
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            any = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word.push_back(line[++i]);
            any = true;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else if (c == '#' && !any) {
            break;  // a comment to the end of the line
        } else {
            word.push_back(c);
            any = true;
        }
    }
    if (quote) throw UsageError(std::string("a ") + quote + " is never closed in: " + line);
    if (any) words.push_back(word);
    return words;
}

const char kShellHelp[] =
    "Commands are those of tarndb without the file name, e.g.\n"
    "  query TABLE --fields A,B --order-by A --limit 10\n"
    "  update TABLE --filter \"A = 1\" --set B=2\n"
    "  help query          the arguments of a command\n"
    "  .tables             list the tables\n"
    "  .quit               leave (also end of input)\n";

class TShell {
public:
    TShell(TToolContext& ctx, std::string path) : ctx_(ctx), path_(std::move(path)) {}

    // Runs one line; returns false for .quit.
    bool Line(const std::string& line) {
        std::vector<std::string> words;
        try {
            words = SplitWords(line);
        } catch (const EToolError& e) {
            std::fprintf(ctx_.err, "tarndb shell: %s\n", e.Message().c_str());
            rc_ = kExitUsage;
            return true;
        }
        if (words.empty()) return true;
        const std::string& first = words[0];
        if (first == ".quit" || first == ".exit") return false;
        if (first == ".help") {
            std::fputs(kShellHelp, ctx_.out);
            return true;
        }
        if (first == ".tables") {
            Tables();
            return true;
        }
        if (first == "help" || first == "--help") {
            std::vector<std::string> args{"--help"};
            args.insert(args.end(), words.begin() + 1, words.end());
            Result(RunTool(args, ctx_));
            return true;
        }
        if (first == "create" || first == "restore" || first == "shell") {
            std::fprintf(ctx_.err,
                         "tarndb shell: '%s' makes a new file; run it outside the shell\n",
                         first.c_str());
            rc_ = kExitUsage;
            return true;
        }
        std::vector<std::string> args{first, path_};
        args.insert(args.end(), words.begin() + 1, words.end());
        Result(RunTool(args, ctx_));
        std::fflush(ctx_.out);
        return true;
    }
    int ExitCode() const { return rc_; }

private:
    void Result(int rc) {
        if (rc != kExitOk) rc_ = rc;
    }
    void Tables() {
        try {
            TOpenedDatabase db(ctx_, path_, false, true);
            for (const std::string& name : db.TableNames())
                std::fprintf(ctx_.out, "%s\n", ToTerminal(name).c_str());
        } catch (const std::exception& e) {
            std::fprintf(ctx_.err, "tarndb shell: %s\n", e.what());
            rc_ = kExitFailure;
        }
    }

    TToolContext& ctx_;
    std::string path_;
    int rc_ = kExitOk;
};

}  // namespace

int RunShell(TToolContext& ctx) {
    std::string path;
    std::vector<std::string> commands;
    for (size_t i = 0; i < ctx.args.size(); ++i) {
        const std::string& a = ctx.args[i];
        if (a == "-c" || a == "--command") {
            if (i + 1 >= ctx.args.size()) throw UsageError(a + " needs a command");
            commands.push_back(ctx.args[++i]);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            throw UsageError("unknown option '" + a + "'");
        } else if (path.empty()) {
            path = a;
        } else {
            throw UsageError("unexpected argument '" + a + "'");
        }
    }
    if (path.empty()) throw UsageError("missing FILE");
    // The password is asked (or read) once, and handed to every command of the session.
    std::string password;
    bool encrypted;
    {
        TOpenedDatabase db(ctx, path, false, true);
        encrypted = !db.Database().CanAccess();
    }
    if (encrypted) {
        password = ObtainPassword(ctx, path, false);
        TOpenedDatabase check(ctx, path, true, true, password);  // refuses a wrong one
    }
    TToolContext inner = ctx;
    if (!password.empty()) {
        inner.passwordFile.clear();
        inner.getEnv = [password, outer = ctx.getEnv](const char* name, std::string& value) {
            if (std::string(name) == "TARNDB_PASSWORD") {
                value = password;
                return true;
            }
            return outer ? outer(name, value) : false;
        };
    }
    TShell shell(inner, path);
    if (!commands.empty()) {
        for (const std::string& c : commands)
            if (!shell.Line(c)) break;
        return shell.ExitCode();
    }
    const bool interactive = ::isatty(STDIN_FILENO) == 1;
    std::string line;
    while (true) {
        if (interactive) {
            std::fputs("tarndb> ", ctx.out);
            std::fflush(ctx.out);
        }
        if (!std::getline(std::cin, line)) break;
        if (!shell.Line(line)) break;
    }
    if (interactive) std::fputc('\n', ctx.out);
    return shell.ExitCode();
}

}  // namespace tarn::cli
