// TTarnTable: the dataset that shows one table of a database. It binds itself to a table by
// name, keeps the ordered list of the rows in view (ViewList, walked by the cursor), orders
// it by an index, reads rows into record buffers, writes new, changed and deleted rows
// through the table storage while keeping the view and the cursor in step, finds rows by key
// values (Locate, Lookup), filters its rows (Filter, Filtered, OnFilterRecord) and can
// restrict them to the rows that match the current row of a master dataset.
//
// Typical use:
//   TTarnTable t;
//   t.SetDatabaseName("/path/catalogue.dat");   // a path, or a database's DatabaseName
//   t.SetTableName("People");
//   t.Open();
//   for (t.First(); !t.Eof(); t.Next()) use(t.FieldByName("Name")->AsString());
//
// Several tables on one database share its table storage, but each keeps its own view;
// rows written through another dataset appear after Refresh. Used from one thread.
//
// Durability of writes outside a transaction (Post, Delete): each is ordered, or journalled,
// so that a crash of the program at any moment leaves the file readable with every
// acknowledged row intact, but nothing is forced to the disk (the database's flush timer
// does that later). A power cut or a system crash can therefore leave any part of a recent
// write on the disk: in particular a memo or blob value rewritten in place may read as
// neither its old nor its new value. Where that matters, make the write in a transaction
// of the database with SyncCommit on (the default): TTarnDatabase::StartTransaction.
// Raises: EDatabaseError with the table's name in front where it has one ("Table '%s' not
// found", "No records", "Bookmark not found", "No index currently active", "Circular
// datalinks are not allowed", "Cannot modify a read-only dataset", the storage's
// "Invalid unique field value '%s'"), the filter language's errors.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tarndb/cursor.h"
#include "tarndb/dataset/data_source.h"
#include "tarndb/dataset/index_defs.h"
#include "tarndb/dataset/master_data_link.h"

namespace tarn {

class TTarnTableIO;
class TCompiledFilter;
class TRecordList;
class TFieldBuffers;
struct TRecordEntry;

class TTarnTable : public TTDEDataSet {
public:
    using TOnProgressEvent = std::function<void(TTarnTable& sender, int percent)>;
    // Called with true before a long filter scan and false after it, when the session's
    // SQLHourGlass is set: the application shows its wait cursor.
    static void SetBusyHandler(std::function<void(bool busy)> handler);

    explicit TTarnTable(TTarnOwner* owner = nullptr, const std::string& name = "");
    ~TTarnTable() override;

    const std::string& TableName() const { return tableName_; }
    // Raises: EDatabaseError "Cannot perform this operation on an open dataset" while open.
    void SetTableName(const std::string& name);
    const std::string& IndexName() const { return indexName_; }
    // Orders the view by the named index ("": record order). Raises: EDatabaseError "Index
    // '%s' not found" on an open table; the errors of posting a pending edit first.
    void SetIndexName(const std::string& name);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    const std::string& MasterFields() const { return masterLink_.FieldNames(); }
    void SetMasterFields(const std::string& names);
    TDataSource* MasterSource() const { return masterLink_.DataSource(); }
    // Raises: EDatabaseError "Circular datalinks are not allowed".
    void SetMasterSource(TDataSource* source);
    TIndexDefs& IndexDefs() { return indexDefs_; }
    void SetDatabaseName(const std::string& value) override;
    TOnProgressEvent OnFilterProgress;

    // Locate and Lookup raise: EDatabaseError "Field '%s' not found" for an unknown key
    // field, when fewer key values than key fields are given, and the conversion errors of a
    // key value that does not fit its field; EInOutError and EDatabaseError for an unreadable
    // or damaged file.
    bool Locate(const std::string& keyFields, const TVariant& keyValues,
                TLocateOptions options) override;
    TVariant Lookup(const std::string& keyFields, const TVariant& keyValues,
                    const std::string& resultFields) override;
    bool BookmarkValid(const TBookmark& bookmark) override;
    // Raises: EDatabaseError "Dataset not in edit or insert mode"; "Field '%s' must have a
    // value" for a required field left empty; the storage's "Invalid unique field value '%s'"
    // for a key a unique index holds already (nothing is written); "Wait for unlock time out"
    // when another holder keeps the file locked past the session's retry settings;
    // EInOutError when the file cannot be written.
    void Post() override;

