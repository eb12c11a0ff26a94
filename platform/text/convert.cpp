#include "platform/text/convert.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tarn {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the text for the date and time scanners; blanks are spaces.
struct Scanner {
    std::string_view s;
    size_t pos = 0;

    char Peek() const { return pos < s.size() ? s[pos] : '\0'; }
    bool AtEnd() const { return pos >= s.size(); }
    void SkipBlanks() {
        while (pos < s.size() && s[pos] == ' ') ++pos;
    }
    bool Number(int& value, int& digits) {
        SkipBlanks();
        value = 0;
        digits = 0;
        while (pos < s.size() && IsDigit(s[pos]) && value < 1000) {
            value = value * 10 + (s[pos] - '0');
            ++digits;
            ++pos;
        }
        return digits > 0;
    }
    bool Char(char c) {
        SkipBlanks();
        if (Peek() != c || AtEnd()) return false;
        ++pos;
        return true;
    }
    bool Word(std::string_view w) {
        SkipBlanks();
        if (w.empty() || s.size() - pos < w.size()) return false;
        for (size_t i = 0; i < w.size(); ++i) {
            char a = s[pos + i], b = w[i];
            if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
            if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
            if (a != b) return false;
        }
        pos += w.size();
        return true;
    }
};

enum class DateOrder { MDY, DMY, YMD };

DateOrder OrderOf(const std::string& format) {
    for (char c : format) {
        if (c == 'y' || c == 'Y') return DateOrder::YMD;
        if (c == 'm' || c == 'M') return DateOrder::MDY;
        if (c == 'd' || c == 'D') return DateOrder::DMY;
    }
    return DateOrder::MDY;
}

bool ScanDate(Scanner& sc, int32_t& dayNumber, const TFormatSettings& fs) {
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!sc.Number(n1, l1) || !sc.Char(fs.DateSeparator) || !sc.Number(n2, l2)) return false;
    bool haveThird = false;
    size_t save = sc.pos;
    if (sc.Char(fs.DateSeparator)) {
        if (!sc.Number(n3, l3)) return false;
        haveThird = true;
    } else {
        sc.pos = save;
    }
    int y, m, d, yearDigits;
    const int current = CurrentYear();
    DateOrder order = OrderOf(fs.ShortDateFormat);
    if (!haveThird) {
        y = current;
        yearDigits = 4;
        if (order == DateOrder::DMY) {
            d = n1;
            m = n2;
        } else {
            m = n1;
            d = n2;
        }
    } else {
        switch (order) {
            case DateOrder::MDY: m = n1; d = n2; y = n3; yearDigits = l3; break;
            case DateOrder::DMY: d = n1; m = n2; y = n3; yearDigits = l3; break;
            default: y = n1; m = n2; d = n3; yearDigits = l1; break;
        }
    }
    if (yearDigits <= 2) y = ApplyCenturyWindow(y, current, fs.TwoDigitYearCenturyWindow);
    return TryEncodeDate(y, m, d, dayNumber);
}

bool ScanTime(Scanner& sc, int32_t& ms, const TFormatSettings& fs) {
    int marker = -1;
    if (sc.Word(fs.TimeAMString) || sc.Word("AM")) {
        marker = 0;
    } else if (sc.Word(fs.TimePMString) || sc.Word("PM")) {
        marker = 12;
    }
    int hour, minute = 0, second = 0, msec = 0, len;
    if (!sc.Number(hour, len)) return false;
    if (sc.Char(fs.TimeSeparator)) {
        if (!sc.Number(minute, len)) return false;
        if (sc.Char(fs.TimeSeparator)) {
            if (!sc.Number(second, len)) return false;
            if (sc.Char(fs.DecimalSeparator) && !sc.Number(msec, len)) return false;
        }
    }
    if (marker < 0) {
        if (sc.Word(fs.TimeAMString) || sc.Word("AM")) {
            marker = 0;
        } else if (sc.Word(fs.TimePMString) || sc.Word("PM")) {
            marker = 12;
        }
    }
    if (marker >= 0) {
        if (hour < 1 || hour > 12) return false;
        if (hour == 12) hour = 0;
        hour += marker;
    }
    sc.SkipBlanks();
    return TryEncodeTime(hour, minute, second, msec, ms);
}

}  // namespace

