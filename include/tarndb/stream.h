// Byte streams: the abstract `TStream` (read, write, seek, size) and the growable
// in-memory `TMemoryStream`. Streams are used from one thread at a time.
//
// `Read` / `Write` move up to `count` bytes and return how many moved; `ReadBuffer` /
// `WriteBuffer` move exactly `count` bytes or raise EReadError ("Stream read error") /
// EWriteError ("Stream write error").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

enum class SeekOrigin { Beginning, Current, End };

class TStream {
public:
    virtual ~TStream() = default;

    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position; returns the new position. Negative results are clamped to 0.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, SeekOrigin::Beginning); }
    virtual int64_t Size();

    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);
    // Copies `count` bytes from `source`'s position; count 0 copies the whole source
    // from its beginning. Returns the number of bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    void Clear();
    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    // The whole content as a byte string.
    std::string Bytes() const { return std::string(data_.begin(), data_.end()); }
    void LoadFromStream(TStream& source);

private:
    std::vector<uint8_t> data_;
    size_t position_ = 0;
};

}  // namespace tarn
