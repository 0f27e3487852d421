#include "Views/Components/PoolWork.h"

namespace PoolWork {

QObject *receiver()
{
    // Made on first use, on the main thread (views make their requests there), and never deleted:
    // a continuation still in flight at exit must find it.
    static QObject *const instance = [] {
        auto *object = new QObject;
        object->setObjectName(QStringLiteral("poolWorkReceiver"));
        return object;
    }();
    return instance;
}

void releaseLater(std::shared_ptr<const void> held)
{
    if (!held || held.use_count() > 1) return;
    QThreadPool::globalInstance()->start([held = std::move(held)]() mutable { held.reset(); });
}

} // namespace PoolWork
