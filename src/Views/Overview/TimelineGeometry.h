#pragma once

#include "Engine/Analysis/TrailStats.h"

#include <cstddef>
#include <optional>
#include <vector>

// The horizontal time range the activity chart spans: from the first bucket's start to the last
// bucket's end, so the last bar keeps its gap.
struct TimelineDomain {
    double start = 0;
    double end = 0;
};

// Nothing for an empty timeline.
std::optional<TimelineDomain> timelineDomain(const std::vector<TimeBucket> &timeline, double bucketSize);

// The bucket a time falls in: the last bucket starting at or before it, scanning from the end.
// A time in the gap after a bar belongs to that bar; a time after the end to the last bucket.
std::optional<size_t> bucketIndexAt(const std::vector<TimeBucket> &timeline, double time);

// The time under x (0 = the plot's left edge). Positions left or right of the plot extrapolate;
// nothing when the plot has no width yet.
std::optional<double> timeAtX(double x, double plotWidth, const TimelineDomain &domain);
double xAtTime(double time, double plotWidth, const TimelineDomain &domain);

// Gridline values of the count axis, from 0 up to a round top at or above `maxCount`, in steps of
// 1, 2 or 5 times a power of ten. At least [0, 1].
std::vector<double> countTicks(double maxCount, int maxTicks = 5);

// Gridline times of the time axis: whole steps of local time (minutes, hours, days) inside the
// domain, at most `maxTicks` of them. `step` receives the step chosen, in seconds.
std::vector<double> timeTicks(const TimelineDomain &domain, int maxTicks, double *step = nullptr);
