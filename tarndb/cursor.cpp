#include "tarndb/cursor.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/dataset/names.h"
#include "tarndb/datetime.h"
#include "tarndb/filter/data_source.h"
#include "tarndb/filter/filter_parser.h"
#include "tarndb/session.h"
#include "tarndb/tarn_blob_stream.h"
#include "tarndb/tarn_record_buffer.h"

namespace tarn {

namespace b = tarn::bytes;

// ---- TTDBDataSet ------------------------------------------------------------------------------

TTDBDataSet::TTDBDataSet(TTarnOwner* owner, const std::string& name) : TTarnOwned(owner, name) {
    SetName(name);
    if (owner)
        for (TTarnOwned* c : owner->Components())
            if (auto* s = dynamic_cast<TTarnSession*>(c); s && s->AutoSessionName())
                sessionName_ = s->SessionName();
}

TTDBDataSet::~TTDBDataSet() { Detach(); }

void TTDBDataSet::SetComponentName(const std::string& name) {
    TTarnOwned::SetComponentName(name);
    SetName(name);
}

void TTDBDataSet::OwnerSessionNamed(TTarnSession& session) {
    if (!SameName(sessionName_, session.SessionName())) sessionName_ = session.SessionName();
}

void TTDBDataSet::SetDatabaseName(const std::string& value) {
    if (value == databaseName_) return;
    CheckInactive();
    if (database_) DatabaseError("Cannot perform this operation on an open database", this);
    databaseName_ = value;
    DataEvent(dePropertyChange);
}

void TTDBDataSet::SetSessionName(const std::string& value) {
    CheckInactive();
    sessionName_ = value;
    DataEvent(dePropertyChange);
}

TTarnSession& TTDBDataSet::CurrentSession() const {
    if (database_) return database_->Session();
    if (TTarnSession* s = Sessions().LookupSession(sessionName_)) return *s;
    return Sessions().DefaultSession();
}

void TTDBDataSet::SetMediumType(TTarnDBMediumType value) {
    if (value == medium_) return;
    CheckInactive();
    medium_ = value;
    if (TTarnDatabase* db = CurrentSession().LookupDatabase(databaseName_))
        db->SetMediumType(value);
}

void TTDBDataSet::OpenCursor(bool infoQuery) {
    if (!sessionName_.empty() && !databaseName_.empty())
        if (TTarnSession* named = Sessions().LookupSession(sessionName_))
            named->ClaimWaitingDatabase(databaseName_);
    session_ = Sessions().RequireSession(sessionName_);
    database_ = session_->AttachDatabase(databaseName_, Owner(), true, medium_);
    database_->RegisterClient(this);
    try {
        database_->VerifyAccess();
        TDataSet::OpenCursor(infoQuery);
    } catch (...) {
        Detach();
        throw;
    }
}

void TTDBDataSet::DatabaseRolledBack() {
    if (!Active()) return;
    if (State() == dsEdit || State() == dsInsert) Cancel();
    Refresh();
}

void TTDBDataSet::CloseCursor() {
    TDataSet::CloseCursor();
    Detach();
}

void TTDBDataSet::Detach() {
    if (!database_) return;
    TTarnDatabase* db = database_;
    database_ = nullptr;
    db->UnregisterClient(this);
    session_->DetachDatabase(db);  // may free a temporary database
}

// ---- TTDEDataSet ------------------------------------------------------------------------------

// The dataset as the filter language sees it: field lookup, the layout of a field's value in
// the current record buffer, and blob text.
class TCursorFilterSource final : public TFilterDataSource {
public:
    explicit TCursorFilterSource(TTDEDataSet& dataSet) : dataSet_(dataSet) {}
    std::string DataSetName() const override { return dataSet_.Name(); }
    int FindField(std::string_view name) const override { return dataSet_.FilterFieldIndex(name); }
    TFilterField FieldInfo(int fieldIndex) const override {
        return dataSet_.FilterFieldInfo(fieldIndex);
    }
    bool GetActiveRecBuf(std::span<const uint8_t>& buffer) const override {
        return dataSet_.FilterRecordBuffer(buffer);
    }
    std::string BlobText(int fieldIndex) override { return dataSet_.FilterBlobText(fieldIndex); }

private:
    TTDEDataSet& dataSet_;
};

TTDEDataSet::TTDEDataSet(TTarnOwner* owner, const std::string& name)
    : TTDBDataSet(owner, name),
      filterSource_(std::make_unique<TCursorFilterSource>(*this)),
      filterParser_(std::make_unique<TFilterParser>(filterSource_.get())) {}

TTDEDataSet::~TTDEDataSet() { CloseOnDestroy(); }

void TTDEDataSet::ComputeRecordSize() {
    recDataSize_ = 0;
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Fields(i);
        if (f->FieldNo() > 0) recDataSize_ += f->IsBlob() ? 4 : f->DataSize();
    }
    recBufSize_ = recDataSize_ + CalcFieldsSize() + 5;
}

