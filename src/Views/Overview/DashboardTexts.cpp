#include "Views/Overview/DashboardTexts.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

QDateTime local(double time) { return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(time * 1000))); }

QString abbreviatedDuration(double seconds)
{
    qint64 s = qint64(std::max(0.0, seconds));
    const qint64 d = s / 86400, h = s % 86400 / 3600, m = s % 3600 / 60;
    QStringList parts;
    if (d) parts << QStringLiteral("%1d").arg(d);
    if (h) parts << QStringLiteral("%1h").arg(h);
    if (m) parts << QStringLiteral("%1m").arg(m);
    if (parts.isEmpty()) return QStringLiteral("0m");
    return parts.mid(0, 2).join(' ');
}

QString wideDuration(double seconds)
{
    qint64 s = qint64(std::max(0.0, seconds));
    const qint64 h = s / 3600, m = s % 3600 / 60, sec = s % 60;
    QStringList parts;
    auto unit = [&](qint64 v, const char *one, const char *many) {
        if (v) parts << QStringLiteral("%1 %2").arg(v).arg(QLatin1String(v == 1 ? one : many));
    };
    unit(h, "hour", "hours");
    unit(m, "minute", "minutes");
    unit(sec, "second", "seconds");
    if (parts.isEmpty()) return QStringLiteral("0 seconds");
    return parts.join(QStringLiteral(", "));
}

} // namespace

QString spanLine(std::optional<double> first, std::optional<double> last)
{
    if (!first || !last) return {};
    const QLocale locale;
    auto stamp = [&](double t) { return locale.toString(local(t), QStringLiteral("MMM d, yyyy, h:mm:ss AP")); };
    return stamp(*first) + QStringLiteral(" – ") + stamp(*last) + QStringLiteral("  ·  ") +
           abbreviatedDuration(*last - *first);
}

QString bucketLabel(double start)
{
    return QLocale().toString(local(start), QStringLiteral("MMM d, yyyy, h:mm AP"));
}

QString bucketCountsText(const TimeBucket &bucket)
{
    return QStringLiteral("%1 ok · %2 failed").arg(bucket.success).arg(bucket.failure);
}

QString bucketSizeCaption(double bucketSize)
{
    return QStringLiteral("Bucket size: ") + wideDuration(bucketSize) +
           QStringLiteral(". Click a bar to drill into that interval.");
}

QString timeAxisLabel(double time, double step)
{
    const QDateTime t = local(time);
    if (step >= 86400) return QLocale().toString(t, QStringLiteral("MMM d"));
    if (step >= 3600 && t.time().minute() == 0) return QLocale().toString(t, QStringLiteral("h AP"));
    if (step >= 60) return QLocale().toString(t, QStringLiteral("h:mm AP"));
    return QLocale().toString(t, QStringLiteral("h:mm:ss AP"));
}

QColor timelineFailureColour() { return QColor(255, 59, 48); }

std::optional<QString> failurePercentText(int64_t failures, int64_t total)
{
    if (total <= 0) return std::nullopt;
    const QLocale locale;
    return locale.toString(double(failures) / double(total) * 100, 'f', 1) + locale.percent();
}

std::array<TileSpec, 6> overviewTiles(const TileInputs &in)
{
    const QLocale locale;
    auto number = [&](int64_t n) { return locale.toString(qint64(n)); };
    const auto severe = std::count_if(in.findings.begin(), in.findings.end(),
                                      [](const Finding &f) { return f.severity >= Severity::high; });
    return {{
        {QStringLiteral("Records"), number(in.stats.total), QStringLiteral("%1 trail file(s)").arg(in.sourceCount),
         QStringLiteral("doc.text.magnifyingglass"), TileTint::accent},
        {QStringLiteral("Failures"), number(in.stats.failures), failurePercentText(in.stats.failures, in.stats.total),
         QStringLiteral("xmark.octagon"), TileTint::red},
        {QStringLiteral("Findings"), number(int64_t(in.findings.size())), QStringLiteral("%1 high or critical").arg(severe),
         QStringLiteral("exclamationmark.shield"), severe > 0 ? TileTint::orange : TileTint::green},
        {QStringLiteral("Executions"), number(in.stats.execCount), QStringLiteral("%1 process images").arg(in.processCount),
         QStringLiteral("terminal"), TileTint::purple},
        {QStringLiteral("Users"), number(in.stats.uniqueUsers), QStringLiteral("distinct audit/effective ids"),
         QStringLiteral("person.2"), TileTint::teal},
        {QStringLiteral("PIDs"), number(in.stats.uniquePIDs), QStringLiteral("distinct subjects"), QStringLiteral("number"),
         TileTint::indigo},
    }};
}

QString windowSubtitle(const std::vector<TrailSource> &sources)
{
    QStringList names;
    for (const TrailSource &s : sources) names << QString::fromStdString(s.name);
    return names.join(QStringLiteral(", "));
}
