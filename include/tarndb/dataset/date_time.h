// Date and time values of the dataset framework.
//
// `TDateTime` is a double counting days from 1899-12-30 00:00, the time of day as the
// fraction. For values before 1899-12-30 the integral part counts days back and the
// fraction still counts forward within the day: -1.25 is 1899-12-29 06:00.
//
// Record buffers hold dates and times as a pair (day number, milliseconds): day 1 is
// 0001-01-01 (proleptic Gregorian), 1899-12-30 is day 693594 (`kDateDelta`). The split and
// join of a `TDateTime` into that pair round to whole milliseconds.
//
// Text uses the default format settings: short date "M/d/yyyy", long time "hh:nn:ss"
// (24-hour), separators "/" and ":". Reading also accepts "yyyy-mm-dd", times with or
// without seconds, milliseconds after a ".", and an "AM" / "PM" suffix. Failures raise
// EConvertError naming the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tarndb/datetime.h"  // TDateTime, kDateDelta, kMSecsPerDay, kMaxDayNumber, Now

namespace tarn {

struct TDateTimeParts {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, msec = 0;
};

// Day number and milliseconds of a value; nothing when the value lies outside the years
// 1 to 9999 (or is not a number).
struct TDayMs {
    int32_t day = 0;
    int32_t ms = 0;
};
std::optional<TDayMs> SplitDateTime(TDateTime value);
// The value of a pair; nothing when day <= 0, day > kMaxDayNumber or ms is outside a day.
std::optional<TDateTime> JoinDateTime(int64_t day, int64_t ms);

std::optional<TDateTime> TryEncodeDate(int year, int month, int day);
std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int msec);
// Raise EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
// Calendar parts of a value; nothing when it is outside the years 1 to 9999.
std::optional<TDateTimeParts> DecodeDateTime(TDateTime value);

// Today at 00:00, and the time of day now (Now() is in platform/text/datetime.h).
TDateTime Today();
TDateTime CurrentTimeOfDay();

// "M/d/yyyy", "hh:nn:ss", and the two joined by a blank (the time is left out when it is
// 00:00:00). A value outside the years 1 to 9999 raises EConvertError.
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);

std::optional<TDateTime> TryStrToDate(std::string_view text);
std::optional<TDateTime> TryStrToTime(std::string_view text);
// A date, a time, or a date followed by a time.
std::optional<TDateTime> TryStrToDateTime(std::string_view text);
// Raise EConvertError "'%s' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(std::string_view text);
TDateTime StrToTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text);

}  // namespace tarn
