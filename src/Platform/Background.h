#pragma once

#include <QFuture>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

// The one way work on the shared thread pool hands its result back: work runs on
// QThreadPool::globalInstance(), and its result is posted to the receiver's thread, never handed
// over inside the call that started it, and dropped once the receiver is gone.
namespace Background {

namespace Detail {

// Where a result goes: the receiver while it lives. Its `destroyed` clears the receiver under the
// lock a post takes, so a result is either queued before the receiver goes, and removed with its
// other posted events, or dropped.
class Destination {
public:
    explicit Destination(QObject *receiver);
    ~Destination();
    Destination(const Destination &) = delete;
    Destination &operator=(const Destination &) = delete;

    void post(std::function<void()> deliver);

private:
    struct Target {
        std::mutex lock;
        QObject *receiver = nullptr;
    };
    std::shared_ptr<Target> m_target;
    QMetaObject::Connection m_watch;
};

// Tasks started and not yet done, for an owner that waits for them.
struct Count {
    std::mutex lock;
    std::condition_variable idle;
    int running = 0;
};

template <typename Work, typename Done>
void start(QObject *receiver, Work work, Done done, std::shared_ptr<Count> count)
{
    using Result = std::invoke_result_t<Work &>;
    struct State {
        std::optional<Work> work;
        std::optional<Done> done;
        std::shared_ptr<Destination> destination;
        std::shared_ptr<Count> count;
    };
    if (count) {
        const std::lock_guard lock(count->lock);
        ++count->running;
    }
    auto state = std::make_shared<State>(
        State{std::move(work), std::move(done), std::make_shared<Destination>(receiver), std::move(count)});
    QThreadPool::globalInstance()->start([state = std::move(state)]() mutable {
        // Everything the task holds goes here, on the pool, before it counts as done: the owner
        // may be gone the moment it does.
        std::shared_ptr<State> held = std::exchange(state, nullptr);
        try {
            if constexpr (std::is_void_v<Result>) {
                (*held->work)();
                held->work.reset();
                held->destination->post([done = std::make_shared<Done>(std::move(*held->done))] { (*done)(); });
            } else {
                auto result = std::make_shared<Result>((*held->work)());
                held->work.reset();
                held->destination->post(
                    [done = std::make_shared<Done>(std::move(*held->done)), result] { (*done)(std::move(*result)); });
            }
        } catch (...) {
            // Work that throws has no result to hand back.
        }
        const std::shared_ptr<Count> count = std::move(held->count);
        held.reset();
        if (count) {
            const std::lock_guard lock(count->lock);
            if (--count->running == 0) count->idle.notify_all();
        }
    });
}

} // namespace Detail

// Runs work() on the pool; done(result) follows on the receiver's thread while the receiver lives.
// Work that throws hands nothing back.
template <typename Work, typename Done>
void run(QObject *receiver, Work work, Done done)
{
    Detail::start(receiver, std::move(work), std::move(done), nullptr);
}

// Work whose owner waits for it: its destructor does, and wait() lets it stop waiting after a while
// (quitting, when a task the pool could not start would never end). The receiver must outlive the
// owner's wait; a task counts as done once its result is posted.
class Tasks {
public:
    Tasks() = default;
    ~Tasks() { wait(); }
    Tasks(const Tasks &) = delete;
    Tasks &operator=(const Tasks &) = delete;

    template <typename Work, typename Done>
    void run(QObject *receiver, Work work, Done done)
    {
        Detail::start(receiver, std::move(work), std::move(done), m_count);
    }

    // Waits until no task runs, or at most `longest`; true when none does.
    bool wait(std::optional<std::chrono::milliseconds> longest = std::nullopt);

private:
    std::shared_ptr<Detail::Count> m_count = std::make_shared<Detail::Count>();
};

// For a future that ends elsewhere (another thread, another object): done(future) follows on the
// receiver's thread once it has ended, finished, failed or cancelled, while the receiver lives.
// result() rethrows a failure there.
template <typename T, typename Done>
void whenDone(QFuture<T> future, QObject *receiver, Done done)
{
    auto destination = std::make_shared<Detail::Destination>(receiver);
    auto shared = std::make_shared<Done>(std::move(done));
    auto deliver = [destination, shared](QFuture<T> ended) { destination->post([shared, ended] { (*shared)(ended); }); };
    // A cancelled future runs no continuation but the cancel handler, which is given the future.
    future.then(QtFuture::Launch::Sync, [deliver](QFuture<T> ended) { deliver(std::move(ended)); })
        .onCanceled([deliver, future] { deliver(future); });
}

// One request of a series: stale once a newer one was made, and its work may stop early then.
class Ticket {
public:
    Ticket(uint64_t generation, std::shared_ptr<const std::atomic<uint64_t>> current)
        : m_generation(generation), m_current(std::move(current))
    {}
    bool stale() const { return m_current->load(std::memory_order_relaxed) != m_generation; }
    uint64_t generation() const { return m_generation; }

private:
    uint64_t m_generation;
    std::shared_ptr<const std::atomic<uint64_t>> m_current;
};

// Requests of which only the latest counts.
class Series {
public:
    // A new request; every ticket before it is stale from now on.
    Ticket next() { return {m_current->fetch_add(1, std::memory_order_relaxed) + 1, m_current}; }
    // Makes every ticket so far stale.
    void cancel() { m_current->fetch_add(1, std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<uint64_t>> m_current = std::make_shared<std::atomic<uint64_t>>(0);
};

// Lets go of a large value on the pool: the last reference to a big trail's records frees millions
// of strings, which the main thread should not wait for. A shared value goes there too even when
// others still hold it: the pool's reference may well be the last.
template <typename T>
void releaseLater(T held)
{
    QThreadPool::globalInstance()->start([held = std::make_shared<T>(std::move(held))]() mutable { held.reset(); });
}

} // namespace Background
