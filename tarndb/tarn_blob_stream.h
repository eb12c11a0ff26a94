// TTarnBlobStream: the stream a dataset hands out for one blob field of its current record
// (CreateBlobStream). It starts as a copy of the record buffer's value (read modes) or
// empties it at once (write mode); in the writing modes every write is copied back into the
// record buffer's stream, marks the field modified and notifies the dataset. It never reads
// the file itself. The caller owns it.
#pragma once

#include "platform/dataset/field.h"
#include "platform/streams/stream.h"

namespace tarn {

class TTDEDataSet;

class TTarnBlobStream : public TMemoryStream {
public:
    TTarnBlobStream(TTDEDataSet& dataSet, TField& field, TBlobStreamMode mode);

    size_t Write(const void* buffer, size_t count) override;
    bool Modified() const { return modified_; }
    bool Opened() const { return opened_; }

private:
    void WriteBack();
    void MarkModified();
    TTDEDataSet& dataSet_;
    TField& field_;
    TBlobStreamMode mode_;
    bool opened_ = false;
    bool modified_ = false;
};

}  // namespace tarn
