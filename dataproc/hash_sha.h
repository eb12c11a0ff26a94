// THash_SHA: the Secure Hash Algorithm of FIPS 180 (1993), known as SHA-0, over the block
// buffering of THash_MD4. The block is read as sixteen big-endian words and the digest is
// State words 0 to 4, each big-endian.
//
// SHA-0 differs from SHA-1 only in the message schedule: W(t) = W(t-3) ^ W(t-8) ^ W(t-14)
// ^ W(t-16) without the one-bit rotation. RotateSchedule switches the rotation on (giving
// SHA-1); the engine never sets it, because the keys and password check texts of existing
// database files are SHA-0 digests. "abc" gives 0164b8a914cd2a5e74c4f7ff082c4d97f1edf880.
#pragma once

#include "dataproc/hash_ripemd.h"

namespace tarn {

class THash_SHA : public THash_RipeMD160 {
public:
    const uint8_t* KnownAnswerData() const override;
    void Finish() override;
    int DigestSize() const override { return 20; }

    bool RotateSchedule() const { return rotateSchedule_; }
    void SetRotateSchedule(bool value) { rotateSchedule_ = value; }

    TARN_HASH_CLASS_OPERATIONS(THash_SHA)

protected:
    void Transform(const uint8_t* block) override;

private:
    bool rotateSchedule_ = false;
};

}  // namespace tarn
