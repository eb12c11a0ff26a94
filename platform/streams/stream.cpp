#include "tarndb/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "tarndb/errors.h"

namespace tarn {

int64_t TStream::Size() {
    int64_t pos = Seek(0, SeekOrigin::Current);
    int64_t end = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Beginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr size_t kChunk = 64 * 1024;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, kChunk)));
    int64_t done = 0;
    while (done < count) {
        size_t n = static_cast<size_t>(std::min<int64_t>(count - done, kChunk));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        done += static_cast<int64_t>(n);
    }
    return done;
}

TMemoryStream::TMemoryStream(std::string bytes) : data_(bytes.begin(), bytes.end()) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= data_.size()) return 0;
    size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (count > std::numeric_limits<size_t>::max() - position_) return 0;
    size_t end = position_ + count;
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    switch (origin) {
        case SeekOrigin::Beginning:
            base = 0;
            break;
        case SeekOrigin::Current:
            base = static_cast<int64_t>(position_);
            break;
        case SeekOrigin::End:
            base = static_cast<int64_t>(data_.size());
            break;
    }
    int64_t pos = base + offset;
    if (pos < 0) pos = 0;
    position_ = static_cast<size_t>(pos);
    return pos;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) newSize = 0;
    data_.resize(static_cast<size_t>(newSize));
    if (position_ > data_.size()) position_ = data_.size();
}

void TMemoryStream::Clear() {
    SetSize(0);  // through the virtual, so derived streams see the change
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    int64_t n = source.Size();
    data_.resize(static_cast<size_t>(n));
    if (n > 0) source.ReadBuffer(data_.data(), static_cast<size_t>(n));
    position_ = 0;
}

}  // namespace tarn
