// Text crossing between the desktop (QString, UTF-16) and the catalogue and the engine,
// whose strings are bytes in the data code page, GB18030 (a superset of code page 936 that
// holds every Unicode character, so any file name of the desktop survives the round trip).
// Every tarn::Exception message is such a byte string too: the error report decodes it
// with AnsiToQString.
//
// Bytes that do not form a GB18030 character decode to U+FFFD; nothing raises. Any thread
// may call these (each thread has its own converter).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace filever {

QString AnsiToQString(std::string_view ansi);
std::string QStringToAnsi(const QString& text);

}  // namespace filever
