#include <cstdint>
#include <vector>

#include "platform/dataset/le_bytes.h"
#include "platform/dataset/number_text.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

// ---- Integer types up to 32 bits

int TIntegerField::DataSize() const {
    return (DataType() == ftSmallint || DataType() == ftWord) ? 2 : 4;
}

int64_t TIntegerField::MinValue() const {
    switch (DataType()) {
        case ftSmallint:
            return INT16_MIN;
        case ftWord:
            return 0;
        default:
            return INT32_MIN;
    }
}

int64_t TIntegerField::MaxValue() const {
    switch (DataType()) {
        case ftSmallint:
            return INT16_MAX;
        case ftWord:
            return UINT16_MAX;
        default:
            return INT32_MAX;
    }
}

TVariant TIntegerField::AsVariant() const {
    std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()));
    if (!GetData(buffer)) return TVariant();
    switch (DataType()) {
        case ftSmallint:
            return TVariant(static_cast<int32_t>(le::GetInt16(buffer)));
        case ftWord:
            return TVariant(static_cast<int32_t>(le::GetUInt16(buffer)));
        default:
            return TVariant(le::GetInt32(buffer));
    }
}

std::string TIntegerField::AsString() const {
    TVariant v = AsVariant();
    return v.IsNull() ? std::string() : std::to_string(v.AsInteger());
}

void TIntegerField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    int64_t n = Converting([&] { return value.AsInt64(); });
    if (n < MinValue() || n > MaxValue()) {
        throw EConvertError(std::to_string(n) + " is not a valid value for field '" + FieldName() +
                            "'. The allowed range is " + std::to_string(MinValue()) + " to " +
                            std::to_string(MaxValue()));
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()));
    if (DataType() == ftSmallint)
        le::PutInt16(buffer, static_cast<int16_t>(n));
    else if (DataType() == ftWord)
        le::PutUInt16(buffer, static_cast<uint16_t>(n));
    else
        le::PutInt32(buffer, static_cast<int32_t>(n));
    SetData(buffer);
}

// ---- ftLargeint

TVariant TLargeintField::AsVariant() const {
    uint8_t buffer[8];
    if (!GetData(buffer)) return TVariant();
    return TVariant(le::GetInt64(buffer));
}

std::string TLargeintField::AsString() const {
    TVariant v = AsVariant();
    return v.IsNull() ? std::string() : std::to_string(v.AsInt64());
}

void TLargeintField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    uint8_t buffer[8];
    le::PutInt64(buffer, Converting([&] { return value.AsInt64(); }));
    SetData(buffer);
}

// ---- ftFloat, ftCurrency

TVariant TFloatField::AsVariant() const {
    uint8_t buffer[8];
    if (!GetData(buffer)) return TVariant();
    return TVariant(le::GetDouble(buffer));
}

std::string TFloatField::AsString() const {
    TVariant v = AsVariant();
    return v.IsNull() ? std::string() : FloatToStr(v.AsFloat());
}

void TFloatField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    uint8_t buffer[8];
    le::PutDouble(buffer, Converting([&] { return value.AsFloat(); }));
    SetData(buffer);
}

// ---- ftBoolean

TVariant TBooleanField::AsVariant() const {
    uint8_t buffer[2];
    if (!GetData(buffer)) return TVariant();
    return TVariant(le::GetUInt16(buffer) != 0);
}

std::string TBooleanField::AsString() const {
    TVariant v = AsVariant();
    return v.IsNull() ? std::string() : BoolToStr(v.AsBoolean());
}

void TBooleanField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    uint8_t buffer[2];
    le::PutUInt16(buffer, Converting([&] { return value.AsBoolean(); }) ? 1 : 0);
    SetData(buffer);
}

}  // namespace tarn
