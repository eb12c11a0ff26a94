#include "tarndb/datetime.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tarndb/errors.h"

namespace tarn {
namespace {

TEST(DateTime, DayNumbersOfKnownDates) {
    struct Case {
        int y, m, d;
        int32_t day;
    };
    const Case cases[] = {
        {1, 1, 1, 1},           {1, 12, 31, 365},       {2, 1, 1, 366},
        {1899, 12, 30, 693594}, {1899, 12, 29, 693593}, {1900, 1, 1, 693596},
        {1970, 1, 1, 719163},   {2000, 2, 29, 730179},  {9999, 12, 31, 3652059},
    };
    for (const Case& c : cases) {
        int32_t day = 0;
        ASSERT_TRUE(TryEncodeDate(c.y, c.m, c.d, day)) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(day, c.day) << c.y << "-" << c.m << "-" << c.d;
        int y = 0, m = 0, d = 0;
        ASSERT_TRUE(TryDecodeDate(c.day, y, m, d));
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(m, c.m);
        EXPECT_EQ(d, c.d);
    }
}

TEST(DateTime, EncodeRejectsImpossibleDatesAndTimes) {
    int32_t v = 0;
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, v));
    EXPECT_FALSE(TryEncodeDate(2019, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(2020, 13, 1, v));
    EXPECT_FALSE(TryEncodeDate(2020, 4, 31, v));
    EXPECT_FALSE(TryDecodeDate(0, v, v, v));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, v));
    EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, v));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, v));
    ASSERT_TRUE(TryEncodeTime(23, 59, 59, 999, v));
    EXPECT_EQ(v, 86399999);
}

TEST(DateTime, SplitsAndJoinsAroundTheEpochDay) {
    // 1899-12-29 06:00 is -1.25: the fraction is the time of day after a negative day.
    struct Case {
        double value;
        int32_t day;
        int32_t ms;
    };
    const Case cases[] = {
        {0.0, 693594, 0},  {1.5, 693595, 43200000},   {-1.25, 693593, 21600000},
        {-1.0, 693593, 0}, {-2.75, 693592, 64800000}, {43831.25, 737425, 21600000},
    };
    for (const Case& c : cases) {
        TTimeStamp ts;
        ASSERT_TRUE(TryDateTimeToTimeStamp(c.value, ts)) << c.value;
        EXPECT_EQ(ts.Date, c.day) << c.value;
        EXPECT_EQ(ts.Time, c.ms) << c.value;
        EXPECT_DOUBLE_EQ(TimeStampToDateTime(ts), c.value);
    }
    TTimeStamp ts;
    EXPECT_FALSE(TryDateTimeToTimeStamp(std::nan(""), ts));
    EXPECT_FALSE(TryDateTimeToTimeStamp(1e300, ts));
}

TEST(DateTime, InvalidTimeStampRaisesWithBothParts) {
    try {
        TimeStampToDateTime(TTimeStamp{0, 5});
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'0.5' is not a valid timestamp");
    }
    EXPECT_THROW(ValidateTimeStamp(TTimeStamp{693594, -1}), EConvertError);
    EXPECT_NO_THROW(ValidateTimeStamp(TTimeStamp{1, 0}));
}

TEST(DateTime, MillisecondValuesSplitIntoDayAndTime) {
    TTimeStamp ts{737425, 3723004};
    double ms = TimeStampToMSecs(ts);
    EXPECT_DOUBLE_EQ(ms, 737425.0 * 86400000 + 3723004);
    TTimeStamp back;
    ASSERT_TRUE(TryMSecsToTimeStamp(ms + 0.4, back));
    EXPECT_EQ(back.Date, ts.Date);
    EXPECT_EQ(back.Time, ts.Time);
    int h, m, s, msec;
    DecodeTime(back.Time, h, m, s, msec);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(s, 3);
    EXPECT_EQ(msec, 4);
    EXPECT_FALSE(TryMSecsToTimeStamp(std::nan(""), back));
}

TEST(DateTime, NowIsAPlausibleLocalTime) {
    TTimeStamp now = NowTimeStamp();
    EXPECT_GE(now.Time, 0);
    EXPECT_LT(now.Time, kMSecsPerDay);
    EXPECT_GE(CurrentYear(), 2024);
    EXPECT_NEAR(Now(), TimeStampToDateTime(now), 1.0);
}

}  // namespace
}  // namespace tarn
