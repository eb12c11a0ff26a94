// TTarnBlobStream: the stream a dataset hands out for one blob field of its current record
// (CreateBlobStream). It starts as a copy of the record buffer's value (read modes) or
// empties it at once (write mode); in the writing modes every write is copied back into the
// record buffer's stream, marks the field modified and notifies the dataset. It never reads
// the file itself. The caller owns it.
//
// After each write the record's value equals this stream's contents. While nothing else
// changed either since the last write (this stream only by writes, the record's value not
// at all), the next write is applied to the record's value as it is, so a value written in
// many pieces costs time in proportion to its size; otherwise the whole stream is copied.
#pragma once

#include "tarndb/blob_stream.h"
#include "tarndb/dataset/field.h"
#include "tarndb/stream.h"

namespace tarn {

class TTDEDataSet;

class TTarnBlobStream : public TMemoryStream {
public:
    TTarnBlobStream(TTDEDataSet& dataSet, TField& field, TBlobStreamMode mode);

    size_t Write(const void* buffer, size_t count) override;
    void SetSize(int64_t newSize) override;
    bool Modified() const { return modified_; }
    bool Opened() const { return opened_; }

private:
    TOptimBlobStream* RecordValue() const;
    void WriteBack();
    void MarkModified();
    TTDEDataSet& dataSet_;
    TField& field_;
    TBlobStreamMode mode_;
    bool opened_ = false;
    bool modified_ = false;
    // The record value's Version() when it last equalled this stream; 0: not known to.
    uint64_t mirrored_ = 0;
};

}  // namespace tarn
