// tarndb add-table FILE TABLE --field NAME:TYPE[:SIZE][:plain] ... [--index NAME:OPTS:FIELDS ...]
#include "tarndb/creator.h"
#include "tools/commands.h"
#include "tools/schema_text.h"

namespace tarn::cli {

int RunAddTable(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"field", "index"}, {});
    RequirePositional(a, {"FILE", "TABLE"});
    const std::string& path = a.positional[0];
    std::string table = ToStored(a.positional[1], "the table name");
    if (a.Values("field").empty()) throw UsageError("a table needs at least one --field");
    std::vector<TFieldDefinition> fields;
    for (const std::string& f : a.Values("field")) fields.push_back(ParseFieldDefinition(f));
    std::vector<TIndexDefinition> indexes;
    for (const std::string& x : a.Values("index")) indexes.push_back(ParseIndexDefinition(x));
    RequireRegularFile(path);
    TTarnDBCreator::AddTable(path, table, fields, indexes);
    std::fprintf(ctx.out, "added table %s to %s: %zu field%s, %zu index%s\n",
                 a.positional[1].c_str(), path.c_str(), fields.size(),
                 fields.size() == 1 ? "" : "s", indexes.size(), indexes.size() == 1 ? "" : "es");
    return kExitOk;
}

}  // namespace tarn::cli
