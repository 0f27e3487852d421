#pragma once

#include "Analysis/TrailStats.h"

#include <QColor>
#include <QString>

#include <optional>

// The Overview's texts that need no widget, kept apart so they can be checked directly.

// "<first> – <last>  ·  <duration>", or empty unless both times are present.
QString spanLine(std::optional<double> first, std::optional<double> last);

// A bucket's start as the annotation and the drill-down label show it: date and time to the minute.
QString bucketLabel(double start);
// "5 ok · 2 failed".
QString bucketCountsText(const TimeBucket &bucket);
// "Bucket size: 1 hour. Click a bar to drill into that interval."
QString bucketSizeCaption(double bucketSize);
// A time-axis label for a gridline `step` seconds from the next: the day for day steps, else the
// time of day.
QString timeAxisLabel(double time, double step);

QColor timelineFailureColour();
