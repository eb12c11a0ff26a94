#include "platform/text/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <climits>
#include <memory>

#include "tarndb/errors.h"

namespace tarn {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// One converter per thread: ICU converters keep state and must not be shared.
UConverter* Gb18030() {
    thread_local std::unique_ptr<UConverter, ConverterCloser> conv = [] {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* c = ucnv_open("GB18030", &status);
        if (U_FAILURE(status) || c == nullptr) {
            throw EConvertError(Format("GB18030 converter unavailable: %s", u_errorName(status)));
        }
        return std::unique_ptr<UConverter, ConverterCloser>(c);
    }();
    return conv.get();
}

int32_t CheckedLength(size_t n) {
    if (n > static_cast<size_t>(INT32_MAX / 4)) throw EConvertError("Text too long to convert");
    return static_cast<int32_t>(n);
}

}  // namespace

void AnsiToUtf16(std::string_view ansi, std::u16string& out) {
    UConverter* conv = Gb18030();
    int32_t srcLen = CheckedLength(ansi.size());
    // Every byte yields at most one UTF-16 unit (a 4-byte sequence yields at most two).
    size_t cap = ansi.size() + 1;
    if (out.size() < cap) out.resize(cap);
    ucnv_reset(conv);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(conv, out.data(), static_cast<int32_t>(out.size()), ansi.data(),
                              srcLen, &status);
    if (U_FAILURE(status))
        throw EConvertError(Format("Invalid GB18030 text: %s", u_errorName(status)));
    out.resize(static_cast<size_t>(n));
}

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string out;
    AnsiToUtf16(ansi, out);
    return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
    UConverter* conv = Gb18030();
    int32_t srcLen = CheckedLength(text.size());
    std::string out(text.size() * 4 + 1, '\0');
    ucnv_reset(conv);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                srcLen, &status);
    if (U_FAILURE(status))
        throw EConvertError(Format("Invalid UTF-16 text: %s", u_errorName(status)));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::u16string u16 = AnsiToUtf16(ansi);
    std::string out(u16.size() * 3 + 1, '\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, u16.data(),
                       static_cast<int32_t>(u16.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) throw EConvertError(Format("Invalid text: %s", u_errorName(status)));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    int32_t srcLen = CheckedLength(utf8.size());
    std::u16string u16(utf8.size() + 1, u'\0');
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(u16.data(), static_cast<int32_t>(u16.size()), &n, utf8.data(), srcLen,
                         0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        throw EConvertError(Format("Invalid UTF-8 text: %s", u_errorName(status)));
    u16.resize(static_cast<size_t>(n));
    return Utf16ToAnsi(u16);
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= n) return false;
        for (size_t k = 1; k <= n; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

std::string MessageToUtf8(std::string_view message) {
    if (IsValidUtf8(message)) return std::string(message);
    return AnsiToUtf8(message);
}

}  // namespace tarn
