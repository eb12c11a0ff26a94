// The typed field classes, one per family of field types, and `MakeField`, which creates the
// right class for a field type (used when default fields are created from field defs).
//
// Record-buffer encodings the classes read and write through the dataset (little-endian):
//   ftString, ftFixedChar, ftWideString, ftGuid   Size + 1 bytes, text ended by NUL
//   ftSmallint (signed), ftWord (unsigned)        2 bytes
//   ftBoolean                                     2 bytes, 0 false, otherwise true (writes 1)
//   ftInteger, ftAutoInc                          4 bytes, signed
//   ftLargeint                                    8 bytes, signed
//   ftFloat, ftCurrency                           8 bytes, IEEE 754 double
//   ftDate / ftTime / ftDateTime                  native 4 / 4 / 8 bytes (day number,
//                                                 milliseconds, day * 86400000 + ms as a
//                                                 double), converted by TDataSet::DataConvert
//   blob types                                    through TDataSet::CreateBlobStream only
#pragma once

#include <memory>

#include "tarndb/dataset/field.h"
#include "tarndb/stream.h"

namespace tarn {

class TStringField : public TField {
public:
    TStringField(std::string fieldName, int size = 20, TFieldType type = ftString);
    int DataSize() const override { return Size() + 1; }
    std::string AsString() const override;
    // Text longer than Size bytes is cut to Size bytes (never inside a double-byte character).
    void SetAsString(const std::string& value) override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;
};

// ftInteger, and the base of the other integer types up to 32 bits.
class TIntegerField : public TField {
public:
    explicit TIntegerField(std::string fieldName)
        : TIntegerField(std::move(fieldName), ftInteger) {}
    int DataSize() const override;
    int64_t MinValue() const;
    int64_t MaxValue() const;
    std::string AsString() const override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;

protected:
    TIntegerField(std::string fieldName, TFieldType type) : TField(std::move(fieldName), type) {}
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(std::string fieldName)
        : TIntegerField(std::move(fieldName), ftSmallint) {}
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(std::string fieldName) : TIntegerField(std::move(fieldName), ftWord) {}
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(std::string fieldName)
        : TIntegerField(std::move(fieldName), ftAutoInc) {}
};

class TLargeintField : public TField {
public:
    explicit TLargeintField(std::string fieldName) : TField(std::move(fieldName), ftLargeint) {}
    int DataSize() const override { return 8; }
    std::string AsString() const override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;
};

class TFloatField : public TField {
public:
    explicit TFloatField(std::string fieldName) : TFloatField(std::move(fieldName), ftFloat) {}
    int DataSize() const override { return 8; }
    std::string AsString() const override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;

protected:
    TFloatField(std::string fieldName, TFieldType type) : TField(std::move(fieldName), type) {}
};

class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(std::string fieldName)
        : TFloatField(std::move(fieldName), ftCurrency) {}
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(std::string fieldName) : TField(std::move(fieldName), ftBoolean) {}
    int DataSize() const override { return 2; }
    std::string AsString() const override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;
};

// ftDateTime, and the base of ftDate and ftTime. Values are TDateTime numbers.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(std::string fieldName)
        : TDateTimeField(std::move(fieldName), ftDateTime) {}
    int DataSize() const override { return DataType() == ftDateTime ? 8 : 4; }
    // DateTimeToStr, DateToStr or TimeToStr by type.
    std::string AsString() const override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;

protected:
    TDateTimeField(std::string fieldName, TFieldType type) : TField(std::move(fieldName), type) {}
};

class TDateField : public TDateTimeField {
public:
    explicit TDateField(std::string fieldName) : TDateTimeField(std::move(fieldName), ftDate) {}
};

class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(std::string fieldName) : TDateTimeField(std::move(fieldName), ftTime) {}
};

// Blob types. The value is a byte string reached through the dataset's CreateBlobStream.
class TBlobField : public TField {
public:
    explicit TBlobField(std::string fieldName, TFieldType type = ftBlob);
    bool IsBlob() const override { return true; }
    // Set by whoever writes the value through a stream (the dataset's blob streams);
    // cleared when the dataset leaves the edit or insert state.
    bool Modified() const { return modified_; }
    void SetModified(bool v) { modified_ = v; }
    int64_t BlobSize() const;
    bool IsNull() const override;
    void Clear() override;
    std::string AsString() const override;
    void SetAsString(const std::string& value) override;
    TVariant AsVariant() const override;
    void SetAsVariant(const TVariant& value) override;
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& dest) const;

private:
    bool modified_ = false;
};

class TMemoField : public TBlobField {
public:
    explicit TMemoField(std::string fieldName) : TBlobField(std::move(fieldName), ftMemo) {}
};

// A field object of the class for `type`. Types without a field class (ftBCD, ftBytes,
// ftVarBytes, ftCursor, ftADT, ftArray, ftReference, ftDataSet, ftVariant, ftInterface,
// ftIDispatch, ftUnknown) raise EDatabaseError "Field '%s' is of an unknown type".
std::unique_ptr<TField> MakeField(TFieldType type, const std::string& fieldName, int size);

}  // namespace tarn
