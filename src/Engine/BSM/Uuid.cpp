#include "Engine/BSM/Uuid.h"

#include <mutex>
#include <random>

Uuid Uuid::random()
{
    // Seeded once from the system's entropy; a lock keeps the generator usable from any thread.
    static std::mutex lock;
    static std::mt19937_64 generator{[] {
        std::random_device device;
        return (uint64_t(device()) << 32) ^ device();
    }()};
    Uuid uuid;
    {
        std::lock_guard guard(lock);
        uuid.high = generator();
        uuid.low = generator();
    }
    uuid.high = (uuid.high & ~uint64_t(0xF000)) | 0x4000;
    uuid.low = (uuid.low & ~(uint64_t(0xC) << 60)) | (uint64_t(0x8) << 60);
    return uuid;
}

std::string Uuid::text() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) text.push_back('-');
        const uint64_t word = i < 16 ? high : low;
        text.push_back(digits[(word >> (60 - 4 * (i % 16))) & 0xF]);
    }
    return text;
}

bool Uuid::parse(const std::string &text, Uuid *out)
{
    if (text.size() != 36) return false;
    Uuid uuid;
    int nibble = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
            continue;
        }
        int value;
        if (c >= '0' && c <= '9') value = c - '0';
        else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
        else return false;
        uint64_t &word = nibble < 16 ? uuid.high : uuid.low;
        word = (word << 4) | uint64_t(value);
        ++nibble;
    }
    *out = uuid;
    return true;
}
