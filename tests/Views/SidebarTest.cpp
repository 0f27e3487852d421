#include "Views/Sidebar.h"

#include "support/FakeLoginItem.h"
#include "support/FakeNotificationCenter.h"
#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"
#include "support/ShellFixture.h"

#include <QLabel>
#include <QLocale>
#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class SidebarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(m_folder.isValid());
        m_settings = std::make_unique<QSettings>(m_folder.filePath(QStringLiteral("settings.ini")),
                                                 QSettings::IniFormat);
        m_alerts = std::make_unique<AlertCenter>(
            AlertCenter::Platform{&m_notifications, &m_login, nullptr, m_settings.get()});
        m_alerts->setAlerts({});
        m_sidebar = std::make_unique<Sidebar>(ViewContext{&m_store, &m_live, m_alerts.get()});
        m_sidebar->resize(220, 860);
        m_sidebar->show();
    }

    QString badge(Screen screen) const { return m_sidebar->item(screen)->data(Sidebar::badgeRole).toString(); }
    bool orange(Screen screen) const { return m_sidebar->item(screen)->data(Sidebar::badgeAlertRole).toBool(); }

    QTemporaryDir m_folder;
    FakeNotificationCenter m_notifications;
    FakeLoginItem m_login;
    std::unique_ptr<QSettings> m_settings;
    AuditStore m_store;
    LiveMonitor m_live;
    std::unique_ptr<AlertCenter> m_alerts;
    std::unique_ptr<Sidebar> m_sidebar;
};

TEST_F(SidebarTest, ThreeSectionsOfTenRowsTitledAfterTheirScreens)
{
    QStringList texts;
    for (int row = 0; row < m_sidebar->list()->count(); ++row) texts << m_sidebar->list()->item(row)->text();
    EXPECT_EQ(texts,
              (QStringList{"Analysis", "Overview", "Events", "Processes", "Findings", "Network", "Collection",
                           "Live Monitor", "Background Monitor", "Trail Files", "System", "Audit Setup", "Reference"}));
    for (const QString header : {"Analysis", "Collection", "System"})
        EXPECT_FALSE(m_sidebar->list()->findItems(header, Qt::MatchExactly).first()->flags() & Qt::ItemIsSelectable);
}

TEST_F(SidebarTest, BadgesFollowTheStoreAndShowNothingAtZero)
{
    for (Screen screen : allScreens) EXPECT_TRUE(badge(screen).isEmpty()) << rawValue(screen);
    EXPECT_FALSE(m_sidebar->footer()->isVisible());

    const QString path = ShellFixture::writeTrail(m_folder, QStringLiteral("incident.bsm"),
                                                  ShellFixture::incidentTrail());
    ASSERT_TRUE(ShellFixture::load(m_store, {path}));
    EXPECT_EQ(badge(Screen::events), QString::number(m_store.records().size()));
    EXPECT_EQ(m_sidebar->item(Screen::events)->data(Qt::AccessibleTextRole).toString(),
              "Events, " + QString::number(m_store.records().size()))
        << "the painted badge is read after the title";
    EXPECT_FALSE(orange(Screen::events));
    EXPECT_EQ(badge(Screen::processes), QString::number(m_store.processes().size()));
    EXPECT_EQ(badge(Screen::sources), QStringLiteral("1"));
    int64_t serious = 0, minor = 0;
    for (const Finding &finding : m_store.findings()) (finding.severity >= Severity::medium ? serious : minor) += 1;
    ASSERT_GT(serious, 0);
    EXPECT_EQ(badge(Screen::findings), QString::number(serious));
    EXPECT_TRUE(orange(Screen::findings));
    for (Screen none : {Screen::dashboard, Screen::network, Screen::live, Screen::setup, Screen::reference})
        EXPECT_TRUE(badge(none).isEmpty()) << rawValue(none);

    m_store.closeAll();
    ASSERT_TRUE(waitUntil([&] { return m_store.records().empty(); }));
    for (Screen screen : {Screen::events, Screen::processes, Screen::findings, Screen::sources})
        EXPECT_TRUE(badge(screen).isEmpty()) << rawValue(screen);
}

