// tarndb dump FILE TABLE [--index NAME] [--filter EXPR] [--format F] [--header on|off]
//                        [--output OUT]
#include "tarndb/table.h"
#include "tools/commands.h"
#include "tools/open_database.h"
#include "tools/row_output.h"
#include "tools/table_view.h"
#include "tools/terminal.h"

namespace tarn::cli {

int RunDump(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"index", "filter", "format", "header", "output"}, {});
    RequirePositional(a, {"FILE", "TABLE"});
    TOutputFormat format = ParseOutputFormat(a.Value("format"));
    bool header = ParseHeaderSetting(a.Value("header"));
    TOpenedDatabase db(ctx, a.positional[0], true);
    // One read transaction: the rows listed are those of one commit, however long the
    // listing takes (commits of others wait for its end).
    db.Database().StartReadTransaction();
    std::unique_ptr<TTarnTable> table = db.NewTable(db.RequireTable(a.positional[1]));
    TTarnTable& t = *table;
    // The table component lists the rows: in physical order, in the key order of the index
    // named, and only those the filter keeps.
    TOpenedDatabase::OpenTable(t);
    if (a.Has("index")) SelectIndex(t, a.Value("index"), a.positional[1]);
    if (a.Has("filter")) ApplyFilter(ctx, t, a.Value("filter"));

    TTableView view(t);
    std::vector<TFieldType> types;
    for (int i = 0; i < view.FieldCount(); ++i) types.push_back(view.FieldType(i));
    TOutputTarget target(ctx.out, a.Value("output"));
    TRowWriter writer(target.File(), format, view.Names(), types, header);
    int count = view.Count();
    TProgressBar progress(ctx.err, ctx.ShowProgress() && count > 10000, "dump", count);
    std::vector<std::string> cells(static_cast<size_t>(view.FieldCount()));
    for (int pos = 1; pos <= count; ++pos) {
        view.Go(pos);
        for (int i = 0; i < view.FieldCount(); ++i) cells[static_cast<size_t>(i)] = view.Cell(i);
        writer.Row(cells);
        progress.Update(pos);
    }
    progress.Finish();
    writer.Finish();
    target.Finish();
    return kExitOk;
}

}  // namespace tarn::cli
