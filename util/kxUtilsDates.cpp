#include <array>
#include <cmath>
#include <cstdint>

#include "platform/System.h"
#include "util/kxUtilsText.h"

namespace pw {

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"SUN", "MON", "TUE", "WED",
                                                       "THU", "FRI", "SAT"};
constexpr std::array<std::string_view, 12> kMonthNames = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

constexpr std::int64_t kMsPerDay = 86400000;
// Days from 1899-12-30 (date-time 0) to 1970-01-01, where the civil day count starts.
constexpr std::int64_t kUnixEpochDate = 25569;
// The representable calendar: 0001-01-01 to 9999-12-31 inclusive.
constexpr double kFirstDate = -693593;
constexpr double kLastDate = 2958465;

template <std::size_t N>
int NameToIndex(std::string_view text, const std::array<std::string_view, N>& names) {
    const std::string upper = UpperCase(text);
    for (std::size_t i = 0; i < N; ++i) {
        if (upper == names[i]) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeapYear(y)) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// Proleptic Gregorian day count relative to 1970-01-01.
std::int64_t DaysFromCivil(int y, int m, int d) {
    const std::int64_t yy = y - (m <= 2 ? 1 : 0);
    const std::int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const std::int64_t yoe = yy - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

// Before 1899-12-30 a date-time is negative and its time of day still counts forward from
// midnight (-1.25 is 1899-12-29 06:00), so shifting one by a time span goes through a plain
// linear day count.
double ToLinear(TDateTime t) {
    if (t >= 0) return t;
    const double day = std::trunc(t);
    return day + (day - t);
}

TDateTime FromLinear(double x) {
    if (x >= 0) return x;
    const double day = std::floor(x);
    return day - (x - day);
}

TDateTime Shift(TDateTime t, double days) {
    return FromLinear(ToLinear(t) + days);
}

bool ParseTwoDigits(std::string_view s, int& out) {
    if (s.empty()) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

// Reads the date and time of an HTTP date whose leading day name may still be there. On
// failure text holds whatever was not consumed yet, which may still carry a zone.
bool ParseHttpDate(std::string& text, TDateTime& out) {
    if (DayNameToIndex(std::string_view(text).substr(0, 3)) != 0) {
        CutToken(text, " ", true);
        text = TrimLeft(text);
    }

    // "06-Nov-94 08:49:37" uses "-" between the date's fields; the other forms use blanks.
    std::string_view delim = " ";
    const std::size_t dash = text.find('-');
    const std::size_t blank = text.find(' ');
    if (dash != std::string::npos && dash > 0 && blank != std::string::npos && dash < blank) {
        delim = "-";
    }

    int day = 1;
    int month = 0;
    const auto readDay = [&] {
        day = StrToIntDef(CutToken(text, delim, true), 1);
        text = TrimLeft(text);
    };
    const auto readMonth = [&] {
        month = MonthNameToIndex(CutToken(text, delim, true));
        text = TrimLeft(text);
    };
    if (MonthNameToIndex(CutToken(text, delim, false)) != 0) {
        readMonth();
        readDay();
    } else {
        readDay();
        readMonth();
    }

    // asctime puts the time before the year: when the next token is no year, the rest is the
    // year and the token goes back to be read as the time.
    std::string token = CutToken(text, " ", true);
    int year = StrToIntDef(token, 1900);
    if (year == 1900) {
        year = StrToIntDef(text, 1900);
        text = std::move(token);
    }
    if (year < 80) {
        year += 2000;
    } else if (year <= 99) {
        year += 1900;
    }

    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) return false;

    TDateTime result = date;
    if (text.find(':') != std::string::npos) {
        std::string time = CutToken(text, " ", true);
        const int h = StrToIntDef(CutToken(time, ":", true), 0);
        const int m = StrToIntDef(CutToken(time, ":", true), 0);
        const int s = StrToIntDef(CutToken(time, " ", true), 0);
        if (!TryEncodeDateTime(year, month, day, h, m, s, 0, result)) return false;
    }
    text = TrimLeft(text);
    out = result;
    return true;
}

}  // namespace

int DayNameToIndex(std::string_view text) {
    return NameToIndex(text, kDayNames);
}

int MonthNameToIndex(std::string_view text) {
    return NameToIndex(text, kMonthNames);
}

TDateTime ParseZoneOffset(std::string_view text) {
    const std::string s = Trim(text).substr(0, 5);
    if (s.empty() || (s[0] != '+' && s[0] != '-')) return 0;
    int hours = 0;
    int minutes = 0;
    const std::string_view sv(s);
    // Characters 2-3 and 4-5; a short text leaves a part empty, which does not parse.
    auto part = [&sv](std::size_t pos) {
        return pos < sv.size() ? sv.substr(pos, 2) : std::string_view{};
    };
    if (!ParseTwoDigits(part(1), hours) || !ParseTwoDigits(part(3), minutes)) {
        return 0;
    }
    TDateTime offset = 0;
    if (!TryEncodeTime(hours, minutes, 0, 0, offset)) return 0;
    return s[0] == '-' ? -offset : offset;
}

TDateTime LocalTimeBias(platform::ISystem& system) {
    return system.TimeZoneBiasMinutes() / 1440.0;
}

TDateTime GmtToLocal(TDateTime t, platform::ISystem& system) {
    return Shift(t, -LocalTimeBias(system));
}

TDateTime HttpDateToDateTime(std::string_view text, platform::ISystem& system) {
    std::string rest = Trim(text);
    if (rest.empty()) return 0;
    TDateTime gmt = 0;
    if (!ParseHttpDate(rest, gmt)) gmt = 0;
    // Zone names (GMT, UTC, EST) are shorter than a numeric offset and count as offset 0.
    const TDateTime offset = rest.size() >= 5 ? ParseZoneOffset(rest) : 0;
    return GmtToLocal(Shift(gmt, -offset), system);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    out = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDate);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999) {
        return false;
    }
    const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    out = static_cast<double>(ms) / kMsPerDay;
    return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& out) {
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(year, month, day, date) ||
        !TryEncodeTime(hour, minute, second, msec, time)) {
        return false;
    }
    out = date >= 0 ? date + time : date - time;
    return true;
}

void DecodeDateTime(TDateTime t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& msec) {
    year = month = day = hour = minute = second = msec = 0;
    // Outside the calendar (or not a number) every field stays 0.
    if (!(t > kFirstDate - 1 && t < kLastDate + 1)) return;
    const auto total = static_cast<std::int64_t>(std::llround(ToLinear(t) * kMsPerDay));
    std::int64_t days = total / kMsPerDay;
    std::int64_t ms = total % kMsPerDay;
    if (ms < 0) {
        ms += kMsPerDay;
        --days;
    }
    CivilFromDays(days - kUnixEpochDate, year, month, day);
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

}  // namespace pw
