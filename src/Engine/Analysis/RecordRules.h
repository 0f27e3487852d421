#pragma once

#include "Engine/Analysis/Detections.h"
#include "Engine/Record/AuditEvents.h"

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What the passes over all records (Detections.cpp) and the rules that look at one record alone
// (RecordRules.cpp) share.
namespace Detections {

Finding makeFinding(const RuleText &text, const AuditRecord &record, std::string summary);

inline constexpr size_t bruteForceThreshold = 5;

// Authentications, logins that succeeded and privilege elevations: whose failures count as guesses.
inline bool inAuthenticationSet(uint16_t event)
{
    return AuditEvents::authentication.contains(event) || AuditEvents::loginSuccessish.contains(event)
           || AuditEvents::privilegeElevation.contains(event);
}

// Where an authentication came from: the terminal address, else the audit session.
std::string origin(const AuditRecord &record);

// What the passes over all records learnt of one origin.
struct OriginHistory {
    size_t failures = 0;             // failed authentications in the whole input
    std::optional<double> lastBurst; // when its latest reported brute-force window ended
};
using Origins = std::unordered_map<std::string, OriginHistory>;

// Runs every rule that looks at one record alone over `records`, appending their findings in
// record order and, for one record, in the rules' table order. Safe on parts side by side.
void checkRecords(std::span<const AuditRecord> records, const Origins &origins, std::vector<Finding> &findings);

} // namespace Detections
