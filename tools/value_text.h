// Field values as text: the tool's codec between a field's value bytes in record-buffer
// encoding (exactly the bytes of a file slot: little-endian integers, IEEE doubles,
// NUL-terminated strings in the data code page, day numbers for dates, milliseconds for
// times) and the UTF-8 text shown by `dump` and read by `import`.
//
// Text forms (the same for output and input, so a dump in CSV imports again unchanged):
//   string, fixedchar       the text (stored as GB18030; at most the declared size in bytes)
//   smallint, word,         decimal integers, range-checked for the type
//   integer, autoinc, largeint
//   boolean                 true / false (input also 1/0, yes/no, t/f, any letter case)
//   float, currency         decimal numbers ("1.5", "-2e10"); shortest text that reads back
//   date                    yyyy-mm-dd
//   time                    hh:mm:ss, with ".zzz" milliseconds when they are not zero
//   datetime                yyyy-mm-dd hh:mm:ss[.zzz] (input also "T" between, or a date)
//   memo, fmtmemo, oraclob  the text of the blob
//   other blob types        "0x" and the bytes in hex
// An empty text stands for the empty value: "", 0, false, no date (day 0, shown empty),
// midnight for a time (00:00:00: a time has no empty value); for an autoinc field 0 asks
// the engine for the next number. An empty binary blob is shown empty.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tarndb/dataset/field_types.h"

namespace tarn::cli {

// Whether a blob type's value is text (memo-like) rather than binary.
bool IsTextBlob(TFieldType type);

// The text of a non-blob value; `bytes` holds the field's whole value (slot size bytes).
std::string FormatValue(TFieldType type, std::span<const uint8_t> bytes);
// The text of a blob value (memo types converted to UTF-8, others as 0x-hex).
std::string FormatBlob(TFieldType type, std::string_view bytes);

// Reads `text` into `out` (the field's slot size bytes, fully overwritten). Returns false
// with `error` set (UTF-8, naming the value) when the text is no valid value of the type.
bool ParseValue(TFieldType type, std::string_view text, std::span<uint8_t> out, std::string& error);
bool ParseBlob(TFieldType type, std::string_view text, std::string& bytes, std::string& error);

}  // namespace tarn::cli
