#pragma once

#include "Engine/BSM/BSMError.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Bounded big-endian cursor over bytes the caller keeps alive. A failed read throws
// BSMError::truncated and leaves the cursor where it was.
struct ByteReader {
    std::span<const uint8_t> buffer;
    int64_t offset = 0;
    int64_t limit = 0;

    explicit ByteReader(std::span<const uint8_t> bytes)
        : buffer(bytes), offset(0), limit(static_cast<int64_t>(bytes.size()))
    {}

    uint8_t u8()
    {
        require(1);
        return buffer[static_cast<size_t>(offset++)];
    }
    uint16_t u16()
    {
        require(2);
        const uint8_t *p = at();
        offset += 2;
        return static_cast<uint16_t>((p[0] << 8) | p[1]);
    }
    uint32_t u32()
    {
        require(4);
        const uint8_t *p = at();
        offset += 4;
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    }
    uint64_t u64()
    {
        require(8);
        const uint8_t *p = at();
        offset += 8;
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = (value << 8) | p[i];
        return value;
    }

    std::vector<uint8_t> bytes(int64_t n);
    // Skips n bytes with the same bounds rule as bytes(n), without copying them.
    void skip(int64_t n);
    // n bytes, trailing NULs dropped, UTF-8 with replacement; consumes all n.
    std::string string(int64_t n);
    // Up to the first NUL (consumed) or the limit. Never fails.
    std::string cString();
    // Type 4: dotted IPv4; type 16: IPv6 text; anything else is malformed.
    std::string address(uint32_t type);

private:
    void require(int64_t n) const
    {
        if (n < 0 || n > limit - offset) throw BSMError::truncated(n, offset);
    }
    const uint8_t *at() const { return buffer.data() + offset; }
};

std::string formatIPv4(std::span<const uint8_t> bytes);
std::string formatIPv6(std::span<const uint8_t> bytes);
std::string hexString(std::span<const uint8_t> bytes);
