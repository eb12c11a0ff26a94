#include "tarndb/table.h"

#include <algorithm>

#include "platform/bytes.h"
#include "platform/dataset/names.h"
#include "tarndb/database.h"
#include "tarndb/file_io.h"
#include "tarndb/indexes.h"
#include "tarndb/record_list.h"
#include "tarndb/table_io.h"
#include "tarndb/tarn_record_buffer.h"

namespace tarn {

namespace b = tarn::bytes;

TTarnTable::TTarnTable(TTarnOwner* owner, const std::string& name)
    : TTDEDataSet(owner, name), indexDefs_(this), masterLink_(this) {
    masterLink_.OnMasterChange = [this](TMasterDataLink&) { ApplyMasterRange(); };
    masterLink_.OnMasterDisable = [this](TMasterDataLink&) { CancelRange(); };
}

TTarnTable::~TTarnTable() { CloseOnDestroy(); }

int TTarnTable::GetRecordCount() { return view_ ? view_->Count() : 0; }

// ---- properties ---------------------------------------------------------------------------

void TTarnTable::SetTableName(const std::string& name) {
    if (name == tableName_) return;
    CheckInactive();
    tableName_ = name;
}

void TTarnTable::SetDatabaseName(const std::string& value) {
    TTDEDataSet::SetDatabaseName(value);
    tableName_.clear();
    indexName_.clear();
}

void TTarnTable::SetIndexName(const std::string& name) {
    indexName_ = name;
    if (name.empty()) curIndex_ = -1;
    if (!Active()) return;
    CheckBrowseMode();
    SelectIndex();
    if (masterLink_.Active() && !masterLink_.Fields().empty()) ApplyMasterRange();
    if (Filtered()) ActivateFilter();
    First();
}

void TTarnTable::SetMasterSource(TDataSource* source) {
    if (source && IsLinkedTo(source)) DatabaseError("Circular datalinks are not allowed", this);
    masterLink_.SetDataSource(source);
}

void TTarnTable::SetMasterFields(const std::string& names) {
    std::string old = masterLink_.FieldNames();
    try {
        masterLink_.SetFieldNames(names);
    } catch (...) {
        try {
            masterLink_.SetFieldNames(old);
        } catch (...) {
        }
        throw;
    }
}

bool TTarnTable::GetCanModify() const {
    if (!CanModifyFlag() || readOnly_) return false;
    TTarnDatabase* db = Database();
    TTarnDBFileIO* io = db ? db->FileIO() : nullptr;
    return io && !io->ReadOnly();
}

// ---- opening and closing ------------------------------------------------------------------

void TTarnTable::InternalOpen() {
    TTarnTableIO* storage = Database() ? Database()->FindTableStorage(tableName_) : nullptr;
    if (storage == nullptr) DatabaseError(Format("Table '%s' not found", tableName_.c_str()), this);
    storage->AcquireTable();
    tableIO_ = storage;
    view_ = std::make_unique<TRecordList>();
    curRec_ = -1;
    SetBookmarkSize(4);
    SetCanModifyFlag(true);
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    // Which field object, if any, carries each field of the table.
    fieldNoOfStorageField_.assign(static_cast<size_t>(tableIO_->FieldCount()), 0);
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Fields(i);
        if (f->FieldNo() > 0 && f->FieldNo() <= tableIO_->FieldCount())
            fieldNoOfStorageField_[static_cast<size_t>(f->FieldNo() - 1)] = f->FieldNo();
    }
    BuildIndexDefs();
    SelectIndex();
    ComputeRecordSize();
    ComputeFieldOffsets();
    AllocKeyBuffers();
}

void TTarnTable::InternalClose() {
    if (tableIO_) tableIO_->ReleaseTable();
    tableIO_ = nullptr;
    view_.reset();
    FreeKeyBuffers();
    if (DefaultFields()) {
        BindFields(false);
        DestroyFields();
    }
    curRec_ = -1;
    SetCanModifyFlag(false);
    rangeActive_ = false;
    rangeKeyCount_ = 0;
}

