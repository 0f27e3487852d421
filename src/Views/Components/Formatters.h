#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

// Locale-aware texts for figures, durations, dates and byte counts, written once for every screen.
// All of them use the default QLocale (tests set en_US) and the local time zone (tests run in UTC).
namespace Format {

// A count with the locale's digit grouping: 12,345.
QString count(int64_t value);
// A ratio as a percentage with exactly one fractional digit: 12.5%.
QString percent(double ratio);

// Duration units, combinable.
enum DurationUnit : unsigned { days = 1, hours = 2, minutes = 4, seconds = 8 };
enum class UnitsStyle {
    abbreviated, // "2d 3h", "1h 30m", "45s"
    full,        // "2 days, 3 hours", "1 hour, 30 minutes"
};
// The whole seconds of a duration in the given units, largest first, zero units left out, no
// fraction; at most maxUnits units when maxUnits > 0. A duration that shows no unit at all gives
// zero of the smallest unit ("0m", "0 seconds"). Negative durations count as their size.
QString duration(double totalSeconds, unsigned units, UnitsStyle style, int maxUnits = 0);

// Date and time styles, built from fields: abbreviated date "Nov 14, 2023"; shortened time
// "10:13 PM"; standard time "10:13:20 PM" (24-hour clocks where the locale uses them).
enum class DateStyle { none, abbreviated };
enum class TimeStyle { none, shortened, standard };
QString dateTime(double secondsSince1970, DateStyle date, TimeStyle time);
QString dateTime(const QDateTime &moment, DateStyle date, TimeStyle time);
// Any pattern of QLocale::toString, in the local time zone: "MMM d, h:mm:ss.zzz AP".
// A time beyond the calendar (UtcTime::inCalendar) shows as its plain seconds in both.
QString pattern(double secondsSince1970, const QString &pattern);
// Invalid beyond the calendar.
QDateTime fromSeconds(double secondsSince1970);
// Whether the locale writes times on a 12-hour clock with a day period.
bool usesTwelveHourClock(const QLocale &locale = QLocale());

// Byte counts in the file style (powers of 1000): "Zero KB", "1 byte", "532 bytes", "12 KB",
// "1.2 MB", "3.45 GB".
QString byteCount(int64_t bytes);

} // namespace Format
