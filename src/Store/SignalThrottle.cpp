#include "Store/SignalThrottle.h"

SignalThrottle::SignalThrottle(std::function<void()> emitSignal, std::chrono::milliseconds interval)
    : m_emit(std::move(emitSignal)), m_interval(interval)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { flush(); });
}

void SignalThrottle::request()
{
    const qint64 interval = m_interval.count();
    if (!m_since.isValid() || m_since.elapsed() >= interval) return emitNow();
    m_pending = true;
    if (!m_timer.isActive()) m_timer.start(int(interval - m_since.elapsed()));
}

void SignalThrottle::emitNow()
{
    m_pending = false;
    m_timer.stop();
    m_since.start();
    m_emit();
}

void SignalThrottle::flush()
{
    if (m_pending) emitNow();
}
