#include "Views/Overview/ActivityTimeline.h"
#include "Views/Overview/DashboardTexts.h"
#include "Views/Overview/TimelineGeometry.h"

#include "support/LoadedStore.h"

#include <QLocale>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

using namespace TestBSM;

TEST(TimelineGeometry, BucketIndexAtFindsTheBucketHoldingATime)
{
    const std::vector<TimeBucket> timeline = {{100, 1, 0}, {200, 0, 0}, {300, 2, 1}};
    struct Case {
        const char *name;
        double time;
        std::optional<size_t> index;
    } cases[] = {
        {"before the first start", 99.999, std::nullopt},
        {"at the first start", 100, 0},
        {"inside the first bar", 150, 0},
        {"in the gap after a bar", 199.5, 0},
        {"at a later start", 200, 1},
        {"at the last start", 300, 2},
        {"past the last bucket's end", 1e9, 2},
    };
    for (const Case &c : cases) EXPECT_EQ(bucketIndexAt(timeline, c.time), c.index) << c.name;
    EXPECT_EQ(bucketIndexAt({}, 100), std::nullopt);
}

TEST(TimelineGeometry, TimeAtXMapsThePlotOntoTheBucketsAndBack)
{
    const std::vector<TimeBucket> timeline = {{3600, 1, 0}, {7200, 1, 0}};
    const auto domain = timelineDomain(timeline, 3600);
    ASSERT_TRUE(domain);
    EXPECT_EQ(domain->start, 3600);
    EXPECT_EQ(domain->end, 10800); // the last bucket's end, not its start
    EXPECT_EQ(timeAtX(0, 720, *domain), 3600.0);
    EXPECT_EQ(timeAtX(360, 720, *domain), 7200.0);
    EXPECT_EQ(timeAtX(720, 720, *domain), 10800.0);
    EXPECT_EQ(timeAtX(-72, 720, *domain), 2880.0); // left of the plot: before the first bucket
    EXPECT_EQ(timeAtX(10, 0, *domain), std::nullopt);
    EXPECT_DOUBLE_EQ(xAtTime(*timeAtX(123, 720, *domain), 720, *domain), 123);
    EXPECT_FALSE(timelineDomain({}, 3600));
    EXPECT_GT(timelineDomain({{5, 1, 0}}, 0)->end, 5.0);
}

TEST(TimelineGeometry, CountTicksEndAtARoundTopAtOrAboveTheHighestBar)
{
    struct Case {
        double max;
        std::vector<double> ticks;
    } cases[] = {
        {0, {0, 1}},      {1, {0, 1}},           {7, {0, 2, 4, 6, 8}},
        {10, {0, 5, 10}}, {980, {0, 500, 1000}}, {300, {0, 100, 200, 300}},
    };
    for (const Case &c : cases) EXPECT_EQ(countTicks(c.max), c.ticks) << c.max;
}

// 2023-11-15 10:00:00 UTC.
constexpr uint32_t tenOClock = 1700042400;

// 5 successes and 2 failures in the 10:00 bucket, one success two days later: a 48-hour span,
// which the statistics cut into hour buckets.
Bytes twoDayTrail()
{
    Bytes out;
    for (uint32_t i = 0; i < 5; ++i)
        out = trail({out, TrailRecordBuilder(72, tenOClock + i * 60).subject().returnValue(0).build()});
    for (uint32_t i = 0; i < 2; ++i)
        out = trail({out, TrailRecordBuilder(72, tenOClock + 600 + i).subject().returnValue(1, 2).build()});
    return trail({out, TrailRecordBuilder(72, tenOClock + 48 * 3600).subject().returnValue(0).build()});
}

class ActivityTimelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        load({{"two-days.bsm", twoDayTrail()}});
        ASSERT_EQ(loaded.stats().bucketSize, 3600);
        ASSERT_EQ(loaded.stats().timeline.front().start, tenOClock);
        chart = std::make_unique<ActivityTimeline>(&loaded);
        chart->resize(1000, ActivityTimeline::chartHeight);
        ASSERT_GT(chart->plotArea().width(), 0);
    }

    // The widget x of a time.
    double xOf(double time) const
    {
        const auto &stats = loaded.stats();
        const QRectF plot = chart->plotArea();
        return plot.left() + xAtTime(time, plot.width(), *timelineDomain(stats.timeline, stats.bucketSize));
    }

    void move(double x)
    {
        const QPointF p(x, chart->plotArea().center().y());
        QMouseEvent e(QEvent::MouseMove, p, chart->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(chart.get(), &e);
    }
    void press(double x)
    {
        const QPointF p(x, chart->plotArea().center().y());
        QMouseEvent e(QEvent::MouseButtonPress, p, chart->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(chart.get(), &e);
    }
    void release(double x)
    {
        const QPointF p(x, chart->plotArea().center().y());
        QMouseEvent e(QEvent::MouseButtonRelease, p, chart->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(chart.get(), &e);
    }
    void click(double x)
    {
        press(x);
        release(x);
    }

    void load(const std::vector<std::pair<QString, TestBSM::Bytes>> &files) { ASSERT_TRUE(loaded.loadFiles(files)); }

    LoadedStore loaded;
    std::unique_ptr<ActivityTimeline> chart;
};

TEST_F(ActivityTimelineTest, HoverMarksTheBucketUnderThePointerAndLeavingClearsIt)
{
    EXPECT_FALSE(chart->hoveredBucket());
    move(xOf(tenOClock + 1800));
    EXPECT_EQ(chart->hoveredBucket(), double(tenOClock));
    EXPECT_EQ(chart->annotationLines(), QStringList({bucketLabel(tenOClock), "5 ok · 2 failed"}));

    // The gap after the 10:00 bar still belongs to it.
    move(xOf(tenOClock + 0.95 * 3600));
    EXPECT_EQ(chart->hoveredBucket(), double(tenOClock));

    move(xOf(tenOClock + 3 * 3600 + 10));
    EXPECT_EQ(chart->hoveredBucket(), double(tenOClock + 3 * 3600));
    EXPECT_EQ(chart->annotationLines(), QStringList({bucketLabel(tenOClock + 3 * 3600), "0 ok · 0 failed"}));

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(chart.get(), &leave);
    EXPECT_FALSE(chart->hoveredBucket());
    EXPECT_TRUE(chart->annotationLines().isEmpty());

    move(xOf(tenOClock + 1800));
    EXPECT_EQ(chart->hoveredBucket(), double(tenOClock));
    // Left of the first bucket nothing is found, and the marker goes.
    move(chart->plotArea().left() - 5);
    EXPECT_FALSE(chart->hoveredBucket());
}

TEST_F(ActivityTimelineTest, ClickShowsTheWholeBucketOnTheEventsScreen)
{
    EXPECT_EQ(bucketLabel(tenOClock), QStringLiteral("Nov 15, 2023, 10:00 AM"));
    click(xOf(tenOClock + 0.95 * 3600)); // in the gap: still the 10:00 bucket
    EXPECT_EQ(loaded.screen(), Screen::events);
    EventFilter expected;
    expected.start = tenOClock;
    expected.end = tenOClock + 3600;
    expected.label = bucketLabel(tenOClock).toStdString();
    EXPECT_EQ(loaded.filter(), expected);
    EXPECT_FALSE(chart->hoveredBucket());
}

TEST_F(ActivityTimelineTest, AClickIsAPressAndAReleaseOnOneBucket)
{
    const double thirteenOClock = tenOClock + 3 * 3600;
    release(xOf(tenOClock + 1800));
    EXPECT_EQ(loaded.screen(), Screen::dashboard) << "a release alone";
    press(xOf(tenOClock + 1800));
    release(xOf(thirteenOClock + 10));
    EXPECT_EQ(loaded.screen(), Screen::dashboard) << "pressed on one bucket, released on another";
    release(xOf(thirteenOClock + 10));
    EXPECT_EQ(loaded.screen(), Screen::dashboard) << "the press was used up";

    press(xOf(thirteenOClock + 10));
    release(xOf(thirteenOClock + 1800)); // moved, but within the bucket
    EXPECT_EQ(loaded.screen(), Screen::events);
    EXPECT_EQ(loaded.filter().start, thirteenOClock);
}

TEST_F(ActivityTimelineTest, TheAnnotationStandsAboveThePlotInsideTheChart)
{
    for (const double time : {double(tenOClock) + 1800, double(tenOClock) + 3 * 3600 + 10}) {
        move(xOf(time));
        const QRectF annotation = chart->annotationArea();
        ASSERT_FALSE(annotation.isEmpty());
        EXPECT_LE(annotation.bottom(), chart->plotArea().top()) << "never over the bars";
        EXPECT_GE(annotation.top(), 0);
        EXPECT_GE(annotation.left(), 0);
        EXPECT_LE(annotation.right(), chart->width());
    }
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(chart.get(), &leave);
    EXPECT_TRUE(chart->annotationArea().isEmpty());
}

TEST_F(ActivityTimelineTest, ClickBeforeTheFirstBucketDoesNothing)
{
    click(chart->plotArea().left() - 5);
    EXPECT_EQ(loaded.screen(), Screen::dashboard);
    EXPECT_FALSE(loaded.filter().isActive());
}

TEST(ActivityTimelineEmpty, AnEmptyStoreFindsNoBucket)
{
    AuditStore store;
    ActivityTimeline chart(&store);
    chart.resize(800, ActivityTimeline::chartHeight);
    const QPointF p = chart.rect().center();
    QMouseEvent e(QEvent::MouseMove, p, chart.mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &e);
    EXPECT_FALSE(chart.hoveredBucket());
    QMouseEvent release(QEvent::MouseButtonRelease, p, chart.mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &release);
    EXPECT_EQ(store.screen(), Screen::dashboard);
    chart.grab(); // painting an empty chart must not trip over the missing domain
}

} // namespace
