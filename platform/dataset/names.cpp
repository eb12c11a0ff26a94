#include "platform/dataset/names.h"

namespace tarn {
namespace {

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    // Both strings are walked character by character; a trail byte is compared as is.
    while (i < a.size() && j < b.size()) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[j]);
        bool leadA = IsLeadByte(ca) && i + 1 < a.size();
        bool leadB = IsLeadByte(cb) && j + 1 < b.size();
        unsigned char fa = leadA ? ca : FoldAscii(ca);
        unsigned char fb = leadB ? cb : FoldAscii(cb);
        if (fa != fb) return fa < fb ? -1 : 1;
        if (leadA != leadB) return leadA ? 1 : -1;
        if (leadA) {
            unsigned char ta = static_cast<unsigned char>(a[i + 1]);
            unsigned char tb = static_cast<unsigned char>(b[j + 1]);
            if (ta != tb) return ta < tb ? -1 : 1;
            i += 2;
            j += 2;
        } else {
            ++i;
            ++j;
        }
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNames(a, b) == 0;
}

std::vector<std::string> SplitFieldNames(std::string_view list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view part = list.substr(start, end - start);
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
            part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
        if (!part.empty()) out.emplace_back(part);
        start = end + 1;
    }
    return out;
}

}  // namespace tarn
