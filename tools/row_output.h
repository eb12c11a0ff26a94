// Rows as the tool prints them: aligned columns for reading, CSV and TSV for other programs
// and JSON for scripts, with or without a header line; written to standard output or to a
// file named by --output. `dump` and `query` print through here, so a format reads the
// same whichever command made it.
//
// Formats (cells are the UTF-8 texts of value_text.h):
//   table  aligned columns under a header and a rule of dashes, then "(N records)" (both
//          left out without the header)
//   csv    RFC 4180 (csv.h); `import` reads it back
//   tsv    cells separated by tabs, one row a line; a tab, line break or backslash inside a
//          cell is written \t, \n, \r or \\ (a backslash doubled)
//   json   an array of objects, one per row, keyed by the column names; numbers and
//          booleans bare, empty dates and times null
//
// Errors: EToolError (usage) for an unknown format or header setting; EToolError when the
// output cannot be written (a full disk, a closed pipe), naming where it went.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tarndb/dataset/field_types.h"
#include "tools/text_table.h"

namespace tarn::cli {

enum class TOutputFormat { Table, Csv, Tsv, Json };

// "table", "csv", "tsv" or "json" ("" is table); a usage error names the known ones.
TOutputFormat ParseOutputFormat(const std::string& name);
// "on" or "off" ("" is on); a usage error otherwise.
bool ParseHeaderSetting(const std::string& value);

// A JSON string literal of UTF-8 text (control characters escaped).
std::string JsonString(std::string_view utf8);
// A value's text (value_text.h) as JSON: integers, numbers and booleans bare (a NaN or an
// infinity, which JSON cannot write, as null), empty dates and times null, the rest strings.
std::string JsonValue(TFieldType type, const std::string& text);
// A cell as TSV text (tabs, line breaks and backslashes escaped).
std::string TsvField(std::string_view value);

// Where the rows go: standard output, or the file given with --output (created or
// truncated). Finish() makes sure everything reached it and raises EToolError when not.
class TOutputTarget {
public:
    TOutputTarget(FILE* standardOutput, const std::string& path);
    ~TOutputTarget();
    TOutputTarget(const TOutputTarget&) = delete;
    TOutputTarget& operator=(const TOutputTarget&) = delete;
    FILE* File() const { return file_; }
    void Finish();

private:
    FILE* file_;
    std::string path_;  // empty for standard output
};

// Raises EToolError "cannot write to WHERE: <reason>" when `f` has seen a write error or
// cannot be flushed.
void CheckWritten(FILE* f, const std::string& where);

class TRowWriter {
public:
    // `types` gives each column's field type (for JSON's bare numbers): a computed number
    // (an aggregate) is ftFloat, plain text ftString.
    TRowWriter(FILE* out, TOutputFormat format, std::vector<std::string> names,
               std::vector<TFieldType> types, bool header);
    void Row(const std::vector<std::string>& cells);
    // The end: the table's held rows and its "(N records)" line, JSON's closing bracket.
    void Finish();

private:
    FILE* out_;
    TOutputFormat format_;
    std::vector<std::string> names_;
    std::vector<TFieldType> types_;
    TTextTable grid_;
    bool header_;
    int64_t rows_ = 0;
};

}  // namespace tarn::cli
