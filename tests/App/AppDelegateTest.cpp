#include "App/AppDelegate.h"
#include "App/AppServices.h"

#include "support/FakeAlertPlatform.h"
#include "support/EventOrder.h"
#include "support/QtTestSupport.h"

#include <QApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(LaunchRulesTest, QuitOnLastWindowAndLaunchCloseForEveryCombination)
{
    for (int bits = 0; bits < 16; ++bits) {
        const BackgroundSettings s{bool(bits & 1), bool(bits & 2), bool(bits & 4), bool(bits & 8)};
        const bool lives = s.keepRunningInBackground && s.showMenuBarIcon && s.trayAvailable;
        EXPECT_EQ(quitsAfterLastWindowClosed(s), !lives) << bits;
        EXPECT_EQ(closesWindowAtLaunch(s, 1), lives && !s.openWindowAtLaunch) << bits;
        EXPECT_FALSE(closesWindowAtLaunch(s, 2)) << bits << ": any argument keeps the window";
    }
}

class AppDelegateTest : public ::testing::Test, public FakeAlertPlatform {
protected:
    void SetUp() override { ASSERT_TRUE(settingsFolder.isValid()); }
    // Settings written before the services exist, as a previous run would have left them.
    void start(bool openWindow, bool background, bool menuBar, bool tray)
    {
        m_delegate.reset();
        settings->setValue(AlertCenter::openWindowKey, openWindow);
        settings->setValue(AlertCenter::backgroundKey, background);
        settings->setValue(AlertCenter::menubarKey, menuBar);
        m_services = std::make_unique<AppServices>(platform());
        m_services->trayAvailable = [tray] { return tray; };
        m_services->openMainWindow = [this] { ++m_opened; };
        m_delegate = std::make_unique<AppDelegate>(*m_services);
    }

    std::unique_ptr<AppServices> m_services;
    std::unique_ptr<AppDelegate> m_delegate;
    int m_opened = 0;
};

TEST_F(AppDelegateTest, LastWindowQuitFollowsTheSettingsAndTheTray)
{
    for (int bits = 0; bits < 8; ++bits) {
        start(true, bits & 1, bits & 2, bits & 4);
        m_delegate->applicationDidFinishLaunching(1);
        const bool lives = bits == 7;
        EXPECT_EQ(m_delegate->shouldTerminateAfterLastWindowClosed(), !lives) << bits;
        EXPECT_EQ(QApplication::quitOnLastWindowClosed(), !lives) << bits;
    }
    m_services->alerts().setShowMenuBarIcon(false);
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed()) << "a changed setting applies at once";
    QApplication::setQuitOnLastWindowClosed(false);
}

TEST_F(AppDelegateTest, LaunchClosesTheMainWindowsOnlyWhenAskedAndWithoutArguments)
{
    struct Case {
        bool openWindow, background, menuBar, tray;
        int arguments;
        bool closes;
    };
    const Case cases[] = {
        {false, true, true, true, 1, true},
        {false, true, true, true, 2, false},
        {true, true, true, true, 1, false},
        {false, false, true, true, 1, false},
        {false, true, false, true, 1, false},
        {false, true, true, false, 1, false}, // no tray: the window would be unreachable
    };
    for (const Case &c : cases) {
        start(c.openWindow, c.background, c.menuBar, c.tray);
        QWidget main, titled, other;
        main.setObjectName("main");
        main.setWindowTitle("Events");
        titled.setWindowTitle("Quillmarsh");
        other.setWindowTitle("Panel");
        for (QWidget *w : {&main, &titled, &other}) w->show();
        m_delegate->applicationDidFinishLaunching(c.arguments);
        // A longer wait started after the launch's own 300 ms one ends after it, however loaded
        // the machine.
        ASSERT_TRUE(afterWaits(std::chrono::milliseconds(400)));
        EXPECT_EQ(!main.isVisible(), c.closes) << c.arguments;
        EXPECT_EQ(!titled.isVisible(), c.closes);
        EXPECT_TRUE(other.isVisible());
        EXPECT_EQ(m_services->activationPolicy() == AppServices::ActivationPolicy::accessory, c.closes);
    }
    QApplication::setQuitOnLastWindowClosed(false);
}

TEST_F(AppDelegateTest, HandedOverFilesWaitForTheHandlerThenGoStraightToIt)
{
    start(true, true, true, true);
    const QList<QUrl> first = {QUrl::fromLocalFile("/t/a.bsm"), QUrl::fromLocalFile("/t/b.bsm")};
    const QList<QUrl> second = {QUrl::fromLocalFile("/t/c.bsm")};
    m_delegate->openURLs(first);
    m_delegate->openURLs(second);
    EXPECT_EQ(m_delegate->pendingURLs, first + second);
    std::vector<QList<QUrl>> handled;
    m_delegate->openHandler = [&](const QList<QUrl> &urls) { handled.push_back(urls); };
    m_delegate->openURLs(second);
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0], second);
}

TEST_F(AppDelegateTest, NotificationClickSelectsItsAlertAndShowsTheBackgroundMonitor)
{
    start(true, true, true, true);
    const Uuid id = Uuid::random();
    notifications.click(QString::fromStdString(id.text()));
    EXPECT_EQ(m_services->alerts().selectedAlertID(), id);
    EXPECT_EQ(m_services->store().screen(), Screen::monitor);
    EXPECT_EQ(m_opened, 1);

    m_services->store().setScreen(Screen::events);
    notifications.click("not a uuid");
    EXPECT_FALSE(m_services->alerts().selectedAlertID()) << "an unusable id clears the selection";
    EXPECT_EQ(m_services->store().screen(), Screen::monitor);
    EXPECT_EQ(m_opened, 2);
}

TEST_F(AppDelegateTest, ShowMainWindowWritesTheScreenOnlyWhenItDiffersButAlwaysBringsTheWindow)
{
    start(true, true, true, true);
    QSignalSpy changes(&m_services->store(), &AuditStore::screenChanged);
    m_services->setActivationPolicy(AppServices::ActivationPolicy::accessory);
    m_services->showMainWindow(Screen::dashboard);
    m_services->showMainWindow(std::nullopt);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(m_opened, 2);
    EXPECT_EQ(m_services->activationPolicy(), AppServices::ActivationPolicy::regular);
    m_services->showMainWindow(Screen::reference);
    EXPECT_EQ(changes.count(), 1);

    // Reopening does nothing while a window is visible.
    m_delegate->handleReopen(true);
    EXPECT_EQ(m_opened, 3);
    m_delegate->handleReopen(false);
    EXPECT_EQ(m_opened, 4);
}

} // namespace
