#include "Engine/Analysis/TrailAnalysis.h"
#include "Engine/Support/Parallel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A record made by hand may carry a time that is not a number. It sorts after every other time,
// by id among its kind, and the order is the same on any number of threads: a comparison that
// let it compare equal to everything broke the sort's order and the merges of the parallel one.
TEST(TimeOrder, TimesThatAreNoNumberSortLastOnAnyNumberOfThreads)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double times[] = {nan, 5, -inf, nan, 5, inf, -1e308, 0, nan, 1700000000};
    std::vector<AuditRecord> records;
    // Past the size where the sort splits into runs on several threads.
    for (int64_t i = 0; i < 70000; ++i) {
        AuditRecord record;
        record.id = (i * 7919) % 70001 + 1; // unique, unordered
        record.time = times[size_t(i) % std::size(times)];
        records.push_back(std::move(record));
    }
    std::vector<AuditRecord> expected = records;
    std::sort(expected.begin(), expected.end(), [](const AuditRecord &a, const AuditRecord &b) {
        const bool lastA = std::isnan(a.time), lastB = std::isnan(b.time);
        if (lastA != lastB) return lastB;
        if (!lastA && a.time != b.time) return a.time < b.time;
        return a.id < b.id;
    });
    for (const unsigned threads : {1u, 2u, 8u}) {
        std::vector<AuditRecord> sorted = records;
        Parallel::Pool pool(threads);
        TrailAnalysis::sortByTime(sorted, pool);
        size_t differing = 0;
        for (size_t i = 0; i < sorted.size(); ++i) differing += sorted[i].id != expected[i].id;
        EXPECT_EQ(differing, 0u) << threads << " threads";
    }
}

// A list whose only disorder is a time that is not a number is not taken as already ordered.
TEST(TimeOrder, ATimeThatIsNoNumberFirstIsNotInOrder)
{
    std::vector<AuditRecord> records(3);
    records[0].time = std::numeric_limits<double>::quiet_NaN();
    records[1].time = 1;
    records[2].time = 2;
    for (int64_t i = 0; i < 3; ++i) records[size_t(i)].id = i + 1;
    EXPECT_FALSE(TrailAnalysis::inTimeOrder(records));
    TrailAnalysis::sortByTime(records);
    EXPECT_EQ(records.back().id, 1);
}

} // namespace