int ApplyCenturyWindow(int year, int currentYear, int window) {
    const int base = currentYear - window;
    year += (base / 100) * 100;
    if (window > 0 && year < base) year += 100;
    return year;
}

bool TryStrToInt32(std::string_view text, int32_t& out) {
    if (text.empty()) return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool TryTextToFloat(std::string_view text, double& out, const TFormatSettings& fs) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    std::string norm;
    norm.reserve(e - b);
    size_t i = b;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') norm.push_back('-');
        ++i;
    }
    int digits = 0;
    bool point = false;
    for (; i < e; ++i) {
        char c = text[i];
        if (IsDigit(c)) {
            norm.push_back(c);
            ++digits;
        } else if (c == fs.DecimalSeparator && !point) {
            norm.push_back('.');
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        norm.push_back('e');
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) norm.push_back(text[i++]);
        int expDigits = 0;
        for (; i < e && IsDigit(text[i]); ++i, ++expDigits) norm.push_back(text[i]);
        if (expDigits == 0) return false;
    }
    if (i != e) return false;
    double v = 0;
    auto res = std::from_chars(norm.data(), norm.data() + norm.size(), v);
    if (res.ec != std::errc() || res.ptr != norm.data() + norm.size() || !std::isfinite(v)) {
        return false;
    }
    out = v;
    return true;
}

double StrToFloat(std::string_view text, const TFormatSettings& fs) {
    double v = 0;
    if (!TryTextToFloat(text, v, fs)) {
        throw EConvertError(Format("'%s' is not a valid floating point value",
                                   std::string(text).c_str()));
    }
    return v;
}

bool TryStrToDate(std::string_view text, int32_t& dayNumber, const TFormatSettings& fs) {
    Scanner sc{text};
    if (!ScanDate(sc, dayNumber, fs)) return false;
    sc.SkipBlanks();
    return sc.AtEnd();
}

int32_t StrToDate(std::string_view text, const TFormatSettings& fs) {
    int32_t d = 0;
    if (!TryStrToDate(text, d, fs)) {
        throw EConvertError(Format("'%s' is not a valid date", std::string(text).c_str()));
    }
    return d;
}

bool TryStrToTime(std::string_view text, int32_t& msOfDay, const TFormatSettings& fs) {
    Scanner sc{text};
    return ScanTime(sc, msOfDay, fs) && sc.AtEnd();
}

int32_t StrToTime(std::string_view text, const TFormatSettings& fs) {
    int32_t t = 0;
    if (!TryStrToTime(text, t, fs)) {
        throw EConvertError(Format("'%s' is not a valid time", std::string(text).c_str()));
    }
    return t;
}

bool TryStrToDateTime(std::string_view text, TTimeStamp& out, const TFormatSettings& fs) {
    Scanner sc{text};
    int32_t day = 0;
    if (ScanDate(sc, day, fs)) {
        sc.SkipBlanks();
        if (sc.AtEnd()) {
            out = TTimeStamp{day, 0};
            return true;
        }
        int32_t ms = 0;
        if (ScanTime(sc, ms, fs) && sc.AtEnd()) {
            out = TTimeStamp{day, ms};
            return true;
        }
        return false;
    }
    Scanner tsc{text};
    int32_t ms = 0;
    if (ScanTime(tsc, ms, fs) && tsc.AtEnd()) {
        out = TTimeStamp{kDateDelta, ms};
        return true;
    }
    return false;
}

TTimeStamp StrToDateTime(std::string_view text, const TFormatSettings& fs) {
    TTimeStamp ts;
    if (!TryStrToDateTime(text, ts, fs)) {
        throw EConvertError(
            Format("'%s' is not a valid date and time", std::string(text).c_str()));
    }
    return ts;
}

}  // namespace tarn
