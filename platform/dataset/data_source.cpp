#include "tarndb/dataset/data_source.h"

#include <algorithm>

#include "tarndb/dataset/dataset.h"

namespace tarn {

// ---- TDataSource

TDataSource::TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }

TDataSource::~TDataSource() {
    if (dataSet_ != nullptr) dataSet_->RemoveDataSource(this);
    dataSet_ = nullptr;
    // Each link learns that it lost its source, as when the dataset closes: a detail that
    // followed this source must stop following it. The links are alive; only this source
    // goes, so their handlers may run. One at a time: a handler may destroy a link still
    // waiting here, which then takes itself off the list.
    while (!links_.empty()) {
        TDataLink* link = links_.front();
        links_.erase(links_.begin());
        link->dataSource_ = nullptr;
        try {
            link->UpdateState();
        } catch (...) {
            // Nobody is left to report to from here; the link is detached all the same.
        }
    }
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
    // Bounded walk: a chain that already loops elsewhere must not hang the test.
    for (int steps = 0; dataSet != nullptr && steps < 1000; ++steps) {
        const TDataSource* source = dataSet->GetDataSource();
        if (source == nullptr) return false;
        if (source == this) return true;
        dataSet = source->DataSet();
    }
    return false;
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet != nullptr && IsLinkedTo(dataSet)) DatabaseError(msg::kCircularDataLink, this);
    if (dataSet_ != nullptr) dataSet_->RemoveDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_ != nullptr) dataSet_->AddDataSource(this);
    UpdateState();
}

void TDataSource::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    UpdateState();
}

void TDataSource::DataSetDestroyed() {
    dataSet_ = nullptr;
    UpdateState();
}

void TDataSource::AddLink(TDataLink* link) {
    if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TDataSource::NotifyLinks(TDataEvent event, TField* field) {
    // A handler may attach or detach links: walk a copy and skip the ones gone.
    std::vector<TDataLink*> links = links_;
    for (TDataLink* link : links) {
        if (std::find(links_.begin(), links_.end(), link) != links_.end())
            link->DataEvent(event, field);
    }
}

void TDataSource::UpdateState() {
    TDataSetState state = (enabled_ && dataSet_ != nullptr) ? dataSet_->State() : dsInactive;
    if (state == state_) return;
    TDataSetState previous = state_;
    state_ = state;
    NotifyLinks(deUpdateState, nullptr);
    if (OnStateChange) OnStateChange(*this);
    // A dataset that just opened has new data to show.
    if (previous == dsInactive && OnDataChange) OnDataChange(*this, nullptr);
}

void TDataSource::DataEvent(TDataEvent event, TField* field) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive) return;
    NotifyLinks(event, field);
    switch (event) {
        case deFieldChange:
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange)
                OnDataChange(*this,
                             (event == deFieldChange || event == deRecordChange) ? field : nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(*this);
            break;
        default:
            break;
    }
}

// ---- TDataLink

TDataLink::~TDataLink() {
    // No virtual calls from here: the derived part is gone.
    if (dataSource_ != nullptr) dataSource_->RemoveLink(this);
    dataSource_ = nullptr;
}

TDataSet* TDataLink::DataSet() const {
    return dataSource_ != nullptr ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (dataSource_ != nullptr) dataSource_->RemoveLink(this);
    dataSource_ = source;
    if (dataSource_ != nullptr) dataSource_->AddLink(this);
    UpdateState();
}

void TDataLink::UpdateState() {
    bool active = dataSource_ != nullptr && dataSource_->State() != dsInactive;
    if (active != active_) {
        active_ = active;
        ActiveChanged();
    }
    bool editing = active_ && (dataSource_->State() == dsEdit || dataSource_->State() == dsInsert);
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

bool TDataLink::Edit() {
    TDataSet* ds = DataSet();
    if (!readOnly_ && active_ && ds != nullptr && ds->State() == dsBrowse) ds->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::DataEvent(TDataEvent event, TField* field) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
        case deFieldChange:
        case deRecordChange:
            if (!updating_) RecordChanged(field);
            break;
        case deDataSetChange:
            DataSetChanged();
            break;
        case deDataSetScroll:
            DataSetScrolled();
            break;
        case deLayoutChange:
            LayoutChanged();
            break;
        case deUpdateRecord:
            UpdateRecord();
            break;
        case deCheckBrowseMode:
            CheckBrowseMode();
            break;
        default:
            break;
    }
}

}  // namespace tarn
