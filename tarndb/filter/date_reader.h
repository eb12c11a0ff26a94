// The filter language's own readers of date and time texts, used to turn string constants
// into date and time constants whatever the locale's date format:
//   date:  month "/" day "/" year; a year of at most two digits falls into the century
//          window (FormatSettings().TwoDigitYearCenturyWindow years before this year);
//          or the ISO form yyyy "-" m[m] "-" d[d] (four-digit year, no blanks inside), the
//          form the tarndb tool prints and imports;
//   ISO date and time: the ISO date, blanks, then h[h] ":" mm [":" ss ["." f[f[f]]]] on the
//          24-hour clock (the fraction is of a second: ".5" is 500 ms), nothing after it;
//   time:  [AM|PM] hour [":" minute [":" second [<decimal separator> ms]]] [AM|PM]
//          (the locale's designators or "AM"/"PM", ignoring case; with one, hours 1..12);
//   date and time: a date alone, or a date followed by a time (text after the time is not
//          examined), or a time alone (on 1899-12-30).
// Blanks are spaces; numbers read at most while their value stays below 1000 ("12345" reads
// 1234). ReadDate and ReadTime succeed only when the whole text is used. They report failure
// by their result and never raise.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/text/format_settings.h"
#include "tarndb/datetime.h"

namespace tarn {

bool ReadDate(std::string_view text, int32_t& dayNumber,
              const TFormatSettings& fs = FormatSettings());
bool ReadTime(std::string_view text, int32_t& msOfDay,
              const TFormatSettings& fs = FormatSettings());
bool ReadDateTime(std::string_view text, TTimeStamp& out,
                  const TFormatSettings& fs = FormatSettings());

}  // namespace tarn
