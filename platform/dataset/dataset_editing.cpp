// TDataSet: inserting, editing, posting, cancelling and deleting records.
#include "tarndb/dataset/dataset.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn {

void TDataSet::CheckCanModify() const {
    if (!CanModify()) DatabaseError(msg::kDataSetReadOnly, this);
}

void TDataSet::CheckRequiredFields() {
    for (const auto& field : fields_) {
        if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
            field->IsNull())
            DatabaseError(Format(msg::kFieldRequired, field->FieldName().c_str()), this);
    }
}

void TDataSet::InternalPost() { CheckRequiredFields(); }

void TDataSet::InternalDelete() { DatabaseError(msg::kDeleteNotSupported, this); }

void TDataSet::InternalAddRecord(TRecordBuffer& buffer, bool append) {
    (void)buffer;
    (void)append;
    DatabaseError(msg::kAddRecordNotSupported, this);
}

void TDataSet::CheckOperation(const std::function<void()>& operation,
                              const TDataSetErrorEvent& onError) {
    for (;;) {
        try {
            UpdateCursorPos();
            operation();
            return;
        } catch (const EDatabaseError& e) {
            TDataAction action = daFail;
            if (onError) onError(*this, e, action);
            if (action == daFail) throw;
            if (action == daAbort) throw EAbort();
            // daRetry: run the operation again.
        }
    }
}

void TDataSet::FreeFieldBuffers() {
    for (const auto& field : fields_)
        if (auto* blob = dynamic_cast<TBlobField*>(field.get())) blob->SetModified(false);
}

void TDataSet::UpdateRecord() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
        DatabaseError(msg::kNotEditing, this);
    DataEvent(deUpdateRecord);
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (modified_)
                Post();
            else
                Cancel();
            break;
        case dsSetKey:
            Post();
            break;
        default:
            break;
    }
}

void TDataSet::InitRecord(TRecordBuffer& buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

// Turns the current buffer into a new record: after the last record (append), before the
// current one, or the first of an empty dataset. The derived cursor is repositioned from
// the buffer's flag before the record is posted.
void TDataSet::PrepareNewRecord(bool append) {
    TBookmark oldCurrent = append ? TBookmark() : GetBookmark();
    bool hadRecord = hasRecord_;
    if (append) ClearBuffers();
    InitRecord(*active_);
    if (append)
        SetBookmarkFlag(*active_, bfEOF);
    else if (!hadRecord || oldCurrent.empty())
        SetBookmarkFlag(*active_, hadRecord ? bfEOF : bfBOF);
    else
        SetBookmarkData(*active_, oldCurrent);
    hasRecord_ = true;
    cursorInSync_ = false;
    bof_ = false;
    eof_ = false;
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(0);
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    PrepareNewRecord(false);
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    PrepareNewRecord(true);
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    CheckActive();
    if (!hasRecord_) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation([this] { InternalEdit(); }, OnEditError);
    GetCalcFields(*active_);
    SetState(dsEdit);
    DataEvent(deRecordChange);
    DoAfterEdit();
}

void TDataSet::Post() {
    UpdateRecord();
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    DoBeforePost();
    CheckOperation([this] { InternalPost(); }, OnPostError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    DoBeforeCancel();
    bool scrolls = state_ == dsInsert;
    if (scrolls) DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    if (scrolls) DoAfterScroll();
    DoAfterCancel();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (!hasRecord_) DatabaseError(msg::kDataSetEmpty, this);
    CheckCanModify();
    DataEvent(deCheckBrowseMode);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::SetFields(const std::vector<TVariant>& values) {
    if (values.size() > fields_.size()) DatabaseError(msg::kValueCountMismatch, this);
    for (size_t i = 0; i < values.size(); ++i)
        if (!values[i].IsNull()) fields_[i]->SetAsVariant(values[i]);
}

void TDataSet::InsertAppendRecord(const std::vector<TVariant>& values, bool append) {
    CheckActive();
    if (values.size() > fields_.size()) DatabaseError(msg::kValueCountMismatch, this);
    BeginInsertAppend();
    PrepareNewRecord(append);
    SetState(dsInsert);
    try {
        DoOnNewRecord();
        SetFields(values);
        DoBeforePost();
        CheckOperation([this, append] { InternalAddRecord(*active_, append); }, OnPostError);
    } catch (...) {
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync(0);
        throw;
    }
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(0);
    DoAfterPost();
    DoAfterScroll();
}

void TDataSet::AppendRecord(const std::vector<TVariant>& values) {
    InsertAppendRecord(values, true);
}

void TDataSet::InsertRecord(const std::vector<TVariant>& values) {
    InsertAppendRecord(values, false);
}

}  // namespace tarn
