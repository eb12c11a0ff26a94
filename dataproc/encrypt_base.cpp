#include "dataproc/encrypt_base.h"

#include <algorithm>
#include <cstring>

#include "dataproc/hash_sha.h"
#include "tarndb/errors.h"

namespace tarn {

void SecureZero(void* data, size_t size) {
    if (size) explicit_bzero(data, size);  // a store the compiler keeps
}

namespace {

// Like SecureZero, with a fill byte: the vectors are wiped to FF, also in the destructor.
void SecureFill(uint8_t* data, size_t size, uint8_t value) {
    volatile uint8_t* p = data;
    while (size--) *p++ = value;
}

// Zeroes the scratch block when a buffer operation ends, however it ends.
class ScratchGuard {
public:
    ScratchGuard(uint8_t* data, size_t size) : data_(data), size_(size) {}
    ~ScratchGuard() { SecureZero(data_, size_); }
    ScratchGuard(const ScratchGuard&) = delete;
    ScratchGuard& operator=(const ScratchGuard&) = delete;

private:
    uint8_t* data_;
    size_t size_;
};

template <size_t B>
inline void XorInto(uint8_t* dst, const uint8_t* a, const uint8_t* b) {
    for (size_t i = 0; i < B; ++i) dst[i] = a[i] ^ b[i];
}

// A cipher block held as 64-bit words (B is 8 or 16), loaded and stored byte-exact.
template <size_t B>
struct Block {
    static_assert(B % 8 == 0);
    uint64_t w[B / 8];

    Block& operator^=(const Block& o) {
        for (size_t i = 0; i < B / 8; ++i) w[i] ^= o.w[i];
        return *this;
    }
    friend Block operator^(Block a, const Block& b) { return a ^= b; }
};

// out[i] = in[i] ^ key[i] for i < size < 16, a word at a time; `out` may be `in`.
inline void XorShort(uint8_t* out, const uint8_t* in, const uint8_t* key, size_t size) {
    auto step = [&]<typename W>(W) {
        W a, b;
        std::memcpy(&a, in, sizeof(W));
        std::memcpy(&b, key, sizeof(W));
        a = static_cast<W>(a ^ b);
        std::memcpy(out, &a, sizeof(W));
        in += sizeof(W);
        key += sizeof(W);
        out += sizeof(W);
    };
    if (size & 8) step(uint64_t{});
    if (size & 4) step(uint32_t{});
    if (size & 2) step(uint16_t{});
    if (size & 1) step(uint8_t{});
}

template <size_t B>
inline Block<B> LoadBlock(const uint8_t* p) {
    Block<B> v;
    std::memcpy(v.w, p, B);
    return v;
}

template <size_t B>
inline void StoreBlock(uint8_t* p, const Block<B>& v) {
    std::memcpy(p, v.w, B);
}

}  // namespace

TEncrypt::TEncrypt(const TCipherSizes& sizes) : hashClass_(&MakeHash<THash_SHA>), sizes_(sizes) {
    if (sizes_.BlockSize <= 0 || sizes_.BlockSize > kMaxBlockSize || sizes_.KeyScheduleSize < 0 ||
        sizes_.KeyScheduleSize % 4 != 0 || sizes_.MaxKeySize < 0)
        throw Exception("Invalid cipher sizes");
    keySchedule_ = std::make_unique<uint32_t[]>(static_cast<size_t>(sizes_.KeyScheduleSize) / 4);
    TEncrypt::Wipe();
}

TEncrypt::~TEncrypt() { TEncrypt::Wipe(); }

void TEncrypt::SetStateFlag(uint8_t index, bool value) {
    if (index >= 32) return;
    const uint32_t bit = uint32_t{1} << index;
    stateFlags_ = value ? (stateFlags_ | bit) : (stateFlags_ & ~bit);
}

void TEncrypt::ResetFeedback() { std::memcpy(feedback_.data(), initVector_.data(), BlockBytes()); }

void TEncrypt::Wipe() {
    SetStateFlag(kInitializedFlag, false);
    SecureFill(initVector_.data(), initVector_.size(), 0xFF);
    SecureFill(feedback_.data(), feedback_.size(), 0xFF);
    SecureZero(buffer_.data(), buffer_.size());
    SecureZero(keySchedule_.get(), static_cast<size_t>(sizes_.KeyScheduleSize));
}

void TEncrypt::SetMode(uint8_t mode) {
    if (mode > kMaxCipherMode)
        throw EEncryptException(Format("%s: unknown encryption mode %u (the modes are 0 to 4)",
                                       ClassName(), static_cast<unsigned>(mode)),
                                kEncryptErrInvalidMode);
    mode_ = mode;
}

void TEncrypt::BeginKeySetup(int& size) {
    SetStateFlag(kInitializedFlag, false);
    Wipe();
    size = std::clamp(size, 0, sizes_.MaxKeySize);
}

void TEncrypt::EndKeySetup(const uint8_t* initialVector) {
    if (initialVector != nullptr) {
        std::memcpy(initVector_.data(), initialVector, BlockBytes());
    } else {
        // Still all FF from Wipe: the vector becomes E(FF..FF) under the new key.
        EncryptBlock(initVector_.data());
    }
    std::memcpy(feedback_.data(), initVector_.data(), BlockBytes());
    SetStateFlag(kInitializedFlag, true);
}

void TEncrypt::InitKey(std::string_view password, const uint8_t* initialVector) {
    if (!hashObject_) hashObject_ = hashClass_();
    THash& hash = *hashObject_;
    hash.Start();
    hash.UpdateText(password);
    hash.Finish();
    const int digestSize = hash.DigestSize();
    uint8_t* digest = hash.Digest();
    Init(digest, std::min(digestSize, sizes_.MaxKeySize), initialVector);
    // Leave no clear key in the hash object: its digest becomes the digest encrypted.
    EncodeBuffer(digest, digest, digestSize);
    ResetFeedback();
}

void TEncrypt::CheckInitialized() const {
    if (!Initialized())
        throw EEncryptException(
            Format("%s is not initialized call Init() or InitKey() before.", ClassName()),
            kEncryptErrNotInitialized);
}

void TEncrypt::EncodeBuffer(const void* source, void* dest, int32_t count) {
    CheckInitialized();
    if (count <= 0) return;
    Transform(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest),
              static_cast<size_t>(count), true);
}

