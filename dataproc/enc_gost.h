// TEnc_Gost: the GOST 28147-89 basic transform (64-bit blocks, 32 rounds, 256-bit key) on
// the TEncrypt framework, with the database's fixed S-boxes. Keys shorter than 32 bytes
// are padded with zero bytes; words and blocks are little-endian.
//
// Key schedule (32 bytes): the eight key words K0..K7.
#pragma once

#include "dataproc/encrypt_base.h"

namespace tarn {

class TEnc_Gost : public TEncrypt {
public:
    static constexpr TCipherSizes kSizes{8, 32, 32};
    static TCipherSizes GetCipherSizes() { return kSizes; }

    TEnc_Gost() : TEncrypt(kSizes) {}

    const char* ClassName() const override { return "TEnc_Gost"; }
    void EncryptBlock(uint8_t* block) override;
    void DecryptBlock(uint8_t* block) override;
    void Init(const uint8_t* key, int size, const uint8_t* initialVector = nullptr) override;

protected:
    // Up to six blocks at a time with their rounds interleaved.
    void EncryptBlocks(uint8_t* blocks, size_t n) override;
    void DecryptBlocks(uint8_t* blocks, size_t n) override;
};

}  // namespace tarn
