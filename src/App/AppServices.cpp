#include "App/AppServices.h"

#include "Platform/AutostartLoginItem.h"
#include "Platform/DBusNotificationCenter.h"
#include "Platform/IconBadge.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int launchCloseDelayMs = 300;

} // namespace

bool quitsAfterLastWindowClosed(const BackgroundSettings &settings)
{
    return !(settings.keepRunningInBackground && settings.showMenuBarIcon && settings.trayAvailable);
}

bool closesWindowAtLaunch(const BackgroundSettings &settings, int argumentCount)
{
    return !settings.openWindowAtLaunch && settings.keepRunningInBackground && settings.showMenuBarIcon
           && settings.trayAvailable && argumentCount <= 1;
}

AppServices::AppServices(const AlertCenter::Platform &platform, QObject *parent)
    : AppServices(platform, LiveMonitor::Environment{}, parent)
{}

AppServices::AppServices(const AlertCenter::Platform &platform, LiveMonitor::Environment liveEnvironment,
                         QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_live(std::move(liveEnvironment))
    , m_alerts(std::make_unique<AlertCenter>(platform))
{
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    AlertCenter *alerts = m_alerts.get();
    m_live.setOnAnalysis([alerts](const std::vector<Finding> &findings, const std::vector<AuditRecord> &records) {
        alerts->handle(findings, records);
    });
    m_live.setOnUnexpectedStop([alerts](const QString &message) { alerts->raiseMonitorAlert(message); });
}

AppServices::~AppServices() = default;

AppServices &AppServices::shared()
{
    // Function statics: built once, on first use, and never torn down before exit.
    static DBusNotificationCenter notifications;
    static AutostartLoginItem loginItem;
    static IconBadge badge;
    static AppServices services({&notifications, &loginItem, &badge, nullptr});
    return services;
}

bool AppServices::menuBarIconShown()
{
    return m_alerts->showMenuBarIcon() && trayAvailable();
}

void AppServices::setActivationPolicy(ActivationPolicy policy)
{
    if (policy == m_policy) return;
    m_policy = policy;
    emit activationPolicyChanged();
}

void AppServices::showMainWindow(std::optional<Screen> screen)
{
    if (screen && *screen != m_store.screen()) m_store.setScreen(*screen);
    setActivationPolicy(ActivationPolicy::regular);
    if (openMainWindow) openMainWindow();
}

void AppServices::applicationLaunched(int argumentCount)
{
    if (m_alerts->startCaptureAtLaunch()) m_live.start();
    const BackgroundSettings settings{m_alerts->openWindowAtLaunch(), m_alerts->keepRunningInBackground(),
                                      m_alerts->showMenuBarIcon(), trayAvailable()};
    if (closesWindowAtLaunch(settings, argumentCount))
        QTimer::singleShot(launchCloseDelayMs, this, &AppServices::closeMainWindows);
}

void AppServices::closeMainWindows()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("main") || window->windowTitle() == QLatin1String("Quillmarsh"))
            window->close();
    setActivationPolicy(ActivationPolicy::accessory);
}
