#pragma once

#include "Services/LiveMonitor.h"

#include <QString>

class QPushButton;

// The capture's start and stop as every monitor view offers them.
namespace CaptureControl {

inline bool isRunning(const LiveMonitor::State &state)
{
    return std::holds_alternative<LiveMonitor::Running>(state);
}
inline bool isStarting(const LiveMonitor::State &state)
{
    return std::holds_alternative<LiveMonitor::Starting>(state);
}

// An orderly stop: no monitor alert; buffer, findings and counters stay.
inline void stop(LiveMonitor &live)
{
    live.cleanup();
    live.setState(LiveMonitor::Idle{});
}

// Stop while running or starting, otherwise start (which returns at once).
inline void toggle(LiveMonitor &live)
{
    if (isRunning(live.state()) || isStarting(live.state())) stop(live);
    else live.start();
}

// How big a prominent start button is drawn.
struct ButtonShape {
    int radius;
    int paddingV;
    int paddingH;
};

// The capture button as the state asks: `stopText` while running, and disabled while starting;
// otherwise a prominent "Start Monitoring".
void showState(QPushButton *button, const LiveMonitor::State &state, const QString &stopText, ButtonShape shape);

} // namespace CaptureControl