void TEncrypt::DecodeBuffer(const void* source, void* dest, int32_t count) {
    CheckInitialized();
    if (count <= 0) return;
    Transform(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest),
              static_cast<size_t>(count), false);
}

void TEncrypt::EncryptBlocks(uint8_t* blocks, size_t n) {
    for (size_t i = 0; i < n; ++i) EncryptBlock(blocks + i * BlockBytes());
}

void TEncrypt::DecryptBlocks(uint8_t* blocks, size_t n) {
    for (size_t i = 0; i < n; ++i) DecryptBlock(blocks + i * BlockBytes());
}

void TEncrypt::DecodeUnits(std::span<const TCipherUnit> units) {
    CheckInitialized();
    if (mode_ == chCFB8 || mode_ == chOFB8) {
        for (const TCipherUnit& u : units) {
            ResetFeedback();
            DecodeBuffer(u.source, u.dest, u.count);
        }
        ResetFeedback();
        return;
    }
    switch (sizes_.BlockSize) {
        case 8:
            DecodeBlockUnits<8>(units);
            break;
        case 16:
            DecodeBlockUnits<16>(units);
            break;
        default:
            throw Exception(Format("%s: unsupported block size %d", ClassName(), sizes_.BlockSize));
    }
    ResetFeedback();
}

