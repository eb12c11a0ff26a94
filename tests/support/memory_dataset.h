// A small dataset over rows kept in memory, for tests of the dataset framework and of code
// built on it. It plugs into TDataSet the way a storage-backed dataset does: its cursor is
// an index into the row list (-1 before the first row, RecordCount after the last), a record
// buffer is the data area (each data field's DataSize bytes in field order), the calculated
// area, the 4-byte bookmark (the row's id) and the bookmark flag byte; blob values travel
// in the buffer object beside the bytes.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "tarndb/dataset/dataset.h"
#include "tarndb/dataset/typed_fields.h"

namespace tarn::testing {

struct MemColumn {
    std::string name;
    TFieldType type;
    int size = 0;
};

class MemoryDataSet : public TDataSet {
public:
    explicit MemoryDataSet(std::vector<MemColumn> columns) : columns_(std::move(columns)) {}
    ~MemoryDataSet() override { CloseOnDestroy(); }

    void SetReadOnly(bool v) { readOnly_ = v; }
    // Makes the next InternalOpen fail with `message` (once).
    void FailNextOpen(std::string message) { failOpen_ = std::move(message); }
    // Makes the next InternalPost fail with `message` `times` times.
    void FailPosts(std::string message, int times) {
        failPost_ = std::move(message);
        failPostCount_ = times;
    }
    int CurRec() const { return curRec_; }
    size_t StoredRows() const { return rows_.size(); }
    int InternalOpenCalls() const { return openCalls_; }
    int InternalCloseCalls() const { return closeCalls_; }

protected:
    struct Row {
        int32_t id = 0;
        std::vector<uint8_t> data;
        std::map<int, std::string> blobs;  // by field number
    };

    class Buffer : public TRecordBuffer {
    public:
        using TRecordBuffer::TRecordBuffer;
        std::map<int, std::string> blobs;
    };

    // The buffer field values go to and come from in the current state.
    Buffer* ActiveRecBuf() const {
        TRecordBuffer* b = nullptr;
        switch (State()) {
            case dsBrowse:
                b = IsEmpty() ? nullptr : ActiveBuffer();
                break;
            case dsEdit:
            case dsInsert:
            case dsNewValue:
                b = ActiveBuffer();
                break;
            case dsCalcFields:
                b = CalcBuffer();
                break;
            case dsSetKey:
            case dsFilter:
                b = TempBuffer();
                break;
            default:
                break;
        }
        return static_cast<Buffer*>(b);
    }

    std::unique_ptr<TRecordBuffer> AllocRecordBuffer() override {
        return std::make_unique<Buffer>(static_cast<size_t>(dataSize_ + CalcFieldsSize() + 5));
    }

    void InternalInitRecord(TRecordBuffer& buffer) override {
        auto bytes = buffer.Bytes();
        std::fill(bytes.begin(), bytes.end(), 0);
        static_cast<Buffer&>(buffer).blobs.clear();
    }

    void ReadRow(TRecordBuffer& buffer, int index) {
        const Row& row = rows_[static_cast<size_t>(index)];
        auto bytes = buffer.Bytes();
        std::copy(row.data.begin(), row.data.end(), bytes.begin());
        static_cast<Buffer&>(buffer).blobs = row.blobs;
        uint8_t id[4];
        bytes::PutI32(id, 0, row.id, "field value");
        SetBookmarkData(buffer, id);
        SetBookmarkFlag(buffer, bfCurrent);
    }

    TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) override {
        int count = static_cast<int>(rows_.size());
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
                --curRec_;
                break;
        }
        ReadRow(buffer, curRec_);
        return grOK;
    }

    size_t BookmarkOffset() const { return static_cast<size_t>(dataSize_ + CalcFieldsSize()); }

    void GetBookmarkData(const TRecordBuffer& buffer, std::span<uint8_t> data) const override {
        auto src = buffer.Bytes().subspan(BookmarkOffset(), 4);
        std::copy(src.begin(), src.begin() + std::min<size_t>(4, data.size()), data.begin());
    }
    void SetBookmarkData(TRecordBuffer& buffer, std::span<const uint8_t> data) override {
        auto dst = buffer.Bytes().subspan(BookmarkOffset(), 4);
        std::copy(data.begin(), data.begin() + std::min<size_t>(4, data.size()), dst.begin());
    }
    TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override {
        return static_cast<TBookmarkFlag>(buffer.Bytes()[BookmarkOffset() + 4]);
    }
    void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override {
        buffer.Bytes()[BookmarkOffset() + 4] = static_cast<uint8_t>(flag);
    }

    int PositionOf(std::span<const uint8_t> bookmark) const {
        if (bookmark.size() < 4) return -1;
        int32_t id = bytes::GetI32(bookmark, 0, "field value");
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].id == id) return static_cast<int>(i);
        return -1;
    }

    void InternalGotoBookmark(std::span<const uint8_t> bookmark) override {
        int pos = PositionOf(bookmark);
        if (pos < 0) DatabaseError("Bookmark not found", this);
        curRec_ = pos;
    }

    void InternalOpen() override {
        ++openCalls_;
        if (!failOpen_.empty()) {
            std::string m = std::move(failOpen_);
            failOpen_.clear();
            DatabaseError(m, this);
        }
        InternalInitFieldDefs();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        offsets_.assign(columns_.size() + 1, 0);
        dataSize_ = 0;
        for (int i = 0; i < FieldCount(); ++i) {
            TField* f = Fields(i);
            if (f->FieldNo() <= 0) continue;
            offsets_[static_cast<size_t>(f->FieldNo())] = dataSize_;
            dataSize_ += f->DataSize();
        }
        SetBookmarkSize(4);
        curRec_ = -1;
        open_ = true;
    }

    void InternalClose() override {
        ++closeCalls_;
        open_ = false;
        curRec_ = -1;
    }

    bool IsCursorOpen() const override { return open_; }

    void InternalInitFieldDefs() override {
        FieldDefs().Clear();
        for (const MemColumn& c : columns_) FieldDefs().Add(c.name, c.type, c.size);
    }

    void InternalFirst() override { curRec_ = -1; }
    void InternalLast() override { curRec_ = static_cast<int>(rows_.size()); }
    int GetRecordCount() override { return open_ ? static_cast<int>(rows_.size()) : 0; }

    int GetRecNo() override {
        UpdateCursorPos();
        if (curRec_ == -1 && !rows_.empty()) return 1;
        return curRec_ + 1;
    }

public:
    void SetRecNo(int value) override {
        CheckBrowseMode();
        if (value < 0 || value > static_cast<int>(rows_.size()) || value == RecNo()) return;
        DoBeforeScroll();
        curRec_ = value - 1;
        Resync(0);
        DoAfterScroll();
    }

    bool BookmarkValid(const TBookmark& bookmark) override {
        return open_ && PositionOf(bookmark) >= 0;
    }

    int CompareBookmarks(const TBookmark& a, const TBookmark& b) const override {
        if (a.size() < 4 || b.size() < 4) return TDataSet::CompareBookmarks(a, b);
        int32_t x = bytes::GetI32(a, 0, "field value");
        int32_t y = bytes::GetI32(b, 0, "field value");
        return x < y ? -1 : (x > y ? 1 : 0);
    }

    std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;

