// Key values as text, for the message of a refused duplicate key ("Invalid unique field
// value '%s'"): strings as they are, integers in decimal, Booleans as "True" / "False",
// floats in the general floating-point form, dates, times and date-times in the short date
// and long time formats of the locale settings (format_settings.h). A value that cannot be
// shown (an invalid date, an unknown type) gives the empty text.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/text/format_settings.h"

namespace tarn {

// One value of field type `type` in the record-buffer encoding (a blob's bytes for blob
// types).
std::string KeyValueText(int type, std::span<const uint8_t> value,
                         const TFormatSettings& fs = FormatSettings());

// A double in the general form with 15 significant digits: fixed notation unless the
// decimal exponent is above 15 or below -4 ("0.0001", "1E-5", "2.5", "1E20", "NAN", "INF").
std::string GeneralFloatText(double v, const TFormatSettings& fs = FormatSettings());
// A day number by ShortDateFormat; a millisecond-of-day count by LongTimeFormat. False
// when the value is no valid date or time.
bool FormatDateText(int32_t dayNumber, const TFormatSettings& fs, std::string& out);
bool FormatTimeText(int32_t msOfDay, const TFormatSettings& fs, std::string& out);

}  // namespace tarn
