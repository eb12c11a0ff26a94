#include "dataproc/enc_blowfish.h"

#include <cstring>

#include "dataproc/cipher_lanes.h"
#include "dataproc/enc_blowfish_tables.h"
#include "tarndb/errors.h"

namespace tarn {

namespace {

constexpr int kSBoxWords = 4 * 256;  // S-boxes first in the key schedule
constexpr int kPWords = 18;          // then the P-array

inline uint32_t LoadBE(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// F(x) = ((S0[a] + S1[b]) ^ S2[c]) + S3[d] with a the most significant byte of x. The byte
// indices are taken as uint8_t so that each box's place in the schedule folds into the
// load's address instead of costing an add per look-up.
inline uint32_t F(const uint32_t* s, uint32_t x) {
    const uint32_t* s1 = s + 256;
    const uint32_t* s2 = s + 512;
    const uint32_t* s3 = s + 768;
    return ((s[x >> 24] + s1[static_cast<uint8_t>(x >> 16)]) ^ s2[static_cast<uint8_t>(x >> 8)]) +
           s3[static_cast<uint8_t>(x)];
}

}  // namespace

void TEnc_Blowfish::EncryptWords(uint32_t& left, uint32_t& right) const {
    const uint32_t* s = KeySchedule();
    const uint32_t* p = s + kSBoxWords;
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= p[i];
        r ^= F(s, l);
        r ^= p[i + 1];
        l ^= F(s, r);
    }
    left = r ^ p[17];
    right = l ^ p[16];
}

void TEnc_Blowfish::EncryptBlock(uint8_t* block) {
    uint32_t l = LoadBE(block), r = LoadBE(block + 4);
    EncryptWords(l, r);
    StoreBE(block, l);
    StoreBE(block + 4, r);
}

void TEnc_Blowfish::DecryptBlock(uint8_t* block) {
    const uint32_t* s = KeySchedule();
    const uint32_t* p = s + kSBoxWords;
    uint32_t l = LoadBE(block), r = LoadBE(block + 4);
    for (int i = 17; i > 1; i -= 2) {
        l ^= p[i];
        r ^= F(s, l);
        r ^= p[i - 1];
        l ^= F(s, r);
    }
    StoreBE(block, r ^ p[0]);
    StoreBE(block + 4, l ^ p[1]);
}

namespace {

// L blocks through the 16 rounds side by side; `Decrypt` runs the P-array backwards.
template <size_t L, bool Decrypt>
inline void Lanes(const uint32_t* s, uint8_t* at) {
    const uint32_t* p = s + kSBoxWords;
    uint32_t l[L], r[L];
#pragma GCC unroll 6
    for (size_t j = 0; j < L; ++j) {
        l[j] = LoadBE(at + j * 8);
        r[j] = LoadBE(at + j * 8 + 4);
    }
#pragma GCC unroll 8
    for (int round = 0; round < 16; round += 2) {
        const uint32_t p0 = Decrypt ? p[17 - round] : p[round];
        const uint32_t p1 = Decrypt ? p[16 - round] : p[round + 1];
#pragma GCC unroll 6
        for (size_t j = 0; j < L; ++j) {
            l[j] ^= p0;
            r[j] ^= F(s, l[j]) ^ p1;
        }
#pragma GCC unroll 6
        for (size_t j = 0; j < L; ++j) l[j] ^= F(s, r[j]);
    }
    const uint32_t last0 = Decrypt ? p[0] : p[17];
    const uint32_t last1 = Decrypt ? p[1] : p[16];
#pragma GCC unroll 6
    for (size_t j = 0; j < L; ++j) {
        StoreBE(at + j * 8, r[j] ^ last0);
        StoreBE(at + j * 8 + 4, l[j] ^ last1);
    }
}

// Six chains side by side: with four, the processor still waits on the look-ups of each
// round; with eight, the lanes no longer fit the registers and spill.
template <bool Decrypt>
void AllLanes(const uint32_t* s, uint8_t* blocks, size_t n) {
    RunInLanes<6, 8>(
        blocks, n, [s](auto lanes, uint8_t* at) { Lanes<decltype(lanes)::value, Decrypt>(s, at); });
}

}  // namespace

void TEnc_Blowfish::EncryptBlocks(uint8_t* blocks, size_t n) {
    AllLanes<false>(KeySchedule(), blocks, n);
}

void TEnc_Blowfish::DecryptBlocks(uint8_t* blocks, size_t n) {
    AllLanes<true>(KeySchedule(), blocks, n);
}

void TEnc_Blowfish::Init(const uint8_t* key, int size, const uint8_t* initialVector) {
    BeginKeySetup(size);
    if (size == 0)
        throw EEncryptException("TEnc_Blowfish: the key must be 1 to 56 bytes long",
                                kEncryptErrInvalidKeySize);
    uint32_t* s = KeySchedule();
    uint32_t* p = s + kSBoxWords;
    std::memcpy(s, blowfish_tables::kInitialS, sizeof(uint32_t) * kSBoxWords);
    // The key bytes, taken cyclically, are folded into the P-array four at a time.
    int at = 0;
    for (int i = 0; i < kPWords; ++i) {
        uint32_t word = 0;
        for (int j = 0; j < 4; ++j) {
            word = (word << 8) | key[at];
            at = (at + 1) % size;
        }
        p[i] = blowfish_tables::kInitialP[i] ^ word;
    }
    // P-array, then S-boxes, replaced by the chained encryptions of a zero block.
    uint32_t l = 0, r = 0;
    for (int i = 0; i < kPWords; i += 2) {
        EncryptWords(l, r);
        p[i] = l;
        p[i + 1] = r;
    }
    for (int i = 0; i < kSBoxWords; i += 2) {
        EncryptWords(l, r);
        s[i] = l;
        s[i + 1] = r;
    }
    EndKeySetup(initialVector);
}

}  // namespace tarn
