// TMasterDataLink: the link by which a detail dataset follows its master. It is owned by the
// detail and attached to the master's data source; `FieldNames` (";"-separated) names the
// master fields whose values select the detail's records.
//
// Notifications, given to the detail through two callbacks:
//   - OnMasterChange: the master opened (or the link became active) with link fields, moved
//     to another record, or one of the link fields changed; also when FieldNames changes
//     while the master is open. Not while the master is in dsSetKey, and only while the
//     detail is open and there are link fields.
//   - OnMasterDisable: the master closed or the link lost its data source (or FieldNames
//     became empty) while the detail is open.
// Before the master leaves its record (Post, Cancel, scrolling) the link asks the detail to
// leave its own edit (CheckBrowseMode).
//
// Resolving FieldNames against the master raises "Field '%s' not found" (naming the master)
// for a name it does not have; the link then has no fields.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tarndb/dataset/data_source.h"

namespace tarn {

class TMasterDataLink : public TDataLink {
public:
    explicit TMasterDataLink(TDataSet* detail) : detail_(detail) {}

    const std::string& FieldNames() const { return fieldNames_; }
    void SetFieldNames(const std::string& names);
    // The master's link fields, in FieldNames order; empty while the link is inactive.
    const std::vector<TField*>& Fields() const { return fields_; }
    TDataSet* Detail() const { return detail_; }

    std::function<void(TMasterDataLink&)> OnMasterChange;
    std::function<void(TMasterDataLink&)> OnMasterDisable;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override { ActiveChanged(); }
    void RecordChanged(TField* field) override;

private:
    TDataSet* detail_;
    std::string fieldNames_;
    std::vector<TField*> fields_;
};

}  // namespace tarn
