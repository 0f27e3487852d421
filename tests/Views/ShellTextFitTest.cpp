// Every visible text of the window fits, on every screen, at the snapshot size, at the size the
// window opens at and at its minimum: with nothing loaded, and with a trail, a running capture and
// an alert history that hold the widest values the time and user columns show, their detail panes
// open.
#include "Views/MainWindow.h"

#include "Engine/BSM/UserResolver.h"
#include "Views/Components/TableTime.h"
#include "Views/ContentView.h"
#include "support/QtTestSupport.h"
#include "support/ShellFixture.h"
#include "support/ShellWindow.h"
#include "support/TextFit.h"

#include <QAbstractItemView>
#include <QLabel>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace LiveCapture;

const QSize windowSizes[] = {{1440, 900}, {1280, 800}, {1100, 720}};
// The columns whose values were cut at our fonts: dates, times, user labels, seven-digit pids and
// severity badges.
const QStringList measuredColumns = {"Time",    "User", "Raised", "First record", "Last record",
                                     "Started", "PID",  "PPID",   "Severity"};

constexpr uint32_t sampleUser = 7501; // named "orvik", as in the sample trail

uint32_t widestSecond()
{
    return uint32_t(std::floor(widestTableTime()));
}
uint32_t widestMillisecond()
{
    return uint32_t(std::lround((widestTableTime() - widestSecond()) * 1000)) % 1000;
}

// The widest time and user label of the sample (Sep 30, 12:58:58.888 PM; "orvik → root") on an
// execution with a long signing identity, a clock change (a finding), a failed open and a
// connection, by a process with a seven-digit pid.
Bytes widestTrail()
{
    Subject orvik;
    orvik.auid = orvik.ruid = sampleUser;
    orvik.euid = 0;
    orvik.pid = 4821337;
    const uint32_t second = widestSecond();
    const uint32_t millisecond = widestMillisecond();
    const Bytes cdhash(20, 0xab);
    return trail({
        TrailRecordBuilder(23, second, millisecond)
            .path("/Applications/Utilities/Very Long Application Name Helper.app/Contents/MacOS/helper")
            .execArgs({"helper", "--configuration=/Library/Application Support/com.example.helper/settings.plist"})
            .subject(orvik)
            .identity(1, "com.example.very.long.signing.identifier.helper.agent", "ABCDE12345", cdhash)
            .returnValue(0)
            .build(),
        TrailRecordBuilder(37, second, millisecond).subject(orvik).returnValue(0).build(),
        TrailRecordBuilder(72, second, millisecond)
            .subject(orvik)
            .path("/private/etc/master.passwd")
            .returnValue(13, 1)
            .build(),
        TrailRecordBuilder(32, second, millisecond)
            .subject(orvik)
            .socketInet(443, {203, 0, 113, 45})
            .returnValue(0)
            .build(),
    });
}

// One alert of each severity: their badges differ in width ("Medium" and "Critical" are the widest).
MonitorAlert widestAlert(int severity)
{
    MonitorAlert alert;
    alert.id = Uuid::random();
    alert.kind = MonitorAlert::Kind::finding;
    alert.key = "clock|key" + std::to_string(severity);
    alert.eventTime = alert.raisedAt = widestTableTime();
    alert.severityRaw = severity;
    alert.rule = "System clock changed";
    alert.category = "Defense Evasion";
    alert.technique = "T1070.006";
    alert.user = QString::fromUtf8("orvik \u2192 root").toStdString();
    alert.summary = "settimeofday() by orvik";
    alert.explanation = "The clock moved.";
    alert.evidence = {"header, settimeofday"};
    return alert;
}

class ShellTextFitTest : public ShellWindow {
protected:
    void SetUp() override
    {
        UserResolver::shared().seed(sampleUser, "orvik");
        ShellWindow::SetUp();
    }

    // Opens each screen at each size; with selections, the first row of the screen's list is
    // selected so that its detail pane shows too.
    void expectEveryScreenFits(bool select)
    {
        for (const QSize &size : windowSizes) {
            window->resize(size);
            for (Screen screen : allScreens) {
                store.setScreen(screen);
                settlePool();
                if (select) selectFirstRow();
                settlePool();
                const QString where =
                    QStringLiteral("%1 at %2x%3: ").arg(rawValue(screen)).arg(size.width()).arg(size.height());
                if (select) {
                    EXPECT_TRUE(showsItsData(screen)) << where.toStdString();
                }
                QStringList problems = TextFit::clipped(window.get());
                problems << TextFit::clippedCells(window.get(), measuredColumns);
                EXPECT_TRUE(problems.isEmpty()) << (where + problems.join(QStringLiteral("; "))).toStdString();
            }
        }
    }

