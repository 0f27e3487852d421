#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// The proleptic Gregorian calendar in UTC, for any time a trail can hold (far beyond what the
// C library's calendar functions accept), and the ISO 8601 texts written to files.
namespace UtcTime {

struct Civil {
    int64_t year = 1970;
    int64_t month = 1; // 1-12
    int64_t day = 1;   // 1-31
    int64_t hour = 0;
    int64_t minute = 0;
    int64_t second = 0;
};

// Days since 1970-01-01 of a date, and the date and time of seconds since 1970.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day);
Civil civil(int64_t secondsSince1970);
int daysInMonth(int64_t year, int64_t month);

// 2024-03-05T14:07:09Z.
std::string isoSeconds(int64_t secondsSince1970);
// 2024-03-05T14:07:09.125Z: rounded to whole milliseconds, so 0.001 (stored as 0.000999…) still
// shows .001. Times beyond ±1e15 seconds are pinned there; an infinite or NaN time is 1970.
std::string isoMilliseconds(double secondsSince1970);
// Whether a time is one the calendar code shows as a date: finite and within 1e15 seconds (some 31
// million years) of 1970, where the C library, Qt's dates and the arithmetic here all hold. Every
// place that turns a record time into a date asks this first and shows any other time as
// plainSeconds: headers can claim up to 2^64 seconds.
bool inCalendar(double secondsSince1970);
// The time as its plain number of seconds with milliseconds: "18446744073709551616.000".
std::string plainSeconds(double secondsSince1970);
// The local time zone's calendar fields of the time's whole second; nothing outside inCalendar.
std::optional<std::tm> localCalendar(double secondsSince1970);

// Exactly YYYY-MM-DDTHH:MM:SSZ with a real date and time; nullopt for anything else.
std::optional<int64_t> parseIsoSeconds(std::string_view text);

} // namespace UtcTime
