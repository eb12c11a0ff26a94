#include "tarndb/filter/date_reader.h"

#include <gtest/gtest.h>

#include "platform/text/convert.h"

namespace tarn {
namespace {

int32_t Day(int y, int m, int d) {
    int32_t day = 0;
    EXPECT_TRUE(TryEncodeDate(y, m, d, day));
    return day;
}

TEST(DateReader, Dates) {
    const int window2 = ApplyCenturyWindow(20, CurrentYear(), 50);
    const int window0 = ApplyCenturyWindow(0, CurrentYear(), 50);
    struct Case {
        const char* text;
        bool ok;
        int32_t day;
    };
    const Case cases[] = {
        {"1/2/2020", true, Day(2020, 1, 2)},
        {"12/31/1999", true, Day(1999, 12, 31)},
        {" 1 / 2 / 2020", true, Day(2020, 1, 2)},
        {"01/02/20", true, Day(window2, 1, 2)},
        {"1/2/0", true, Day(window0, 1, 2)},
        {"1/2/020", true, Day(20, 1, 2)},  // three digits: no window
        {"1/1/0001", true, 1},
        {"2/29/2000", true, Day(2000, 2, 29)},
        {"2/29/2021", false, 0},
        {"13/1/2020", false, 0},
        {"0/1/2020", false, 0},
        {"1/2/12345", false, 0},  // reads 1234 and leaves the 5
        {"12345/1/2020", false, 0},
        {"1/2/2020 ", false, 0},
        {"1/2", false, 0},
        {"1-2-2020", false, 0},
        {"", false, 0},
        // ISO 8601 calendar dates: a four-digit year, no century window, no inner blanks.
        {"2000-01-01", true, Day(2000, 1, 1)},
        {"1999-12-31", true, Day(1999, 12, 31)},
        {"2020-1-2", true, Day(2020, 1, 2)},
        {" 2020-01-02", true, Day(2020, 1, 2)},
        {"0001-01-01", true, 1},
        {"2000-02-29", true, Day(2000, 2, 29)},
        {"2021-02-29", false, 0},
        {"2000-13-01", false, 0},
        {"2000-00-10", false, 0},
        {"2000-01-32", false, 0},
        {"2000-001-01", false, 0},
        {"20-01-02", false, 0},
        {"020-01-02", false, 0},
        {"20000-01-02", false, 0},
        {"2000 - 01 - 02", false, 0},
        {"2000-01", false, 0},
        {"2000-01-", false, 0},
        {"2000-01-02 ", false, 0},
        {"2000-01/02", false, 0},
        {"2000/01/02", false, 0},
    };
    for (const Case& c : cases) {
        int32_t day = -1;
        EXPECT_EQ(ReadDate(c.text, day), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(day, c.day) << c.text;
        }
    }
}

TEST(DateReader, Times) {
    TFormatSettings fs;
    fs.TimeAMString = "\xC9\xCF\xCE\xE7";  // 上午
    fs.TimePMString = "\xCF\xC2\xCE\xE7";  // 下午
    struct Case {
        const char* text;
        bool ok;
        int32_t ms;
    };
    const Case cases[] = {
        {"10:30", true, 37800000},
        {"10", true, 36000000},
        {"10:30:15", true, 37815000},
        {"10:30:15.250", true, 37815250},
        {"10:30:15.5", true, 37815005},
        {"10:30 ", true, 37800000},
        {" 10 : 30 ", true, 37800000},
        {"PM 1:30", true, 48600000},
        {"1:30 pm", true, 48600000},
        {"1:30pm", true, 48600000},
        {"12 AM", true, 0},
        {"12 PM", true, 43200000},
        {"\xC9\xCF\xCE\xE7 9:00", true, 32400000},
        {"9:00 \xCF\xC2\xCE\xE7", true, 75600000},
        {"0 AM", false, 0},
        {"13 PM", false, 0},
        {"AM 1 PM", false, 0},
        {"24:00", false, 0},
        {"23:60", false, 0},
        {"23:59:60", false, 0},
        {"1:00:00.1000", false, 0},
        {"10:", false, 0},
        {"9:00.5", false, 0},
        {"10:30 x", false, 0},
        {"AM", false, 0},
    };
    for (const Case& c : cases) {
        int32_t ms = -1;
        EXPECT_EQ(ReadTime(c.text, ms, fs), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
}

TEST(DateReader, DateTimes) {
    struct Case {
        const char* text;
        bool ok;
        int32_t day;
        int32_t ms;
    };
    const Case cases[] = {
        {"1/2/2020", true, Day(2020, 1, 2), 0},
        {"1/2/2020 10:00", true, Day(2020, 1, 2), 36000000},
        {"1/2/2020 10:00 and more", true, Day(2020, 1, 2), 36000000},
        {"1/2/2020 10 PM", true, Day(2020, 1, 2), 79200000},
        {"10:00", true, kDateDelta, 36000000},
        {"10 PM", true, kDateDelta, 79200000},
        {"1/2/2020 junk", false, 0, 0},
        {"1/2/2020 25:00", false, 0, 0},
        {"junk", false, 0, 0},
        {"", false, 0, 0},
        {"2020-01-02", true, Day(2020, 1, 2), 0},
        {"2020-01-02 10:00", true, Day(2020, 1, 2), 36000000},
        {"2020-01-02 10:30:15", true, Day(2020, 1, 2), 37815000},
        {"2020-01-02 10:30:15.250", true, Day(2020, 1, 2), 37815250},
        {"2020-01-02 00:00:00", true, Day(2020, 1, 2), 0},
        {"2020-01-02 23:59:59.999", true, Day(2020, 1, 2), 86399999},
        {"2020-01-02 10:00 and more", false, 0, 0},  // an ISO text is read whole
        {"2020-01-02 24:00:00", false, 0, 0},
        {"2020-01-02 10:00:00 PM", false, 0, 0},
        {"2020-01-02T10:00:00", false, 0, 0},
        {"2020-01-02 junk", false, 0, 0},
        {"2020-02-30 10:00", false, 0, 0},
    };
    for (const Case& c : cases) {
        TTimeStamp ts{-1, -1};
        EXPECT_EQ(ReadDateTime(c.text, ts), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ts.Date, c.day) << c.text;
            EXPECT_EQ(ts.Time, c.ms) << c.text;
        }
    }
}

// An ISO date-time is the same text whatever the locale: its fraction of a second follows a
// point, and the locale's AM/PM designators and date order play no part.
TEST(DateReader, IsoTextsIgnoreTheLocale) {
    TFormatSettings fs;
    fs.DecimalSeparator = ',';
    fs.ShortDateFormat = "d.M.yyyy";
    fs.DateSeparator = '.';
    TTimeStamp ts{-1, -1};
    ASSERT_TRUE(ReadDateTime("2020-01-02 10:30:15.250", ts, fs));
    EXPECT_EQ(ts.Date, Day(2020, 1, 2));
    EXPECT_EQ(ts.Time, 37815250);
    EXPECT_FALSE(ReadDateTime("2020-01-02 10:30:15,250", ts, fs));
    int32_t day = -1;
    ASSERT_TRUE(ReadDate("2020-03-04", day, fs));
    EXPECT_EQ(day, Day(2020, 3, 4));
}

}  // namespace
}  // namespace tarn
