// TOptimBlobStream: the blob value held by one record buffer for one blob field. An
// in-memory stream that loads the stored value from the file only when somebody first
// reads or positions it; any write or resize makes the caller's contents the value.
//
// Owned by the record buffer it belongs to; used on the thread that owns the database.
// Errors while loading (a damaged file, a failing decoder) pass to the reader; the stream
// then stays unloaded and empty, so every later reader (and posting the record, which
// writes the value back) meets the same error instead of a partial value.
#pragma once

#include <cstdint>
#include <functional>

#include "tarndb/stream.h"

namespace tarn {

class TTarnDBFileIO;

class TOptimBlobStream : public TMemoryStream {
public:
    // `fileAccess` gives the database's file object when a value must be loaded.
    explicit TOptimBlobStream(std::function<TTarnDBFileIO&()> fileAccess)
        : fileAccess_(std::move(fileAccess)) {
        Touch();
    }

    // Remembers where the stored value is and how to decode it; the contents are stale.
    void SetStoredLocation(int64_t descriptorOffset, bool decrypt, bool decompress);
    void EnsureLoaded();
    bool Loaded() const { return loaded_; }
    int64_t DescriptorOffset() const { return descriptorOffset_; }
    // A number that changes whenever the contents may change (write, resize, load, new
    // location) and that no other state of any blob stream ever had: equal numbers mean
    // the same stream with the same contents.
    uint64_t Version() const { return version_; }

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override;

private:
    void Touch();
    std::function<TTarnDBFileIO&()> fileAccess_;
    uint64_t version_ = 0;
    int64_t descriptorOffset_ = 0;
    bool decrypt_ = false;
    bool decompress_ = false;
    bool loaded_ = false;
    bool loading_ = false;
};

}  // namespace tarn
