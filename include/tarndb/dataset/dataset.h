// TDataSet: the dataset framework. It gives a set of records one current record with
// navigation (First, Next, Prior, Last, MoveBy, Eof, Bof, RecNo, RecordCount), editing
// (Append, Insert, Edit, Post, Cancel, Delete), bookmarks, field objects, calculated and
// lookup fields, events and notifications to data sources. What the records are and where
// they live belongs to a derived dataset, which plugs in through the protected virtual
// hooks below; the framework never interprets a record buffer's bytes.
//
// The framework keeps one current record buffer (ActiveBuffer), a spare buffer it fetches
// into (so a failed fetch never spoils the current record) and a scratch buffer for the
// derived dataset (TempBuffer). The derived dataset keeps its own cursor; the framework
// moves it with InternalFirst / InternalLast / GetRecord and puts it back on the current
// record with UpdateCursorPos (InternalSetToRecord) whenever it may have moved
// (CursorPosChanged).
//
// Errors are EDatabaseError with the literal message, prefixed with the dataset's Name and
// ": " when it has one (db_errors.h). Threads: a dataset and everything linked to it is
// used from one thread.
//
// Ownership: the dataset owns its fields, field defs and record buffers; data sources and
// links refer to it by plain pointers and are told when it goes away.
//
// ---------------------------------------------------------------------------------------
// Contract of the hooks a derived dataset implements (the engine's datasets do all of it):
//
// Opening and closing
//  - InternalOpen(): open the storage, then: InternalInitFieldDefs(); when DefaultFields(),
//    CreateFields(); BindFields(true); SetBookmarkSize(n); prepare the cursor before the
//    first record. After it returns AllocRecordBuffer must work (the framework allocates its
//    buffers right after) and GetRecord(gmNext) must deliver the first record.
//  - InternalClose(): release the storage and whatever InternalOpen acquired. It is also
//    called after an InternalOpen (or OpenCursor) that failed part way, so it must cope with
//    a partial open. It may destroy default fields itself (BindFields(false); DestroyFields()
//    when DefaultFields()); the framework does both afterwards in any case.
//  - IsCursorOpen(): whether the storage is open.
//  - InternalInitFieldDefs(): fill FieldDefs() from the storage (clear it first).
//  - OpenCursor(infoQuery) / CloseCursor(): a dataset that must attach to something before
//    the framework's open steps (a database) overrides these and calls the base versions.
//
// Record buffers
//  - AllocRecordBuffer(): a new buffer of the derived layout, zero-filled. Destroying the
//    buffer frees it (subclass TRecordBuffer to own more, such as blob streams).
//  - InternalInitRecord(buffer): default values of a new record.
//  - GetRecord(buffer, mode, doCheck): fetch the record at the cursor (gmCurrent), after it
//    (gmNext: the cursor moves to it) or before it (gmPrior), into `buffer`, with bookmark
//    data and flag bfCurrent. Results: grOK; grEOF / grBOF when there is no next / prior
//    record (also grEOF for any mode when there are no records at all; the cursor then does
//    not move); grError when gmCurrent finds no record at the cursor (with doCheck it may raise
//    instead). The framework computes the buffer's calculated fields after a grOK fetch:
//    GetRecord must not call GetCalcFields itself.
//  - Get/SetBookmarkData, Get/SetBookmarkFlag: the BookmarkSize() bookmark bytes and the
//    one-byte flag kept in a buffer (the flag belongs to the framework; store it as given).
//
// Cursor
//  - InternalFirst(): cursor before the first record; InternalLast(): after the last.
//  - InternalGotoBookmark(bookmark): cursor on the record of the bookmark, or raise
//    (the engine raises "Bookmark not found").
//  - InternalSetToRecord(buffer): cursor on the buffer's record (default: its bookmark data
//    through InternalGotoBookmark).
//  - GetRecordCount(), GetRecNo() (1-based; 0 when empty), SetRecNo(n): optional; the
//    defaults report -1 and ignore the move.
//  - InternalRefresh(): re-read the records (Refresh resynchronises afterwards).
//
// Field values (the dataset chooses the buffer by State(): ActiveBuffer in dsBrowse (none
// when IsEmpty()), dsEdit, dsInsert and dsNewValue; CalcBuffer() in dsCalcFields; its own key
// buffer in dsSetKey and filter buffer in dsFilter)
//  - GetFieldData(field, dest): copy the field's DataSize bytes into `dest`; return whether
//    the field has a value (an empty `dest` only asks). Calculated fields are null until set.
//  - SetFieldData(field, source): copy the bytes in (an empty `source` makes the field null
//    where the dataset can hold null); then, unless State() is dsCalcFields or dsFilter, call
//    DataEvent(deFieldChange, &field). The framework has checked the state beforehand.
//  - DataConvert(field, source, dest, toNative): date and time values between the record
//    buffer form and TDateTime (the default does the conversion of date_time.h).
//  - CreateBlobStream(field, mode): a stream over a blob field's value in the current buffer
//    (the default raises).
//
// Editing
//  - InternalEdit / InternalInsert / InternalCancel: optional preparations (default none).
//  - InternalPost(): write the active buffer: an update of the cursor's record in dsEdit, a
//    new record otherwise (the buffer's flag tells where it goes: bfInserted before the
//    bookmarked record, bfBOF first, bfEOF last); then leave the cursor on the written record.
//    Call the base version first: it checks required fields.
//  - InternalAddRecord(buffer, append): add a record from `buffer` (AppendRecord /
//    InsertRecord) and leave the cursor on it.
//  - InternalDelete(): delete the cursor's record; leave the cursor on the record that takes
//    its place, or on the new last record when the last was deleted.
//  - GetCanModify(): whether records may change (default true).
//  The framework calls UpdateCursorPos before InternalPost, InternalDelete and InternalEdit,
//  and re-reads the current record (Resync) after them.
//
// Searching and filtering
//  - FindRecord(restart, goForward): behind FindFirst / FindNext / FindPrior / FindLast.
//  - Locate / Lookup: the defaults scan the records in order (see below); override for
//    speed or for the storage's comparison rules.
//  - Filter / Filtered / FilterOptions and OnFilterRecord are stored here; the setters are
//    virtual so a dataset that filters can apply them.
// ---------------------------------------------------------------------------------------
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tarndb/dataset/component.h"
#include "tarndb/dataset/dataset_types.h"
#include "tarndb/dataset/db_errors.h"
#include "tarndb/dataset/field.h"
#include "tarndb/dataset/field_defs.h"
#include "tarndb/dataset/variant.h"
#include "tarndb/errors.h"
#include "tarndb/stream.h"

