#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/TrailStats.h"
#include "Store/TrailSource.h"

#include <QColor>
#include <QString>

#include <array>
#include <optional>
#include <vector>

// The Overview's texts that need no widget, kept apart so they can be checked directly.

// "<first> – <last>  ·  <duration>", or empty unless both times are present.
QString spanLine(std::optional<double> first, std::optional<double> last);

// A bucket's start as the annotation and the drill-down label show it: date and time to the minute.
QString bucketLabel(double start);
// "5 ok · 2 failed".
QString bucketCountsText(const TimeBucket &bucket);
// "Bucket size: 1 hour. Click a bar to drill into that interval."
QString bucketSizeCaption(double bucketSize);
// A time-axis label for a gridline `step` seconds from the next: the day for day steps and at
// midnight, else the time of day.
QString timeAxisLabel(double time, double step);

// Tiles

enum class TileTint { accent, red, orange, green, purple, teal, indigo };

struct TileContent {
    QString title;
    QString value;
    std::optional<QString> detail;
    QString symbol;
    TileTint tint = TileTint::accent;
};

// The figures the tiles read, gathered so the tiles can be derived without a store. How many
// findings are high or critical takes a pass over them, made on the pool: until it is known the
// "Findings" tile has no detail line.
struct TileInputs {
    const TrailStats &stats;
    size_t sourceCount = 0;
    int64_t findingCount = 0;
    std::optional<int64_t> highOrCritical;
    size_t processCount = 0;
};

// "Records", "Failures", "Findings", "Executions", "Users", "PIDs", in that order.
std::array<TileContent, 6> overviewTiles(const TileInputs &in);
// failures / total with one fractional digit and the locale's percent sign; nothing for total 0.
std::optional<QString> failurePercentText(int64_t failures, int64_t total);

// The source names in load order, joined by ", ".
QString windowSubtitle(const std::vector<TrailSource> &sources);
