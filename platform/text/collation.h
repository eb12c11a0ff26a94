// String comparison by the user's locale: the engine's stand-in for the platform's
// locale-aware comparison of ANSI strings. An ICU collator for one locale; the normal
// comparison is at strength tertiary (letters, accents, case and letter forms such as
// full width all count). "Ignore case" folds the case of both strings and then compares
// them the normal way, so only case stops counting ('A' = 'a', but 'A' <> the full-width
// 'Ａ'). Case-insensitive indexes keep their keys in an order of letters and accents alone
// (strength secondary, TCaseRule::LettersOnly), in which case and letter forms do not count.
//
// The locale comes from the environment (LC_ALL, then LC_COLLATE, then LANG, the first that
// is set and not empty); "C", "POSIX" or nothing means ICU's root collation. Tests pin the
// locale by building a TCollator with an explicit name or by setting LC_ALL before the first
// call to Default().
//
// A TCollator is immutable after construction; Compare may be called from any thread.
// Comparing strings that are pure ASCII allocates nothing; other strings are converted to
// UTF-16 (and case-folded) in per-thread buffers that grow to the longest string seen and
// are then reused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct UCollator;

namespace tarn {

// Which differences between two strings count.
enum class TCaseRule : uint8_t {
    Exact,        // everything: letters, accents, case, letter forms (strength tertiary)
    IgnoreCase,   // case does not: both strings are case-folded, then compared exactly, so
                  // 'a' = 'A' but '2' <> '２' (full-width) and 'e' <> 'é'
    LettersOnly,  // letters and accents only: neither case nor letter forms such as width
                  // count (strength secondary); the order of case-insensitive indexes
};

class TCollator {
public:
    // localeName: an ICU or POSIX locale name ("zh_CN", "de_DE.UTF-8"); "", "C" and "POSIX"
    // give the root collation. Raises EConvertError when ICU cannot open a collator.
    explicit TCollator(std::string_view localeName);
    ~TCollator();
    TCollator(const TCollator&) = delete;
    TCollator& operator=(const TCollator&) = delete;

    // The collator for the environment's locale, created on first use.
    static const TCollator& Default();
    // The ICU locale id the environment names ("" for root).
    static std::string EnvironmentLocale();

    const std::string& LocaleId() const { return localeId_; }

    // Compares two byte strings of the data code page (GB18030): -1, 0 or 1.
    int Compare(std::string_view a, std::string_view b, TCaseRule rule) const;
    int Compare(std::string_view a, std::string_view b, bool ignoreCase) const {
        return Compare(a, b, ignoreCase ? TCaseRule::IgnoreCase : TCaseRule::Exact);
    }
    // Compares two UTF-16 strings: -1, 0 or 1.
    int CompareUtf16(std::u16string_view a, std::u16string_view b, TCaseRule rule) const;
    int CompareUtf16(std::u16string_view a, std::u16string_view b, bool ignoreCase) const {
        return CompareUtf16(a, b, ignoreCase ? TCaseRule::IgnoreCase : TCaseRule::Exact);
    }

private:
    std::string localeId_;
    UCollator* exact_ = nullptr;     // strength tertiary
    UCollator* caseless_ = nullptr;  // strength secondary (TCaseRule::LettersOnly)
};

}  // namespace tarn
