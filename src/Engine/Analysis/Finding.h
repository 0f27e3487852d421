#pragma once

#include "Engine/BSM/Uuid.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Ordered by raw value; comparisons compare the raw values.
enum class Severity : int { info = 0, low = 1, medium = 2, high = 3, critical = 4 };

inline constexpr std::array<Severity, 5> allSeverities = {Severity::info, Severity::low, Severity::medium,
                                                          Severity::high, Severity::critical};

inline constexpr int rawValue(Severity s)
{
    return static_cast<int>(s);
}

// The case for 0 to 4, nothing for any other value.
inline constexpr std::optional<Severity> severityFromRawValue(int64_t raw)
{
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<Severity>(raw);
}

// "Info", "Low", "Medium", "High", "Critical".
inline constexpr const char *severityTitle(Severity s)
{
    constexpr const char *titles[] = {"Info", "Low", "Medium", "High", "Critical"};
    return titles[rawValue(s)];
}

// One detection result. It names its records by id only, so it survives rebuilds.
struct Finding {
    Uuid id;
    std::string rule;
    std::string category; // ATT&CK tactic
    Severity severity = Severity::info;
    std::optional<std::string> technique; // ATT&CK technique id
    double time = 0;
    std::string summary;
    std::string explanation;
    std::vector<int64_t> recordIDs;
    std::string user;
};
