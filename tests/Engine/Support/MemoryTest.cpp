#include "Engine/Support/Memory.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The kilobytes held in huge pages by the mappings that overlap [at, at + bytes).
size_t hugeKilobytesIn(const void *at, size_t bytes)
{
    std::ifstream maps("/proc/self/smaps");
    bool inside = false;
    size_t kilobytes = 0;
    for (std::string line; std::getline(maps, line);) {
        // A mapping's line starts with its address range in lower-case hex, a field's with its name.
        if (!line.empty() && std::isxdigit(uint8_t(line[0])) && !std::isupper(uint8_t(line[0]))) {
            const size_t dash = line.find('-');
            const uintptr_t begin = std::stoull(line.substr(0, dash), nullptr, 16);
            const uintptr_t end = std::stoull(line.substr(dash + 1), nullptr, 16);
            inside = begin < uintptr_t(at) + bytes && uintptr_t(at) < end;
        } else if (inside && line.starts_with("AnonHugePages:")) {
            kilobytes += std::stoull(line.substr(14));
        }
    }
    return kilobytes;
}

bool hugePagesOff()
{
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(mode, text);
    return text.empty() || text.find("[never]") != std::string::npos;
}

TEST(Memory, LargeBuffersAreMappedOnHugePageBoundariesAndCounted)
{
    const size_t before = Memory::mappedBytes();
    for (const size_t bytes : {Memory::largeBuffer, Memory::hugePage, 3 * Memory::hugePage + 100}) {
        auto *p = static_cast<uint8_t *>(Memory::allocate(bytes));
        if (bytes >= Memory::hugePage) {
            EXPECT_EQ(uintptr_t(p) % Memory::hugePage, 0u) << bytes;
        }
        EXPECT_GE(Memory::mappedBytes() - before, bytes) << bytes;
        // Writable to its last byte.
        p[0] = 1;
        p[bytes - 1] = 2;
        EXPECT_EQ(p[0] + p[bytes - 1], 3);
        Memory::release(p, bytes);
        EXPECT_EQ(Memory::mappedBytes(), before) << bytes;
    }
    void *small = Memory::allocate(100);
    EXPECT_EQ(Memory::mappedBytes(), before);
    Memory::release(small, 100);
}

TEST(Memory, ShrinkKeepsTheFirstBytesAndGivesBackTheRest)
{
    const size_t before = Memory::mappedBytes();
    const size_t bytes = 2 * Memory::hugePage, kept = Memory::largeBuffer + 10;
    auto *p = static_cast<uint8_t *>(Memory::allocate(bytes));
    for (size_t i = 0; i < bytes; ++i) p[i] = uint8_t(i * 7);
    // Down to a size the heap would serve: left as it was.
    EXPECT_FALSE(Memory::shrink(p, bytes, Memory::largeBuffer - 1));
    EXPECT_EQ(p[bytes - 1], uint8_t((bytes - 1) * 7));
    ASSERT_TRUE(Memory::shrink(p, bytes, kept));
    EXPECT_LT(Memory::mappedBytes() - before, bytes);
    for (size_t i = 0; i < kept; ++i)
        if (p[i] != uint8_t(i * 7)) FAIL() << "byte " << i;
    Memory::release(p, kept);
    EXPECT_EQ(Memory::mappedBytes(), before);
}

TEST(Memory, PrefaultChangesNoByteInsideOrAroundItsRange)
{
    std::vector<uint8_t> bytes(24 << 20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13 + 1);
    Parallel::Pool pool(4);
    // Neither end on a page boundary.
    Memory::prefault(bytes.data() + 4097, bytes.size() - 9000, pool);
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != uint8_t(i * 13 + 1)) FAIL() << "byte " << i;
}

// One huge page at least in each: the kernel may lack free ones for the others.
TEST(Memory, LargeBuffersAndPrefaultedRangesTakeHugePagesWhereTheSystemOffersThem)
{
    if (hugePagesOff()) GTEST_SKIP() << "transparent huge pages are off";
    // Written by one thread, as a parse writes its storage.
    const size_t bytes = 8 * Memory::hugePage;
    auto *mapped = static_cast<uint8_t *>(Memory::allocate(bytes));
    std::memset(mapped, 1, bytes);
    EXPECT_GE(hugeKilobytesIn(mapped, bytes), Memory::hugePage / 1024);
    Memory::release(mapped, bytes);
    // From the heap, as a std::vector's elements are.
    std::vector<uint8_t> heap;
    heap.reserve(bytes + 12345);
    Parallel::Pool pool(4);
    Memory::prefault(heap.data(), heap.capacity(), pool);
    EXPECT_GE(hugeKilobytesIn(heap.data(), heap.capacity()), Memory::hugePage / 1024);
}

} // namespace
