// Word helpers of the hash and cipher code: big-endian loads and stores over byte pointers
// (the little-endian ones are platform/bytes.h's), rotations, and a zero fill the optimiser may not
// drop (used to wipe key material and digests).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

namespace tarn::hashing {

// Little-endian words are the one byte-order set's unchecked loads (platform/bytes.h).
using bytes::LoadU32;
using bytes::StoreU32;

inline uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

inline void StoreBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline uint32_t Rol(uint32_t v, int n) { return std::rotl(v, n); }
inline uint32_t Ror(uint32_t v, int n) { return std::rotr(v, n); }

// Fills `size` bytes at `p` with zeros through a volatile pointer, so the wipe survives
// optimisation even when the memory is about to be released.
inline void SecureZero(void* p, size_t size) {
    volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
    for (size_t i = 0; i < size; ++i) v[i] = 0;
}

}  // namespace tarn::hashing
