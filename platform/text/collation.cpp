#include "platform/text/collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <string>

#include "platform/text/codepage.h"
#include "tarndb/errors.h"

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
        throw EConvertError(
            Format("Cannot open a collator for locale '%s': %s", id.c_str(), u_errorName(status)));
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

// Full case folding of `s` into `out`, whose capacity is reused.
void FoldCase(std::u16string_view s, std::u16string& out) {
    out.resize(s.size());  // folding seldom makes text longer
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), s.data(),
                              static_cast<int32_t>(s.size()), U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(static_cast<size_t>(n));
        status = U_ZERO_ERROR;
        n = u_strFoldCase(out.data(), n, s.data(), static_cast<int32_t>(s.size()),
                          U_FOLD_CASE_DEFAULT, &status);
    }
    if (U_FAILURE(status))
        throw EConvertError(Format("Cannot fold the case of a text: %s", u_errorName(status)));
    out.resize(static_cast<size_t>(n));
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

int TCollator::CompareUtf16(std::u16string_view a, std::u16string_view b, TCaseRule rule) const {
    if (a.size() > INT32_MAX || b.size() > INT32_MAX)
        throw EConvertError("Text too long to compare");
    if (rule == TCaseRule::IgnoreCase) {
        thread_local std::u16string fa;
        thread_local std::u16string fb;
        FoldCase(a, fa);
        FoldCase(b, fb);
        return Sign(ucol_strcoll(exact_, fa.data(), static_cast<int32_t>(fa.size()), fb.data(),
                                 static_cast<int32_t>(fb.size())));
    }
    return Sign(ucol_strcoll(rule == TCaseRule::LettersOnly ? caseless_ : exact_, a.data(),
                             static_cast<int32_t>(a.size()), b.data(),
                             static_cast<int32_t>(b.size())));
}

int TCollator::Compare(std::string_view a, std::string_view b, TCaseRule rule) const {
    if (IsAscii(a) && IsAscii(b) && a.size() <= INT32_MAX && b.size() <= INT32_MAX) {
        // ASCII is the same in GB18030 and UTF-8: no conversion needed. Among ASCII
        // characters case is the only difference below accents, so ignoring case is
        // comparing letters and accents only (strength secondary): the same order as
        // folding case and comparing exactly, without the copies.
        UCollator* coll = rule == TCaseRule::Exact ? exact_ : caseless_;
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult r = ucol_strcollUTF8(coll, a.data(), static_cast<int32_t>(a.size()),
                                              b.data(), static_cast<int32_t>(b.size()), &status);
        if (U_SUCCESS(status)) return Sign(r);
    }
    thread_local std::u16string wa;
    thread_local std::u16string wb;
    AnsiToUtf16(a, wa);
    AnsiToUtf16(b, wb);
    return CompareUtf16(wa, wb, rule);
}

}  // namespace tarn