    // The storage of the open table (nullptr while closed).
    TTarnTableIO* TableIO() const { return tableIO_; }
    // Position of the ordering index among the table's indexes; -1: record-number order.
    int CurIndex() const { return curIndex_; }
    bool RangeActive() const { return rangeActive_; }
    const TRecordList* ViewList() const { return view_.get(); }

protected:
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return view_ != nullptr; }
    void InternalInitFieldDefs() override;
    int GetRecordCount() override;
    TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) override;
    void InternalGotoBookmark(std::span<const uint8_t> bookmark) override;
    void InternalPost() override;
    void InternalAddRecord(TRecordBuffer& buffer, bool append) override;
    void InternalDelete() override;
    void InternalRefresh() override;
    bool GetCanModify() const override;
    TDataSource* GetDataSource() const override { return masterLink_.DataSource(); }
    void DoAfterOpen() override;
    void ReadRecord(TRecordBuffer& buffer, int index) override;
    void ActivateFilter() override;
    void DeactivateFilter() override;

private:
    // The filter expression as tests on stored records, when it has that form (else
    // `compiled` stays empty).
    void CompileFilter(TCompiledFilter& compiled);
    void BuildIndexDefs();
    void SelectIndex();
    void LoadViewList();
    // Field buffers over `buffer`, one per table field (inactive where the dataset has no
    // field object for it).
    TFieldBuffers& BindRecordBuffer(TRecordBuffer& buffer);
    // True while the view is a copy of the storage's list of the current order, kept in
    // step by this dataset's own writes (no filter, no range, and nobody else changed the
    // list since: its change stamp is the one the view last took).
    bool ViewMatchesStorage() const;
    // Runs a write through the storage; a view that matched the storage before still does
    // after it when the write changed the list only as it told this dataset.
    void WriteInStep(const std::function<void()>& write);
    void InsertRow(TRecordBuffer& buffer);
    void RowInserted(int index, int position, const TRecordEntry& entry, bool viewMatchesStorage);
    int FindRowPosition();
    void ModifyRow(int position);
    void RowMoved(int index, int oldPosition, int newPosition);
    void DeleteRow(int position);
    int PositionOfRecNo(int32_t recNo) const;
    // Master-detail.
    void ApplyMasterRange();
    void ApplyRange(const TRecordList& source);
    void ReapplyRange();
    void CancelRange();
    // Locate / Lookup.
    bool LocateRow(const std::string& keyFields, const TVariant& keyValues, bool move,
                   TLocateOptions options);
    int ChooseLocateIndex(const std::vector<TField*>& fields, bool caseInsensitive) const;
    int ScanLocate(const std::vector<TField*>& fields, TLocateOptions options);
    int IndexLocate(int index, TLocateOptions options);

    std::string tableName_, indexName_;
    bool readOnly_ = false;
    TTarnTableIO* tableIO_ = nullptr;
    std::unique_ptr<TRecordList> view_;
    int curIndex_ = -1;
    bool rangeActive_ = false;
    int rangeKeyCount_ = 0;
    TIndexDefs indexDefs_;
    TMasterDataLink masterLink_;
    // Positions of the view whose records were last read ahead for a walk.
    int readAheadFrom_ = 0, readAheadUntil_ = 0;
    // Change stamp of the storage list the view was copied from or last kept step with.
    uint64_t viewStamp_ = 0;
    // A walk reads kReadAheadRows ahead, then four times as many each time it goes on past
    // the rows read, up to kReadAheadBytes of records.
    static constexpr int kReadAheadRows = 64;
    static constexpr int64_t kReadAheadBytes = 64 * 1024;
    int readAheadRows_ = kReadAheadRows;
    int MaxReadAheadRows() const;
    // A range of at most this many rows is read ahead whole when it is applied.
    static constexpr int kRangeReadAheadRows = 256;
    // Jumps to rows outside the copies read ahead: counted since the table's last write.
    // The second one reads a small table ahead whole (at most kReadAheadBytes of records).
    void ReadSmallTableAhead(int count);
    uint64_t jumpsWriteCount_ = 0;
    int jumps_ = 0;
    std::vector<int> fieldNoOfStorageField_;  // storage field i -> field object's number (0: none)
};

}  // namespace tarn
