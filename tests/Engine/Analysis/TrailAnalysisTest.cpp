#include "Engine/Analysis/TrailAnalysis.h"

#include "support/RecordValue.h"

#include <gtest/gtest.h>

namespace {

using TestRecords::RecordValue;

constexpr uint16_t execve = 23, openRead = 72, clockChange = 37;

AuditRecord numbered(int64_t id, RecordValue value)
{
    AuditRecord record = value;
    record.id = id;
    return record;
}

// Records arrive out of time order (as several sources or a live stream give them); the pass
// must sort before linking processes, or the exec would not name the records after it.
TEST(TrailAnalysis, SortsByTimeThenIdBeforeLinkingAndDetecting)
{
    const TrailAnalysis analysis = TrailAnalysis::of({
        numbered(4, RecordValue(openRead, 30).subject(501, 501, 100)),
        numbered(3, RecordValue(openRead, 20).subject(501, 501, 100)),
        numbered(2, RecordValue(execve, 10).subject(501, 501, 100).path("/bin/date")),
        numbered(1, RecordValue(openRead, 20).subject(501, 501, 100)),
        numbered(5, RecordValue(clockChange, 40).subject(501, 0, 100)),
    });

    std::vector<int64_t> ids;
    for (const AuditRecord &record : analysis.records) ids.push_back(record.id);
    EXPECT_EQ(ids, (std::vector<int64_t>{2, 1, 3, 4, 5}));
    for (const AuditRecord &record : analysis.records) EXPECT_EQ(record.processImage, "/bin/date") << record.id;

    ASSERT_EQ(analysis.tree.processes.size(), 1u);
    EXPECT_EQ(analysis.tree.processes.front().image, "/bin/date");
    EXPECT_FALSE(analysis.tree.roots.empty());
    // The clock change is found, and names the process the exec started.
    ASSERT_FALSE(analysis.findings.empty());
    EXPECT_EQ(analysis.findings.back().time, 40);
}

TEST(TrailAnalysis, NoRecordsGiveNothing)
{
    const TrailAnalysis analysis = TrailAnalysis::of({});
    EXPECT_TRUE(analysis.records.empty());
    EXPECT_TRUE(analysis.tree.processes.empty());
    EXPECT_TRUE(analysis.tree.roots.empty());
    EXPECT_TRUE(analysis.findings.empty());
}

// Enough records for the sort to split into runs and merge them; many share a time, so the id
// must decide, and the ids are out of order as joined sources give them.
TEST(TrailAnalysis, SortOnManyThreadsEqualsTheSequentialOrder)
{
    std::vector<AuditRecord> records;
    uint64_t state = 0x9e3779b97f4a7c15ull;
    for (int64_t i = 0; i < 200000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        AuditRecord record;
        record.id = int64_t(state % 1000003) * 1000 + i % 1000; // unique, unordered
        record.time = double(state % 5000) / 4;
        records.push_back(std::move(record));
    }
    std::vector<AuditRecord> expected = records;
    std::stable_sort(expected.begin(), expected.end(), [](const AuditRecord &a, const AuditRecord &b) {
        return a.time < b.time || (a.time == b.time && a.id < b.id);
    });
    for (const unsigned threads : {1u, 3u, 8u}) {
        std::vector<AuditRecord> sorted = records;
        Parallel::Pool pool(threads);
        TrailAnalysis::sortByTime(sorted, pool);
        ASSERT_EQ(sorted.size(), expected.size());
        size_t differing = 0;
        for (size_t i = 0; i < sorted.size(); ++i)
            differing += sorted[i].id != expected[i].id || sorted[i].time != expected[i].time;
        EXPECT_EQ(differing, 0u) << threads << " threads";
    }
}

// Whatever runs beside the detections sees the same finished records they do.
TEST(TrailAnalysis, AlongsideSeesTheFinishedRecords)
{
    for (const unsigned threads : {1u, 4u}) {
        Parallel::Pool pool(threads);
        std::vector<std::pair<int64_t, std::string>> seen;
        const TrailAnalysis analysis = TrailAnalysis::of(
            {
                numbered(2, RecordValue(openRead, 20).subject(501, 501, 100)),
                numbered(1, RecordValue(execve, 10).subject(501, 501, 100).path("/bin/tool")),
            },
            [&](std::span<const AuditRecord> records) {
                for (const AuditRecord &r : records) seen.emplace_back(r.id, r.processImage.value_or(""));
            },
            pool);
        const std::vector<std::pair<int64_t, std::string>> expected = {{1, "/bin/tool"}, {2, "/bin/tool"}};
        EXPECT_EQ(seen, expected) << threads << " threads";
    }
}

} // namespace
