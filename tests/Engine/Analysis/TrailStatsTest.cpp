#include "Engine/Analysis/TrailStats.h"
#include "Engine/BSM/UserResolver.h"
#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using TestRecords::numbered;
using TestRecords::RecordValue;

namespace {

constexpr double t0 = 1700000000; // 2023-11-14 22:13:20 UTC
constexpr uint32_t orvik = 7501;

std::vector<std::string> keys(const std::vector<CountItem> &items)
{
    std::vector<std::string> out;
    for (const auto &item : items) out.push_back(item.key);
    return out;
}

class TrailStatsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { UserResolver::shared().seed(orvik, "orvik"); }
};

TEST_F(TrailStatsTest, NoRecordsGiveTheEmptyValue)
{
    const TrailStats stats = TrailStats::compute({});
    EXPECT_EQ(stats.total, 0);
    EXPECT_EQ(stats.failures, 0);
    EXPECT_FALSE(stats.first.has_value());
    EXPECT_FALSE(stats.last.has_value());
    EXPECT_EQ(stats.uniqueUsers, 0);
    EXPECT_EQ(stats.uniquePIDs, 0);
    EXPECT_EQ(stats.execCount, 0);
    EXPECT_TRUE(stats.topEvents.empty());
    EXPECT_TRUE(stats.classes.empty());
    EXPECT_TRUE(stats.topUsers.empty());
    EXPECT_TRUE(stats.topProcesses.empty());
    EXPECT_TRUE(stats.topFailures.empty());
    EXPECT_TRUE(stats.remoteAddresses.empty());
    EXPECT_TRUE(stats.timeline.empty());
    EXPECT_EQ(stats.bucketSize, 3600);
}

// Eight records over eight seconds with every kind of subject: a failed exec, unset audit users,
// unspecified and odd terminal addresses, a record without subject, an event the catalogue lacks.
TEST_F(TrailStatsTest, CountsAndRanksAKnownTrail)
{
    const auto records = numbered({
        RecordValue(23, t0).subject(orvik, 0, 10, "10.0.0.5").image("/usr/bin/sudo"),
        RecordValue(23, t0 + 1).failed().subject(orvik, orvik, 11, "10.0.0.5").image("/bin/ls"),
        RecordValue(72, t0 + 2).subject(orvik, orvik, 11, "0.0.0.0").image("/bin/ls"),
        RecordValue(72, t0 + 3).subject(unsetID, 0, 12, "::").image("/bin/ls"),
        RecordValue(72, t0 + 4).subject(unsetID, unsetID, 13, "fe80::1"),
        RecordValue(6152, t0 + 5).failed().subject(0, 0, 14, "192.168.1.9"),
        RecordValue(6152, t0 + 6).failed(2).image("/usr/sbin/sshd"),
        RecordValue(9999, t0 + 7).subject(orvik, orvik, 11, "10.0.0.5").image("/bin/ls"),
    });
    const TrailStats stats = TrailStats::compute(records);

    EXPECT_EQ(stats.total, 8);
    EXPECT_EQ(stats.failures, 3);
    EXPECT_EQ(stats.first, t0);
    EXPECT_EQ(stats.last, t0 + 7);
    EXPECT_EQ(stats.uniqueUsers, 3); // 7501, 0 and the unset key
    EXPECT_EQ(stats.uniquePIDs, 5);
    EXPECT_EQ(stats.execCount, 2);

    // Equal counts keep the order in which their values first appeared.
    EXPECT_EQ(stats.topEvents, (std::vector<CountItem>{{"72", "open(2) - read", 3},
                                                       {"23", "execve(2)", 2},
                                                       {"6152", "login - local", 2},
                                                       {"9999", "event 9999", 1}}));
    EXPECT_EQ(stats.topFailures, (std::vector<CountItem>{{"6152", "login - local", 2}, {"23", "execve(2)", 1}}));
    EXPECT_EQ(stats.classes, (std::vector<CountItem>{{"fr", "file read", 3},
                                                     {"pc", "process", 2},
                                                     {"ex", "exec", 2},
                                                     {"lo", "login_logout", 2}}));
    EXPECT_EQ(stats.topUsers, (std::vector<CountItem>{{"7501", "orvik", 4}, {"0", "root", 2}, {"4294967295", "—", 1}}));
    EXPECT_EQ(stats.topProcesses, (std::vector<CountItem>{{"/bin/ls", "ls", 4},
                                                          {"/usr/bin/sudo", "sudo", 1},
                                                          {"/usr/sbin/sshd", "sshd", 1}}));
    EXPECT_EQ(stats.remoteAddresses, (std::vector<CountItem>{{"10.0.0.5", "10.0.0.5", 3},
                                                             {"fe80::1", "fe80::1", 1},
                                                             {"192.168.1.9", "192.168.1.9", 1}}));

    EXPECT_EQ(stats.bucketSize, 1);
    std::vector<TimeBucket> expected;
    const int failedAt[] = {0, 1, 0, 0, 0, 1, 1, 0};
    for (int i = 0; i < 8; ++i) expected.push_back({t0 + i, 1 - failedAt[i], failedAt[i]});
    EXPECT_EQ(stats.timeline, expected);
}

