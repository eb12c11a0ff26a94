#include "tools/record_buffer.h"

#include <algorithm>

namespace tarn::cli {

TToolRecord::TToolRecord(TTarnTable& table) : table_(table) {
    for (int i = 0; i < table.FieldCount(); ++i) {
        TField* f = table.Fields(i);
        fields_.push_back(f);
        values_.emplace_back(f->IsBlob() ? 0 : static_cast<size_t>(f->DataSize()), uint8_t{0});
        blobs_.emplace_back();
    }
}

void TToolRecord::Clear() {
    for (std::vector<uint8_t>& v : values_) std::fill(v.begin(), v.end(), uint8_t{0});
    for (std::string& b : blobs_) b.clear();
}

void TToolRecord::Store() {
    for (int i = 0; i < FieldCount(); ++i) StoreField(i);
}

void TToolRecord::StoreField(int field) {
    TField& f = Field(field);
    if (f.IsBlob())
        f.SetAsString(blobs_.at(static_cast<size_t>(field)));
    else
        f.SetData(values_.at(static_cast<size_t>(field)));
}

std::span<const uint8_t> TToolRecord::CurrentValue(int field) {
    std::vector<uint8_t>& v = values_.at(static_cast<size_t>(field));
    std::fill(v.begin(), v.end(), uint8_t{0});
    Field(field).GetData(v);
    return v;
}

std::string TToolRecord::CurrentBlobValue(int field) { return Field(field).AsString(); }

}  // namespace tarn::cli