void TTDEDataSet::ComputeFieldOffsets() {
    int maxNo = 0;
    for (int i = 0; i < FieldCount(); ++i) maxNo = std::max(maxNo, Fields(i)->FieldNo());
    fieldOffsets_.assign(static_cast<size_t>(maxNo), 0);
    int offset = 0;
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Fields(i);
        if (f->FieldNo() <= 0) continue;
        fieldOffsets_[static_cast<size_t>(f->FieldNo() - 1)] = offset;
        offset += f->IsBlob() ? 4 : f->DataSize();
    }
}

void TTDEDataSet::AllocKeyBuffers() {
    try {
        for (auto& k : keyBuffers_) {
            k.reset(static_cast<TTarnRecordBuffer*>(AllocRecordBuffer().release()));
            InternalInitRecord(*k);
        }
    } catch (...) {
        FreeKeyBuffers();
        throw;
    }
}

void TTDEDataSet::FreeKeyBuffers() {
    for (auto& k : keyBuffers_) k.reset();
    keyBuffer_ = nullptr;
}

std::unique_ptr<TRecordBuffer> TTDEDataSet::AllocRecordBuffer() {
    auto buffer = std::make_unique<TTarnRecordBuffer>(static_cast<size_t>(recBufSize_));
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Fields(i);
        if (f->FieldNo() <= 0 || !f->IsBlob()) continue;
        if (buffer->blobs.size() < static_cast<size_t>(f->FieldNo()))
            buffer->blobs.resize(static_cast<size_t>(f->FieldNo()));
        buffer->blobs[static_cast<size_t>(f->FieldNo() - 1)] =
            std::make_unique<TOptimBlobStream>([this]() -> TTarnDBFileIO& {
                TTarnDBFileIO* io = Database() ? Database()->FileIO() : nullptr;
                if (io == nullptr)
                    DatabaseError("Cannot perform this operation on a closed database", this);
                return *io;
            });
    }
    return buffer;
}

void TTDEDataSet::InternalInitRecord(TRecordBuffer& buffer) {
    auto bytes = buffer.Bytes();
    auto& tb = static_cast<TTarnRecordBuffer&>(buffer);
    TTimeStamp now = NowTimeStamp();
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Fields(i);
        if (f->IsCalculated()) {
            size_t at = static_cast<size_t>(recDataSize_ + f->Offset());
            std::fill_n(bytes.begin() + static_cast<long>(at), f->DataSize() + 1, 0);
            continue;
        }
        if (f->FieldNo() <= 0) continue;
        std::span<uint8_t> slot = bytes.subspan(static_cast<size_t>(FieldOffset(f->FieldNo())));
        if (f->IsBlob()) {
            if (TOptimBlobStream* s = tb.Blob(f->FieldNo())) s->Clear();
            continue;
        }
        switch (f->DataType()) {
            case ftDateTime:
                b::PutF64(slot, 0, 59926521600000.0);  // 1899-12-30 00:00
                break;
            case ftDate:
                b::PutI32(slot, 0, now.Date);
                break;
            case ftTime:
                b::PutI32(slot, 0, now.Time);
                break;
            default:
                std::fill_n(slot.begin(), f->DataSize(), 0);
        }
    }
}

void TTDEDataSet::GetBookmarkData(const TRecordBuffer& buffer, std::span<uint8_t> data) const {
    auto src = buffer.Bytes().subspan(static_cast<size_t>(BookmarkOffset()), 4);
    std::copy_n(src.begin(), std::min<size_t>(4, data.size()), data.begin());
}

void TTDEDataSet::SetBookmarkData(TRecordBuffer& buffer, std::span<const uint8_t> data) {
    auto dst = buffer.Bytes().subspan(static_cast<size_t>(BookmarkOffset()), 4);
    std::copy_n(data.begin(), std::min<size_t>(4, data.size()), dst.begin());
}

TBookmarkFlag TTDEDataSet::GetBookmarkFlag(const TRecordBuffer& buffer) const {
    return static_cast<TBookmarkFlag>(buffer.Bytes()[static_cast<size_t>(BookmarkOffset() + 4)]);
}

