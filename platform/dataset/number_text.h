// Numbers and Booleans as text, the way the dataset framework shows and reads them. Locale
// independent: the decimal separator is "." (the format settings' default), never the C
// library's global locale.
//
// Reading accepts blanks around the text; integers may carry a sign and may be written in
// hexadecimal as "$1F" or "0x1F"; floats accept a sign, a fraction and an exponent ("1.5E-3")
// but not "INF" or "NAN".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

// General floating-point text with up to 15 significant digits: "0.1", "12345", "1.5E-5",
// "1E20" (exponent form for exponents below -4 or from 15 on). Not-a-number gives "NAN",
// infinities "INF" / "-INF".
std::string FloatToStr(double value);

std::optional<int64_t> TryStrToInt64(std::string_view text);
std::optional<double> TryStrToFloat(std::string_view text);

// "True" / "False".
const char* BoolToStr(bool value);
// "true" / "false" in any letter case (also a leading part such as "T" or "fal"), or a number
// (non-zero is true).
std::optional<bool> TryStrToBool(std::string_view text);

}  // namespace tarn
