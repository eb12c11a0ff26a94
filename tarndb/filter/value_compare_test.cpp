#include "tarndb/filter/value_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tarndb/errors.h"
#include "tarndb/filter/field_types.h"

namespace tarn {
namespace {

using namespace ftype;

std::vector<uint8_t> Le(uint64_t v, size_t n) {
    std::vector<uint8_t> out(n);
    codec::PutLE(out.data(), v, n);
    return out;
}
std::vector<uint8_t> F(double d) {
    std::vector<uint8_t> out(8);
    codec::PutF64(out.data(), d);
    return out;
}
std::vector<uint8_t> S(const std::string& s, size_t slot) {
    std::vector<uint8_t> out(slot, 0);
    std::copy(s.begin(), s.begin() + static_cast<long>(std::min(s.size(), slot)), out.begin());
    return out;
}

class Compare : public ::testing::Test {
protected:
    TCollator root{"C"};
    int Cmp(int type, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, bool ci = false,
            bool partial = false) {
        return CompareFieldValues(type, a, b, ci, partial, &root);
    }
};

TEST_F(Compare, SameTypeKeys) {
    EXPECT_EQ(Cmp(ftSmallint, Le(0xFFFF, 2), Le(1, 2)), -1);  // -1 < 1
    EXPECT_EQ(Cmp(ftWord, Le(0xFFFF, 2), Le(1, 2)), 1);       // 65535 > 1
    EXPECT_EQ(Cmp(ftInteger, Le(0x80000000u, 4), Le(0, 4)), -1);
    EXPECT_EQ(Cmp(ftAutoInc, Le(7, 4), Le(7, 4)), 0);
    EXPECT_EQ(Cmp(ftLargeint, Le(1ULL << 40, 8), Le(1ULL << 39, 8)), 1);
    EXPECT_EQ(Cmp(ftFloat, F(-0.0), F(0.0)), 0);
    EXPECT_EQ(Cmp(ftCurrency, F(1.5), F(2.5)), -1);
    EXPECT_EQ(Cmp(ftFloat, F(std::nan("")), F(-1e300)), -1);  // NaN sorts first
    EXPECT_EQ(Cmp(ftFloat, F(std::nan("")), F(std::nan(""))), 0);
    EXPECT_EQ(Cmp(ftBoolean, Le(2, 2), Le(1, 2)), 0);  // both true
    EXPECT_EQ(Cmp(ftBoolean, Le(0, 2), Le(1, 2)), -1);
    EXPECT_EQ(Cmp(ftDate, Le(737426, 4), Le(737425, 4)), 1);
    EXPECT_EQ(Cmp(ftTime, Le(1000, 4), Le(1999, 4)), 0);  // within 1000 ms
    EXPECT_EQ(Cmp(ftTime, Le(1000, 4), Le(2000, 4)), -1);
    EXPECT_EQ(Cmp(ftDateTime, F(5000.0), F(4000.5)), 0);
    EXPECT_EQ(Cmp(ftDateTime, F(5000.0), F(4000.0)), 1);
}

TEST_F(Compare, StringKeys) {
    EXPECT_EQ(Cmp(ftString, S("apple", 11), S("Banana", 11)), -1);
    EXPECT_EQ(Cmp(ftString, S("ABC", 11), S("abc", 11)), 1);
    EXPECT_EQ(Cmp(ftString, S("ABC", 11), S("abc", 11), true), 0);
    EXPECT_EQ(Cmp(ftString, S("ab", 11), S("abc", 11)), -1);
    EXPECT_EQ(Cmp(ftString, S("ab", 11), S("abc", 11), false, true), 0);  // partial key
    EXPECT_EQ(Cmp(ftString, S("AB", 11), S("abc", 11), true, true), 0);
    EXPECT_EQ(Cmp(ftString, S("ac", 11), S("abc", 11), false, true), 1);
    EXPECT_EQ(Cmp(ftFixedChar, S("abcdef", 6), S("abcdef", 6)), 0);  // no NUL: slot ends it
    EXPECT_EQ(Cmp(ftString, S("", 1), S("", 1)), 0);
}

TEST_F(Compare, MixedTypes) {
    auto i = Le(2, 4);
    auto f = F(2.0);
    TValueRef a{ftInteger, i.data(), i.size()};
    TValueRef b{ftFloat, f.data(), f.size()};
    EXPECT_EQ(CompareFieldValues(a, b, {}), 0);
    auto day = Le(737426, 4);
    auto stamp = F(737426.0 * 86400000 + 86399999);
    TValueRef d{ftDate, day.data(), day.size()};
    TValueRef s{ftDateTime, stamp.data(), stamp.size()};
    EXPECT_EQ(CompareFieldValues(d, s, {}), 0);
    EXPECT_EQ(CompareFieldValues(s, d, {}), 0);
    auto t = Le(1000, 4);
    TValueRef time{ftTime, t.data(), t.size()};
    EXPECT_THROW(CompareFieldValues(d, time, {}), EDatabaseError);
    EXPECT_THROW(CompareFieldValues(a, d, {}), EDatabaseError);
    EXPECT_FALSE(HasDefinedOrder(ftDate, ftTime));
    EXPECT_TRUE(HasDefinedOrder(ftTime, ftDateTime));
    EXPECT_TRUE(HasDefinedOrder(ftMemo, ftOraClob));
    EXPECT_FALSE(HasDefinedOrder(ftBoolean, ftInteger));
}

TEST_F(Compare, PrefixNeverCutsACharacter) {
    const std::string zhong = "\xD6\xD0";
    EXPECT_EQ(PrefixBytes("a" + zhong, 2), 1u);
    EXPECT_EQ(PrefixBytes("a" + zhong, 3), 3u);
    EXPECT_EQ(PrefixBytes("\x94\x39\xFC\x36"
                          "b",
                          2),
              0u);  // four-byte character
    EXPECT_EQ(PrefixBytes("\x94\x39\xFC\x36"
                          "b",
                          4),
              4u);
    EXPECT_EQ(PrefixBytes("abc", 10), 3u);
}

// Equality told from the bytes never disagrees with the collation: every pair of printable
// ASCII characters, and strings with control characters (which the collation ignores) or
// double-byte text, where the bytes cannot tell.
TEST(TextEqualityFromBytes, AgreesWithTheCollation) {
    const TCollator& coll = TCollator::Default();
    int told = 0;
    auto check = [&](std::string_view a, std::string_view b) {
        for (TCaseRule rule : {TCaseRule::Exact, TCaseRule::IgnoreCase}) {
            int same = TextEqualityFromBytes(a, b, rule);
            if (same < 0) continue;
            ++told;
            ASSERT_EQ(same == 1, coll.Compare(a, b, rule) == 0)
                << "'" << a << "' '" << b << "' rule " << static_cast<int>(rule);
        }
    };
    for (char x = 0x20; x < 0x7F; ++x)
        for (char y = 0x20; y < 0x7F; ++y) check(std::string(1, x), std::string(1, y));
    const char* const texts[] = {"apple", "Apple", "APPLE",     "apple ",   "a-pple",
                                 "appl",  "",      "a\x01pple", "\xb0\xa1", "\xb0\xa1 ",
                                 "ch",    "c h",   "ss"};
    for (const char* a : texts)
        for (const char* b : texts) check(a, b);
    EXPECT_EQ(TextEqualityFromBytes("a\x01pple", "apple", TCaseRule::Exact), -1);
    EXPECT_EQ(TextEqualityFromBytes("\xb0\xa1", "\xb0\xa1", TCaseRule::LettersOnly), 1);
    EXPECT_GT(told, 18000);
}

}  // namespace
}  // namespace tarn
