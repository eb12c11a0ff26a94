// The data code page: every string of the engine is a byte string in GB18030 (a superset
// of code page 936). The engine never converts its strings; the helpers here are for the
// places where text meets Unicode (LIKE patterns, collation, the desktop's widgets and
// file paths). Conversion goes through ICU's GB18030 converter; bytes that do not form a
// character become the converter's substitution character, never an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// The data code page is a double-byte one (the "far-east" flag), and not Japanese.
inline constexpr bool kSysLocaleFarEast = true;
inline constexpr bool kSysLocaleJapanese = false;

// Whether a byte starts a multi-byte character of the data code page (0x81..0xFE).
constexpr bool IsLeadByte(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

// GB18030 <-> UTF-16. The overloads with an output argument reuse its capacity, so a
// caller that keeps the string alive converts without allocating once it is large enough.
std::u16string AnsiToUtf16(std::string_view ansi);
void AnsiToUtf16(std::string_view ansi, std::u16string& out);
std::string Utf16ToAnsi(std::u16string_view text);

// GB18030 <-> UTF-8.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);
// A message that may carry names in the data code page, as UTF-8: shown as it is when it is
// valid UTF-8 already (paths, messages without names), converted otherwise.
std::string MessageToUtf8(std::string_view message);

}  // namespace tarn
