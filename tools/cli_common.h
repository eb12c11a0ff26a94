// Shared plumbing of the tarndb command-line tool: the error a command raises for a bad
// argument or a failed operation, the exit codes, how a command sees its arguments and the
// terminal, and the conversion of texts between the terminal (UTF-8) and the data code page
// (GB18030) in which names and values are stored.
//
// Every command is a function `int RunXxx(TToolContext&)` returning an exit code; it raises
// EToolError for its own errors and lets the engine's exceptions pass to the dispatcher,
// which prints them (converted to UTF-8) and returns kExitFailure.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/file_kind.h"  // NotARegularFile

namespace tarn::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the operation failed; for `check`: problems were found
constexpr int kExitUsage = 2;    // bad command line; for `check`: the file cannot be read

// An error of the tool itself; the message is UTF-8, shown as it is.
class EToolError : public std::exception {
public:
    EToolError(std::string message, int exitCode = kExitFailure)
        : message_(std::move(message)), exitCode_(exitCode) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const { return message_; }
    int ExitCode() const { return exitCode_; }

private:
    std::string message_;
    int exitCode_;
};

// A usage error: the dispatcher prints it with the command's usage and exits with 2.
inline EToolError UsageError(std::string message) {
    return EToolError(std::move(message), kExitUsage);
}

// What a command works with. Tests may run commands in-process with their own streams and
// environment; the executable passes the real ones.
struct TToolContext {
    std::vector<std::string> args;  // the command's arguments (after the command name)
    FILE* out = stdout;
    FILE* err = stderr;
    // Whether standard error / standard output are terminals: progress bars are drawn on
    // standard error only when it is one and standard output is not (so they never mix
    // into listed records).
    bool errIsTerminal = false;
    bool outIsTerminal = false;
    bool ShowProgress() const { return errIsTerminal && !outIsTerminal; }
    // --password-file FILE (any command): the password is the first line of FILE ("-":
    // standard input). Taken before TARNDB_PASSWORD and the terminal.
    std::string passwordFile;
    // Environment lookup (TARNDB_PASSWORD); returns false when the variable is not set.
    std::function<bool(const char* name, std::string& value)> getEnv;
    // Reads a password from the terminal without echo; false when there is no terminal
    // or the user cancelled. `confirm` asks twice and raises EToolError when the entries
    // differ.
    std::function<bool(const std::string& prompt, bool confirm, std::string& password)>
        readPassword;
};

// Command-line options of one command: positional arguments in order, options by name.
// An option given several times keeps every value in order. Flags have the value "".
struct TParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> options;
    bool help = false;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The single value of an option ("" when absent); raises a usage error when given twice.
    std::string Value(const std::string& name) const;
    const std::vector<std::string>& Values(const std::string& name) const;
};

// Parses `args`: "--name value" for each name in `withValue`, "--name" alone for each name
// in `flags`, "--help"/"-h" sets help; anything else starting with "--" is a usage error.
// "--name=value" is accepted as well.
TParsedArgs ParseArgs(const std::vector<std::string>& args,
                      const std::vector<std::string>& withValue,
                      const std::vector<std::string>& flags);

// Requires exactly `count` positional arguments (naming them for the message).
void RequirePositional(const TParsedArgs& a, const std::vector<const char*>& names);

// Terminal text -> data code page, refusing text that is not valid UTF-8.
std::string ToStored(std::string_view utf8, const char* what);
// Data code page -> terminal text.
std::string ToTerminal(std::string_view stored);
// An engine message for the terminal: it carries names in the data code page, except when
// it is valid UTF-8 already (paths, messages without names), which is shown as it is.
std::string EngineMessageToTerminal(std::string_view message);

// Raises EToolError "cannot open PATH: <reason>" unless `path` names a regular file.
void RequireRegularFile(const std::string& path);

}  // namespace tarn::cli
