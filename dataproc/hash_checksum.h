// The 32-bit checksums of the hash family.
//
// THash_XOR32: a rotate-and-XOR checksum over 16-bit little-endian words (an odd trailing
// byte counts as a word with a zero high byte); nothing in the engine uses it.
// THash_CRC32: CRC-32 as in zlib and IEEE 802.3 (reflected, polynomial EDB88320, start value
// FFFFFFFF, final complement). The engine checks blob writes with it: HashBuffer with a
// 4-byte digestOut gives the CRC little-endian; Checksum() gives it as a number.
// Both digests are Checksum, little-endian.
#pragma once

#include <cstdint>

#include "dataproc/hash_base.h"

namespace tarn {

class THash_XOR32 : public THash {
public:
    THash_XOR32() = default;
    ~THash_XOR32() override;

    const uint8_t* KnownAnswerData() const override;
    void Start() override;
    void Update(const void* data, int64_t size) override;
    void Finish() override;
    int DigestSize() const override { return 4; }

    // The checksum (after Finish: the final value).
    uint32_t Checksum() const { return checksum_; }

    TARN_HASH_CLASS_OPERATIONS(THash_XOR32)

protected:
    uint32_t checksum_ = 0;

private:
    int pending_ = -1;  // low byte of a 16-bit word whose high byte has not come yet
};

class THash_CRC32 : public THash_XOR32 {
public:
    const uint8_t* KnownAnswerData() const override;
    void Start() override;
    void Update(const void* data, int64_t size) override;
    void Finish() override;

    // Continues a raw (not pre- or post-conditioned) reflected CRC register over `size`
    // bytes; exposed for callers that keep their own register.
    static uint32_t UpdateRegister(uint32_t reg, const uint8_t* data, size_t size);
    // The same with the table method only (what processors without carry-less multiply
    // run); UpdateRegister picks the fastest method the processor offers.
    static uint32_t UpdateRegisterPortable(uint32_t reg, const uint8_t* data, size_t size);

    TARN_HASH_CLASS_OPERATIONS(THash_CRC32)
};

}  // namespace tarn
