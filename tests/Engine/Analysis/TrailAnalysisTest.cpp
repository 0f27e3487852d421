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

    ASSERT_EQ(analysis.processes.size(), 1u);
    EXPECT_EQ(analysis.processes.front().image, "/bin/date");
    EXPECT_FALSE(analysis.roots.empty());
    // The clock change is found, and names the process the exec started.
    ASSERT_FALSE(analysis.findings.empty());
    EXPECT_EQ(analysis.findings.back().time, 40);
}

TEST(TrailAnalysis, NoRecordsGiveNothing)
{
    const TrailAnalysis analysis = TrailAnalysis::of({});
    EXPECT_TRUE(analysis.records.empty());
    EXPECT_TRUE(analysis.processes.empty());
    EXPECT_TRUE(analysis.roots.empty());
    EXPECT_TRUE(analysis.findings.empty());
}

} // namespace
