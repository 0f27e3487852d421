#include "Platform/Background.h"

#include "support/QtTestSupport.h"

#include <QCoreApplication>
#include <QPromise>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Each way to start work, so every one is held to the same promises.
struct Start {
    const char *name;
    std::function<void(QObject *receiver, std::function<int()> work, std::function<void(int)> done)> start;
};

Background::Tasks &sharedTasks()
{
    static Background::Tasks tasks;
    return tasks;
}

const Start starts[] = {
    {"run", [](QObject *receiver, auto work, auto done) { Background::run(receiver, work, done); }},
    {"Tasks::run", [](QObject *receiver, auto work, auto done) { sharedTasks().run(receiver, work, done); }},
    {"whenDone",
     [](QObject *receiver, auto work, auto done) {
         Background::whenDone(QtConcurrent::run(QThreadPool::globalInstance(), work), receiver,
                              [done](QFuture<int> ended) { done(ended.result()); });
     }},
};

TEST(Background, DeliversOnTheReceiversThreadAndNeverInsideTheCall)
{
    for (const Start &s : starts) {
        QObject receiver;
        std::atomic<QThread *> workedOn{nullptr};
        QThread *deliveredOn = nullptr;
        int delivered = 0;
        s.start(
            &receiver,
            [&] {
                workedOn = QThread::currentThread();
                return 7;
            },
            [&](int result) {
                deliveredOn = QThread::currentThread();
                delivered = result;
            });
        // Ended, its result waiting for the event loop.
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_EQ(delivered, 0) << s.name;
        ASSERT_TRUE(waitUntil([&] { return delivered != 0; })) << s.name;
        EXPECT_EQ(delivered, 7) << s.name;
        EXPECT_EQ(deliveredOn, receiver.thread()) << s.name;
        EXPECT_NE(workedOn.load(), receiver.thread()) << s.name;
    }
}

TEST(Background, AResultIsDroppedOnceItsReceiverIsGone)
{
    for (const Start &s : starts) {
        // Gone while the work runs, and gone after the result was posted but before it landed.
        for (const bool whileWorking : {true, false}) {
            auto receiver = std::make_unique<QObject>();
            QSemaphore going;
            bool delivered = false;
            s.start(
                receiver.get(),
                [&] {
                    if (whileWorking) going.acquire();
                    return 1;
                },
                [&](int) { delivered = true; });
            if (!whileWorking) QThreadPool::globalInstance()->waitForDone();
            receiver.reset();
            if (whileWorking) going.release();
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            EXPECT_FALSE(delivered) << s.name << (whileWorking ? " while working" : " once posted");
        }
    }
}

// Slow to move: the post takes long enough for a wait that ends too early to show.
struct SlowDone {
    bool *delivered;
    explicit SlowDone(bool *delivered) : delivered(delivered) {}
    SlowDone(SlowDone &&other) noexcept : delivered(other.delivered) { std::this_thread::sleep_for(20ms); }
    void operator()(int) const { *delivered = true; }
};

TEST(Background, TasksWaitUntilEveryResultIsPosted)
{
    QObject receiver;
    bool delivered = false;
    QSemaphore going;
    {
        Background::Tasks tasks;
        tasks.run(
            &receiver,
            [&] {
                going.acquire();
                return 1;
            },
            SlowDone(&delivered));
        EXPECT_FALSE(tasks.wait(50ms)); // still working
        going.release();
        EXPECT_TRUE(tasks.wait(5000ms));
        // Posted once the wait is over: a single pass of the event loop hands it over.
        QCoreApplication::processEvents();
        EXPECT_TRUE(delivered);

        // The destructor waits too.
        delivered = false;
        tasks.run(
            &receiver,
            [&] {
                going.acquire();
                return 1;
            },
            SlowDone(&delivered));
        std::thread([&] {
            std::this_thread::sleep_for(50ms);
            going.release();
        }).detach();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(delivered);
}

TEST(Background, WorkThatThrowsHandsNothingBack)
{
    QObject receiver;
    bool delivered = false;
    Background::Tasks tasks;
    tasks.run(
        &receiver, []() -> int { throw std::runtime_error("no"); }, [&](int) { delivered = true; });
    EXPECT_TRUE(tasks.wait(5000ms));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

TEST(Background, WhenDoneHandsOverFinishedFailedAndCancelledFutures)
{
    enum class End { finished, failed, cancelled };
    struct Case {
        const char *name;
        End end;
        bool elsewhere; // ended on another thread, after the call
    };
    const Case cases[] = {
        {"finished before", End::finished, false},
        {"finished elsewhere", End::finished, true},
        {"failed", End::failed, true},
        {"cancelled", End::cancelled, true},
        {"cancelled before", End::cancelled, false},
    };
    for (const Case &c : cases) {
        QObject receiver;
        auto promise = std::make_shared<QPromise<int>>();
        promise->start();
        const auto end = [c, promise] {
            if (c.end == End::finished) promise->addResult(5);
            if (c.end == End::failed) promise->setException(std::make_exception_ptr(std::runtime_error("broke")));
            if (c.end == End::cancelled) promise->future().cancel();
            promise->finish();
        };
        if (!c.elsewhere) end();
        std::optional<QFuture<int>> handed;
        QThread *deliveredOn = nullptr;
        Background::whenDone(promise->future(), &receiver, [&](QFuture<int> ended) {
            handed = ended;
            deliveredOn = QThread::currentThread();
        });
        EXPECT_FALSE(handed) << c.name;
        if (c.elsewhere) std::thread(end).join();
        ASSERT_TRUE(waitUntil([&] { return handed.has_value(); })) << c.name;
        EXPECT_EQ(deliveredOn, receiver.thread()) << c.name;
        EXPECT_TRUE(handed->isFinished()) << c.name;
        switch (c.end) {
        case End::finished: EXPECT_EQ(handed->result(), 5) << c.name; break;
        case End::failed: EXPECT_THROW(handed->waitForFinished(), std::runtime_error) << c.name; break;
        case End::cancelled:
            EXPECT_TRUE(handed->isCanceled()) << c.name;
            EXPECT_EQ(handed->resultCount(), 0) << c.name;
            break;
        }
        // Handed over once.
        handed.reset();
        QCoreApplication::processEvents();
        EXPECT_FALSE(handed) << c.name;
    }
}

TEST(Background, TheLatestTicketOfASeriesWins)
{
    Background::Series series;
    const Background::Ticket first = series.next();
    EXPECT_FALSE(first.stale());
    const Background::Ticket second = series.next();
    EXPECT_TRUE(first.stale());
    EXPECT_FALSE(second.stale());
    EXPECT_GT(second.generation(), first.generation());
    series.cancel();
    EXPECT_TRUE(second.stale());
    EXPECT_FALSE(series.next().stale());
}

TEST(Background, ReleaseLaterFreesTheLastReferenceOnThePool)
{
    struct Marker {
        std::atomic<QThread *> *freedOn;
        ~Marker() { *freedOn = QThread::currentThread(); }
    };
    std::atomic<QThread *> freedOn{nullptr};
    auto held = std::make_shared<const Marker>(Marker{&freedOn});
    freedOn = nullptr; // the temporary's
    auto other = held;
    Background::releaseLater(std::move(held));
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(freedOn.load(), nullptr); // still held elsewhere
    Background::releaseLater(std::move(other));
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_NE(freedOn.load(), nullptr);
    EXPECT_NE(freedOn.load(), QThread::currentThread());
}

} // namespace
