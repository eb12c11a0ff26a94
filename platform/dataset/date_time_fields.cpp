#include "platform/dataset/le_bytes.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

TVariant TDateTimeField::AsVariant() const {
    uint8_t buffer[8];
    if (!GetData(buffer, false)) return TVariant();
    return TVariant::FromDateTime(le::GetDouble(buffer));
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
    le::PutDouble(buffer, Converting([&] { return value.AsDateTime(); }));
    SetData(buffer, false);
}

}  // namespace tarn