// The block modes 0, 1 and 4 in three passes: gather the inputs of every cipher block of
// every unit (the stored blocks for decryption; for a tail, the feedback it is keyed from,
// which follows from the stored blocks before it), run them through the cipher, then chain
// the results into each unit's output as Transform would. Blocks move and combine as
// 64-bit words: byte pointers may alias anything, and a byte loop would be kept as one.
template <size_t B>
void TEncrypt::DecodeBlockUnits(std::span<const TCipherUnit> units) {
    const uint8_t mode = mode_;
    const bool keyedTails = mode != chECB;
    size_t decrypts = 0, tails = 0;
    bool vectorTail = false;  // a unit shorter than a block: its tail is keyed from E(IV)
    for (const TCipherUnit& u : units) {
        if (u.count <= 0) continue;
        const size_t n = static_cast<size_t>(u.count);
        decrypts += n / B;
        if (keyedTails && n % B != 0) {
            if (n < B)
                vectorTail = true;
            else
                ++tails;
        }
    }
    const size_t blocks = decrypts + tails + (vectorTail ? 1 : 0);
    // (No blocks at all still leaves the clear tails of ECB to copy.)
    if (batch_.size() < std::max<size_t>(blocks, 1) * B)
        batch_.resize(std::max<size_t>(blocks, 1) * B);
    ScratchGuard guard(batch_.data(), blocks * B);
    uint8_t* dec = batch_.data();
    uint8_t* enc = dec + decrypts * B;
    uint8_t* vectorKey = enc + tails * B;
    const Block<B> iv = LoadBlock<B>(initVector_.data());

    uint8_t* d = dec;
    uint8_t* e = enc;
    for (const TCipherUnit& u : units) {
        if (u.count <= 0) continue;
        const size_t n = static_cast<size_t>(u.count);
        const size_t whole = n / B;
        const uint8_t* in = u.source;
        if (mode == chXorFeedback && n % B != 0 && whole != 0) {
            // The tail's key input is the vector with every stored block folded in.
            Block<B> f = iv;
            for (size_t i = 0; i < whole; ++i, in += B, d += B) {
                const Block<B> c = LoadBlock<B>(in);
                StoreBlock<B>(d, c);
                f ^= c;
            }
            StoreBlock<B>(e, f);
            e += B;
            continue;
        }
        for (size_t i = 0; i < whole; ++i, in += B, d += B) StoreBlock<B>(d, LoadBlock<B>(in));
        if (mode == chCBC && n % B != 0 && whole != 0) {
            StoreBlock<B>(e, LoadBlock<B>(in - B));  // keyed from the last stored block
            e += B;
        }
    }
    if (vectorTail) StoreBlock<B>(vectorKey, iv);
    DecryptBlocks(dec, decrypts);
    EncryptBlocks(enc, tails + (vectorTail ? 1 : 0));

    d = dec;
    e = enc;
    for (const TCipherUnit& u : units) {
        if (u.count <= 0) continue;
        const size_t n = static_cast<size_t>(u.count);
        const size_t whole = n / B;
        const uint8_t* in = u.source;
        uint8_t* out = u.dest;
        // Each stored block is read before its output is written: `out` may be `in`.
        switch (mode) {
            case chXorFeedback: {
                Block<B> f = iv;
                for (size_t i = 0; i < whole; ++i, in += B, out += B, d += B) {
                    const Block<B> c = LoadBlock<B>(in);
                    StoreBlock<B>(out, LoadBlock<B>(d) ^ f);
                    f ^= c;
                }
                break;
            }
            case chCBC: {
                Block<B> f = iv;
                for (size_t i = 0; i < whole; ++i, in += B, out += B, d += B) {
                    const Block<B> c = LoadBlock<B>(in);
                    StoreBlock<B>(out, LoadBlock<B>(d) ^ f);
                    f = c;
                }
                break;
            }
            default:  // chECB
                for (size_t i = 0; i < whole; ++i, in += B, out += B, d += B)
                    StoreBlock<B>(out, LoadBlock<B>(d));
                break;
        }
        const size_t r = n % B;
        if (r == 0) continue;
        if (!keyedTails) {
            if (out != in) std::memmove(out, in, r);
            continue;
        }
        const uint8_t* k = whole == 0 ? vectorKey : e;
        if (whole != 0) e += B;
        XorShort(out, in, k, r);
    }
}

