// tarndb dump FILE TABLE [--index NAME] [--filter EXPR] [--format table|csv|json]
#include <cmath>

#include "platform/dataset/names.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tarndb/table_rows.h"
#include "tools/commands.h"
#include "tools/csv.h"
#include "tools/open_database.h"
#include "tools/record_buffer.h"
#include "tools/terminal.h"
#include "tools/text_table.h"
#include "tools/value_text.h"

namespace tarn::cli {

namespace {

enum class Format { Table, Csv, Json };

// Rows the table format holds to size its columns before it starts printing.
constexpr size_t kTableSizingRows = 1000;

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
    return out;
}

// A value as JSON: numbers and booleans bare, empty dates and times null, the rest strings.
std::string JsonValue(TFieldType type, const std::string& text) {
    switch (type) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
            return text;
        case ftBoolean:
            return text;  // true / false
        case ftFloat:
        case ftCurrency:
            return (text == "nan" || text == "inf" || text == "-inf") ? "null" : text;
        case ftDate:
        case ftTime:
        case ftDateTime:
            return text.empty() ? "null" : JsonString(text);
        default:
            return JsonString(text);
    }
}

}  // namespace

int RunDump(TToolContext& ctx) {
    TParsedArgs a = ParseArgs(ctx.args, {"index", "filter", "format"}, {});
    RequirePositional(a, {"FILE", "TABLE"});
    Format format = Format::Table;
    std::string f = a.Value("format");
    if (f == "csv")
        format = Format::Csv;
    else if (f == "json")
        format = Format::Json;
    else if (!f.empty() && f != "table")
        throw UsageError("unknown format '" + f + "' (known: table, csv, json)");
    TOpenedDatabase db(ctx, a.positional[0], true);
    std::unique_ptr<TTarnTable> table = db.NewTable(db.RequireTable(a.positional[1]));
    TTarnTable& view = *table;
    // The table component lists the rows: in physical order, in the key order of the index
    // named, and only those the filter keeps.
    TOpenedDatabase::OpenTable(view);
    if (a.Has("index")) {
        std::string name = ToStored(a.Value("index"), "the index name");
        std::string found;
        std::string known;
        for (int i = 0; i < view.IndexDefs().Count(); ++i) {
            const std::string& n = view.IndexDefs()[i].Name();
            if (found.empty() && SameName(n, name)) found = n;
            known += (known.empty() ? "" : ", ") + ToTerminal(n);
        }
        if (found.empty())
            throw EToolError(
                "table " + a.positional[1] + " has no index '" + a.Value("index") + "'" +
                (known.empty() ? " (it has no indexes)" : " (indexes: " + known + ")"));
        view.SetIndexName(found);
    }
    if (a.Has("filter")) {
        TProgressBar progress(ctx.err, ctx.ShowProgress() && view.RecordCount() > 10000, "filter",
                              100);
        view.OnFilterProgress = [&progress](TTarnTable&, int percent) { progress.Update(percent); };
        try {
            view.SetFilter(ToStored(a.Value("filter"), "the filter"));
            view.SetFiltered(true);
        } catch (const Exception& e) {
            throw EToolError("the filter '" + a.Value("filter") +
                             "': " + EngineMessageToTerminal(e.Message()));
        }
        view.OnFilterProgress = nullptr;
    }

    TToolRecord record(view);
    std::vector<std::string> names;
    for (int i = 0; i < record.FieldCount(); ++i) names.push_back(ToTerminal(record.FieldName(i)));
    FILE* out = ctx.out;
    TTextTable grid(out, names);
    if (format == Format::Csv) {
        std::string line;
        for (size_t i = 0; i < names.size(); ++i) line += (i ? "," : "") + CsvField(names[i]);
        std::fprintf(out, "%s\n", line.c_str());
    } else if (format == Format::Json) {
        std::fputs("[", out);
    }

    int count = view.RecordCount();
    TProgressBar progress(ctx.err, ctx.ShowProgress() && count > 10000, "dump", count);
    std::vector<std::string> cells(names.size());
    const std::string tableText = "table '" + ToTerminal(view.TableName()) + "', record ";
    for (int pos = 0; pos < count; ++pos) {
        // A value that cannot be read stops the dump with the place it lies in, as `check`
        // names it.
        std::string where = tableText + std::to_string(RecordNumberOf(view, pos + 1));
        try {
            if (pos == 0)
                view.First();
            else
                view.Next();
        } catch (const Exception& e) {
            throw EToolError(where + ": " + ReadFailureText(e));
        }
        for (int i = 0; i < record.FieldCount(); ++i) {
            TFieldType type = record.FieldType(i);
            try {
                cells[static_cast<size_t>(i)] = record.IsBlob(i)
                                                    ? FormatBlob(type, record.CurrentBlobValue(i))
                                                    : FormatValue(type, record.CurrentValue(i));
            } catch (const std::exception& e) {
                // The engine's errors, and the memory a damaged length asked for.
                throw EToolError(where + ", field '" + names[static_cast<size_t>(i)] +
                                 "': " + ReadFailureText(e));
            }
        }
        switch (format) {
            case Format::Table:
                grid.AddRow(cells);
                if (grid.HeldRows() >= kTableSizingRows) grid.Print();
                break;
            case Format::Csv: {
                std::string line;
                for (size_t i = 0; i < cells.size(); ++i)
                    line += (i ? "," : "") + CsvField(cells[i]);
                if (line.empty()) line = "\"\"";  // one empty field must not read as an empty line
                std::fprintf(out, "%s\n", line.c_str());
                break;
            }
            case Format::Json: {
                std::string obj = pos ? ",\n  {" : "\n  {";
                for (size_t i = 0; i < cells.size(); ++i)
                    obj += (i ? ", " : "") + JsonString(names[i]) + ": " +
                           JsonValue(record.FieldType(static_cast<int>(i)), cells[i]);
                obj += "}";
                std::fputs(obj.c_str(), out);
                break;
            }
        }
        progress.Update(pos + 1);
    }
    progress.Finish();
    if (format == Format::Table) {
        grid.Print();
        std::fprintf(out, "(%d record%s)\n", count, count == 1 ? "" : "s");
    } else if (format == Format::Json) {
        std::fputs(count ? "\n]\n" : "]\n", out);
    }
    return kExitOk;
}

}  // namespace tarn::cli
