#include "Engine/Support/Numbers.h"

namespace Numbers {

std::optional<int64_t> parseInteger(std::string_view text, int radix, bool allowMinus, int64_t low, int64_t high)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || (allowMinus && text[0] == '-'))) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t magnitude = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        magnitude = magnitude * radix + digit;
        if (magnitude > high + 1) return std::nullopt; // bounded well inside int64 at every step
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<int32_t> parsePid(std::string_view text)
{
    const std::optional<int64_t> value = parseInteger(text, 10, true, INT32_MIN, INT32_MAX);
    if (!value) return std::nullopt;
    return static_cast<int32_t>(*value);
}

} // namespace Numbers