void TEncrypt::Transform(const uint8_t* in, uint8_t* out, size_t count, bool encode) {
    ScratchGuard guard(buffer_.data(), buffer_.size());
    // The block sizes are fixed per cipher; instantiating the loops per size lets the
    // compiler turn the block XORs into word operations.
    switch (sizes_.BlockSize) {
        case 8:
            TransformBlocks<8>(in, out, count, encode);
            TransformTail<8>(in, out, count, encode);
            break;
        case 16:
            TransformBlocks<16>(in, out, count, encode);
            TransformTail<16>(in, out, count, encode);
            break;
        default:
            throw Exception(Format("%s: unsupported block size %d", ClassName(), sizes_.BlockSize));
    }
}

// Whole blocks of modes 0, 1 and 4, and every byte of the byte-wise modes 2 and 3.
template <size_t B>
void TEncrypt::TransformBlocks(const uint8_t* in, uint8_t* out, size_t count, bool encode) {
    uint8_t* f = feedback_.data();
    uint8_t* k = buffer_.data();
    const size_t blocks = count / B;
    switch (mode_) {
        case chXorFeedback:
            for (size_t i = 0; i < blocks; ++i, in += B, out += B) {
                uint8_t c[B];
                if (encode) {
                    XorInto<B>(c, in, f);
                    EncryptBlock(c);
                    XorInto<B>(f, c, f);
                    std::memcpy(out, c, B);
                } else {
                    std::memcpy(c, in, B);
                    uint8_t p[B];
                    std::memcpy(p, c, B);
                    DecryptBlock(p);
                    XorInto<B>(out, p, f);
                    XorInto<B>(f, c, f);
                }
            }
            break;
        case chCBC:
            for (size_t i = 0; i < blocks; ++i, in += B, out += B) {
                uint8_t c[B];
                if (encode) {
                    XorInto<B>(c, in, f);
                    EncryptBlock(c);
                    std::memcpy(f, c, B);
                    std::memcpy(out, c, B);
                } else {
                    std::memcpy(c, in, B);
                    uint8_t p[B];
                    std::memcpy(p, c, B);
                    DecryptBlock(p);
                    XorInto<B>(out, p, f);
                    std::memcpy(f, c, B);
                }
            }
            break;
        case chCFB8:
        case chOFB8:
            // Byte-wise modes have no tail: every byte is handled here.
            for (size_t i = 0; i < count; ++i) {
                std::memcpy(k, f, B);
                EncryptBlock(k);
                const uint8_t x = in[i];
                const uint8_t y = static_cast<uint8_t>(x ^ k[0]);
                out[i] = y;
                std::memmove(f, f + 1, B - 1);
                f[B - 1] = mode_ == chOFB8 ? k[0] : (encode ? y : x);
            }
            break;
        case chECB:
            for (size_t i = 0; i < blocks; ++i, in += B, out += B) {
                uint8_t c[B];
                std::memcpy(c, in, B);
                if (encode)
                    EncryptBlock(c);
                else
                    DecryptBlock(c);
                std::memcpy(out, c, B);
            }
            break;
        default:
            // SetMode admits nothing else.
            throw EEncryptException(
                Format("%s: unknown encryption mode %u", ClassName(), static_cast<unsigned>(mode_)),
                kEncryptErrInvalidMode);
    }
}

// The trailing Count mod B bytes of the block modes.
template <size_t B>
void TEncrypt::TransformTail(const uint8_t* in, uint8_t* out, size_t count, bool /*encode*/) {
    const size_t r = count % B;
    if (r == 0 || mode_ == chCFB8 || mode_ == chOFB8) return;
    const size_t at = count - r;
    uint8_t* f = feedback_.data();
    uint8_t* k = buffer_.data();
    switch (mode_) {
        case chXorFeedback:
        case chCBC:
            std::memcpy(k, f, B);
            EncryptBlock(k);
            for (size_t i = 0; i < r; ++i) out[at + i] = in[at + i] ^ k[i];
            if (mode_ == chXorFeedback) XorInto<B>(f, k, f);
            break;
        case chECB:
            // The tail is stored in clear.
            if (out != in) std::memmove(out + at, in + at, r);
            break;
        default:
            break;
    }
}

}  // namespace tarn
