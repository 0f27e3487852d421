#include "Platform/Background.h"

namespace Background {

namespace Detail {

Destination::Destination(QObject *receiver) : m_target(std::make_shared<Target>())
{
    m_target->receiver = receiver;
    // Without a context, so called directly: on the receiver's thread as it goes, before its posted
    // events are removed.
    m_watch = QObject::connect(receiver, &QObject::destroyed, [target = std::weak_ptr<Target>(m_target)] {
        if (const std::shared_ptr<Target> held = target.lock()) {
            const std::lock_guard lock(held->lock);
            held->receiver = nullptr;
        }
    });
}

Destination::~Destination()
{
    QObject::disconnect(m_watch);
}

void Destination::post(std::function<void()> deliver)
{
    const std::lock_guard lock(m_target->lock);
    if (m_target->receiver) QMetaObject::invokeMethod(m_target->receiver, std::move(deliver), Qt::QueuedConnection);
}

} // namespace Detail

bool Tasks::wait(std::optional<std::chrono::milliseconds> longest)
{
    std::unique_lock lock(m_count->lock);
    const auto idle = [this] { return m_count->running == 0; };
    if (!longest) {
        m_count->idle.wait(lock, idle);
        return true;
    }
    return m_count->idle.wait_for(lock, *longest, idle);
}

} // namespace Background
