#include "tarndb/filter/field_types.h"

namespace tarn {

using namespace ftype;

bool IsStringFamily(int type) {
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftBlob:
        case ftMemo:
        case ftGraphic:
        case ftFmtMemo:
            return true;
        default:
            return false;
    }
}

bool IsTextOperandType(int type) {
    TFieldType t = AsFieldType(type);
    return IsStringType(t) || IsBlobType(t);
}

bool IsIntegerFamily(int type) {
    return type == ftSmallint || type == ftWord || type == ftInteger || type == ftAutoInc;
}

bool IsNumericType(int type) {
    return IsIntegerFamily(type) || type == ftLargeint || type == ftFloat || type == ftCurrency;
}

bool IsDateTimeType(int type) { return type == ftDate || type == ftTime || type == ftDateTime; }

bool IsFilterableType(int type) {
    return IsTextOperandType(type) || IsNumericType(type) || IsDateTimeType(type) ||
           type == ftBoolean;
}

int32_t FixedValueSize(int type) {
    switch (type) {
        case ftSmallint:
        case ftWord:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
        case ftLargeint:
            return 8;
        default:
            return 0;
    }
}

}  // namespace tarn
