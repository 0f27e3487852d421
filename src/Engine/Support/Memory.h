#pragma once

#include "Engine/Support/Parallel.h"

#include <cstddef>
#include <new>
#include <utility>

// Large buffers that a load fills once. On these machines the first write to fresh memory costs
// as much as the work that fills it, so a big buffer is mapped without being cleared, and its
// pages are made present by many threads at once before one thread writes it.
namespace Memory {

// Buffers from this size up are mapped on their own; smaller ones come from the heap.
inline constexpr size_t largeBuffer = size_t(1) << 20;

// `bytes` bytes, not cleared. Throws std::bad_alloc.
void *allocate(size_t bytes);
// Gives back what allocate(bytes) returned, with the same `bytes`.
void release(void *memory, size_t bytes) noexcept;
// What the buffers mapped on their own hold now; the heap's own counts leave them out.
size_t mappedBytes() noexcept;

// Makes the pages of [memory, memory + bytes) present and writable, slices of it side by side on
// the pool's threads. Only a hint: where the system cannot, the pages come on first write.
void prefault(void *memory, size_t bytes, Parallel::Pool &pool) noexcept;

// A std::allocator that leaves what it constructs without arguments uninitialised, and maps large
// blocks on their own: a vector of bytes grown with resize() is not cleared first.
template <typename T>
struct UninitialisedAllocator {
    using value_type = T;

    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U> &) noexcept
    {}

    T *allocate(size_t n) { return static_cast<T *>(Memory::allocate(n * sizeof(T))); }
    void deallocate(T *p, size_t n) noexcept { Memory::release(p, n * sizeof(T)); }

    template <typename U>
    void construct(U *p) noexcept
    {
        ::new (static_cast<void *>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }

    template <typename U>
    bool operator==(const UninitialisedAllocator<U> &) const noexcept
    {
        return true;
    }
};

} // namespace Memory
