#include "Engine/Support/UtcTime.h"

#include <cmath>
#include <cstdio>

namespace UtcTime {

// H. Hinnant's civil-from-days algorithms.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

Civil civil(int64_t secondsSince1970)
{
    int64_t days = secondsSince1970 / 86400;
    int64_t secondOfDay = secondsSince1970 % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        days -= 1;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    Civil c;
    c.day = dayOfYear - (153 * mp + 2) / 5 + 1;
    c.month = mp < 10 ? mp + 3 : mp - 9;
    c.year = yearOfEra + era * 400 + (c.month <= 2 ? 1 : 0);
    c.hour = secondOfDay / 3600;
    c.minute = secondOfDay / 60 % 60;
    c.second = secondOfDay % 60;
    return c;
}

int daysInMonth(int64_t year, int64_t month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

namespace {

std::string iso(int64_t seconds, const char *fraction)
{
    const Civil c = civil(seconds);
    char text[80];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld%sZ", static_cast<long long>(c.year),
                  static_cast<long long>(c.month), static_cast<long long>(c.day), static_cast<long long>(c.hour),
                  static_cast<long long>(c.minute), static_cast<long long>(c.second), fraction);
    return text;
}

} // namespace

std::string isoSeconds(int64_t secondsSince1970)
{
    return iso(secondsSince1970, "");
}

std::string isoMilliseconds(double time)
{
    // Pinned so that the arithmetic stays exact in a double.
    constexpr double bound = 1e15;
    if (!std::isfinite(time)) time = 0;
    time = std::fmax(-bound, std::fmin(bound, time));
    const int64_t milliseconds = std::llround(time * 1000.0);
    int64_t seconds = milliseconds / 1000;
    int64_t millis = milliseconds % 1000;
    if (millis < 0) {
        millis += 1000;
        seconds -= 1;
    }
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03lld", static_cast<long long>(millis));
    return iso(seconds, fraction);
}

bool inCalendar(double secondsSince1970)
{
    constexpr double limit = 1e15;
    return secondsSince1970 > -limit && secondsSince1970 < limit;
}

std::string plainSeconds(double secondsSince1970)
{
    // A double has at most 309 integer digits.
    char text[400];
    std::snprintf(text, sizeof text, "%.3f", secondsSince1970);
    return text;
}

std::optional<std::tm> localCalendar(double secondsSince1970)
{
    if (!inCalendar(secondsSince1970)) return std::nullopt;
    const auto seconds = static_cast<std::time_t>(std::floor(secondsSince1970));
    std::tm fields{};
    if (!localtime_r(&seconds, &fields)) return std::nullopt;
    return fields;
}

std::optional<int64_t> parseIsoSeconds(std::string_view text)
{
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':'
        || text[19] != 'Z')
        return std::nullopt;
    const auto number = [&](size_t at, size_t length) -> int64_t {
        int64_t value = 0;
        for (size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int64_t y = number(0, 4), m = number(5, 2), d = number(8, 2);
    const int64_t hh = number(11, 2), mm = number(14, 2), ss = number(17, 2);
    if (y < 0 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m) || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0
        || ss > 59)
        return std::nullopt;
    return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60 + ss;
}

} // namespace UtcTime
