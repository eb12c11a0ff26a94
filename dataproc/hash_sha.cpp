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

// The message schedule kept as a ring of sixteen words: W(t) for t >= 16 replaces W(t - 16).
template <bool Rotate>
inline uint32_t Schedule(uint32_t* w, int t) {
    if (t < 16) return w[t];
    uint32_t x = w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15];
    if (Rotate) x = Rol(x, 1);
    w[t & 15] = x;
    return x;
}

// One step with the roles of the five working variables passed in: instead of moving the
// variables after every step, the caller rotates the argument order, so five consecutive
// steps leave every variable in place.
template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void Step(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += Rol(a, 5) + Fn(b, c, d) + K + w;
    b = Rol(b, 30);
}

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t), uint32_t K, bool Rotate>
inline void Round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t* w,
                  int first) {
#pragma GCC unroll 4
    for (int t = first; t < first + 20; t += 5) {
        Step<Fn, K>(a, b, c, d, e, Schedule<Rotate>(w, t));
        Step<Fn, K>(e, a, b, c, d, Schedule<Rotate>(w, t + 1));
        Step<Fn, K>(d, e, a, b, c, Schedule<Rotate>(w, t + 2));
        Step<Fn, K>(c, d, e, a, b, Schedule<Rotate>(w, t + 3));
        Step<Fn, K>(b, c, d, e, a, Schedule<Rotate>(w, t + 4));
    }
}

template <bool Rotate>
void Compress(uint32_t* state, const uint8_t* block) {
    uint32_t w[16];
    for (int t = 0; t < 16; ++t) w[t] = LoadBE32(block + 4 * t);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    Round<Ch, 0x5A827999, Rotate>(a, b, c, d, e, w, 0);
    Round<Parity, 0x6ED9EBA1, Rotate>(a, b, c, d, e, w, 20);
    Round<Maj, 0x8F1BBCDC, Rotate>(a, b, c, d, e, w, 40);
    Round<Parity, 0xCA62C1D6, Rotate>(a, b, c, d, e, w, 60);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

const uint8_t* THash_SHA::KnownAnswerData() const { return kSha0Abc; }

void THash_SHA::Finish() {
    PadAndTransform(true);
    StoreDigest(5, true);
}

void THash_SHA::Transform(const uint8_t* block) {
    if (rotateSchedule_) {
        Compress<true>(state_, block);
    } else {
        Compress<false>(state_, block);
    }
}

}  // namespace tarn
