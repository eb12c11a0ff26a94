// tarndb export DB: the whole database as one JSON document; tarndb restore FILE NEW.tdb:
// a new database built from one.
//
// The document (UTF-8):
//   {"format": "tarndb export", "version": 1,
//    "settings": {...},                              (schema_json.h; never the password)
//    "tables": [{"name": "T", "fields": [...], "indexes": [...], "autoincCounter": N,
//                "rows": [[v1, v2, ...], ...]}, ...]}
// A row holds every field in field order: integers, floats and booleans bare (a NaN or an
// infinity as the string "nan", "inf" or "-inf"), strings, memos, dates and times as the
// texts dump shows ("" for no date), binary blobs in base64. Live rows only, in physical
// order; autoinc values are kept.
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

#include "platform/os/env.h"
#include "tarndb/creator.h"
#include "tarndb/database.h"
#include "tarndb/database_info.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tools/base64.h"
#include "tools/commands.h"
#include "tools/json_value.h"
#include "tools/open_database.h"
#include "tools/row_output.h"
#include "tools/schema_json.h"
#include "tools/schema_text.h"
#include "tools/table_view.h"
#include "tools/terminal.h"
#include "tools/value_text.h"

namespace tarn::cli {

namespace {

constexpr char kFormatName[] = "tarndb export";
constexpr int kFormatVersion = 1;

// A value of the current row as export writes it.
std::string ExportValue(TTableView& view, int field) {
    TFieldType type = view.FieldType(field);
    if (view.IsBlob(field) && !IsTextBlob(type))
        return JsonString(Base64Encode(view.BlobBytes(field)));
    std::string text = view.Cell(field);
    switch (type) {
        case ftFloat:
        case ftCurrency:
            return (text == "nan" || text == "inf" || text == "-inf") ? JsonString(text) : text;
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
        case ftBoolean:
            return text;
        default:
            return JsonString(text);
    }
}

// --- restore: reading the document, each part checked with its place named.

class TExportReader {
public:
    explicit TExportReader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void Bad(const std::string& where, const std::string& what) const {
        throw EToolError(source_ + ": " + where + ": " + what);
    }
    const TJsonValue& Member(const TJsonValue& object, const char* key, TJsonValue::Kind kind,
                             const std::string& where, bool optional = false) const {
        static const TJsonValue none;
        const TJsonValue* v = object.Find(key);
        if (v == nullptr) {
            if (optional) return none;
            Bad(where, std::string("\"") + key + "\" is missing");
        }
        if (v->kind != kind && !(optional && v->kind == TJsonValue::Kind::Null)) {
            TJsonValue wanted;
            wanted.kind = kind;
            Bad(where,
                std::string("\"") + key + "\" is " + v->KindName() + ", not " + wanted.KindName());
        }
        return *v;
    }
    int Int(const TJsonValue& v, const std::string& where, int lo, int hi) const {
        int n = 0;
        auto [end, ec] = std::from_chars(v.text.data(), v.text.data() + v.text.size(), n);
        if (v.kind != TJsonValue::Kind::Number || ec != std::errc() ||
            end != v.text.data() + v.text.size() || n < lo || n > hi)
            Bad(where, "'" + v.text + "' is not a whole number from " + std::to_string(lo) +
                           " to " + std::to_string(hi));
        return n;
    }

