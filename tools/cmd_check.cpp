// tarndb check FILE: runs the checker and reports every problem with table and record.
#include "tarndb/check.h"
#include "tools/commands.h"
#include "tools/terminal.h"

namespace tarn::cli {

int RunCheck(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {}, {"recover"});
    RequirePositional(a, {"FILE"});
    const std::string& path = a.positional[0];
    TCheckOptions options;
    options.recover = a.Has("recover");
    options.password = [&ctx, &path]() -> std::optional<std::string> {
        std::string password;
        if (ctx.getEnv && ctx.getEnv("TARNDB_PASSWORD", password) && !password.empty())
            return password;
        if (ctx.readPassword &&
            ctx.readPassword("Password for " + path + " (empty: check without it): ", false,
                             password) &&
            !password.empty())
            return password;
        return std::nullopt;
    };
    TProgressBar progress(ctx.err, ctx.errIsTerminal, "checking " + path, 1000);
    options.progress = [&progress](int64_t done, int64_t total) {
        progress.Update(total > 0 ? done * 1000 / total : 0);
    };
    progress.Update(0);
    TCheckReport report = CheckDatabaseFile(path, options);
    progress.Finish();

    // What a journal beside the file will do (or did, with --recover) comes first: the rest
    // of the report is about the file as it leaves it.
    if (!report.journal.empty())
        std::fprintf(ctx.out, "%s: journal %s%s\n", path.c_str(), report.journal.c_str(),
                     report.journalPlayedOver ? " (--recover rolls it back now)" : "");
    if (!report.unreadable.empty()) {
        std::fprintf(ctx.err, "tarndb check: %s: %s\n", path.c_str(), report.unreadable.c_str());
        return kExitUsage;
    }
    for (const TCheckProblem& p : report.problems) {
        std::string where;
        if (!p.table.empty() || p.tableNo >= 0)
            where = "table " + (p.table.empty() ? std::to_string(p.tableNo) : p.table);
        if (p.record >= 0)
            where +=
                (where.empty() ? "" : ", ") + std::string("record ") + std::to_string(p.record);
        std::fprintf(ctx.out, "%s: %s%s%s\n", path.c_str(), where.c_str(),
                     where.empty() ? "" : ": ", p.text.c_str());
    }
    if (report.problemCount > static_cast<int64_t>(report.problems.size()))
        std::fprintf(ctx.out, "%s: ... and %lld more problems\n", path.c_str(),
                     static_cast<long long>(report.problemCount -
                                            static_cast<int64_t>(report.problems.size())));
    for (const std::string& note : report.notes)
        std::fprintf(ctx.out, "%s: note: %s\n", path.c_str(), note.c_str());
    std::string summary =
        std::to_string(report.tables) + " table" + (report.tables == 1 ? "" : "s") + ", " +
        std::to_string(report.records) + " live record" + (report.records == 1 ? "" : "s") + ", " +
        std::to_string(report.indexes) + " index" + (report.indexes == 1 ? "" : "es");
    if (report.problemCount == 0) {
        std::fprintf(ctx.out, "%s: ok (%s)\n", path.c_str(), summary.c_str());
        return kExitOk;
    }
    std::fprintf(ctx.out, "%s: %lld problem%s found (%s)\n", path.c_str(),
                 static_cast<long long>(report.problemCount), report.problemCount == 1 ? "" : "s",
                 summary.c_str());
    return kExitFailure;
}

}  // namespace tarn::cli
