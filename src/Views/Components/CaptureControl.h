#pragma once

#include "Services/LiveMonitor.h"

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

} // namespace CaptureControl
