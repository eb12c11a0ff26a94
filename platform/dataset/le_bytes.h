// Little-endian encoding of the fixed-size values a record buffer holds (16/32/64-bit
// integers and IEEE 754 doubles). Every function works on a byte span and checks its size:
// a span shorter than the value raises EDatabaseError ("Buffer too small for field value"),
// so a wrong field size can never read or write past a buffer.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "tarndb/errors.h"

namespace tarn::le {

inline void RequireSize(size_t have, size_t need) {
    if (have < need) throw EDatabaseError("Buffer too small for field value");
}

template <typename U>
U LoadUnsigned(std::span<const uint8_t> b) {
    RequireSize(b.size(), sizeof(U));
    U v = 0;
    for (size_t i = 0; i < sizeof(U); ++i) v |= static_cast<U>(static_cast<U>(b[i]) << (8 * i));
    return v;
}

template <typename U>
void StoreUnsigned(std::span<uint8_t> b, U v) {
    RequireSize(b.size(), sizeof(U));
    for (size_t i = 0; i < sizeof(U); ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline int16_t GetInt16(std::span<const uint8_t> b) {
    return static_cast<int16_t>(LoadUnsigned<uint16_t>(b));
}
inline uint16_t GetUInt16(std::span<const uint8_t> b) { return LoadUnsigned<uint16_t>(b); }
inline int32_t GetInt32(std::span<const uint8_t> b) {
    return static_cast<int32_t>(LoadUnsigned<uint32_t>(b));
}
inline int64_t GetInt64(std::span<const uint8_t> b) {
    return static_cast<int64_t>(LoadUnsigned<uint64_t>(b));
}
inline double GetDouble(std::span<const uint8_t> b) {
    return std::bit_cast<double>(LoadUnsigned<uint64_t>(b));
}

inline void PutInt16(std::span<uint8_t> b, int16_t v) {
    StoreUnsigned<uint16_t>(b, static_cast<uint16_t>(v));
}
inline void PutUInt16(std::span<uint8_t> b, uint16_t v) { StoreUnsigned<uint16_t>(b, v); }
inline void PutInt32(std::span<uint8_t> b, int32_t v) {
    StoreUnsigned<uint32_t>(b, static_cast<uint32_t>(v));
}
inline void PutInt64(std::span<uint8_t> b, int64_t v) {
    StoreUnsigned<uint64_t>(b, static_cast<uint64_t>(v));
}
inline void PutDouble(std::span<uint8_t> b, double v) {
    StoreUnsigned<uint64_t>(b, std::bit_cast<uint64_t>(v));
}

}  // namespace tarn::le
