// TFieldBuffers: the list through which a table component hands one record's field values
// to the storage layer for a single operation. One item per field of the table, in field
// order, pointing into the component's record buffer; the list never owns the buffers.
//
// Value bytes are encoded exactly as in a file slot (little-endian integers, IEEE doubles,
// NUL-terminated strings of declared size + 1 bytes, day numbers for dates, milliseconds
// for times); a blob field's place in the record buffer holds a pointer to its
// TOptimBlobStream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tarndb/dataset/field_types.h"

namespace tarn {

class TOptimBlobStream;

struct TFieldBufferItem {
    uint8_t* buffer = nullptr;         // the value bytes (non-blob fields)
    TOptimBlobStream* blob = nullptr;  // the blob stream (blob fields)
    TFieldType fieldType = ftUnknown;
    int32_t dataSize = 0;
    bool active = true;  // inactive items are skipped by fetches and rewrites
};

class TFieldBuffers {
public:
    // For a blob type, `address` holds the pointer to the blob stream, which is stored;
    // otherwise the address itself is stored.
    void Add(uint8_t* address, TFieldType fieldType, int32_t dataSize);
    // A blob field whose stream is known directly.
    void AddBlob(TOptimBlobStream* stream, TFieldType fieldType);
    // A field without a field object: no buffer, type ftUnknown, size 0, inactive.
    void AddInactive();
    int Count() const { return static_cast<int>(items_.size()); }
    TFieldBufferItem& Item(int i) { return items_.at(static_cast<size_t>(i)); }
    const TFieldBufferItem& Item(int i) const { return items_.at(static_cast<size_t>(i)); }
    void Clear() { items_.clear(); }

private:
    std::vector<TFieldBufferItem> items_;
};

}  // namespace tarn
