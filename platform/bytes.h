// Little-endian encoding and decoding of integers, floats and fixed-size name fields over
// byte spans. Every structure of the database file is read and written through these; the
// caller guarantees that `offset + width` lies inside the span (checked in debug builds by
// std::span's bounds only through our own assertions below).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarn::bytes {

inline void CheckRange(size_t spanSize, size_t offset, size_t width) {
    if (offset > spanSize || width > spanSize - offset)
        throw std::out_of_range("byte access outside its structure");
}

inline uint16_t GetU16(std::span<const uint8_t> s, size_t off) {
    CheckRange(s.size(), off, 2);
    return static_cast<uint16_t>(s[off] | (s[off + 1] << 8));
}
inline uint32_t GetU32(std::span<const uint8_t> s, size_t off) {
    CheckRange(s.size(), off, 4);
    return static_cast<uint32_t>(s[off]) | (static_cast<uint32_t>(s[off + 1]) << 8) |
           (static_cast<uint32_t>(s[off + 2]) << 16) | (static_cast<uint32_t>(s[off + 3]) << 24);
}
inline uint64_t GetU64(std::span<const uint8_t> s, size_t off) {
    return static_cast<uint64_t>(GetU32(s, off)) | (static_cast<uint64_t>(GetU32(s, off + 4)) << 32);
}
inline int16_t GetI16(std::span<const uint8_t> s, size_t off) {
    return static_cast<int16_t>(GetU16(s, off));
}
inline int32_t GetI32(std::span<const uint8_t> s, size_t off) {
    return static_cast<int32_t>(GetU32(s, off));
}
inline int64_t GetI64(std::span<const uint8_t> s, size_t off) {
    return static_cast<int64_t>(GetU64(s, off));
}
inline double GetF64(std::span<const uint8_t> s, size_t off) {
    return std::bit_cast<double>(GetU64(s, off));
}

inline void PutU16(std::span<uint8_t> s, size_t off, uint16_t v) {
    CheckRange(s.size(), off, 2);
    s[off] = static_cast<uint8_t>(v);
    s[off + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(std::span<uint8_t> s, size_t off, uint32_t v) {
    CheckRange(s.size(), off, 4);
    for (int i = 0; i < 4; ++i) s[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(std::span<uint8_t> s, size_t off, uint64_t v) {
    PutU32(s, off, static_cast<uint32_t>(v));
    PutU32(s, off + 4, static_cast<uint32_t>(v >> 32));
}
inline void PutI16(std::span<uint8_t> s, size_t off, int16_t v) { PutU16(s, off, static_cast<uint16_t>(v)); }
inline void PutI32(std::span<uint8_t> s, size_t off, int32_t v) { PutU32(s, off, static_cast<uint32_t>(v)); }
inline void PutI64(std::span<uint8_t> s, size_t off, int64_t v) { PutU64(s, off, static_cast<uint64_t>(v)); }
inline void PutF64(std::span<uint8_t> s, size_t off, double v) { PutU64(s, off, std::bit_cast<uint64_t>(v)); }

// A name field of `size` bytes: its value is the bytes before the first NUL, or all
// `size` bytes when it holds no NUL.
inline std::string GetName(std::span<const uint8_t> s, size_t off, size_t size) {
    CheckRange(s.size(), off, size);
    const uint8_t* p = s.data() + off;
    const void* nul = std::memchr(p, 0, size);
    size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
    return std::string(reinterpret_cast<const char*>(p), len);
}

// Writes `name` into a name field of `size` bytes, zero-filling the rest. The caller has
// checked that the name fits (at most `size` bytes).
inline void PutName(std::span<uint8_t> s, size_t off, size_t size, std::string_view name) {
    CheckRange(s.size(), off, size);
    if (name.size() > size) throw std::length_error("name longer than its field");
    std::memset(s.data() + off, 0, size);
    std::memcpy(s.data() + off, name.data(), name.size());
}

}  // namespace tarn::bytes
