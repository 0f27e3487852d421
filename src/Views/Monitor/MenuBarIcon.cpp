#include "Views/Monitor/MenuBarIcon.h"

#include "Views/Components/Symbols.h"

QString menuBarIconSymbol(const LiveMonitor::State &state, int64_t unacknowledgedCount)
{
    if (unacknowledgedCount > 0) return QStringLiteral("exclamationmark.shield.fill");
    if (std::holds_alternative<LiveMonitor::Running>(state)) return QStringLiteral("checkmark.shield.fill");
    if (std::holds_alternative<LiveMonitor::Failed>(state)) return QStringLiteral("xmark.shield");
    return QStringLiteral("shield");
}

QIcon menuBarIcon(const LiveMonitor::State &state, int64_t unacknowledgedCount)
{
    return symbolIcon(menuBarIconSymbol(state, unacknowledgedCount));
}