namespace tarn {

class TDataSource;

class TDataSet : public TComponent {
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
    using TDataSetErrorEvent = std::function<void(TDataSet&, const EDatabaseError&, TDataAction&)>;
    using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

    TDataSet();
    // A derived dataset's destructor must call CloseOnDestroy(): the base destructor can no
    // longer reach the derived hooks. The base destructor detaches data sources and frees
    // fields and buffers.
    ~TDataSet() override;

    // --- Opening and closing
    bool Active() const { return state_ != dsInactive; }
    // Opening: BeforeOpen; OpenCursor (InternalOpen, buffers, first record); state dsBrowse;
    // DoAfterOpen (AfterOpen); AfterScroll when a record is there. Opening an open dataset
    // does nothing. When opening fails before dsBrowse the dataset is closed again and the
    // error passes on. Closing: BeforeClose; state dsInactive; CloseCursor; AfterClose.
    // Closing discards a pending insert or edit (call Post first to keep it).
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    TDataSetState State() const { return state_; }
    // "Cannot perform this operation on a closed dataset" / "... on an open dataset".
    void CheckActive() const;
    void CheckInactive() const;

    // --- Navigation. Each first leaves an insert or edit (CheckBrowseMode) and fires
    // BeforeScroll; AfterScroll follows a completed move.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves up to `distance` records (negative: back) and returns how many it moved; stops
    // at the end (Eof) or the beginning (Bof).
    int MoveBy(int distance);
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    int RecNo() { return GetRecNo(); }
    virtual void SetRecNo(int value);
    int RecordCount() { return GetRecordCount(); }
    // True when there is no current record (and no record being inserted).
    bool IsEmpty() const { return !hasRecord_; }
    // BeforeRefresh; CheckBrowseMode; InternalRefresh; Resync; AfterRefresh.
    void Refresh();

