#include "dataproc/hash_checksum.h"

#include <array>

#include "dataproc/hash_words.h"

namespace tarn {

using namespace hashing;

namespace {

constexpr uint8_t kXor32Abc[4] = {0x43, 0x4c, 0x0c, 0x00};  // 000C4C43, little-endian
constexpr uint8_t kCrc32Abc[4] = {0xc2, 0x41, 0x24, 0x35};  // 352441C2, little-endian

// Tables of the slicing-by-8 CRC: table 0 is the standard byte table of EDB88320; table k
// advances a byte that sits k positions further back in the eight-byte slice.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

}  // namespace

THash_XOR32::~THash_XOR32() { SecureZero(&checksum_, sizeof checksum_); }

const uint8_t* THash_XOR32::KnownAnswerData() const { return kXor32Abc; }

void THash_XOR32::Start() {
    checksum_ = 0;
    pending_ = -1;
    StoreLE32(digest_, 0);
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
    StoreLE32(digest_, checksum_);
}

const uint8_t* THash_CRC32::KnownAnswerData() const { return kCrc32Abc; }

void THash_CRC32::Start() {
    checksum_ = 0xFFFFFFFFu;
    StoreLE32(digest_, 0);
}

uint32_t THash_CRC32::UpdateRegister(uint32_t reg, const uint8_t* data, size_t size) {
    // Eight bytes at a time: the register absorbs the first four, the tables carry all
    // eight bytes forward at once.
    while (size >= 8) {
        const uint32_t lo = reg ^ LoadLE32(data);
        const uint32_t hi = LoadLE32(data + 4);
        reg = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
              kCrc[4][lo >> 24] ^ kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^
              kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
        data += 8;
        size -= 8;
    }
    while (size-- > 0) reg = (reg >> 8) ^ kCrc[0][(reg ^ *data++) & 0xFF];
    return reg;
}

void THash_CRC32::Update(const void* data, int64_t size) {
    if (data == nullptr || size <= 0) return;
    checksum_ =
        UpdateRegister(checksum_, static_cast<const uint8_t*>(data), static_cast<size_t>(size));
}

void THash_CRC32::Finish() {
    checksum_ = ~checksum_;
    StoreLE32(digest_, checksum_);
}

}  // namespace tarn
