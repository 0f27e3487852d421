#include "Views/Overview/DashboardView.h"

#include "Views/Components/BarList.h"
#include "Views/Components/Card.h"
#include "Views/Components/StatTile.h"
#include "Views/Overview/ActivityTimeline.h"
#include "Views/Overview/DashboardTexts.h"
#include "Views/Overview/OverviewCardData.h"

#include "support/LoadedStore.h"
#include "support/QtTestSupport.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace TestBSM;

constexpr uint32_t t0 = 1700042400; // Nov 15, 2023 10:00:00 AM UTC

Subject subject(uint32_t user, uint32_t pid, std::array<uint8_t, 4> address = {0, 0, 0, 0})
{
    Subject s;
    s.auid = s.euid = s.ruid = user;
    s.pid = pid;
    s.address = address;
    return s;
}

// Reads from a remote terminal, a failed read by root, one exec and a clock change (a medium
// finding).
Bytes mixedTrail()
{
    return trail({
        TrailRecordBuilder(72, t0).subject(subject(501, 100, {10, 0, 0, 9})).path("/etc/hosts").returnValue(0).build(),
        TrailRecordBuilder(72, t0 + 60).subject(subject(501, 100, {10, 0, 0, 9})).path("/etc/hosts").returnValue(0).build(),
        TrailRecordBuilder(72, t0 + 120).subject(subject(0, 200)).path("/etc/master.passwd").returnValue(1, 13).build(),
        TrailRecordBuilder(23, t0 + 180).subject(subject(501, 300)).path("/bin/ls").execArgs({"ls"}).returnValue(0).build(),
        TrailRecordBuilder(37, t0 + 3 * 3600).subject(subject(0, 400)).returnValue(0).build(),
    });
}

class DashboardViewTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void makeView()
    {
        view = std::make_unique<DashboardView>(ViewContext{&loaded});
        view->resize(1440, 900);
        // What takes a pass over the findings lands from the pool; meanwhile its card says it is busy.
        const auto *busy = card("Findings")->findChild<QProgressBar *>("derivingIndicator");
        ASSERT_TRUE(busy);
        EXPECT_TRUE(busy->isVisibleTo(view.get()));
        ASSERT_TRUE(waitUntil([&] { return !view->isDeriving(); }));
        EXPECT_FALSE(busy->isVisibleTo(view.get()));
    }

    StatTile *tile(const QString &title) const
    {
        for (StatTile *t : view->tiles())
            if (t->title() == title) return t;
        ADD_FAILURE() << "no tile " << title.toStdString();
        return nullptr;
    }

    Card *card(const QString &title) const
    {
        for (Card *c : view->findChildren<Card *>())
            if (c->title() == title) return c;
        ADD_FAILURE() << "no card " << title.toStdString();
        return nullptr;
    }

    // Puts the store back on the Overview with a filter that every drill-down must replace.
    void reset()
    {
        EventFilter previous;
        previous.text = "something typed";
        loaded.setFilter(previous);
        loaded.setScreen(Screen::dashboard);
    }

    void load(const std::vector<std::pair<QString, TestBSM::Bytes>> &files) { ASSERT_TRUE(loaded.loadFiles(files)); }

    LoadedStore loaded;
    std::unique_ptr<DashboardView> view;
};

TEST_F(DashboardViewTest, TilesShowTheStoreAndLeadOn)
{
    load({{"mixed.bsm", mixedTrail()}});
    ASSERT_FALSE(loaded.findings().empty());
    makeView();

    const FindingsSummary summary = summarizeFindings(loaded.findings());
    const auto expected = overviewTiles(
        {loaded.stats(), 1, summary.total, summary.highOrCritical(), loaded.processes().size()});
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(view->tiles()[i]->title(), expected[i].title);
        EXPECT_EQ(view->tiles()[i]->value(), expected[i].value);
        EXPECT_EQ(view->tiles()[i]->detail(), expected[i].detail.value_or(QString()));
    }
    EXPECT_EQ(tile("Records")->value(), "5");
    EXPECT_EQ(tile("Failures")->detail(), "20.0%");

    EventFilter failures;
    failures.result = ResultFilter::failure;
    failures.label = "failures";
    struct Case {
        const char *tile;
        Screen screen;
        std::optional<EventFilter> filter; // nothing: the filter stays as it was
    } cases[] = {
        {"Records", Screen::events, EventFilter()},   {"Failures", Screen::events, failures},
        {"Findings", Screen::findings, std::nullopt}, {"Executions", Screen::processes, std::nullopt},
        {"Users", Screen::dashboard, std::nullopt},   {"PIDs", Screen::dashboard, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tile);
        reset();
        const EventFilter before = loaded.filter();
        QTest::mouseClick(tile(c.tile), Qt::LeftButton);
        EXPECT_EQ(loaded.screen(), c.screen);
        EXPECT_EQ(loaded.filter(), c.filter.value_or(before));
    }
}

TEST_F(DashboardViewTest, RankedListRowsFilterByTheirItem)
{
    load({{"mixed.bsm", mixedTrail()}});
    makeView();
    const TrailStats &stats = loaded.stats();
    struct Case {
        const char *card;
        RankedCard kind;
        const std::vector<CountItem> &items;
    } cases[] = {
        {"Top events", RankedCard::topEvents, stats.topEvents},
        {"Top processes", RankedCard::topProcesses, stats.topProcesses},
        {"Users", RankedCard::users, stats.topUsers},
        {"Most frequent failures", RankedCard::failures, stats.topFailures},
        {"Remote terminal addresses", RankedCard::remoteAddresses, stats.remoteAddresses},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.card);
        ASSERT_FALSE(c.items.empty());
        auto *list = card(c.card)->findChild<BarList *>();
        ASSERT_TRUE(list);
        EXPECT_EQ(list->items(), c.items);
        const auto rows = list->rows();
        ASSERT_EQ(rows.size(), qsizetype(c.items.size()));
        reset();
        rows.back()->click();
        EXPECT_EQ(loaded.screen(), Screen::events);
        EXPECT_EQ(loaded.filter(), rankedRowFilter(c.kind, c.items.back()));
    }
}

