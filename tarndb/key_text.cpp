#include "tarndb/key_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tarndb/datetime.h"
#include "tarndb/filter/field_types.h"
#include "tarndb/filter/value_codec.h"

namespace tarn {

using namespace ftype;

namespace {

constexpr int kPrecision = 15;

const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

std::string Number(long long v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, v);
    return buf;
}

size_t RunLength(const std::string& f, size_t i) {
    size_t n = 1;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
    while (i + n < f.size() && std::tolower(static_cast<unsigned char>(f[i + n])) == c) ++n;
    return n;
}

bool StartsWithNoCase(const std::string& f, size_t i, const char* word) {
    size_t n = std::strlen(word);
    if (i + n > f.size()) return false;
    for (size_t k = 0; k < n; ++k)
        if (std::tolower(static_cast<unsigned char>(f[i + k])) != word[k]) return false;
    return true;
}

// Copies a quoted literal starting at f[i]; returns the index after it.
size_t Literal(const std::string& f, size_t i, std::string& out) {
    char q = f[i++];
    while (i < f.size() && f[i] != q) out += f[i++];
    return i < f.size() ? i + 1 : i;
}

}  // namespace

std::string GeneralFloatText(double v, const TFormatSettings& fs) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    // d.dddddddddddddde+XX: 15 significant digits, rounded.
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*e", kPrecision - 1, std::fabs(v));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits += *p;
    int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    // value = 0.DIGITS x 10^exponent
    int exponent = exp10 + 1;
    std::string out = v < 0 ? "-" : "";
    if (exponent > kPrecision || exponent < -3) {
        out += digits[0];
        if (digits.size() > 1) {
            out += fs.DecimalSeparator;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent - 1);
        return out;
    }
    if (exponent <= 0) {
        out += '0';
        out += fs.DecimalSeparator;
        out.append(static_cast<size_t>(-exponent), '0');
        out += digits;
        return out;
    }
    size_t whole = static_cast<size_t>(exponent);
    if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
    } else {
        out.append(digits, 0, whole);
        out += fs.DecimalSeparator;
        out.append(digits, whole, std::string::npos);
    }
    return out;
}

bool FormatDateText(int32_t dayNumber, const TFormatSettings& fs, std::string& out) {
    int y, m, d;
    if (!TryDecodeDate(dayNumber, y, m, d)) return false;
    int weekday = static_cast<int>((static_cast<int64_t>(dayNumber) % 7 + 7) %
                                   7);  // day 1 (0001-01-01) is a Monday
    const std::string& f = fs.ShortDateFormat;
    out.clear();
    for (size_t i = 0; i < f.size();) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        if (c == 'd' || c == 'm' || c == 'y') {
            size_t n = RunLength(f, i);
            if (c == 'd')
                out += n == 1   ? Number(d, 0)
                       : n == 2 ? Number(d, 2)
                       : n == 3 ? kShortDays[weekday]
                                : kLongDays[weekday];
            else if (c == 'm')
                out += n == 1   ? Number(m, 0)
                       : n == 2 ? Number(m, 2)
                       : n == 3 ? kShortMonths[m - 1]
                                : kLongMonths[m - 1];
            else
                out += n <= 2 ? Number(y % 100, 2) : Number(y, 4);
            i += n;
        } else if (f[i] == '/') {
            out += fs.DateSeparator;
            ++i;
        } else if (f[i] == '\'' || f[i] == '"') {
            i = Literal(f, i, out);
        } else {
            out += f[i++];
        }
    }
    return true;
}

bool FormatTimeText(int32_t msOfDay, const TFormatSettings& fs, std::string& out) {
    if (msOfDay < 0) return false;
    int h, n, s, z;
    DecodeTime(msOfDay, h, n, s, z);
    const std::string& f = fs.LongTimeFormat;
    std::string lower(f);
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    bool twelve =
        lower.find("am/pm") != std::string::npos || lower.find("ampm") != std::string::npos;
    int hour = h;
    if (twelve) {
        hour = h % 12;
        if (hour == 0) hour = 12;
    }
    out.clear();
    for (size_t i = 0; i < f.size();) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        if (StartsWithNoCase(f, i, "am/pm")) {
            bool upper = std::isupper(static_cast<unsigned char>(f[i])) != 0;
            out += h < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 5;
        } else if (StartsWithNoCase(f, i, "ampm")) {
            out += h < 12 ? fs.TimeAMString : fs.TimePMString;
            i += 4;
        } else if (c == 'h' || c == 'n' || c == 's' || c == 'z') {
            size_t run = RunLength(f, i);
            int value = c == 'h' ? hour : c == 'n' ? n : c == 's' ? s : z;
            int width = c == 'z' ? (run >= 3 ? 3 : 0) : (run >= 2 ? 2 : 0);
            out += Number(value, width);
            i += run;
        } else if (f[i] == ':') {
            out += fs.TimeSeparator;
            ++i;
        } else if (f[i] == '\'' || f[i] == '"') {
            i = Literal(f, i, out);
        } else {
            out += f[i++];
        }
    }
    return true;
}

std::string KeyValueText(int type, std::span<const uint8_t> value, const TFormatSettings& fs) {
    TValueRef v{type, value.data(), value.size()};
    std::string out;
    switch (type) {
        case ftString:
        case ftFixedChar:
            return std::string(StringOf(v));
        case ftSmallint:
        case ftInteger:
        case ftAutoInc:
        case ftWord:
        case ftLargeint:
            return std::to_string(IntegerOf(v));
        case ftBoolean:
            return BoolOf(v) ? "True" : "False";
        case ftFloat:
        case ftCurrency:
            return GeneralFloatText(codec::F64(v), fs);
        case ftDate:
            return FormatDateText(codec::I32(v), fs, out) ? out : std::string();
        case ftTime:
            return FormatTimeText(codec::I32(v), fs, out) ? out : std::string();
        case ftDateTime: {
            TTimeStamp ts;
            if (!TryMSecsToTimeStamp(codec::F64(v), ts) || ts.Time < 0) return std::string();
            if (!FormatDateText(ts.Date, fs, out)) return std::string();
            if (ts.Time == 0) return out;  // midnight: the date alone
            std::string time;
            FormatTimeText(ts.Time, fs, time);
            return out + " " + time;
        }
        default:
            if (IsBlobType(AsFieldType(type))) return std::string(StringOf(v));
            return std::string();
    }
}

}  // namespace tarn
