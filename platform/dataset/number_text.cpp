#include "platform/dataset/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tarn {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string FloatToStr(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    // Tidy the exponent: "1.5E-05" -> "1.5E-5", "1E+20" -> "1E20".
    std::string s(buf);
    size_t e = s.find('E');
    if (e == std::string::npos) return s;
    std::string mantissa = s.substr(0, e);
    size_t i = e + 1;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    while (i + 1 < s.size() && s[i] == '0') ++i;
    return mantissa + "E" + (negative ? "-" : "") + s.substr(i);
}

std::optional<int64_t> TryStrToInt64(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    if (negative) {
        if (magnitude > static_cast<uint64_t>(INT64_MAX) + 1) return std::nullopt;
        return static_cast<int64_t>(0 - magnitude);
    }
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(magnitude);
}

std::optional<double> TryStrToFloat(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && (s.front() == '+' || s.front() == '-')) return std::nullopt;
    }
    if (s.empty()) return std::nullopt;
    // Only digits, one sign, the separator and an exponent: from_chars alone would also
    // take "inf", "nan" and hexadecimal floats.
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

const char* BoolToStr(bool value) { return value ? "True" : "False"; }

std::optional<bool> TryStrToBool(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    if (s.empty()) return std::nullopt;
    auto isPrefixOf = [&](std::string_view word) {
        if (s.size() > word.size()) return false;
        for (size_t i = 0; i < s.size(); ++i)
            if (Upper(s[i]) != word[i]) return false;
        return true;
    };
    if (isPrefixOf("TRUE")) return true;
    if (isPrefixOf("FALSE")) return false;
    if (auto n = TryStrToFloat(s)) return *n != 0;
    return std::nullopt;
}

}  // namespace tarn
