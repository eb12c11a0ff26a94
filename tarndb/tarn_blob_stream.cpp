#include "tarndb/tarn_blob_stream.h"

#include "tarndb/cursor.h"
#include "tarndb/dataset/typed_fields.h"
#include "tarndb/tarn_record_buffer.h"

namespace tarn {

TTarnBlobStream::TTarnBlobStream(TTDEDataSet& dataSet, TField& field, TBlobStreamMode mode)
    : dataSet_(dataSet), field_(field), mode_(mode) {
    if (mode_ != bmWrite) {
        if (TOptimBlobStream* value = RecordValue()) {
            Clear();
            value->SetPosition(0);  // loads the stored value on first use
            TMemoryStream::Write(value->Memory(), static_cast<size_t>(value->Size()));
            SetPosition(0);
            mirrored_ = value->Version();
        }
    }
    opened_ = true;
    if (mode_ == bmWrite) {
        Clear();
        WriteBack();
        MarkModified();
    }
}

size_t TTarnBlobStream::Write(const void* buffer, size_t count) {
    int64_t at = Position();
    size_t n = TMemoryStream::Write(buffer, count);
    if (mode_ != bmRead) {
        TOptimBlobStream* value = RecordValue();
        if (value && n > 0 && mirrored_ != 0 && value->Version() == mirrored_) {
            // The record's value equalled this stream before the write: the same write
            // keeps them equal.
            value->Seek(at, SeekOrigin::Beginning);
            value->WriteBuffer(buffer, n);
            value->Seek(0, SeekOrigin::End);
            mirrored_ = value->Version();
        } else {
            WriteBack();
        }
        MarkModified();
    }
    return n;
}

void TTarnBlobStream::SetSize(int64_t newSize) {
    mirrored_ = 0;  // not copied back: the record's value no longer equals this stream
    TMemoryStream::SetSize(newSize);
}

TOptimBlobStream* TTarnBlobStream::RecordValue() const {
    TTarnRecordBuffer* buf = dataSet_.ActiveRecBuf();
    return buf ? buf->Blob(field_.FieldNo()) : nullptr;
}

void TTarnBlobStream::WriteBack() {
    TOptimBlobStream* value = RecordValue();
    if (value == nullptr) return;
    int64_t pos = Position();
    value->Clear();  // the buffer's value is now ours: a later fetch location cannot overwrite it
    if (Size() > 0) value->WriteBuffer(Memory(), static_cast<size_t>(Size()));
    SetPosition(pos);
    mirrored_ = value->Version();
}

void TTarnBlobStream::MarkModified() {
    modified_ = true;
    if (auto* blob = dynamic_cast<TBlobField*>(&field_)) blob->SetModified(true);
    dataSet_.DataEvent(deFieldChange, &field_);
}

}  // namespace tarn
