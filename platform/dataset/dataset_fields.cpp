// TDataSet: the field list, binding fields to field defs, calculated and lookup fields, and
// the transfer of field values between field objects and the derived dataset.
#include <cmath>
#include <cstring>

#include "platform/bytes.h"
#include "platform/dataset/names.h"
#include "tarndb/dataset/dataset.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {
namespace {

// Field types a persistent field of type `fieldType` may be bound to.
bool CompatibleTypes(TFieldType fieldType, TFieldType defType) {
    if (fieldType == defType) return true;
    if (IsStringType(fieldType) && IsStringType(defType)) return true;
    if (fieldType == ftInteger && defType == ftAutoInc) return true;
    if (IsBlobType(fieldType) && IsBlobType(defType)) return true;
    return false;
}

// "ftString" -> "String", for type mismatch messages.
std::string TypeText(TFieldType t) { return std::string(FieldTypeName(t) + 2); }

}  // namespace

TField* TDataSet::Fields(int index) const {
    if (index < 0 || index >= FieldCount()) DatabaseError(msg::kFieldIndexError, this);
    return fields_[static_cast<size_t>(index)].get();
}

TField* TDataSet::FindField(const std::string& name) const {
    for (const auto& field : fields_)
        if (SameName(field->FieldName(), name)) return field.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
    TField* field = FindField(name);
    if (field == nullptr) DatabaseError(Format(msg::kFieldNotFound, name.c_str()), this);
    return field;
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
    if (fieldNo <= 0) return nullptr;
    for (const auto& field : fields_)
        if (field->FieldNo() == fieldNo) return field.get();
    return nullptr;
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& names) const {
    std::vector<TField*> list;
    for (const std::string& name : SplitFieldNames(names)) list.push_back(FieldByName(name));
    return list;
}

TVariant TDataSet::GetFieldValues(const std::string& names) const {
    std::vector<TField*> list = GetFieldList(names);
    if (list.size() == 1) return list[0]->AsVariant();
    std::vector<TVariant> values;
    for (TField* field : list) values.push_back(field->AsVariant());
    return TVariant(std::move(values));
}

TField* TDataSet::AddField(std::unique_ptr<TField> field) {
    CheckInactive();
    if (!field) throw EDatabaseError("No field given");
    if (FindField(field->FieldName()) != nullptr)
        DatabaseError(Format(msg::kDuplicateFieldName, field->FieldName().c_str()), this);
    field->dataSet_ = this;
    fields_.push_back(std::move(field));
    DataEvent(deFieldListChange);
    return fields_.back().get();
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) {
        std::unique_ptr<TField> field = fieldDefs_[i].CreateField();
        field->dataSet_ = this;
        field->fieldNo_ = fieldDefs_[i].FieldNo();
        fields_.push_back(std::move(field));
    }
}

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    for (const auto& field : fields_) {
        if (!binding) {
            if (field->fieldKind_ == fkData) field->fieldNo_ = 0;
            continue;
        }
        if (field->fieldKind_ != fkData) {
            if (field->IsBlob())
                DatabaseError(Format(msg::kCalcBlobField, field->FieldName().c_str()), this);
            field->fieldNo_ = -1;
            field->offset_ = calcFieldsSize_;
            calcFieldsSize_ += field->DataSize() + 1;
            continue;
        }
        const TFieldDef& def = fieldDefs_.Find(field->FieldName());
        if (!CompatibleTypes(field->DataType(), def.DataType())) {
            DatabaseError(
                Format(msg::kFieldTypeMismatch, field->FieldName().c_str(),
                       TypeText(field->DataType()).c_str(), TypeText(def.DataType()).c_str()),
                this);
        }
        field->fieldNo_ = def.FieldNo();
        // The storage's size decides the layout of the record: a persistent string field
        // takes the size of its column.
        if (IsStringType(def.DataType()) || IsBlobType(def.DataType())) field->size_ = def.Size();
    }
}

void TDataSet::DestroyFields() {
    fields_.clear();
    calcFieldsSize_ = 0;
}

