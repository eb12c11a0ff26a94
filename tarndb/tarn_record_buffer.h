// A record buffer of the engine's datasets: the bytes of one record plus, per blob field, the
// stream that holds its value, and the table's field buffers bound over it.
#pragma once

#include <memory>
#include <vector>

#include "tarndb/blob_stream.h"
#include "tarndb/dataset/dataset.h"
#include "tarndb/field_buffers.h"

namespace tarn {

class TTarnRecordBuffer : public TRecordBuffer {
public:
    using TRecordBuffer::TRecordBuffer;
    std::vector<std::unique_ptr<TOptimBlobStream>> blobs;  // index: field number - 1
    // The table's field buffers over this buffer, built once on first use.
    std::unique_ptr<TFieldBuffers> binding;
    TOptimBlobStream* Blob(int fieldNo) const {
        size_t i = static_cast<size_t>(fieldNo - 1);
        return i < blobs.size() ? blobs[i].get() : nullptr;
    }
};

}  // namespace tarn
