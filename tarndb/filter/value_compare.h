// The typed comparison of two values in record-buffer encoding: the rules of the filter
// language's "=", "<" and their sisters, public so that index key order can follow the very
// same rules.
//
// Pairs and how they compare:
//   string, string        the locale collation (TCollator), ignoring case on request (case
//                         only: TCaseRule::IgnoreCase); with a prefix length n >= 0 only the
//                         first n bytes of each string take part (a shorter string takes
//                         part whole; a double-byte character is never cut: the cut moves
//                         before it)
//   numeric, numeric      by value: integers as 64-bit integers (ftWord unsigned), and as
//                         doubles when either side is ftFloat or ftCurrency; NaN sorts below
//                         every number and equal to NaN
//   ftBoolean, ftBoolean  by truth value (false < true)
//   ftDate, ftDate        by day number
//   ftDate, ftDateTime    the date-time's day (rounded ms value div 86400000) against the
//                         day number, either order; the time of day does not count
//   ftTime, ftTime        with a tolerance of 1000 ms: equal when the values differ by less
//   ftDateTime, ftDateTime  than 1000, otherwise ordered by value
//   ftTime, ftDateTime    the time against the date-time's time of day, with the same
//                         tolerance, either order (so a field of times compares with a
//                         constant such as '1:30 PM', which reads as a date-time)
// The string types are those of IsTextOperandType (field_types.h). Any other pair (also ftDate
// against ftTime) has no order: CompareFieldValues raises the EDatabaseError
// "Type mismatch in expression"; HasDefinedOrder tells beforehand.
//
// Comparing allocates nothing for fixed-size values and for ASCII strings; see collation.h
// for other strings.
#pragma once

#include <cstdint>
#include <span>

#include "platform/text/collation.h"
#include "tarndb/filter/value_codec.h"

namespace tarn {

struct TCompareOptions {
    // What string comparisons ignore: nothing, case only (filters and Locate), or letter
    // forms such as width too (LettersOnly, the order of case-insensitive indexes).
    TCaseRule CaseRule = TCaseRule::Exact;
    // Bytes of each string that take part; -1: whole strings.
    int32_t PrefixLength = -1;
    // The collation; nullptr: TCollator::Default().
    const TCollator* Collator = nullptr;
};

bool HasDefinedOrder(int leftType, int rightType);

// -1, 0 or 1.
int CompareFieldValues(const TValueRef& left, const TValueRef& right, const TCompareOptions& opt);

// The same for two values of one type; `partial` compares a string `left` with the first
// bytes of `right` only as many as `left` has: "right begins with left". `rule` says which
// differences between strings count.
int CompareFieldValues(int type, std::span<const uint8_t> left, std::span<const uint8_t> right,
                       TCaseRule rule, bool partial = false, const TCollator* collator = nullptr);
// Index key order: `caseInsensitive` compares strings by letters and accents only
// (TCaseRule::LettersOnly), the order case-insensitive indexes are stored in.
int CompareFieldValues(int type, std::span<const uint8_t> left, std::span<const uint8_t> right,
                       bool caseInsensitive, bool partial = false,
                       const TCollator* collator = nullptr);

// Whether two strings are equal under `rule`, when their bytes tell: 1 equal, 0 not, -1
// when only the collation can tell. Two strings of printable ASCII characters are equal
// exactly when their bytes are (ignoring case: after folding ASCII case), every such
// character carrying weights of its own; identical bytes are equal under any rule.
int TextEqualityFromBytes(std::string_view a, std::string_view b, TCaseRule rule);
// The same for a key `a` the caller knows to be printable ASCII (IsPrintableAscii), as a
// scan that compares one key with every row does: the key is not looked at again.
int TextEqualityToPrintableKey(std::string_view a, std::string_view b, TCaseRule rule);
// Whether every character is in ' ' .. '~'.
bool IsPrintableAscii(std::string_view s);

// Bytes of `s` that make up at most n bytes without cutting a multi-byte character.
size_t PrefixBytes(std::string_view s, size_t n);

}  // namespace tarn
