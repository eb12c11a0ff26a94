#include "platform/bytes.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

TVariant TDateTimeField::AsVariant() const {
    uint8_t buffer[8];
    if (!GetData(buffer, false)) return TVariant();
    return TVariant::FromDateTime(bytes::GetF64(buffer, 0, "field value"));
}

std::string TDateTimeField::AsString() const {
    TVariant v = AsVariant();
    if (v.IsNull()) return std::string();
    return Converting([&] {
        switch (DataType()) {
            case ftDate:
                return DateToStr(v.AsDateTime());
            case ftTime:
                return TimeToStr(v.AsDateTime());
            default:
                return DateTimeToStr(v.AsDateTime());
        }
    });
}

void TDateTimeField::SetAsVariant(const TVariant& value) {
    if (value.IsNull()) {
        Clear();
        return;
    }
    uint8_t buffer[8];
    bytes::PutF64(buffer, 0, Converting([&] { return value.AsDateTime(); }), "field value");
    SetData(buffer, false);
}

}  // namespace tarn
