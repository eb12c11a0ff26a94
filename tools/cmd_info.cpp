// tarndb info FILE: the format version, the settings and every table with its fields,
// indexes and live record count.
#include "platform/bytes.h"
#include "tarndb/errors.h"
#include "tarndb/file_format.h"
#include "tarndb/file_io.h"
#include "tools/commands.h"
#include "tools/open_database.h"
#include "tools/schema_text.h"
#include "tools/text_table.h"

namespace tarn::cli {

int RunInfo(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {}, {});
    RequirePositional(a, {"FILE"});
    const std::string& path = a.positional[0];
    TOpenedDatabase db(ctx, path, false);
    TTarnDBFileIO& io = db.File();
    uint8_t head[format::kHeadSize];
    io.ReadAt(0, sizeof head, head);
    std::string version =
        bytes::GetName(head, format::kHeadVersionOffset, format::kHeadVersionSize);
    const format::DatabaseInfo& info = io.Info();
    FILE* out = ctx.out;
    std::fprintf(out, "file:               %s (%lld bytes)\n", path.c_str(),
                 static_cast<long long>(io.FileSize()));
    std::fprintf(out, "format version:     %s\n", ToTerminal(version).c_str());
    std::fprintf(out, "compression:        %s\n",
                 info.Compressed() ? ToTerminal(info.CompressModuleName()).c_str() : "none");
    if (info.Encrypted())
        std::fprintf(out, "encryption:         %s, mode %d\n",
                     ToTerminal(info.EncryptModuleName()).c_str(), info.EncryptMode());
    else
        std::fprintf(out, "encryption:         none\n");
    std::fprintf(out, "verify blob writes: %s\n", info.VerifyBlobWrites() ? "yes" : "no");
    std::vector<std::string> names = db.TableNames();
    std::fprintf(out, "tables:             %zu\n", names.size());

    int rc = kExitOk;
    for (const std::string& stored : names) {
        std::string name = ToTerminal(stored);
        std::fprintf(out, "\ntable %s\n", name.c_str());
        TTarnTableIO* table = nullptr;
        try {
            table = &db.OpenTable(name);
        } catch (const Exception& e) {
            std::fprintf(out, "  cannot be loaded: %s\n",
                         EngineMessageToTerminal(e.Message()).c_str());
            rc = kExitFailure;
            continue;
        }
        // What opening the table found in its index chains (left by a writer that died,
        // or damaged) and how the engine built its key order all the same.
        for (const std::string& finding : table->IndexRepair().findings)
            std::fprintf(out, "  note: %s\n", EngineMessageToTerminal(finding).c_str());
        const format::TableHeader& h = table->Header();
        int32_t live = table->RecordList(0).Count();
        int32_t total = h.RecordTotal();
        std::fprintf(out, "  records: %d live", live);
        if (total != live) std::fprintf(out, " (%d appended, %d deleted)", total, total - live);
        std::fprintf(out, "; record size %d bytes", table->RecordSize());
        if (table->AutoIncField() >= 0)
            std::fprintf(out, "; autoinc counter %d", h.AutoIncCounter());
        std::fputc('\n', out);
        std::fputc('\n', out);
        TTextTable fields(out, {"#", "field", "type", "size", "stored"}, 40, "  ");
        for (int i = 0; i < table->FieldCount(); ++i) {
            const TTarnFieldDef& f = table->FieldDefs()[i];
            fields.AddRow({std::to_string(i), ToTerminal(f.Name()), TypeName(f.FieldType),
                           format::IsStringType(f.FieldType) ? std::to_string(f.Size) : "",
                           f.StorePlain ? "plain" : ""});
        }
        fields.Print();
        if (table->IndexCount() > 0) {
            std::fputc('\n', out);
            TTextTable indexes(out, {"index", "options", "key fields"}, 40, "  ");
            for (int i = 0; i < table->IndexCount(); ++i) {
                const TTarnIndexDef& x = table->IndexDefs()[i];
                std::string keys;
                for (int32_t k : x.KeyFields)
                    keys += (keys.empty() ? "" : ", ") + ToTerminal(table->FieldDefs()[k].Name());
                indexes.AddRow({ToTerminal(x.Name()), IndexOptionsText(x.Options), keys});
            }
            indexes.Print();
        }
    }
    return rc;
}

}  // namespace tarn::cli