void TTarnTable::InternalInitFieldDefs() {
    FieldDefs().Clear();
    if (!tableIO_) return;
    for (int i = 0; i < tableIO_->FieldCount(); ++i) {
        const TTarnFieldDef& def = tableIO_->FieldDefs()[i];
        TFieldType type = static_cast<TFieldType>(def.FieldType);
        bool sized =
            type == ftString || type == ftFixedChar || type == ftWideString || type == ftGuid;
        FieldDefs().Add(def.Name(), type, sized ? def.Size : 0);
    }
}

void TTarnTable::BuildIndexDefs() {
    indexDefs_.Clear();
    for (int i = 0; i < tableIO_->IndexCount(); ++i) {
        const TTarnIndexDef& def = tableIO_->IndexDefs()[i];
        std::string fields;
        for (size_t k = 0; k < def.KeyFields.size(); ++k) {
            std::string name = tableIO_->FieldDefs()[def.KeyFields[k]].Name();
            if (name.find_first_of(" ,") != std::string::npos) name = "\"" + name + "\"";
            fields += (k ? "," : "") + name;
        }
        indexDefs_.Add(def.Name(), fields, def.Options.Known());
    }
}

void TTarnTable::SelectIndex() {
    curIndex_ = FindDefIndex(tableIO_->IndexDefs(), indexName_);
    if (curIndex_ < 0 || indexName_.empty()) {
        curIndex_ = -1;
        for (int i = 0; i < tableIO_->IndexCount(); ++i)
            if (tableIO_->IndexDefs()[i].Options.Has(tiPrimary)) {
                curIndex_ = i;
                break;
            }
    }
    LoadViewList();
}

void TTarnTable::LoadViewList() {
    *view_ = tableIO_->RecordList(curIndex_ + 1);
    viewStamp_ = tableIO_->ListStamp(curIndex_ + 1);
    readAheadFrom_ = readAheadUntil_ = 0;
    readAheadRows_ = kReadAheadRows;
    SetCanModifyFlag(true);
}

// ---- reading --------------------------------------------------------------------------------

TFieldBuffers& TTarnTable::BindRecordBuffer(TRecordBuffer& buffer) {
    // Each record buffer keeps its binding: the addresses of its slots and blob streams do
    // not change while it lives, and it dies before the table closes.
    auto& tb = static_cast<TTarnRecordBuffer&>(buffer);
    if (tb.binding) return *tb.binding;
    tb.binding = std::make_unique<TFieldBuffers>();
    TFieldBuffers& fb = *tb.binding;
    uint8_t* base = buffer.Bytes().data();
    for (size_t i = 0; i < fieldNoOfStorageField_.size(); ++i) {
        int fieldNo = fieldNoOfStorageField_[i];
        if (fieldNo == 0) {
            fb.AddInactive();
            continue;
        }
        TFieldType type = tableIO_->FieldDefs()[static_cast<int>(i)].FieldType;
        if (IsBlobType(type))
            fb.AddBlob(BlobOf(buffer, fieldNo), type);
        else
            fb.Add(base + FieldOffset(fieldNo), type, tableIO_->SlotSize(static_cast<int>(i)));
    }
    return fb;
}

void TTarnTable::ReadRecord(TRecordBuffer& buffer, int index) {
    if (index < 0 || index >= GetRecordCount()) return;
    TFieldBuffers& fb = BindRecordBuffer(buffer);
    const TRecordEntry& e = view_->At(index);
    tableIO_->FetchEntry(fb, e);
}

