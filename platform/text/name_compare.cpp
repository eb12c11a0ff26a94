#include "platform/text/name_compare.h"

namespace tarn {

static unsigned char FoldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x81 && ca <= 0xFE && i + 1 < a.size()) {
            // A double-byte character: both bytes must match exactly.
            if (ca != cb || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (FoldAscii(ca) != FoldAscii(cb)) return false;
    }
    return true;
}

}  // namespace tarn
