#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/BSM/Uuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One alert of the background monitor: a self-contained copy of what raised it, so the history
// stays readable after the capture and its records are gone.
struct MonitorAlert {
    enum class Kind { finding, monitor };

    Uuid id;
    Kind kind = Kind::finding;
    std::string key; // deduplication key
    double eventTime = 0;
    double raisedAt = 0;
    int64_t severityRaw = 0;
    std::string rule;
    std::string category;
    std::optional<std::string> technique;
    std::string summary;
    std::string explanation;
    std::string user;
    std::vector<std::string> evidence;
    bool acknowledged = false;

    // The stored grade; a raw value outside 0 to 4 reads as high.
    Severity severity() const { return severityFromRawValue(severityRaw).value_or(Severity::high); }

    bool operator==(const MonitorAlert &) const = default;
};

// "finding", "monitor".
const char *kindText(MonitorAlert::Kind kind);
// The kind with that text, or nothing.
std::optional<MonitorAlert::Kind> kindFromText(const std::string &text);
