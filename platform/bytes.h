// Little-endian encoding and decoding of integers, floats and fixed-size name fields: the
// one set every layer uses, for the structures of the database file, the values of a record
// buffer and the words of the hash and cipher code.
//
// The checked functions work on a byte span and an offset, and take the name of what they
// read ("record-table item", "blob descriptor", "field value"). An access that does not lie
// inside the span raises EDatabaseError naming it, its offset and width and the span's size:
// a damaged file or a wrong field size can never read or write past a buffer, and the error
// is the engine's own.
//
// The Load / Store functions over a raw pointer are the unchecked fast variants, for code
// that has already checked the length (a fixed block of a hash or a cipher).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "tarndb/errors.h"

namespace tarn::bytes {

inline constexpr std::string_view kStructure = "structure";

// Raises EDatabaseError: "Reading 4 bytes at offset 18 of a blob descriptor of 20 bytes
// goes past its end".
[[noreturn]] inline void OutOfRange(size_t spanSize, size_t offset, size_t width,
                                    std::string_view what, bool write) {
    throw EDatabaseError(std::string(write ? "Writing " : "Reading ") + std::to_string(width) +
                         " bytes at offset " + std::to_string(offset) + " of a " +
                         std::string(what) + " of " + std::to_string(spanSize) +
                         " bytes goes past its end");
}

inline void CheckRange(size_t spanSize, size_t offset, size_t width,
                       std::string_view what = kStructure, bool write = false) {
    if (offset > spanSize || width > spanSize - offset)
        OutOfRange(spanSize, offset, width, what, write);
}

// ---- unchecked: the caller guarantees the bytes are there ----------------------------------
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p) {
    return static_cast<uint64_t>(LoadU32(p)) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(uint8_t* p, uint64_t v) {
    StoreU32(p, static_cast<uint32_t>(v));
    StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

// ---- checked reads ---------------------------------------------------------------------------
inline uint16_t GetU16(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    CheckRange(s.size(), off, 2, what);
    return LoadU16(s.data() + off);
}
inline uint32_t GetU32(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    CheckRange(s.size(), off, 4, what);
    return LoadU32(s.data() + off);
}
inline uint64_t GetU64(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    CheckRange(s.size(), off, 8, what);
    return LoadU64(s.data() + off);
}
inline int16_t GetI16(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    return static_cast<int16_t>(GetU16(s, off, what));
}
inline int32_t GetI32(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    return static_cast<int32_t>(GetU32(s, off, what));
}
inline int64_t GetI64(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    return static_cast<int64_t>(GetU64(s, off, what));
}
inline double GetF64(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    return std::bit_cast<double>(GetU64(s, off, what));
}
inline uint8_t GetU8(std::span<const uint8_t> s, size_t off, std::string_view what = kStructure) {
    CheckRange(s.size(), off, 1, what);
    return s[off];
}

// ---- checked writes --------------------------------------------------------------------------
inline void PutU16(std::span<uint8_t> s, size_t off, uint16_t v,
                   std::string_view what = kStructure) {
    CheckRange(s.size(), off, 2, what, true);
    StoreU16(s.data() + off, v);
}
inline void PutU32(std::span<uint8_t> s, size_t off, uint32_t v,
                   std::string_view what = kStructure) {
    CheckRange(s.size(), off, 4, what, true);
    StoreU32(s.data() + off, v);
}
inline void PutU64(std::span<uint8_t> s, size_t off, uint64_t v,
                   std::string_view what = kStructure) {
    CheckRange(s.size(), off, 8, what, true);
    StoreU64(s.data() + off, v);
}
inline void PutI16(std::span<uint8_t> s, size_t off, int16_t v,
                   std::string_view what = kStructure) {
    PutU16(s, off, static_cast<uint16_t>(v), what);
}
inline void PutI32(std::span<uint8_t> s, size_t off, int32_t v,
                   std::string_view what = kStructure) {
    PutU32(s, off, static_cast<uint32_t>(v), what);
}
inline void PutI64(std::span<uint8_t> s, size_t off, int64_t v,
                   std::string_view what = kStructure) {
    PutU64(s, off, static_cast<uint64_t>(v), what);
}
inline void PutF64(std::span<uint8_t> s, size_t off, double v, std::string_view what = kStructure) {
    PutU64(s, off, std::bit_cast<uint64_t>(v), what);
}
inline void PutU8(std::span<uint8_t> s, size_t off, uint8_t v, std::string_view what = kStructure) {
    CheckRange(s.size(), off, 1, what, true);
    s[off] = v;
}

// A name field of `size` bytes: its value is the bytes before the first NUL, or all
// `size` bytes when it holds no NUL.
inline std::string GetName(std::span<const uint8_t> s, size_t off, size_t size,
                           std::string_view what = kStructure) {
    CheckRange(s.size(), off, size, what);
    const uint8_t* p = s.data() + off;
    const void* nul = std::memchr(p, 0, size);
    size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
    return std::string(reinterpret_cast<const char*>(p), len);
}

// Writes `name` into a name field of `size` bytes, zero-filling the rest. A name longer
// than the field raises EDatabaseError.
inline void PutName(std::span<uint8_t> s, size_t off, size_t size, std::string_view name,
                    std::string_view what = kStructure) {
    CheckRange(s.size(), off, size, what, true);
    if (name.size() > size)
        throw EDatabaseError("The name '" + std::string(name) + "' is longer than its field of " +
                             std::to_string(size) + " bytes in a " + std::string(what));
    std::memset(s.data() + off, 0, size);
    std::memcpy(s.data() + off, name.data(), name.size());
}

}  // namespace tarn::bytes