    // --- Editing
    // Append / Insert: CheckBrowseMode; "Cannot modify a read-only dataset" unless CanModify;
    // BeforeInsert; BeforeScroll; a new record (InternalInitRecord) after the last / before
    // the current record; state dsInsert; OnNewRecord; AfterInsert; AfterScroll.
    void Append();
    void Insert();
    // Edit: nothing in dsEdit / dsInsert; Insert on an empty dataset; otherwise
    // CheckBrowseMode, CanModify check, BeforeEdit, InternalEdit (OnEditError), state dsEdit,
    // AfterEdit.
    void Edit();
    // Post: "Dataset not in edit or insert mode" outside dsEdit / dsInsert / dsSetKey. In
    // dsEdit / dsInsert: BeforePost; InternalPost (OnPostError may retry or abort); state
    // dsBrowse; Resync; AfterPost. On failure the dataset stays in its edit or insert state.
    virtual void Post();
    // Cancel: in dsEdit / dsInsert: BeforeCancel (and BeforeScroll for an insert); the
    // current record is read again; AfterScroll for an insert; AfterCancel.
    virtual void Cancel();
    // Delete: an insert is cancelled instead; "Cannot perform this operation on an empty
    // dataset" without a record; CanModify check; BeforeDelete; BeforeScroll; InternalDelete
    // (OnDeleteError); Resync; AfterDelete; AfterScroll.
    void Delete();
    // A new record with `values` assigned to the fields in order (Null leaves a field as
    // initialised), posted at once through InternalAddRecord. More values than fields raise
    // "Number of values does not match the fields".
    void AppendRecord(const std::vector<TVariant>& values);
    void InsertRecord(const std::vector<TVariant>& values);
    // Whether a data field changed since the record entered dsEdit / dsInsert.
    bool Modified() const { return modified_; }
    bool CanModify() const { return GetCanModify(); }
    // Leaves dsEdit / dsInsert by posting when modified, else cancelling; posts in dsSetKey.
    // "Cannot perform this operation on a closed dataset" on a closed dataset.
    void CheckBrowseMode();
    // Asks data links to write pending edits into the fields (deUpdateRecord).
    void UpdateRecord();

    // --- Bookmarks
    int BookmarkSize() const { return bookmarkSize_; }
    // Whether the current record has a bookmark (a fetched record, not a new one).
    bool BookmarkAvailable() const;
    // The current record's bookmark; empty when none is available.
    TBookmark GetBookmark() const;
    // An empty bookmark does nothing. Otherwise CheckBrowseMode, BeforeScroll,
    // InternalGotoBookmark, Resync (exact, centre), AfterScroll.
    void GotoBookmark(const TBookmark& bookmark);
    virtual bool BookmarkValid(const TBookmark& bookmark);
    // <0, 0, >0. The default says only equal (0) or not; datasets that know an order override.
    virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

    // --- Searching
    // The first record, in the dataset's order, whose fields `keyFields` (";"-separated) hold
    // `keyValues` (one value, or an array with one element per field) becomes current.
    // Options: loCaseInsensitive (letters compare without case), loPartialKey (a string field
    // matches when it begins with the key). Returns whether one was found; when not, the
    // current record stays. Unknown field names raise "Field '%s' not found".
    virtual bool Locate(const std::string& keyFields, const TVariant& keyValues,
                        TLocateOptions options);
    // The values of `resultFields` (one value, or an array for several names) on the first
    // record matching the keys exactly; Null when none. The current record does not change.
    virtual TVariant Lookup(const std::string& keyFields, const TVariant& keyValues,
                            const std::string& resultFields);
    bool FindFirst() { return FindRecord(true, true); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }
    bool FindLast() { return FindRecord(true, false); }
    bool Found() const { return found_; }

    // --- Fields
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    // "Field index out of range" outside 0 .. FieldCount - 1.
    TField* Fields(int index) const;
    // The field named `name` (letter case ignored), or EDatabaseError "Field '%s' not found"
    // (with the dataset's name in front when it has one).
    TField* FieldByName(const std::string& name) const;
    // The field named `name`, or nullptr.
    TField* FindField(const std::string& name) const;
    // The data field with that field number, or nullptr.
    TField* FieldByNumber(int fieldNo) const;
    // The fields of a ";"-separated list of names, in list order ("Field '%s' not found").
    std::vector<TField*> GetFieldList(const std::string& names) const;
    // One field's value, or an array of the values of several.
    TVariant GetFieldValues(const std::string& names) const;
    // Adds a persistent field (before opening: "Cannot perform this operation on an open
    // dataset"; "Duplicate field name '%s'"). Returns the field, owned by the dataset.
    TField* AddField(std::unique_ptr<TField> field);
    template <typename F, typename... Args>
    F* AddField(Args&&... args) {
        return static_cast<F*>(AddField(std::make_unique<F>(std::forward<Args>(args)...)));
    }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    const TFieldDefs& FieldDefs() const { return fieldDefs_; }
    // Bytes of the calculated area of a record buffer: for each calculated or lookup field
    // one flag byte and its DataSize bytes, at the field's Offset.
    int CalcFieldsSize() const { return calcFieldsSize_; }
    // Whether the open dataset created its fields from the field defs (no persistent fields).
    bool DefaultFields() const { return defaultFields_; }
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool v) { autoCalcFields_ = v; }

