#include "Views/Components/Formatters.h"

#include "Engine/Support/UtcTime.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <iterator>

namespace Format {

QString count(int64_t value)
{
    return QLocale().toString(qlonglong(value));
}

QString percent(double ratio)
{
    return QLocale().toString(ratio * 100, 'f', 1) + QLocale().percent();
}

QString duration(double totalSeconds, unsigned units, UnitsStyle style, int maxUnits)
{
    struct Unit {
        DurationUnit unit;
        int64_t size;
        const char *abbreviation;
        const char *one;
        const char *many;
    };
    static constexpr Unit table[] = {
        {days, 86400, "d", "day", "days"},
        {hours, 3600, "h", "hour", "hours"},
        {minutes, 60, "m", "minute", "minutes"},
        {seconds, 1, "s", "second", "seconds"},
    };
    if ((units & (days | hours | minutes | seconds)) == 0) units = seconds;
    auto text = [style](int64_t value, const Unit &unit) {
        if (style == UnitsStyle::abbreviated) return QString::number(value) + unit.abbreviation;
        return QString::number(value) + ' ' + (value == 1 ? unit.one : unit.many);
    };
    const double size = std::isfinite(totalSeconds) ? std::fabs(totalSeconds) : 0;
    // Whole seconds: the parts below the smallest shown unit are dropped, not rounded up.
    int64_t rest = int64_t(std::floor(size));
    QStringList parts;
    const Unit *smallest = nullptr;
    for (const Unit &unit : table) {
        if (!(units & unit.unit)) continue;
        smallest = &unit;
        const int64_t value = rest / unit.size;
        rest -= value * unit.size;
        if (value == 0) continue;
        if (maxUnits > 0 && parts.size() >= maxUnits) continue;
        parts << text(value, unit);
    }
    if (parts.isEmpty()) return text(0, *smallest);
    return parts.join(style == UnitsStyle::abbreviated ? QStringLiteral(" ") : QStringLiteral(", "));
}

QDateTime fromSeconds(double secondsSince1970)
{
    if (!UtcTime::inCalendar(secondsSince1970)) return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(secondsSince1970 * 1000 + 0.5))).toLocalTime();
}

namespace {

bool usesTwelveHours(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    return format.contains(QLatin1String("AP"), Qt::CaseInsensitive) || format.contains(QLatin1Char('a'));
}

QString timePattern(const QLocale &locale, TimeStyle style)
{
    const bool twelve = usesTwelveHours(locale);
    switch (style) {
    case TimeStyle::none: return {};
    case TimeStyle::shortened: return twelve ? "h:mm AP" : "HH:mm";
    case TimeStyle::standard: return twelve ? "h:mm:ss AP" : "HH:mm:ss";
    }
    return {};
}

} // namespace

QString dateTime(const QDateTime &moment, DateStyle date, TimeStyle time)
{
    const QLocale locale;
    QStringList parts;
    if (date == DateStyle::abbreviated) parts << locale.toString(moment, QStringLiteral("MMM d, yyyy"));
    if (time != TimeStyle::none) parts << locale.toString(moment, timePattern(locale, time));
    return parts.join(QStringLiteral(", "));
}

QString dateTime(double secondsSince1970, DateStyle date, TimeStyle time)
{
    if (!UtcTime::inCalendar(secondsSince1970)) return QString::fromStdString(UtcTime::plainSeconds(secondsSince1970));
    return dateTime(fromSeconds(secondsSince1970), date, time);
}

bool usesTwelveHourClock(const QLocale &locale)
{
    return locale.timeFormat(QLocale::ShortFormat).contains(u'a', Qt::CaseInsensitive);
}

QString pattern(double secondsSince1970, const QString &pattern)
{
    if (!UtcTime::inCalendar(secondsSince1970)) return QString::fromStdString(UtcTime::plainSeconds(secondsSince1970));
    return QLocale().toString(fromSeconds(secondsSince1970), pattern);
}

QString byteCount(int64_t bytes)
{
    const QLocale locale;
    if (bytes == 0) return QStringLiteral("Zero KB");
    const double size = std::fabs(double(bytes));
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    if (size < 1000) return sign + QString::number(size, 'f', 0) + (size == 1 ? " byte" : " bytes");
    struct Step {
        double size;
        const char *unit;
        int decimals;
    };
    static constexpr Step steps[] = {{1e3, "KB", 0}, {1e6, "MB", 1}, {1e9, "GB", 2}, {1e12, "TB", 2}, {1e15, "PB", 2}};
    constexpr size_t stepCount = std::size(steps);
    auto rounded = [size](const Step &step) {
        const double factor = std::pow(10, step.decimals);
        return std::round(size / step.size * factor) / factor;
    };
    size_t k = 0;
    while (k + 1 < stepCount && size >= steps[k + 1].size) ++k;
    // 999,999 bytes rounds to "1000 KB"; the next unit reads "1 MB".
    if (k + 1 < stepCount && rounded(steps[k]) >= 1000) ++k;
    const Step *step = &steps[k];
    const double value = rounded(*step);
    QString number = locale.toString(value, 'f', step->decimals);
    // "1.0 MB" reads "1 MB", as the platform's formatter writes it.
    if (step->decimals > 0 && value == std::floor(value)) number = locale.toString(value, 'f', 0);
    return sign + number + ' ' + step->unit;
}

} // namespace Format
