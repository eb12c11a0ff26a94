// One row of an open table as the tool holds it: each field's value bytes in record-buffer
// encoding (exactly the bytes of a file slot, as TField::GetData gives them natively:
// little-endian integers, IEEE doubles, NUL-terminated strings in the data code page, day
// numbers for dates, milliseconds for times) and each blob field's bytes.
//
// `import` fills a row from text and stores it into the row the table is inserting; `dump`
// reads the table's current row field by field. The table must stay open while the row is
// used. Errors: those of the table and its fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tarndb/dataset/field.h"
#include "tarndb/table.h"

namespace tarn::cli {

class TToolRecord {
public:
    explicit TToolRecord(TTarnTable& table);
    TToolRecord(const TToolRecord&) = delete;
    TToolRecord& operator=(const TToolRecord&) = delete;

    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TFieldType FieldType(int field) const { return Field(field).DataType(); }
    bool IsBlob(int field) const { return Field(field).IsBlob(); }
    const std::string& FieldName(int field) const { return Field(field).FieldName(); }

    // The held value bytes of a non-blob field (its slot size), to fill.
    std::span<uint8_t> Value(int field) { return values_.at(static_cast<size_t>(field)); }
    void SetBlobValue(int field, std::string bytes) {
        blobs_.at(static_cast<size_t>(field)) = std::move(bytes);
    }
    // Every held value empty: zero bytes, empty blobs.
    void Clear();
    // Puts the held values into the row the table is inserting or editing.
    void Store();
    // Puts the held value of one field into that row.
    void StoreField(int field);

    // The value bytes of a non-blob field of the table's current row.
    std::span<const uint8_t> CurrentValue(int field);
    // A blob field's value in the table's current row (read from the file now).
    std::string CurrentBlobValue(int field);

private:
    TField& Field(int field) const { return *fields_.at(static_cast<size_t>(field)); }

    TTarnTable& table_;
    std::vector<TField*> fields_;
    std::vector<std::vector<uint8_t>> values_;
    std::vector<std::string> blobs_;
};

}  // namespace tarn::cli
