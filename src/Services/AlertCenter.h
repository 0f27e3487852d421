#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Record/AuditRecord.h"
#include "Platform/DockBadge.h"
#include "Platform/LoginItem.h"
#include "Platform/NotificationCenter.h"
#include "Services/AlertHistory.h"
#include "Services/MonitorAlert.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

class QSettings;

// The background monitor's state: turns the findings of each live analysis pass into alerts once
// each, keeps the alert history, the icon badge, the monitor's settings and the notification and
// login-item state. Lives on the main thread and is touched only there.
class AlertCenter : public QObject {
    Q_OBJECT
public:
    static constexpr const char *minSeverityKey = "monitor.minSeverity";
    static constexpr const char *backgroundKey = "monitor.background";
    static constexpr const char *notifyKey = "monitor.notify";
    static constexpr const char *soundKey = "monitor.sound";
    static constexpr const char *autostartKey = "monitor.autostart";
    static constexpr const char *menubarKey = "monitor.menubar";
    static constexpr const char *openWindowKey = "monitor.openWindow";

    // The platform layers; all outlive the alert centre.
    struct Platform {
        NotificationCenter *notifications = nullptr;
        LoginItem *loginItem = nullptr;
        DockBadge *badge = nullptr;    // null while there is nothing to put a badge on
        QSettings *defaults = nullptr; // null: the application's own settings
    };

    // Reads the settings, loads the history from AlertHistory::defaultPath(), sets the badge, reads
    // the login item and starts reading the notification permission.
    explicit AlertCenter(const Platform &platform, QObject *parent = nullptr);
    ~AlertCenter() override;

    // Settings: every assignment is written to the settings, changed or not.
    Severity minimumSeverity() const { return m_minimumSeverity; }
    void setMinimumSeverity(Severity value);
    bool keepRunningInBackground() const { return m_keepRunningInBackground; }
    void setKeepRunningInBackground(bool value);
    bool notificationsEnabled() const { return m_notificationsEnabled; }
    // Assigning true asks for notification permission again.
    void setNotificationsEnabled(bool value);
    bool playSound() const { return m_playSound; }
    void setPlaySound(bool value);
    bool startCaptureAtLaunch() const { return m_startCaptureAtLaunch; }
    void setStartCaptureAtLaunch(bool value);
    bool showMenuBarIcon() const { return m_showMenuBarIcon; }
    void setShowMenuBarIcon(bool value);
    bool openWindowAtLaunch() const { return m_openWindowAtLaunch; }
    void setOpenWindowAtLaunch(bool value);
    // The user defaults the settings live in; the main window keeps its layout there too.
    QSettings *defaults() const { return m_defaults; }

    // Newest first. Setting it from outside changes memory only: nothing is saved, no badge.
    const std::vector<MonitorAlert> &alerts() const { return m_alerts; }
    void setAlerts(std::vector<MonitorAlert> alerts);
    int64_t unacknowledgedCount() const;

    NotificationAuthorization notificationStatus() const { return m_notificationStatus; }
    void setNotificationStatus(NotificationAuthorization value);
    LoginItemStatus loginItemStatus() const { return m_loginItemStatus; }
    void setLoginItemStatus(LoginItemStatus value);
    const std::optional<Uuid> &selectedAlertID() const { return m_selectedAlertID; }
    void setSelectedAlertID(std::optional<Uuid> value);
    const QString &lastError() const { return m_lastError; }
    void setLastError(QString value);
    bool muted() const { return m_muted; }
    void setMuted(bool value);

    // On while the login item is enabled or awaits approval; assigning registers or unregisters
    // (also when already so) and reads the status again.
    bool launchAtLogin() const;
    // Reads the login item's status again; an unchanged status notifies nothing.
    void refreshLoginItemStatus();
    void setLaunchAtLogin(bool on);

    // Rule, "|", time in whole milliseconds, "|", summary: equal keys are one alert.
    static std::string key(const Finding &finding);

    // Asks for permission, then reads it again. Each call asks anew.
    void requestAuthorization();
    // Reads the permission; `done` runs once notificationStatus is up to date.
    void refreshNotificationStatus(std::function<void()> done = {});

public slots:
    // One finished analysis pass: alerts for findings not seen before at or above the minimum.
    void handle(const std::vector<Finding> &findings, const std::vector<AuditRecord> &records);
    // The capture ended without being stopped here.
    void raiseMonitorAlert(const QString &message);
    // Stored and counted like any alert, and posted even when notifications are off or muted.
    void sendTestAlert();
    void acknowledge(const Uuid &id);
    // Also withdraws the delivered notifications.
    void acknowledgeAll();
    void deleteAlerts(const std::set<Uuid> &ids);
    // Keeps the known keys, so findings already alerted this run stay quiet. Withdraws the
    // delivered notifications.
    void clearAll();

signals:
    void minimumSeverityChanged();
    void keepRunningInBackgroundChanged();
    void notificationsEnabledChanged();
    void playSoundChanged();
    void startCaptureAtLaunchChanged();
    void showMenuBarIconChanged();
    void openWindowAtLaunchChanged();
    void alertsChanged();
    void notificationStatusChanged();
    void loginItemStatusChanged();
    void selectedAlertIDChanged();
    void lastErrorChanged();
    void mutedChanged();
    // A notification was clicked and its alert selected: the monitor screen should show it.
    void notificationActivated();

private:
    void readSettings();
    void load();
    void save();
    void add(const std::vector<MonitorAlert> &added);
    void notify(const std::vector<MonitorAlert> &alerts, bool force);
    void updateBadge();
    void writeSetting(const char *key, const QVariant &value);
    void syncSettings();
    void activated(const QString &alertID);

    NotificationCenter *m_notifications;
    LoginItem *m_loginItem;
    DockBadge *m_badge;
    QSettings *m_defaults;
    bool m_settingsSyncPending = false;
    bool m_settingsFailureTold = false;
    AlertHistory m_history;

    Severity m_minimumSeverity = Severity::high;
    bool m_keepRunningInBackground = true;
    bool m_notificationsEnabled = true;
    bool m_playSound = true;
    bool m_startCaptureAtLaunch = false;
    bool m_showMenuBarIcon = true;
    bool m_openWindowAtLaunch = true;
    std::vector<MonitorAlert> m_alerts;
    NotificationAuthorization m_notificationStatus = NotificationAuthorization::notDetermined;
    LoginItemStatus m_loginItemStatus = LoginItemStatus::notRegistered;
    std::optional<Uuid> m_selectedAlertID;
    QString m_lastError;
    bool m_muted = false;
    std::unordered_set<std::string> m_seenKeys; // never shrinks
};
