// The tarndb command-line tool: create, examine, dump, import and check database files.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dataproc/standard_modules.h"
#include "platform/timer/timer.h"
#include "tools/commands.h"
#include "tools/terminal.h"

int main(int argc, char** argv) {
    // The tool flushes at the end of every command that writes; no timer thread is needed.
    static tarn::TManualTimerDriver timers;
    tarn::SetTimerDriver(&timers);
    tarn::RegisterStandardModules();

    tarn::cli::TToolContext ctx;
    ctx.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    ctx.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    ctx.getEnv = [](const char* name, std::string& value) {
        const char* v = std::getenv(name);
        if (v == nullptr) return false;
        value = v;
        return true;
    };
    ctx.readPassword = tarn::cli::ReadPasswordFromTerminal;
    std::vector<std::string> args(argv + 1, argv + argc);
    int rc = tarn::cli::RunTool(args, ctx);
    std::fflush(stdout);
    return rc;
}
