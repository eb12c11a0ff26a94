#include "tarndb/filter/field_types.h"

namespace tarn {

using namespace ftype;

bool IsStringFamily(int type) {
    switch (type) {
        case ftString: case ftFixedChar: case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
            return true;
        default:
            return false;
    }
}

bool IsStringType(int type) {
    switch (type) {
        case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
        case ftWideString: case ftGuid:
            return true;
        default:
            return IsStringFamily(type);
    }
}

bool IsIntegerFamily(int type) {
    return type == ftSmallint || type == ftWord || type == ftInteger || type == ftAutoInc;
}

bool IsNumericType(int type) {
    return IsIntegerFamily(type) || type == ftLargeint || type == ftFloat || type == ftCurrency;
}

bool IsDateTimeType(int type) { return type == ftDate || type == ftTime || type == ftDateTime; }

bool IsBlobType(int type) {
    return (type >= ftBlob && type <= ftTypedBinary) || type == ftOraBlob || type == ftOraClob;
}

bool IsFilterableType(int type) {
    return IsStringType(type) || IsNumericType(type) || IsDateTimeType(type) || type == ftBoolean;
}

int32_t FixedValueSize(int type) {
    switch (type) {
        case ftSmallint: case ftWord: case ftBoolean:
            return 2;
        case ftInteger: case ftAutoInc: case ftDate: case ftTime:
            return 4;
        case ftFloat: case ftCurrency: case ftDateTime: case ftLargeint:
            return 8;
        default:
            return 0;
    }
}

}  // namespace tarn
