// tarndb info FILE: the format version, the settings and every table with its fields,
// indexes and live record count.
#include "tarndb/database_info.h"
#include "tools/commands.h"
#include "tools/open_database.h"
#include "tools/row_output.h"
#include "tools/schema_json.h"
#include "tools/schema_text.h"
#include "tools/text_table.h"

namespace tarn::cli {

namespace {

// info --format json: one object for scripts, with the names and forms of export.
int PrintInfoJson(FILE* out, const std::string& path, const TDatabaseInfo& info) {
    int rc = kExitOk;
    std::string s = "{\"file\": " + JsonString(path) +
                    ", \"size\": " + std::to_string(info.fileSize) +
                    ", \"formatVersion\": " + JsonString(ToTerminal(info.formatVersion)) +
                    ",\n \"settings\": " + SettingsJson(info) + ",\n \"tables\": [";
    for (size_t t = 0; t < info.tables.size(); ++t) {
        const TTableInfo& ti = info.tables[t];
        s += std::string(t ? ",\n" : "\n") + "  {\"name\": " + JsonString(ToTerminal(ti.name));
        if (!ti.loadError.empty()) {
            s += ", \"error\": " + JsonString(EngineMessageToTerminal(ti.loadError)) + "}";
            rc = kExitFailure;
            continue;
        }
        s += ", \"records\": " + std::to_string(ti.liveRecords) +
             ", \"appended\": " + std::to_string(ti.recordTotal) +
             ", \"recordSize\": " + std::to_string(ti.recordSize);
        if (ti.hasAutoInc) s += ", \"autoincCounter\": " + std::to_string(ti.autoIncCounter);
        s += ",\n   \"fields\": [";
        for (size_t i = 0; i < ti.fields.size(); ++i)
            s += (i ? ", " : "") + FieldJson(ti.fields[i]);
        s += "],\n   \"indexes\": [";
        for (size_t i = 0; i < ti.indexes.size(); ++i)
            s += (i ? ", " : "") + IndexJson(ti.indexes[i]);
        s += "]";
        if (!ti.repairNotes.empty()) {
            s += ",\n   \"notes\": [";
            for (size_t i = 0; i < ti.repairNotes.size(); ++i)
                s += (i ? ", " : "") + JsonString(EngineMessageToTerminal(ti.repairNotes[i]));
            s += "]";
        }
        s += "}";
    }
    s += info.tables.empty() ? "]}\n" : "\n ]}\n";
    std::fputs(s.c_str(), out);
    return rc;
}

}  // namespace

int RunInfo(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"format"}, {});
    RequirePositional(a, {"FILE"});
    const std::string format = a.Value("format");
    if (!format.empty() && format != "text" && format != "json")
        throw UsageError("unknown format '" + format + "' (known: text, json)");
    const std::string& path = a.positional[0];
    TOpenedDatabase db(ctx, path, false);
    TDatabaseInfo info = ReadDatabaseInfo(db.Database());
    FILE* out = ctx.out;
    if (format == "json") return PrintInfoJson(out, path, info);
    std::fprintf(out, "file:               %s (%lld bytes)\n", path.c_str(),
                 static_cast<long long>(info.fileSize));
    std::fprintf(out, "format version:     %s\n", ToTerminal(info.formatVersion).c_str());
    std::fprintf(out, "compression:        %s\n",
                 info.compressed ? ToTerminal(info.compressModule).c_str() : "none");
    if (info.encrypted)
        std::fprintf(out, "encryption:         %s, mode %d\n",
                     ToTerminal(info.encryptModule).c_str(), info.encryptMode);
    else
        std::fprintf(out, "encryption:         none\n");
    std::fprintf(out, "verify blob writes: %s\n", info.verifyBlobWrites ? "yes" : "no");
    std::fprintf(out, "tables:             %zu\n", info.tables.size());

    int rc = kExitOk;
    for (const TTableInfo& table : info.tables) {
        std::string name = ToTerminal(table.name);
        std::fprintf(out, "\ntable %s\n", name.c_str());
        if (!table.loadError.empty()) {
            // A header that cannot be read is damage, and says so as `check` does.
            std::string why = EngineMessageToTerminal(table.loadError);
            if (why.find(" is damaged") == std::string::npos && why != "Wait for unlock time out")
                why = "the file is damaged: " + why;
            std::fprintf(out, "  cannot be loaded: %s\n", why.c_str());
            rc = kExitFailure;
            continue;
        }
        // What opening the table found in its index chains (left by a writer that died,
        // or damaged) and how the engine built its key order all the same.
        for (const std::string& finding : table.repairNotes)
            std::fprintf(out, "  note: %s\n", EngineMessageToTerminal(finding).c_str());
        int32_t live = table.liveRecords;
        int32_t total = table.recordTotal;
        std::fprintf(out, "  records: %d live", live);
        if (total != live) std::fprintf(out, " (%d appended, %d deleted)", total, total - live);
        std::fprintf(out, "; record size %d bytes", table.recordSize);
        if (table.hasAutoInc) std::fprintf(out, "; autoinc counter %d", table.autoIncCounter);
        std::fputc('\n', out);
        std::fputc('\n', out);
        TTextTable fields(out, {"#", "field", "type", "size", "stored"}, 40, "  ");
        for (size_t i = 0; i < table.fields.size(); ++i) {
            const TFieldInfo& f = table.fields[i];
            fields.AddRow({std::to_string(i), ToTerminal(f.name), TypeName(f.type),
                           IsStringType(f.type) ? std::to_string(f.size) : "",
                           f.storePlain ? "plain" : ""});
        }
        fields.Print();
        if (!table.indexes.empty()) {
            std::fputc('\n', out);
            TTextTable indexes(out, {"index", "options", "key fields"}, 40, "  ");
            for (const TIndexInfo& x : table.indexes) {
                std::string keys;
                for (const std::string& k : x.keyFields)
                    keys += (keys.empty() ? "" : ", ") + ToTerminal(k);
                indexes.AddRow({ToTerminal(x.name), IndexOptionsText(x.options), keys});
            }
            indexes.Print();
        }
    }
    return rc;
}

}  // namespace tarn::cli
