// tarndb compact FILE [--output OUT]: writes the live records into a new file and puts it in
// place of FILE (or writes OUT and leaves FILE alone).
#include <algorithm>

#include "tarndb/compact.h"
#include "tarndb/database.h"
#include "tarndb/errors.h"
#include "tools/commands.h"
#include "tools/open_database.h"
#include "tools/terminal.h"

namespace tarn::cli {

int RunCompact(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"output"}, {});
    RequirePositional(a, {"FILE"});
    const std::string& path = a.positional[0];
    RequireRegularFile(path);
    TCompactOptions options;
    options.output = a.Value("output");
    if (a.Has("output") && options.output.empty()) throw UsageError("--output needs a file name");
    if (!options.output.empty() && NotARegularFile(options.output).rfind("No such", 0) != 0)
        throw EToolError(options.output + " exists already; compact writes new files only");
    {
        // An encrypted database needs its password: ask for it (and check it) before any
        // work, as the other commands do.
        // With --output, FILE is only read: nothing may be written to it.
        TOpenedDatabase db(ctx, path, false, !options.output.empty());
        if (!db.Database().CanAccess()) {
            std::string password = ObtainPassword(ctx, path, false);
            db.Database().SupplyPassword(password);
            if (!db.Database().CanAccess()) throw EToolError("wrong password for " + path);
            options.password = std::move(password);
        }
    }
    TProgressBar progress(ctx.err, ctx.errIsTerminal, "compacting " + path, 1000);
    options.progress = [&progress](int64_t done, int64_t total) {
        progress.Update(total > 0 ? done * 1000 / total : 0);
    };
    TCompactResult r;
    try {
        r = CompactDatabase(path, options);
    } catch (...) {
        std::fill(options.password.begin(), options.password.end(), '\0');
        throw;
    }
    std::fill(options.password.begin(), options.password.end(), '\0');
    progress.Finish();
    std::fprintf(ctx.out, "compacted %s: %lld bytes before, %lld bytes after%s\n", path.c_str(),
                 static_cast<long long>(r.sizeBefore), static_cast<long long>(r.sizeAfter),
                 options.output.empty() ? "" : (", written to " + options.output).c_str());
    return kExitOk;
}

}  // namespace tarn::cli
