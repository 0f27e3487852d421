#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace UTF8 {

// Decodes bytes as UTF-8, writing one U+FFFD per maximal ill-formed subpart. Never fails.
std::string decodeLossy(const uint8_t *bytes, size_t count);

inline std::string decodeLossy(std::string_view bytes)
{
    return decodeLossy(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

} // namespace UTF8
