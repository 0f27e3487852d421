#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Strict reading of numbers written by this program's own helper and by the system.
namespace Numbers {

// An optional sign ("-" only where allowed), then at least one digit of the radix (10 or 16)
// and nothing else, within [low, high]; anything else is unreadable.
std::optional<int64_t> parseInteger(std::string_view text, int radix, bool allowMinus, int64_t low, int64_t high);

// A process id as the helper writes it: a decimal within 32 bits, sign allowed.
std::optional<int32_t> parsePid(std::string_view text);

} // namespace Numbers
