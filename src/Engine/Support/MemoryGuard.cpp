#include "Engine/Support/MemoryGuard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace Memory {

namespace {

std::optional<uint64_t> readNumber(const std::string &path)
{
    std::ifstream in(path);
    std::string text;
    if (!(in >> text) || text == "max") return std::nullopt;
    try {
        return std::stoull(text);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::optional<uint64_t> memAvailable(const std::string &path)
{
    std::ifstream info(path);
    std::string key, unit;
    uint64_t value = 0;
    while (info >> key >> value) {
        std::getline(info, unit);
        if (key == "MemAvailable:") return value * 1024;
    }
    return std::nullopt;
}

// One line of a memory.stat file, in bytes; 0 when it is not there.
uint64_t statField(const std::string &path, const std::string &name)
{
    std::ifstream stat(path);
    std::string key;
    uint64_t value = 0;
    while (stat >> key >> value)
        if (key == name) return value;
    return 0;
}

// The room under the limits of the process's control group and of each group above it: the
// tightest one counts. Version 2 names the group on a "0::" line, version 1 on a line of its
// memory controller. A group's usage counts the page cache, and reading a big trail fills it: the
// clean file pages the kernel drops before it refuses the group memory are room, not use.
std::optional<uint64_t> groupRoom(const SystemFiles &files)
{
    std::ifstream groups(files.cgroups);
    std::optional<uint64_t> room;
    const auto consider = [&](const std::string &folder, const char *limitName, const char *usageName,
                              const char *reclaimableName) {
        const auto limit = readNumber(folder + "/" + limitName);
        const auto usage = readNumber(folder + "/" + usageName);
        // Version 1 writes a number near 2^63 for no limit.
        if (!limit || !usage || *limit >= (uint64_t(1) << 62)) return;
        const uint64_t used = *usage - std::min(*usage, statField(folder + "/memory.stat", reclaimableName));
        const uint64_t left = *limit > used ? *limit - used : 0;
        room = room ? std::min(*room, left) : left;
    };
    for (std::string line; std::getline(groups, line);) {
        const auto first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        std::string path = line.substr(second + 1);
        const bool unified = line.starts_with("0::");
        std::stringstream names(controllers);
        bool memory = false;
        for (std::string name; std::getline(names, name, ',');) memory = memory || name == "memory";
        if (!unified && !memory) continue;
        const std::string root = unified ? files.cgroupRoot : files.cgroupRoot + "/memory";
        for (;;) {
            if (unified) consider(root + path, "memory.max", "memory.current", "inactive_file");
            else consider(root + path, "memory.limit_in_bytes", "memory.usage_in_bytes", "total_inactive_file");
            if (path.empty() || path == "/") break;
            path = path.substr(0, path.rfind('/'));
        }
    }
    return room;
}

} // namespace

std::optional<uint64_t> available()
{
    return availableFrom(SystemFiles());
}

std::optional<uint64_t> availableFrom(const SystemFiles &files)
{
    const auto system = memAvailable(files.meminfo);
    const auto group = groupRoom(files);
    if (system && group) return std::min(*system, *group);
    return system ? system : group;
}

uint64_t resident()
{
    // The second field of statm: resident pages.
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    text[n] = 0;
    unsigned long long size = 0, pages = 0;
    if (std::sscanf(text, "%llu %llu", &size, &pages) != 2) return 0;
    return uint64_t(pages) * uint64_t(::sysconf(_SC_PAGESIZE));
}

std::string byteText(uint64_t bytes)
{
    char text[48];
    if (bytes >= 1000000000ull) std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    else if (bytes >= 1000000ull) std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    else std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>((bytes + 999) / 1000));
    return text;
}

} // namespace Memory

MemoryGuard::MemoryGuard(const Available &available, Resident resident) : m_resident(std::move(resident))
{
    const std::optional<uint64_t> free = available ? available() : std::nullopt;
    if (!free || !m_resident) return;
    m_start = m_resident();
    m_room = *free - *free / 10;
}

void MemoryGuard::check(uint64_t upcoming, bool always)
{
    if (!m_room) return;
    if (upcoming == 0 && !always) {
        const int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        int64_t last = m_lastRead.load(std::memory_order_relaxed);
        if (now - last < 1000 || !m_lastRead.compare_exchange_strong(last, now, std::memory_order_relaxed)) return;
    }
    const uint64_t now = m_resident();
    const uint64_t taken = (now > m_start ? now - m_start : 0) + upcoming;
    if (taken > *m_room) throw OutOfRoom(taken, *m_room);
}