TEST_F(TrailStatsTest, RankedListsKeepTheirHighestCounts)
{
    // Event 101 three times, 102 to 111 twice each, 100 once: ten places for twelve events.
    std::vector<AuditRecord> records;
    const auto add = [&](uint16_t event, uint32_t uid) {
        records.push_back(RecordValue(event, t0 + double(records.size())).subject(uid, uid));
    };
    add(100, 1);
    for (int i = 0; i < 3; ++i) add(101, 2);
    for (uint16_t e = 102; e <= 111; ++e) add(e, e), add(e, e);

    const TrailStats stats = TrailStats::compute(records);
    EXPECT_EQ(keys(stats.topEvents),
              (std::vector<std::string>{"101", "102", "103", "104", "105", "106", "107", "108", "109", "110"}));
    EXPECT_EQ(keys(stats.topUsers), (std::vector<std::string>{"2", "102", "103", "104", "105", "106", "107", "108"}));
    EXPECT_EQ(stats.uniqueUsers, 12);
    EXPECT_TRUE(stats.topFailures.empty());
}

TEST_F(TrailStatsTest, BucketWidthFollowsTheSpan)
{
    constexpr double hour = 1700006400; // midnight UTC, aligned to every width up to a day
    constexpr double week = 604800;
    struct Case {
        const char *name;
        double first;
        double last;
        double width;
        double start;
        size_t buckets;
    };
    const Case cases[] = {
        {"one record at 10:00:30.5 gets one 1 s bucket", hour + 36030.5, hour + 36030.5, 1, hour + 36030, 1},
        {"72 s is the last span with 1 s buckets", hour, hour + 72, 1, hour, 73},
        {"73 s moves up to 5 s", hour + 1, hour + 74, 5, hour, 15},
        {"3 hours give 300 s, the last record opening its own bucket", hour, hour + 10800, 300, hour, 37},
        {"just short of the boundary stays in the bucket before", hour, hour + 10799.5, 300, hour, 36},
        {"30 days give 12 h", hour, hour + 30 * 86400, 43200, hour, 61},
        {"72 weeks give one week", 0, 72 * week, week, 0, 73},
        {"504 days and more stay at one week", 0, 80 * week + 1, week, 0, 81},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = numbered({RecordValue(72, c.first), RecordValue(72, c.last).failed()});
        const TrailStats stats = TrailStats::compute(c.first == c.last ? std::span(records).first(1) : records);
        EXPECT_EQ(stats.bucketSize, c.width);
        ASSERT_EQ(stats.timeline.size(), c.buckets);
        EXPECT_EQ(stats.timeline.front().start, c.start);
        EXPECT_EQ(stats.timeline.back().start, c.start + double(c.buckets - 1) * c.width);
        EXPECT_EQ(stats.timeline.front().success, 1);
        EXPECT_EQ(stats.timeline.back().failure, c.first == c.last ? 0 : 1);
    }
}

// One corrupt 64-bit header time near 2^64 s would otherwise ask for some 3e13 weekly buckets.
TEST_F(TrailStatsTest, AHugeSpanWidensBucketsPastAWeekUpToTheCap)
{
    const double far = 18446744073709551615.0;
    const auto records = numbered({RecordValue(72, t0), RecordValue(72, t0 + 5), RecordValue(72, far).failed()});
    const TrailStats stats = TrailStats::compute(records);

    ASSERT_FALSE(stats.timeline.empty());
    EXPECT_LE(int64_t(stats.timeline.size()), TrailStats::maxBuckets);
    EXPECT_GT(stats.bucketSize, 604800);
    const double weeks = stats.bucketSize / 604800;
    EXPECT_EQ(weeks, std::exp2(std::round(std::log2(weeks)))) << "widened in doublings of a week";
    EXPECT_EQ(stats.timeline.front().success, 2);
    EXPECT_EQ(stats.timeline.back().failure, 1);
    EXPECT_EQ(stats.total, 3);
}

