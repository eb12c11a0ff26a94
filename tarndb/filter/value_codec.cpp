#include "tarndb/filter/value_codec.h"

#include <cmath>
#include <cstdint>

#include "tarndb/filter/field_types.h"

namespace tarn {

using namespace ftype;

std::string_view StringOf(const TValueRef& v) {
    if (v.Data == nullptr) return std::string_view();
    const void* nul = std::memchr(v.Data, 0, v.Size);
    size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v.Data) : v.Size;
    return std::string_view(reinterpret_cast<const char*>(v.Data), len);
}

bool BoolOf(const TValueRef& v) {
    if (v.Data == nullptr || v.Size == 0) return false;
    if (v.Size >= 2) return v.Data[0] != 0 || v.Data[1] != 0;
    return v.Data[0] != 0;
}

int64_t IntegerOf(const TValueRef& v) {
    switch (v.DataType) {
        case ftSmallint: return codec::I16(v);
        case ftWord: return codec::U16(v);
        case ftLargeint: return codec::I64(v);
        default: return codec::I32(v);
    }
}

bool IsFloatType(int type) { return type == ftFloat || type == ftCurrency; }

double FloatOf(const TValueRef& v) {
    if (IsFloatType(v.DataType) || v.DataType == ftDateTime) return codec::F64(v);
    return static_cast<double>(IntegerOf(v));
}

int32_t TruncToInt32(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

int64_t DayOfMSecs(double msecs) {
    if (std::isnan(msecs)) return INT64_MIN;
    double r = std::round(msecs);
    if (r >= 9.2e18) return INT64_MAX / 86400000;
    if (r <= -9.2e18) return INT64_MIN / 86400000;
    return static_cast<int64_t>(r) / 86400000;
}

}  // namespace tarn
