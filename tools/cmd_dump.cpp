// tarndb dump FILE TABLE [--index NAME] [--filter EXPR] [--format table|csv|json]
#include <cmath>

#include "tarndb/errors.h"
#include "platform/dataset/names.h"
#include "tarndb/file_format.h"
#include "tarndb/table.h"
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
std::string JsonValue(uint8_t type, const std::string& text) {
    switch (type) {
        case 2:
        case 3:
        case 4:
        case 14:
        case 25:
            return text;
        case 5:
            return text;  // true / false
        case 6:
        case 7:
            return (text == "nan" || text == "inf" || text == "-inf") ? "null" : text;
        case 9:
        case 10:
        case 11:
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
    TTarnTableIO& table = db.OpenTable(a.positional[1]);
    int list = 0;
    if (a.Has("index")) {
        std::string name = ToStored(a.Value("index"), "the index name");
        for (int i = 0; i < table.IndexCount() && list == 0; ++i)
            if (SameName(table.IndexDefs()[i].Name(), name)) list = i + 1;
        if (list == 0) {
            std::string known;
            for (int i = 0; i < table.IndexCount(); ++i)
                known += (known.empty() ? "" : ", ") + ToTerminal(table.IndexDefs()[i].Name());
            throw EToolError(
                "table " + a.positional[1] + " has no index '" + a.Value("index") + "'" +
                (known.empty() ? " (it has no indexes)" : " (indexes: " + known + ")"));
        }
    }

    // With a filter, the table component picks the rows (in the order of the index, when one
    // is named); they are then read through the physical list like every other dump.
    std::vector<int32_t> picked;
    const bool filtered = a.Has("filter");
    if (filtered) {
        TTarnTable view(nullptr, "");
        view.SetDatabaseName(db.Database().DatabaseName());
        view.SetTableName(table.TableName());
        if (list > 0) view.SetIndexName(table.IndexDefs()[list - 1].Name());
        view.SetFilter(ToStored(a.Value("filter"), "the filter"));
        view.SetFiltered(true);
        TProgressBar progress(ctx.err, ctx.ShowProgress() && table.RecordList(list).Count() > 10000,
                              "filter", 100);
        view.OnFilterProgress = [&progress](TTarnTable&, int percent) { progress.Update(percent); };
        try {
            view.Open();
        } catch (const Exception& e) {
            throw EToolError("the filter '" + a.Value("filter") +
                             "': " + EngineMessageToTerminal(e.Message()));
        }
        const TRecordList* rows = view.ViewList();
        for (int i = 0; rows && i < rows->Count(); ++i) picked.push_back(rows->At(i).recNo);
        view.Close();
    }

    TToolRecord record(table);
    std::vector<std::string> names;
    for (int i = 0; i < table.FieldCount(); ++i)
        names.push_back(ToTerminal(table.FieldDefs()[i].Name()));
    FILE* out = ctx.out;
    TTextTable grid(out, names);
    if (format == Format::Csv) {
        std::string line;
        for (size_t i = 0; i < names.size(); ++i) line += (i ? "," : "") + CsvField(names[i]);
        std::fprintf(out, "%s\n", line.c_str());
    } else if (format == Format::Json) {
        std::fputs("[", out);
    }

    int count = filtered ? static_cast<int>(picked.size()) : table.RecordList(list).Count();
    TProgressBar progress(ctx.err, ctx.ShowProgress() && count > 10000, "dump", count);
    std::vector<std::string> cells(names.size());
    for (int pos = 0; pos < count; ++pos) {
        int32_t recNo =
            filtered ? picked[static_cast<size_t>(pos)] : table.RecordList(list).At(pos).recNo;
        // A value that cannot be read stops the dump with the place it lies in, as `check`
        // names it.
        std::string where =
            "table '" + ToTerminal(table.TableName()) + "', record " + std::to_string(recNo);
        try {
            if (filtered)
                record.Fetch(0, table.RecordList(0).LowerBoundRecNo(recNo));
            else
                record.Fetch(list, pos);
        } catch (const Exception& e) {
            throw EToolError(where + ": " + EngineMessageToTerminal(e.Message()));
        }
        for (int i = 0; i < record.FieldCount(); ++i) {
            uint8_t type = record.FieldType(i);
            try {
                cells[static_cast<size_t>(i)] = record.IsBlob(i)
                                                    ? FormatBlob(type, record.BlobValue(i))
                                                    : FormatValue(type, record.Value(i));
            } catch (const std::exception& e) {
                // The engine's errors, and the memory a damaged length asked for.
                throw EToolError(where + ", field '" + names[static_cast<size_t>(i)] +
                                 "': " + EngineMessageToTerminal(e.what()));
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
