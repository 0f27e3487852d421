#pragma once

#include "Services/LiveMonitor.h"

#include <QIcon>
#include <QString>

#include <cstdint>

// The menu-bar monitor's symbol, first rule that holds: unacknowledged alerts
// "exclamationmark.shield.fill"; running "checkmark.shield.fill"; idle or starting "shield";
// failed "xmark.shield".
QString menuBarIconSymbol(const LiveMonitor::State &state, int64_t unacknowledgedCount);

// The symbol alone, drawn for the tray; its accessible name is "Quillmarsh monitor".
QIcon menuBarIcon(const LiveMonitor::State &state, int64_t unacknowledgedCount);
inline constexpr const char *menuBarIconAccessibilityLabel = "Quillmarsh monitor";