void TTDEDataSet::SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) {
    buffer.Bytes()[static_cast<size_t>(BookmarkOffset() + 4)] = static_cast<uint8_t>(flag);
}

int32_t TTDEDataSet::BookmarkRecNo(const TRecordBuffer& buffer) const {
    return b::GetI32(buffer.Bytes(), static_cast<size_t>(BookmarkOffset()));
}

TOptimBlobStream* TTDEDataSet::BlobOf(TRecordBuffer& buffer, int fieldNo) const {
    return static_cast<TTarnRecordBuffer&>(buffer).Blob(fieldNo);
}

int TTDEDataSet::GetRecNo() {
    UpdateCursorPos();
    if (curRec_ == -1 && GetRecordCount() > 0) return 1;
    return curRec_ + 1;
}

void TTDEDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    if (value < 0 || value > GetRecordCount() || value == RecNo()) return;
    DoBeforeScroll();
    curRec_ = value - 1;
    Resync(0);
    DoAfterScroll();
}

TTarnRecordBuffer* TTDEDataSet::ActiveRecBuf() const {
    TRecordBuffer* buf = nullptr;
    switch (State()) {
        case dsBrowse:
            buf = IsEmpty() ? nullptr : ActiveBuffer();
            break;
        case dsEdit:
        case dsInsert:
        case dsNewValue:
            buf = ActiveBuffer();
            break;
        case dsSetKey:
            buf = keyBuffer_;
            break;
        case dsCalcFields:
            buf = CalcBuffer();
            break;
        case dsFilter:
            buf = filterBuffer_;
            break;
        default:
            break;
    }
    return static_cast<TTarnRecordBuffer*>(buf);
}

bool TTDEDataSet::GetFieldData(const TField& field, std::span<uint8_t> dest) {
    TTarnRecordBuffer* buf = ActiveRecBuf();
    if (buf == nullptr) return false;
    auto bytes = buf->Bytes();
    size_t size = static_cast<size_t>(field.DataSize());
    if (field.IsCalculated()) {
        size_t at = static_cast<size_t>(recDataSize_ + field.Offset());
        bool has = bytes[at] != 0;
        if (has && !dest.empty())
            std::copy_n(bytes.begin() + static_cast<long>(at) + 1, std::min(size, dest.size()),
                        dest.begin());
        return has;
    }
    if (dest.empty()) return true;  // a data field is never null
    if (field.IsBlob()) DatabaseError("General error");
    size_t at = static_cast<size_t>(FieldOffset(field.FieldNo()));
    std::copy_n(bytes.begin() + static_cast<long>(at), std::min(size, dest.size()), dest.begin());
    return true;
}

void TTDEDataSet::SetFieldData(TField& field, std::span<const uint8_t> source) {
    TTarnRecordBuffer* buf = ActiveRecBuf();
    if (buf == nullptr) return;
    auto bytes = buf->Bytes();
    size_t size = static_cast<size_t>(field.DataSize());
    if (field.IsCalculated()) {
        size_t at = static_cast<size_t>(recDataSize_ + field.Offset());
        bytes[at] = source.empty() ? 0 : 1;
        if (!source.empty())
            std::copy_n(source.begin(), std::min(size, source.size()),
                        bytes.begin() + static_cast<long>(at) + 1);
    } else if (!source.empty()) {
        if (field.IsBlob()) DatabaseError("General error");
        size_t at = static_cast<size_t>(FieldOffset(field.FieldNo()));
        std::fill_n(bytes.begin() + static_cast<long>(at), size, 0);
        std::copy_n(source.begin(), std::min(size, source.size()),
                    bytes.begin() + static_cast<long>(at));
    }
    if (State() != dsCalcFields && State() != dsFilter) DataEvent(deFieldChange, &field);
}

std::unique_ptr<TStream> TTDEDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
    return std::make_unique<TTarnBlobStream>(*this, field, mode);
}

// ---- filtering ----------------------------------------------------------------------------------

bool TTDEDataSet::AcceptRecord() {
    bool accept = true;
    if (OnFilterRecord) OnFilterRecord(*this, accept);
    if (accept && !Filter().empty()) {
        TEvalOptions options;
        options.CaseInsensitive = (FilterOptions() & foCaseInsensitive) != 0;
        options.NoPartialCompare = (FilterOptions() & foNoPartialCompare) != 0;
        accept = filterParser_->Calculate(options);
    }
    return accept;
}

