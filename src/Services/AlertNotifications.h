#pragma once

#include "Platform/NotificationCenter.h"
#include "Services/MonitorAlert.h"

#include <vector>

// The user notifications for newly raised alerts.
namespace AlertNotifications {

// Below four alerts one notification each, in list order; from four on one summary of them all.
std::vector<NotificationContent> contents(const std::vector<MonitorAlert> &alerts, bool playSound);

struct Settings {
    bool notificationsEnabled = true;
    bool muted = false;
    bool playSound = true;
};

// Posts the contents when forced, or when notifications are enabled and not muted.
void post(NotificationCenter &center, const std::vector<MonitorAlert> &alerts, bool force, const Settings &settings);

} // namespace AlertNotifications
