#include "BSM/BSMErrno.h"
// Local stand-in until the real table lands.
std::string errnoDescription(uint8_t status)
{
    if (status == 13) return "Permission denied (13)";
    if (status == 200) return "EDOOFUS (200)";
    return "error " + std::to_string(status);
}
