#include "app/gb_text.h"

#include <unicode/ucnv.h>

#include <memory>
#include <stdexcept>

namespace filever {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// ICU converters keep state between calls and must not be shared between threads.
UConverter* Gb18030() {
    thread_local std::unique_ptr<UConverter, ConverterCloser> conv = [] {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* c = ucnv_open("GB18030", &status);
        if (U_FAILURE(status)) throw std::runtime_error("GB18030 converter is not available");
        return std::unique_ptr<UConverter, ConverterCloser>(c);
    }();
    return conv.get();
}

}  // namespace

QString AnsiToQString(std::string_view ansi) {
    if (ansi.empty()) return QString();
    UConverter* conv = Gb18030();
    ucnv_reset(conv);
    // GB18030 never yields more UTF-16 units than it has bytes.
    QString out(static_cast<qsizetype>(ansi.size()), Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n =
        ucnv_toUChars(conv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                      ansi.data(), static_cast<int32_t>(ansi.size()), &status);
    if (U_FAILURE(status)) throw std::runtime_error("GB18030 decoding failed");
    out.truncate(n);
    return out;
}

std::string QStringToAnsi(const QString& text) {
    if (text.isEmpty()) return std::string();
    UConverter* conv = Gb18030();
    ucnv_reset(conv);
    // At most four bytes per UTF-16 unit (a lone surrogate becomes the substitute).
    std::string out(static_cast<size_t>(text.size()) * 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                reinterpret_cast<const UChar*>(text.utf16()),
                                static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) throw std::runtime_error("GB18030 encoding failed");
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace filever
