#include "Engine/BSM/ByteReader.h"

#include "Engine/BSM/UTF8.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

std::vector<uint8_t> ByteReader::bytes(int64_t n)
{
    require(n);
    const uint8_t *p = at();
    offset += n;
    return std::vector<uint8_t>(p, p + n);
}

void ByteReader::skip(int64_t n)
{
    require(n);
    offset += n;
}

std::string ByteReader::string(int64_t n)
{
    require(n);
    const uint8_t *p = at();
    int64_t length = n;
    while (length > 0 && p[length - 1] == 0) --length;
    offset += n;
    return UTF8::decodeLossy(p, static_cast<size_t>(length));
}

std::string ByteReader::cString()
{
    const uint8_t *p = at();
    const int64_t available = limit - offset;
    const void *nul = available > 0 ? std::memchr(p, 0, static_cast<size_t>(available)) : nullptr;
    const int64_t length = nul ? static_cast<const uint8_t *>(nul) - p : available;
    std::string text = UTF8::decodeLossy(p, static_cast<size_t>(length));
    offset = std::min(limit, offset + length + 1);
    return text;
}

std::string ByteReader::address(uint32_t type)
{
    switch (type) {
    case 4: {
        require(4);
        const std::span<const uint8_t> raw(at(), 4);
        offset += 4;
        return formatIPv4(raw);
    }
    case 16: {
        require(16);
        const std::span<const uint8_t> raw(at(), 16);
        offset += 16;
        return formatIPv6(raw);
    }
    default: throw BSMError::malformed("unknown address type " + std::to_string(type));
    }
}

std::string formatIPv4(std::span<const uint8_t> bytes)
{
    // Every subject carries an address: built in place, so four-byte texts fit the string inline.
    std::string text;
    char part[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        char *out = part;
        if (i) *out++ = '.';
        const unsigned b = bytes[i];
        if (b >= 100) *out++ = char('0' + b / 100);
        if (b >= 10) *out++ = char('0' + b / 10 % 10);
        *out++ = char('0' + b % 10);
        text.append(part, static_cast<size_t>(out - part));
    }
    return text;
}

std::string formatIPv6(std::span<const uint8_t> bytes)
{
    in6_addr address{};
    std::memcpy(&address, bytes.data(), std::min<size_t>(bytes.size(), 16));
    char text[46];
    if (inet_ntop(AF_INET6, &address, text, sizeof text)) return text;
    return hexString(bytes);
}

std::string hexString(std::span<const uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0xF];
    }
    return text;
}
