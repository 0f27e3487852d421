#include "Store/SignalThrottle.h"

#include "support/QtTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// Lets the event loop run for a while, long enough for the throttle's interval to pass.
void runEventsFor(std::chrono::milliseconds span)
{
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(SignalThrottle, ABurstEmitsOnceAtOnceAndOnceMoreAtTheEnd)
{
    int emitted = 0;
    SignalThrottle throttle([&] { ++emitted; }, 100ms);
    for (int i = 0; i < 5; ++i) throttle.request();
    EXPECT_EQ(emitted, 1);
    EXPECT_TRUE(throttle.pending());
    ASSERT_TRUE(waitUntil([&] { return emitted == 2; }, 5000));
    EXPECT_FALSE(throttle.pending());
    runEventsFor(250ms);
    EXPECT_EQ(emitted, 2) << "nothing more was asked";
}

TEST(SignalThrottle, FlushEmitsOnlyWhatWaitsAndEmitNowStartsTheIntervalAgain)
{
    int emitted = 0;
    SignalThrottle throttle([&] { ++emitted; }, 100ms);
    throttle.request();
    throttle.flush();
    EXPECT_EQ(emitted, 1) << "nothing waited";
    throttle.request();
    EXPECT_EQ(emitted, 1);
    throttle.flush();
    EXPECT_EQ(emitted, 2);
    runEventsFor(250ms);
    EXPECT_EQ(emitted, 2) << "the flushed emission came again from the timer";

    throttle.emitNow();
    EXPECT_EQ(emitted, 3);
    throttle.request();
    EXPECT_EQ(emitted, 3) << "a request right after an emission waits";
    ASSERT_TRUE(waitUntil([&] { return emitted == 4; }, 5000));
}

} // namespace
