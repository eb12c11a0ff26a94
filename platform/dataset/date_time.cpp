#include "tarndb/dataset/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "tarndb/errors.h"

namespace tarn {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

// Day number (0001-01-01 = 1) <-> days since 1970-01-01.
constexpr int64_t kUnixDayNumber = 719163;

// Joins a date value and a time fraction the way negative dates count (see the header).
TDateTime Combine(TDateTime date, TDateTime time) { return date < 0 ? date - time : date + time; }

// A small scanner over date and time text.
struct Scanner {
    std::string_view s;
    size_t pos = 0;

    void SkipBlanks() {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    }
    bool AtEnd() const { return pos >= s.size(); }
    bool Take(char c) {
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    // Reads 1 to maxDigits decimal digits; `digits` receives how many were read.
    bool Number(int maxDigits, int& value, int& digits) {
        value = 0;
        digits = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && digits < maxDigits) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
            ++digits;
        }
        return digits > 0 && !(pos < s.size() && s[pos] >= '0' && s[pos] <= '9');
    }
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<TDateTime> ParseDate(Scanner& sc) {
    int a = 0, b = 0, c = 0, da = 0, db = 0, dc = 0;
    if (!sc.Number(4, a, da)) return std::nullopt;
    if (da == 4 && sc.Take('-')) {  // yyyy-mm-dd
        if (!sc.Number(2, b, db) || !sc.Take('-') || !sc.Number(2, c, dc)) return std::nullopt;
        return TryEncodeDate(a, b, c);
    }
    // M/d/yyyy
    if (da > 2 || !sc.Take('/') || !sc.Number(2, b, db) || !sc.Take('/') || !sc.Number(4, c, dc))
        return std::nullopt;
    if (dc <= 2) c += c < 50 ? 2000 : 1900;
    return TryEncodeDate(c, a, b);
}

std::optional<TDateTime> ParseTime(Scanner& sc) {
    int h = 0, n = 0, s = 0, ms = 0, d = 0;
    if (!sc.Number(2, h, d) || !sc.Take(':') || !sc.Number(2, n, d)) return std::nullopt;
    if (sc.Take(':')) {
        if (!sc.Number(2, s, d)) return std::nullopt;
        if (sc.Take('.')) {
            int digits = 0;
            if (!sc.Number(3, ms, digits)) return std::nullopt;
            while (digits++ < 3) ms *= 10;
        }
    }
    sc.SkipBlanks();
    if (sc.pos + 2 <= sc.s.size()) {
        char c0 = static_cast<char>(sc.s[sc.pos] & ~0x20);
        char c1 = static_cast<char>(sc.s[sc.pos + 1] & ~0x20);
        if ((c0 == 'A' || c0 == 'P') && c1 == 'M') {
            if (h < 1 || h > 12) return std::nullopt;
            h %= 12;
            if (c0 == 'P') h += 12;
            sc.pos += 2;
        }
    }
    return TryEncodeTime(h, n, s, ms);
}

[[noreturn]] void ConvertError(const char* what, std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

TDateTimeParts CheckedParts(TDateTime value) {
    auto parts = DecodeDateTime(value);
    if (!parts) throw EConvertError("Date and time value out of range");
    return *parts;
}

}  // namespace

std::optional<TDayMs> SplitDateTime(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return std::nullopt;
    int64_t m = std::llround(value * static_cast<double>(kMSecsPerDay));
    int64_t day = m >= 0 ? kDateDelta + m / kMSecsPerDay : kDateDelta - (-m) / kMSecsPerDay;
    int64_t ms = (m >= 0 ? m : -m) % kMSecsPerDay;
    if (day < 1 || day > kMaxDayNumber) return std::nullopt;
    return TDayMs{static_cast<int32_t>(day), static_cast<int32_t>(ms)};
}

std::optional<TDateTime> JoinDateTime(int64_t day, int64_t ms) {
    if (day <= 0 || day > kMaxDayNumber || ms < 0 || ms >= kMSecsPerDay) return std::nullopt;
    int64_t d = day - kDateDelta;
    int64_t total = d >= 0 ? d * kMSecsPerDay + ms : d * kMSecsPerDay - ms;
    return static_cast<double>(total) / static_cast<double>(kMSecsPerDay);
}

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return std::nullopt;
    return static_cast<double>(DaysFromCivil(year, month, day) + kUnixDayNumber - kDateDelta);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second, int msec) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        return std::nullopt;
    int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    return static_cast<double>(ms) / static_cast<double>(kMSecsPerDay);
}

TDateTime EncodeDate(int year, int month, int day) {
    auto v = TryEncodeDate(year, month, day);
    if (!v) throw EConvertError("Invalid argument to date encode");
    return *v;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    auto v = TryEncodeTime(hour, minute, second, msec);
    if (!v) throw EConvertError("Invalid argument to time encode");
    return *v;
}

std::optional<TDateTimeParts> DecodeDateTime(TDateTime value) {
    auto split = SplitDateTime(value);
    if (!split) return std::nullopt;
    TDateTimeParts p;
    CivilFromDays(split->day - kUnixDayNumber, p.year, p.month, p.day);
    int ms = split->ms;
    p.hour = ms / 3600000;
    p.minute = ms / 60000 % 60;
    p.second = ms / 1000 % 60;
    p.msec = ms % 1000;
    return p;
}

TDateTime Today() { return std::floor(Now()); }

TDateTime CurrentTimeOfDay() {
    TDateTime now = Now();
    return now - std::floor(now);
}

std::string DateToStr(TDateTime value) {
    TDateTimeParts p = CheckedParts(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d/%04d", p.month, p.day, p.year);
    return buf;
}

std::string TimeToStr(TDateTime value) {
    TDateTimeParts p = CheckedParts(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

std::string DateTimeToStr(TDateTime value) {
    TDateTimeParts p = CheckedParts(value);
    std::string text = DateToStr(value);
    if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.msec != 0)
        text += " " + TimeToStr(value);
    return text;
}

std::optional<TDateTime> TryStrToDate(std::string_view text) {
    Scanner sc{Trim(text)};
    auto v = ParseDate(sc);
    if (!v || !sc.AtEnd()) return std::nullopt;
    return v;
}

std::optional<TDateTime> TryStrToTime(std::string_view text) {
    Scanner sc{Trim(text)};
    auto v = ParseTime(sc);
    sc.SkipBlanks();
    if (!v || !sc.AtEnd()) return std::nullopt;
    return v;
}

std::optional<TDateTime> TryStrToDateTime(std::string_view text) {
    Scanner sc{Trim(text)};
    if (auto date = ParseDate(sc)) {
        sc.SkipBlanks();
        if (sc.AtEnd()) return date;
        auto time = ParseTime(sc);
        sc.SkipBlanks();
        if (!time || !sc.AtEnd()) return std::nullopt;
        return Combine(*date, *time);
    }
    return TryStrToTime(text);
}

TDateTime StrToDate(std::string_view text) {
    if (auto v = TryStrToDate(text)) return *v;
    ConvertError("date", text);
}

TDateTime StrToTime(std::string_view text) {
    if (auto v = TryStrToTime(text)) return *v;
    ConvertError("time", text);
}

TDateTime StrToDateTime(std::string_view text) {
    if (auto v = TryStrToDateTime(text)) return *v;
    ConvertError("date and time", text);
}

}  // namespace tarn