void TTDEDataSet::DoAfterOpen() {
    if (Filtered()) ActivateFilter();
    TDataSet::DoAfterOpen();
}

void TTDEDataSet::SetFiltered(bool value) {
    if (!Active()) {
        StoreFiltered(value);
        return;
    }
    CheckBrowseMode();
    if (value != Filtered()) {
        if (value)
            ActivateFilter();
        else
            DeactivateFilter();
        StoreFiltered(value);
    }
    First();
}

void TTDEDataSet::SetFilterText(const std::string& text) {
    std::string old = Filter();
    TFilterOptions options = FilterOptions();
    bool counts = false;
    if (Active()) {
        CheckBrowseMode();
        if (!text.empty()) filterParser_->Parse(text);
        counts = text != old;
    }
    StoreFilterText(text);
    StoreFilterOptions(options);
    if (counts && Filtered()) {
        try {
            DeactivateFilter();
            ActivateFilter();
        } catch (...) {
            StoreFilterText(old);
            throw;
        }
    }
}

void TTDEDataSet::SetFilterOptions(TFilterOptions options) {
    std::string text = Filter();
    bool counts = false;
    if (Active()) {
        CheckBrowseMode();
        if (!text.empty()) filterParser_->Parse(text);
        counts = options != FilterOptions();
    }
    StoreFilterOptions(options);
    if (counts && Filtered()) {
        DeactivateFilter();
        ActivateFilter();
    }
}

bool TTDEDataSet::FindRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    int count = GetRecordCount();
    int start, stop, step;
    if (goForward) {
        start = restart ? 0 : curRec_ + 1;
        stop = count - 1;
        step = 1;
    } else {
        start = restart ? count - 1 : curRec_ - 1;
        stop = 0;
        step = -1;
    }
    if (!Filter().empty()) filterParser_->Parse(Filter());
    int remembered = curRec_;
    bool found = false;
    // Candidates are read into the spare record buffer, never into the current record's: a
    // search that stops with an error leaves the current row showing its own values, so an
    // edit posted afterwards cannot carry another row's values onto it.
    filterBuffer_ = static_cast<TTarnRecordBuffer*>(TempBuffer());
    TDataSetState saved = SetTempState(dsFilter);
    try {
        for (int pos = start; count > 0 && (step > 0 ? pos <= stop : pos >= stop); pos += step) {
            curRec_ = pos;
            ReadRecord(*filterBuffer_, pos);
            if (AcceptRecord()) {
                found = true;
                break;
            }
        }
    } catch (...) {
        RestoreState(saved);
        curRec_ = remembered;
        throw;
    }
    RestoreState(saved);
    if (found)
        SetFound(true);
    else
        curRec_ = remembered;
    Resync(rmExact | rmCenter);
    if (found) DoAfterScroll();
    return found;
}

// ---- the filter's view of the fields ------------------------------------------------------

int TTDEDataSet::FilterFieldIndex(std::string_view name) const {
    for (int i = 0; i < FieldCount(); ++i)
        if (SameName(Fields(i)->FieldName(), name)) return i;
    return -1;
}

TFilterField TTDEDataSet::FilterFieldInfo(int fieldIndex) const {
    TField* f = Fields(fieldIndex);
    TFilterField info;
    info.FieldNo = f->FieldNo();
    info.DataType = static_cast<int>(f->DataType());
    info.IsBlob = f->IsBlob();
    info.Size = f->IsBlob() ? 4 : f->DataSize();
    if (f->IsCalculated()) {
        info.Kind =
            f->FieldKind() == fkLookup ? TFilterFieldKind::Lookup : TFilterFieldKind::Calculated;
        info.Offset = recDataSize_ + f->Offset() + 1;
    } else if (f->FieldNo() > 0 && static_cast<size_t>(f->FieldNo()) <= fieldOffsets_.size()) {
        info.Offset = FieldOffset(f->FieldNo());
    }
    return info;
}

bool TTDEDataSet::FilterRecordBuffer(std::span<const uint8_t>& buffer) const {
    TTarnRecordBuffer* buf = ActiveRecBuf();
    if (buf == nullptr) return false;
    buffer = buf->Bytes();
    return true;
}

std::string TTDEDataSet::FilterBlobText(int fieldIndex) {
    TTarnRecordBuffer* buf = ActiveRecBuf();
    TOptimBlobStream* s = buf ? buf->Blob(Fields(fieldIndex)->FieldNo()) : nullptr;
    if (s == nullptr) return {};
    s->SetPosition(0);  // loads it
    return s->Bytes();
}

}  // namespace tarn