TGetResult TTarnTable::GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) {
    int count = GetRecordCount();
    if (count == 0) return grEOF;
    switch (mode) {
        case gmCurrent:
            if (curRec_ < 0 || curRec_ >= count) {
                if (doCheck) DatabaseError("No records", this);
                return grError;
            }
            break;
        case gmNext:
            if (curRec_ >= count - 1) return grEOF;
            ++curRec_;
            break;
        case gmPrior:
            if (curRec_ <= 0) return grBOF;
            // From beyond the end (rows went away under a refresh): the last row.
            curRec_ = std::min(curRec_, count) - 1;
            break;
    }
    if (curRec_ < readAheadFrom_ || curRec_ >= readAheadUntil_) {
        if (mode != gmCurrent) {
            // A walk: read the next rows under one taking of the file lock. One that goes
            // on past the rows read ahead reads four times as many the next time, so a long
            // walk takes the lock a few times, not once every kReadAheadRows rows (a range of
            // 1,000 rows three times: 64, 256, then the rest).
            const bool onward =
                mode == gmNext ? curRec_ == readAheadUntil_ : curRec_ == readAheadFrom_ - 1;
            readAheadRows_ =
                onward ? std::min(readAheadRows_ * 4, MaxReadAheadRows()) : kReadAheadRows;
            readAheadFrom_ = mode == gmNext ? curRec_ : std::max(0, curRec_ - readAheadRows_ + 1);
            readAheadUntil_ = std::min(count, readAheadFrom_ + readAheadRows_);
            tableIO_->ReadAhead(*view_, readAheadFrom_, readAheadUntil_ - readAheadFrom_);
        } else {
            ReadSmallTableAhead(count);
        }
    } else if (mode == gmCurrent) {
        tableIO_->SeekReadAhead(static_cast<size_t>(curRec_ - readAheadFrom_));
    }
    ReadRecord(buffer, curRec_);
    SetBookmarkFlag(buffer, bfCurrent);
    uint8_t bookmark[4];
    b::PutI32(bookmark, 0, view_->At(curRec_).recNo);
    SetBookmarkData(buffer, bookmark);
    return grOK;
}

// Moves from row to row of a small table (the master of a master-detail pair, a table of
// codes looked up) would each take the file lock for one row. From the second such jump
// since the table was last written, every row is read ahead under one taking, and the
// jumps after it are served from the copies, each still checked against the file's bytes
// as any read-ahead copy is. Writes reset the count, so a run of appends or edits never
// rereads the table.
void TTarnTable::ReadSmallTableAhead(int count) {
    const uint64_t writes = tableIO_->WriteCount();
    if (writes != jumpsWriteCount_) {
        jumpsWriteCount_ = writes;
        jumps_ = 0;
    }
    if (++jumps_ < 2) return;
    if (static_cast<int64_t>(count) * tableIO_->RecordSize() > kReadAheadBytes) return;
    readAheadFrom_ = 0;
    readAheadUntil_ = count;
    tableIO_->ReadAhead(*view_, 0, count);
    tableIO_->SeekReadAhead(static_cast<size_t>(curRec_));
}

int TTarnTable::MaxReadAheadRows() const {
    const int64_t size = std::max<int64_t>(1, tableIO_->RecordSize());
    return static_cast<int>(std::max<int64_t>(kReadAheadRows, kReadAheadBytes / size));
}

int TTarnTable::PositionOfRecNo(int32_t recNo) const {
    return view_ ? view_->FindRecNo(recNo) : -1;
}

void TTarnTable::InternalGotoBookmark(std::span<const uint8_t> bookmark) {
    int pos = bookmark.size() >= 4 ? PositionOfRecNo(b::GetI32(bookmark, 0)) : -1;
    if (pos < 0) DatabaseError("Bookmark not found", this);
    curRec_ = pos;
}

bool TTarnTable::BookmarkValid(const TBookmark& bookmark) {
    return IsCursorOpen() && bookmark.size() >= 4 && PositionOfRecNo(b::GetI32(bookmark, 0)) >= 0;
}

// ---- writing --------------------------------------------------------------------------------

void TTarnTable::InternalPost() {
    TDataSet::InternalPost();
    TRecordBuffer* buffer = ActiveBuffer();
    if (buffer == nullptr) return;
    if (State() == dsEdit)
        ModifyRow(curRec_);
    else
        InsertRow(*buffer);
}

void TTarnTable::InternalAddRecord(TRecordBuffer& buffer, bool append) {
    if (append) InternalLast();
    InsertRow(buffer);
}

bool TTarnTable::ViewMatchesStorage() const {
    return !Filtered() && !rangeActive_ && viewStamp_ == tableIO_->ListStamp(curIndex_ + 1);
}

void TTarnTable::WriteInStep(const std::function<void()>& write) {
    bool matched = ViewMatchesStorage();
    uint64_t loaded = tableIO_->LoadStamp();
    write();
    if (matched && tableIO_->LoadStamp() == loaded) viewStamp_ = tableIO_->ListStamp(curIndex_ + 1);
}

