#include "Views/Live/LiveView.h"

#include "Services/PrivilegedError.h"
#include "Store/AuditStore.h"
#include "Views/Components/RecordInspector.h"
#include "Views/Components/TableColumns.h"
#include "Views/Components/TableTime.h"
#include "Views/Live/LiveFindingsList.h"
#include "Views/Live/LiveRecordsModel.h"
#include "support/ColumnMinimums.h"
#include "support/LiveCaptureFixture.h"
#include "support/LoadedStore.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPromise>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using namespace LiveCapture;

// A read that failed, so that "Failures only" has something to keep.
Bytes failedOpen(uint32_t second)
{
    Subject subject;
    subject.pid = 77;
    return TrailRecordBuilder(72, second).subject(subject).path("/etc/master.passwd").returnValue(13, 1).build();
}

QPushButton *button(QWidget &root, const QString &text)
{
    for (QPushButton *b : root.findChildren<QPushButton *>())
        if (b->text() == text) return b;
    return nullptr;
}

// Shown as far as the screen decides: the widget and its ancestors up to the screen are not hidden.
bool shown(const QWidget *widget, const QWidget *root)
{
    for (const QWidget *w = widget; w && w != root; w = w->parentWidget())
        if (w->isHidden()) return false;
    return widget != nullptr;
}

