#include "tarndb/filter/value_compare.h"

#include <cmath>

#include "platform/text/codepage.h"
#include "tarndb/datetime.h"
#include "tarndb/errors.h"
#include "tarndb/filter/field_types.h"

namespace tarn {

using namespace ftype;

namespace {

template <typename T>
int Cmp(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CmpFloat(double a, double b) {
    bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb) return na && nb ? 0 : (na ? -1 : 1);
    return Cmp(a, b);
}

// Equal within 1000 ms; otherwise by value.
int CmpTolerant(double l, double r) {
    bool nl = std::isnan(l), nr = std::isnan(r);
    if (nl || nr) return nl && nr ? 0 : (nl ? -1 : 1);
    if (l >= r + 1000.0) return 1;
    if (l <= r - 1000.0) return -1;
    return 0;
}

// The time of day of a millisecond value (NaN when it has none).
double TimeOfDay(double msecs) {
    TTimeStamp ts;
    if (!TryMSecsToTimeStamp(msecs, ts)) return std::nan("");
    return ts.Time;
}

[[noreturn]] void Mismatch() { throw EDatabaseError("Type mismatch in expression"); }

}  // namespace

// Without a branch per character: the loop is run for nearly every row of a scan.
bool IsPrintableAscii(std::string_view s) {
    unsigned outside = 0;
    for (char ch : s)
        outside |= static_cast<unsigned>(static_cast<unsigned char>(ch) - 0x20u > 0x5Eu);
    return outside == 0;
}

namespace {
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
}  // namespace

int TextEqualityFromBytes(std::string_view a, std::string_view b, TCaseRule rule) {
    if (!IsPrintableAscii(a)) return a == b ? 1 : -1;
    return TextEqualityToPrintableKey(a, b, rule);
}

int TextEqualityToPrintableKey(std::string_view a, std::string_view b, TCaseRule rule) {
    if (a == b) return 1;
    if (rule == TCaseRule::LettersOnly || !IsPrintableAscii(b)) return -1;
    if (a.size() != b.size() || rule == TCaseRule::Exact) return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return 0;
    return 1;
}

size_t PrefixBytes(std::string_view s, size_t n) {
    size_t i = 0;
    while (i < s.size()) {
        size_t len = 1;
        if (IsLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size()) {
            uint8_t second = static_cast<uint8_t>(s[i + 1]);
            len = (second >= 0x30 && second <= 0x39 && i + 3 < s.size()) ? 4 : 2;
        }
        if (i + len > n) break;
        i += len;
    }
    return i;
}

bool HasDefinedOrder(int l, int r) {
    if (IsTextOperandType(l) && IsTextOperandType(r)) return true;
    if (IsNumericType(l) && IsNumericType(r)) return true;
    if (l == ftBoolean && r == ftBoolean) return true;
    if (l == ftDate) return r == ftDate || r == ftDateTime;
    if (l == ftTime) return r == ftTime || r == ftDateTime;
    if (l == ftDateTime) return r == ftDate || r == ftTime || r == ftDateTime;
    return false;
}

int CompareFieldValues(const TValueRef& left, const TValueRef& right, const TCompareOptions& opt) {
    const int l = left.DataType, r = right.DataType;
    if (IsTextOperandType(l) && IsTextOperandType(r)) {
        std::string_view a = StringOf(left), b = StringOf(right);
        if (opt.PrefixLength >= 0) {
            size_t n = static_cast<size_t>(opt.PrefixLength);
            a = a.substr(0, PrefixBytes(a, n));
            b = b.substr(0, PrefixBytes(b, n));
        }
        const TCollator& coll = opt.Collator ? *opt.Collator : TCollator::Default();
        return coll.Compare(a, b, opt.CaseRule);
    }
    if (IsNumericType(l) && IsNumericType(r)) {
        if (IsFloatType(l) || IsFloatType(r)) return CmpFloat(FloatOf(left), FloatOf(right));
        return Cmp(IntegerOf(left), IntegerOf(right));
    }
    if (l == ftBoolean && r == ftBoolean) return Cmp(BoolOf(left), BoolOf(right));
    if (l == ftDate && r == ftDate) return Cmp(codec::I32(left), codec::I32(right));
    if (l == ftDate && r == ftDateTime) {
        return Cmp(static_cast<int64_t>(codec::I32(left)), DayOfMSecs(codec::F64(right)));
    }
    if (l == ftDateTime && r == ftDate) {
        return Cmp(DayOfMSecs(codec::F64(left)), static_cast<int64_t>(codec::I32(right)));
    }
    if (l == ftTime && r == ftTime) {
        return CmpTolerant(codec::I32(left), codec::I32(right));
    }
    if (l == ftDateTime && r == ftDateTime) return CmpTolerant(codec::F64(left), codec::F64(right));
    if (l == ftTime && r == ftDateTime) {
        return CmpTolerant(codec::I32(left), TimeOfDay(codec::F64(right)));
    }
    if (l == ftDateTime && r == ftTime) {
        return CmpTolerant(TimeOfDay(codec::F64(left)), codec::I32(right));
    }
    Mismatch();
}

int CompareFieldValues(int type, std::span<const uint8_t> left, std::span<const uint8_t> right,
                       bool caseInsensitive, bool partial, const TCollator* collator) {
    return CompareFieldValues(type, left, right,
                              caseInsensitive ? TCaseRule::LettersOnly : TCaseRule::Exact, partial,
                              collator);
}

int CompareFieldValues(int type, std::span<const uint8_t> left, std::span<const uint8_t> right,
                       TCaseRule rule, bool partial, const TCollator* collator) {
    TValueRef a{type, left.data(), left.size()};
    TValueRef b{type, right.data(), right.size()};
    TCompareOptions opt;
    opt.CaseRule = rule;
    opt.Collator = collator;
    if (partial && IsTextOperandType(type)) {
        size_t n = StringOf(a).size();
        opt.PrefixLength = n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
    }
    return CompareFieldValues(a, b, opt);
}

}  // namespace tarn
