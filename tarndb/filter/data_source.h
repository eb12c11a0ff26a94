// What the filter parser needs of the dataset it filters. The engine's dataset implements
// this interface; the parser holds a plain pointer to it and never owns it.
//
// Fields are found by name ignoring case (the first match in field-list order wins) and
// described by their type code (field_types.h), the size of their value in the record
// buffer and where that value lies. Calls happen on the thread that owns the dataset.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarn {

enum class TFilterFieldKind { Data, Calculated, Lookup };

struct TFilterField {
    int FieldNo = 0;        // field number (> 0 for data fields)
    int DataType = 0;       // ftXxx code
    int32_t Size = 0;       // bytes of the value in the record buffer (DataSize; 4 for a blob)
    // Offset of the value bytes in the record buffer: for a data field its slot in the data
    // area (FieldOffset); for a calculated or lookup field the byte after its flag byte in
    // the calculated area. Unused for blob fields, whose value comes from BlobText.
    int32_t Offset = 0;
    TFilterFieldKind Kind = TFilterFieldKind::Data;
    bool IsBlob = false;
};

class TFilterDataSource {
public:
    virtual ~TFilterDataSource() = default;

    // The dataset's component name, put in front of "Field '%s' not found" (empty: none).
    virtual std::string DataSetName() const = 0;
    // The position of the first field named `name` (ignoring case) in the field list, or -1.
    virtual int FindField(std::string_view name) const = 0;
    virtual TFilterField FieldInfo(int fieldIndex) const = 0;
    // The record buffer that field access works on in the current state (the filter buffer
    // during a scan); false when there is none. The span covers the whole buffer.
    virtual bool GetActiveRecBuf(std::span<const uint8_t>& buffer) const = 0;
    // The whole value of a blob or memo field of the current record, as bytes.
    virtual std::string BlobText(int fieldIndex) = 0;
};

}  // namespace tarn
