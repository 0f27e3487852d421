#pragma once

#include "Platform/LoginItem.h"

#include <QString>

// The "start at login" switch over the application's login item.
namespace LaunchAtLogin {

// On while the item is enabled or waits for the user's approval.
bool isOn(LoginItemStatus status);

struct Outcome {
    LoginItemStatus status = LoginItemStatus::notRegistered; // read again after the change
    QString error;                                           // "" when it worked
};

// Registers or unregisters, also when already in that state, then reads the status again so the
// switch shows the real state.
Outcome assign(LoginItem &item, bool on);

} // namespace LaunchAtLogin
