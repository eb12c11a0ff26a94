#include "dataproc/enc_gost.h"

#include <array>
#include <bit>
#include <cstring>

#include "dataproc/cipher_lanes.h"
#include "platform/bytes.h"

namespace tarn {

namespace {

// S-box i replaces bits 4i..4i+3 of the round input (entries for inputs 0..15).
constexpr uint8_t kSBox[8][16] = {{4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
                                  {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
                                  {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
                                  {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
                                  {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
                                  {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
                                  {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
                                  {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12}};

// The S-boxes combined per byte of the round input and already rotated left by 11 bits,
// so that f(x) = T0[x0] ^ T1[x1] ^ T2[x2] ^ T3[x3].
using RoundTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr RoundTables MakeTables() {
    RoundTables t{};
    for (int byte = 0; byte < 4; ++byte)
        for (int v = 0; v < 256; ++v) {
            const uint32_t sub =
                uint32_t{kSBox[2 * byte][v & 0xF]} | (uint32_t{kSBox[2 * byte + 1][v >> 4]} << 4);
            t[static_cast<size_t>(byte)][static_cast<size_t>(v)] = std::rotl(sub << (8 * byte), 11);
        }
    return t;
}

constexpr RoundTables kTables = MakeTables();

inline uint32_t F(uint32_t x) {
    return kTables[0][x & 0xFF] ^ kTables[1][(x >> 8) & 0xFF] ^ kTables[2][(x >> 16) & 0xFF] ^
           kTables[3][x >> 24];
}

// The block and key words: fixed sizes, so the unchecked loads of the one byte-order set.
using bytes::LoadU32;
using bytes::StoreU32;

// Eight rounds with the key words in ascending or descending order.
inline void Forward8(uint32_t& a, uint32_t& b, const uint32_t* k) {
    for (int i = 0; i < 8; i += 2) {
        b ^= F(a + k[i]);
        a ^= F(b + k[i + 1]);
    }
}

inline void Backward8(uint32_t& a, uint32_t& b, const uint32_t* k) {
    for (int i = 7; i > 0; i -= 2) {
        b ^= F(a + k[i]);
        a ^= F(b + k[i - 1]);
    }
}

// The key word of round `round` (0..31): three ascending passes and a descending one to
// encrypt, one ascending and three descending to decrypt, as Forward8 and Backward8 run.
template <bool Decrypt>
constexpr int KeyIndex(int round) {
    const bool ascending = Decrypt ? round < 8 : round < 24;
    return ascending ? round % 8 : 7 - round % 8;
}

// L blocks through the 32 rounds side by side: each block's rounds are a chain of dependent
// table look-ups, several chains keep the processor busy.
template <size_t L, bool Decrypt>
inline void Lanes(const uint32_t* k, uint8_t* at) {
    uint32_t a[L], b[L];
#pragma GCC unroll 6
    for (size_t j = 0; j < L; ++j) {
        a[j] = LoadU32(at + j * 8);
        b[j] = LoadU32(at + j * 8 + 4);
    }
#pragma GCC unroll 16
    for (int round = 0; round < 32; round += 2) {
        const uint32_t k0 = k[KeyIndex<Decrypt>(round)];
        const uint32_t k1 = k[KeyIndex<Decrypt>(round + 1)];
#pragma GCC unroll 6
        for (size_t j = 0; j < L; ++j) b[j] ^= F(a[j] + k0);
#pragma GCC unroll 6
        for (size_t j = 0; j < L; ++j) a[j] ^= F(b[j] + k1);
    }
#pragma GCC unroll 6
    for (size_t j = 0; j < L; ++j) {
        StoreU32(at + j * 8, b[j]);
        StoreU32(at + j * 8 + 4, a[j]);
    }
}

template <bool Decrypt>
void AllLanes(const uint32_t* k, uint8_t* blocks, size_t n) {
    RunInLanes<6, 8>(
        blocks, n, [k](auto lanes, uint8_t* at) { Lanes<decltype(lanes)::value, Decrypt>(k, at); });
}

}  // namespace

void TEnc_Gost::EncryptBlocks(uint8_t* blocks, size_t n) {
    AllLanes<false>(KeySchedule(), blocks, n);
}

void TEnc_Gost::DecryptBlocks(uint8_t* blocks, size_t n) {
    AllLanes<true>(KeySchedule(), blocks, n);
}

void TEnc_Gost::Init(const uint8_t* key, int size, const uint8_t* initialVector) {
    BeginKeySetup(size);
    uint8_t padded[32] = {};
    std::memcpy(padded, key, static_cast<size_t>(size));
    uint32_t* k = KeySchedule();
    for (int i = 0; i < 8; ++i) k[i] = LoadU32(padded + 4 * i);
    SecureZero(padded, sizeof padded);
    EndKeySetup(initialVector);
}

void TEnc_Gost::EncryptBlock(uint8_t* block) {
    const uint32_t* k = KeySchedule();
    uint32_t a = LoadU32(block), b = LoadU32(block + 4);
    Forward8(a, b, k);
    Forward8(a, b, k);
    Forward8(a, b, k);
    Backward8(a, b, k);
    StoreU32(block, b);
    StoreU32(block + 4, a);
}

void TEnc_Gost::DecryptBlock(uint8_t* block) {
    const uint32_t* k = KeySchedule();
    uint32_t a = LoadU32(block), b = LoadU32(block + 4);
    Forward8(a, b, k);
    Backward8(a, b, k);
    Backward8(a, b, k);
    Backward8(a, b, k);
    StoreU32(block, b);
    StoreU32(block + 4, a);
}

}  // namespace tarn
