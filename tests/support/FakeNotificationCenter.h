#pragma once

#include "Platform/NotificationCenter.h"

#include <vector>

// Records what would have been posted; answers with a settable permission.
class FakeNotificationCenter : public NotificationCenter {
    Q_OBJECT
public:
    using NotificationCenter::NotificationCenter;

    std::vector<NotificationContent> added;
    NotificationAuthorization authorization = NotificationAuthorization::authorized;
    int authorizationRequests = 0;
    int removals = 0;

    void add(const NotificationContent &content) override { added.push_back(content); }
    void requestAuthorization(std::function<void()> done) override
    {
        ++authorizationRequests;
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
    }
    void readAuthorization(std::function<void(NotificationAuthorization)> done) override
    {
        QMetaObject::invokeMethod(
            this, [this, done = std::move(done)] { done(authorization); }, Qt::QueuedConnection);
    }
    void removeAllDeliveredNotifications() override { ++removals; }

    void click(const QString &alertID) { emit activated(alertID); }
};
