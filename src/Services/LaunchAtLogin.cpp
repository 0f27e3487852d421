#include "Services/LaunchAtLogin.h"

namespace LaunchAtLogin {

bool isOn(LoginItemStatus status)
{
    return status == LoginItemStatus::enabled || status == LoginItemStatus::requiresApproval;
}

Outcome assign(LoginItem &item, bool on)
{
    Outcome outcome;
    try {
        if (on) item.registerItem();
        else item.unregisterItem();
    } catch (const LoginItemError &e) {
        outcome.error = "Couldn't update the login item: " + QString::fromStdString(e.what());
    }
    outcome.status = item.status();
    return outcome;
}

} // namespace LaunchAtLogin
