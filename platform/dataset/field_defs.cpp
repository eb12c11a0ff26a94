#include "tarndb/dataset/field_defs.h"

#include "platform/dataset/names.h"
#include "tarndb/dataset/db_errors.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

std::unique_ptr<TField> TFieldDef::CreateField() const {
    auto field = MakeField(dataType_, name_, size_);
    field->SetRequired(required_);
    return field;
}

TFieldDef& TFieldDefs::Add(std::string name, TFieldType type, int size, bool required) {
    if (IndexOf(name) >= 0) DatabaseError(Format(msg::kDuplicateFieldName, name.c_str()), owner_);
    items_.emplace_back(std::move(name), type, size, required, Count() + 1);
    return items_.back();
}

const TFieldDef& TFieldDefs::operator[](int index) const {
    if (index < 0 || index >= Count()) DatabaseError(msg::kFieldIndexError, owner_);
    return items_[static_cast<size_t>(index)];
}

int TFieldDefs::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameName(items_[i].Name(), name)) return static_cast<int>(i);
    return -1;
}

const TFieldDef& TFieldDefs::Find(const std::string& name) const {
    int i = IndexOf(name);
    if (i < 0) DatabaseError(Format(msg::kFieldNotFound, name.c_str()), owner_);
    return items_[static_cast<size_t>(i)];
}

}  // namespace tarn
