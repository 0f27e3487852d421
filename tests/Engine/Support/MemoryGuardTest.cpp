#include "Engine/Support/MemoryGuard.h"

#include <gtest/gtest.h>

namespace {

TEST(MemoryGuard, StopsOnlyPastTheRoomLessATenth)
{
    uint64_t resident = 5000;
    MemoryGuard guard([] { return std::optional<uint64_t>(1000); }, [&] { return resident; });
    ASSERT_EQ(guard.room(), 900u);
    EXPECT_NO_THROW(guard.check(900, true));
    resident += 800;
    EXPECT_NO_THROW(guard.check(100, true));
    // What is about to be taken counts with what was.
    try {
        guard.check(101);
        FAIL() << "not stopped";
    } catch (const OutOfRoom &stop) {
        EXPECT_EQ(stop.taken, 901u);
        EXPECT_EQ(stop.room, 900u);
    }
    resident += 101;
    EXPECT_THROW(guard.check(0, true), OutOfRoom);
    // Memory given back since the start leaves more room, never less.
    resident = 100;
    EXPECT_NO_THROW(guard.check(900, true));
}

TEST(MemoryGuard, WithoutAKnownAmountNothingIsStopped)
{
    MemoryGuard guard([] { return std::nullopt; }, [] { return uint64_t(1) << 40; });
    EXPECT_FALSE(guard.room());
    EXPECT_NO_THROW(guard.check(uint64_t(1) << 50, true));
}

TEST(MemoryGuard, ReadsTheSystemsFigures)
{
    const auto available = Memory::available();
    ASSERT_TRUE(available); // every Linux since 3.14 reports MemAvailable
    EXPECT_GT(*available, 0u);
    EXPECT_GT(Memory::resident(), 0u);
}

TEST(MemoryGuard, ByteTexts)
{
    const struct {
        uint64_t bytes;
        const char *text;
    } cases[] = {
        {0, "0 KB"},
        {1, "1 KB"},
        {999999, "1000 KB"},
        {1000000, "1.0 MB"},
        {2540000, "2.5 MB"},
        {999000000, "999.0 MB"},
        {1000000000, "1.0 GB"},
        {6123456789, "6.1 GB"},
    };
    for (const auto &c : cases) EXPECT_EQ(Memory::byteText(c.bytes), c.text) << c.bytes;
}

} // namespace