    TDatabaseSettings Settings(const TJsonValue& doc) const {
        const std::string where = "settings";
        const TJsonValue& s = Member(doc, "settings", TJsonValue::Kind::Object, "the document");
        TDatabaseSettings settings;
        const TJsonValue& c = Member(s, "compression", TJsonValue::Kind::String, where, true);
        if (c.kind == TJsonValue::Kind::String) {
            if (c.text != "zlib") Bad(where, "unknown compression '" + c.text + "' (known: zlib)");
            settings.compressed = true;
            settings.compressModule = "ZLIB";
        }
        const TJsonValue& e = Member(s, "encryption", TJsonValue::Kind::Object, where, true);
        if (e.kind == TJsonValue::Kind::Object) {
            const std::string cipher =
                Member(e, "cipher", TJsonValue::Kind::String, where + ", encryption").text;
            if (cipher == "blowfish")
                settings.encryptModule = "Blowfish";
            else if (cipher == "twofish")
                settings.encryptModule = "Twofish";
            else if (cipher == "gost")
                settings.encryptModule = "Gost";
            else
                Bad(where, "unknown cipher '" + cipher + "' (known: blowfish, twofish, gost)");
            settings.encrypted = true;
            settings.encryptMode = static_cast<uint8_t>(
                Int(Member(e, "mode", TJsonValue::Kind::Number, where + ", encryption"),
                    where + ", encryption mode", 0, 4));
        }
        const TJsonValue& v = Member(s, "verifyBlobWrites", TJsonValue::Kind::Bool, where, true);
        settings.verifyBlobWrites = v.text == "true";
        return settings;
    }

    // A table's name, fields and indexes.
    void Definition(const TJsonValue& table, const std::string& where, std::string& name,
                    std::vector<TFieldDefinition>& fields,
                    std::vector<TIndexDefinition>& indexes) const {
        name =
            ToStored(Member(table, "name", TJsonValue::Kind::String, where).text, "a table name");
        for (const TJsonValue& f : Member(table, "fields", TJsonValue::Kind::Array, where).items) {
            std::string at = where + ", field " + std::to_string(fields.size() + 1);
            if (f.kind != TJsonValue::Kind::Object) Bad(at, "a field is an object");
            TFieldDefinition d;
            d.name = ToStored(Member(f, "name", TJsonValue::Kind::String, at).text, "a field name");
            const std::string& type = Member(f, "type", TJsonValue::Kind::String, at).text;
            d.type = TypeFromName(type);
            if (d.type == ftUnknown)
                Bad(at, "unknown type '" + type + "' (known: " + TypeNameList() + ")");
            if (IsStringType(d.type))
                d.size =
                    Int(Member(f, "size", TJsonValue::Kind::Number, at), at + ", size", 1, 1 << 20);
            d.storePlain = Member(f, "plain", TJsonValue::Kind::Bool, at, true).text == "true";
            fields.push_back(std::move(d));
        }
        const TJsonValue& xs = Member(table, "indexes", TJsonValue::Kind::Array, where, true);
        for (const TJsonValue& x : xs.items) {
            std::string at = where + ", index " + std::to_string(indexes.size() + 1);
            if (x.kind != TJsonValue::Kind::Object) Bad(at, "an index is an object");
            TIndexDefinition d;
            d.name =
                ToStored(Member(x, "name", TJsonValue::Kind::String, at).text, "an index name");
            try {
                d.options = ParseIndexOptions(
                    Member(x, "options", TJsonValue::Kind::String, at).text, source_ + ": " + at);
            } catch (const EToolError& e) {
                throw EToolError(e.Message());  // damage in the file, not a usage error
            }
            for (const TJsonValue& k : Member(x, "fields", TJsonValue::Kind::Array, at).items) {
                if (k.kind != TJsonValue::Kind::String) Bad(at, "a key field is a name (a string)");
                d.keyFields.push_back(ToStored(k.text, "a key field name"));
            }
            indexes.push_back(std::move(d));
        }
    }

private:
    std::string source_;
};

std::string ReadWholeInput(const std::string& path, const std::string& name) {
    FILE* f = stdin;
    if (path != "-") {
        RequireRegularFile(path);
        f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) throw EToolError("cannot open " + path + ": " + std::strerror(errno));
    }
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    bool failed = std::ferror(f) != 0;
    int err = errno;
    if (f != stdin) std::fclose(f);
    if (failed) throw EToolError("cannot read " + name + ": " + std::strerror(err));
    return text;
}

// Removes a database restore made and did not finish, with the journal it may have left.
void RemovePartial(const std::string& path) {
    CurrentEnv()->RemoveFile(path + "-journal");
    CurrentEnv()->RemoveFile(path);
}

}  // namespace

