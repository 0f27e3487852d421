#include "Views/Overview/TimelineGeometry.h"

#include "Engine/Support/UtcTime.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

std::optional<TimelineDomain> timelineDomain(const std::vector<TimeBucket> &timeline, double bucketSize)
{
    if (timeline.empty()) return std::nullopt;
    TimelineDomain domain{timeline.front().start, timeline.back().start + std::max(bucketSize, 0.0)};
    // A zero or negative bucket size would leave no width to divide by.
    if (!(domain.end > domain.start)) domain.end = domain.start + 1;
    return domain;
}

std::optional<size_t> bucketIndexAt(const std::vector<TimeBucket> &timeline, double time)
{
    for (size_t i = timeline.size(); i-- > 0;)
        if (timeline[i].start <= time) return i;
    return std::nullopt;
}

std::optional<double> timeAtX(double x, double plotWidth, const TimelineDomain &domain)
{
    if (!(plotWidth > 0) || !std::isfinite(x)) return std::nullopt;
    return domain.start + x / plotWidth * (domain.end - domain.start);
}

double xAtTime(double time, double plotWidth, const TimelineDomain &domain)
{
    return (time - domain.start) / (domain.end - domain.start) * plotWidth;
}

std::vector<double> countTicks(double maxCount, int maxTicks)
{
    const double top = std::max(maxCount, 1.0);
    const int intervals = std::max(maxTicks - 1, 1);
    double magnitude = std::pow(10.0, std::floor(std::log10(top / intervals)));
    double step = magnitude;
    // Counts are whole numbers, so no step below 1.
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = std::max(1.0, factor * magnitude);
        if (std::ceil(top / step) <= intervals) break;
    }
    std::vector<double> ticks;
    for (double v = 0; v < top + step; v += step) {
        ticks.push_back(v);
        if (v >= top) break;
    }
    return ticks;
}

std::vector<double> timeTicks(const TimelineDomain &domain, int maxTicks, double *stepOut)
{
    static constexpr std::array<double, 17> steps = {1,    5,    15,    30,    60,    300,   600,    900,   1800,
                                                     3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
    const double span = domain.end - domain.start;
    maxTicks = std::max(maxTicks, 1);
    double step = steps.back();
    for (double s : steps) {
        if (span / s <= maxTicks) {
            step = s;
            break;
        }
    }
    // Beyond a week, whole multiples of weeks.
    while (span / step > maxTicks) step *= 2;
    if (stepOut) *stepOut = step;

    // Align to local time, so hour ticks fall on the hour and day ticks on midnight. Beyond the
    // calendar there is no local time to align to.
    const double offset = UtcTime::inCalendar(domain.start)
                              ? QDateTime::fromSecsSinceEpoch(qint64(std::floor(domain.start))).offsetFromUtc()
                              : 0;
    std::vector<double> ticks;
    double t = std::ceil((domain.start + offset) / step) * step - offset;
    for (; t <= domain.end && ticks.size() <= size_t(maxTicks); t += step) ticks.push_back(t);
    return ticks;
}
