// TVariant: the dynamically typed value of the dataset framework (field values, key values
// for Locate and Lookup, results of Lookup). It is Null, a Boolean, a 32- or 64-bit integer,
// a double, a byte string (data code page, never converted), a date-time (TDateTime), or an
// array of variants. A default-constructed variant is Null.
//
// Conversions (`AsString`, `AsInteger`, ...) follow what users of such values expect:
//   - Null gives "" as a string; any other conversion of Null raises EConvertError.
//   - Booleans are 1 / 0 as numbers and "True" / "False" as text.
//   - Floats become integers by rounding half to even; integers out of the target range,
//     NaN and infinities raise EConvertError.
//   - Strings are read as numbers, Booleans or dates with the rules of number_text.h and
//     date_time.h; text that does not read raises EConvertError naming the text.
//   - Date-times are their TDateTime number when read as numbers, and DateTimeToStr text.
//   - Arrays convert to nothing but arrays (EConvertError).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tarndb/dataset/date_time.h"
#include "tarndb/errors.h"

namespace tarn {

class TVariant {
public:
    enum class Kind { Null, Boolean, Int32, Int64, Float, String, DateTime, Array };

    TVariant() = default;
    TVariant(bool v) : kind_(Kind::Boolean), int_(v ? 1 : 0) {}
    TVariant(int32_t v) : kind_(Kind::Int32), int_(v) {}
    TVariant(int64_t v) : kind_(Kind::Int64), int_(v) {}
    TVariant(double v) : kind_(Kind::Float), float_(v) {}
    TVariant(std::string v) : kind_(Kind::String), str_(std::move(v)) {}
    TVariant(const char* v) : kind_(Kind::String), str_(v ? v : "") {}
    TVariant(std::vector<TVariant> items) : kind_(Kind::Array), items_(std::move(items)) {}

    static TVariant Null() { return TVariant(); }
    static TVariant FromDateTime(TDateTime v);
    static TVariant Array(std::initializer_list<TVariant> items);

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsArray() const { return kind_ == Kind::Array; }
    bool IsNumeric() const;
    // "Null", "Boolean", "Integer", "Int64", "Double", "String", "Date", "Array".
    static const char* KindName(Kind kind);

    std::string AsString() const;
    int32_t AsInteger() const;
    int64_t AsInt64() const;
    double AsFloat() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;

    // Elements of an array; EConvertError for any other kind.
    const std::vector<TVariant>& Elements() const;
    size_t ArrayLength() const { return Elements().size(); }
    // Element i of an array; EConvertError when the index is out of bounds.
    const TVariant& operator[](size_t i) const;

    // Equal kinds and values; integers of both widths compare by value.
    bool operator==(const TVariant& other) const;

private:
    [[noreturn]] void CannotConvert(const char* target) const;

    Kind kind_ = Kind::Null;
    int64_t int_ = 0;
    double float_ = 0;
    std::string str_;
    std::vector<TVariant> items_;
};

}  // namespace tarn
