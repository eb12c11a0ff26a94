// The rows of one table as the listing commands (dump, query, count, update, delete, export)
// see them: in the key order of an index or physically, narrowed by a filter expression, each
// row read as UTF-8 cells (value_text.h) with an error that names the table, the record and
// the field when a value cannot be read. Also the lookup of field names given on the command
// line and an ordering of values by their type (numbers by value, strings by the collation
// that string indexes use, dates and times by time).
//
// Used on one thread; the table must stay open while a TTableView is used. Errors: EToolError
// naming what is wrong (an unknown index or field lists the known ones; a bad filter repeats
// the filter with the engine's words).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "tarndb/table.h"
#include "tools/cli_common.h"
#include "tools/record_buffer.h"

namespace tarn::cli {

// Lists the rows in the key order of the index `utf8Name` (the name as given; the table's
// name as given for the message).
void SelectIndex(TTarnTable& table, const std::string& utf8Name, const std::string& tableArg);
// Keeps only the rows for which `utf8Filter` holds; a progress bar on a large table.
void ApplyFilter(TToolContext& ctx, TTarnTable& table, const std::string& utf8Filter);

// A value as it orders: integers (booleans, dates and times too) by value, floats by value
// with NaN below all, strings and memos by the collation, binary blobs by their bytes.
using TSortValue = std::variant<int64_t, double, std::string>;
// -1, 0 or 1. Values of one field are always of one alternative.
int CompareSortValues(const TSortValue& a, const TSortValue& b);

class TTableView {
public:
    explicit TTableView(TTarnTable& table);
    TTarnTable& Table() { return table_; }
    int FieldCount() const { return record_.FieldCount(); }
    TFieldType FieldType(int field) const { return record_.FieldType(field); }
    bool IsBlob(int field) const { return record_.IsBlob(field); }
    // The field's name as UTF-8.
    const std::string& Name(int field) const { return names_.at(static_cast<size_t>(field)); }
    const std::vector<std::string>& Names() const { return names_; }
    // The field called `utf8Name` (letter case ignored); EToolError listing the fields when
    // there is none. `what` says where the name came from ("--order-by").
    int RequireField(const std::string& utf8Name, const std::string& what) const;
    // A comma list of field names, each required.
    std::vector<int> RequireFields(const std::string& utf8List, const std::string& what) const;

    // Rows in view (after the filter).
    int Count() { return table_.RecordCount(); }
    // Moves to the row `recNo` (1-based) of the view; errors name the record.
    void Go(int recNo);
    // The text of a field of the current row.
    std::string Cell(int field);
    // The stored bytes of a blob field of the current row.
    std::string BlobBytes(int field);
    // The ordering value of a field of the current row.
    TSortValue SortValue(int field);
    // Where the current row lies, for messages: "table 'T', record N".
    std::string Where();
    TToolRecord& Record() { return record_; }

private:
    [[noreturn]] void ReadFailed(int field, const std::exception& e);
    TTarnTable& table_;
    TToolRecord record_;
    std::vector<std::string> names_;
    int recNo_ = 0;
};

}  // namespace tarn::cli
