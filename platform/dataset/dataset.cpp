// TDataSet: lifecycle, states, events and notifications.
#include "tarndb/dataset/dataset.h"

#include <algorithm>

#include "tarndb/dataset/data_source.h"

namespace tarn {

TDataSet::TDataSet() : fieldDefs_(this) {}

TDataSet::~TDataSet() {
    // The derived part is gone: no hook can run any more. A dataset still open here was not
    // closed by its derived destructor; drop its state quietly.
    state_ = dsInactive;
    std::vector<TDataSource*> sources = dataSources_;
    for (TDataSource* source : sources) source->DataSetDestroyed();
    dataSources_.clear();
}

void TDataSet::CloseOnDestroy() noexcept {
    if (!Active()) return;
    try {
        SetState(dsInactive);
        CloseCursor();
    } catch (...) {
        InternalHandleException(std::current_exception());
    }
}

void TDataSet::CheckActive() const {
    if (!Active()) DatabaseError(msg::kDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
    if (Active()) DatabaseError(msg::kDataSetOpen, this);
}

void TDataSet::SetActive(bool value) {
    if (value == Active()) return;
    if (value) {
        DoBeforeOpen();
        internalOpenComplete_ = false;
        try {
            OpenCursor(false);
        } catch (...) {
            // The dataset stays closed: release whatever the open acquired.
            state_ = dsInactive;
            try {
                CloseCursor();
            } catch (...) {
                // The open's own error is the one to report.
            }
            throw;
        }
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty()) DoAfterScroll();
    } else {
        DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        DoAfterClose();
    }
}

void TDataSet::OpenCursor(bool infoQuery) {
    if (infoQuery)
        InternalInitFieldDefs();
    else
        DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
    defaultFields_ = fields_.empty();
    InternalOpen();
    internalOpenComplete_ = true;
    AllocateBuffers();
    ClearBuffers();
    GetNextRecord();
    bof_ = true;
}

void TDataSet::CloseCursor() {
    internalOpenComplete_ = false;
    FreeFieldBuffers();
    FreeBuffers();
    InternalClose();
    BindFields(false);
    if (defaultFields_) DestroyFields();
    defaultFields_ = false;
}

void TDataSet::SetState(TDataSetState value) {
    if (state_ == value) return;
    state_ = value;
    modified_ = false;
    DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
    TDataSetState old = state_;
    state_ = value;
    ++disableCount_;
    modified_ = false;
    return old;
}

void TDataSet::RestoreState(TDataSetState value) {
    state_ = value;
    if (disableCount_ > 0) --disableCount_;
    modified_ = false;
}

void TDataSet::DataEvent(TDataEvent event, TField* field) {
    if (event == deFieldChange && field != nullptr) {
        if (field->FieldKind() == fkData) {
            modified_ = true;
            if (state_ != dsSetKey && autoCalcFields_ && HasCalcFields() && hasRecord_ &&
                (state_ == dsEdit || state_ == dsInsert))
                GetCalcFields(*active_);
        }
    }
    if (!ControlsDisabled()) {
        // A handler may add or remove data sources: walk a copy and skip the ones gone.
        std::vector<TDataSource*> sources = dataSources_;
        for (TDataSource* source : sources) {
            if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end())
                source->DataEvent(event, field);
        }
    } else if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange) {
        enableEvent_ = deLayoutChange;
    }
}

void TDataSet::DisableControls() {
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0) {
        if (disableState_ != state_) DataEvent(deUpdateState);
        if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_);
    }
}

void TDataSet::AddDataSource(TDataSource* source) {
    if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end())
        dataSources_.push_back(source);
}

void TDataSet::RemoveDataSource(TDataSource* source) {
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source),
                       dataSources_.end());
}

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
    // Bounded walk: a chain that already loops elsewhere must not hang the test.
    for (int steps = 0; source != nullptr && steps < 1000; ++steps) {
        const TDataSet* ds = source->DataSet();
        if (ds == nullptr) return false;
        if (ds == this) return true;
        source = ds->GetDataSource();
    }
    return false;
}

void TDataSet::SetFilterText(const std::string& text) { filterText_ = text; }

void TDataSet::SetFiltered(bool value) {
    if (Active()) {
        CheckBrowseMode();
        if (filtered_ != value) {
            filtered_ = value;
            First();
        }
    } else {
        filtered_ = value;
    }
}

void TDataSet::SetFilterOptions(TFilterOptions options) { filterOptions_ = options; }

#define TARN_EVENT(Dispatcher, Event) \
    void TDataSet::Dispatcher() {     \
        if (Event) Event(*this);      \
    }
TARN_EVENT(DoBeforeOpen, BeforeOpen)
TARN_EVENT(DoAfterOpen, AfterOpen)
TARN_EVENT(DoBeforeClose, BeforeClose)
TARN_EVENT(DoAfterClose, AfterClose)
TARN_EVENT(DoBeforeInsert, BeforeInsert)
TARN_EVENT(DoAfterInsert, AfterInsert)
TARN_EVENT(DoBeforeEdit, BeforeEdit)
TARN_EVENT(DoAfterEdit, AfterEdit)
TARN_EVENT(DoBeforePost, BeforePost)
TARN_EVENT(DoAfterPost, AfterPost)
TARN_EVENT(DoBeforeCancel, BeforeCancel)
TARN_EVENT(DoAfterCancel, AfterCancel)
TARN_EVENT(DoBeforeDelete, BeforeDelete)
TARN_EVENT(DoAfterDelete, AfterDelete)
TARN_EVENT(DoBeforeRefresh, BeforeRefresh)
TARN_EVENT(DoAfterRefresh, AfterRefresh)
TARN_EVENT(DoOnCalcFields, OnCalcFields)
TARN_EVENT(DoOnNewRecord, OnNewRecord)
#undef TARN_EVENT

void TDataSet::DoBeforeScroll() {
    if (scrollEventsHeld_ == 0 && BeforeScroll) BeforeScroll(*this);
}

void TDataSet::DoAfterScroll() {
    if (scrollEventsHeld_ == 0 && AfterScroll) AfterScroll(*this);
}

}  // namespace tarn
