#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The notification permission as the screens explain it; the values are fixed.
enum class NotificationAuthorization : int {
    notDetermined = 0,
    denied = 1,
    authorized = 2,
    provisional = 3,
    ephemeral = 4,
};

// One user notification, shown at once.
struct NotificationContent {
    QString title;
    QString subtitle;
    QString body;
    QString alertID;          // handed back when the notification is clicked
    QString threadIdentifier; // groups the application's notifications
    bool sound = false;       // the desktop's default notification sound

    bool operator==(const NotificationContent &) const = default;
};

// The desktop's notification service. Nothing here blocks: answers come later, on the thread of
// this object, and only while it lives.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Fire and forget: without permission, or without a service, nothing is shown.
    virtual void add(const NotificationContent &content) = 0;
    // Asks for permission; `done` runs once the answer is in (never before this returns).
    virtual void requestAuthorization(std::function<void()> done) = 0;
    virtual void readAuthorization(std::function<void(NotificationAuthorization)> done) = 0;
    // Withdraws every notification of this application that is still shown.
    virtual void removeAllDeliveredNotifications() = 0;

signals:
    // The user clicked a notification: the alert id it was posted with.
    void activated(const QString &alertID);
};
