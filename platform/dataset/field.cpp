#include "tarndb/dataset/field.h"

#include "tarndb/dataset/dataset.h"
#include "tarndb/dataset/db_errors.h"

namespace tarn {

TField::TField(std::string fieldName, TFieldType dataType, int size)
    : fieldName_(std::move(fieldName)), dataType_(dataType), size_(size) {}

void TField::SetSize(int size) {
    if (dataSet_ != nullptr) dataSet_->CheckInactive();
    if (size < 0) throw EDatabaseError("Invalid field size");
    size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
    if (dataSet_ != nullptr) dataSet_->CheckInactive();
    fieldKind_ = kind;
}

int TField::Index() const {
    if (dataSet_ == nullptr) return -1;
    for (int i = 0; i < dataSet_->FieldCount(); ++i)
        if (dataSet_->Fields(i) == this) return i;
    return -1;
}

TDataSet& TField::RequireDataSet() const {
    if (dataSet_ == nullptr) DatabaseError(Format(msg::kDataSetMissing, fieldName_.c_str()));
    return *dataSet_;
}

bool TField::GetData(std::span<uint8_t> buffer, bool nativeFormat) const {
    return RequireDataSet().ReadFieldData(*this, buffer, nativeFormat);
}

void TField::SetData(std::span<const uint8_t> buffer, bool nativeFormat) {
    RequireDataSet().WriteFieldData(*this, buffer, nativeFormat);
}

bool TField::IsNull() const { return !GetData({}); }

void TField::Clear() { SetData({}); }

void TField::ConversionError(const std::string& message) const {
    throw EConvertError(message + " for field '" + fieldName_ + "'");
}

std::string TField::AsString() const {
    return Converting([&] { return AsVariant().AsString(); });
}

void TField::SetAsString(const std::string& value) {
    // Empty text is "no value" for every type but strings (which override this).
    if (value.empty()) {
        Clear();
        return;
    }
    SetAsVariant(TVariant(value));
}

int32_t TField::AsInteger() const {
    return Converting([&] {
        TVariant v = AsVariant();
        return v.IsNull() ? 0 : v.AsInteger();
    });
}

void TField::SetAsInteger(int32_t value) { SetAsVariant(TVariant(value)); }

int64_t TField::AsLargeInt() const {
    return Converting([&] {
        TVariant v = AsVariant();
        return v.IsNull() ? int64_t{0} : v.AsInt64();
    });
}

void TField::SetAsLargeInt(int64_t value) { SetAsVariant(TVariant(value)); }

double TField::AsFloat() const {
    return Converting([&] {
        TVariant v = AsVariant();
        return v.IsNull() ? 0.0 : v.AsFloat();
    });
}

void TField::SetAsFloat(double value) { SetAsVariant(TVariant(value)); }

bool TField::AsBoolean() const {
    return Converting([&] {
        TVariant v = AsVariant();
        return v.IsNull() ? false : v.AsBoolean();
    });
}

void TField::SetAsBoolean(bool value) { SetAsVariant(TVariant(value)); }

TDateTime TField::AsDateTime() const {
    return Converting([&] {
        TVariant v = AsVariant();
        return v.IsNull() ? 0.0 : v.AsDateTime();
    });
}

void TField::SetAsDateTime(TDateTime value) { SetAsVariant(TVariant::FromDateTime(value)); }

}  // namespace tarn
