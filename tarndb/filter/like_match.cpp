#include "tarndb/filter/like_match.h"

#include <string>

#include "platform/text/codepage.h"

namespace tarn {
namespace {

void ToCodePoints(std::string_view ansi, std::u16string& u16, std::u32string& out) {
    out.clear();
    // ASCII text is its own code points in the data code page: no conversion needed.
    bool ascii = true;
    for (char c : ansi)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        // Element by element: assign() from another character type builds a temporary.
        out.resize(ansi.size());
        for (size_t i = 0; i < ansi.size(); ++i) out[i] = static_cast<unsigned char>(ansi[i]);
        return;
    }
    AnsiToUtf16(ansi, u16);
    for (size_t i = 0; i < u16.size(); ++i) {
        char32_t c = u16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u16.size() && u16[i + 1] >= 0xDC00 &&
            u16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (u16[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(c);
    }
}

size_t ToUtf16(char32_t c, char16_t* out) {
    if (c < 0x10000) {
        out[0] = static_cast<char16_t>(c);
        return 1;
    }
    c -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (c >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    return 2;
}

bool SameChar(char32_t a, char32_t b, bool ignoreCase, const TCollator& coll) {
    if (a == b) return true;
    char16_t wa[2], wb[2];
    size_t la = ToUtf16(a, wa), lb = ToUtf16(b, wb);
    return coll.CompareUtf16(std::u16string_view(wa, la), std::u16string_view(wb, lb),
                             ignoreCase) == 0;
}

}  // namespace

bool LikeSameChar(char32_t text, char32_t pattern, bool caseInsensitive,
                  const TCollator& collator) {
    return SameChar(text, pattern, caseInsensitive, collator);
}

bool LikeMatch(std::string_view text, std::string_view pattern, bool caseInsensitive,
               const TCollator& coll) {
    thread_local std::u16string u16;
    thread_local std::u32string s;
    thread_local std::u32string p;
    ToCodePoints(text, u16, s);
    ToCodePoints(pattern, u16, p);

    // A trailing run of two or more "%" needs one more character: it reads as "_%".
    size_t run = 0;
    while (run < p.size() && p[p.size() - 1 - run] == U'%') ++run;
    if (run >= 2) {
        p.resize(p.size() - run);
        p.push_back(U'_');
        p.push_back(U'%');
    }

    // Greedy matching with backtracking to the last "%".
    const size_t n = s.size(), m = p.size();
    size_t i = 0, j = 0, mark = 0;
    size_t star = std::u32string::npos;
    while (i < n) {
        if (j < m && p[j] == U'%') {
            star = j++;
            mark = i;
        } else if (j < m && (p[j] == U'_' || SameChar(s[i], p[j], caseInsensitive, coll))) {
            ++i;
            ++j;
        } else if (star != std::u32string::npos) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < m && p[j] == U'%') ++j;
    return j == m;
}

}  // namespace tarn
