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

// A rule's words before the evidence fills in its summary.
struct RuleText {
    std::string_view name;
    std::string_view category;
    Severity severity = Severity::info;
    std::string_view technique;
    std::string_view explanation;
};

// The words of the rules other than the command-line ones, in the order their findings are made.
namespace Rules {
inline constexpr RuleText bruteForce{"Password brute force", "Credential Access", Severity::high, "T1110",
                                     "Repeated authentication failures from one origin in a short window is the classic "
                                     "signature of password guessing."};
inline constexpr std::string_view accountExplanation =
    "Local account and group changes are a common persistence technique (e.g. hidden admin accounts).";
inline constexpr RuleText loginAfterBruteForce{
    "Login after brute force", "Initial Access", Severity::critical, "T1110",
    "A success following a burst of failures from the same origin suggests the password was guessed."};
inline constexpr RuleText remoteLogin{
    "Remote login", "Lateral Movement", Severity::medium, "T1021.004",
    "Remote interactive logins are worth confirming on endpoints that are not expected to accept SSH."};
inline constexpr RuleText failedPrivilegeElevation{
    "Failed privilege elevation", "Privilege Escalation", Severity::medium, "T1548.003",
    "A failed sudo/su can indicate someone without the password attempting to gain root."};
inline constexpr RuleText privilegeElevation{
    "Privilege elevation", "Privilege Escalation", Severity::low, "T1548.003",
    "sudo/su grants root; review the command and whether the user normally administers this Mac."};
inline constexpr RuleText authenticationFailure{"Authentication failure", "Credential Access", Severity::low, "T1110",
                                                "Isolated authentication failure."};
inline constexpr RuleText accountCreated{"Account created", "Persistence", Severity::high, "T1136.001",
                                         accountExplanation};
inline constexpr RuleText accountModified{"Account modified", "Persistence", Severity::high, "T1098",
                                          accountExplanation};
inline constexpr RuleText auditStopped{
    "Audit stopped", "Defense Evasion", Severity::low, "T1562",
    "auditd shut down. Expected at system shutdown; suspicious if the machine kept running afterwards."};
inline constexpr RuleText auditConfigurationChange{"Audit configuration change", "Defense Evasion", Severity::high,
                                                   "T1562",
                                                   "Changes to the audit subsystem can blind future investigation."};
inline constexpr RuleText clockChanged{"System clock changed", "Defense Evasion", Severity::medium, "T1070.006",
                                       "Changing the clock can disrupt log correlation and timestamps."};
inline constexpr RuleText processMemoryAccess{
    "Process memory access", "Privilege Escalation", Severity::medium, "T1055",
    "task_for_pid/ptrace on another process allows reading or injecting into its memory."};
inline constexpr RuleText setuidSetgidBit{
    "Setuid/setgid bit set", "Privilege Escalation", Severity::high, "T1548.001",
    "Setuid binaries run with their owner's privileges; attackers use them as root backdoors."};
inline constexpr RuleText executionFrom{"Execution from ", "Execution", Severity::high, "T1204.002",
                                        "Legitimate software rarely runs from world-writable or hidden locations."};
// The path rules take their severity, technique and explanation from the classifier that fired.
inline constexpr RuleText logRemoved{"Log or history removed", "Defense Evasion", Severity::high, "", ""};
inline constexpr RuleText persistenceModified{"Persistence location modified", "Persistence", Severity::info, "", ""};
inline constexpr RuleText sensitiveDataAccess{"Sensitive data access", "Credential Access", Severity::medium, "T1555",
                                              ""};
inline constexpr RuleText networkFromSuspiciousBinary{
    "Network from suspicious binary", "Command and Control", Severity::high, "T1071",
    "Outbound connections from binaries in temporary or hidden locations often indicate command-and-control."};
} // namespace Rules

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

// A rule's fixed text (a name, tactic or explanation) as a finding holds it: one kept copy for
// every finding with those words, looked up by its words, so it outlives whatever it was made
// from. Never evidence: what is kept is never freed. Safe from any thread.
FindingText ruleWords(std::string_view text);

// The user a finding about this record is attributed to: "—", "e" or "a → e".
std::string user(const AuditRecord &record);

// Runs every rule over records already in time order (with process images filled in);
// findings come back sorted by time, stable. The pool's threads share the work; the findings
// are the same for any number, their random ids aside.
std::vector<Finding> run(std::span<const AuditRecord> records, Parallel::Pool &pool = Parallel::Pool::single());

} // namespace Detections