protected:
    bool GetFieldData(const TField& field, std::span<uint8_t> dest) override {
        Buffer* buf = ActiveRecBuf();
        if (buf == nullptr) return false;
        auto bytes = buf->Bytes();
        size_t size = static_cast<size_t>(field.DataSize());
        if (field.IsCalculated()) {
            size_t at = static_cast<size_t>(dataSize_ + field.Offset());
            bool has = bytes[at] != 0;
            if (has && !dest.empty())
                std::copy_n(bytes.begin() + at + 1, std::min(size, dest.size()), dest.begin());
            return has;
        }
        if (field.IsBlob()) return true;
        if (!dest.empty()) {
            size_t at = static_cast<size_t>(offsets_[static_cast<size_t>(field.FieldNo())]);
            std::copy_n(bytes.begin() + at, std::min(size, dest.size()), dest.begin());
        }
        return true;
    }

    void SetFieldData(TField& field, std::span<const uint8_t> source) override {
        Buffer* buf = ActiveRecBuf();
        if (buf == nullptr) return;
        auto bytes = buf->Bytes();
        size_t size = static_cast<size_t>(field.DataSize());
        if (field.IsCalculated()) {
            size_t at = static_cast<size_t>(dataSize_ + field.Offset());
            bytes[at] = source.empty() ? 0 : 1;
            std::fill_n(bytes.begin() + at + 1, size, 0);
            if (!source.empty())
                std::copy_n(source.begin(), std::min(size, source.size()), bytes.begin() + at + 1);
        } else if (!source.empty()) {
            size_t at = static_cast<size_t>(offsets_[static_cast<size_t>(field.FieldNo())]);
            std::copy_n(source.begin(), std::min(size, source.size()), bytes.begin() + at);
        }
        if (State() != dsCalcFields && State() != dsFilter) DataEvent(deFieldChange, &field);
    }

    Row RowFrom(const TRecordBuffer& buffer) {
        Row row;
        row.id = nextId_++;
        auto bytes = buffer.Bytes();
        row.data.assign(bytes.begin(), bytes.begin() + dataSize_);
        row.blobs = static_cast<const Buffer&>(buffer).blobs;
        return row;
    }

    void InternalPost() override {
        TDataSet::InternalPost();
        if (failPostCount_ > 0) {
            --failPostCount_;
            DatabaseError(failPost_, this);
        }
        TRecordBuffer* buf = ActiveBuffer();
        if (State() == dsEdit) {
            Row& row = rows_[static_cast<size_t>(curRec_)];
            auto bytes = buf->Bytes();
            row.data.assign(bytes.begin(), bytes.begin() + dataSize_);
            row.blobs = static_cast<Buffer*>(buf)->blobs;
            return;
        }
        // The framework put the cursor on the insert position (the bookmarked row, or
        // before the first / after the last).
        int pos = std::clamp(curRec_, 0, static_cast<int>(rows_.size()));
        if (GetBookmarkFlag(*buf) == bfEOF) pos = static_cast<int>(rows_.size());
        rows_.insert(rows_.begin() + pos, RowFrom(*buf));
        curRec_ = pos;
    }

    void InternalAddRecord(TRecordBuffer& buffer, bool append) override {
        int pos = append ? static_cast<int>(rows_.size())
                         : std::clamp(curRec_, 0, static_cast<int>(rows_.size()));
        rows_.insert(rows_.begin() + pos, RowFrom(buffer));
        curRec_ = pos;
    }

    void InternalDelete() override {
        if (curRec_ >= 0 && curRec_ < static_cast<int>(rows_.size()))
            rows_.erase(rows_.begin() + curRec_);
        if (curRec_ >= static_cast<int>(rows_.size())) --curRec_;
    }

    bool GetCanModify() const override { return !readOnly_; }

private:
    friend class MemBlobStream;

    std::vector<MemColumn> columns_;
    std::vector<Row> rows_;
    std::vector<int> offsets_;
    int dataSize_ = 0;
    int curRec_ = -1;
    int32_t nextId_ = 1;
    bool open_ = false;
    bool readOnly_ = false;
    std::string failOpen_;
    std::string failPost_;
    int failPostCount_ = 0;
    int openCalls_ = 0;
    int closeCalls_ = 0;
};

// A stream over one blob value of a record buffer: it starts as a copy of the value
// (reading modes) or empties it (bmWrite), and copies itself back after every write while
// the mode allows writing.
class MemBlobStream : public TMemoryStream {
public:
    MemBlobStream(TDataSet& ds, TField& field, std::string* target, TBlobStreamMode mode)
        : ds_(ds), field_(field), target_(target), mode_(mode) {
        if (target_ != nullptr && mode_ != bmWrite) {
            TMemoryStream::Write(target_->data(), target_->size());
            TMemoryStream::Seek(0, SeekOrigin::Beginning);
        }
        if (mode_ == bmWrite) WriteBack();
    }

    size_t Write(const void* buffer, size_t count) override {
        size_t n = TMemoryStream::Write(buffer, count);
        if (mode_ != bmRead) WriteBack();
        return n;
    }

private:
    void WriteBack() {
        if (target_ != nullptr) *target_ = Bytes();
        if (auto* blob = dynamic_cast<TBlobField*>(&field_)) blob->SetModified(true);
        ds_.DataEvent(deFieldChange, &field_);
    }

    TDataSet& ds_;
    TField& field_;
    std::string* target_;
    TBlobStreamMode mode_;
};

inline std::unique_ptr<TStream> MemoryDataSet::CreateBlobStream(TField& field,
                                                                TBlobStreamMode mode) {
    Buffer* buf = ActiveRecBuf();
    std::string* target = buf != nullptr ? &buf->blobs[field.FieldNo()] : nullptr;
    return std::make_unique<MemBlobStream>(*this, field, target, mode);
}

}  // namespace tarn::testing
