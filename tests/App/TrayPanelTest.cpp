#include "App/AppDelegate.h"
#include "App/AppServices.h"
#include "App/MainScene.h"
#include "Views/Monitor/MenuBarMonitorView.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "support/FakeAlertPlatform.h"

#include <gtest/gtest.h>

namespace {

class TrayPanelTest : public ::testing::Test, public FakeAlertPlatform {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(folder.filePath("alerts.json")));
        services = std::make_unique<AppServices>(platform());
        services->trayAvailable = [] { return true; };
        delegate = std::make_unique<AppDelegate>(*services);
        scene = std::make_unique<MainScene>(*services, *delegate, QList<QByteArray>{});
    }
    void TearDown() override
    {
        scene.reset();
        QApplication::setQuitOnLastWindowClosed(false);
    }

    QStringList menuTexts(QMenu &menu)
    {
        scene->fillTrayMenu(menu);
        QStringList texts;
        for (QAction *a : menu.actions()) texts << (a->isSeparator() ? "-" : a->text());
        return texts;
    }

    QTemporaryDir folder;
    std::unique_ptr<AppServices> services;
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<MainScene> scene;
};

// Desktops that never report a click on the icon still reach everything the panel offers.
TEST_F(TrayPanelTest, TrayMenuOffersThePanelsActions)
{
    ASSERT_TRUE(scene->trayIcon());
    EXPECT_EQ(scene->trayIcon()->toolTip(), "Quillmarsh monitor");
    QMenu menu;
    EXPECT_EQ(menuTexts(menu),
              (QStringList{"Not monitoring", "Start Monitoring", "-", "Open Quillmarsh", "Settings…", "-", "Quit"}));
    EXPECT_FALSE(menu.actions()[0]->isEnabled());

    MonitorAlert alert;
    alert.id = Uuid::random();
    alert.rule = "Sudo && su";
    services->alerts().setAlerts({alert});
    services->live().setState(LiveMonitor::Starting{});
    const QStringList texts = menuTexts(menu);
    EXPECT_EQ(texts.mid(0, 5), (QStringList{"Waiting for administrator authorisation…", "Stop Monitoring",
                                            "Acknowledge All", "-", "Sudo &&&& su"}));
    EXPECT_FALSE(menu.actions()[1]->isEnabled());
    services->store().setScreen(Screen::events);
    menu.actions()[4]->trigger();
    EXPECT_EQ(services->store().screen(), Screen::monitor);
    services->live().setState(LiveMonitor::Idle{});
}

TEST_F(TrayPanelTest, ClickOnTheIconOpensThePanel)
{
    scene->showTrayPanel();
    ASSERT_TRUE(scene->trayPanel());
    auto *panel = scene->trayPanel()->findChild<MenuBarMonitorView *>();
    ASSERT_TRUE(panel);
    services->store().setScreen(Screen::events);
    panel->settingsButton()->click();
    EXPECT_EQ(services->store().screen(), Screen::monitor);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(scene->trayPanel()); // an action that leaves the panel closes it
}

} // namespace
