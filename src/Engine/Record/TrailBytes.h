#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// A trail's bytes, read once and shared by every record decoded from them: records keep windows
// into them rather than copies.
using TrailBytes = std::shared_ptr<const std::vector<uint8_t>>;
