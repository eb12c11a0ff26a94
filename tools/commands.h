// The subcommands of the tarndb tool. Each takes its context (arguments after the command
// name, output streams, environment) and returns the exit code; usage errors are raised as
// EToolError with kExitUsage, the engine's errors pass to the dispatcher.
#pragma once

#include "tools/cli_common.h"

namespace tarn::cli {

struct TCommand {
    const char* name;
    const char* summary;  // one line for the overview
    const char* usage;    // the full help text of the command
    int (*run)(TToolContext&);
};

int RunCreate(TToolContext& ctx);
int RunAddTable(TToolContext& ctx);
int RunInfo(TToolContext& ctx);
int RunDump(TToolContext& ctx);
int RunImport(TToolContext& ctx);
int RunCheck(TToolContext& ctx);
int RunCompact(TToolContext& ctx);
int RunQuery(TToolContext& ctx);
int RunCount(TToolContext& ctx);
int RunInsert(TToolContext& ctx);
int RunUpdate(TToolContext& ctx);
int RunDelete(TToolContext& ctx);
int RunExport(TToolContext& ctx);
int RunRestore(TToolContext& ctx);
int RunShell(TToolContext& ctx);

// The table of commands, in the order of the overview.
const std::vector<TCommand>& Commands();

// Runs the tool with argv-style arguments (argv[0] excluded): dispatches to the command,
// prints errors and usage, and returns the exit code. No arguments print the overview and
// give kExitUsage.
int RunTool(const std::vector<std::string>& args, TToolContext& ctx);

}  // namespace tarn::cli
