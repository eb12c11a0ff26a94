// The engine's dataset layers on the dataset framework:
//  - TTDBDataSet binds a dataset by name to a database (TTarnDatabase) through a session,
//    attaching when the dataset opens and detaching when it closes.
//  - TTDEDataSet is the cursor: the record buffer layout, record buffers with their blob
//    streams, field value transfer with date and time conversion, the current-record index
//    (CurRec) with record numbers and bookmarks, the medium type, and the filter machinery
//    (the filter parser, AcceptRecord, FindRecord and the filter property setters). The
//    table (TTarnTable) implements what is left open: the record list, ReadRecord,
//    ActivateFilter and DeactivateFilter.
//
// Record buffer layout:
//   0                          RecDataSize  data area: each data field's slot, in field
//                                           order (4 bytes for a blob field, whose value
//                                           lives in the buffer's TOptimBlobStream)
//   RecDataSize                CalcSize     calculated area: per calculated / lookup field a
//                                           flag byte and its data bytes, at its Offset
//   RecDataSize + CalcSize     4            bookmark: the record number
//   RecDataSize + CalcSize + 4 1            bookmark flag
//
// Used on the thread that owns the dataset. Raises: EDatabaseError with the dataset's name in
// front where it has one; the errors of the database layer and of the filter language.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tarndb/database.h"
#include "tarndb/dataset/dataset.h"
#include "tarndb/owner.h"

namespace tarn {

class TTarnSession;
class TTarnRecordBuffer;
class TOptimBlobStream;
class TFilterParser;
class TFilterDataSource;
struct TFilterField;

class TTDBDataSet : public TDataSet, public TTarnOwned, public TTarnDatabaseClient {
public:
    explicit TTDBDataSet(TTarnOwner* owner = nullptr, const std::string& name = "");
    ~TTDBDataSet() override;

    const std::string& DatabaseName() const { return databaseName_; }
    virtual void SetDatabaseName(const std::string& value);
    const std::string& SessionName() const { return sessionName_; }
    void SetSessionName(const std::string& value);
    // The attached database while open; nullptr while closed.
    TTarnDatabase* Database() const { return database_; }
    TTarnDBMediumType MediumType() const { return medium_; }
    void SetMediumType(TTarnDBMediumType value);

    void SetComponentName(const std::string& name) override;
    void OwnerSessionNamed(TTarnSession& session) override;

    // TTarnDatabaseClient
    void DatabaseConnectionChanged(bool) override {}
    void CloseForDatabase() override { Close(); }
    void DatabaseMediumChanged(TTarnDBMediumType medium) override { medium_ = medium; }
    // Cancels an edit in progress and shows the tables as the rollback left them.
    void DatabaseRolledBack() override;

protected:
    void OpenCursor(bool infoQuery) override;
    void CloseCursor() override;
    // The session this dataset uses (the attached database's, else by SessionName, else the
    // default session).
    TTarnSession& CurrentSession() const;

private:
    void Detach();
    std::string databaseName_, sessionName_;
    TTarnDBMediumType medium_ = TTarnDBMediumType::mtDisk;
    TTarnDatabase* database_ = nullptr;
    TTarnSession* session_ = nullptr;
};

// A record buffer of the engine: the bytes of the layout above and one blob stream per blob
// data field (by field number).

class TTDEDataSet : public TTDBDataSet {
public:
    explicit TTDEDataSet(TTarnOwner* owner = nullptr, const std::string& name = "");
    ~TTDEDataSet() override;

    void SetFilterText(const std::string& text) override;
    void SetFiltered(bool value) override;
    void SetFilterOptions(TFilterOptions options) override;

    int CurRec() const { return curRec_; }
    int RecDataSize() const { return recDataSize_; }
    int RecBufSize() const { return recBufSize_; }
    // Offset of a data field's slot in the data area.
    int FieldOffset(int fieldNo) const {
        return fieldOffsets_.at(static_cast<size_t>(fieldNo - 1));
    }

    std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;

    TFilterParser& FilterParser() { return *filterParser_; }

protected:
    // ---- for the table ----
    virtual void ActivateFilter() {}
    virtual void DeactivateFilter() {}
    virtual void ReadRecord(TRecordBuffer& buffer, int index) {
        (void)buffer;
        (void)index;
    }
    // The buffer field access works on in the current state, or nullptr.
    TTarnRecordBuffer* ActiveRecBuf() const;
    // The filter test of the record in FilterBuffer (the dataset in the filter state).
    bool AcceptRecord();
    void ComputeRecordSize();
    void ComputeFieldOffsets();
    void AllocKeyBuffers();
    void FreeKeyBuffers();
    TTarnRecordBuffer* KeyBuffers(int i) const { return keyBuffers_[static_cast<size_t>(i)].get(); }
    void SetKeyBuffer(TTarnRecordBuffer* b) { keyBuffer_ = b; }
    void SetFilterBuffer(TTarnRecordBuffer* b) { filterBuffer_ = b; }
    void SetCanModifyFlag(bool v) { canModifyFlag_ = v; }
    bool CanModifyFlag() const { return canModifyFlag_; }
    int BookmarkOffset() const { return recDataSize_ + CalcFieldsSize(); }
    int32_t BookmarkRecNo(const TRecordBuffer& buffer) const;
    // The record buffer's blob stream of a field, by field number.
    TOptimBlobStream* BlobOf(TRecordBuffer& buffer, int fieldNo) const;

    int curRec_ = -1;

    // ---- TDataSet hooks ----
    std::unique_ptr<TRecordBuffer> AllocRecordBuffer() override;
    void InternalInitRecord(TRecordBuffer& buffer) override;
    int GetRecordSize() const override { return recDataSize_; }
    void GetBookmarkData(const TRecordBuffer& buffer, std::span<uint8_t> data) const override;
    void SetBookmarkData(TRecordBuffer& buffer, std::span<const uint8_t> data) override;
    TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override;
    void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override;
    void InternalFirst() override { curRec_ = -1; }
    void InternalLast() override { curRec_ = GetRecordCount(); }
    int GetRecordCount() override { return 0; }
    int GetRecNo() override;
    bool GetFieldData(const TField& field, std::span<uint8_t> dest) override;
    void SetFieldData(TField& field, std::span<const uint8_t> source) override;
    bool FindRecord(bool restart, bool goForward) override;
    bool GetCanModify() const override { return canModifyFlag_; }
    void DoAfterOpen() override;

public:
    void SetRecNo(int value) override;

private:
    friend class TTarnBlobStream;
    friend class TCursorFilterSource;
    // What the filter language reads of the current record (see TCursorFilterSource).
    int FilterFieldIndex(std::string_view name) const;
    TFilterField FilterFieldInfo(int fieldIndex) const;
    bool FilterRecordBuffer(std::span<const uint8_t>& buffer) const;
    std::string FilterBlobText(int fieldIndex);

    std::unique_ptr<TFilterDataSource> filterSource_;
    std::unique_ptr<TFilterParser> filterParser_;
    int recDataSize_ = 0;
    int recBufSize_ = 0;
    std::vector<int> fieldOffsets_;
    std::array<std::unique_ptr<TTarnRecordBuffer>, 2> keyBuffers_;
    TTarnRecordBuffer* keyBuffer_ = nullptr;
    TTarnRecordBuffer* filterBuffer_ = nullptr;
    bool canModifyFlag_ = false;
};

}  // namespace tarn
