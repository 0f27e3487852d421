#pragma once

// Positive signs that work the code under test queued on the event loop is over, for checks that
// something does not happen. A fixed wait passes anyway when a loaded machine runs the unwanted
// work late; these rest on the order Qt keeps instead.

#include "support/QtTestSupport.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// Runs the event loop until everything posted to it so far has been delivered: posted events
// are delivered in the order they were posted.
inline bool postedDelivered()
{
    auto back = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [back] { *back = true; }, Qt::QueuedConnection);
    return waitUntil([&] { return *back; }, 30000);
}

// Runs the event loop through `count` waits of `interval`, each started when the one before it
// ended, as a single-shot timer that is started again when it fires. Timers fire in the order
// they fall due, so such a chain started after one of the code's own with the same interval (and
// before that one's first wait ends) ends after it, however late the machine runs both: after
// wait k of this chain, the code's chain has finished its wait k. onWait(k) runs at the end of
// wait k, counted from 1.
inline bool afterWaits(std::chrono::milliseconds interval, int count = 1, const std::function<void(int)> &onWait = {})
{
    int done = 0;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++done;
        if (onWait) onWait(done);
        if (done < count) timer.start(interval);
    });
    timer.start(interval);
    return waitUntil([&] { return done >= count; }, int((interval * count).count()) + 30000);
}
