// Text crossing between the desktop (QString, UTF-16) and the catalogue and the engine,
// whose strings are bytes in the data code page, GB18030 (a superset of code page 936 that
// holds every Unicode character, so any file name of the desktop survives the round trip).
// Every tarn::Exception message is such a byte string too: the error report decodes it
// with AnsiToQString.
//
// Thin Qt adapters over the engine's own converters (platform/text/codepage.h): bytes that
// do not form a GB18030 character decode to U+FFFD. Any thread may call these.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/text/codepage.h"

namespace filever {

inline QString AnsiToQString(std::string_view ansi) {
    if (ansi.empty()) return QString();
    const std::u16string text = tarn::AnsiToUtf16(ansi);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string QStringToAnsi(const QString& text) {
    if (text.isEmpty()) return std::string();
    return tarn::Utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                 static_cast<size_t>(text.size())));
}

}  // namespace filever
