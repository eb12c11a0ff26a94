// THash_MD4: MD4 (RFC 1320), and the 64-byte block buffering shared with its descendants
// THash_RipeMD160 and THash_SHA.
//
// Update keeps the bytes of an incomplete block in Block and hands every complete 64-byte
// piece of the caller's data straight to Transform, so a message added in several Update
// calls digests the same as in one call. Finish pads (0x80, zeros, the bit count in the last
// eight bytes) and leaves the digest in Digest(). The byte count is kept in 64 bits, so long
// messages get the standard digest too (lengths below 2^29 bytes are unaffected).
#pragma once

#include <cstdint>

#include "dataproc/hash_base.h"

namespace tarn {

class THash_MD4 : public THash {
public:
    THash_MD4() = default;
    ~THash_MD4() override;

    const uint8_t* KnownAnswerData() const override;
    void Start() override;
    void Update(const void* data, int64_t size) override;
    void Finish() override;
    int DigestSize() const override { return 16; }

    TARN_HASH_CLASS_OPERATIONS(THash_MD4)

protected:
    // The compression function over one 64-byte block.
    virtual void Transform(const uint8_t* block);

    // Appends 0x80, zero fill and the bit count (big- or little-endian in bytes 56 to 63),
    // transforming as needed; leaves Block zeroed.
    void PadAndTransform(bool bigEndianLength);
    // Writes State words 0 .. words-1 into the digest bytes.
    void StoreDigest(int words, bool bigEndian);

    uint64_t count_ = 0;      // bytes added since Start
    uint8_t block_[64] = {};  // bytes of the current incomplete block
    uint32_t state_[5] = {};  // chaining state: MD4 uses words 0..3, the others 0..4
};

}  // namespace tarn