    // --- Filter properties (applied by datasets that filter; see the hook contract)
    const std::string& Filter() const { return filterText_; }
    void SetFilter(const std::string& text) { SetFilterText(text); }
    virtual void SetFilterText(const std::string& text);
    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool value);
    TFilterOptions FilterOptions() const { return filterOptions_; }
    virtual void SetFilterOptions(TFilterOptions options);

    // --- Cursor synchronisation
    // Refetches the current record from the cursor. Plain (0): the cursor's record, else the
    // next, else the prior; none: the dataset shows no record. rmExact: exactly the cursor's
    // record ("Record not found" when grError; no record when the dataset has none).
    void Resync(unsigned mode);
    // Puts the derived cursor back on the current record when it may have moved.
    void UpdateCursorPos();
    // Marks the derived cursor as moved away from the current record.
    void CursorPosChanged() { cursorInSync_ = false; }

    // --- Notifications
    // Handles an event (a field change marks the record modified and recomputes calculated
    // fields when AutoCalcFields) and passes it to the data sources unless controls are
    // disabled.
    virtual void DataEvent(TDataEvent event, TField* field = nullptr);
    // Suspends notifications to data sources (counted); the last EnableControls sends one
    // state and one data-set-change notification.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ != 0; }

    // --- Data sources and links
    // The data source this dataset follows as a detail (its master); none by default.
    virtual TDataSource* GetDataSource() const { return nullptr; }
    // True when following `source`'s chain of masters leads back to this dataset.
    bool IsLinkedTo(const TDataSource* source) const;

    // --- Field value transfer for field objects. `nativeFormat` false converts date and
    // time values to and from TDateTime (DataConvert). WriteFieldData raises
    // "Dataset not in edit or insert mode" outside a write state and
    // "Field '%s' cannot be modified" for a read-only field in dsEdit / dsInsert.
    bool ReadFieldData(const TField& field, std::span<uint8_t> buffer, bool nativeFormat);
    void WriteFieldData(TField& field, std::span<const uint8_t> buffer, bool nativeFormat);
    // The checks WriteFieldData makes, for writers that go through streams (blob fields).
    void CheckFieldWritable(const TField& field) const;
    // A stream over a blob field's value; the caller owns it. Default: EDatabaseError.
    virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

    // --- Events ("assigned" means non-empty)
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnCalcFields, OnNewRecord;
    TDataSetErrorEvent OnPostError, OnDeleteError, OnEditError;
    TFilterRecordEvent OnFilterRecord;

