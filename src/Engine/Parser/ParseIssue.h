#pragma once

#include "Engine/BSM/Uuid.h"

#include <cstdint>
#include <string>

// One framing problem found in a trail.
struct ParseIssue {
    Uuid id;
    int64_t offset = 0;
    std::string message;
};
