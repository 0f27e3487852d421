#include "Engine/Support/Parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Every task runs exactly once, on no more threads than the pool has, for any pool size.
TEST(ParallelPool, RunsEveryTaskOnceOnItsThreads)
{
    for (const unsigned threads : {1u, 2u, 5u}) {
        Parallel::Pool pool(threads);
        EXPECT_EQ(pool.threads(), threads);
        std::vector<std::atomic<int>> runs(1000);
        std::mutex lock;
        std::set<std::thread::id> seen;
        pool.forEach(runs.size(), [&](size_t i) {
            runs[i].fetch_add(1);
            const std::lock_guard guard(lock);
            seen.insert(std::this_thread::get_id());
        });
        for (size_t i = 0; i < runs.size(); ++i) ASSERT_EQ(runs[i].load(), 1) << i << ", " << threads << " threads";
        EXPECT_LE(seen.size(), threads);
        if (threads == 1) {
            EXPECT_EQ(*seen.begin(), std::this_thread::get_id());
        }
    }
}

// A loop started from inside another's task, on a pool whose workers are all busy with the
// outer loop, finishes on the threads that start it; so do loops started from other threads
// at the same time.
TEST(ParallelPool, NestedAndSideBySideLoopsFinish)
{
    Parallel::Pool pool(3);
    std::atomic<int> inner{0};
    pool.forEach(6, [&](size_t) { pool.forEach(50, [&](size_t) { inner.fetch_add(1); }); });
    EXPECT_EQ(inner.load(), 300);

    std::atomic<int> total{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 4; ++c) callers.emplace_back([&] { pool.forEach(200, [&](size_t) { total.fetch_add(1); }); });
    for (std::thread &caller : callers) caller.join();
    EXPECT_EQ(total.load(), 800);
}

TEST(ParallelPool, RethrowsAFailureAndSkipsWhatHasNotBegun)
{
    for (const unsigned threads : {1u, 4u}) {
        Parallel::Pool pool(threads);
        std::atomic<int> started{0};
        EXPECT_THROW(pool.forEach(1000,
                                  [&](size_t i) {
                                      started.fetch_add(1);
                                      if (i == 3) throw std::runtime_error("task 3");
                                  }),
                     std::runtime_error);
        // On one thread the order is fixed: nothing after the failing task runs.
        if (threads == 1) {
            EXPECT_EQ(started.load(), 4);
        }

        // The pool goes on working after a failed loop.
        std::atomic<int> after{0};
        pool.both([&] { after.fetch_add(1); }, [&] { after.fetch_add(2); });
        EXPECT_EQ(after.load(), 3);
    }
}

} // namespace
