#include "tarndb/tarn_blob_stream.h"

#include "platform/dataset/typed_fields.h"
#include "tarndb/cursor.h"

namespace tarn {

TTarnBlobStream::TTarnBlobStream(TTDEDataSet& dataSet, TField& field, TBlobStreamMode mode)
    : dataSet_(dataSet), field_(field), mode_(mode) {
    if (mode_ != bmWrite) {
        TTarnRecordBuffer* buf = dataSet_.ActiveRecBuf();
        if (TOptimBlobStream* value = buf ? buf->Blob(field_.FieldNo()) : nullptr) {
            Clear();
            value->SetPosition(0);  // loads the stored value on first use
            TMemoryStream::Write(value->Memory(), static_cast<size_t>(value->Size()));
            SetPosition(0);
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
    size_t n = TMemoryStream::Write(buffer, count);
    if (mode_ != bmRead) {
        WriteBack();
        MarkModified();
    }
    return n;
}

void TTarnBlobStream::WriteBack() {
    TTarnRecordBuffer* buf = dataSet_.ActiveRecBuf();
    TOptimBlobStream* value = buf ? buf->Blob(field_.FieldNo()) : nullptr;
    if (value == nullptr) return;
    int64_t pos = Position();
    value->Clear();  // the buffer's value is now ours: a later fetch location cannot overwrite it
    if (Size() > 0) value->WriteBuffer(Memory(), static_cast<size_t>(Size()));
    SetPosition(pos);
}

void TTarnBlobStream::MarkModified() {
    modified_ = true;
    if (auto* blob = dynamic_cast<TBlobField*>(&field_)) blob->SetModified(true);
    dataSet_.DataEvent(deFieldChange, &field_);
}

}  // namespace tarn