void TDataSet::ClearCalcFields(TRecordBuffer& buffer) {
    if (!HasCalcFields()) return;
    calcBuffer_ = &buffer;
    if (state_ == dsCalcFields) {
        for (const auto& field : fields_)
            if (field->IsCalculated()) SetFieldData(*field, {});
        return;
    }
    TDataSetState saved = SetTempState(dsCalcFields);
    try {
        for (const auto& field : fields_)
            if (field->IsCalculated()) SetFieldData(*field, {});
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
}

void TDataSet::CalculateLookup(TField& field) {
    TDataSet* lookup = field.LookupDataSet();
    if (lookup == nullptr || !lookup->Active()) return;
    TVariant keys = GetFieldValues(field.KeyFields());
    TVariant value = lookup->Lookup(field.LookupKeyFields(), keys, field.LookupResultField());
    if (!value.IsNull()) field.SetAsVariant(value);
}

void TDataSet::CalculateFields(TRecordBuffer& buffer) {
    calcBuffer_ = &buffer;
    ClearCalcFields(buffer);
    for (const auto& field : fields_)
        if (field->FieldKind() == fkLookup) CalculateLookup(*field);
    DoOnCalcFields();
}

void TDataSet::GetCalcFields(TRecordBuffer& buffer) {
    if (!HasCalcFields()) return;
    TDataSetState saved = SetTempState(dsCalcFields);
    try {
        CalculateFields(buffer);
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
}

bool TDataSet::ReadFieldData(const TField& field, std::span<uint8_t> buffer, bool nativeFormat) {
    if (nativeFormat || buffer.empty()) return GetFieldData(field, buffer);
    std::vector<uint8_t> native(static_cast<size_t>(field.DataSize()));
    if (!GetFieldData(field, native)) return false;
    DataConvert(field, native, buffer, false);
    return true;
}

void TDataSet::CheckFieldWritable(const TField& field) const {
    if (!IsWriteState(state_)) DatabaseError(msg::kNotEditing, this);
    if (field.ReadOnly() && (state_ == dsEdit || state_ == dsInsert))
        DatabaseError(Format(msg::kFieldReadOnly, field.FieldName().c_str()), this);
}

void TDataSet::WriteFieldData(TField& field, std::span<const uint8_t> buffer, bool nativeFormat) {
    CheckFieldWritable(field);
    if (nativeFormat || buffer.empty()) {
        SetFieldData(field, buffer);
        return;
    }
    std::vector<uint8_t> native(static_cast<size_t>(field.DataSize()));
    DataConvert(field, buffer, native, true);
    SetFieldData(field, native);
}

void TDataSet::DataConvert(const TField& field, std::span<const uint8_t> source,
                           std::span<uint8_t> dest, bool toNative) {
    TFieldType type = field.DataType();
    if (type != ftDate && type != ftTime && type != ftDateTime) {
        size_t n = std::min(source.size(), dest.size());
        if (n > 0) std::memcpy(dest.data(), source.data(), n);
        return;
    }
    if (toNative) {
        auto split = SplitDateTime(bytes::GetF64(source, 0, "field value"));
        if (!split)
            throw EConvertError("Invalid date and time value for field '" + field.FieldName() +
                                "'");
        if (type == ftDate)
            bytes::PutI32(dest, 0, split->day, "field value");
        else if (type == ftTime)
            bytes::PutI32(dest, 0, split->ms, "field value");
        else
            bytes::PutF64(dest, 0, static_cast<double>(split->day) * kMSecsPerDay + split->ms,
                          "field value");
        return;
    }
    int64_t day = 0;
    int64_t ms = 0;
    if (type == ftDate) {
        day = bytes::GetI32(source, 0, "field value");
    } else if (type == ftTime) {
        day = kDateDelta;
        ms = bytes::GetI32(source, 0, "field value");
    } else {
        double stored = bytes::GetF64(source, 0, "field value");
        if (std::isfinite(stored) && std::fabs(stored) < 9.0e18) {
            int64_t total = std::llround(stored);
            day = total / kMSecsPerDay;
            ms = total % kMSecsPerDay;
        }
    }
    // A stored pair that names no valid date-time reads as 0.0 (1899-12-30 00:00).
    bytes::PutF64(dest, 0, JoinDateTime(day, ms).value_or(0.0), "field value");
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
    (void)field;
    (void)mode;
    DatabaseError(msg::kBlobNotSupported, this);
}

}  // namespace tarn