void TTarnTable::InsertRow(TRecordBuffer& buffer) {
    TFieldBuffers& fb = BindRecordBuffer(buffer);
    WriteInStep([&] {
        // Positions from the storage are positions in the view only while the view matches
        // the storage's list (asked at the notification: the append may have reloaded it).
        tableIO_->AddRecord(fb, false, [this](int index, int position, const TRecordEntry& entry) {
            RowInserted(index, position, entry, ViewMatchesStorage());
        });
    });
}

void TTarnTable::RowInserted(int index, int position, const TRecordEntry& entry,
                             bool viewMatchesStorage) {
    if (index != curIndex_) return;
    if (curIndex_ == -1) {
        view_->PushBack(entry);
        curRec_ = view_->Count() - 1;
        return;
    }
    int p = viewMatchesStorage ? position : FindRowPosition();
    view_->Insert(p, entry);
    curRec_ = p;
}

int TTarnTable::FindRowPosition() {
    TFieldBuffers& fb = BindRecordBuffer(*ActiveBuffer());
    TKeySearch r = TTableIndexes::SearchKey(*tableIO_, fb, *view_, false, 0, curIndex_);
    if (r.outcome == -2) return 0;
    return r.outcome == -1 ? r.position : r.position + 1;
}

void TTarnTable::ModifyRow(int position) {
    if (position < 0 || position >= GetRecordCount()) return;
    const TRecordEntry e = view_->At(position);
    int physical = tableIO_->RecordList(0).LowerBoundRecNo(e.recNo);
    if (physical >= tableIO_->RecordList(0).Count() ||
        tableIO_->RecordList(0).At(physical).recNo != e.recNo)
        DatabaseError(TTarnTableIO::kRecordGone, this);
    TFieldBuffers& fb = BindRecordBuffer(*ActiveBuffer());
    WriteInStep([&] {
        tableIO_->ModifyRecord(fb, physical, false,
                               [this](int index, int from, int to) { RowMoved(index, from, to); });
    });
}

void TTarnTable::RowMoved(int index, int oldPosition, int newPosition) {
    if (index != curIndex_) return;
    if (ViewMatchesStorage() && oldPosition < view_->Count() && newPosition <= view_->Count() &&
        view_->At(oldPosition).recNo == view_->At(curRec_).recNo) {
        if (oldPosition < newPosition) --newPosition;
        TRecordEntry e = view_->At(oldPosition);
        view_->Erase(oldPosition);
        view_->Insert(newPosition, e);
        curRec_ = newPosition;
        return;
    }
    TRecordEntry e = view_->At(curRec_);
    view_->Erase(curRec_);
    int q = FindRowPosition();
    view_->Insert(q, e);
    curRec_ = q;
}

void TTarnTable::DeleteRow(int position) {
    if (position < 0 || position >= GetRecordCount()) return;
    const TRecordEntry e = view_->At(position);
    int physical = tableIO_->RecordList(0).LowerBoundRecNo(e.recNo);
    if (physical < tableIO_->RecordList(0).Count() &&
        tableIO_->RecordList(0).At(physical).recNo == e.recNo) {
        WriteInStep([&] {
            tableIO_->RemoveRecord(physical, false);
            view_->Erase(position);
        });
        return;
    }
    // Gone from the storage already (deleted through another dataset): the view no longer
    // matches it.
    view_->Erase(position);
    viewStamp_ = 0;
}

void TTarnTable::InternalDelete() {
    DeleteRow(curRec_);
    if (curRec_ >= GetRecordCount()) curRec_ = GetRecordCount() - 1;
}

void TTarnTable::Post() {
    TDataSet::Post();
    if (State() == dsSetKey) {
        DataEvent(deCheckBrowseMode);
        SetState(dsBrowse);
        DataEvent(deDataSetChange);
    }
}

void TTarnTable::InternalRefresh() {
    // One holding of the read lock: the view is taken from the state the commits made
    // before it left, and the range and the filter are applied to that same state.
    ReadLockGuard lock(tableIO_->File());
    tableIO_->CatchUp();
    SelectIndex();
    if (rangeActive_) ReapplyRange();
    if (Filtered()) ActivateFilter();
}

void TTarnTable::DoAfterOpen() {
    if (masterLink_.Active() && !masterLink_.Fields().empty()) ApplyMasterRange();
    TTDEDataSet::DoAfterOpen();
}

}  // namespace tarn
