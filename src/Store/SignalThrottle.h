#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>

// At most one emission of a signal every interval while what it announces changes quickly, and
// the last state emitted once at the end. Lives on the thread that emits.
class SignalThrottle {
public:
    explicit SignalThrottle(std::function<void()> emitSignal,
                            std::chrono::milliseconds interval = std::chrono::milliseconds(250));

    // Emits now when the last emission is an interval ago, otherwise once the interval is over.
    void request();
    // Emits now, whatever waits.
    void emitNow();
    // Emits now if an emission waits.
    void flush();
    bool pending() const { return m_pending; }

private:
    std::function<void()> m_emit;
    std::chrono::milliseconds m_interval;
    QTimer m_timer;
    QElapsedTimer m_since;
    bool m_pending = false;
};
