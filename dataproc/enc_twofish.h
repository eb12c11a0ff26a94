// TEnc_Twofish: the database's Twofish cipher (128-bit blocks, keys up to 32 bytes) on
// the TEncrypt framework. It is built from the published Twofish parts (q0/q1, the MDS
// matrix over GF(2^8) mod 0x169, the RS code mod 0x14D, key-dependent S-boxes through h,
// little-endian words, input and output whitening), but it is not published Twofish and
// must stay exactly as follows, since encrypted databases depend on it:
//   - the key is padded with zero bytes to 16, 24 or 32 bytes (20-byte keys use the
//     192-bit schedule);
//   - odd subkeys are K[2i+1] = ROL(A + (B >> 1), 9) instead of ROL(A + 2B, 9);
//   - the two-round step runs 15 times, run j using subkey pairs 8 + 2j and 10 + 2j;
//   - the output is R2^K4, R3^K5, R0^K6, R1^K7.
//
// Key schedule (4256 bytes): 40 subkey words, then the four key-dependent MDS tables of
// 256 words that make up g.
#pragma once

#include "dataproc/encrypt_base.h"

namespace tarn {

class TEnc_Twofish : public TEncrypt {
public:
    static constexpr TCipherSizes kSizes{16, 32, 4256};
    static TCipherSizes GetCipherSizes() { return kSizes; }

    TEnc_Twofish() : TEncrypt(kSizes) {}

    const char* ClassName() const override { return "TEnc_Twofish"; }
    void EncryptBlock(uint8_t* block) override;
    void DecryptBlock(uint8_t* block) override;
    void Init(const uint8_t* key, int size, const uint8_t* initialVector = nullptr) override;

protected:
    // Up to three blocks at a time with their rounds interleaved.
    void EncryptBlocks(uint8_t* blocks, size_t n) override;
    void DecryptBlocks(uint8_t* blocks, size_t n) override;
};

}  // namespace tarn
