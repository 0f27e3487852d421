#include "Views/Overview/DashboardTexts.h"
#include "Views/Overview/OverviewCardData.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

class DashboardTextsTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

TEST_F(DashboardTextsTest, SpanLineJoinsBothTimesAndAnAbbreviatedDuration)
{
    const double first = 1700000000; // Nov 14, 2023 10:13:20 PM UTC
    struct Case {
        const char *name;
        double span;
        const char *duration;
    } cases[] = {
        {"two units at most, seconds never", 2 * 86400 + 3 * 3600 + 4 * 60 + 5, "2d 3h"},
        {"zero units left out", 86400 + 4 * 60, "1d 4m"},
        {"hours and minutes", 3600 + 30 * 60 + 59, "1h 30m"},
        {"minutes only", 5 * 60 + 59, "5m"},
    };
    for (const Case &c : cases) {
        const QString line = spanLine(first, first + c.span);
        EXPECT_TRUE(line.endsWith(QStringLiteral("  ·  ") + c.duration)) << c.name << ": " << line.toStdString();
    }
    const QString line = spanLine(first, first + 61);
    EXPECT_TRUE(line.startsWith(QStringLiteral("Nov 14, 2023"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("10:13:20 PM – Nov 14, 2023"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("10:14:21 PM  ·  1m"))) << line.toStdString();

    EXPECT_TRUE(spanLine(first, std::nullopt).isEmpty());
    EXPECT_TRUE(spanLine(std::nullopt, first).isEmpty());
    EXPECT_TRUE(spanLine(std::nullopt, std::nullopt).isEmpty());
}

TEST_F(DashboardTextsTest, FailurePercentHasOneFractionalDigit)
{
    EXPECT_EQ(failurePercentText(1, 3), QStringLiteral("33.3%"));
    EXPECT_EQ(failurePercentText(0, 5), QStringLiteral("0.0%"));
    EXPECT_EQ(failurePercentText(2, 3), QStringLiteral("66.7%"));
    EXPECT_EQ(failurePercentText(0, 0), std::nullopt);
}

Finding finding(Severity severity)
{
    Finding f;
    f.severity = severity;
    return f;
}

TEST_F(DashboardTextsTest, TilesReadTheStatsFindingsAndSources)
{
    TrailStats stats;
    stats.total = 12345;
    stats.failures = 1;
    stats.execCount = 7;
    stats.uniqueUsers = 3;
    stats.uniquePIDs = 1500;
    const std::vector<Finding> findings = {finding(Severity::medium), finding(Severity::critical),
                                           finding(Severity::low)};
    const FindingsSummary summary = summarizeFindings(findings);
    const auto tiles = overviewTiles({stats, 2, summary.total, summary.highOrCritical(), 1234});

    struct Expected {
        const char *title, *value;
        std::optional<QString> detail;
        const char *symbol;
        TileTint tint;
    } expected[] = {
        {"Records", "12,345", QStringLiteral("2 trail file(s)"), "doc.text.magnifyingglass", TileTint::accent},
        {"Failures", "1", QStringLiteral("0.0%"), "xmark.octagon", TileTint::red},
        {"Findings", "3", QStringLiteral("1 high or critical"), "exclamationmark.shield", TileTint::orange},
        {"Executions", "7", QStringLiteral("1234 process images"), "terminal", TileTint::purple},
        {"Users", "3", QStringLiteral("distinct audit/effective ids"), "person.2", TileTint::teal},
        {"PIDs", "1,500", QStringLiteral("distinct subjects"), "number", TileTint::indigo},
    };
    for (size_t i = 0; i < tiles.size(); ++i) {
        SCOPED_TRACE(expected[i].title);
        EXPECT_EQ(tiles[i].title, expected[i].title);
        EXPECT_EQ(tiles[i].value, expected[i].value);
        EXPECT_EQ(tiles[i].detail, expected[i].detail);
        EXPECT_EQ(tiles[i].symbol, expected[i].symbol);
        EXPECT_EQ(tiles[i].tint, expected[i].tint);
    }
}

TEST_F(DashboardTextsTest, EmptyStatsGiveZerosAndAGreenFindingsTile)
{
    const TrailStats stats;
    const std::vector<Finding> mediumOnly = {finding(Severity::medium), finding(Severity::info)};
    auto tiles = overviewTiles({stats, 0, 2, summarizeFindings(mediumOnly).highOrCritical(), 0});
    for (const TileContent &t : tiles) EXPECT_EQ(t.value, t.title == "Findings" ? "2" : "0") << t.title.toStdString();
    EXPECT_EQ(tiles[1].detail, std::nullopt); // no percentage of nothing
    EXPECT_EQ(tiles[2].detail, QStringLiteral("0 high or critical"));
    EXPECT_EQ(tiles[2].tint, TileTint::green);

    tiles = overviewTiles({stats, 0, 0, summarizeFindings({}).highOrCritical(), 0});
    EXPECT_EQ(tiles[2].value, "0");
    EXPECT_EQ(tiles[2].detail, QStringLiteral("0 high or critical"));
    EXPECT_EQ(tiles[2].tint, TileTint::green);
    EXPECT_EQ(overviewTiles({stats, 0, 1, summarizeFindings({finding(Severity::high)}).highOrCritical(), 0})[2].tint,
              TileTint::orange);
    // Until the findings are summed up the tile has its figure but no detail.
    EXPECT_EQ(overviewTiles({stats, 0, 4, std::nullopt, 0})[2].value, "4");
    EXPECT_EQ(overviewTiles({stats, 0, 4, std::nullopt, 0})[2].detail, std::nullopt);
}

TEST_F(DashboardTextsTest, WindowSubtitleNamesTheSourcesInLoadOrder)
{
    TrailSource a, b;
    a.name = "a";
    b.name = "b";
    EXPECT_EQ(windowSubtitle({a, b}), QStringLiteral("a, b"));
    EXPECT_EQ(windowSubtitle({}), QString());
}

TEST(DashboardTexts, BucketCaptionNamesTheSizeInFullUnits)
{
    struct Case {
        double size;
        const char *text;
    } cases[] = {
        {3600, "Bucket size: 1 hour. Click a bar to drill into that interval."},
        {5400, "Bucket size: 1 hour, 30 minutes. Click a bar to drill into that interval."},
        {86400, "Bucket size: 24 hours. Click a bar to drill into that interval."},
        {3661, "Bucket size: 1 hour, 1 minute, 1 second. Click a bar to drill into that interval."},
        {30, "Bucket size: 30 seconds. Click a bar to drill into that interval."},
    };
    for (const Case &c : cases) EXPECT_EQ(bucketSizeCaption(c.size).toStdString(), c.text) << c.size;
}

TEST(DashboardTexts, BucketCountsText)
{
    EXPECT_EQ(bucketCountsText({0, 5, 2}), QStringLiteral("5 ok · 2 failed"));
    EXPECT_EQ(bucketCountsText({0, 12345, 0}), QStringLiteral("12345 ok · 0 failed"));
}

TEST_F(DashboardTextsTest, TimeAxisLabelsNameTheDayAtMidnight)
{
    const double tenOClock = 1700042400; // Nov 15, 2023 10:00:00 AM UTC
    const double midnight = 1700006400;  // Nov 15, 2023 00:00:00 UTC
    struct Case {
        double time, step;
        const char *label;
    } cases[] = {
        {tenOClock, 3600, "10:00 AM"}, {tenOClock + 900, 900, "10:15 AM"},  {midnight, 3600, "Nov 15"},
        {tenOClock, 86400, "Nov 15"},  {tenOClock + 30, 30, "10:00:30 AM"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(timeAxisLabel(c.time, c.step).toStdString(), c.label) << c.time << " " << c.step;
}

} // namespace