TEST_F(SidebarTest, FindingsBadgeCountsOnlyMediumAndAbove)
{
    // The sample has findings of every weight; info and low ones are left out of the count.
    m_store.openSample();
    ASSERT_TRUE(waitUntil([&] { return !m_store.isLoading() && !m_store.findings().empty(); }, 15000));
    int64_t serious = 0, minor = 0;
    for (const Finding &finding : m_store.findings()) (finding.severity >= Severity::medium ? serious : minor) += 1;
    ASSERT_GT(minor, 0);
    EXPECT_EQ(badge(Screen::findings), QString::number(serious));
    m_store.closeAll();
    ASSERT_TRUE(waitUntil([&] { return m_store.records().empty(); }));

    // A trail of plain reads has no findings at all: no badge, not "0".
    ASSERT_TRUE(ShellFixture::load(m_store, {ShellFixture::writeTrail(m_folder, QStringLiteral("reads.bsm"),
                                                                      TestBSM::openReadRecords(4))}));
    EXPECT_TRUE(badge(Screen::findings).isEmpty());
}

TEST_F(SidebarTest, MonitorBadgeCountsUnacknowledgedAlertsGroupedWithoutATrail)
{
    std::vector<MonitorAlert> alerts(1234);
    for (MonitorAlert &alert : alerts) alert.id = Uuid::random();
    m_alerts->setAlerts(alerts);
    EXPECT_EQ(badge(Screen::monitor), QStringLiteral("1,234"));
    EXPECT_TRUE(orange(Screen::monitor));
    m_alerts->acknowledgeAll();
    EXPECT_TRUE(badge(Screen::monitor).isEmpty());
}

TEST_F(SidebarTest, LiveDotShowsOnlyWhileCapturing)
{
    const auto dot = [&] { return m_sidebar->item(Screen::live)->data(Sidebar::liveDotRole).toBool(); };
    EXPECT_FALSE(dot());
    m_live.setState(LiveMonitor::Starting{});
    EXPECT_FALSE(dot());
    m_live.setState(LiveMonitor::Running{});
    EXPECT_TRUE(dot());
    m_live.setState(LiveMonitor::Failed{"gone"});
    EXPECT_FALSE(dot());
}

TEST_F(SidebarTest, SelectionAndStoreScreenFollowEachOtherWithoutLoops)
{
    QSignalSpy changes(&m_store, &AuditStore::screenChanged);
    m_store.setScreen(Screen::reference);
    EXPECT_EQ(m_sidebar->list()->currentItem(), m_sidebar->item(Screen::reference));
    EXPECT_EQ(changes.count(), 1);

    m_sidebar->list()->setCurrentItem(m_sidebar->item(Screen::events));
    EXPECT_EQ(m_store.screen(), Screen::events);
    EXPECT_EQ(changes.count(), 2);

    // Clearing the selection keeps the screen, and the row stays selected.
    m_sidebar->list()->setCurrentRow(-1);
    EXPECT_EQ(m_store.screen(), Screen::events);
    EXPECT_EQ(m_sidebar->list()->currentItem(), m_sidebar->item(Screen::events));
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(SidebarTest, FooterShowsTheLoadedSpanAndASingleRecordGivesOneTimeTwice)
{
    ASSERT_TRUE(ShellFixture::load(m_store, {ShellFixture::writeTrail(m_folder, QStringLiteral("one.bsm"),
                                                                      TestBSM::openReadRecords(1, 1700000000))}));
    ASSERT_TRUE(m_sidebar->footer()->isVisible());
    QStringList lines;
    for (QLabel *label : m_sidebar->footer()->findChildren<QLabel *>()) lines << label->text();
    EXPECT_EQ(lines, (QStringList{"Loaded span", "Nov 14, 2023, 10:13 PM", "→ Nov 14, 2023, 10:13 PM"}));
}

} // namespace
