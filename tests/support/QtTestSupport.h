#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include <functional>

// Spins the event loop until the condition holds or the timeout passes; true when it held.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Lets the work views hand to the shared pool land: waits for the pool, then runs what its results
// posted, until nothing is left running. Not waitForDone(): a live capture's reader stays on the
// pool as long as the capture, with its thread released, so only the counted threads are awaited.
inline void settlePool()
{
    do {
        while (QThreadPool::globalInstance()->activeThreadCount() > 0) QThread::msleep(1);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    } while (QThreadPool::globalInstance()->activeThreadCount() > 0);
}
