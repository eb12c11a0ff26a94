// Base classes of the data-processing modules: the compression and encryption modules the
// engine applies to stored values, created by name through the module registries
// (module_registry.h) and driven by the managers (data_process_mgr.h).
//
// TDataProcessAlgo  the base of every module: its owner and its two progress events.
// TCompressAlgo     compression modules (the zlib module): EncodeStream compresses a whole
//                   value, DecodeStream restores it; plus a compression level.
// TEncryptAlgo      encryption modules (the cipher modules): buffer operations that keep the
//                   length, a mode byte, keying from a password, and the stream operations
//                   built on the buffer operations (4096-byte chunks with progress).
//
// A module belongs to the manager that created it and is used by one thread at a time (the
// owner's transform lock serialises all work). Errors: whatever the module raises (see the
// concrete modules); the stream operations of TEncryptAlgo raise EReadError/EWriteError for
// streams that fail.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "dataproc/cipher_unit.h"
#include "dataproc/progress.h"
#include "tarndb/stream.h"

namespace tarn {

class TDataProcessOwner;

class TDataProcessAlgo {
public:
    // `owner` (may be null) is the object that created the module, normally the database
    // file object; it is the Sender of the module's progress events. Not owned.
    explicit TDataProcessAlgo(TDataProcessOwner* owner) : owner_(owner) {}
    virtual ~TDataProcessAlgo() = default;
    TDataProcessAlgo(const TDataProcessAlgo&) = delete;
    TDataProcessAlgo& operator=(const TDataProcessAlgo&) = delete;

    // Encodes (compresses, encrypts) `dataSize` bytes of `source` into `dest`; what a
    // negative size and the stream positions mean is up to the module class.
    virtual void EncodeStream(TStream* source, TStream* dest, int64_t dataSize) = 0;
    // The inverse of EncodeStream.
    virtual void DecodeStream(TStream* source, TStream* dest, int64_t dataSize) = 0;

    TDataProcessOwner* Owner() const { return owner_; }

    // Progress of encoding (compression, encryption) and of decoding.
    TOnProgressEvent OnEncodeProgress;
    TOnProgressEvent OnDecodeProgress;

protected:
    // Call the event, if assigned, with Sender = Owner().
    void DoEncodeProgress(int percent);
    void DoDecodeProgress(int percent);

private:
    TDataProcessOwner* owner_;
};

class TCompressAlgo : public TDataProcessAlgo {
public:
    using TDataProcessAlgo::TDataProcessAlgo;

    // The module's compression level code; the base class ignores it and reports 1.
    virtual void SetCompressLevel(uint8_t level) { (void)level; }
    virtual uint8_t GetCompressLevel() const { return 1; }
};

class TEncryptAlgo : public TDataProcessAlgo {
public:
    using TDataProcessAlgo::TDataProcessAlgo;

    // Stream operations over EncodeBuffer / DecodeBuffer. Nothing happens without a
    // source; without a dest the source is transformed in place. A negative `dataSize`
    // means the whole source from position 0; otherwise `dataSize` bytes are transformed
    // from the current source position to the current dest position. Work goes in
    // 4096-byte chunks, so the chaining state carries over exactly as in one buffer call.
    // Progress: 0 first, then after each chunk round(done / dataSize * 100), and always a
    // final 0, also when an error ends the operation.
    void EncodeStream(TStream* source, TStream* dest, int64_t dataSize) override;
    void DecodeStream(TStream* source, TStream* dest, int64_t dataSize) override;

    // The mode byte of the cipher (0 to 4); the base class ignores it and reports 0.
    virtual void SetEncryptMode(uint8_t mode) { (void)mode; }
    virtual uint8_t GetEncryptMode() const { return 0; }
    // Keys the module from a password text.
    virtual void InitKey(std::string_view key) = 0;
    // Returns the chaining state to its initial value; nothing in the base class.
    virtual void ResetFeedback() {}
    // Transform `dataSize` bytes from `source` into `dest` (which may be `source`); the
    // output has the same length. No progress is reported.
    virtual void EncodeBuffer(const void* source, void* dest, int32_t dataSize) = 0;
    virtual void DecodeBuffer(const void* source, void* dest, int32_t dataSize) = 0;

    // Decodes several units, each exactly as DecodeBuffer after ResetFeedback would; the
    // chaining state is the initial one afterwards. The base class does just that, unit by
    // unit; a cipher may decode the blocks of all units together.
    virtual void DecodeUnits(std::span<const TCipherUnit> units) {
        for (const TCipherUnit& u : units) {
            ResetFeedback();
            DecodeBuffer(u.source, u.dest, u.count);
        }
        ResetFeedback();
    }

    static constexpr size_t kStreamChunkSize = 4096;

private:
    void ProcessStream(TStream* source, TStream* dest, int64_t dataSize, bool encode);
};

}  // namespace tarn
