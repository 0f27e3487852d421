#include "Engine/Support/Memory.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace Memory {

namespace {

size_t pageSize()
{
    static const size_t size = size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

size_t wholePages(size_t bytes)
{
    return (bytes + pageSize() - 1) / pageSize() * pageSize();
}

// Slices small enough that every thread gets several, large enough that a call costs nothing.
constexpr size_t prefaultSlice = size_t(4) << 20;

std::atomic<size_t> mapped{0};

} // namespace

void *allocate(size_t bytes)
{
    if (bytes < largeBuffer) {
        if (void *memory = std::malloc(std::max<size_t>(bytes, 1))) return memory;
        throw std::bad_alloc();
    }
    void *memory = ::mmap(nullptr, wholePages(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    mapped.fetch_add(wholePages(bytes), std::memory_order_relaxed);
    return memory;
}

void release(void *memory, size_t bytes) noexcept
{
    if (!memory) return;
    if (bytes < largeBuffer) {
        std::free(memory);
    } else {
        ::munmap(memory, wholePages(bytes));
        mapped.fetch_sub(wholePages(bytes), std::memory_order_relaxed);
    }
}

size_t mappedBytes() noexcept
{
    return mapped.load(std::memory_order_relaxed);
}

void prefault(void *memory, size_t bytes, Parallel::Pool &pool) noexcept
{
    // Only whole pages inside the range: the rest may belong to someone else's allocation.
    const auto begin = (uintptr_t(memory) + pageSize() - 1) / pageSize() * pageSize();
    const auto end = (uintptr_t(memory) + bytes) / pageSize() * pageSize();
    if (end <= begin + prefaultSlice) return;
    const size_t slices = (end - begin + prefaultSlice - 1) / prefaultSlice;
    try {
        pool.forEach(slices, [&](size_t i) {
            const uintptr_t from = begin + i * prefaultSlice;
            const uintptr_t to = std::min<uintptr_t>(end, from + prefaultSlice);
            ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
        });
    } catch (...) {
        // A hint that could not be given.
    }
}

} // namespace Memory