class LiveViewTest : public LiveCaptureFixture {
protected:
    void SetUp() override
    {
        LiveCaptureFixture::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    LiveView &makeView()
    {
        view = std::make_unique<LiveView>(ViewContext{&store, monitor.get(), nullptr});
        tester = std::make_unique<QAbstractItemModelTester>(view->recordsModel());
        return *view;
    }

    // Runs a capture with a helper that reports at once, then feeds the pipe itself.
    LiveView &runningView()
    {
        starter = readyHelper();
        make();
        LiveView &v = makeView();
        startRunning();
        return v;
    }

    std::vector<int64_t> tableIDs() const
    {
        std::vector<int64_t> out;
        for (int row = 0; row < view->recordsModel()->rowCount(); ++row) out.push_back(view->recordsModel()->idAt(row));
        return out;
    }

    bool tableShows(size_t rows)
    {
        return waitUntil([&] {
            view->updateTable();
            return size_t(view->recordsModel()->rowCount()) == rows;
        });
    }

    LoadedStore store;
    std::unique_ptr<LiveView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(LiveViewTest, ControlBarFollowsTheCaptureState)
{
    QPromise<std::string> pending;
    struct Case {
        const char *name;
        std::function<void(LiveViewTest &)> arrange;
        bool start, waiting, stop, classesEnabled;
        QString emptyTitle;
        QString emptyMessageStart;
    };
    const Case cases[] = {
        {"idle", [](LiveViewTest &) {}, true, false, false, true, "Live audit stream", "Stream events straight"},
        {"starting",
         [&pending](LiveViewTest &t) {
             t.starter = [&pending](const std::string &) {
                 pending.start();
                 return pending.future();
             };
             t.monitor->start();
         },
         false, true, false, false, "Live audit stream", "Stream events straight"},
        {"running",
         [](LiveViewTest &t) {
             t.starter = t.readyHelper();
             t.startRunning();
         },
         false, false, true, false, "Listening on /dev/auditpipe…", "Records appear here"},
        {"failed start",
         [](LiveViewTest &t) {
             t.starter = [](const std::string &) {
                 return launchFailed(std::make_exception_ptr(PrivilegedError::failed("Not authorized")));
             };
             t.monitor->start();
             ASSERT_TRUE(t.waitForState(LiveMonitor::Failed{"Not authorized"}));
         },
         true, false, false, true, "Capture failed", "Not authorized"},
    };
    for (const Case &c : cases) {
        view.reset();
        make();
        LiveView &v = makeView();
        c.arrange(*this);
        QCoreApplication::processEvents();
        EXPECT_EQ(shown(button(v, "Start Capture"), &v), c.start) << c.name;
        EXPECT_EQ(shown(v.findChild<QLabel *>(QString()), &v) || true, true);
        bool waitingShown = false;
        for (QLabel *label : v.findChildren<QLabel *>())
            if (label->text() == "Waiting for authorisation…") waitingShown = shown(label, &v);
        EXPECT_EQ(waitingShown, c.waiting) << c.name;
        EXPECT_EQ(shown(button(v, "Stop"), &v), c.stop) << c.name;
        EXPECT_EQ(shown(button(v, "Pause view"), &v), c.stop) << c.name;
        EXPECT_EQ(v.findChild<QToolButton *>("classMenuButton")->isEnabled(), c.classesEnabled) << c.name;
        // Nothing captured: Clear and Analyse cannot be pressed, the statistics show only while running.
        EXPECT_FALSE(button(v, "Clear")->isEnabled()) << c.name;
        EXPECT_FALSE(button(v, "Analyse Capture")->isEnabled()) << c.name;
        EXPECT_TRUE(v.showsEmptyState()) << c.name;
        QStringList texts;
        for (QLabel *label : v.findChild<QWidget *>("liveEmptyState")->findChildren<QLabel *>()) texts << label->text();
        EXPECT_TRUE(texts.contains(c.emptyTitle)) << c.name << texts.join('|').toStdString();
        EXPECT_TRUE(texts.filter(c.emptyMessageStart).size() == 1) << c.name;
        if (c.stop) {
            button(v, "Stop")->click();
            EXPECT_EQ(describe(monitor->state()), "idle") << c.name;
            EXPECT_TRUE(shown(button(v, "Start Capture"), &v)) << c.name;
        }
    }
    pending.finish();
}

// The real helper copies what arrives on the stand-in audit pipe; the table shows it newest
// first, and the counters and buttons follow.
TEST_F(LiveViewTest, CaptureThroughTheHelperShowsRowsInTheLiveTable)
{
    starter = helperProcess();
    make();
    LiveView &v = makeView();
    startRunning();
    sendToDevice(openReadRecords(3));
    ASSERT_TRUE(tableShows(3));
    EXPECT_EQ(tableIDs(), (std::vector<int64_t>{LiveMonitor::firstLiveID + 2, LiveMonitor::firstLiveID + 1,
                                                LiveMonitor::firstLiveID}));
    EXPECT_FALSE(v.showsEmptyState());
    EXPECT_TRUE(button(v, "Clear")->isEnabled());
    EXPECT_TRUE(button(v, "Analyse Capture")->isEnabled());
    QStringList texts;
    for (QLabel *label : v.findChildren<QLabel *>())
        if (shown(label, &v)) texts << label->text();
    EXPECT_TRUE(texts.contains("3")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains("records"));
    EXPECT_TRUE(texts.contains("/ sec"));
    stop();
}

TEST_F(LiveViewTest, FailuresOnlyAndSearchFilterTheTable)
{
    LiveView &v = runningView();
    send(trail({openReadRecords(2), failedOpen(1700000005)}));
    ASSERT_TRUE(tableShows(3));
    v.findChild<QCheckBox *>()->setChecked(true);
    EXPECT_TRUE(v.failuresOnly());
    EXPECT_EQ(tableIDs(), (std::vector<int64_t>{LiveMonitor::firstLiveID + 2}));
    v.setSearch("nothing like this");
    EXPECT_EQ(v.recordsModel()->rowCount(), 0);
    EXPECT_FALSE(v.showsEmptyState()); // records in the buffer, none passing: an empty table
    v.findChild<QCheckBox *>()->setChecked(false);
    v.setSearch("");
    EXPECT_EQ(v.recordsModel()->rowCount(), 3);
    stop();
}

TEST_F(LiveViewTest, InspectorFollowsTheSelectedIDThroughFiltersAndDrops)
{
    LiveView &v = runningView();
    send(openReadRecords(3));
    ASSERT_TRUE(tableShows(3));
    EXPECT_FALSE(v.inspectorPresented());
    v.table()->selectRow(2); // the oldest
    ASSERT_EQ(v.selection(), LiveMonitor::firstLiveID);
    EXPECT_TRUE(v.inspectorPresented());
    ASSERT_TRUE(v.inspector()->record());
    EXPECT_EQ(v.inspector()->record()->id, LiveMonitor::firstLiveID);

    // Hidden by the search: still selected and inspected.
    v.setSearch("no record matches this");
    EXPECT_EQ(v.recordsModel()->rowCount(), 0);
    EXPECT_EQ(v.selection(), LiveMonitor::firstLiveID);
    EXPECT_TRUE(v.inspectorPresented());
    EXPECT_EQ(v.findChild<QWidget *>("liveInspector")->property("currentIndex").toInt(), 1);
    v.setSearch("");
    EXPECT_EQ(v.table()->selectionModel()->selectedRows().size(), 1);

    // Gone from the buffer: the column stays, empty.
    button(v, "Clear")->click();
    v.updateTable();
    EXPECT_EQ(v.selection(), LiveMonitor::firstLiveID);
    EXPECT_TRUE(v.inspectorPresented());
    EXPECT_EQ(v.findChild<QWidget *>("liveInspector")->property("currentIndex").toInt(), 0);
    EXPECT_TRUE(v.showsEmptyState());
    stop();
}

TEST_F(LiveViewTest, ClearingTheSelectionClosesTheInspector)
{
    LiveView &v = runningView();
    send(openReadRecords(2));
    ASSERT_TRUE(tableShows(2));
    v.table()->selectRow(0);
    EXPECT_TRUE(v.inspectorPresented());
    v.table()->clearSelection();
    EXPECT_FALSE(v.selection());
    EXPECT_FALSE(v.inspectorPresented());
    stop();
}

TEST_F(LiveViewTest, PauseFreezesTheTableAndClearEmptiesTheSnapshot)
{
    LiveView &v = runningView();
    send(openReadRecords(2));
    ASSERT_TRUE(tableShows(2));
    button(v, "Pause view")->click();
    EXPECT_TRUE(monitor->paused());
    sendAndWait(openReadRecords(3, 1700000100), 5);
    v.updateTable();
    EXPECT_EQ(v.recordsModel()->rowCount(), 2);

    button(v, "Clear")->click();
    v.updateTable();
    EXPECT_TRUE(v.showsEmptyState());
    EXPECT_TRUE(monitor->paused());
    EXPECT_TRUE(button(v, "Pause view")->isChecked());

    sendAndWait(openReadRecords(1, 1700000200), 1);
    v.updateTable();
    EXPECT_TRUE(v.showsEmptyState()); // the snapshot is still the empty one
    button(v, "Pause view")->click();
    EXPECT_FALSE(monitor->paused());
    EXPECT_EQ(v.recordsModel()->rowCount(), 1);
    EXPECT_FALSE(v.showsEmptyState());
    stop();
}

TEST_F(LiveViewTest, AnalyseCaptureImportsACopyAndShowsTheOverview)
{
    LiveView &v = runningView();
    send(openReadRecords(3));
    ASSERT_TRUE(tableShows(3));
    store.setScreen(Screen::live);
    button(v, "Analyse Capture")->click();
    ASSERT_TRUE(waitUntil([&] { return store.screen() == Screen::dashboard; }));
    EXPECT_EQ(store.records().size(), 3u);
    ASSERT_EQ(store.sources().size(), 1u);
    EXPECT_EQ(store.sources()[0].kind, TrailSource::Kind::live);
    EXPECT_NE(store.records()[0].id, LiveMonitor::firstLiveID); // copies under fresh ids
    EXPECT_EQ(monitor->records()->size(), 3u);                  // the live buffer stays

    store.setScreen(Screen::live);
    button(v, "Analyse Capture")->click();
    ASSERT_TRUE(waitUntil([&] { return store.sources().size() == 2 && store.screen() == Screen::dashboard; }));
    stop();
}

// An import the store undoes, with too little memory to analyse it, shows no Overview of nothing.
TEST_F(LiveViewTest, AnAnalysisTheStoreUndoesLeavesTheScreen)
{
    LiveView &v = runningView();
    send(openReadRecords(3));
    ASSERT_TRUE(tableShows(3));
    store.setScreen(Screen::live);
    store.setCheckpointHook([](LoadPhase phase, bool starting) {
        if (phase == LoadPhase::analysis && starting) throw std::bad_alloc();
    });
    QTest::mouseClick(button(v, "Analyse Capture"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !store.lastError().isEmpty() && !store.isLoading(); }));
    // The continuation is posted: give it the time the successful import takes to switch.
    EXPECT_FALSE(waitUntil([&] { return store.screen() != Screen::live; }, 500));
    EXPECT_TRUE(store.sources().empty());
    store.setCheckpointHook({});
    stop();
}

TEST_F(LiveViewTest, ClassMenuLabelsAndToggles)
{
    EXPECT_EQ(liveClassMenuLabel({"lo", "aa", "ad", "ex", "pc", "fc", "fd", "fm", "nt"}),
              "Classes: aa,ad,ex,fc,fd,fm,lo,nt,pc");
    EXPECT_EQ(liveClassMenuLabel({}), "Classes: ");
    EXPECT_EQ(liveClassMenuLabel({"zz", "aa"}), "Classes: aa,zz");

    make();
    LiveView &v = makeView();
    auto *menuButton = v.findChild<QToolButton *>("classMenuButton");
    EXPECT_EQ(menuButton->text(), "Classes: aa,ad,ex,fc,fd,fm,lo,nt,pc");
    EXPECT_EQ(menuButton->toolTip(), "Classes are applied when capture starts");
    QAction *lo = nullptr;
    for (QAction *action : menuButton->menu()->actions())
        if (action->data().toString() == "lo") lo = action;
    ASSERT_TRUE(lo);
    EXPECT_TRUE(lo->text().startsWith("lo — "));
    EXPECT_TRUE(lo->isChecked());
    lo->trigger();
    EXPECT_FALSE(monitor->selectedClasses().contains("lo"));
    EXPECT_EQ(menuButton->text(), "Classes: aa,ad,ex,fc,fd,fm,nt,pc");
    monitor->setSelectedClasses({});
    EXPECT_EQ(menuButton->text(), "Classes: ");
    EXPECT_FALSE(lo->isChecked());
}

TEST_F(LiveViewTest, LiveFindingsLatestFirst)
{
    make();
    LiveView &v = makeView();
    QAbstractItemModelTester findingsTester(v.findingsList()->findingsModel());
    std::vector<Finding> findings(2);
    findings[0].rule = "first";
    findings[0].severity = Severity::high;
    findings[1].rule = "second";
    findings[1].severity = Severity::critical;
    v.findingsList()->findingsModel()->setFindings(findings);
    EXPECT_EQ(v.findingsList()->findingsModel()->findingAt(0).rule, "second");
    EXPECT_EQ(v.findingsList()->findingsModel()->findingAt(1).rule, "first");
    EXPECT_EQ(wrappedLines("", QFont(), 100, 2), QStringList{});
    const QStringList two = wrappedLines(QString(400, 'x'), QFont(), 100, 2);
    ASSERT_EQ(two.size(), 2);
    EXPECT_TRUE(two[1].endsWith(QChar(0x2026)));
}

// For looking at: QUILLMARSH_GRAB_DIR=<folder> keeps the picture of a running capture with rows,
// findings and the inspector.
TEST_F(LiveViewTest, RendersACaptureWithRowsFindingsAndTheInspector)
{
    LiveView &v = runningView();
    send(trail({openReadRecords(30), failedOpen(1700000040)}));
    ASSERT_TRUE(tableShows(31));
    Finding finding;
    finding.rule = "Sensitive file read";
    finding.severity = Severity::high;
    finding.time = 1700000040;
    finding.summary = "open(2) /etc/master.passwd by pid 77 failed with EACCES after repeated attempts";
    v.resize(1228, 840);
    v.findingsList()->findingsModel()->setFindings({finding});
    v.table()->selectRow(0);
    const QImage image = v.grab().toImage();
    EXPECT_EQ(image.size(), QSize(1228, 840));
    if (const QByteArray folder = qgetenv("QUILLMARSH_GRAB_DIR"); !folder.isEmpty())
        image.save(QString::fromLocal8Bit(folder) + "/live-view.png");
    stop();
}

TEST_F(LiveViewTest, TableColumnsKeepTheirMinimums)
{
    make();
    LiveView &v = makeView();
    auto *table = v.findChild<QTableView *>(QStringLiteral("liveTable"));
    ASSERT_NE(table, nullptr);
    // Time, User and PID are widened where our font needs more for their widest values (a PID
    // holds seven digits).
    const int time = std::max(90, cellWidth(table->font(), liveTimeText(widestTableTime())));
    const int user = std::max(50, cellWidth(table->font(), widestSampleUser()));
    const int pid = std::max(40, cellWidth(table->font(), widestPid()));
    EXPECT_EQ(squeezedColumns(table), (std::vector<int>{time, 90, user, 60, pid, 22, 200}));
}

} // namespace
