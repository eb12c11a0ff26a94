// Texts of the checker's report: UTF-8 for names stored in the data code page and for the
// engine's messages.
#include <new>

#include "platform/text/codepage.h"
#include "tarndb/check/check_internal.h"
#include "tarndb/errors.h"

namespace tarn::check {

std::string StoredText(std::string_view stored) { return AnsiToUtf8(stored); }

std::string MessageText(std::string_view message) { return MessageToUtf8(message); }

}  // namespace tarn::check

namespace tarn {

std::string DescribeReadFailure(const std::exception& e) {
    if (dynamic_cast<const EInOutError*>(&e) || dynamic_cast<const EFOpenError*>(&e))
        return static_cast<const Exception&>(e).Message();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return "the file is damaged: a stored length asks for more memory than there is";
    const auto* engine = dynamic_cast<const Exception*>(&e);
    const std::string message = engine ? engine->Message() : std::string(e.what());
    if (message.find(" is damaged") != std::string::npos) return message;
    if (dynamic_cast<const EDecompressionError*>(&e))
        return "the file is damaged: the stored value does not decompress (" + message + ")";
    if (dynamic_cast<const EEncryptException*>(&e))
        return "the file is damaged: the stored value does not decrypt (" + message + ")";
    if (dynamic_cast<const EReadError*>(&e))
        return "the file is damaged: the stored value ends before its length (" + message + ")";
    return "the file is damaged: " + message;
}

}  // namespace tarn
