#include "tarndb/dataset/master_data_link.h"

#include <algorithm>

#include "tarndb/dataset/dataset.h"

namespace tarn {

void TMasterDataLink::SetFieldNames(const std::string& names) {
    if (names == fieldNames_) return;
    fieldNames_ = names;
    ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
    fields_.clear();
    if (Active() && DataSet() != nullptr) fields_ = DataSet()->GetFieldList(fieldNames_);
    if (detail_ == nullptr || !detail_->Active()) return;
    if (Active() && !fields_.empty()) {
        if (OnMasterChange) OnMasterChange(*this);
    } else if (OnMasterDisable) {
        OnMasterDisable(*this);
    }
}

void TMasterDataLink::CheckBrowseMode() {
    if (detail_ != nullptr && detail_->Active()) detail_->CheckBrowseMode();
}

void TMasterDataLink::RecordChanged(TField* field) {
    if (DataSource() == nullptr || DataSource()->State() == dsSetKey) return;
    if (detail_ == nullptr || !detail_->Active() || fields_.empty()) return;
    if (field != nullptr && std::find(fields_.begin(), fields_.end(), field) == fields_.end())
        return;
    if (OnMasterChange) OnMasterChange(*this);
}

}  // namespace tarn
