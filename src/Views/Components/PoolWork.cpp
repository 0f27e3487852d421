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

} // namespace PoolWork
