#pragma once

#include "Store/AuditStore.h"
#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

// The process-wide services: the store, the live capture and the alert centre, created once and
// kept for the life of the process, plus the action that brings the main window forward.
class AppServices : public QObject {
    Q_OBJECT

public:
    // Whether the application has a window in the task bar (regular) or lives only in the tray
    // (accessory). Linux has no such switch; the state is kept so the launch rules stay visible.
    enum class ActivationPolicy { regular, accessory };

    // The platform layers the alert centre talks to; the shared instance uses the real ones.
    explicit AppServices(const AlertCenter::Platform &platform, QObject *parent = nullptr);
    // The same with the live capture's environment: tests capture from a helper of their own.
    AppServices(const AlertCenter::Platform &platform, LiveMonitor::Environment liveEnvironment,
                QObject *parent = nullptr);
    ~AppServices() override;

    // Created on first use, on the main thread, with D-Bus notifications, the autostart entry and
    // the tray badge.
    static AppServices &shared();

    AuditStore &store() { return m_store; }
    LiveMonitor &live() { return m_live; }
    AlertCenter &alerts() { return *m_alerts; }
    NotificationCenter &notifications() { return *m_platform.notifications; }
    // The tray draws this badge; null when the platform gave none.
    DockBadge *badge() { return m_platform.badge; }

    // Opens the main window or brings it forward; installed by the main window when it appears.
    std::function<void()> openMainWindow;

    void showMainWindow(std::optional<Screen> screen = std::nullopt);

    // Once, when launching has finished. argumentCount counts the program path too.
    void applicationLaunched(int argumentCount);

    ActivationPolicy activationPolicy() const { return m_policy; }
    void setActivationPolicy(ActivationPolicy policy);

    // Whether the desktop shows tray icons; replaceable so tests can try both.
    std::function<bool()> trayAvailable;
    // The settings the launch and quit rules read, with an unavailable tray counted as no tray
    // icon: otherwise the process would stay alive with no way to reach it.
    bool menuBarIconShown();

    // The main window (objectName "main"), or windows titled "Quillmarsh", closed 0.3 s after a
    // launch that asked to live in the tray only.
    void closeMainWindows();

signals:
    void activationPolicyChanged();

private:
    AlertCenter::Platform m_platform;
    AuditStore m_store;
    LiveMonitor m_live;
    std::unique_ptr<AlertCenter> m_alerts;
    ActivationPolicy m_policy = ActivationPolicy::regular;
};

// The window decisions at launch and on closing the last window, as pure rules.
struct BackgroundSettings {
    bool openWindowAtLaunch = true;
    bool keepRunningInBackground = true;
    bool showMenuBarIcon = true;
    bool trayAvailable = true;
};
bool quitsAfterLastWindowClosed(const BackgroundSettings &settings);
bool closesWindowAtLaunch(const BackgroundSettings &settings, int argumentCount);
