#include "App/AppDelegate.h"

#include "App/AppServices.h"
#include "Engine/BSM/Uuid.h"

#include <QApplication>

AppDelegate::AppDelegate(AppServices &services, QObject *parent) : QObject(parent), m_services(services)
{
    AlertCenter &alerts = services.alerts();
    connect(&alerts, &AlertCenter::keepRunningInBackgroundChanged, this, &AppDelegate::applyQuitRule);
    connect(&alerts, &AlertCenter::showMenuBarIconChanged, this, &AppDelegate::applyQuitRule);
    connect(&services.notifications(), &NotificationCenter::activated, this, &AppDelegate::notificationClicked);
}

void AppDelegate::applicationDidFinishLaunching(int argumentCount)
{
    m_services.setActivationPolicy(AppServices::ActivationPolicy::regular);
    applyQuitRule();
    m_services.applicationLaunched(argumentCount);
}

void AppDelegate::openURLs(const QList<QUrl> &urls)
{
    if (openHandler) openHandler(urls);
    else pendingURLs.append(urls);
}

bool AppDelegate::shouldTerminateAfterLastWindowClosed() const
{
    AlertCenter &alerts = m_services.alerts();
    return quitsAfterLastWindowClosed({alerts.openWindowAtLaunch(), alerts.keepRunningInBackground(),
                                       alerts.showMenuBarIcon(), m_services.trayAvailable()});
}

bool AppDelegate::handleReopen(bool hasVisibleWindows)
{
    if (hasVisibleWindows) return true;
    m_services.setActivationPolicy(AppServices::ActivationPolicy::regular);
    if (m_services.openMainWindow) m_services.openMainWindow();
    return true;
}

void AppDelegate::notificationClicked(const QString &alertID)
{
    Uuid id;
    if (Uuid::parse(alertID.toStdString(), &id)) m_services.alerts().setSelectedAlertID(id);
    else m_services.alerts().setSelectedAlertID(std::nullopt);
    m_services.showMainWindow(Screen::monitor);
}

// Qt decides the quit itself when the last window closes; keep its flag in step with the settings.
void AppDelegate::applyQuitRule()
{
    QApplication::setQuitOnLastWindowClosed(shouldTerminateAfterLastWindowClosed());
}
