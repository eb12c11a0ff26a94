// Values in the engine's record-buffer encoding as the filter evaluator reads and writes
// them: a type code and a byte span. Every read is bounded by the span: bytes missing from a
// span that is shorter than its type's size read as zero, and a string ends at its first NUL
// or at the end of the span, whichever comes first.
//
// Encodings (little-endian): ftSmallint / ftWord 16-bit signed / unsigned; ftInteger,
// ftAutoInc, ftDate (day number), ftTime (ms of day) 32-bit signed; ftLargeint 64-bit
// signed; ftFloat, ftCurrency, ftDateTime (millisecond value) IEEE double; ftBoolean 16-bit
// in a record (0 false) or one byte in a computed value; strings NUL-ended bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tarn {

struct TValueRef {
    int DataType = 0;
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

namespace codec {

inline uint64_t GetLE(const uint8_t* p, size_t avail, size_t n) {
    uint64_t v = 0;
    size_t take = avail < n ? avail : n;
    for (size_t i = 0; i < take; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}
inline void PutLE(uint8_t* p, uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline int16_t I16(const TValueRef& v) { return static_cast<int16_t>(GetLE(v.Data, v.Size, 2)); }
inline uint16_t U16(const TValueRef& v) { return static_cast<uint16_t>(GetLE(v.Data, v.Size, 2)); }
inline int32_t I32(const TValueRef& v) { return static_cast<int32_t>(GetLE(v.Data, v.Size, 4)); }
inline int64_t I64(const TValueRef& v) { return static_cast<int64_t>(GetLE(v.Data, v.Size, 8)); }
inline double F64(const TValueRef& v) {
    uint64_t bits = GetLE(v.Data, v.Size, 8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline void PutI32(uint8_t* p, int32_t v) { PutLE(p, static_cast<uint32_t>(v), 4); }
inline void PutI64(uint8_t* p, int64_t v) { PutLE(p, static_cast<uint64_t>(v), 8); }
inline void PutF64(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    PutLE(p, bits, 8);
}

}  // namespace codec

// The bytes of a string value before its first NUL (bounded by the span).
std::string_view StringOf(const TValueRef& v);
// The truth of a Boolean value: a 16-bit record value is true when non-zero, a one-byte
// computed value when its byte is non-zero.
bool BoolOf(const TValueRef& v);
// An integer-family or ftLargeint value as a 64-bit integer (ftWord unsigned).
int64_t IntegerOf(const TValueRef& v);
// Any numeric value as a double.
double FloatOf(const TValueRef& v);
// Whether a numeric type is computed as a float (ftFloat, ftCurrency).
bool IsFloatType(int type);
// A double truncated toward zero to 32 bits, saturating at the ends (NaN gives 0).
int32_t TruncToInt32(double d);
// The day number of a millisecond value: rounded to whole ms, quotient by 86400000;
// saturates at the 64-bit ends (NaN gives INT64_MIN).
int64_t DayOfMSecs(double msecs);

}  // namespace tarn
