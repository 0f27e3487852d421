#include "App/Quitting.h"

#include <QDeadlineTimer>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

namespace Quitting {

namespace {

QDeadlineTimer &deadline()
{
    static QDeadlineTimer timer(QDeadlineTimer::Forever);
    return timer;
}

} // namespace

void limit(QCoreApplication &application)
{
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &application,
                     [] { deadline() = QDeadlineTimer(allowedMs); });
}

int finish(int status)
{
    if (deadline().isForever()) deadline() = QDeadlineTimer(allowedMs);
    if (QThreadPool::globalInstance()->waitForDone(int(deadline().remainingTime()))) return status;
    // The application object's end would wait for the pool without a limit: end here. What the
    // program keeps on disk is written as it changes, so nothing is lost.
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace Quitting