    // The screen shows the rows the check is about (not a placeholder) and its detail pane.
    bool showsItsData(Screen screen) const
    {
        const auto shows = [&](const char *name) { return shown<QWidget>(name) != nullptr; };
        const auto rows = [&](const char *name) {
            const auto *view = shown<QAbstractItemView>(name);
            return view ? view->model()->rowCount() : 0;
        };
        switch (screen) {
        case Screen::events: return rows("eventsTable") > 0 && shows("recordInspector");
        case Screen::findings: return rows("findingsTable") > 0 && shows("findingDetail");
        case Screen::network: return rows("networkTable") > 0;
        case Screen::live: return rows("liveTable") == 4 && shows("recordInspector");
        case Screen::monitor: return rows("alertTable") == 5 && shows("alertDetail");
        case Screen::sources: return rows("sourcesTable") == 2 && shows("sourceDetail");
        default: return true;
        }
    }

    void selectFirstRow()
    {
        for (const char *name :
             {"findingsTable", "processTree", "networkTable", "liveTable", "alertTable", "sourcesTable"}) {
            auto *view = shown<QAbstractItemView>(name);
            if (!view || view->model()->rowCount() == 0) continue;
            view->selectionModel()->select(view->model()->index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
    }
};

TEST_F(ShellTextFitTest, NothingIsCutOnAnyScreenAtAnyWindowSize)
{
    expectEveryScreenFits(false);

    QTemporaryDir folder;
    ASSERT_TRUE(ShellFixture::load(
        store, {ShellFixture::writeTrail(folder, QStringLiteral("incident.bsm"), ShellFixture::incidentTrail()),
                ShellFixture::writeTrail(folder, QStringLiteral("widest.bsm"), widestTrail())}));
    // The inspector shows the execution with the long identity.
    for (const AuditRecord &record : store.records())
        if (record.identity() && std::abs(record.time - widestTableTime()) < 0.001)
            store.setSelectedRecordID(record.id);
    ASSERT_TRUE(store.selectedRecordID());
    alerts->setAlerts({widestAlert(0), widestAlert(1), widestAlert(2), widestAlert(3), widestAlert(4)});
    startRunning();
    sendAndWait(widestTrail(), 4);
    ASSERT_TRUE(waitUntil([&] { return monitor->records()->size() == 4; }));
    expectEveryScreenFits(true);
}

TEST_F(ShellTextFitTest, TheCheckFindsCutTextsAndLetsElidedOnesPass)
{
    QWidget root;
    root.resize(400, 100);
    auto *cut = new QLabel(QStringLiteral("A sentence far too long for forty pixels"), &root);
    cut->setGeometry(0, 0, 40, 20);
    root.show();
    EXPECT_EQ(TextFit::clipped(&root).size(), 1);
    cut->setText(QStringLiteral("A sent…"));
    EXPECT_TRUE(TextFit::clipped(&root).isEmpty());

    // A wrapped label's margins count on both sides: at the height it needs it passes, a line
    // shorter it is cut.
    auto *wrapped = new QLabel(QStringLiteral("Process"), &root);
    wrapped->setWordWrap(true);
    wrapped->setContentsMargins(0, 2, 0, 0);
    wrapped->setGeometry(200, 0, 100, wrapped->heightForWidth(100));
    wrapped->show();
    EXPECT_TRUE(TextFit::clipped(&root).isEmpty());
    wrapped->resize(100, wrapped->heightForWidth(100) - 2);
    EXPECT_EQ(TextFit::clipped(&root).size(), 1);
    wrapped->hide();

    // Standing past the right side of a parent that cannot scroll sideways is cut as well.
    auto *panel = new QWidget(&root);
    panel->setGeometry(0, 30, 100, 20);
    auto *outside = new QLabel(QStringLiteral("Start"), panel);
    outside->setGeometry(80, 0, 60, 20);
    panel->show();
    EXPECT_EQ(TextFit::clipped(&root).size(), 1);
}

} // namespace
