#include "dataproc/enc_twofish.h"

#include <array>
#include <bit>
#include <cstring>

#include "dataproc/cipher_lanes.h"
#include "platform/bytes.h"

namespace tarn {

namespace {

constexpr int kSubkeys = 40;   // subkey words first in the key schedule
constexpr int kRuns = 15;      // two-round steps per block
constexpr int kRunStride = 2;  // subkey words between the first pairs of two runs

// --- Fixed tables -----------------------------------------------------------------------

// The 4-bit permutations from which q0 and q1 are built.
constexpr uint8_t kQ0T[4][16] = {
    {0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
    {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
    {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
    {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}};
constexpr uint8_t kQ1T[4][16] = {
    {0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
    {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
    {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
    {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}};

constexpr uint8_t Ror4(uint8_t x) { return static_cast<uint8_t>(((x >> 1) | (x << 3)) & 0xF); }

constexpr std::array<uint8_t, 256> MakeQ(const uint8_t (&t)[4][16]) {
    std::array<uint8_t, 256> q{};
    for (int x = 0; x < 256; ++x) {
        uint8_t a = static_cast<uint8_t>(x >> 4), b = static_cast<uint8_t>(x & 0xF);
        uint8_t a1 = a ^ b;
        uint8_t b1 = static_cast<uint8_t>((a ^ Ror4(b) ^ (8 * a)) & 0xF);
        uint8_t a2 = t[0][a1], b2 = t[1][b1];
        uint8_t a3 = a2 ^ b2;
        uint8_t b3 = static_cast<uint8_t>((a2 ^ Ror4(b2) ^ (8 * a2)) & 0xF);
        uint8_t a4 = t[2][a3], b4 = t[3][b3];
        q[static_cast<size_t>(x)] = static_cast<uint8_t>((b4 << 4) | a4);
    }
    return q;
}

constexpr std::array<uint8_t, 256> kQ0 = MakeQ(kQ0T);
constexpr std::array<uint8_t, 256> kQ1 = MakeQ(kQ1T);

// Multiplication in GF(2^8) modulo the given polynomial.
constexpr uint8_t GfMul(uint8_t a, uint8_t b, unsigned poly) {
    unsigned x = a, r = 0;
    for (; b; b >>= 1) {
        if (b & 1) r ^= x;
        x <<= 1;
        if (x & 0x100) x ^= poly;
    }
    return static_cast<uint8_t>(r);
}

constexpr unsigned kMdsPoly = 0x169;
constexpr unsigned kRsPoly = 0x14D;

constexpr uint8_t kMds[4][4] = {{0x01, 0xEF, 0x5B, 0x5B},
                                {0x5B, 0xEF, 0xEF, 0x01},
                                {0xEF, 0x5B, 0x01, 0xEF},
                                {0xEF, 0x01, 0xEF, 0x5B}};

constexpr uint8_t kRs[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                               {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                               {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                               {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};

// Column `col` of the MDS matrix times `v`, as a little-endian word.
inline uint32_t MdsColumn(int col, uint8_t v) {
    uint32_t w = 0;
    for (int row = 0; row < 4; ++row)
        w |= uint32_t{GfMul(kMds[row][col], v, kMdsPoly)} << (8 * row);
    return w;
}

inline uint8_t Byte(uint32_t w, int i) { return static_cast<uint8_t>(w >> (8 * i)); }

// The block and key words: fixed sizes, so the unchecked loads of the one byte-order set.
using bytes::LoadU32;
using bytes::StoreU32;

// The byte-wise key-dependent S-boxes of h, before the MDS matrix: y = s(x, L[0..k-1]).
inline void SBoxes(uint32_t x, const uint32_t* l, int k, uint8_t y[4]) {
    for (int i = 0; i < 4; ++i) y[i] = Byte(x, i);
    if (k == 4) {
        y[0] = kQ1[y[0]] ^ Byte(l[3], 0);
        y[1] = kQ0[y[1]] ^ Byte(l[3], 1);
        y[2] = kQ0[y[2]] ^ Byte(l[3], 2);
        y[3] = kQ1[y[3]] ^ Byte(l[3], 3);
    }
    if (k >= 3) {
        y[0] = kQ1[y[0]] ^ Byte(l[2], 0);
        y[1] = kQ1[y[1]] ^ Byte(l[2], 1);
        y[2] = kQ0[y[2]] ^ Byte(l[2], 2);
        y[3] = kQ0[y[3]] ^ Byte(l[2], 3);
    }
    y[0] = kQ1[kQ0[kQ0[y[0]] ^ Byte(l[1], 0)] ^ Byte(l[0], 0)];
    y[1] = kQ0[kQ0[kQ1[y[1]] ^ Byte(l[1], 1)] ^ Byte(l[0], 1)];
    y[2] = kQ1[kQ1[kQ0[y[2]] ^ Byte(l[1], 2)] ^ Byte(l[0], 2)];
    y[3] = kQ0[kQ1[kQ1[y[3]] ^ Byte(l[1], 3)] ^ Byte(l[0], 3)];
}

inline uint32_t H(uint32_t x, const uint32_t* l, int k) {
    uint8_t y[4];
    SBoxes(x, l, k, y);
    return MdsColumn(0, y[0]) ^ MdsColumn(1, y[1]) ^ MdsColumn(2, y[2]) ^ MdsColumn(3, y[3]);
}

// One RS code word over 8 key bytes.
inline uint32_t RsWord(const uint8_t* m) {
    uint32_t w = 0;
    for (int row = 0; row < 4; ++row) {
        uint8_t s = 0;
        for (int c = 0; c < 8; ++c) s ^= GfMul(kRs[row][c], m[c], kRsPoly);
        w |= uint32_t{s} << (8 * row);
    }
    return w;
}

// g through the four key-dependent tables that follow the subkeys.
inline uint32_t G(const uint32_t* t, uint32_t x) {
    return t[Byte(x, 0)] ^ t[256 + Byte(x, 1)] ^ t[512 + Byte(x, 2)] ^ t[768 + Byte(x, 3)];
}

// L blocks through the rounds side by side, each exactly as EncryptBlock / DecryptBlock
// takes one: the two g look-ups of a round depend on the round before, so the rounds of
// several blocks interleaved keep the processor busy.
template <size_t L, bool Decrypt>
inline void Lanes(const uint32_t* k, uint8_t* at) {
    const uint32_t* t = k + kSubkeys;
    uint32_t r0[L], r1[L], r2[L], r3[L];
#pragma GCC unroll 3
    for (size_t j = 0; j < L; ++j) {
        const uint8_t* in = at + j * 16;
        if (Decrypt) {
            r2[j] = LoadU32(in) ^ k[4];
            r3[j] = LoadU32(in + 4) ^ k[5];
            r0[j] = LoadU32(in + 8) ^ k[6];
            r1[j] = LoadU32(in + 12) ^ k[7];
        } else {
            r0[j] = LoadU32(in) ^ k[0];
            r1[j] = LoadU32(in + 4) ^ k[1];
            r2[j] = LoadU32(in + 8) ^ k[2];
            r3[j] = LoadU32(in + 12) ^ k[3];
        }
    }
    for (int run = 0; run < kRuns; ++run) {
        const int j0 = Decrypt ? kRuns - 1 - run : run;
        const int a = 8 + kRunStride * j0, b = a + 2;
#pragma GCC unroll 3
        for (size_t j = 0; j < L; ++j) {
            if (Decrypt) {
                uint32_t t0 = G(t, r2[j]), t1 = G(t, std::rotl(r3[j], 8));
                r0[j] = std::rotl(r0[j], 1) ^ (t0 + t1 + k[b]);
                r1[j] = std::rotr(r1[j] ^ (t0 + 2 * t1 + k[b + 1]), 1);
                t0 = G(t, r0[j]);
                t1 = G(t, std::rotl(r1[j], 8));
                r2[j] = std::rotl(r2[j], 1) ^ (t0 + t1 + k[a]);
                r3[j] = std::rotr(r3[j] ^ (t0 + 2 * t1 + k[a + 1]), 1);
            } else {
                uint32_t t0 = G(t, r0[j]), t1 = G(t, std::rotl(r1[j], 8));
                r2[j] = std::rotr(r2[j] ^ (t0 + t1 + k[a]), 1);
                r3[j] = std::rotl(r3[j], 1) ^ (t0 + 2 * t1 + k[a + 1]);
                t0 = G(t, r2[j]);
                t1 = G(t, std::rotl(r3[j], 8));
                r0[j] = std::rotr(r0[j] ^ (t0 + t1 + k[b]), 1);
                r1[j] = std::rotl(r1[j], 1) ^ (t0 + 2 * t1 + k[b + 1]);
            }
        }
    }
#pragma GCC unroll 3
    for (size_t j = 0; j < L; ++j) {
        uint8_t* out = at + j * 16;
        if (Decrypt) {
            StoreU32(out, r0[j] ^ k[0]);
            StoreU32(out + 4, r1[j] ^ k[1]);
            StoreU32(out + 8, r2[j] ^ k[2]);
            StoreU32(out + 12, r3[j] ^ k[3]);
        } else {
            StoreU32(out, r2[j] ^ k[4]);
            StoreU32(out + 4, r3[j] ^ k[5]);
            StoreU32(out + 8, r0[j] ^ k[6]);
            StoreU32(out + 12, r1[j] ^ k[7]);
        }
    }
}

template <bool Decrypt>
void AllLanes(const uint32_t* k, uint8_t* blocks, size_t n) {
    RunInLanes<3, 16>(
        blocks, n, [k](auto lanes, uint8_t* at) { Lanes<decltype(lanes)::value, Decrypt>(k, at); });
}

}  // namespace

void TEnc_Twofish::EncryptBlocks(uint8_t* blocks, size_t n) {
    AllLanes<false>(KeySchedule(), blocks, n);
}

void TEnc_Twofish::DecryptBlocks(uint8_t* blocks, size_t n) {
    AllLanes<true>(KeySchedule(), blocks, n);
}

void TEnc_Twofish::Init(const uint8_t* key, int size, const uint8_t* initialVector) {
    BeginKeySetup(size);
    const int n = size <= 16 ? 16 : size <= 24 ? 24 : 32;
    const int k = n / 8;
    uint8_t padded[32] = {};
    std::memcpy(padded, key, static_cast<size_t>(size));

    uint32_t me[4] = {}, mo[4] = {}, sList[4] = {};
    for (int i = 0; i < k; ++i) {
        me[i] = LoadU32(padded + 8 * i);
        mo[i] = LoadU32(padded + 8 * i + 4);
        // The S-box key words are used in reverse order of the key pairs.
        sList[k - 1 - i] = RsWord(padded + 8 * i);
    }

    uint32_t* subkey = KeySchedule();
    constexpr uint32_t rho = 0x01010101;
    for (uint32_t i = 0; i < kSubkeys / 2; ++i) {
        const uint32_t a = H(2 * i * rho, me, k);
        const uint32_t b = std::rotl(H((2 * i + 1) * rho, mo, k), 8);
        subkey[2 * i] = a + b;
        subkey[2 * i + 1] = std::rotl(a + (b >> 1), 9);
    }

    uint32_t* table = subkey + kSubkeys;
    for (int x = 0; x < 256; ++x) {
        uint8_t y[4];
        const uint32_t v = static_cast<uint32_t>(x) * rho;
        SBoxes(v, sList, k, y);
        for (int col = 0; col < 4; ++col) table[256 * col + x] = MdsColumn(col, y[col]);
    }

    SecureZero(padded, sizeof padded);
    SecureZero(me, sizeof me);
    SecureZero(mo, sizeof mo);
    SecureZero(sList, sizeof sList);
    EndKeySetup(initialVector);
}

void TEnc_Twofish::EncryptBlock(uint8_t* block) {
    const uint32_t* k = KeySchedule();
    const uint32_t* t = k + kSubkeys;
    uint32_t r0 = LoadU32(block) ^ k[0], r1 = LoadU32(block + 4) ^ k[1];
    uint32_t r2 = LoadU32(block + 8) ^ k[2], r3 = LoadU32(block + 12) ^ k[3];
    for (int j = 0; j < kRuns; ++j) {
        const int a = 8 + kRunStride * j, b = a + 2;
        uint32_t t0 = G(t, r0), t1 = G(t, std::rotl(r1, 8));
        r2 = std::rotr(r2 ^ (t0 + t1 + k[a]), 1);
        r3 = std::rotl(r3, 1) ^ (t0 + 2 * t1 + k[a + 1]);
        t0 = G(t, r2);
        t1 = G(t, std::rotl(r3, 8));
        r0 = std::rotr(r0 ^ (t0 + t1 + k[b]), 1);
        r1 = std::rotl(r1, 1) ^ (t0 + 2 * t1 + k[b + 1]);
    }
    StoreU32(block, r2 ^ k[4]);
    StoreU32(block + 4, r3 ^ k[5]);
    StoreU32(block + 8, r0 ^ k[6]);
    StoreU32(block + 12, r1 ^ k[7]);
}

void TEnc_Twofish::DecryptBlock(uint8_t* block) {
    const uint32_t* k = KeySchedule();
    const uint32_t* t = k + kSubkeys;
    uint32_t r2 = LoadU32(block) ^ k[4], r3 = LoadU32(block + 4) ^ k[5];
    uint32_t r0 = LoadU32(block + 8) ^ k[6], r1 = LoadU32(block + 12) ^ k[7];
    for (int j = kRuns - 1; j >= 0; --j) {
        const int a = 8 + kRunStride * j, b = a + 2;
        uint32_t t0 = G(t, r2), t1 = G(t, std::rotl(r3, 8));
        r0 = std::rotl(r0, 1) ^ (t0 + t1 + k[b]);
        r1 = std::rotr(r1 ^ (t0 + 2 * t1 + k[b + 1]), 1);
        t0 = G(t, r0);
        t1 = G(t, std::rotl(r1, 8));
        r2 = std::rotl(r2, 1) ^ (t0 + t1 + k[a]);
        r3 = std::rotr(r3 ^ (t0 + 2 * t1 + k[a + 1]), 1);
    }
    StoreU32(block, r0 ^ k[0]);
    StoreU32(block + 4, r1 ^ k[1]);
    StoreU32(block + 8, r2 ^ k[2]);
    StoreU32(block + 12, r3 ^ k[3]);
}

}  // namespace tarn
