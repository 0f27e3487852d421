#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/TrailStats.h"
#include "Engine/Record/EventFilter.h"

#include <QColor>

#include <array>
#include <cstdint>
#include <vector>

// What the Overview's cards list and where their rows lead, without widgets.

// Findings per severity, indexed by the severity's raw value.
std::array<int64_t, 5> severityCounts(const std::vector<Finding> &findings);

inline constexpr size_t notableFindingLimit = 6;
// Medium or higher, most severe first and latest first within a severity; ties keep the store's
// order. At most six.
std::vector<Finding> notableFindings(const std::vector<Finding> &findings);

// What the Overview's tiles and findings card show of the findings: a pass over all of them, made
// on the pool.
struct FindingsSummary {
    int64_t total = 0;
    std::array<int64_t, 5> bySeverity{}; // indexed by the severity's raw value
    std::vector<Finding> notable;

    int64_t highOrCritical() const
    {
        return bySeverity[size_t(rawValue(Severity::high))] + bySeverity[size_t(rawValue(Severity::critical))];
    }
};
FindingsSummary summarizeFindings(const std::vector<Finding> &findings);

inline constexpr size_t classSectorLimit = 8;

// The five ranked lists below the charts.
enum class RankedCard { topEvents, topProcesses, users, failures, remoteAddresses };

// The filter a click on a ranked row shows: only its criterion and a label.
EventFilter rankedRowFilter(RankedCard card, const CountItem &item);
// The filter a click on an "Event classes" legend row shows.
EventFilter classRowFilter(const CountItem &item);

// The chart colour of item i: blue, purple, teal, orange, pink, green, indigo, yellow, repeating.
QColor overviewPaletteColour(size_t index);
