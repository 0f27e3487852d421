// The screens fit the window they open in: beside a list, the detail column gives way first, down
// to its minimum, and only then do the list's columns narrow below their ideal widths; below the
// sum of the minimums the list scrolls sideways. Checked on every master-detail screen with a row
// selected, at the size a 1920x1080 screen opens the window at, at 1280x800 and at 1100x720.
#include "Views/MainWindow.h"

#include "Views/Components/MasterDetail.h"
#include "Views/Components/TableColumns.h"
#include "Views/ContentView.h"
#include "Views/Processes/ProcessesView.h"
#include "Views/Sidebar.h"
#include "support/QtTestSupport.h"
#include "support/ShellFixture.h"
#include "support/ShellWindow.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

using namespace LiveCapture;

// Five-digit pids, as a busy host's trail has, a connection and a clock change (a finding).
Bytes busyTrail()
{
    Subject user;
    user.auid = user.ruid = user.euid = 501;
    user.pid = 49152;
    return trail({
        TrailRecordBuilder(23, 1700000000)
            .path("/usr/bin/curl")
            .execArgs({"curl", "http://x"})
            .subject(user)
            .returnValue(0)
            .build(),
        TrailRecordBuilder(32, 1700000001).subject(user).socketInet(443, {203, 0, 113, 45}).returnValue(0).build(),
        TrailRecordBuilder(37, 1700000002).subject(user).returnValue(0).build(),
    });
}

MonitorAlert anAlert()
{
    MonitorAlert alert;
    alert.id = Uuid::random();
    alert.kind = MonitorAlert::Kind::finding;
    alert.key = "clock|key";
    alert.eventTime = alert.raisedAt = 1700000002;
    alert.severityRaw = 2;
    alert.rule = "System clock changed";
    alert.category = "Defense Evasion";
    alert.technique = "T1070.006";
    alert.user = "alice";
    alert.summary = "settimeofday() by alice";
    alert.explanation = "The clock moved.";
    return alert;
}

// What one master-detail screen shows now.
struct Shown {
    QTableView *table = nullptr;
    MasterDetail *frame = nullptr;
};

class ShellLayoutTest : public ShellWindow {
protected:
    void SetUp() override
    {
        ShellWindow::SetUp();
        ASSERT_TRUE(ShellFixture::load(
            store, {ShellFixture::writeTrail(folder, QStringLiteral("incident.bsm"), ShellFixture::incidentTrail()),
                    ShellFixture::writeTrail(folder, QStringLiteral("busy.bsm"), busyTrail())}));
        store.setSelectedRecordID(store.records().front().id);
        alerts->setAlerts({anAlert()});
        startRunning();
        sendAndWait(busyTrail(), 3);
        ASSERT_TRUE(waitUntil([&] { return monitor->records()->size() == 3; }));
    }

    // Opens the screen at the size with its first row selected, so that its detail shows.
    Shown open(Screen screen, QSize size, const char *table)
    {
        window->resize(size);
        store.setScreen(screen);
        settlePool();
        // The outline's rows take any width; the list has the columns.
        if (auto *processes = shown<ProcessesView>()) processes->setMode(ProcessesView::Mode::list);
        Shown now{shown<QTableView>(table), shown<MasterDetail>()};
        if (now.table && screen != Screen::events && now.table->model()->rowCount() > 0)
            now.table->selectionModel()->select(now.table->model()->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        settlePool();
        return now;
    }

    int sidebarWidth() const { return window->content()->sidebar()->width(); }

    QTemporaryDir folder;
};

struct MasterDetailScreen {
    Screen screen;
    const char *table;
    MasterDetail::Widths detail; // the detail column's minimum, ideal and maximum
};

// Every screen with a list beside a detail column, with that column's widths.
const MasterDetailScreen screens[] = {
    {Screen::events, "eventsTable", {320, 400, 600}},     {Screen::findings, "findingsTable", {300, 380, 520}},
    {Screen::processes, "processTable", {300, 360, 520}}, {Screen::live, "liveTable", {320, 380, 520}},
    {Screen::monitor, "alertTable", {300, 380, 560}},
};

// The least window width at which the list's columns and every column around them fit at their
// minimums: the sidebar, the list (with its vertical bar while it shows one), the live findings
// pane and the detail column, with the dividers.
int minimumsWidth(const Shown &shown)
{
    int list = fittedTableWidth(shown.table).minimum;
    if (!shown.table->verticalScrollBar()->isVisible())
        list -= shown.table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, shown.table);
    int width = Sidebar::minimumWidth + 1 + list;
    QSplitter *splitter = shown.frame->splitter();
    for (int i = 1; i < splitter->count(); ++i)
        if (!splitter->widget(i)->isHidden()) width += splitter->widget(i)->minimumWidth() + splitter->handleWidth();
    return width;
}

