// Texts of the checker's report: UTF-8 for names stored in the data code page and for the
// engine's messages.
#include "platform/text/codepage.h"
#include "tarndb/check/check_internal.h"

namespace tarn::check {

std::string StoredText(std::string_view stored) { return AnsiToUtf8(stored); }

std::string MessageText(std::string_view message) { return MessageToUtf8(message); }

}  // namespace tarn::check
