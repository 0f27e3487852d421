#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace Parallel {

unsigned workers()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void forEach(size_t count, unsigned threads, const std::function<void(size_t)> &task)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        for (size_t i; !failed.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < count;) {
            try {
                task(i);
            } catch (...) {
                const std::lock_guard lock(failureLock);
                if (!failure) failure = std::current_exception();
                failed = true;
            }
        }
    };
    const size_t helpers = std::min<size_t>(std::max(1u, threads), count) - (count > 0 ? 1 : 0);
    std::vector<std::thread> started;
    started.reserve(helpers);
    try {
        for (size_t t = 0; t < helpers; ++t) started.emplace_back(work);
    } catch (const std::system_error &) {
        // No more threads to be had: those started and this one share the tasks.
    }
    work();
    for (std::thread &thread : started) thread.join();
    if (failure) std::rethrow_exception(failure);
}

void both(const std::function<void()> &first, const std::function<void()> &second)
{
    forEach(2, 2, [&](size_t i) { i == 0 ? first() : second(); });
}

} // namespace Parallel
