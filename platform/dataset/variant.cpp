#include "tarndb/dataset/variant.h"

#include <cmath>

#include "platform/dataset/number_text.h"
#include "tarndb/errors.h"

namespace tarn {
namespace {

[[noreturn]] void InvalidText(const std::string& text, const char* what) {
    throw EConvertError("'" + text + "' is not a valid " + what);
}

// Rounds half to even and checks the range of the target type.
int64_t RoundChecked(double v, double lo, double hi, const char* kindName, const char* target) {
    if (!std::isfinite(v) || v < lo - 0.5 || v > hi + 0.5) {
        throw EConvertError(std::string("Overflow while converting variant of type (") + kindName +
                            ") into type (" + target + ")");
    }
    double r = std::nearbyint(v);  // the default rounding mode: half to even
    if (r < lo || r > hi) {
        throw EConvertError(std::string("Overflow while converting variant of type (") + kindName +
                            ") into type (" + target + ")");
    }
    return static_cast<int64_t>(r);
}

}  // namespace

TVariant TVariant::FromDateTime(TDateTime v) {
    TVariant r;
    r.kind_ = Kind::DateTime;
    r.float_ = v;
    return r;
}

TVariant TVariant::Array(std::initializer_list<TVariant> items) {
    return TVariant(std::vector<TVariant>(items));
}

bool TVariant::IsNumeric() const {
    return kind_ == Kind::Int32 || kind_ == Kind::Int64 || kind_ == Kind::Float;
}

const char* TVariant::KindName(Kind kind) {
    switch (kind) {
        case Kind::Null:
            return "Null";
        case Kind::Boolean:
            return "Boolean";
        case Kind::Int32:
            return "Integer";
        case Kind::Int64:
            return "Int64";
        case Kind::Float:
            return "Double";
        case Kind::String:
            return "String";
        case Kind::DateTime:
            return "Date";
        case Kind::Array:
            return "Array";
    }
    return "Unknown";
}

void TVariant::CannotConvert(const char* target) const {
    throw EConvertError(std::string("Could not convert variant of type (") + KindName(kind_) +
                        ") into type (" + target + ")");
}

std::string TVariant::AsString() const {
    switch (kind_) {
        case Kind::Null:
            return std::string();
        case Kind::Boolean:
            return BoolToStr(int_ != 0);
        case Kind::Int32:
        case Kind::Int64:
            return std::to_string(int_);
        case Kind::Float:
            return FloatToStr(float_);
        case Kind::String:
            return str_;
        case Kind::DateTime:
            return DateTimeToStr(float_);
        case Kind::Array:
            break;
    }
    CannotConvert("String");
}

int64_t TVariant::AsInt64() const {
    switch (kind_) {
        case Kind::Boolean:
        case Kind::Int32:
        case Kind::Int64:
            return int_;
        case Kind::Float:
        case Kind::DateTime:
            return RoundChecked(float_, -9223372036854775808.0, 9223372036854774784.0,
                                KindName(kind_), "Int64");
        case Kind::String: {
            if (auto v = TryStrToInt64(str_)) return *v;
            InvalidText(str_, "integer value");
        }
        case Kind::Null:
        case Kind::Array:
            break;
    }
    CannotConvert("Int64");
}

int32_t TVariant::AsInteger() const {
    switch (kind_) {
        case Kind::Float:
        case Kind::DateTime:
            return static_cast<int32_t>(
                RoundChecked(float_, INT32_MIN, INT32_MAX, KindName(kind_), "Integer"));
        case Kind::Null:
        case Kind::Array:
            CannotConvert("Integer");
        default:
            break;
    }
    int64_t v = AsInt64();
    if (v < INT32_MIN || v > INT32_MAX) {
        if (kind_ == Kind::String) InvalidText(str_, "integer value");
        throw EConvertError(std::string("Overflow while converting variant of type (") +
                            KindName(kind_) + ") into type (Integer)");
    }
    return static_cast<int32_t>(v);
}

double TVariant::AsFloat() const {
    switch (kind_) {
        case Kind::Boolean:
        case Kind::Int32:
        case Kind::Int64:
            return static_cast<double>(int_);
        case Kind::Float:
        case Kind::DateTime:
            return float_;
        case Kind::String: {
            if (auto v = TryStrToFloat(str_)) return *v;
            InvalidText(str_, "floating point value");
        }
        case Kind::Null:
        case Kind::Array:
            break;
    }
    CannotConvert("Double");
}

bool TVariant::AsBoolean() const {
    switch (kind_) {
        case Kind::Boolean:
        case Kind::Int32:
        case Kind::Int64:
            return int_ != 0;
        case Kind::Float:
            return float_ != 0;
        case Kind::String: {
            if (auto v = TryStrToBool(str_)) return *v;
            InvalidText(str_, "boolean value");
        }
        default:
            break;
    }
    CannotConvert("Boolean");
}

TDateTime TVariant::AsDateTime() const {
    switch (kind_) {
        case Kind::Int32:
        case Kind::Int64:
            return static_cast<double>(int_);
        case Kind::Float:
        case Kind::DateTime:
            return float_;
        case Kind::String:
            return StrToDateTime(str_);
        default:
            break;
    }
    CannotConvert("Date");
}

const std::vector<TVariant>& TVariant::Elements() const {
    if (kind_ != Kind::Array) CannotConvert("Array");
    return items_;
}

const TVariant& TVariant::operator[](size_t i) const {
    const auto& items = Elements();
    if (i >= items.size()) throw EConvertError("Variant array index out of bounds");
    return items[i];
}

bool TVariant::operator==(const TVariant& other) const {
    bool intA = kind_ == Kind::Int32 || kind_ == Kind::Int64;
    bool intB = other.kind_ == Kind::Int32 || other.kind_ == Kind::Int64;
    if (intA && intB) return int_ == other.int_;
    if (kind_ != other.kind_) return false;
    switch (kind_) {
        case Kind::Null:
            return true;
        case Kind::Boolean:
            return int_ == other.int_;
        case Kind::Float:
        case Kind::DateTime:
            return float_ == other.float_;
        case Kind::String:
            return str_ == other.str_;
        case Kind::Array:
            return items_ == other.items_;
        default:
            return false;
    }
}

}  // namespace tarn
