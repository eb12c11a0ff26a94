#include "tools/table_view.h"

#include <cmath>
#include <cstring>

#include "platform/bytes.h"
#include "platform/dataset/names.h"
#include "platform/text/collation.h"
#include "tarndb/errors.h"
#include "tarndb/table_rows.h"
#include "tools/open_database.h"
#include "tools/terminal.h"
#include "tools/value_text.h"

namespace tarn::cli {

namespace b = tarn::bytes;

void SelectIndex(TTarnTable& view, const std::string& utf8Name, const std::string& tableArg) {
    std::string name = ToStored(utf8Name, "the index name");
    std::string found;
    std::string known;
    for (int i = 0; i < view.IndexDefs().Count(); ++i) {
        const std::string& n = view.IndexDefs()[i].Name();
        if (found.empty() && SameName(n, name)) found = n;
        known += (known.empty() ? "" : ", ") + ToTerminal(n);
    }
    if (found.empty())
        throw EToolError("table " + tableArg + " has no index '" + utf8Name + "'" +
                         (known.empty() ? " (it has no indexes)" : " (indexes: " + known + ")"));
    view.SetIndexName(found);
}

void ApplyFilter(TToolContext& ctx, TTarnTable& view, const std::string& utf8Filter) {
    TProgressBar progress(ctx.err, ctx.ShowProgress() && view.RecordCount() > 10000, "filter", 100);
    view.OnFilterProgress = [&progress](TTarnTable&, int percent) { progress.Update(percent); };
    try {
        view.SetFilter(ToStored(utf8Filter, "the filter"));
        view.SetFiltered(true);
    } catch (const Exception& e) {
        view.OnFilterProgress = nullptr;
        throw EToolError("the filter '" + utf8Filter +
                         "': " + EngineMessageToTerminal(e.Message()));
    }
    view.OnFilterProgress = nullptr;
}

int CompareSortValues(const TSortValue& a, const TSortValue& b) {
    if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
    if (const auto* x = std::get_if<int64_t>(&a)) {
        int64_t y = std::get<int64_t>(b);
        return *x < y ? -1 : (*x > y ? 1 : 0);
    }
    if (const auto* x = std::get_if<double>(&a)) {
        double y = std::get<double>(b);
        bool nx = std::isnan(*x), ny = std::isnan(y);
        if (nx || ny) return nx == ny ? 0 : (nx ? -1 : 1);
        return *x < y ? -1 : (*x > y ? 1 : 0);
    }
    return TCollator::Default().Compare(std::get<std::string>(a), std::get<std::string>(b),
                                        TCaseRule::Exact);
}

TTableView::TTableView(TTarnTable& table) : table_(table), record_(table) {
    for (int i = 0; i < record_.FieldCount(); ++i)
        names_.push_back(ToTerminal(record_.FieldName(i)));
}

int TTableView::RequireField(const std::string& utf8Name, const std::string& what) const {
    std::string stored = ToStored(utf8Name, "a field name");
    for (int i = 0; i < record_.FieldCount(); ++i)
        if (SameName(record_.FieldName(i), stored)) return i;
    std::string known;
    for (const std::string& n : names_) known += (known.empty() ? "" : ", ") + n;
    throw EToolError(what + ": the table " + ToTerminal(table_.TableName()) + " has no field '" +
                     utf8Name + "' (fields: " + known + ")");
}

std::vector<int> TTableView::RequireFields(const std::string& utf8List,
                                           const std::string& what) const {
    std::vector<int> fields;
    size_t start = 0;
    while (true) {
        size_t comma = utf8List.find(',', start);
        std::string name =
            utf8List.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        while (!name.empty() && name.front() == ' ') name.erase(0, 1);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty()) throw UsageError(what + " names an empty field: '" + utf8List + "'");
        fields.push_back(RequireField(name, what));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

std::string TTableView::Where() {
    try {
        return "table '" + ToTerminal(table_.TableName()) + "', record " +
               std::to_string(RecordNumberOf(table_, recNo_));
    } catch (const Exception&) {
        return "table '" + ToTerminal(table_.TableName()) + "'";
    }
}

void TTableView::Go(int recNo) {
    // A value that cannot be read stops the command with the place it lies in, as `check`
    // names it.
    try {
        if (recNo == 1)
            table_.First();
        else if (recNo == recNo_ + 1)
            table_.Next();
        else
            table_.SetRecNo(recNo);
    } catch (const Exception& e) {
        recNo_ = recNo;
        throw EToolError(Where() + ": " + ReadFailureText(e));
    }
    recNo_ = recNo;
}

void TTableView::ReadFailed(int field, const std::exception& e) {
    // The engine's errors, and the memory a damaged length asked for.
    throw EToolError(Where() + ", field '" + Name(field) + "': " + ReadFailureText(e));
}

std::string TTableView::Cell(int field) {
    TFieldType type = record_.FieldType(field);
    try {
        return record_.IsBlob(field) ? FormatBlob(type, record_.CurrentBlobValue(field))
                                     : FormatValue(type, record_.CurrentValue(field));
    } catch (const std::exception& e) {
        ReadFailed(field, e);
    }
}

std::string TTableView::BlobBytes(int field) {
    try {
        return record_.CurrentBlobValue(field);
    } catch (const std::exception& e) {
        ReadFailed(field, e);
    }
}

TSortValue TTableView::SortValue(int field) {
    TFieldType type = record_.FieldType(field);
    try {
        if (record_.IsBlob(field)) return record_.CurrentBlobValue(field);
        std::span<const uint8_t> v = record_.CurrentValue(field);
        switch (type) {
            case ftString:
            case ftFixedChar: {
                const void* nul = std::memchr(v.data(), 0, v.size());
                size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v.data())
                                 : v.size();
                return std::string(reinterpret_cast<const char*>(v.data()), len);
            }
            case ftSmallint:
                return int64_t{b::GetI16(v, 0)};
            case ftWord:
            case ftBoolean:
                return int64_t{b::GetU16(v, 0)};
            case ftInteger:
            case ftAutoInc:
            case ftDate:
            case ftTime:
                return int64_t{b::GetI32(v, 0)};
            case ftLargeint:
                return int64_t{b::GetI64(v, 0)};
            case ftFloat:
            case ftCurrency:
            case ftDateTime:
                return b::GetF64(v, 0);
            default:
                return std::string(reinterpret_cast<const char*>(v.data()), v.size());
        }
    } catch (const std::exception& e) {
        ReadFailed(field, e);
    }
}

}  // namespace tarn::cli
