#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "platform/text/convert.h"
#include "tarndb/errors.h"
#include "tarndb/filter/filter_parser.h"
#include "tarndb/filter/testing/fake_data_source.h"

namespace tarn {
namespace {

using testing::FakeDataSource;

const std::string kAreaNo = "\xB4\xE6\xB4\xA2\xC7\xF8\xD0\xF2\xBA\xC5";  // 存储区序号
const std::string kZhong = "\xD6\xD0";                                   // 中
const std::string kGrin = "\x94\x39\xFC\x36";                            // 😀, four bytes
const std::string kWide2 = "\xA3\xB2";                                   // ２ (full-width)
const std::string kWideA = "\xA3\xC1";                                   // Ａ (full-width)
const std::string kWidea = "\xA3\xE1";                                   // ａ (full-width)

class FilterEval : public ::testing::Test {
protected:
    TCollator root{"C"};
    FakeDataSource ds = FakeDataSource::EveryType();
    TFilterParser parser{&ds};

    FilterEval() { parser.SetCollator(&root); }

    bool Eval(const std::string& text, TEvalOptions options = {}) {
        parser.Parse(text);
        return parser.Calculate(options);
    }
};

using RecordSetup = std::function<void(FakeDataSource&)>;
struct EvalCase {
    RecordSetup setup;
    std::string text;
    bool expected;
    TEvalOptions options = {};
};

RecordSetup Int(const std::string& field, int64_t v) {
    return [=](FakeDataSource& d) { d.SetInt(field, v); };
}
RecordSetup Str(const std::string& field, const std::string& v) {
    return [=](FakeDataSource& d) { d.SetString(field, v); };
}
RecordSetup Flt(const std::string& field, double v) {
    return [=](FakeDataSource& d) { d.SetFloat(field, v); };
}
RecordSetup Stamp(const std::string& field, int y, int m, int d, int h, int mi, int s, int ms = 0) {
    return [=](FakeDataSource& ds) { ds.SetDateTime(field, y, m, d, h, mi, s, ms); };
}
RecordSetup Date(const std::string& field, int y, int m, int d) {
    return [=](FakeDataSource& ds) { ds.SetDate(field, y, m, d); };
}
RecordSetup Time(const std::string& field, int h, int mi, int s, int ms = 0) {
    return [=](FakeDataSource& ds) { ds.SetTime(field, h, mi, s, ms); };
}
RecordSetup Both(RecordSetup a, RecordSetup b) {
    return [=](FakeDataSource& d) {
        a(d);
        b(d);
    };
}

constexpr TEvalOptions kCaseless{true, false};
constexpr TEvalOptions kNoPartial{false, true};

void RunCases(FilterEval* fx, const std::vector<EvalCase>& cases) {
    for (const EvalCase& c : cases) {
        FakeDataSource fresh = FakeDataSource::EveryType();
        c.setup(fresh);
        TFilterParser p(&fresh);
        TCollator root("C");
        p.SetCollator(&root);
        try {
            p.Parse(c.text);
            EXPECT_EQ(p.Calculate(c.options), c.expected) << c.text;
        } catch (const Exception& e) {
            ADD_FAILURE() << c.text << ": " << e.Message();
        }
    }
    (void)fx;
}

TEST_F(FilterEval, ComparisonsByType) {
    RunCases(
        this,
        {
            {Int(kAreaNo, 3), kAreaNo + "=3", true},
            {Int(kAreaNo, 4), kAreaNo + "=3", false},
            {Int("Auto", 3), "Auto = 3", true},
            {Int("Small", -5), "Small < 0", true},
            {Int("Word", 65535), "Word = 65535 AND Word > 0", true},
            {Int("Big", 1LL << 40), "Big > 2147483647", true},
            {Int("Big", 1LL << 40), "Big = 1099511627776.0", true},
            {Flt("Price", 2.5), "Price > 2", true},
            {Flt("Price", 2.5), "Price = 2.5 AND Amount < Price", true},
            {Int("Int", 2), "Int = 2.0", true},
            {Str("Name", "a"), "Name < 'B'", true},  // collation, not byte order
            {Str("Name", "abc"), "Name = 'ABC'", false},
            {Str("Name", "abc"), "Name = 'ABC'", true, kCaseless},
            {Str("Name", "ABCD"), "Name = 'AB*'", true},
            {Str("Name", "ABCD"), "Name <> 'AB*'", false},
            {Str("Name", "ABCD"), "Name = 'AB*'", false, kNoPartial},
            {Str("Name", "AB*"), "Name = 'AB*'", true, kNoPartial},
            {Str("Name", "A"), "Name = 'AB*'", false},
            {Str("Name", "xyz"), "Name = '*'", true},
            {Str("Name", ""), "Name = '*'", true},
            {Str("Name", "AC"), "Name > 'AB*'", true},
            {Str("Name", "abcd"), "Name = 'AB*'", true, kCaseless},
            {Str("Name", "ABCD"), "'AB*' = Name", false},  // a marker on the left does nothing
            {Str("Name", kZhong + "x"), "Name = '" + kZhong + "*'", true},
            {Str("Name", "a" + kZhong), "Name = 'a*'", true},
            {Str("Name", "a" + kZhong), "Name = 'ab*'", false},
            {Both(Str("Name", "same"), Str("Name2", "same")), "Name = Name2", true},
            {Str("Code", "ab"), "Code = 'ab'", true},
            {[](FakeDataSource& d) { std::memcpy(d.Slot("Code"), "abcdef", 6); }, "Code = 'abcdef'",
             true},  // a slot without NUL ends at its size
            {Int("Active", 1), "Active = True", true},
            {Int("Active", 0), "Active = False AND NOT Active", true},
            {Int("Active", 256), "Active AND Active = True", true},  // 16-bit truth
            {Date("Day", 2020, 1, 2), "Day = '1/2/2020'", true},
            {Date("Day", 2020, 1, 2), "Day < '01/03/20'", true},
            {Date("Day", 2000, 1, 1), "Day >= '2000-01-01'", true},
            {Date("Day", 1999, 12, 31), "Day >= '2000-01-01'", false},
            {Date("Day", 2020, 1, 2), "Day = '2020-01-02' AND '2020-1-2' = Day", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp = '2020-01-02 10:00:00'", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp < '2020-01-02 10:00:01'", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp > '2020-01-02 10:00:00.001'", false},
            {Stamp("Stamp", 2020, 1, 2, 23, 59, 59), "Stamp = '1/2/2020'", true},
            {Stamp("Stamp", 2020, 1, 2, 0, 0, 0), "Stamp = '1/2/2020'", true},
            {Stamp("Stamp", 2020, 1, 3, 0, 0, 0), "Stamp = '1/2/2020'", false},
            {Stamp("Stamp", 2020, 1, 3, 0, 0, 0), "Stamp > '1/2/2020'", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp > '1/2/2020'", false},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "'1/2/2020' = Stamp", true},
            {Both(Stamp("Stamp", 2020, 1, 2, 10, 0, 0), Date("Day", 2020, 1, 2)),
             "Day = Stamp AND Stamp = Day", true},
            {Both(Stamp("Stamp", 2020, 1, 2, 10, 0, 0),
                  Stamp("Order Date", 2020, 1, 2, 10, 0, 0, 999)),
             "Stamp = [Order Date]", true},
            {Both(Stamp("Stamp", 2020, 1, 2, 10, 0, 0), Stamp("Order Date", 2020, 1, 2, 10, 0, 1)),
             "Stamp = [Order Date]", false},
            {Both(Stamp("Stamp", 2020, 1, 2, 10, 0, 0), Stamp("Order Date", 2020, 1, 2, 10, 0, 1)),
             "Stamp < [Order Date] AND [Order Date] >= Stamp", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp = '1/2/2020 10:00:00.999'", true},
            {Time("Clock", 10, 0, 0), "Clock = '10:00:00.999'", true},
            {Time("Clock", 10, 0, 0), "Clock = '10:00:01'", false},
            {Time("Clock", 10, 0, 0), "Clock < '10:00:01' AND Clock > '9:59:59'", true},
            {Time("Clock", 13, 30, 0), "Clock = '1:30 PM'", true},  // against the time of day
            {Both(Time("Clock", 10, 0, 0), Stamp("Stamp", 2020, 1, 2, 10, 0, 0)), "Clock = Stamp",
             true},
            {Int("Calc", 7), "Calc = 7", true},
            {Str("Wide", "w"), "Wide = 'w'", true},
        });
}

// Ignoring case ignores case only: full-width letters and digits stay apart from their
// ASCII forms, in comparisons, with a partial-compare marker and in LIKE.
TEST_F(FilterEval, CaselessComparisonKeepsWidth) {
    RunCases(this, {
                       {Str("Name", kWide2), "Name = '2'", false, kCaseless},
                       {Str("Name", kWide2), "Name = '" + kWide2 + "'", true, kCaseless},
                       {Str("Name", kWideA + "b"), "Name = 'ab'", false, kCaseless},
                       {Str("Name", kWideA + "b"), "Name = '" + kWidea + "B'", true, kCaseless},
                       {Str("Name", kWideA + "b"), "Name = 'a*'", false, kCaseless},
                       {Str("Name", kWideA + "b"), "Name LIKE 'a%'", false, kCaseless},
                       {Str("Name", kWideA + "b"), "Name LIKE '" + kWidea + "%'", true, kCaseless},
                       {Str("Name", "AB"), "Name = 'ab' AND Name LIKE 'a_'", true, kCaseless},
                       {Str("Name", kWide2), "Name <> '2'", true, kCaseless},
                   });
}

TEST_F(FilterEval, LikePatterns) {
    RunCases(
        this,
        {
            {Str("Name", "a"), "Name LIKE 'a%'", true},
            {Str("Name", "abc"), "Name LIKE 'a%'", true},
            {Str("Name", "ba"), "Name LIKE 'a%'", false},
            {Str("Name", ""), "Name LIKE '%%'", false},
            {Str("Name", ""), "Name LIKE '%'", true},
            {Str("Name", "x"), "Name LIKE '%%'", true},
            {Str("Name", "a"), "Name LIKE 'a%%'", false},
            {Str("Name", "ab"), "Name LIKE 'a%%'", true},
            {Str("Name", "a"), "Name LIKE '_'", true},
            {Str("Name", "ab"), "Name LIKE '_'", false},
            {Str("Name", ""), "Name LIKE '_'", false},
            {Str("Name", kZhong), "Name LIKE '_'", true},  // a double-byte character is one
            {Str("Name", kGrin), "Name LIKE '_'", true},   // so is a four-byte one
            {Str("Name", "ab"), "Name LIKE '%b'", true},
            {Str("Name", "abc"), "Name LIKE 'a_c'", true},
            {Str("Name", "abcbc"), "Name LIKE '%bc'", true},
            {Str("Name", "abcbd"), "Name LIKE '%b%d'", true},
            {Str("Name", "abc"), "Name LIKE 'A%'", false},
            {Str("Name", "abc"), "Name LIKE 'A%'", true, kCaseless},
            {Str("Name", "abc"), "Name LIKE 'a*'", false},  // "*" is an ordinary character
            {Str("Name", "a*"), "Name LIKE 'a*'", true},
            {Str("Name", "abc"), "Name LIKE 'ab'", false},
            {Str("Name", "ab"), "Name LIKE 'abc'", false},
            {Str("Name", kZhong + "a"), "Name LIKE '" + kZhong + "%'", true},
            {[](FakeDataSource& d) { d.SetBlob("Memo", "memo text"); }, "Memo LIKE '%text'", true},
        });
}

TEST_F(FilterEval, InLists) {
    RunCases(this,
             {
                 {Int("Int", 2), "Int IN (1, 2.5)", false},
                 {Int("Int", 1), "Int IN (1, 2.5)", true},
                 {Flt("Price", 2.5), "Int IN (1, 2.5) OR Price IN (1, 2.5)", true},
                 {Str("Name", "b"), "Name IN ('a*', 'b')", true},
                 {Str("Name", "abc"), "Name IN ('a*', 'b')", true},
                 {Str("Name", "c"), "Name IN ('a*', 'b')", false},
                 {Str("Name", "abc"), "Name IN ('a*', 'b')", false, kNoPartial},
                 {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp IN ('1/1/2020', '1/2/2020')", true},
                 {Int("Active", 1), "Active IN (False)", false},
                 {Int("Int", 5), "Int IN (5, Int / 0)", true},  // stops at the first equal item
             });
}

TEST_F(FilterEval, Arithmetic) {
    RunCases(
        this,
        {
            {Int("Int", 2147483647), "Int + 1 = -2147483648", true},  // 32-bit wrap
            {Int("Int", 65536), "Int * 65536 = 0", true},
            {Int("Big", 2147483647), "Big + 1 = 2147483648", true},  // 64-bit
            {Int("Big", INT64_MAX), "Big + 1 < 0", true},
            {Int("Int", 1), "Int / 2 = 0.5", true},
            {Flt("Price", 2.5), "Price / 2 = 1.25 AND Price * 2 = 5 AND Price - 0.5 = 2", true},
            {Int("Small", -3), "Small * Word = 0 AND Small - 1 = -4", true},
            {Int("Word", 65535), "Word + Word = 131070", true},
            {Str("Name", "ab"), "Name + 'c' + Code = 'abc'", true},
            {Str("Name", ""), "Name + ''", false},
            {Str("Name", "x"), "Name + ''", true},
            {Date("Day", 2020, 1, 2), "Day + 1 > '1/2/2020'", true},
            {Date("Day", 2020, 1, 1), "Day + 1 > '1/2/2020'", false},
            {Date("Day", 2020, 2, 1), "Day - '1/1/2020' = 31", true},
            {Date("Day", 2020, 1, 2), "Day - 737426 = 0 AND Day - Day = 0", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp + 1 = '1/3/2020 10:00'", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp + 1.9 = '1/3/2020 10:00'", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp + -1 = '1/1/2020 10:00'", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp - '1/2/2020 09:00' = 3600000", true},
            {Stamp("Stamp", 2020, 1, 2, 10, 0, 0), "Stamp - 1 = 737425 * 86400000.0 + 36000000",
             true},
            {Both(Stamp("Stamp", 2020, 1, 2, 10, 0, 0), Time("Clock", 10, 0, 0)),
             "(Stamp - Clock) / 86400000 = 737426", true},
            {Both(Stamp("Stamp", 2020, 1, 2, 10, 0, 0), Date("Day", 2020, 1, 2)),
             "Stamp - Day = 36000000 AND Day - Stamp = -36000000", true},
            {Time("Clock", 10, 0, 0), "Clock + 1000 = '10:00:01'", true},
            {Time("Clock", 10, 0, 0), "Clock - '09:00' = 3600000 AND Clock - 36000000 = 0", true},
            {Int("Int", 256), "Int", true},  // a non-zero number accepts, whatever its low byte
            {Int("Int", 0), "Int", false},
            {Flt("Price", 0.5), "Price", true},
        });
}

TEST_F(FilterEval, Functions) {
    RunCases(
        this,
        {
            {Str("Name", "abcde"), "SUBSTRING(Name, 2, 3) = 'bcd'", true},
            {Str("Name", "abcde"), "SUBSTRING(Name, 4, 10) = 'de'", true},
            {Str("Name", "abcde"), "SUBSTRING(Name, 0, 2) = 'ab'", true},
            {Str("Name", "abcde"), "SUBSTRING(Name, 9, 2) = ''", true},
            {Str("Name", "abcde"), "SUBSTRING(Name, 2, -1) = ''", true},
            {Str("Name", "abcde"), "SUBSTRING(Name, 1, 2147483647) = 'abcde'", true},
            {Str("Name", "aBc" + kZhong),
             "UPPER(Name) = 'ABC" + kZhong + "' AND Name = 'aBc" + kZhong + "'", true},
            {Str("Name", "aBc"), "LOWER(Name) = 'abc'", true},
            {Str("Name", "  x  "),
             "TRIM(Name) = 'x' AND TRIMLEFT(Name) = 'x  ' AND TRIMRIGHT(Name) = '  x'", true},
            {Str("Name", "   "), "TRIM(Name)", false},
            {Date("Day", 2020, 3, 4), "YEAR(Day) = 2020 AND MONTH(Day) = 3 AND DAY(Day) = 4", true},
            {Stamp("Stamp", 2020, 3, 4, 5, 6, 7),
             "YEAR(Stamp) = 2020 AND DAY(Stamp) = 4 AND HOUR(Stamp) = 5 AND MINUTE(Stamp) = 6 AND "
             "SECOND(Stamp) = 7",
             true},
            {Time("Clock", 13, 14, 15),
             "HOUR(Clock) = 13 AND MINUTE(Clock) = 14 AND SECOND(Clock) = 15", true},
            {[](FakeDataSource&) {}, "YEAR(GETDATE()) = " + std::to_string(CurrentYear()), true},
            {[](FakeDataSource& d) { d.SetBlob("Memo", "  m "); }, "UPPER(TRIM(Memo)) = 'M'", true},
            {[](FakeDataSource& d) { d.SetBlob("Ole", "x"); }, "Ole = 'x' AND Ole + 'y' = 'xy'",
             true},
        });
}

TEST_F(FilterEval, EvaluationErrors) {
    struct Case {
        RecordSetup setup;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {Int("Day", 0), "YEAR(Day) = 1", "'0.0' is not a valid timestamp"},
        {Int("Day", -3), "MONTH(Day) = 1", "'-3.0' is not a valid timestamp"},
        {Int("Clock", -5), "HOUR(Clock) = 1", "'693594.-5' is not a valid timestamp"},
        {Flt("Stamp", 0.0), "SECOND(Stamp) = 1", "'0.0' is not a valid timestamp"},
        {Flt("Stamp", std::nan("")), "DAY(Stamp) = 1", "'0.0' is not a valid timestamp"},
        {Int("Int", 5), "Int / 0 > 1", "Floating point division by zero"},
        {Flt("Price", 1), "Price / (Price - 1) > 1", "Floating point division by zero"},
        {Int("Int", 5), "Int = 5 AND Int / 0 > 1", "Floating point division by zero"},
    };
    for (const Case& c : cases) {
        FakeDataSource fresh = FakeDataSource::EveryType();
        c.setup(fresh);
        TFilterParser p(&fresh);
        p.Parse(c.text);
        try {
            p.Calculate({});
            ADD_FAILURE() << c.text << ": no error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message) << c.text;
        }
    }
}

TEST_F(FilterEval, AndOrSkipTheirRightOperand) {
    ds.SetInt("Int", 5);
    EXPECT_FALSE(Eval("Int = 0 AND Int / 0 > 1"));
    EXPECT_TRUE(Eval("Int = 5 OR Int / 0 > 1"));
    ds.SetBlob("Memo", "m");
    EXPECT_FALSE(Eval("Int = 0 AND Memo = 'm'"));
    EXPECT_EQ(ds.BlobFetches, 0);
    EXPECT_TRUE(Eval("Int = 5 AND Memo = 'm'"));
    EXPECT_EQ(ds.BlobFetches, 1);
}

TEST_F(FilterEval, FieldsFollowTheRecordBetweenEvaluations) {
    parser.Parse("Int = 3 AND Memo = 'x'");
    ds.SetInt("Int", 3);
    ds.SetBlob("Memo", "x");
    EXPECT_TRUE(parser.Calculate({}));
    ds.SetInt("Int", 4);
    EXPECT_FALSE(parser.Calculate({}));
    ds.SetInt("Int", 3);
    ds.SetBlob("Memo", "y");
    EXPECT_FALSE(parser.Calculate({}));
    EXPECT_EQ(ds.BlobFetches, 2);  // the blob is not fetched when Int decides
    // A record buffer that moves (the dataset reallocated it) is followed.
    ds.SetBlob("Memo", "x");
    ds.Record = std::vector<uint8_t>(ds.Record);
    EXPECT_TRUE(parser.Calculate({}));
}

TEST_F(FilterEval, MissingOrShortRecordBufferIsAnError) {
    parser.Parse("Int = 1");
    ds.HasBuffer = false;
    EXPECT_THROW(parser.Calculate({}), EDatabaseError);
    ds.SetBlob("Memo", "x");
    parser.Parse("Memo = 'x'");  // blob values do not come from the record buffer
    EXPECT_TRUE(parser.Calculate({}));
    ds.HasBuffer = true;
    parser.Parse("Name2 = ''");
    ds.Record.resize(10);
    try {
        parser.Calculate({});
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'Name2' lies outside the record buffer");
    }
}

TEST_F(FilterEval, CalculateNeedsACompiledTree) {
    EXPECT_THROW(parser.Calculate({}), EDatabaseError);
    EXPECT_THROW(parser.Parse("Int ="), EDatabaseError);
    EXPECT_THROW(parser.Calculate({}), EDatabaseError);
}

TEST_F(FilterEval, OptionsAreKeptFromTheLatestEvaluation) {
    ds.SetString("Name", "abc");
    EXPECT_TRUE(Eval("Name = 'ABC'", kCaseless));
    EXPECT_TRUE(parser.Options().CaseInsensitive);
    EXPECT_FALSE(parser.Calculate({}));
    EXPECT_FALSE(parser.Options().CaseInsensitive);
}

}  // namespace
}  // namespace tarn
