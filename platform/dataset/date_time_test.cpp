#include "tarndb/dataset/date_time.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tarndb/errors.h"

namespace tarn {
namespace {

TEST(DateTime, DayNumbersAndMilliseconds) {
    struct Case {
        TDateTime value;
        int32_t day;
        int32_t ms;
    };
    const Case cases[] = {
        {0.0, 693594, 0},
        {1.5, 693595, 43200000},
        {-1.25, 693593, 21600000},  // the day counts back, the time forward
        {EncodeDate(1, 1, 1), 1, 0},
        {EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 999), 3652059, 86399999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto split = SplitDateTime(c.value);
        ASSERT_TRUE(split.has_value());
        EXPECT_EQ(c.day, split->day);
        EXPECT_EQ(c.ms, split->ms);
        EXPECT_DOUBLE_EQ(c.value, JoinDateTime(c.day, c.ms).value());
    }
    // -0.5 and 0.5 name the same moment (1899-12-30 12:00); joining gives the plain form.
    auto half = SplitDateTime(-0.5).value();
    EXPECT_EQ(693594, half.day);
    EXPECT_EQ(43200000, half.ms);
    EXPECT_EQ(0.5, JoinDateTime(half.day, half.ms).value());
    EXPECT_FALSE(SplitDateTime(NAN).has_value());
    EXPECT_FALSE(SplitDateTime(1e9).has_value());
    EXPECT_FALSE(SplitDateTime(EncodeDate(1, 1, 1) - 1).has_value());
    EXPECT_FALSE(JoinDateTime(0, 0).has_value());
    EXPECT_FALSE(JoinDateTime(1, -1).has_value());
    EXPECT_FALSE(JoinDateTime(693594, 86400000).has_value());
    EXPECT_FALSE(JoinDateTime(3652060, 0).has_value());
}

TEST(DateTime, CalendarEncoding) {
    EXPECT_EQ(0.0, EncodeDate(1899, 12, 30));
    EXPECT_EQ(60.0, EncodeDate(1900, 2, 28));
    EXPECT_EQ(61.0, EncodeDate(1900, 3, 1));  // 1900 is no leap year
    EXPECT_TRUE(TryEncodeDate(2024, 2, 29).has_value());
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29).has_value());
    EXPECT_FALSE(TryEncodeDate(2000, 13, 1).has_value());
    EXPECT_FALSE(TryEncodeDate(0, 1, 1).has_value());
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0).has_value());
    try {
        EncodeDate(2023, 2, 29);
        FAIL() << "invalid date";
    } catch (const EConvertError& e) {
        EXPECT_EQ("Invalid argument to date encode", e.Message());
    }
    EXPECT_THROW(EncodeTime(1, 60, 0, 0), EConvertError);
    auto p = DecodeDateTime(EncodeDate(2024, 3, 4) + EncodeTime(5, 6, 7, 8)).value();
    EXPECT_EQ(2024, p.year);
    EXPECT_EQ(3, p.month);
    EXPECT_EQ(4, p.day);
    EXPECT_EQ(5, p.hour);
    EXPECT_EQ(6, p.minute);
    EXPECT_EQ(7, p.second);
    EXPECT_EQ(8, p.msec);
}

TEST(DateTime, Text) {
    TDateTime v = EncodeDate(2024, 3, 4) + EncodeTime(5, 6, 7, 0);
    EXPECT_EQ("3/4/2024", DateToStr(v));
    EXPECT_EQ("05:06:07", TimeToStr(v));
    EXPECT_EQ("3/4/2024 05:06:07", DateTimeToStr(v));
    EXPECT_EQ("3/4/2024", DateTimeToStr(EncodeDate(2024, 3, 4)));
    EXPECT_EQ("1/1/0001", DateToStr(EncodeDate(1, 1, 1)));
    EXPECT_THROW(DateToStr(1e9), EConvertError);

    struct Read {
        const char* text;
        std::optional<TDateTime> value;
    };
    const Read reads[] = {
        {"3/4/2024", EncodeDate(2024, 3, 4)},
        {" 2024-03-04 ", EncodeDate(2024, 3, 4)},
        {"3/4/24", EncodeDate(2024, 3, 4)},
        {"3/4/99", EncodeDate(1999, 3, 4)},
        {"3/4/2024 5:06", v - EncodeTime(0, 0, 7, 0)},
        {"2024-03-04 05:06:07", v},
        {"05:06:07.5", EncodeTime(5, 6, 7, 500)},
        {"12:00 AM", 0.0},
        {"12:30 pm", EncodeTime(12, 30, 0, 0)},
        {"13:00 PM", std::nullopt},
        {"2/30/2024", std::nullopt},
        {"2024-3", std::nullopt},
        {"3/4/2024 junk", std::nullopt},
        {"", std::nullopt},
        {"25:00", std::nullopt},
        {"1/2/20245", std::nullopt},
    };
    for (const Read& r : reads) {
        SCOPED_TRACE(r.text);
        auto got = TryStrToDateTime(r.text);
        ASSERT_EQ(r.value.has_value(), got.has_value());
        if (r.value) {
            EXPECT_DOUBLE_EQ(*r.value, *got);
        }
    }
    EXPECT_FALSE(TryStrToDate("05:06").has_value());
    EXPECT_FALSE(TryStrToTime("3/4/2024").has_value());
    try {
        StrToDate("someday");
        FAIL() << "not a date";
    } catch (const EConvertError& e) {
        EXPECT_EQ("'someday' is not a valid date", e.Message());
    }
}

TEST(DateTime, Clock) {
    TDateTime today = Today();
    EXPECT_EQ(std::floor(today), today);
    TDateTime t = CurrentTimeOfDay();
    EXPECT_GE(t, 0.0);
    EXPECT_LT(t, 1.0);
    EXPECT_GE(Now(), today);
}

}  // namespace
}  // namespace tarn