TEST_F(TrailStatsTest, TimesThatCannotBePlacedLeaveTheTimelineEmpty)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char *name;
        double first;
        double last;
    };
    const Case cases[] = {
        {"last time not a number", t0, nan},
        {"last time infinite", t0, inf},
        {"first time minus infinity", -inf, t0},
        {"last time beyond any header", t0, 1e300},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = numbered({RecordValue(72, c.first).subject(1, 1), RecordValue(72, c.last).failed()});
        const TrailStats stats = TrailStats::compute(records);
        EXPECT_TRUE(stats.timeline.empty());
        EXPECT_EQ(stats.bucketSize, 3600);
        EXPECT_EQ(stats.total, 2);
        EXPECT_EQ(stats.failures, 1);
        EXPECT_EQ(stats.uniqueUsers, 1);
    }
}

TEST_F(TrailStatsTest, StrayTimesAreClampedIntoTheTimeline)
{
    // A middle record out of order or without a usable time still lands in a bucket at an end.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto records = numbered({RecordValue(72, t0), RecordValue(72, nan).failed(), RecordValue(72, t0 - 500),
                                   RecordValue(72, t0 + 1e9).failed(), RecordValue(72, t0 + 10)});
    const TrailStats stats = TrailStats::compute(records);
    ASSERT_EQ(stats.timeline.size(), 11u);
    EXPECT_EQ(stats.timeline.front().success, 2);
    EXPECT_EQ(stats.timeline.front().failure, 1);
    EXPECT_EQ(stats.timeline.back().success, 1);
    EXPECT_EQ(stats.timeline.back().failure, 1);

    // Input sorted backwards still gets one bucket rather than none.
    const auto backwards = numbered({RecordValue(72, t0 + 100), RecordValue(72, t0)});
    const TrailStats reversed = TrailStats::compute(backwards);
    ASSERT_EQ(reversed.timeline.size(), 1u);
    EXPECT_EQ(reversed.timeline[0].success, 2);
}

// Counted in parts side by side, the records must give what one pass gives: values that tie keep
// the order in which they first appeared, even when they first appear in different parts.
TEST_F(TrailStatsTest, PartsCountedSideBySideGiveTheSameStatistics)
{
    constexpr size_t count = 300000;
    RecordBuilder builder(nullptr, count * 8);
    std::vector<AuditRecord> records(count);
    const std::string addresses[] = {"10.0.0.1", "10.0.0.2", "0.0.0.0", "10.0.0.3"};
    for (size_t i = 0; i < count; ++i) {
        AuditRecord &record = records[i];
        record.id = int64_t(i) + 1;
        record.time = t0 + double(i) / 100;
        record.event = uint16_t(i % 7 == 0 ? 23 : 72 + i % 3);
        record.returnStatus = uint8_t(i % 11 == 0);
        SubjectInfo subject;
        subject.auid = uint32_t(500 + i % 5);
        subject.euid = subject.auid;
        subject.pid = uint32_t(100 + i % 4000);
        // An address that ties with the first one, seen only at the very end.
        subject.terminalAddress = i < 50 ? addresses[0] : i >= count - 50 ? addresses[3] : addresses[1 + i % 2];
        builder.setSubject(subject);
        builder.finish(record, 0, 0);
    }
    // Images that tie too: one only at the start, one only at the end, several shared boxes each.
    for (size_t i = 0; i < 60; ++i) records[i].processImage = std::string("/bin/early");
    for (size_t i = count - 60; i < count; ++i) records[i].processImage = std::string("/bin/late");
    builder.trim();

    const TrailStats one = TrailStats::compute(records);
    EXPECT_EQ(keys(one.topProcesses), (std::vector<std::string>{"/bin/early", "/bin/late"}));
    EXPECT_EQ(keys(one.remoteAddresses), (std::vector<std::string>{"10.0.0.2", "10.0.0.1", "10.0.0.3"}));
    for (const unsigned threads : {3u, 8u}) {
        Parallel::Pool pool(threads);
        const TrailStats many = TrailStats::compute(records, pool);
        SCOPED_TRACE(std::to_string(threads) + " threads");
        EXPECT_EQ(many.total, one.total);
        EXPECT_EQ(many.failures, one.failures);
        EXPECT_EQ(many.first, one.first);
        EXPECT_EQ(many.last, one.last);
        EXPECT_EQ(many.uniqueUsers, one.uniqueUsers);
        EXPECT_EQ(many.uniquePIDs, one.uniquePIDs);
        EXPECT_EQ(many.execCount, one.execCount);
        EXPECT_EQ(many.topEvents, one.topEvents);
        EXPECT_EQ(many.classes, one.classes);
        EXPECT_EQ(many.topUsers, one.topUsers);
        EXPECT_EQ(many.topProcesses, one.topProcesses);
        EXPECT_EQ(many.topFailures, one.topFailures);
        EXPECT_EQ(many.remoteAddresses, one.remoteAddresses);
        EXPECT_EQ(many.timeline, one.timeline);
        EXPECT_EQ(many.bucketSize, one.bucketSize);
    }
}

} // namespace
