#include <cstdint>
#include <span>
#include <vector>

#include "platform/bytes.h"
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
    uint8_t raw[4];  // DataSize() is 2 or 4
    std::span<uint8_t> buffer(raw, static_cast<size_t>(DataSize()));
    if (!GetData(buffer)) return TVariant();
    switch (DataType()) {
        case ftSmallint:
            return TVariant(static_cast<int32_t>(bytes::GetI16(buffer, 0, "field value")));
        case ftWord:
            return TVariant(static_cast<int32_t>(bytes::GetU16(buffer, 0, "field value")));
        default:
            return TVariant(bytes::GetI32(buffer, 0, "field value"));
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
    uint8_t raw[4];
    std::span<uint8_t> buffer(raw, static_cast<size_t>(DataSize()));
    if (DataType() == ftSmallint)
        bytes::PutI16(buffer, 0, static_cast<int16_t>(n), "field value");
    else if (DataType() == ftWord)
        bytes::PutU16(buffer, 0, static_cast<uint16_t>(n), "field value");
    else
        bytes::PutI32(buffer, 0, static_cast<int32_t>(n), "field value");
    SetData(buffer);
}

// ---- ftLargeint

TVariant TLargeintField::AsVariant() const {
    uint8_t buffer[8];
    if (!GetData(buffer)) return TVariant();
    return TVariant(bytes::GetI64(buffer, 0, "field value"));
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
    bytes::PutI64(buffer, 0, Converting([&] { return value.AsInt64(); }), "field value");
    SetData(buffer);
}

// ---- ftFloat, ftCurrency

TVariant TFloatField::AsVariant() const {
    uint8_t buffer[8];
    if (!GetData(buffer)) return TVariant();
    return TVariant(bytes::GetF64(buffer, 0, "field value"));
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
    bytes::PutF64(buffer, 0, Converting([&] { return value.AsFloat(); }), "field value");
    SetData(buffer);
}

// ---- ftBoolean

TVariant TBooleanField::AsVariant() const {
    uint8_t buffer[2];
    if (!GetData(buffer)) return TVariant();
    return TVariant(bytes::GetU16(buffer, 0, "field value") != 0);
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
    bytes::PutU16(buffer, 0, Converting([&] { return value.AsBoolean(); }) ? 1 : 0, "field value");
    SetData(buffer);
}

}  // namespace tarn
