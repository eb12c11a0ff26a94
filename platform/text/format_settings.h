// The locale settings the engine reads when it turns text into numbers, dates and times:
// the decimal separator, the AM/PM designators and the date and time formats. The engine
// reads them here and never from the C library's global locale, so a program's setlocale()
// changes nothing in how filter texts are read.
//
// One process-wide object with fixed defaults; callers that need other settings change the
// fields of FormatSettings() (on the thread that owns the databases) or pass their own
// TFormatSettings to the conversion functions.
#pragma once

#include <string>

namespace tarn {

struct TFormatSettings {
    char DecimalSeparator = '.';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    // Order of day, month and year in dates is taken from this format (M, d, y letters).
    std::string ShortDateFormat = "M/d/yyyy";
    std::string LongTimeFormat = "hh:nn:ss";
    // Two-digit years fall into the hundred years that start this many years before the
    // current year.
    int TwoDigitYearCenturyWindow = 50;
};

// The process-wide settings (defaults above).
TFormatSettings& FormatSettings();

}  // namespace tarn
