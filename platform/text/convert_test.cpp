#include "platform/text/convert.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(Convert, Int32AcceptsOnlyDecimalIntegersInRange) {
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt32("2147483647", v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(TryStrToInt32("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(TryStrToInt32("+7", v));
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", "-", "2147483648", "-2147483649", "1.0", "1e3", " 1", "$FF"}) {
        EXPECT_FALSE(TryStrToInt32(bad, v)) << bad;
    }
}

TEST(Convert, FloatsUseTheLocaleSeparatorOnly) {
    TFormatSettings dot;
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    struct Case { const char* text; const TFormatSettings* fs; bool ok; double value; };
    const Case cases[] = {
        {"1.5", &dot, true, 1.5},        {"-2.5e3", &dot, true, -2500},
        {"1E-2", &dot, true, 0.01},      {" 3 ", &dot, true, 3},
        {".5", &dot, true, 0.5},         {"5.", &dot, true, 5},
        {"1,5", &comma, true, 1.5},      {"1.5", &comma, false, 0},
        {"1,5", &dot, false, 0},         {"-", &dot, false, 0},
        {"1e", &dot, false, 0},          {"1.2.3", &dot, false, 0},
        {"1e999", &dot, false, 0},       {"inf", &dot, false, 0},
        {"", &dot, false, 0},            {"1-2", &dot, false, 0},
    };
    for (const Case& c : cases) {
        double v = 0;
        EXPECT_EQ(TryTextToFloat(c.text, v, *c.fs), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
    try {
        StrToFloat("-");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'-' is not a valid floating point value");
    }
}

TEST(Convert, DatesFollowTheShortDateFormat) {
    TFormatSettings mdy;
    TFormatSettings dmy;
    dmy.ShortDateFormat = "dd.MM.yyyy";
    dmy.DateSeparator = '.';
    int32_t day = 0, expect = 0;
    ASSERT_TRUE(TryStrToDate("1/2/2020", day, mdy));
    TryEncodeDate(2020, 1, 2, expect);
    EXPECT_EQ(day, expect);
    ASSERT_TRUE(TryStrToDate("1.2.2020", day, dmy));
    TryEncodeDate(2020, 2, 1, expect);
    EXPECT_EQ(day, expect);
    ASSERT_TRUE(TryStrToDate(" 2/29/2000 ", day, mdy));
    EXPECT_FALSE(TryStrToDate("2/30/2000", day, mdy));
    EXPECT_FALSE(TryStrToDate("1/2/2020x", day, mdy));
    // Two numbers: this year.
    ASSERT_TRUE(TryStrToDate("3/4", day, mdy));
    TryEncodeDate(CurrentYear(), 3, 4, expect);
    EXPECT_EQ(day, expect);
    try {
        StrToDate("13/1/2020");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'13/1/2020' is not a valid date");
    }
}

TEST(Convert, TimesWithDesignators) {
    TFormatSettings fs;
    fs.TimeAMString = "vorm";
    struct Case { const char* text; bool ok; int32_t ms; };
    const Case cases[] = {
        {"10:30", true, 37800000},        {"10:30:15.5", true, 37815005},
        {"12:00 AM", true, 0},            {"12:00 pm", true, 43200000},
        {"PM 1:00", true, 46800000},      {"vorm 11", true, 39600000},
        {"13:00 PM", false, 0},           {"24:00", false, 0},
        {"10:", false, 0},                {"10:61", false, 0},
    };
    for (const Case& c : cases) {
        int32_t ms = -1;
        EXPECT_EQ(TryStrToTime(c.text, ms, fs), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
    EXPECT_THROW(StrToTime("x"), EConvertError);
}

TEST(Convert, DateTimesAndTheirMessage) {
    TTimeStamp ts;
    ASSERT_TRUE(TryStrToDateTime("1/2/2020 10:00", ts));
    int32_t day = 0;
    TryEncodeDate(2020, 1, 2, day);
    EXPECT_EQ(ts.Date, day);
    EXPECT_EQ(ts.Time, 36000000);
    ASSERT_TRUE(TryStrToDateTime("10:00", ts));
    EXPECT_EQ(ts.Date, kDateDelta);
    try {
        StrToDateTime("1/2/2020 x");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1/2/2020 x' is not a valid date and time");
    }
}

TEST(Convert, CenturyWindow) {
    EXPECT_EQ(ApplyCenturyWindow(20, 2026, 50), 2020);
    EXPECT_EQ(ApplyCenturyWindow(76, 2026, 50), 1976);
    EXPECT_EQ(ApplyCenturyWindow(75, 2026, 50), 2075);
    EXPECT_EQ(ApplyCenturyWindow(99, 2049, 50), 1999);
    EXPECT_EQ(ApplyCenturyWindow(0, 2051, 50), 2100);
}

}  // namespace
}  // namespace tarn
