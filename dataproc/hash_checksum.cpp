#include "dataproc/hash_checksum.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "dataproc/hash_words.h"

namespace tarn {

using namespace hashing;

namespace {

constexpr uint8_t kXor32Abc[4] = {0x43, 0x4c, 0x0c, 0x00};  // 000C4C43, little-endian
constexpr uint8_t kCrc32Abc[4] = {0xc2, 0x41, 0x24, 0x35};  // 352441C2, little-endian

// Tables of the slicing-by-16 CRC: table 0 is the standard byte table of EDB88320; table k
// advances a byte that sits k positions further back in the sixteen-byte slice.
constexpr int kSlices = 16;
using CrcTables = std::array<std::array<uint32_t, 256>, kSlices>;

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        for (int k = 1; k < kSlices; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

uint32_t CrcTable(uint32_t reg, const uint8_t* data, size_t size) {
    // Sixteen bytes at a time: the register absorbs the first four, the tables carry all
    // sixteen bytes forward at once.
    while (size >= 16) {
        const uint32_t w0 = reg ^ LoadU32(data);
        const uint32_t w1 = LoadU32(data + 4);
        const uint32_t w2 = LoadU32(data + 8);
        const uint32_t w3 = LoadU32(data + 12);
        reg = kCrc[15][w0 & 0xFF] ^ kCrc[14][(w0 >> 8) & 0xFF] ^ kCrc[13][(w0 >> 16) & 0xFF] ^
              kCrc[12][w0 >> 24] ^ kCrc[11][w1 & 0xFF] ^ kCrc[10][(w1 >> 8) & 0xFF] ^
              kCrc[9][(w1 >> 16) & 0xFF] ^ kCrc[8][w1 >> 24] ^ kCrc[7][w2 & 0xFF] ^
              kCrc[6][(w2 >> 8) & 0xFF] ^ kCrc[5][(w2 >> 16) & 0xFF] ^ kCrc[4][w2 >> 24] ^
              kCrc[3][w3 & 0xFF] ^ kCrc[2][(w3 >> 8) & 0xFF] ^ kCrc[1][(w3 >> 16) & 0xFF] ^
              kCrc[0][w3 >> 24];
        data += 16;
        size -= 16;
    }
    while (size-- > 0) reg = (reg >> 8) ^ kCrc[0][(reg ^ *data++) & 0xFF];
    return reg;
}

#if defined(__x86_64__)
// Carry-less multiplication folding (PCLMULQDQ) for the reflected CRC-32: four 16-byte lanes
// are folded 64 bytes at a time, then into one lane, and reduced to 32 bits with a Barrett
// step. The constants are x^n mod P for the fold distances, P' and mu of the polynomial.
// Needs size >= 64 and a multiple of 16.
#define TARN_CLMUL __attribute__((target("pclmul,sse4.1")))

TARN_CLMUL inline __m128i Load128(const uint8_t* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x (two 64-bit halves) moved forward by the distance k encodes, plus the next 16 bytes.
TARN_CLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

TARN_CLMUL uint32_t CrcFold(uint32_t reg, const uint8_t* p, size_t size) {
    __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = Load128(p + 16);
    __m128i x3 = Load128(p + 32);
    __m128i x4 = Load128(p + 48);
    p += 64;
    size -= 64;
    const __m128i k64 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);  // fold by 512 bits
    while (size >= 64) {
        x1 = Fold(x1, k64, Load128(p));
        x2 = Fold(x2, k64, Load128(p + 16));
        x3 = Fold(x3, k64, Load128(p + 32));
        x4 = Fold(x4, k64, Load128(p + 48));
        p += 64;
        size -= 64;
    }
    const __m128i k16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);  // fold by 128 bits
    x1 = Fold(x1, k16, x2);
    x1 = Fold(x1, k16, x3);
    x1 = Fold(x1, k16, x4);
    while (size >= 16) {
        x1 = Fold(x1, k16, Load128(p));
        p += 16;
        size -= 16;
    }
    // 128 -> 64 bits.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k16, 0x10));
    // 96 -> 64 bits.
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    const __m128i high = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(high, _mm_clmulepi64_si128(_mm_and_si128(x1, mask32),
                                                  _mm_set_epi64x(0, 0x163cd6124), 0x00));
    // Barrett reduction to 32 bits.
    const __m128i polyMu = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), polyMu, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(t, x1), 1));
}

bool HaveCarrylessMultiply() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}
#endif

}  // namespace

THash_XOR32::~THash_XOR32() { SecureZero(&checksum_, sizeof checksum_); }

const uint8_t* THash_XOR32::KnownAnswerData() const { return kXor32Abc; }

void THash_XOR32::Start() {
    checksum_ = 0;
    pending_ = -1;
    StoreU32(digest_, 0);
}

// Each 16-bit little-endian word w: Checksum = ROL(Checksum, 5) xor w. A byte left over
// from one Update pairs with the first byte of the next, so split updates agree.
void THash_XOR32::Update(const void* data, int64_t size) {
    if (data == nullptr || size <= 0) return;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    const uint8_t* end = in + size;
    if (pending_ >= 0 && in < end) {
        checksum_ = Rol(checksum_, 5) ^ (static_cast<uint32_t>(pending_) | uint32_t{*in++} << 8);
        pending_ = -1;
    }
    while (end - in >= 2) {
        checksum_ = Rol(checksum_, 5) ^ (uint32_t{in[0]} | uint32_t{in[1]} << 8);
        in += 2;
    }
    if (in < end) pending_ = *in;
}

void THash_XOR32::Finish() {
    if (pending_ >= 0) {
        checksum_ = Rol(checksum_, 5) ^ static_cast<uint32_t>(pending_);
        pending_ = -1;
    }
    StoreU32(digest_, checksum_);
}

const uint8_t* THash_CRC32::KnownAnswerData() const { return kCrc32Abc; }

void THash_CRC32::Start() {
    checksum_ = 0xFFFFFFFFu;
    StoreU32(digest_, 0);
}

uint32_t THash_CRC32::UpdateRegister(uint32_t reg, const uint8_t* data, size_t size) {
#if defined(__x86_64__)
    // The processor decides once which of two equivalent implementations runs.
    if (size >= 64 && HaveCarrylessMultiply()) {
        const size_t bulk = size & ~size_t{15};
        reg = CrcFold(reg, data, bulk);
        data += bulk;
        size -= bulk;
    }
#endif
    return CrcTable(reg, data, size);
}

uint32_t THash_CRC32::UpdateRegisterPortable(uint32_t reg, const uint8_t* data, size_t size) {
    return CrcTable(reg, data, size);
}

void THash_CRC32::Update(const void* data, int64_t size) {
    if (data == nullptr || size <= 0) return;
    checksum_ =
        UpdateRegister(checksum_, static_cast<const uint8_t*>(data), static_cast<size_t>(size));
}

void THash_CRC32::Finish() {
    checksum_ = ~checksum_;
    StoreU32(digest_, checksum_);
}

}  // namespace tarn
