#include "tarndb/filter/date_reader.h"

#include "platform/text/convert.h"
#include "tarndb/filter/syntax_parser.h"

namespace tarn {
namespace {

struct Reader {
    std::string_view s;
    const TFormatSettings& fs;
    size_t pos = 0;

    bool AtEnd() const { return pos >= s.size(); }
    void SkipBlanks() {
        while (pos < s.size() && s[pos] == ' ') ++pos;
    }
    bool Number(int& value, int& digits) {
        SkipBlanks();
        value = 0;
        digits = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && value < 1000) {
            value = value * 10 + (s[pos] - '0');
            ++digits;
            ++pos;
        }
        return digits > 0;
    }
    bool Word(std::string_view w) {
        SkipBlanks();
        if (w.empty() || s.size() - pos < w.size()) return false;
        if (!SameTextAscii(s.substr(pos, w.size()), w)) return false;
        pos += w.size();
        return true;
    }
    bool Char(char c) {
        SkipBlanks();
        if (AtEnd() || s[pos] != c) return false;
        ++pos;
        return true;
    }

    // Exactly `c` at the reading position, with no blanks before it.
    bool Exact(char c) {
        if (AtEnd() || s[pos] != c) return false;
        ++pos;
        return true;
    }
    // Between minDigits and maxDigits decimal digits, and no digit after them.
    bool Digits(int& value, int minDigits, int maxDigits) {
        value = 0;
        int n = 0;
        while (n < maxDigits && pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            value = value * 10 + (s[pos] - '0');
            ++n;
            ++pos;
        }
        return n >= minDigits && (AtEnd() || s[pos] < '0' || s[pos] > '9');
    }
    // Whether an ISO date starts at the reading position: four digits and a hyphen.
    bool AtIsoDate() const {
        if (s.size() - pos < 5 || s[pos + 4] != '-') return false;
        for (size_t i = pos; i < pos + 4; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
        }
        return true;
    }
    // yyyy-m[m]-d[d]: the year in full, no century window.
    bool IsoDate(int32_t& day) {
        int y, m, d;
        return Digits(y, 4, 4) && Exact('-') && Digits(m, 1, 2) && Exact('-') && Digits(d, 1, 2) &&
               TryEncodeDate(y, m, d, day);
    }
    // h[h]:mm[:ss[.f[f[f]]]] on the 24-hour clock; the fraction is of a second, after a point
    // whatever the locale's decimal separator.
    bool IsoTime(int32_t& ms) {
        int hour, minute, second = 0, fraction = 0, digits = 0;
        if (!Digits(hour, 1, 2) || !Exact(':') || !Digits(minute, 2, 2)) return false;
        if (Exact(':')) {
            if (!Digits(second, 2, 2)) return false;
            if (Exact('.')) {
                const size_t start = pos;
                if (!Digits(fraction, 1, 3)) return false;
                digits = static_cast<int>(pos - start);
                for (; digits < 3; ++digits) fraction *= 10;
            }
        }
        return TryEncodeTime(hour, minute, second, fraction, ms);
    }

    // A date in either form; `iso` tells which was read.
    bool Date(int32_t& day, bool& iso) {
        SkipBlanks();
        iso = AtIsoDate();
        if (iso) return IsoDate(day);
        int m, d, y, len;
        if (!Number(m, len) || !Char('/') || !Number(d, len) || !Char('/') || !Number(y, len)) {
            return false;
        }
        if (len <= 2) y = ApplyCenturyWindow(y, CurrentYear(), fs.TwoDigitYearCenturyWindow);
        return TryEncodeDate(y, m, d, day);
    }

    // -1: no marker; 0: AM; 12: PM.
    int Marker() {
        size_t save = pos;
        if (Word(fs.TimeAMString) || (pos = save, Word("AM"))) return 0;
        pos = save;
        if (Word(fs.TimePMString) || (pos = save, Word("PM"))) return 12;
        pos = save;
        return -1;
    }

    bool Time(int32_t& ms) {
        int marker = Marker();
        int hour, minute = 0, second = 0, msec = 0, len;
        if (!Number(hour, len)) return false;
        if (Char(':')) {
            if (!Number(minute, len)) return false;
            if (Char(':')) {
                if (!Number(second, len)) return false;
                if (Char(fs.DecimalSeparator) && !Number(msec, len)) return false;
            }
        }
        if (marker < 0) marker = Marker();
        if (marker >= 0) {
            if (hour < 1 || hour > 12) return false;
            if (hour == 12) hour = 0;
            hour += marker;
        }
        SkipBlanks();
        return TryEncodeTime(hour, minute, second, msec, ms);
    }
};

}  // namespace

bool ReadDate(std::string_view text, int32_t& dayNumber, const TFormatSettings& fs) {
    Reader r{text, fs};
    bool iso = false;
    return r.Date(dayNumber, iso) && r.AtEnd();
}

bool ReadTime(std::string_view text, int32_t& msOfDay, const TFormatSettings& fs) {
    Reader r{text, fs};
    return r.Time(msOfDay) && r.AtEnd();
}

bool ReadDateTime(std::string_view text, TTimeStamp& out, const TFormatSettings& fs) {
    Reader r{text, fs};
    int32_t day = 0;
    bool iso = false;
    if (r.Date(day, iso)) {
        if (r.AtEnd()) {
            out = TTimeStamp{day, 0};
            return true;
        }
        int32_t ms = 0;
        if (iso) {
            // An ISO date-time is read whole: blanks, then the time, then nothing.
            if (!r.Exact(' ')) return false;
            r.SkipBlanks();
            if (!r.IsoTime(ms) || !r.AtEnd()) return false;
            out = TTimeStamp{day, ms};
            return true;
        }
        if (r.Time(ms)) {
            out = TTimeStamp{day, ms};
            return true;
        }
    }
    int32_t ms = 0;
    if (ReadTime(text, ms, fs)) {
        out = TTimeStamp{kDateDelta, ms};
        return true;
    }
    return false;
}

}  // namespace tarn
