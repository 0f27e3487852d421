#pragma once

#include "Engine/Support/Memory.h"

#include <cstdint>
#include <memory>
#include <vector>

// Room for a trail's bytes. Growing it leaves the new bytes uninitialised, since a read is about
// to fill them.
using TrailBuffer = std::vector<uint8_t, Memory::UninitialisedAllocator<uint8_t>>;

// A trail's bytes, read once and shared by every record decoded from them: records keep windows
// into them rather than copies.
using TrailBytes = std::shared_ptr<const TrailBuffer>;
