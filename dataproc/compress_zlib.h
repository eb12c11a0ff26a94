// TCompAlgo_Zlib: the zlib compression module, registered as "ZLIB". It turns one value
// (the whole content of a stream) into one stored unit and back.
//
// Stored unit of a value of N bytes:
//   N = 0            nothing (an empty unit)
//   compressed form  int32 LE  N (positive), then one zlib stream (RFC 1950) of the value
//   copied form      int32 LE -N (negative), then the N bytes unchanged
// The compressed form is kept only when the zlib stream is shorter than N, so a unit is
// never longer than N + 4. The zlib stream: deflate, window bits 15, memory level 8,
// default strategy, level from the level code (0: 9, 1: zlib's default, 2 and 3: 1,
// anything else: 0). The level code is 1 after construction.
//
// Progress (percent of the source size): while compressing, once per full 64 KiB output
// buffer (done = value bytes consumed); while decompressing, each time the 64 KiB input
// buffer is refilled (done = stored bytes consumed before the refill). The copied form and
// short values report nothing.
//
// Errors: ECompressionError "error" when zlib fails while compressing (and for a value of
// 2 GiB or more, which the int32 cannot describe); EDecompressionError "error" for a damaged
// zlib stream; EReadError "Stream read error" for a unit shorter than 4 bytes or one whose
// zlib stream ends or runs out before N bytes came out. A unit whose int32 is smaller than
// the real size decodes to its first N bytes; bytes after the N-th are not examined. After
// an error `dest` holds unspecified content. Each operation has its own zlib stream.
#pragma once

#include <cstdint>

#include "dataproc/data_process_algo.h"

namespace tarn {

class TCompAlgo_Zlib : public TCompressAlgo {
public:
    explicit TCompAlgo_Zlib(TDataProcessOwner* owner) : TCompressAlgo(owner) {}

    // Compresses the whole content of `source` (whatever its position) into `dest`,
    // replacing dest's content. `dataSize` is ignored.
    void EncodeStream(TStream* source, TStream* dest, int64_t dataSize) override;
    // Restores a stored unit read from the start of `source` into `dest`, replacing dest's
    // content. `dataSize` is ignored.
    void DecodeStream(TStream* source, TStream* dest, int64_t dataSize) override;

    void SetCompressLevel(uint8_t level) override { level_ = level; }
    uint8_t GetCompressLevel() const override { return level_; }

    // The zlib level for a level code.
    static int ZlibLevel(uint8_t levelCode);

    static constexpr size_t kBufferSize = 65536;

private:
    uint8_t level_ = 1;
    int64_t sourceSize_ = 0;  // the 100 % mark of the running operation's progress
};

}  // namespace tarn
