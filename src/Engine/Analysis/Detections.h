#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Record/AuditRecord.h"
#include "Engine/Support/Parallel.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The fixed detection rules that turn time-ordered records into findings.
namespace Detections {

// One row of the command-line rule table.
struct CommandRule {
    std::string name;
    std::string category;
    Severity severity = Severity::info;
    std::string technique;
    std::string explanation;
    // (executable name, lowercased command line) -> fires. Safe from any thread.
    std::function<bool(std::string_view executable, std::string_view commandLine)> match;
};

// The 22 rows, in table order; built once.
const std::vector<CommandRule> &commandRules();

struct LogArtifact {
    std::string technique;
    std::string why;
};
struct PersistenceLocation {
    Severity severity = Severity::info;
    std::string technique;
    std::string why;
};

// Path classifiers; each tests its patterns in order, case-sensitively.
std::optional<std::string> suspiciousLocation(std::string_view path);
std::optional<LogArtifact> logArtifact(std::string_view path);
std::optional<PersistenceLocation> persistenceLocation(std::string_view path);
std::optional<std::string> sensitiveData(std::string_view path);

// The user a finding about this record is attributed to: "—", "e" or "a → e".
std::string user(const AuditRecord &record);

// Runs every rule over records already in time order (with process images filled in);
// findings come back sorted by time, stable. The pool's threads share the work; the findings
// are the same for any number, their random ids aside.
std::vector<Finding> run(std::span<const AuditRecord> records, Parallel::Pool &pool = Parallel::Pool::single());

} // namespace Detections
