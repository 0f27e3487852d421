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

uintptr_t roundUp(uintptr_t value, size_t unit)
{
    return (value + unit - 1) / unit * unit;
}

uintptr_t roundDown(uintptr_t value, size_t unit)
{
    return value / unit * unit;
}

// What a mapping of `bytes` takes: whole pages. Its end need not be a huge page's: the kernel
// gives the last part small pages.
size_t mappedLength(size_t bytes)
{
    return roundUp(bytes, pageSize());
}

// Slices small enough that every thread gets several, large enough that a call costs nothing;
// whole huge pages, so that no two threads fault in the same one.
constexpr size_t prefaultSlice = size_t(4) << 20;

std::atomic<size_t> mapped{0};

// `length` bytes, `hugePage`-aligned: a mapping one huge page longer, its ends cut off.
void *mapAligned(size_t length)
{
    void *memory = ::mmap(nullptr, length + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    const uintptr_t begin = uintptr_t(memory), aligned = roundUp(begin, hugePage);
    if (aligned > begin) ::munmap(memory, aligned - begin);
    if (const uintptr_t end = begin + length + hugePage; end > aligned + length)
        ::munmap(reinterpret_cast<void *>(aligned + length), end - (aligned + length));
    return reinterpret_cast<void *>(aligned);
}

} // namespace

void *allocate(size_t bytes)
{
    if (bytes < largeBuffer) {
        if (void *memory = std::malloc(std::max<size_t>(bytes, 1))) return memory;
        throw std::bad_alloc();
    }
    const size_t length = mappedLength(bytes);
    void *memory = nullptr;
    if (bytes >= hugePage) {
        memory = mapAligned(length);
        // Only a hint: without transparent huge pages the buffer takes small ones.
        if (memory) ::madvise(memory, length, MADV_HUGEPAGE);
    } else {
        memory = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) memory = nullptr;
    }
    if (!memory) throw std::bad_alloc();
    mapped.fetch_add(length, std::memory_order_relaxed);
    return memory;
}

void release(void *memory, size_t bytes) noexcept
{
    if (!memory) return;
    if (bytes < largeBuffer) {
        std::free(memory);
    } else {
        ::munmap(memory, mappedLength(bytes));
        mapped.fetch_sub(mappedLength(bytes), std::memory_order_relaxed);
    }
}

bool shrink(void *memory, size_t bytes, size_t kept) noexcept
{
    if (!memory || bytes < largeBuffer || kept < largeBuffer || kept > bytes) return false;
    const size_t from = mappedLength(kept), to = mappedLength(bytes);
    if (to > from) {
        ::munmap(static_cast<uint8_t *>(memory) + from, to - from);
        mapped.fetch_sub(to - from, std::memory_order_relaxed);
    }
    return true;
}

size_t mappedBytes() noexcept
{
    return mapped.load(std::memory_order_relaxed);
}

void adviseHuge(void *memory, size_t bytes) noexcept
{
    // Only whole huge pages inside the range: the rest may belong to someone else's allocation.
    const uintptr_t begin = roundUp(uintptr_t(memory), hugePage);
    const uintptr_t end = roundDown(uintptr_t(memory) + bytes, hugePage);
    if (end > begin) ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

void prefault(void *memory, size_t bytes, Parallel::Pool &pool) noexcept
{
    // Only whole pages inside the range, as above.
    const uintptr_t begin = roundUp(uintptr_t(memory), pageSize());
    const uintptr_t end = roundDown(uintptr_t(memory) + bytes, pageSize());
    if (end <= begin + prefaultSlice) return;
    adviseHuge(memory, bytes);
    // Slices start at huge-page boundaries; the first one also takes the pages before its first.
    const uintptr_t first = roundDown(begin, hugePage);
    const size_t slices = (end - first + prefaultSlice - 1) / prefaultSlice;
    try {
        pool.forEach(slices, [&](size_t i) {
            const uintptr_t from = std::max(begin, first + i * prefaultSlice);
            const uintptr_t to = std::min<uintptr_t>(end, first + (i + 1) * prefaultSlice);
            if (to > from) ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
        });
    } catch (...) {
        // A hint that could not be given.
    }
}

} // namespace Memory