protected:
    // ===== Hooks (contracts in the header comment) =====
    virtual std::unique_ptr<TRecordBuffer> AllocRecordBuffer() = 0;
    virtual void InternalInitRecord(TRecordBuffer& buffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) = 0;
    // Size of the record data in a buffer, for callers that ask; not used by the framework.
    virtual int GetRecordSize() const { return 0; }

    virtual void GetBookmarkData(const TRecordBuffer& buffer, std::span<uint8_t> data) const = 0;
    virtual void SetBookmarkData(TRecordBuffer& buffer, std::span<const uint8_t> data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const = 0;
    virtual void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) = 0;
    virtual void InternalGotoBookmark(std::span<const uint8_t> bookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer& buffer);

    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecNo() { return -1; }
    virtual void InternalRefresh() {}
    // Receives an error that cannot be passed to a caller (a failure while the dataset is
    // closed on destruction). Default: dropped.
    virtual void InternalHandleException(std::exception_ptr error) { (void)error; }

    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalCancel() {}
    virtual void InternalPost();
    virtual void InternalDelete();
    virtual void InternalAddRecord(TRecordBuffer& buffer, bool append);
    virtual bool GetCanModify() const { return true; }

    virtual bool GetFieldData(const TField& field, std::span<uint8_t> dest) = 0;
    virtual void SetFieldData(TField& field, std::span<const uint8_t> source) = 0;
    virtual void DataConvert(const TField& field, std::span<const uint8_t> source,
                             std::span<uint8_t> dest, bool toNative);
    // Makes every calculated and lookup field of `buffer` null (CalcBuffer() := buffer, then
    // SetFieldData with no value in the dsCalcFields state). Called before OnCalcFields and
    // for new records.
    virtual void ClearCalcFields(TRecordBuffer& buffer);

    virtual bool FindRecord(bool restart, bool goForward);

    virtual void OpenCursor(bool infoQuery);
    virtual void CloseCursor();

    // Event dispatchers: each calls its event when assigned. Override to add steps.
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();
    virtual void DoBeforeInsert();
    virtual void DoAfterInsert();
    virtual void DoBeforeEdit();
    virtual void DoAfterEdit();
    virtual void DoBeforePost();
    virtual void DoAfterPost();
    virtual void DoBeforeCancel();
    virtual void DoAfterCancel();
    virtual void DoBeforeDelete();
    virtual void DoAfterDelete();
    virtual void DoBeforeScroll();
    virtual void DoAfterScroll();
    virtual void DoBeforeRefresh();
    virtual void DoAfterRefresh();
    virtual void DoOnCalcFields();
    virtual void DoOnNewRecord();

    // ===== Framework services for derived datasets =====
    TRecordBuffer* ActiveBuffer() const { return active_.get(); }
    TRecordBuffer* CalcBuffer() const { return calcBuffer_; }
    TRecordBuffer* TempBuffer() const { return temp_.get(); }
    // Enters a temporary state (notifications are held back meanwhile) and returns the state
    // to give RestoreState.
    TDataSetState SetTempState(TDataSetState value);
    void RestoreState(TDataSetState value);
    // Changes the state and notifies the data sources (deUpdateState).
    void SetState(TDataSetState value);
    void SetFound(bool value) { found_ = value; }
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }
    // Creates a field object for every field def. Binds data fields to their defs by name
    // ("Field '%s' not found"; a type that differs raises "Type mismatch for field ...") and
    // lays out the calculated area; false unbinds.
    void CreateFields();
    void BindFields(bool binding);
    void DestroyFields();
    // Computes the calculated and lookup fields of `buffer` in the dsCalcFields state:
    // CalculateFields, then back to the previous state.
    void GetCalcFields(TRecordBuffer& buffer);
    // The same steps in the current state (for a caller already in dsCalcFields that reads
    // the values afterwards): CalcBuffer() := buffer (it stays so), ClearCalcFields, lookup
    // values, OnCalcFields.
    void CalculateFields(TRecordBuffer& buffer);
    bool HasCalcFields() const { return calcFieldsSize_ > 0; }
    // "Cannot modify a read-only dataset" unless CanModify.
    void CheckCanModify() const;
    // "Field '%s' must have a value" for the first required data field that is null.
    void CheckRequiredFields();
    // The property values without side effects, for setters of derived datasets.
    void StoreFilterText(const std::string& text) { filterText_ = text; }
    void StoreFiltered(bool value) { filtered_ = value; }
    void StoreFilterOptions(TFilterOptions options) { filterOptions_ = options; }
    // For derived destructors: closes without events, handing a failure to
    // InternalHandleException.
    void CloseOnDestroy() noexcept;

private:
    friend class TDataSource;

    void DoInternalOpen();
    void AllocateBuffers();
    void FreeBuffers();
    void ClearBuffers();
    void InitRecord(TRecordBuffer& buffer);
    bool FetchRecord(TGetMode mode);
    bool GetNextRecord();
    bool GetPriorRecord();
    void BeginInsertAppend();
    void EndInsertAppend();
    void PrepareNewRecord(bool append);
    void InsertAppendRecord(const std::vector<TVariant>& values, bool append);
    void SetFields(const std::vector<TVariant>& values);
    void FreeFieldBuffers();
    void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& onError);
    void CalculateLookup(TField& field);
    bool RecordMatches(const std::vector<TField*>& fields, const std::vector<TVariant>& keys,
                       TLocateOptions options) const;
    bool ScanFor(const std::vector<TField*>& fields, const std::vector<TVariant>& keys,
                 TLocateOptions options);
    std::vector<TVariant> KeyList(const std::vector<TField*>& fields,
                                  const TVariant& keyValues) const;
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);

    TDataSetState state_ = dsInactive;
    bool bof_ = true;
    bool eof_ = true;
    bool hasRecord_ = false;     // active_ holds the current record (or the new record)
    bool cursorInSync_ = false;  // the derived cursor sits on the current record
    bool modified_ = false;
    bool found_ = false;
    bool defaultFields_ = false;
    bool internalOpenComplete_ = false;
    bool autoCalcFields_ = true;
    bool filtered_ = false;
    int scrollEventsHeld_ = 0;
    int bookmarkSize_ = 0;
    int calcFieldsSize_ = 0;
    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;
    std::string filterText_;
    TFilterOptions filterOptions_ = 0;

    std::unique_ptr<TRecordBuffer> active_;
    std::unique_ptr<TRecordBuffer> spare_;
    std::unique_ptr<TRecordBuffer> temp_;
    TRecordBuffer* calcBuffer_ = nullptr;

    TFieldDefs fieldDefs_;
    std::vector<std::unique_ptr<TField>> fields_;
    std::vector<TDataSource*> dataSources_;
};

}  // namespace tarn
