#include "tarndb/blob_stream.h"

#include <atomic>

#include "tarndb/file_io.h"

namespace tarn {

void TOptimBlobStream::Touch() {
    static std::atomic<uint64_t> next{1};
    version_ = next.fetch_add(1, std::memory_order_relaxed);
}

void TOptimBlobStream::SetStoredLocation(int64_t descriptorOffset, bool decrypt, bool decompress) {
    descriptorOffset_ = descriptorOffset;
    decrypt_ = decrypt;
    decompress_ = decompress;
    loaded_ = false;
    Touch();
}

void TOptimBlobStream::EnsureLoaded() {
    if (descriptorOffset_ == 0 || loaded_ || loading_) return;
    loaded_ = true;
    loading_ = true;
    struct Reset {
        TOptimBlobStream& self;
        ~Reset() {
            self.loading_ = false;
            self.Touch();
        }
    } reset{*this};
    TMemoryStream::SetSize(0);
    TMemoryStream::Seek(0, SeekOrigin::Beginning);
    try {
        fileAccess_().ReadBlobValue(descriptorOffset_, decrypt_, decompress_, *this);
    } catch (...) {
        // Whatever was decoded is not the value: leave the stream stale and empty, so the
        // next reader sees the error again and posting the record cannot write a partial
        // value over the stored one.
        loaded_ = false;
        TMemoryStream::SetSize(0);
        throw;
    }
}

size_t TOptimBlobStream::Read(void* buffer, size_t count) {
    EnsureLoaded();
    return TMemoryStream::Read(buffer, count);
}

size_t TOptimBlobStream::Write(const void* buffer, size_t count) {
    if (!loading_) loaded_ = true;
    Touch();
    return TMemoryStream::Write(buffer, count);
}

int64_t TOptimBlobStream::Seek(int64_t offset, SeekOrigin origin) {
    EnsureLoaded();
    return TMemoryStream::Seek(offset, origin);
}

void TOptimBlobStream::SetSize(int64_t newSize) {
    if (!loading_) loaded_ = true;
    Touch();
    TMemoryStream::SetSize(newSize);
}

int64_t TOptimBlobStream::Size() {
    EnsureLoaded();
    return TMemoryStream::Size();
}

}  // namespace tarn
