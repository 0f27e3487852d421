#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Engine/Support/Parallel.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One entry of a ranked list: the counted value as text, its display text and its count.
struct CountItem {
    std::string key;
    std::string label;
    int64_t count = 0;

    bool operator==(const CountItem &) const = default;
};

// One step of the success/failure timeline.
struct TimeBucket {
    double start = 0;
    int64_t success = 0;
    int64_t failure = 0;

    bool operator==(const TimeBucket &) const = default;
};

// Totals, ranked lists and a timeline over all loaded records.
struct TrailStats {
    int64_t total = 0;
    int64_t failures = 0;
    std::optional<double> first;
    std::optional<double> last;
    int64_t uniqueUsers = 0;
    int64_t uniquePIDs = 0;
    int64_t execCount = 0;
    std::vector<CountItem> topEvents;
    std::vector<CountItem> classes;
    std::vector<CountItem> topUsers;
    std::vector<CountItem> topProcesses;
    std::vector<CountItem> topFailures;
    std::vector<CountItem> remoteAddresses;
    std::vector<TimeBucket> timeline;
    double bucketSize = 3600;

    // The timeline never holds more buckets than this: a trail spanning centuries (or one
    // corrupt time near 2^64 seconds) widens its buckets in whole weeks rather than asking for
    // billions of them.
    static constexpr int64_t maxBuckets = 10000;

    // Records must be in ascending time order; first and last are read from the ends. Parts of the
    // records are counted side by side on the pool and joined in order, so the result is the same
    // for any number of threads.
    static TrailStats compute(std::span<const AuditRecord> records, Parallel::Pool &pool = Parallel::Pool::single());
};
