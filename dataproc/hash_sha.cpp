#include "dataproc/hash_sha.h"

#include "dataproc/hash_words.h"

namespace tarn {

using namespace hashing;

namespace {

constexpr uint8_t kSha0Abc[20] = {0x01, 0x64, 0xb8, 0xa9, 0x14, 0xcd, 0x2a, 0x5e, 0x74, 0xc4,
                                  0xf7, 0xff, 0x08, 0x2c, 0x4d, 0x97, 0xf1, 0xed, 0xf8, 0x80};

inline uint32_t Ch(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t Maj(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (d & (b | c)); }

// One step with the roles of the five working variables passed in: instead of moving the
// variables after every step, the caller rotates the argument order, so five consecutive
// steps leave every variable in place.
template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void Step(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += Rol(a, 5) + Fn(b, c, d) + K + w;
    b = Rol(b, 30);
}

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void Round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e,
                  const uint32_t* w) {
    for (int i = 0; i < 20; i += 5) {
        Step<Fn, K>(a, b, c, d, e, w[i]);
        Step<Fn, K>(e, a, b, c, d, w[i + 1]);
        Step<Fn, K>(d, e, a, b, c, w[i + 2]);
        Step<Fn, K>(c, d, e, a, b, w[i + 3]);
        Step<Fn, K>(b, c, d, e, a, w[i + 4]);
    }
}

}  // namespace

const uint8_t* THash_SHA::KnownAnswerData() const { return kSha0Abc; }

void THash_SHA::Finish() {
    PadAndTransform(true);
    StoreDigest(5, true);
}

void THash_SHA::Transform(const uint8_t* block) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = LoadBE32(block + 4 * t);
    if (rotateSchedule_) {
        for (int t = 16; t < 80; ++t) w[t] = Rol(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    } else {
        for (int t = 16; t < 80; ++t) w[t] = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];
    }

    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    Round<Ch, 0x5A827999>(a, b, c, d, e, w);
    Round<Parity, 0x6ED9EBA1>(a, b, c, d, e, w + 20);
    Round<Maj, 0x8F1BBCDC>(a, b, c, d, e, w + 40);
    Round<Parity, 0xCA62C1D6>(a, b, c, d, e, w + 60);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

}  // namespace tarn
