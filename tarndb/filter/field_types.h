// Field type codes as the filter language sees them: the ordinals of the platform's field
// type enumeration (ftString = 1 ... ftOraClob = 31; ftGuid = 35), the type families the
// typing rules work with, and the size of a fixed-size value in the record-buffer encoding.
//
// The codes are the dataset framework's enumeration (platform/dataset/field_types.h), also
// reachable as tarn::ftype::ftXxx; the evaluator handles them as int.
#pragma once

#include <cstdint>

#include "tarndb/dataset/field_types.h"

namespace tarn::ftype {

// The codes are the dataset framework's enumeration, reachable here by their plain names.
using TFieldTypeCode = tarn::TFieldType;
using enum tarn::TFieldType;

}  // namespace tarn::ftype

namespace tarn {

// The string family proper: ftString, ftFixedChar, ftBlob, ftMemo, ftGraphic, ftFmtMemo.
bool IsStringFamily(int type);
// Types the typing rules treat as text operands: the string types and the blob types of the
// field-type vocabulary (IsStringType, IsBlobType in dataset/field_types.h). The evaluator
// reads all of them as NUL-ended byte strings (for blob types, the field's whole text).
bool IsTextOperandType(int type);
// The field type for an evaluator's type code; ftUnknown for a code naming no type.
constexpr TFieldType AsFieldType(int type) { return FieldTypeFromCode(type).value_or(ftUnknown); }
// ftSmallint, ftWord, ftInteger, ftAutoInc.
bool IsIntegerFamily(int type);
// The integer family, ftLargeint, ftFloat, ftCurrency.
bool IsNumericType(int type);
// ftDate, ftTime, ftDateTime.
bool IsDateTimeType(int type);
// Whether the filter language can read a field of this type at all.
bool IsFilterableType(int type);
// Bytes of a fixed-size value in the record-buffer encoding (2 for ftSmallint, ftWord and
// ftBoolean; 4; 8); 0 for strings, blobs and unknown types.
int32_t FixedValueSize(int type);

}  // namespace tarn
