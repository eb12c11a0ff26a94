// Field type codes as the filter language sees them: the ordinals of the platform's field
// type enumeration (ftString = 1 ... ftOraClob = 31; ftGuid = 35), the type families the
// typing rules work with, and the size of a fixed-size value in the record-buffer encoding.
//
// The codes live in their own namespace so that the dataset framework's enumeration of the
// same names can sit beside them; code that uses both converts with a cast to int.
#pragma once

#include <cstdint>

namespace tarn::ftype {

enum TFieldTypeCode : int {
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
    ftGuid = 35,
};

}  // namespace tarn::ftype

namespace tarn {

// The string family proper: ftString, ftFixedChar, ftBlob, ftMemo, ftGraphic, ftFmtMemo.
bool IsStringFamily(int type);
// Types the typing rules treat as strings: the string family and ftParadoxOle, ftDBaseOle,
// ftTypedBinary, ftOraBlob, ftOraClob, ftWideString, ftGuid. The evaluator reads all of them
// as NUL-ended byte strings (for blob types, the field's whole text).
bool IsStringType(int type);
// ftSmallint, ftWord, ftInteger, ftAutoInc.
bool IsIntegerFamily(int type);
// The integer family, ftLargeint, ftFloat, ftCurrency.
bool IsNumericType(int type);
// ftDate, ftTime, ftDateTime.
bool IsDateTimeType(int type);
// The blob types a table may hold (15..21, 30, 31).
bool IsBlobType(int type);
// Whether the filter language can read a field of this type at all.
bool IsFilterableType(int type);
// Bytes of a fixed-size value in the record-buffer encoding (2 for ftSmallint, ftWord and
// ftBoolean; 4; 8); 0 for strings, blobs and unknown types.
int32_t FixedValueSize(int type);

}  // namespace tarn
