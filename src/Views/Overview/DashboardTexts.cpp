#include "Views/Overview/DashboardTexts.h"

#include "Views/Components/Formatters.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

QString spanLine(std::optional<double> first, std::optional<double> last)
{
    if (!first || !last) return {};
    auto stamp = [](double t) {
        return Format::dateTime(t, Format::DateStyle::abbreviated, Format::TimeStyle::standard);
    };
    return stamp(*first) + QStringLiteral(" – ") + stamp(*last) + QStringLiteral("  ·  ")
           + Format::duration(*last - *first, Format::days | Format::hours | Format::minutes,
                              Format::UnitsStyle::abbreviated, 2);
}

QString bucketLabel(double start)
{
    return Format::dateTime(start, Format::DateStyle::abbreviated, Format::TimeStyle::shortened);
}

QString bucketCountsText(const TimeBucket &bucket)
{
    return QStringLiteral("%1 ok · %2 failed").arg(bucket.success).arg(bucket.failure);
}

QString bucketSizeCaption(double bucketSize)
{
    return QStringLiteral("Bucket size: ")
           + Format::duration(bucketSize, Format::hours | Format::minutes | Format::seconds, Format::UnitsStyle::full)
           + QStringLiteral(". Click a bar to drill into that interval.");
}

QString timeAxisLabel(double time, double step)
{
    // Days, and midnight on a finer axis, name the day, so a trail over several days stays readable.
    if (step >= 86400 || Format::fromSeconds(time).time() == QTime(0, 0))
        return Format::pattern(time, QStringLiteral("MMM d"));
    if (step >= 60) return Format::dateTime(time, Format::DateStyle::none, Format::TimeStyle::shortened);
    return Format::dateTime(time, Format::DateStyle::none, Format::TimeStyle::standard);
}

std::optional<QString> failurePercentText(int64_t failures, int64_t total)
{
    if (total <= 0) return std::nullopt;
    return Format::percent(double(failures) / double(total));
}

std::array<TileContent, 6> overviewTiles(const TileInputs &in)
{
    auto number = [](int64_t n) { return Format::count(n); };
    const std::optional<QString> severe = in.highOrCritical ? std::optional(
                                              QStringLiteral("%1 high or critical").arg(*in.highOrCritical))
                                                            : std::nullopt;
    return {{
        {QStringLiteral("Records"), number(in.stats.total), QStringLiteral("%1 trail file(s)").arg(in.sourceCount),
         QStringLiteral("doc.text.magnifyingglass"), TileTint::accent},
        {QStringLiteral("Failures"), number(in.stats.failures), failurePercentText(in.stats.failures, in.stats.total),
         QStringLiteral("xmark.octagon"), TileTint::red},
        {QStringLiteral("Findings"), number(in.findingCount), severe, QStringLiteral("exclamationmark.shield"),
         in.highOrCritical.value_or(0) > 0 ? TileTint::orange : TileTint::green},
        {QStringLiteral("Executions"), number(in.stats.execCount),
         QStringLiteral("%1 process images").arg(in.processCount), QStringLiteral("terminal"), TileTint::purple},
        {QStringLiteral("Users"), number(in.stats.uniqueUsers), QStringLiteral("distinct audit/effective ids"),
         QStringLiteral("person.2"), TileTint::teal},
        {QStringLiteral("PIDs"), number(in.stats.uniquePIDs), QStringLiteral("distinct subjects"),
         QStringLiteral("number"), TileTint::indigo},
    }};
}

QString windowSubtitle(const std::vector<TrailSource> &sources)
{
    QStringList names;
    for (const TrailSource &s : sources) names << QString::fromStdString(s.name);
    return names.join(QStringLiteral(", "));
}
