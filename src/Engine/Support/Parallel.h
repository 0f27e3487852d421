#pragma once

#include <cstddef>
#include <functional>

// A few threads for work that splits into independent tasks. std::execution::par runs serially
// with this toolchain (no TBB), so the engine starts its own threads.
namespace Parallel {

// The threads worth starting on this machine; at least 1.
unsigned workers();

// Runs task(0) … task(count - 1) on up to `threads` threads, the caller's among them, and
// returns when all have ended. The first exception a task throws is rethrown here, once every
// thread has stopped taking tasks.
void forEach(size_t count, unsigned threads, const std::function<void(size_t)> &task);

// Runs both and returns when both have ended; rethrows the first exception either threw.
void both(const std::function<void()> &first, const std::function<void()> &second);

} // namespace Parallel
