#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

// The texts of the error numbers that return tokens carry. Numbers the table lacks are simply
// absent; the events table shows those as the bare number.
const std::unordered_map<uint8_t, std::string> &bsmErrnoDescriptions();

// "Permission denied (13)", or "error N" for a number without a text (0 included).
std::string errnoDescription(uint8_t number);
