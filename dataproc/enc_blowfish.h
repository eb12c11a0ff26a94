// TEnc_Blowfish: the published Blowfish cipher (64-bit blocks, 16 rounds, keys of 1 to
// 56 bytes) on the TEncrypt framework. Blocks are two big-endian 32-bit halves, so the
// results agree with every standard Blowfish implementation for the same key.
//
// Key schedule (4168 bytes): the four S-boxes of 256 words, then the 18 P words.
// Init raises EEncryptException code 2 for an empty key, which Blowfish cannot apply.
#pragma once

#include "dataproc/encrypt_base.h"

namespace tarn {

class TEnc_Blowfish : public TEncrypt {
public:
    static constexpr TCipherSizes kSizes{8, 56, 4168};
    static TCipherSizes GetCipherSizes() { return kSizes; }

    TEnc_Blowfish() : TEncrypt(kSizes) {}

    const char* ClassName() const override { return "TEnc_Blowfish"; }
    void EncryptBlock(uint8_t* block) override;
    void DecryptBlock(uint8_t* block) override;
    void Init(const uint8_t* key, int size, const uint8_t* initialVector = nullptr) override;

protected:
    // Up to six blocks at a time with their rounds interleaved: one block's rounds form a chain
    // of dependent table look-ups, six chains keep the processor busy.
    void EncryptBlocks(uint8_t* blocks, size_t n) override;
    void DecryptBlocks(uint8_t* blocks, size_t n) override;

private:
    void EncryptWords(uint32_t& left, uint32_t& right) const;
};

}  // namespace tarn
