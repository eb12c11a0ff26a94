// Text to number, date and time by the locale settings (format_settings.h): the platform's
// conversions that the engine falls back on when its own readers do not apply.
//
// Raising forms throw EConvertError with the platform's messages:
//   "'%s' is not a valid floating point value", "'%s' is not a valid date",
//   "'%s' is not a valid time", "'%s' is not a valid date and time".
// EZeroDivide is the platform's floating-point division error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/format_settings.h"
#include "tarndb/datetime.h"
#include "tarndb/errors.h"

namespace tarn {

// Floating-point division by zero ("Floating point division by zero").
class EZeroDivide : public Exception {
public:
    EZeroDivide() : Exception("Floating point division by zero") {}
};

// A decimal 32-bit integer: optional sign, then digits only (no blanks, no hex).
bool TryStrToInt32(std::string_view text, int32_t& out);

// A decimal number: blanks around it, an optional sign, digits with at most one decimal
// separator (at least one digit), an optional exponent ("E" or "e", optional sign, digits).
// Values outside the range of a double, infinities and NaN are rejected.
bool TryTextToFloat(std::string_view text, double& out,
                    const TFormatSettings& fs = FormatSettings());
double StrToFloat(std::string_view text, const TFormatSettings& fs = FormatSettings());

// Dates: two or three numbers separated by DateSeparator (blanks around them allowed) in the
// order of ShortDateFormat; with two numbers the year is the current year; a year of at
// most two digits falls into the TwoDigitYearCenturyWindow. Result: the day number.
bool TryStrToDate(std::string_view text, int32_t& dayNumber,
                  const TFormatSettings& fs = FormatSettings());
int32_t StrToDate(std::string_view text, const TFormatSettings& fs = FormatSettings());

// Times: hour[:minute[:second[<DecimalSeparator>msec]]] with TimeSeparator, and an AM/PM
// designator (TimeAMString/TimePMString or "AM"/"PM") before or after. Result: ms of day.
bool TryStrToTime(std::string_view text, int32_t& msOfDay,
                  const TFormatSettings& fs = FormatSettings());
int32_t StrToTime(std::string_view text, const TFormatSettings& fs = FormatSettings());

// A date, a date followed by a time, or a time alone (on day 1899-12-30).
bool TryStrToDateTime(std::string_view text, TTimeStamp& out,
                      const TFormatSettings& fs = FormatSettings());
TTimeStamp StrToDateTime(std::string_view text, const TFormatSettings& fs = FormatSettings());

// Places a year given with at most two digits into the hundred years starting
// `window` years before currentYear.
int ApplyCenturyWindow(int year, int currentYear, int window);

}  // namespace tarn
