#include "tarndb/dataset/index_defs.h"

#include "platform/dataset/names.h"
#include "tarndb/dataset/db_errors.h"

namespace tarn {

TIndexDef& TIndexDefs::Add(std::string name, std::string fields, TIndexOptions options) {
    items_.emplace_back(std::move(name), std::move(fields), options);
    return items_.back();
}

const TIndexDef& TIndexDefs::operator[](int index) const {
    if (index < 0 || index >= Count()) DatabaseError("Index out of range", owner_);
    return items_[static_cast<size_t>(index)];
}

int TIndexDefs::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameName(items_[i].Name(), name)) return static_cast<int>(i);
    return -1;
}

const TIndexDef& TIndexDefs::Find(const std::string& name) const {
    int i = IndexOf(name);
    if (i < 0) DatabaseError(Format(msg::kIndexNotFound, name.c_str()), owner_);
    return items_[static_cast<size_t>(i)];
}

}  // namespace tarn
