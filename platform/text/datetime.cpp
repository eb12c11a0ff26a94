#include "tarndb/datetime.h"

#include <cmath>
#include <ctime>

#include "tarndb/errors.h"

namespace tarn {
namespace {

constexpr int kDaysInMonth[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                     {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Days from 0001-01-01 (day 1) via the days-from-civil algorithm on a year starting in March.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t mp = (m + 9) % 12;
    const int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    // era*146097 + doe counts days from 0000-03-01; 0001-01-01 is 306 days later.
    return era * 146097 + doe - 306 + 1;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    return kDaysInMonth[IsLeapYear(year) ? 1 : 0][month];
}

bool TryEncodeDate(int year, int month, int day, int32_t& dayNumber) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    dayNumber = static_cast<int32_t>(DaysFromCivil(year, month, day));
    return true;
}

bool TryDecodeDate(int32_t dayNumber, int& year, int& month, int& day) {
    if (dayNumber < 1) return false;
    // Back to days since 0000-03-01, then civil-from-days.
    const int64_t z = static_cast<int64_t>(dayNumber) - 1 + 306;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, int32_t& msOfDay) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999) {
        return false;
    }
    msOfDay = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
    return true;
}

void DecodeTime(int32_t msOfDay, int& hour, int& minute, int& second, int& msec) {
    hour = msOfDay / 3600000;
    minute = (msOfDay / 60000) % 60;
    second = (msOfDay / 1000) % 60;
    msec = msOfDay % 1000;
}

bool TryDateTimeToTimeStamp(TDateTime value, TTimeStamp& out) {
    double scaled = value * kMSecsPerDay;
    if (!std::isfinite(scaled)) return false;
    double r = std::round(scaled);
    // Day numbers must fit 32 bits: |m| / 86400000 + 693594 <= INT32_MAX.
    if (std::fabs(r) > 1.8e17) return false;
    int64_t m = static_cast<int64_t>(r);
    int64_t day;
    int64_t ms;
    if (m >= 0) {
        day = kDateDelta + m / kMSecsPerDay;
        ms = m % kMSecsPerDay;
    } else {
        day = kDateDelta - (-m) / kMSecsPerDay;
        ms = (-m) % kMSecsPerDay;
    }
    if (day > INT32_MAX || day < INT32_MIN) return false;
    out.Date = static_cast<int32_t>(day);
    out.Time = static_cast<int32_t>(ms);
    return true;
}

bool TryTimeStampToDateTime(const TTimeStamp& ts, TDateTime& out) {
    if (ts.Date <= 0 || ts.Time < 0) return false;
    const int64_t d = static_cast<int64_t>(ts.Date) - kDateDelta;
    const double base = static_cast<double>(d) * kMSecsPerDay;
    out = (d >= 0 ? base + ts.Time : base - ts.Time) / kMSecsPerDay;
    return true;
}

void ValidateTimeStamp(const TTimeStamp& ts) {
    if (ts.Date <= 0 || ts.Time < 0) {
        throw EConvertError(Format("'%d.%d' is not a valid timestamp", ts.Date, ts.Time));
    }
}

TDateTime TimeStampToDateTime(const TTimeStamp& ts) {
    ValidateTimeStamp(ts);
    TDateTime out = 0;
    TryTimeStampToDateTime(ts, out);
    return out;
}

double TimeStampToMSecs(const TTimeStamp& ts) {
    return static_cast<double>(ts.Date) * kMSecsPerDay + ts.Time;
}

bool TryMSecsToTimeStamp(double msecs, TTimeStamp& out) {
    if (!std::isfinite(msecs)) return false;
    double r = std::round(msecs);
    if (std::fabs(r) > 1.8e17) return false;
    int64_t m = static_cast<int64_t>(r);
    int64_t day = m / kMSecsPerDay;
    if (day > INT32_MAX || day < INT32_MIN) return false;
    out.Date = static_cast<int32_t>(day);
    out.Time = static_cast<int32_t>(m % kMSecsPerDay);
    return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& out) {
    TTimeStamp ts;
    if (!TryEncodeDate(year, month, day, ts.Date)) return false;
    if (!TryEncodeTime(hour, minute, second, msec, ts.Time)) return false;
    return TryTimeStampToDateTime(ts, out);
}

TTimeStamp NowTimeStamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    time_t secs = now.tv_sec;
    localtime_r(&secs, &local);
    TTimeStamp ts;
    if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, ts.Date)) {
        ts.Date = kDateDelta;
    }
    int sec = local.tm_sec > 59 ? 59 : local.tm_sec;  // leap second
    ts.Time = ((local.tm_hour * 60 + local.tm_min) * 60 + sec) * 1000 +
              static_cast<int32_t>(now.tv_nsec / 1000000);
    return ts;
}

TDateTime Now() {
    TDateTime out = 0;
    TryTimeStampToDateTime(NowTimeStamp(), out);
    return out;
}

int CurrentYear() {
    int y = 0, m = 0, d = 0;
    TryDecodeDate(NowTimeStamp().Date, y, m, d);
    return y;
}

}  // namespace tarn
