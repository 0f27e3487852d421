#pragma once

#include "Engine/Support/Parallel.h"

#include <cstddef>
#include <new>
#include <utility>

// Large buffers that a load fills once. On these machines the first write to fresh memory costs
// more than the work that fills it: the kernel clears every page it hands out, and threads that
// fault at once wait for each other. A huge page costs one fault where small ones cost 512, so a
// big buffer is mapped without being cleared, advised for huge pages, and its pages are made
// present by many threads at once before it is written.
namespace Memory {

// Buffers from this size up are mapped on their own; smaller ones come from the heap.
inline constexpr size_t largeBuffer = size_t(1) << 20;
// A transparent huge page. Mapped buffers from this size up start on such a boundary.
inline constexpr size_t hugePage = size_t(2) << 20;

// `bytes` bytes, not cleared. Throws std::bad_alloc.
void *allocate(size_t bytes);
// Gives back what allocate(bytes) returned, with the same `bytes`.
void release(void *memory, size_t bytes) noexcept;
// Gives back the pages of what allocate(bytes) returned past its first `kept` bytes, when it was
// mapped on its own and `kept` still is a large buffer's size; release it with `kept` then.
// False, and nothing changed, otherwise.
bool shrink(void *memory, size_t bytes, size_t kept) noexcept;
// What the buffers mapped on their own hold now; the heap's own counts leave them out.
size_t mappedBytes() noexcept;

// Asks for huge pages in the whole huge pages of [memory, memory + bytes): only a hint.
void adviseHuge(void *memory, size_t bytes) noexcept;
// Makes the pages of [memory, memory + bytes) present and writable, in huge pages where they can
// be, slices of it side by side on the pool's threads. Only a hint: where the system cannot, the
// pages come on first write.
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
