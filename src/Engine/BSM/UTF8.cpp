#include "Engine/BSM/UTF8.h"

#include <cstring>

namespace UTF8 {

namespace {

constexpr char replacement[] = "\xEF\xBF\xBD";

// Length of the well-formed sequence at p (1-4), or 0 when the sequence is ill-formed; in that
// case *subpart is the length of its maximal ill-formed subpart (at least 1).
size_t sequenceLength(const uint8_t *p, const uint8_t *end, size_t *subpart)
{
    const uint8_t lead = p[0];
    size_t need;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        *subpart = 1;
        return 0;
    }
    size_t i = 1;
    for (; i <= need; ++i) {
        if (p + i >= end) break;
        const uint8_t c = p[i];
        const uint8_t lo = i == 1 ? low : 0x80;
        const uint8_t hi = i == 1 ? high : 0xBF;
        if (c < lo || c > hi) break;
    }
    if (i == need + 1) return need + 1;
    *subpart = i;
    return 0;
}

} // namespace

std::string decodeLossy(const uint8_t *bytes, size_t count)
{
    const uint8_t *p = bytes;
    const uint8_t *end = bytes + count;

    // Fast path: most trail text is ASCII, checked a word at a time.
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull) break;
        p += 8;
    }
    while (p < end && *p < 0x80) ++p;
    if (p == end) return std::string(reinterpret_cast<const char *>(bytes), count);

    std::string out;
    out.reserve(count + 8);
    out.append(reinterpret_cast<const char *>(bytes), static_cast<size_t>(p - bytes));
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p++));
            continue;
        }
        size_t subpart = 0;
        const size_t length = sequenceLength(p, end, &subpart);
        if (length) {
            out.append(reinterpret_cast<const char *>(p), length);
            p += length;
        } else {
            out.append(replacement, 3);
            p += subpart;
        }
    }
    return out;
}

} // namespace UTF8
