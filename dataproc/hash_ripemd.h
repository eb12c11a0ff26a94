// THash_RipeMD160: RIPEMD-160 over the block buffering of THash_MD4. The block is read as
// sixteen little-endian words and the digest is State words 0 to 4, each little-endian.
#pragma once

#include "dataproc/hash_md.h"

namespace tarn {

class THash_RipeMD160 : public THash_MD4 {
public:
    const uint8_t* KnownAnswerData() const override;
    void Finish() override;
    int DigestSize() const override { return 20; }

    TARN_HASH_CLASS_OPERATIONS(THash_RipeMD160)

protected:
    void Transform(const uint8_t* block) override;
};

}  // namespace tarn
