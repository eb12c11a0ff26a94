// TField: one column of a dataset as an object. A field reads and writes its value in the
// record buffer the dataset serves for the current state (the current record while browsing
// or editing, the key buffer in dsSetKey, the calculated-field buffer in dsCalcFields, the
// filter buffer in dsFilter); the dataset decides which buffer that is (GetFieldData /
// SetFieldData).
//
// Kinds: data fields (a column of the dataset's records, FieldNo > 0 once bound),
// calculated fields (values set by OnCalcFields, FieldNo -1) and lookup fields (values
// looked up in LookupDataSet by KeyFields, FieldNo -1). Calculated and lookup values live in
// the calculated area of a record buffer at `Offset`; each is null until something is stored
// into it.
//
// Ownership: a field belongs to the dataset it was added to (TDataSet::AddField, or
// CreateFields for the default fields); it keeps a plain back reference to that dataset.
//
// Values: `AsString`, `AsInteger`, `AsLargeInt`, `AsFloat`, `AsBoolean`, `AsDateTime`,
// `AsVariant` and their setters. A null field reads as "", 0, false or Null. Writing needs the
// dataset in a write state (dsEdit, dsInsert, or a temporary state): otherwise EDatabaseError
// "Dataset not in edit or insert mode"; a read-only field in dsEdit / dsInsert raises
// "Field '%s' cannot be modified". A value that does not convert to the field's type (text
// that is no number, a number outside the type's range, an access the type does not offer)
// raises EConvertError naming the field.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tarndb/dataset/dataset_types.h"
#include "tarndb/dataset/field_types.h"
#include "tarndb/dataset/variant.h"
#include "tarndb/errors.h"

namespace tarn {

class TDataSet;

class TField {
public:
    TField(std::string fieldName, TFieldType dataType, int size = 0);
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    // --- Identity and layout
    const std::string& FieldName() const { return fieldName_; }
    TFieldType DataType() const { return dataType_; }
    // Declared size: characters of a string field, 0 for fixed-size types.
    int Size() const { return size_; }
    // Changing the size of a field whose dataset is open raises "Cannot perform this
    // operation on an open dataset".
    void SetSize(int size);
    // Bytes the value takes in a record buffer: Size + 1 for strings, 2 / 4 / 8 for the
    // fixed-size types, 0 for blobs (their values are reached through streams).
    virtual int DataSize() const { return 0; }
    // Field number: the 1-based column of a bound data field; -1 for calculated and lookup
    // fields; 0 while unbound.
    int FieldNo() const { return fieldNo_; }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind);
    bool IsCalculated() const { return fieldKind_ != fkData; }
    // Offset of a calculated or lookup field in the calculated area (set when fields bind).
    int Offset() const { return offset_; }
    virtual bool IsBlob() const { return false; }
    // Position in the dataset's field list; -1 without a dataset.
    int Index() const;
    TDataSet* DataSet() const { return dataSet_; }

    bool Required() const { return required_; }
    void SetRequired(bool v) { required_ = v; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }

    // --- Lookup definition (fkLookup): the value is LookupDataSet's LookupResultField on the
    // record whose LookupKeyFields equal this dataset's KeyFields (";"-separated lists).
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* ds) { lookupDataSet_ = ds; }
    const std::string& KeyFields() const { return keyFields_; }
    void SetKeyFields(std::string v) { keyFields_ = std::move(v); }
    const std::string& LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(std::string v) { lookupKeyFields_ = std::move(v); }
    const std::string& LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(std::string v) { lookupResultField_ = std::move(v); }

    // --- Raw value bytes. `GetData` fills `buffer` (DataSize bytes; the TDateTime double for
    // date and time types when nativeFormat is false) and returns false when the field is
    // null; an empty buffer only asks whether there is a value. `SetData` with an empty span
    // makes the field null.
    bool GetData(std::span<uint8_t> buffer, bool nativeFormat = true) const;
    void SetData(std::span<const uint8_t> buffer, bool nativeFormat = true);

    // --- Values
    virtual bool IsNull() const;
    virtual void Clear();

    virtual std::string AsString() const;
    // Empty text clears a field of any type but the string and blob types.
    virtual void SetAsString(const std::string& value);
    int32_t AsInteger() const;
    void SetAsInteger(int32_t value);
    int64_t AsLargeInt() const;
    void SetAsLargeInt(int64_t value);
    double AsFloat() const;
    void SetAsFloat(double value);
    bool AsBoolean() const;
    void SetAsBoolean(bool value);
    TDateTime AsDateTime() const;
    void SetAsDateTime(TDateTime value);
    // Null for a null field; otherwise the value in the variant kind of the field's type.
    virtual TVariant AsVariant() const = 0;
    // Null clears the field; anything else is converted to the field's type.
    virtual void SetAsVariant(const TVariant& value) = 0;

protected:
    TDataSet& RequireDataSet() const;
    // Runs `convert`, turning an EConvertError into one that names this field.
    template <typename F>
    auto Converting(F&& convert) const -> decltype(convert());
    [[noreturn]] void ConversionError(const std::string& message) const;

private:
    friend class TDataSet;

    std::string fieldName_;
    TFieldType dataType_;
    int size_ = 0;
    int fieldNo_ = 0;
    int offset_ = 0;
    TFieldKind fieldKind_ = fkData;
    bool required_ = false;
    bool readOnly_ = false;
    TDataSet* dataSet_ = nullptr;
    TDataSet* lookupDataSet_ = nullptr;
    std::string keyFields_;
    std::string lookupKeyFields_;
    std::string lookupResultField_;
};

template <typename F>
auto TField::Converting(F&& convert) const -> decltype(convert()) {
    try {
        return convert();
    } catch (const EConvertError& e) {
        ConversionError(e.Message());
    }
}

}  // namespace tarn
