#include "tarndb/dataset/variant.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tarn {
namespace {

struct Case {
    TVariant value;
    const char* target;
    std::function<std::string(const TVariant&)> convert;
    const char* expected;  // the result as text, or the error message
};

std::string Int(const TVariant& v) { return std::to_string(v.AsInteger()); }
std::string Int64(const TVariant& v) { return std::to_string(v.AsInt64()); }
std::string Float(const TVariant& v) { return std::to_string(v.AsFloat()); }
std::string Bool(const TVariant& v) { return v.AsBoolean() ? "true" : "false"; }
std::string Date(const TVariant& v) { return std::to_string(v.AsDateTime()); }
std::string Str(const TVariant& v) { return v.AsString(); }

TEST(Variant, Conversions) {
    const Case cases[] = {
        {TVariant(), "string", Str, ""},
        {TVariant(), "integer", Int,
         "Could not convert variant of type (Null) into type (Integer)"},
        {TVariant(true), "integer", Int, "1"},
        {TVariant(true), "string", Str, "True"},
        {TVariant(0.5), "integer", Int, "0"},
        {TVariant(1.5), "integer", Int, "2"},
        {TVariant(-2.5), "integer", Int, "-2"},
        {TVariant(2147483647.4), "integer", Int, "2147483647"},
        {TVariant(2147483648.0), "integer", Int,
         "Overflow while converting variant of type (Double) into type (Integer)"},
        {TVariant(int64_t{1} << 40), "integer", Int,
         "Overflow while converting variant of type (Int64) into type (Integer)"},
        {TVariant("99999999999"), "integer", Int, "'99999999999' is not a valid integer value"},
        {TVariant("99999999999"), "int64", Int64, "99999999999"},
        {TVariant(" 12 "), "integer", Int, "12"},
        {TVariant("0x10"), "integer", Int, "16"},
        {TVariant("12abc"), "integer", Int, "'12abc' is not a valid integer value"},
        {TVariant("1e3"), "float", Float, "1000.000000"},
        {TVariant("."), "float", Float, "'.' is not a valid floating point value"},
        {TVariant("nan"), "float", Float, "'nan' is not a valid floating point value"},
        {TVariant("+-1"), "float", Float, "'+-1' is not a valid floating point value"},
        {TVariant("yes"), "boolean", Bool, "'yes' is not a valid boolean value"},
        {TVariant("2"), "boolean", Bool, "true"},
        {TVariant("f"), "boolean", Bool, "false"},
        {TVariant(0.0), "boolean", Bool, "false"},
        {TVariant("12/30/1899 12:00"), "date", Date, "0.500000"},
        {TVariant("12:00"), "date", Date, "0.500000"},
        {TVariant("noon"), "date", Date, "'noon' is not a valid date and time"},
        {TVariant(true), "date", Date,
         "Could not convert variant of type (Boolean) into type (Date)"},
        {TVariant(2), "date", Date, "2.000000"},
        {TVariant::FromDateTime(2.25), "string", Str, "1/1/1900 06:00:00"},
        {TVariant::FromDateTime(2.25), "float", Float, "2.250000"},
        {TVariant(1e300), "string", Str, "1E300"},
        {TVariant::Array({TVariant(1)}), "string", Str,
         "Could not convert variant of type (Array) into type (String)"},
        {TVariant::FromDateTime(1e9), "string", Str, "Date and time value out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(TVariant::KindName(c.value.kind())) + " -> " + c.target);
        std::string got;
        try {
            got = c.convert(c.value);
        } catch (const EConvertError& e) {
            got = e.Message();
        }
        EXPECT_EQ(c.expected, got);
    }
}

TEST(Variant, ArraysAndEquality) {
    TVariant a = TVariant::Array({TVariant(1), TVariant("x")});
    EXPECT_TRUE(a.IsArray());
    EXPECT_EQ(2u, a.ArrayLength());
    EXPECT_EQ(TVariant("x"), a[1]);
    EXPECT_THROW(a[2], EConvertError);
    EXPECT_THROW(TVariant(1).Elements(), EConvertError);
    EXPECT_EQ(a, TVariant::Array({TVariant(int64_t{1}), TVariant("x")}));
    EXPECT_FALSE(a == TVariant::Array({TVariant(1)}));
    EXPECT_EQ(TVariant(), TVariant::Null());
    EXPECT_FALSE(TVariant(1) == TVariant(1.0));
    EXPECT_FALSE(TVariant(2.0) == TVariant::FromDateTime(2.0));
    EXPECT_FALSE(TVariant(true) == TVariant(1));
    EXPECT_TRUE(TVariant(2.5).IsNumeric());
    EXPECT_FALSE(TVariant("2").IsNumeric());
}

}  // namespace
}  // namespace tarn
