#pragma once

// Replaces the global operator new and delete of the test executable that includes this header
// (include it in exactly one file): once armed, the first allocation of at least a given size
// throws std::bad_alloc, as an exhausted machine would, then allocation works again. Everything
// else goes to malloc and free, which the sanitizers watch as usual.

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace FailingAllocator {

inline std::atomic<size_t> failAtLeast{0}; // 0: disarmed
inline std::atomic<int> failures{0};

// The next allocation of `bytes` or more fails.
inline void failNextOfAtLeast(size_t bytes)
{
    failAtLeast.store(bytes);
}
inline void disarm()
{
    failAtLeast.store(0);
}

inline void *allocate(size_t size)
{
    size_t threshold = failAtLeast.load();
    if (threshold != 0 && size >= threshold && failAtLeast.compare_exchange_strong(threshold, 0)) {
        ++failures;
        throw std::bad_alloc();
    }
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

} // namespace FailingAllocator

void *operator new(std::size_t size)
{
    return FailingAllocator::allocate(size);
}
void *operator new[](std::size_t size)
{
    return FailingAllocator::allocate(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return FailingAllocator::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
