#include "tools/value_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/bytes.h"
#include "platform/text/codepage.h"
#include "platform/text/convert.h"
#include "tarndb/datetime.h"
#include "tools/cli_common.h"

namespace tarn::cli {

namespace b = tarn::bytes;

namespace {

std::string Pad(int v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    return s;
}

std::string DateText(int32_t day) {
    if (day == 0) return "";
    int y, m, d;
    if (!TryDecodeDate(day, y, m, d) || y > 9999) return "(day " + std::to_string(day) + ")";
    return Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2);
}

std::string TimeText(int32_t ms) {
    if (ms < 0) return "(ms " + std::to_string(ms) + ")";
    int h, mi, s, z;
    DecodeTime(ms, h, mi, s, z);
    std::string t = Pad(h, 2) + ":" + Pad(mi, 2) + ":" + Pad(s, 2);
    if (z) t += "." + Pad(z, 3);
    return t;
}

std::string FloatText(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

std::string Shown(std::string_view text) {
    constexpr size_t kMax = 60;
    if (text.size() <= kMax) return "'" + std::string(text) + "'";
    return "'" + std::string(text.substr(0, kMax)) + "...'";
}

bool ParseInt64(std::string_view t, int64_t lo, int64_t hi, int64_t& out) {
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size() && out >= lo && out <= hi;
}

// Reads exactly `digits` digits (or 1..digits when `exact` is false) at t[pos].
bool Digits(std::string_view t, size_t& pos, size_t minDigits, size_t maxDigits, int& out) {
    size_t start = pos;
    out = 0;
    while (pos < t.size() && pos - start < maxDigits && t[pos] >= '0' && t[pos] <= '9')
        out = out * 10 + (t[pos++] - '0');
    return pos - start >= minDigits;
}

bool ParseDate(std::string_view t, size_t& pos, int32_t& day) {
    int y, m, d;
    if (!Digits(t, pos, 4, 4, y) || pos >= t.size() || t[pos++] != '-') return false;
    if (!Digits(t, pos, 1, 2, m) || pos >= t.size() || t[pos++] != '-') return false;
    if (!Digits(t, pos, 1, 2, d)) return false;
    return TryEncodeDate(y, m, d, day);
}

bool ParseTime(std::string_view t, size_t& pos, int32_t& ms) {
    int h, mi, s = 0, z = 0;
    if (!Digits(t, pos, 1, 2, h) || pos >= t.size() || t[pos++] != ':') return false;
    if (!Digits(t, pos, 2, 2, mi)) return false;
    if (pos < t.size() && t[pos] == ':') {
        ++pos;
        if (!Digits(t, pos, 2, 2, s)) return false;
        if (pos < t.size() && t[pos] == '.') {
            ++pos;
            size_t start = pos;
            if (!Digits(t, pos, 1, 3, z)) return false;
            for (size_t n = pos - start; n < 3; ++n) z *= 10;  // ".5" is 500 ms
        }
    }
    return TryEncodeTime(h, mi, s, z, ms);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (x != b[i]) return false;
    }
    return true;
}

}  // namespace

bool IsTextBlob(TFieldType type) {
    return type == ftMemo || type == ftFmtMemo || type == ftOraClob;
}

std::string FormatValue(TFieldType type, std::span<const uint8_t> v) {
    try {
        switch (type) {
            case ftString:
            case ftFixedChar: {
                const void* nul = std::memchr(v.data(), 0, v.size());
                size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - v.data())
                                 : v.size();
                return AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(v.data()), len));
            }
            case ftSmallint:
                return std::to_string(b::GetI16(v, 0));
            case ftWord:
                return std::to_string(b::GetU16(v, 0));
            case ftBoolean:
                return b::GetU16(v, 0) != 0 ? "true" : "false";
            case ftInteger:
            case ftAutoInc:
                return std::to_string(b::GetI32(v, 0));
            case ftLargeint:
                return std::to_string(b::GetI64(v, 0));
            case ftFloat:
            case ftCurrency:
                return FloatText(b::GetF64(v, 0));
            case ftDate:
                return DateText(b::GetI32(v, 0));
            case ftTime:
                return TimeText(b::GetI32(v, 0));
            case ftDateTime: {
                double msecs = b::GetF64(v, 0);
                if (msecs == 0) return "";
                TTimeStamp ts;
                if (!TryMSecsToTimeStamp(msecs, ts) || ts.Time < 0)
                    return "(ms " + FloatText(msecs) + ")";
                return DateText(ts.Date) + " " + TimeText(ts.Time);
            }
            default:
                return "(type " + std::to_string(static_cast<int>(type)) + ")";
        }
    } catch (const std::out_of_range&) {
        return "(short value)";
    }
}

std::string FormatBlob(TFieldType type, std::string_view bytes) {
    if (IsTextBlob(type)) return AnsiToUtf8(bytes);
    if (bytes.empty()) return "";
    static const char kHex[] = "0123456789abcdef";
    std::string s = "0x";
    s.reserve(2 + bytes.size() * 2);
    for (unsigned char c : bytes) {
        s.push_back(kHex[c >> 4]);
        s.push_back(kHex[c & 15]);
    }
    return s;
}