int RunExport(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"output"}, {});
    RequirePositional(a, {"FILE"});
    const std::string& path = a.positional[0];
    TOpenedDatabase db(ctx, path, true, true);
    // One read transaction: every table as of one commit.
    db.Database().StartReadTransaction();
    TDatabaseInfo info = ReadDatabaseInfo(db.Database());
    TOutputTarget target(ctx.out, a.Value("output"));
    FILE* out = target.File();
    std::fprintf(out, "{\"format\": \"%s\", \"version\": %d,\n \"settings\": %s,\n \"tables\": [",
                 kFormatName, kFormatVersion, SettingsJson(info).c_str());
    for (size_t t = 0; t < info.tables.size(); ++t) {
        const TTableInfo& ti = info.tables[t];
        if (!ti.loadError.empty())
            throw EToolError("table '" + ToTerminal(ti.name) + "' cannot be loaded: " +
                             EngineMessageToTerminal(ti.loadError) + "; nothing exported");
        std::string head = std::string(t ? ",\n" : "\n") +
                           "  {\"name\": " + JsonString(ToTerminal(ti.name)) +
                           ",\n   \"fields\": [";
        for (size_t i = 0; i < ti.fields.size(); ++i)
            head += (i ? ", " : "") + FieldJson(ti.fields[i]);
        head += "],\n   \"indexes\": [";
        for (size_t i = 0; i < ti.indexes.size(); ++i)
            head += (i ? ", " : "") + IndexJson(ti.indexes[i]);
        head +=
            "],\n   \"autoincCounter\": " + std::to_string(ti.autoIncCounter) + ",\n   \"rows\": [";
        std::fputs(head.c_str(), out);
        std::unique_ptr<TTarnTable> table = db.NewTable(ti.name);
        TOpenedDatabase::OpenTable(*table);
        TTableView view(*table);
        int count = view.Count();
        TProgressBar progress(ctx.err, ctx.ShowProgress() && count > 10000,
                              "export " + ToTerminal(ti.name), count);
        std::string line;
        for (int pos = 1; pos <= count; ++pos) {
            view.Go(pos);
            line = pos == 1 ? "\n    [" : ",\n    [";
            for (int i = 0; i < view.FieldCount(); ++i)
                line += (i ? ", " : "") + ExportValue(view, i);
            line += ']';
            std::fputs(line.c_str(), out);
            progress.Update(pos);
        }
        std::fputs(count ? "\n   ]}" : "]}", out);
    }
    std::fputs(info.tables.empty() ? "]}\n" : "\n ]}\n", out);
    db.Database().EndReadTransaction();
    target.Finish();
    return kExitOk;
}

