#include "platform/text/collation.h"

#include <unicode/ucol.h>

#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "platform/text/codepage.h"

namespace tarn {
namespace {

// POSIX locale name → ICU locale id: "zh_CN.UTF-8@euro" → "zh_CN"; C/POSIX → root.
std::string ToIcuLocale(std::string_view name) {
    size_t cut = name.find_first_of(".@");
    std::string id(name.substr(0, cut));
    if (id == "C" || id == "POSIX") id.clear();
    return id;
}

UCollator* OpenCollator(const std::string& id, UColAttributeValue strength) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(id.c_str(), &status);
    if (U_FAILURE(status) || c == nullptr) {
        throw EConvertError(Format("Cannot open a collator for locale '%s': %s", id.c_str(),
                                   u_errorName(status)));
    }
    ucol_setStrength(c, strength);
    return c;
}

int Sign(UCollationResult r) { return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0); }

bool IsAscii(std::string_view s) {
    for (char ch : s) {
        if (static_cast<unsigned char>(ch) >= 0x80) return false;
    }
    return true;
}

}  // namespace

TCollator::TCollator(std::string_view localeName) : localeId_(ToIcuLocale(localeName)) {
    exact_ = OpenCollator(localeId_, UCOL_TERTIARY);
    try {
        caseless_ = OpenCollator(localeId_, UCOL_SECONDARY);
    } catch (...) {
        ucol_close(exact_);
        throw;
    }
}

TCollator::~TCollator() {
    ucol_close(exact_);
    ucol_close(caseless_);
}

std::string TCollator::EnvironmentLocale() {
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0') return ToIcuLocale(value);
    }
    return std::string();
}

const TCollator& TCollator::Default() {
    static const TCollator collator(EnvironmentLocale());
    return collator;
}

int TCollator::CompareUtf16(std::u16string_view a, std::u16string_view b, bool ignoreCase) const {
    if (a.size() > INT32_MAX || b.size() > INT32_MAX) throw EConvertError("Text too long to compare");
    return Sign(ucol_strcoll(ignoreCase ? caseless_ : exact_, a.data(),
                             static_cast<int32_t>(a.size()), b.data(),
                             static_cast<int32_t>(b.size())));
}

int TCollator::Compare(std::string_view a, std::string_view b, bool ignoreCase) const {
    UCollator* coll = ignoreCase ? caseless_ : exact_;
    if (IsAscii(a) && IsAscii(b) && a.size() <= INT32_MAX && b.size() <= INT32_MAX) {
        // ASCII is the same in GB18030 and UTF-8: no conversion needed.
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult r = ucol_strcollUTF8(coll, a.data(), static_cast<int32_t>(a.size()),
                                              b.data(), static_cast<int32_t>(b.size()), &status);
        if (U_SUCCESS(status)) return Sign(r);
    }
    thread_local std::u16string wa;
    thread_local std::u16string wb;
    AnsiToUtf16(a, wa);
    AnsiToUtf16(b, wb);
    return CompareUtf16(wa, wb, ignoreCase);
}

}  // namespace tarn
