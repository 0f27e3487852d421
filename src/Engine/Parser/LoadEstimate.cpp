#include "Engine/Parser/LoadEstimate.h"

#include <cstdio>
#include <fstream>

namespace LoadEstimate {

namespace {

// Measured peaks of a load over the trail's bytes, the buffer included: the mix of program
// starts, opens and connections peaks near 3.8x its size and ~130-byte records near 3.3x.
// Tinier records cost more per byte, which a size alone cannot tell apart; the margin covers the
// common case, and a trail refused here would have come close to exhausting the memory anyway.
constexpr uint64_t peakPerTrailByte = 5;

} // namespace

uint64_t memoryNeeded(uint64_t fileBytes)
{
    return fileBytes > UINT64_MAX / peakPerTrailByte ? UINT64_MAX : fileBytes * peakPerTrailByte;
}

std::optional<uint64_t> memoryAvailable()
{
    std::ifstream info("/proc/meminfo");
    std::string key;
    uint64_t value = 0;
    std::string unit;
    while (info >> key >> value) {
        std::getline(info, unit);
        if (key == "MemAvailable:") return value * 1024;
    }
    return std::nullopt;
}

std::string byteText(uint64_t bytes)
{
    char text[48];
    if (bytes >= 1000000000ull)
        std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
    else if (bytes >= 1000000ull)
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    else
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>((bytes + 999) / 1000));
    return text;
}

std::optional<std::string> refusal(uint64_t fileBytes, uint64_t available)
{
    const uint64_t needed = memoryNeeded(fileBytes);
    if (needed <= available) return std::nullopt;
    return "loading it needs about " + byteText(needed) + " of memory, and " + byteText(available)
        + " is available";
}

} // namespace LoadEstimate
