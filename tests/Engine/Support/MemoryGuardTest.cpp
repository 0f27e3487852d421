#include "Engine/Support/MemoryGuard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

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

// A machine's memory figures and control groups in a folder of their own: /proc/meminfo,
// /proc/self/cgroup and the group tree, each file given its text.
class FakeSystem {
public:
    FakeSystem()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "fake-system-XXXXXX").string();
        if (::mkdtemp(pattern.data())) m_root = pattern;
    }
    ~FakeSystem() { std::filesystem::remove_all(m_root); }

    void write(const std::string &name, const std::string &text) const
    {
        const std::filesystem::path path = m_root / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    Memory::SystemFiles files() const
    {
        return {(m_root / "meminfo").string(), (m_root / "cgroup").string(), (m_root / "fs").string()};
    }

private:
    std::filesystem::path m_root;
};

constexpr uint64_t MB = 1000000;

std::string memInfo(uint64_t availableBytes)
{
    return "MemTotal:       16000000 kB\nMemFree:          100000 kB\nMemAvailable:   "
           + std::to_string(availableBytes / 1024) + " kB\nBuffers:           1000 kB\n";
}

// The room is that of the tightest limit: the machine's, the process's group's or a group above it.
TEST(MemoryGuard, TheTightestLimitCounts)
{
    const struct Case {
        const char *name;
        std::map<std::string, std::string> files;
        std::optional<uint64_t> room;
    } cases[] = {
        {"a group tighter than the machine",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "0::/user.slice/app\n"},
          {"fs/user.slice/app/memory.max", "600000000\n"},
          {"fs/user.slice/app/memory.current", "100000000\n"}},
         500 * MB},
        {"the machine tighter than the group",
         {{"meminfo", memInfo(300 * 1024 * 1024)},
          {"cgroup", "0::/app\n"},
          {"fs/app/memory.max", "6000000000\n"},
          {"fs/app/memory.current", "100000000\n"}},
         300 * 1024 * 1024},
        {"a group above it tighter still",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "0::/user.slice/app\n"},
          {"fs/user.slice/memory.max", "400000000\n"},
          {"fs/user.slice/memory.current", "350000000\n"},
          {"fs/user.slice/app/memory.max", "600000000\n"},
          {"fs/user.slice/app/memory.current", "100000000\n"}},
         50 * MB},
        {"a group without a limit",
         {{"meminfo", memInfo(800 * 1024 * 1024)},
          {"cgroup", "0::/app\n"},
          {"fs/app/memory.max", "max\n"},
          {"fs/app/memory.current", "100000000\n"}},
         800 * 1024 * 1024},
        {"a group at its limit has no room",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "0::/app\n"},
          {"fs/app/memory.max", "600000000\n"},
          {"fs/app/memory.current", "700000000\n"}},
         0},
        {"version 1's memory controller",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "12:pids:/other\n4:memory:/app\n1:name=systemd:/x\n"},
          {"fs/memory/app/memory.limit_in_bytes", "600000000\n"},
          {"fs/memory/app/memory.usage_in_bytes", "200000000\n"}},
         400 * MB},
        {"version 1 without a limit",
         {{"meminfo", memInfo(800 * 1024 * 1024)},
          {"cgroup", "4:memory:/app\n"},
          {"fs/memory/app/memory.limit_in_bytes", "9223372036854771712\n"},
          {"fs/memory/app/memory.usage_in_bytes", "200000000\n"}},
         800 * 1024 * 1024},
        {"only the group known",
         {{"cgroup", "0::/app\n"}, {"fs/app/memory.max", "600000000\n"}, {"fs/app/memory.current", "100000000\n"}},
         500 * MB},
        {"nothing known", {}, std::nullopt},
        // Reading a big trail fills the page cache, which the group's usage counts: its clean,
        // inactive part is room (a 600 MB group holding 452 MB of it and 30 MB of its own).
        {"the group's reclaimable page cache is room",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "0::/app\n"},
          {"fs/app/memory.max", "600000000\n"},
          {"fs/app/memory.current", "482000000\n"},
          {"fs/app/memory.stat", "anon 30000000\nfile 452000000\nactive_file 2000000\ninactive_file 450000000\n"}},
         568 * MB},
        {"but never more than the machine has",
         {{"meminfo", memInfo(200 * 1024 * 1024)},
          {"cgroup", "0::/app\n"},
          {"fs/app/memory.max", "600000000\n"},
          {"fs/app/memory.current", "482000000\n"},
          {"fs/app/memory.stat", "inactive_file 450000000\n"}},
         200 * 1024 * 1024},
        {"version 1 counts the hierarchy's total",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "4:memory:/app\n"},
          {"fs/memory/app/memory.limit_in_bytes", "600000000\n"},
          {"fs/memory/app/memory.usage_in_bytes", "500000000\n"},
          {"fs/memory/app/memory.stat", "inactive_file 1000000\ntotal_inactive_file 300000000\n"}},
         400 * MB},
        {"a cache figure beyond the usage leaves the whole limit",
         {{"meminfo", memInfo(8000 * MB)},
          {"cgroup", "0::/app\n"},
          {"fs/app/memory.max", "600000000\n"},
          {"fs/app/memory.current", "100000000\n"},
          {"fs/app/memory.stat", "inactive_file 900000000\n"}},
         600 * MB},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const FakeSystem system;
        for (const auto &[name, text] : c.files) system.write(name, text);
        EXPECT_EQ(Memory::availableFrom(system.files()), c.room);
    }
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
