#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Work that splits into independent tasks, run by a fixed set of worker threads. std::execution::par
// runs serially with this toolchain (no TBB), so the engine keeps its own.
namespace Parallel {

// The threads worth running on this machine; at least 1.
unsigned workers();

// What stops long work from outside: a load that was cancelled, a memory limit, a test's
// injected failure. A scope sets it for the thread it is made on; a loop hands its starter's to
// the workers that help it and consults it before each task, and long loops consult it at their
// own checkpoints. Work with none set is never stopped.
class Interruption {
public:
    virtual ~Interruption() = default;
    // Throws to stop the work. `done` counts the bytes decoded since the caller's last
    // checkpoint; `upcoming` the bytes the caller is about to take at once.
    virtual void check(uint64_t done, uint64_t upcoming) = 0;
};

// Sets the thread's interruption for its lifetime (nullptr for work that must not stop midway,
// such as moving records out of lists it leaves behind); the one before comes back after it.
class InterruptionScope {
public:
    explicit InterruptionScope(Interruption *interruption);
    ~InterruptionScope();
    InterruptionScope(const InterruptionScope &) = delete;
    InterruptionScope &operator=(const InterruptionScope &) = delete;

private:
    Interruption *m_previous;
};

// The calling thread's interruption, nullptr when none.
Interruption *currentInterruption();

// Asks the thread's interruption, if any, whether to go on; it throws when not.
inline void checkpoint(uint64_t done = 0, uint64_t upcoming = 0)
{
    if (Interruption *interruption = currentInterruption()) interruption->check(done, upcoming);
}

// Worker threads that parallel loops share. A loop runs on the thread that starts it and on the
// workers free to help, so a loop started from inside another loop's task, or several started at
// once from different threads, always finish: whoever starts a loop works on it until it is done.
class Pool {
public:
    // `threads` threads in all work on a loop: the caller's and up to threads - 1 workers.
    explicit Pool(unsigned threads);
    ~Pool();
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;

    unsigned threads() const { return unsigned(m_workers.size()) + 1; }

    // Runs task(0) … task(count - 1) and returns when all have ended. The first exception a task
    // throws is rethrown here, once no thread runs a task of this loop any more; tasks not yet
    // started are then skipped. Each task runs under the caller's interruption, which is asked
    // before it starts.
    void forEach(size_t count, const std::function<void(size_t)> &task);
    // Runs both and returns when both have ended; rethrows the first exception either threw.
    void both(const std::function<void()> &first, const std::function<void()> &second);

    // The process's pool: one thread per core. Made on first use.
    static Pool &shared();
    // Runs every loop on the caller's thread alone.
    static Pool &single();

private:
    struct Loop;

    void work();
    static void take(Loop &loop);
    void retire(const std::shared_ptr<Loop> &loop);

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Loop>> m_loops; // loops that still have tasks to hand out
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

} // namespace Parallel
