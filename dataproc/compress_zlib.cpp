#include "dataproc/compress_zlib.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "platform/bytes.h"
#include "tarndb/errors.h"

namespace tarn {

namespace {

constexpr int kWindowBits = 15;
constexpr int kMemLevel = 8;
// Deflate cannot expand data by more than this factor (a 258-byte match costs at least
// two bits); used only to bound the first allocation for a unit's claimed size.
constexpr int64_t kMaxInflateRatio = 1032;

void PutInt32LE(TStream& s, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                          static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
    s.WriteBuffer(b, 4);
}

void Clear(TStream& s) {
    s.SetSize(0);
    s.SetPosition(0);
}

// The value's bytes: straight from a memory stream's storage (unless that stream is also
// the destination), else read into `holder`.
const uint8_t* ValueBytes(TStream& source, const TStream& dest, int64_t size,
                          std::vector<uint8_t>& holder) {
    auto* mem = dynamic_cast<TMemoryStream*>(&source);
    if (mem != nullptr && &source != &dest) return mem->Memory();
    holder.resize(static_cast<size_t>(size));
    source.SetPosition(0);
    source.ReadBuffer(holder.data(), holder.size());
    return holder.data();
}

class Deflater {
public:
    explicit Deflater(int level) {
        if (deflateInit2(&z, level, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) !=
            Z_OK) {
            throw ECompressionError("error");
        }
    }
    ~Deflater() { deflateEnd(&z); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    z_stream z{};
};

class Inflater {
public:
    Inflater() {
        if (inflateInit2(&z, kWindowBits) != Z_OK) throw EDecompressionError("error");
    }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    z_stream z{};
};

}  // namespace

int TCompAlgo_Zlib::ZlibLevel(uint8_t levelCode) {
    switch (levelCode) {
        case 0:
            return Z_BEST_COMPRESSION;
        case 1:
            return Z_DEFAULT_COMPRESSION;
        case 2:
        case 3:
            return Z_BEST_SPEED;
        default:
            return Z_NO_COMPRESSION;
    }
}

void TCompAlgo_Zlib::EncodeStream(TStream* source, TStream* dest, int64_t) {
    if (source == nullptr || dest == nullptr) return;
    const int64_t size = source->Size();
    sourceSize_ = size;
    if (size > std::numeric_limits<int32_t>::max()) {
        throw ECompressionError(Format("error: a value of %lld bytes is too large to be stored",
                                       static_cast<long long>(size)));
    }
    const int32_t n = static_cast<int32_t>(size);
    std::vector<uint8_t> holder;
    const uint8_t* value = size > 0 ? ValueBytes(*source, *dest, size, holder) : nullptr;
    Clear(*dest);
    if (size == 0) return;

    PutInt32LE(*dest, n);
    Deflater d(ZlibLevel(level_));
    // The 64 KiB output buffer; a value whose whole stream fits in less gets a buffer of
    // the stream's bound plus one, which can never fill (so, as with 64 KiB, no progress
    // is reported) and spares small values a large allocation.
    const size_t bufferSize = static_cast<size_t>(
        std::min<uLong>(kBufferSize, deflateBound(&d.z, static_cast<uLong>(n)) + 1));
    std::unique_ptr<uint8_t[]> outBuffer(new uint8_t[bufferSize]);
    const std::span<uint8_t> out(outBuffer.get(), bufferSize);
    d.z.next_in = const_cast<Bytef*>(value);
    d.z.avail_in = static_cast<uInt>(n);
    d.z.next_out = out.data();
    d.z.avail_out = static_cast<uInt>(out.size());
    // The whole value in one piece; every full output buffer is stored and reported.
    while (d.z.avail_in > 0) {
        if (deflate(&d.z, Z_NO_FLUSH) < 0) throw ECompressionError("error");
        if (d.z.avail_out == 0) {
            dest->WriteBuffer(out.data(), out.size());
            d.z.next_out = out.data();
            d.z.avail_out = static_cast<uInt>(out.size());
            DoEncodeProgress(ProgressPercent(static_cast<int64_t>(d.z.total_in), sourceSize_));
        }
    }
    for (;;) {
        const int rc = deflate(&d.z, Z_FINISH);
        if (rc < 0 && rc != Z_BUF_ERROR) throw ECompressionError("error");
        if (d.z.avail_out == 0) {
            dest->WriteBuffer(out.data(), out.size());
            d.z.next_out = out.data();
            d.z.avail_out = static_cast<uInt>(out.size());
        }
        if (rc == Z_STREAM_END) break;
    }
    dest->WriteBuffer(out.data(), out.size() - d.z.avail_out);

    const int64_t compressed = dest->Size() - 4;
    if (compressed >= size) {
        // Not worth it: store the value as it is.
        Clear(*dest);
        PutInt32LE(*dest, -n);
        dest->WriteBuffer(value, static_cast<size_t>(n));
    }
}

void TCompAlgo_Zlib::DecodeStream(TStream* source, TStream* dest, int64_t) {
    if (source == nullptr || dest == nullptr) return;
    const int64_t size = source->Size();
    sourceSize_ = size;
    if (size == 0) {
        Clear(*dest);
        return;
    }
    source->SetPosition(0);
    uint8_t head[4];
    source->ReadBuffer(head, 4);  // EReadError for a unit shorter than 4 bytes
    const int32_t h = bytes::GetI32(head, 0, "compressed value head");
    if (h < 0) {
        // Copied form: whatever follows the int32 is the value (its length is not checked
        // against the int32).
        std::vector<uint8_t> value(static_cast<size_t>(size - 4));
        source->ReadBuffer(value.data(), value.size());
        Clear(*dest);
        dest->WriteBuffer(value.data(), value.size());
        return;
    }

    const int64_t wanted = h;
    // A damaged int32 must not make us allocate more than the input can ever inflate to;
    // the buffer grows only if inflate really delivers that much.
    std::vector<uint8_t> result(
        static_cast<size_t>(std::min<int64_t>(wanted, (size - 4) * kMaxInflateRatio + 1024)));
    std::vector<uint8_t> in(kBufferSize);
    Inflater inf;
    int64_t produced = 0;
    while (produced < wanted) {
        if (inf.z.avail_in == 0) {
            const size_t got = source->Read(in.data(), in.size());
            if (got == 0) throw EReadError("Stream read error");
            inf.z.next_in = in.data();
            inf.z.avail_in = static_cast<uInt>(got);
            DoDecodeProgress(ProgressPercent(static_cast<int64_t>(inf.z.total_in), sourceSize_));
        }
        if (static_cast<size_t>(produced) == result.size()) {
            result.resize(static_cast<size_t>(
                std::min<int64_t>(wanted, static_cast<int64_t>(result.size()) * 2 + 1)));
        }
        const size_t room = result.size() - static_cast<size_t>(produced);
        inf.z.next_out = result.data() + produced;
        inf.z.avail_out =
            static_cast<uInt>(std::min<size_t>(room, std::numeric_limits<uInt>::max()));
        const uInt before = inf.z.avail_out;
        const int rc = inflate(&inf.z, Z_NO_FLUSH);
        produced += before - inf.z.avail_out;
        if (rc == Z_NEED_DICT || (rc < 0 && rc != Z_BUF_ERROR)) throw EDecompressionError("error");
        if (rc == Z_STREAM_END && produced < wanted) throw EReadError("Stream read error");
    }
    Clear(*dest);
    dest->WriteBuffer(result.data(), static_cast<size_t>(wanted));
}

}  // namespace tarn