int RunRestore(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {}, {});
    RequirePositional(a, {"FILE", "NEW"});
    const std::string& input = a.positional[0];
    const std::string& path = a.positional[1];
    const std::string source = input == "-" ? "standard input" : input;
    if (CurrentEnv()->FileExists(path))
        throw EToolError(path + " exists already; restore makes new files only");
    TJsonValue doc = ParseJson(ReadWholeInput(input, source), source);
    TExportReader reader(source);
    if (doc.kind != TJsonValue::Kind::Object || doc.Find("format") == nullptr ||
        doc.Find("format")->text != kFormatName)
        throw EToolError(source + " is not a database export of tarndb (made by tarndb export)");
    int version =
        reader.Int(reader.Member(doc, "version", TJsonValue::Kind::Number, "the document"),
                   "version", 1, 1 << 30);
    if (version != kFormatVersion)
        throw EToolError(source + " is an export of version " + std::to_string(version) +
                         "; this tarndb reads version " + std::to_string(kFormatVersion));
    TDatabaseSettings settings = reader.Settings(doc);
    const std::vector<TJsonValue>& tables =
        reader.Member(doc, "tables", TJsonValue::Kind::Array, "the document").items;
    struct TTableDef {
        std::string name;
        std::vector<TFieldDefinition> fields;
        std::vector<TIndexDefinition> indexes;
        const std::vector<TJsonValue>* rows;
        std::string where;
    };
    std::vector<TTableDef> defs;
    for (size_t t = 0; t < tables.size(); ++t) {
        TTableDef d;
        d.where = "table " + std::to_string(t + 1);
        if (tables[t].kind != TJsonValue::Kind::Object) reader.Bad(d.where, "a table is an object");
        reader.Definition(tables[t], d.where, d.name, d.fields, d.indexes);
        d.where = "table '" + ToTerminal(d.name) + "'";
        d.rows = &reader.Member(tables[t], "rows", TJsonValue::Kind::Array, d.where).items;
        defs.push_back(std::move(d));
    }

    // The export names no password: the new database takes the one given now.
    if (settings.encrypted) settings.password = ObtainPassword(ctx, path, true);
    TTarnDBCreator::CreateDatabase(path, settings);
    int64_t total = 0;
    try {
        for (const TTableDef& d : defs) TTarnDBCreator::AddTable(path, d.name, d.fields, d.indexes);
        TOpenedDatabase db(ctx, path, true, false, settings.password);
        TTarnDatabase& database = db.Database();
        database.StartTransaction();
        try {
            for (const TTableDef& d : defs) {
                std::unique_ptr<TTarnTable> table = db.NewTable(d.name);
                TOpenedDatabase::OpenTable(*table);
                TTableView view(*table);
                TToolRecord& record = view.Record();
                TProgressBar progress(ctx.err, ctx.errIsTerminal && d.rows->size() > 10000,
                                      "restore " + ToTerminal(d.name),
                                      static_cast<int64_t>(d.rows->size()));
                std::string error, blob;
                for (size_t r = 0; r < d.rows->size(); ++r) {
                    const TJsonValue& row = (*d.rows)[r];
                    std::string at = d.where + ", row " + std::to_string(r + 1);
                    if (row.kind != TJsonValue::Kind::Array ||
                        row.items.size() != static_cast<size_t>(view.FieldCount()))
                        reader.Bad(at, "a row is an array of " + std::to_string(view.FieldCount()) +
                                           " values, one per field");
                    record.Clear();
                    for (int i = 0; i < view.FieldCount(); ++i) {
                        const TJsonValue& v = row.items[static_cast<size_t>(i)];
                        if (v.kind == TJsonValue::Kind::Array || v.kind == TJsonValue::Kind::Object)
                            reader.Bad(at, "the value of " + view.Name(i) + " is " + v.KindName());
                        TFieldType type = view.FieldType(i);
                        bool ok;
                        if (view.IsBlob(i) && !IsTextBlob(type)) {
                            ok = Base64Decode(v.text, blob);
                            if (!ok) error = "'" + v.text.substr(0, 60) + "' is not base64";
                            if (ok) record.SetBlobValue(i, blob);
                        } else if (view.IsBlob(i)) {
                            ok = ParseBlob(type, v.text, blob, error);
                            if (ok) record.SetBlobValue(i, blob);
                        } else {
                            ok = ParseValue(type, v.text, record.Value(i), error);
                        }
                        if (!ok) reader.Bad(at + ", field '" + view.Name(i) + "'", error);
                    }
                    table->Append();
                    try {
                        record.Store();
                        table->Post();
                    } catch (const Exception& e) {
                        table->Cancel();
                        reader.Bad(at, EngineMessageToTerminal(e.Message()));
                    }
                    ++total;
                    progress.Update(static_cast<int64_t>(r + 1));
                }
            }
            database.Commit();
        } catch (...) {
            try {
                database.Rollback();
            } catch (...) {
            }
            throw;
        }
    } catch (const EToolError& e) {
        RemovePartial(path);
        throw EToolError(e.Message() + "; " + path + " was not made", e.ExitCode());
    } catch (const Exception& e) {
        RemovePartial(path);
        throw EToolError(EngineMessageToTerminal(e.Message()) + "; " + path + " was not made");
    } catch (...) {
        RemovePartial(path);
        throw;
    }
    std::fprintf(ctx.out, "restored %zu table%s with %lld row%s into %s\n", defs.size(),
                 defs.size() == 1 ? "" : "s", static_cast<long long>(total), total == 1 ? "" : "s",
                 path.c_str());
    return kExitOk;
}

}  // namespace tarn::cli
