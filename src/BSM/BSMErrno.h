#pragma once
#include <cstdint>
#include <string>
std::string errnoDescription(uint8_t status);