TEST_F(ShellLayoutTest, AtTheOpeningSizeEveryColumnHasItsIdealWidthAndTheDetailItsOwn)
{
    const QSize opening = MainWindow::openingSize({1920, 1080});
    EXPECT_EQ(opening, QSize(1600, 972));
    for (const MasterDetailScreen &s : screens) {
        SCOPED_TRACE(rawValue(s.screen));
        const Shown shown = open(s.screen, opening, s.table);
        ASSERT_TRUE(shown.table && shown.frame && shown.frame->paneShown());
        EXPECT_FALSE(shown.table->horizontalScrollBar()->isVisible());
        const int pane = shown.frame->pane()->width();
        EXPECT_GE(pane, s.detail.minimum);
        EXPECT_LE(pane, s.detail.ideal);
        // The detail column is below its ideal only where the columns' ideals take the room.
        if (pane < s.detail.ideal)
            EXPECT_LT(shown.table->viewport()->width(), fittedTableWidth(shown.table).ideal + (s.detail.ideal - pane));
        else EXPECT_EQ(sidebarWidth(), Sidebar::idealWidth);
    }
}

TEST_F(ShellLayoutTest, At1280x800TheColumnsFitBesideTheDetailColumn)
{
    for (const MasterDetailScreen &s : screens) {
        SCOPED_TRACE(rawValue(s.screen));
        const Shown shown = open(s.screen, {1280, 800}, s.table);
        ASSERT_TRUE(shown.table && shown.frame && shown.frame->paneShown());
        const int pane = shown.frame->pane()->width();
        EXPECT_GE(pane, s.detail.minimum);
        if (s.screen != Screen::live) {
            EXPECT_LE(minimumsWidth(shown), 1280);
            EXPECT_FALSE(shown.table->horizontalScrollBar()->isVisible())
                << "columns " << shown.table->horizontalHeader()->length() << " in "
                << shown.table->viewport()->width();
        } else {
            // The Live Monitor needs more than 1280 with a record selected: its findings
            // pane (260) and its inspector (320) stay, at their minimums, and the record table scrolls.
            EXPECT_GT(minimumsWidth(shown), 1280);
            EXPECT_EQ(pane, s.detail.minimum);
            EXPECT_EQ(sidebarWidth(), Sidebar::minimumWidth);
        }
        // Where a column is below its ideal width, the detail column is at its minimum.
        if (shown.table->horizontalHeader()->length()
            < fittedTableWidth(shown.table).ideal
                  - shown.table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, shown.table)) {
            EXPECT_EQ(pane, s.detail.minimum);
        }
    }
    // The Network screen has no detail column: its columns fit the room the sidebar leaves.
    const Shown network = open(Screen::network, {1280, 800}, "networkTable");
    ASSERT_TRUE(network.table);
    EXPECT_FALSE(network.table->horizontalScrollBar()->isVisible());
}

TEST_F(ShellLayoutTest, At1100x720TheDetailColumnIsAtItsMinimumBeforeTheListScrolls)
{
    for (const MasterDetailScreen &s : screens) {
        SCOPED_TRACE(rawValue(s.screen));
        const Shown shown = open(s.screen, {1100, 720}, s.table);
        ASSERT_TRUE(shown.table && shown.frame && shown.frame->paneShown());
        const int pane = shown.frame->pane()->width();
        EXPECT_GE(pane, s.detail.minimum);
        if (shown.table->horizontalScrollBar()->isVisible()) {
            EXPECT_EQ(pane, s.detail.minimum);
            EXPECT_EQ(sidebarWidth(), Sidebar::minimumWidth);
            EXPECT_GT(minimumsWidth(shown), 1100) << "scrolls although the minimums fit";
        }
    }
}

TEST_F(ShellLayoutTest, ADetailColumnTheUserHidesHandsItsWidthToTheColumns)
{
    const Shown shown = open(Screen::events, {1280, 800}, "eventsTable");
    ASSERT_TRUE(shown.frame);
    const int withPane = shown.table->viewport()->width();
    shown.frame->setPaneShown(false);
    settlePool();
    EXPECT_FALSE(shown.frame->paneShown());
    EXPECT_GT(shown.table->viewport()->width(), withPane + 300);
    shown.frame->setPaneShown(true);
    settlePool();
    EXPECT_EQ(shown.table->viewport()->width(), withPane);
}

} // namespace
