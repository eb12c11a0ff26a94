#include "tarndb/dataset/db_errors.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

std::unique_ptr<TField> MakeField(TFieldType type, const std::string& fieldName, int size) {
    std::unique_ptr<TField> field;
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
            field = std::make_unique<TStringField>(fieldName, size, type);
            break;
        case ftGuid:
            field = std::make_unique<TStringField>(fieldName, size > 0 ? size : 38, ftGuid);
            break;
        case ftSmallint:
            field = std::make_unique<TSmallintField>(fieldName);
            break;
        case ftInteger:
            field = std::make_unique<TIntegerField>(fieldName);
            break;
        case ftWord:
            field = std::make_unique<TWordField>(fieldName);
            break;
        case ftAutoInc:
            field = std::make_unique<TAutoIncField>(fieldName);
            break;
        case ftLargeint:
            field = std::make_unique<TLargeintField>(fieldName);
            break;
        case ftBoolean:
            field = std::make_unique<TBooleanField>(fieldName);
            break;
        case ftFloat:
            field = std::make_unique<TFloatField>(fieldName);
            break;
        case ftCurrency:
            field = std::make_unique<TCurrencyField>(fieldName);
            break;
        case ftDate:
            field = std::make_unique<TDateField>(fieldName);
            break;
        case ftTime:
            field = std::make_unique<TTimeField>(fieldName);
            break;
        case ftDateTime:
            field = std::make_unique<TDateTimeField>(fieldName);
            break;
        case ftMemo:
            field = std::make_unique<TMemoField>(fieldName);
            break;
        default:
            if (IsBlobType(type)) {
                field = std::make_unique<TBlobField>(fieldName, type);
                break;
            }
            DatabaseError(Format(msg::kUnknownFieldType, fieldName.c_str()));
    }
    if (IsBlobType(type)) field->SetSize(size > 0 ? size : 0);
    return field;
}

}  // namespace tarn