bool ParseValue(TFieldType type, std::string_view text, std::span<uint8_t> out,
                std::string& error) {
    std::fill(out.begin(), out.end(), uint8_t{0});
    if (type != ftString && type != ftFixedChar) {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    }
    const bool empty = text.empty();
    auto fail = [&](const char* what) {
        error = Shown(text) + " is not " + what;
        return false;
    };
    int64_t n = 0;
    switch (type) {
        case ftString:
        case ftFixedChar: {
            if (!IsValidUtf8(text)) return fail("valid UTF-8 text");
            std::string stored = Utf8ToAnsi(text);
            if (stored.find('\0') != std::string::npos) return fail("text without NUL characters");
            if (stored.size() + 1 > out.size()) {
                error = Shown(text) + " is " + std::to_string(stored.size()) +
                        " bytes long in the data code page; the field holds " +
                        std::to_string(out.size() - 1);
                return false;
            }
            std::memcpy(out.data(), stored.data(), stored.size());
            return true;
        }
        case ftSmallint:
            if (empty) return true;
            if (!ParseInt64(text, INT16_MIN, INT16_MAX, n))
                return fail("a smallint (-32768..32767)");
            b::PutI16(out, 0, static_cast<int16_t>(n));
            return true;
        case ftWord:
            if (empty) return true;
            if (!ParseInt64(text, 0, UINT16_MAX, n)) return fail("a word (0..65535)");
            b::PutU16(out, 0, static_cast<uint16_t>(n));
            return true;
        case ftInteger:
        case ftAutoInc:
            if (empty) return true;
            if (!ParseInt64(text, INT32_MIN, INT32_MAX, n))
                return fail("an integer (-2147483648..2147483647)");
            b::PutI32(out, 0, static_cast<int32_t>(n));
            return true;
        case ftLargeint:
            if (empty) return true;
            if (!ParseInt64(text, INT64_MIN, INT64_MAX, n))
                return fail("a largeint (a 64-bit integer)");
            b::PutI64(out, 0, n);
            return true;
        case ftBoolean: {
            if (empty) return true;
            bool v;
            if (EqualNoCase(text, "true") || EqualNoCase(text, "1") || EqualNoCase(text, "yes") ||
                EqualNoCase(text, "t"))
                v = true;
            else if (EqualNoCase(text, "false") || EqualNoCase(text, "0") ||
                     EqualNoCase(text, "no") || EqualNoCase(text, "f"))
                v = false;
            else
                return fail("a boolean (true or false)");
            b::PutU16(out, 0, v ? 1 : 0);
            return true;
        }
        case ftFloat:
        case ftCurrency: {
            if (empty) return true;
            TFormatSettings fs;
            fs.DecimalSeparator = '.';
            double v;
            // The texts FormatValue gives a NaN and the infinities.
            if (text == "nan")
                v = std::numeric_limits<double>::quiet_NaN();
            else if (text == "inf" || text == "-inf")
                v = text[0] == '-' ? -std::numeric_limits<double>::infinity()
                                   : std::numeric_limits<double>::infinity();
            else if (!TryTextToFloat(text, v, fs))
                return fail("a number");
            b::PutF64(out, 0, v);
            return true;
        }
        case ftDate: {
            if (empty) return true;
            size_t pos = 0;
            int32_t day;
            if (!ParseDate(text, pos, day) || pos != text.size())
                return fail("a date (yyyy-mm-dd)");
            b::PutI32(out, 0, day);
            return true;
        }
        case ftTime: {
            if (empty) return true;
            size_t pos = 0;
            int32_t ms;
            if (!ParseTime(text, pos, ms) || pos != text.size())
                return fail("a time (hh:mm[:ss[.zzz]])");
            b::PutI32(out, 0, ms);
            return true;
        }
        case ftDateTime: {
            if (empty) return true;
            size_t pos = 0;
            TTimeStamp ts;
            bool ok = ParseDate(text, pos, ts.Date);
            if (ok && pos < text.size()) {
                ok = (text[pos] == ' ' || text[pos] == 'T') && ParseTime(text, ++pos, ts.Time);
            }
            if (!ok || pos != text.size())
                return fail("a date and time (yyyy-mm-dd hh:mm[:ss[.zzz]])");
            b::PutF64(out, 0, TimeStampToMSecs(ts));
            return true;
        }
        default:
            error = "fields of type " + std::to_string(static_cast<int>(type)) +
                    " cannot be read from text";
            return false;
    }
}

bool ParseBlob(TFieldType type, std::string_view text, std::string& bytes, std::string& error) {
    bytes.clear();
    if (IsTextBlob(type)) {
        if (!IsValidUtf8(text)) {
            error = Shown(text) + " is not valid UTF-8 text";
            return false;
        }
        bytes = Utf8ToAnsi(text);
        return true;
    }
    if (text.empty()) return true;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') ||
        text.size() % 2 != 0) {
        error = Shown(text) + " is not binary data written as 0x and hex digits";
        return false;
    }
    bytes.reserve((text.size() - 2) / 2);
    for (size_t i = 2; i < text.size(); i += 2) {
        int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) {
            error = Shown(text) + " is not binary data written as 0x and hex digits";
            return false;
        }
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    return true;
}

}  // namespace tarn::cli
