// The field-type enumeration of the dataset framework. Its ordinals are stored in database
// files (a field entry's type byte), so they never change: `ftUnknown` = 0, `ftString` = 1,
// ... `ftOraClob` = 31, then the later additions up to `ftGuid` = 35.
//
// A type byte read from outside is turned into a `TFieldType` only through
// `FieldTypeFromCode`, which refuses values outside the enumeration.
#pragma once

#include <cstdint>
#include <optional>

namespace tarn {

enum TFieldType : uint8_t {
    ftUnknown = 0,
    ftString = 1,
    ftSmallint = 2,
    ftInteger = 3,
    ftWord = 4,
    ftBoolean = 5,
    ftFloat = 6,
    ftCurrency = 7,
    ftBCD = 8,
    ftDate = 9,
    ftTime = 10,
    ftDateTime = 11,
    ftBytes = 12,
    ftVarBytes = 13,
    ftAutoInc = 14,
    ftBlob = 15,
    ftMemo = 16,
    ftGraphic = 17,
    ftFmtMemo = 18,
    ftParadoxOle = 19,
    ftDBaseOle = 20,
    ftTypedBinary = 21,
    ftCursor = 22,
    ftFixedChar = 23,
    ftWideString = 24,
    ftLargeint = 25,
    ftADT = 26,
    ftArray = 27,
    ftReference = 28,
    ftDataSet = 29,
    ftOraBlob = 30,
    ftOraClob = 31,
    ftVariant = 32,
    ftInterface = 33,
    ftIDispatch = 34,
    ftGuid = 35,
};

inline constexpr int kLastFieldType = ftGuid;

// The type for a stored type code, or nothing when the code names no type.
constexpr std::optional<TFieldType> FieldTypeFromCode(int code) {
    if (code < 0 || code > kLastFieldType) return std::nullopt;
    return static_cast<TFieldType>(code);
}

// Blob types: their values live outside the record (a stream per record buffer).
constexpr bool IsBlobType(TFieldType t) {
    return (t >= ftBlob && t <= ftTypedBinary) || t == ftOraBlob || t == ftOraClob;
}

// Character types held in a record buffer as NUL-terminated bytes.
constexpr bool IsStringType(TFieldType t) {
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

// The name of a type as written in code ("ftString"); "ftUnknown" for anything else.
const char* FieldTypeName(TFieldType t);

}  // namespace tarn
