#pragma once

#include "Platform/NotificationCenter.h"

#include <QDBusConnection>
#include <QVariantList>

#include <map>
#include <vector>

// Notifications through the desktop notification service (org.freedesktop.Notifications).
// The service has no permission prompt: reachable reads as authorized, unreachable as denied, and
// without a bus nothing is sent at all.
class DBusNotificationCenter : public NotificationCenter {
    Q_OBJECT
public:
    // On the session bus.
    explicit DBusNotificationCenter(QObject *parent = nullptr);
    explicit DBusNotificationCenter(const QDBusConnection &bus, QObject *parent = nullptr);

    void add(const NotificationContent &content) override;
    void requestAuthorization(std::function<void()> done) override;
    void readAuthorization(std::function<void(NotificationAuthorization)> done) override;
    void removeAllDeliveredNotifications() override;

    // The arguments of one Notify call; `markup` when the service reads the body as markup.
    static QVariantList notifyArguments(const NotificationContent &content, bool markup);

private slots:
    void actionInvoked(uint id, const QString &actionKey);
    void notificationClosed(uint id, uint reason);

private:
    void askCapabilities(std::function<void(bool reachable)> done);
    void send(const NotificationContent &content);

    QDBusConnection m_bus;
    bool m_capabilitiesKnown = false;
    bool m_markup = false;
    std::vector<NotificationContent> m_waiting; // posted before the service's capabilities were known
    std::map<uint, QString> m_delivered;        // notification id -> alert id
    unsigned m_removals = 0;                    // counts removeAllDeliveredNotifications() calls
};