TEST_F(DashboardViewTest, ClassLegendRowsFilterByClass)
{
    load({{"mixed.bsm", mixedTrail()}});
    makeView();
    const auto &classes = loaded.stats().classes;
    const auto rows = card("Event classes")->findChildren<QWidget *>("classLegendRow");
    ASSERT_EQ(size_t(rows.size()), std::min(classes.size(), classSectorLimit));
    ASSERT_GE(rows.size(), 2);
    reset();
    QTest::mouseClick(rows[1], Qt::LeftButton);
    EXPECT_EQ(loaded.screen(), Screen::events);
    EXPECT_EQ(loaded.filter(), classRowFilter(classes[1]));
}

TEST_F(DashboardViewTest, FindingsCardCountsAndListsNotableFindings)
{
    load({{"mixed.bsm", mixedTrail()}});
    makeView();
    Card *findings = card("Findings");
    const auto counts = findings->findChildren<QLabel *>("severityCount");
    ASSERT_EQ(counts.size(), 5);
    const auto expected = severityCounts(loaded.findings());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(counts[i]->text().toLongLong(), expected[size_t(4 - i)]) << i;

    const auto rows = findings->findChildren<QWidget *>("findingRow");
    EXPECT_EQ(size_t(rows.size()), notableFindings(loaded.findings()).size());
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_FALSE(findings->findChild<QWidget *>("noNotableFindings"));
    reset();
    const EventFilter before = loaded.filter();
    QTest::mouseClick(rows[0], Qt::LeftButton);
    EXPECT_EQ(loaded.screen(), Screen::findings);
    EXPECT_EQ(loaded.filter(), before);
}

TEST_F(DashboardViewTest, AStoreWithoutFindingsSaysSo)
{
    load({{"reads.bsm", openReadRecords(3, t0)}});
    ASSERT_TRUE(loaded.findings().empty());
    makeView();
    Card *findings = card("Findings");
    EXPECT_TRUE(findings->findChild<QWidget *>("noNotableFindings"));
    EXPECT_TRUE(findings->findChildren<QWidget *>("findingRow").isEmpty());
    EXPECT_EQ(tile("Findings")->detail(), "0 high or critical");
}

TEST_F(DashboardViewTest, HeaderAndCardsFollowTheStore)
{
    load({{"mixed.bsm", mixedTrail()}});
    makeView();
    const TrailStats stats = loaded.stats();
    EXPECT_EQ(view->spanLabel()->text(), spanLine(stats.first, stats.last));
    EXPECT_FALSE(view->spanLabel()->isHidden());
    EXPECT_EQ(view->findChild<QLabel *>("bucketCaption")->text(), bucketSizeCaption(stats.bucketSize));

    EXPECT_EQ(view->subtitle(), "mixed.bsm");

    // Another trail replaces every figure at once; closing everything empties them.
    QSignalSpy subtitle(view.get(), &ScreenWidget::subtitleChanged);
    load({{"more.bsm", openReadRecords(7, t0 + 86400)}});
    EXPECT_GE(subtitle.count(), 1);
    EXPECT_EQ(view->subtitle(), "mixed.bsm, more.bsm");
    EXPECT_EQ(tile("Records")->value(), "12");
    EXPECT_EQ(tile("Records")->detail(), "2 trail file(s)");
    EXPECT_EQ(view->spanLabel()->text(), spanLine(loaded.stats().first, loaded.stats().last));

    loaded.closeAll();
    ASSERT_TRUE(waitUntil([&] { return loaded.sources().empty() && !loaded.isFiltering(); }));
    EXPECT_TRUE(view->spanLabel()->isHidden());
    EXPECT_EQ(tile("Records")->value(), "0");
    EXPECT_EQ(tile("Failures")->detail(), "");
    EXPECT_TRUE(card("Top events")->findChild<BarList *>()->rows().isEmpty());
    EXPECT_TRUE(card("Event classes")->findChildren<QWidget *>("classLegendRow").isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !view->isDeriving(); }));
    EXPECT_TRUE(card("Findings")->findChild<QWidget *>("noNotableFindings"));
}

TEST_F(DashboardViewTest, TimelineClickDrillsIntoItsBucket)
{
    load({{"mixed.bsm", mixedTrail()}});
    makeView();
    view->show();
    ActivityTimeline *chart = view->timeline();
    const TrailStats &stats = loaded.stats();
    ASSERT_GE(stats.timeline.size(), 2u);
    const QRectF plot = chart->plotArea();
    ASSERT_GT(plot.width(), 0);
    // The middle of the first bar.
    const double share = 0.44 * stats.bucketSize
                         / (stats.timeline.back().start + stats.bucketSize - stats.timeline.front().start);
    const QPoint p(int(plot.left() + share * plot.width()), int(plot.center().y()));
    QMouseEvent move(QEvent::MouseMove, QPointF(p), chart->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(chart, &move);
    EXPECT_EQ(chart->annotationLines(),
              QStringList({bucketLabel(stats.timeline[0].start), bucketCountsText(stats.timeline[0])}));
    QTest::mouseClick(chart, Qt::LeftButton, {}, p);
    EXPECT_EQ(loaded.screen(), Screen::events);
    EXPECT_EQ(loaded.filter().start, stats.timeline[0].start);
    EXPECT_EQ(loaded.filter().end, stats.timeline[0].start + stats.bucketSize);
}

} // namespace
