#include "dataproc/hash_md.h"

#include <cstring>

#include "dataproc/hash_words.h"

namespace tarn {

using namespace hashing;

namespace {

constexpr uint8_t kMd4Abc[16] = {0xa4, 0x48, 0x01, 0x7a, 0xaf, 0x21, 0xd8, 0x52,
                                 0x5f, 0xc1, 0x0a, 0xe8, 0x7a, 0xa6, 0x72, 0x9d};

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }

}  // namespace

THash_MD4::~THash_MD4() {
    SecureZero(block_, sizeof block_);
    SecureZero(state_, sizeof state_);
    count_ = 0;
}

const uint8_t* THash_MD4::KnownAnswerData() const { return kMd4Abc; }

void THash_MD4::Start() {
    std::memset(block_, 0, sizeof block_);
    std::memset(digest_, 0, sizeof digest_);
    state_[0] = 0x67452301;
    state_[1] = 0xEFCDAB89;
    state_[2] = 0x98BADCFE;
    state_[3] = 0x10325476;
    state_[4] = 0xC3D2E1F0;
    count_ = 0;
}

void THash_MD4::Update(const void* data, int64_t size) {
    if (data == nullptr || size <= 0) return;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    uint64_t n = static_cast<uint64_t>(size);
    const size_t p = static_cast<size_t>(count_ % 64);
    count_ += n;
    if (p > 0) {
        const size_t fill = 64 - p;
        if (n < fill) {
            std::memcpy(block_ + p, in, static_cast<size_t>(n));
            return;
        }
        std::memcpy(block_ + p, in, fill);
        Transform(block_);
        in += fill;
        n -= fill;
    }
    // Complete blocks straight from the caller's memory.
    while (n >= 64) {
        Transform(in);
        in += 64;
        n -= 64;
    }
    if (n > 0) std::memcpy(block_, in, static_cast<size_t>(n));
}

void THash_MD4::PadAndTransform(bool bigEndianLength) {
    const size_t p = static_cast<size_t>(count_ % 64);
    block_[p] = 0x80;
    std::memset(block_ + p + 1, 0, 64 - p - 1);
    if (p > 55) {
        Transform(block_);
        std::memset(block_, 0, sizeof block_);
    }
    const uint64_t bits = count_ * 8;
    if (bigEndianLength) {
        StoreBE32(block_ + 56, static_cast<uint32_t>(bits >> 32));
        StoreBE32(block_ + 60, static_cast<uint32_t>(bits));
    } else {
        StoreU32(block_ + 56, static_cast<uint32_t>(bits));
        StoreU32(block_ + 60, static_cast<uint32_t>(bits >> 32));
    }
    Transform(block_);
    std::memset(block_, 0, sizeof block_);
}

void THash_MD4::StoreDigest(int words, bool bigEndian) {
    for (int i = 0; i < words; ++i) {
        if (bigEndian) {
            StoreBE32(digest_ + 4 * i, state_[i]);
        } else {
            StoreU32(digest_ + 4 * i, state_[i]);
        }
    }
}

void THash_MD4::Finish() {
    PadAndTransform(false);
    StoreDigest(4, false);
}

void THash_MD4::Transform(const uint8_t* block) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadU32(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    // Round 1: F, words in order, shifts 3 7 11 19.
    for (int i = 0; i < 16; i += 4) {
        a = Rol(a + F(b, c, d) + x[i], 3);
        d = Rol(d + F(a, b, c) + x[i + 1], 7);
        c = Rol(c + F(d, a, b) + x[i + 2], 11);
        b = Rol(b + F(c, d, a) + x[i + 3], 19);
    }
    // Round 2: G, words by column, shifts 3 5 9 13.
    for (int i = 0; i < 4; ++i) {
        a = Rol(a + G(b, c, d) + x[i] + 0x5A827999, 3);
        d = Rol(d + G(a, b, c) + x[i + 4] + 0x5A827999, 5);
        c = Rol(c + G(d, a, b) + x[i + 8] + 0x5A827999, 9);
        b = Rol(b + G(c, d, a) + x[i + 12] + 0x5A827999, 13);
    }
    // Round 3: H, words in bit-reversed order, shifts 3 9 11 15.
    static constexpr int kOrder3[4] = {0, 2, 1, 3};
    for (int k : kOrder3) {
        a = Rol(a + H(b, c, d) + x[k] + 0x6ED9EBA1, 3);
        d = Rol(d + H(a, b, c) + x[k + 8] + 0x6ED9EBA1, 9);
        c = Rol(c + H(d, a, b) + x[k + 4] + 0x6ED9EBA1, 11);
        b = Rol(b + H(c, d, a) + x[k + 12] + 0x6ED9EBA1, 15);
    }

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

}  // namespace tarn
