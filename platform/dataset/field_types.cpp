#include "tarndb/dataset/field_types.h"

namespace tarn {

const char* FieldTypeName(TFieldType t) {
    static const char* const kNames[] = {
        "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
        "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
        "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
        "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
        "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet",
        "ftOraBlob",    "ftOraClob",    "ftVariant",  "ftInterface",   "ftIDispatch", "ftGuid",
    };
    static_assert(sizeof(kNames) / sizeof(kNames[0]) == kLastFieldType + 1);
    int i = static_cast<int>(t);
    return (i >= 0 && i <= kLastFieldType) ? kNames[i] : "ftUnknown";
}

}  // namespace tarn
