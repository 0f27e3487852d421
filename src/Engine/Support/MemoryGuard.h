#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

// What a load may take of the machine's memory, measured while it runs: the process's resident
// set counts whatever the load takes, whatever shape its trail has, where a guess from the file
// cannot.
namespace Memory {

// Where the figures are read: the system's own files unless a test points elsewhere.
struct SystemFiles {
    std::string meminfo = "/proc/meminfo";
    std::string cgroups = "/proc/self/cgroup"; // the process's control groups
    std::string cgroupRoot = "/sys/fs/cgroup"; // version 1 mounts its memory controller below it
};

// What the system can still give: MemAvailable, or the room left under the control group's
// limit when that is lower, the group's reclaimable file cache counted as room. nullopt where
// neither is known.
std::optional<uint64_t> available();
std::optional<uint64_t> availableFrom(const SystemFiles &files);
// The process's resident set in bytes; 0 where unknown.
uint64_t resident();

// "512 KB", "3.4 MB", "6.1 GB": decimal units, one decimal above a megabyte.
std::string byteText(uint64_t bytes);

} // namespace Memory

// Thrown at a checkpoint of a load that has taken, or is about to take, more than its room.
struct OutOfRoom : std::exception {
    uint64_t taken = 0; // what the load held, with what it was about to take
    uint64_t room = 0;
    OutOfRoom(uint64_t taken, uint64_t room) : taken(taken), room(room) {}
    const char *what() const noexcept override { return "the memory available is used up"; }
};

// Measures one load's growth from the moment it is made and stops it on crossing the memory that
// was available then, less a tenth kept for everything else. Checked from many threads at once.
class MemoryGuard {
public:
    using Available = std::function<std::optional<uint64_t>()>;
    using Resident = std::function<uint64_t()>;

    // Without a known amount available the load is never stopped.
    MemoryGuard(const Available &available, Resident resident);

    // Throws OutOfRoom when the growth so far, and `upcoming` bytes more, pass the room. The
    // resident set is read at most once a millisecond, unless bytes are about to be taken or
    // `always` says so.
    void check(uint64_t upcoming, bool always = false);

    std::optional<uint64_t> room() const { return m_room; }

private:
    Resident m_resident;
    uint64_t m_start = 0;
    std::optional<uint64_t> m_room;
    std::atomic<int64_t> m_lastRead{-1000000000}; // microseconds: long before any read
};
