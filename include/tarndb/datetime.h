// Dates and times as the engine stores them, and the platform's date-time value.
//
// - Day number: days of the proleptic Gregorian calendar, 0001-01-01 is day 1 and
//   1899-12-30 (kDateDelta) is day 693594. Stored by ftDate fields.
// - Milliseconds since midnight: stored by ftTime fields.
// - Millisecond value: day number × 86400000 + milliseconds, a double; stored by
//   ftDateTime fields.
// - TDateTime: the platform's date-time value, a double counting days from 1899-12-30 with
//   the time of day as fraction. Days before 1899-12-30 are negative and keep a positive
//   time of day in their fraction: -1.25 is 1899-12-29 06:00.
//
// TTimeStamp is the (day number, milliseconds) pair between them. Splitting a TDateTime:
// m := round(v × 86400000); for m >= 0 the day is kDateDelta + m div 86400000 and the time
// m mod 86400000; for m < 0 the day is kDateDelta - (-m) div 86400000 and the time
// (-m) mod 86400000. Joining is the inverse: with d := day - kDateDelta, v is
// (d × 86400000 + ms) / 86400000 for d >= 0 and (d × 86400000 - ms) / 86400000 for d < 0.
// A pair with a day of 0 or less or a negative time is invalid.
//
// Functions named Try... report failure by their result; the others raise EConvertError with
// the platform's messages ("'%d.%d' is not a valid timestamp").
#pragma once

#include <cstdint>

namespace tarn {

using TDateTime = double;

inline constexpr int32_t kDateDelta = 693594;  // day number of 1899-12-30
inline constexpr int32_t kMSecsPerDay = 86400000;
inline constexpr int32_t kMaxDayNumber = 3652059;  // 9999-12-31

struct TTimeStamp {
    int32_t Date = 0;  // day number
    int32_t Time = 0;  // milliseconds since midnight
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// Calendar date <-> day number; years 1..9999.
bool TryEncodeDate(int year, int month, int day, int32_t& dayNumber);
// Any day number >= 1 (also beyond 9999-12-31); returns false for day numbers below 1.
bool TryDecodeDate(int32_t dayNumber, int& year, int& month, int& day);

// Hours 0..23, minutes and seconds 0..59, milliseconds 0..999.
bool TryEncodeTime(int hour, int minute, int second, int msec, int32_t& msOfDay);
// Any non-negative millisecond count; the hour is msOfDay div 3600000 (not reduced).
void DecodeTime(int32_t msOfDay, int& hour, int& minute, int& second, int& msec);

// TDateTime <-> TTimeStamp by the rules above. Splitting fails for NaN, infinities and values
// whose day number does not fit 32 bits.
bool TryDateTimeToTimeStamp(TDateTime value, TTimeStamp& out);
bool TryTimeStampToDateTime(const TTimeStamp& ts, TDateTime& out);
TDateTime TimeStampToDateTime(const TTimeStamp& ts);  // raises for an invalid pair
// Raises "'%d.%d' is not a valid timestamp" when day <= 0 or ms < 0.
void ValidateTimeStamp(const TTimeStamp& ts);

// Millisecond value (ftDateTime storage) <-> TTimeStamp. Splitting rounds to whole
// milliseconds and takes quotient and remainder of 86400000 (truncating division, so a
// negative value gives a negative time); it fails for NaN, infinities and day numbers that
// do not fit 32 bits.
double TimeStampToMSecs(const TTimeStamp& ts);
bool TryMSecsToTimeStamp(double msecs, TTimeStamp& out);

// Convenience: calendar parts <-> TDateTime.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& out);

// The local date and time now.
TTimeStamp NowTimeStamp();
TDateTime Now();
int CurrentYear();

}  // namespace tarn
