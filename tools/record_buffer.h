// One record of a loaded table as the tool holds it: a record buffer laid out as a table
// component lays it out (each field's value bytes, slot size long, in record-buffer
// encoding; a blob field's place holding a pointer to its TOptimBlobStream), with the
// TFieldBuffers through which the storage layer reads and writes it.
//
// The table must stay loaded (acquired) while the buffer is used; the buffer owns its
// blob streams. Errors: those of the storage layer.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tarndb/blob_stream.h"
#include "tarndb/field_buffers.h"
#include "tarndb/table_io.h"

namespace tarn::cli {

class TToolRecord {
public:
    explicit TToolRecord(TTarnTableIO& table);
    TToolRecord(const TToolRecord&) = delete;
    TToolRecord& operator=(const TToolRecord&) = delete;

    int FieldCount() const { return static_cast<int>(offsets_.size()); }
    uint8_t FieldType(int field) const { return types_.at(static_cast<size_t>(field)); }
    bool IsBlob(int field) const { return blobIndex_.at(static_cast<size_t>(field)) >= 0; }
    // The value bytes of a non-blob field (its slot size).
    std::span<uint8_t> Value(int field);
    // A blob field's value (loaded from the file on first use after a fetch).
    std::string BlobValue(int field);
    void SetBlobValue(int field, const std::string& bytes);
    // Every value empty: zero bytes, empty blobs.
    void Clear();

    // Reads the record at `position` of record list `list`.
    void Fetch(int list, int position);
    // Appends the buffer as a new record (the engine fills in an autoinc value of 0);
    // returns its record number.
    int32_t Append();
    // Field buffers over this record, every item active.
    TFieldBuffers Buffers();

private:
    TTarnTableIO& table_;
    std::vector<size_t> offsets_;
    std::vector<int32_t> sizes_;
    std::vector<uint8_t> types_;
    std::vector<int> blobIndex_;
    std::vector<std::unique_ptr<TOptimBlobStream>> blobs_;
    std::vector<uint8_t> bytes_;
};

}  // namespace tarn::cli
