#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>

namespace Parallel {

unsigned workers()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

thread_local Interruption *t_interruption = nullptr;

} // namespace

InterruptionScope::InterruptionScope(Interruption *interruption) : m_previous(t_interruption)
{
    t_interruption = interruption;
}

InterruptionScope::~InterruptionScope()
{
    t_interruption = m_previous;
}

Interruption *currentInterruption()
{
    return t_interruption;
}

struct Pool::Loop {
    size_t count = 0;
    const std::function<void(size_t)> *task = nullptr;
    Interruption *interruption = nullptr; // the starter's, for every thread that takes a task
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    // Threads inside take(); the loop is over once its tasks are handed out and none is left.
    std::mutex lock;
    std::condition_variable idle;
    size_t taking = 0;

    bool handedOut() const { return failed.load() || next.load() >= count; }
};

Pool::Pool(unsigned threads)
{
    const unsigned helpers = std::max(1u, threads) - 1;
    m_workers.reserve(helpers);
    try {
        for (unsigned t = 0; t < helpers; ++t) m_workers.emplace_back([this] { work(); });
    } catch (const std::system_error &) {
        // No more threads to be had: loops run on those started and on their callers.
    }
}

Pool::~Pool()
{
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &worker : m_workers) worker.join();
}

Pool &Pool::shared()
{
    // Never destroyed: work still running while the process ends may use it to the last.
    static Pool &pool = *new Pool(workers());
    return pool;
}

Pool &Pool::single()
{
    static Pool pool(1);
    return pool;
}

// Runs tasks of the loop until none is left to take or one has failed.
void Pool::take(Loop &loop)
{
    {
        const std::lock_guard lock(loop.lock);
        ++loop.taking;
    }
    const InterruptionScope scope(loop.interruption);
    for (size_t i; !loop.failed.load() && (i = loop.next.fetch_add(1)) < loop.count;) {
        try {
            checkpoint();
            (*loop.task)(i);
        } catch (...) {
            const std::lock_guard lock(loop.lock);
            if (!loop.failure) loop.failure = std::current_exception();
            loop.failed = true;
        }
    }
    const std::lock_guard lock(loop.lock);
    if (--loop.taking == 0) loop.idle.notify_all();
}

void Pool::retire(const std::shared_ptr<Loop> &loop)
{
    const std::lock_guard lock(m_lock);
    std::erase(m_loops, loop);
}

void Pool::work()
{
    for (;;) {
        std::shared_ptr<Loop> loop;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_loops.empty(); });
            if (m_stopping) return;
            loop = m_loops.front();
        }
        take(*loop);
        retire(loop);
    }
}

void Pool::forEach(size_t count, const std::function<void(size_t)> &task)
{
    if (count == 0) return;
    if (m_workers.empty() || count == 1) {
        for (size_t i = 0; i < count; ++i) {
            checkpoint();
            task(i);
        }
        return;
    }
    auto loop = std::make_shared<Loop>();
    loop->count = count;
    loop->task = &task;
    loop->interruption = currentInterruption();
    {
        const std::lock_guard lock(m_lock);
        m_loops.push_back(loop);
    }
    m_wake.notify_all();
    take(*loop);
    retire(loop);
    // A worker that picks the loop up from here on finds nothing left to take, so `task` is no
    // longer called once those still inside have left.
    std::unique_lock lock(loop->lock);
    loop->idle.wait(lock, [&] { return loop->taking == 0 && loop->handedOut(); });
    if (loop->failure) std::rethrow_exception(loop->failure);
}

void Pool::both(const std::function<void()> &first, const std::function<void()> &second)
{
    forEach(2, [&](size_t i) { i == 0 ? first() : second(); });
}

} // namespace Parallel
