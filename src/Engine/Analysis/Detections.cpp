#include "Engine/Analysis/Detections.h"

#include "Engine/Record/PathComponents.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/AuditEvents.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <ranges>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <set>
#include <unordered_map>

namespace Detections {
namespace {

// Below this many records a part is not worth a thread. Fuzzing splits short lists too, to reach
// the joins with small inputs.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr size_t minimumPart = 4;
#else
constexpr size_t minimumPart = 16384;
#endif
constexpr double bruteForceWindow = 600;
constexpr size_t bruteForceThreshold = 5;
constexpr double loginAfterBurstLimit = 3600;
constexpr uint16_t auditShutdownEvent = 45001;
constexpr uint16_t accountCreationEvents[] = {6207, 45015, 6511};
constexpr uint64_t setuidSetgidBits = 0xC00;
constexpr uint16_t networkEvents[] = {32, 248};
// Class bits of the standard audit_class file: fw 0x02, fm 0x08, fc 0x10, fd 0x20.
constexpr uint32_t deletionClassBits = 0x3A;
constexpr uint32_t deletionClassValue = 0x20;
constexpr uint32_t writeClassBits = 0x1A;

struct RuleText {
    const char *name;
    const char *category;
    Severity severity;
    const char *technique;
    const char *explanation;
};

constexpr RuleText bruteForce{"Password brute force", "Credential Access", Severity::high, "T1110",
                              "Repeated authentication failures from one origin in a short window is the classic "
                              "signature of password guessing."};
constexpr RuleText loginAfterBruteForce{
    "Login after brute force", "Initial Access", Severity::critical, "T1110",
    "A success following a burst of failures from the same origin suggests the password was guessed."};
constexpr RuleText remoteLogin{
    "Remote login", "Lateral Movement", Severity::medium, "T1021.004",
    "Remote interactive logins are worth confirming on endpoints that are not expected to accept SSH."};
constexpr RuleText failedElevation{
    "Failed privilege elevation", "Privilege Escalation", Severity::medium, "T1548.003",
    "A failed sudo/su can indicate someone without the password attempting to gain root."};
constexpr RuleText elevation{
    "Privilege elevation", "Privilege Escalation", Severity::low, "T1548.003",
    "sudo/su grants root; review the command and whether the user normally administers this Mac."};
constexpr RuleText authenticationFailure{"Authentication failure", "Credential Access", Severity::low, "T1110",
                                         "Isolated authentication failure."};
constexpr const char *accountExplanation =
    "Local account and group changes are a common persistence technique (e.g. hidden admin accounts).";
constexpr RuleText accountCreated{"Account created", "Persistence", Severity::high, "T1136.001", accountExplanation};
constexpr RuleText accountModified{"Account modified", "Persistence", Severity::high, "T1098", accountExplanation};
constexpr RuleText auditStopped{
    "Audit stopped", "Defense Evasion", Severity::low, "T1562",
    "auditd shut down. Expected at system shutdown; suspicious if the machine kept running afterwards."};
constexpr RuleText auditChange{"Audit configuration change", "Defense Evasion", Severity::high, "T1562",
                               "Changes to the audit subsystem can blind future investigation."};
constexpr RuleText clockChanged{"System clock changed", "Defense Evasion", Severity::medium, "T1070.006",
                                "Changing the clock can disrupt log correlation and timestamps."};
constexpr RuleText memoryAccess{
    "Process memory access", "Privilege Escalation", Severity::medium, "T1055",
    "task_for_pid/ptrace on another process allows reading or injecting into its memory."};
constexpr RuleText setuidBitSet{
    "Setuid/setgid bit set", "Privilege Escalation", Severity::high, "T1548.001",
    "Setuid binaries run with their owner's privileges; attackers use them as root backdoors."};
constexpr RuleText executionFrom{"Execution from ", "Execution", Severity::high, "T1204.002",
                                 "Legitimate software rarely runs from world-writable or hidden locations."};
constexpr const char *hiddenPathTechnique = "T1564.001";
// The path rules take their severity, technique and explanation from the classifier that fired.
constexpr RuleText logRemoved{"Log or history removed", "Defense Evasion", Severity::high, "", ""};
constexpr RuleText persistenceModified{"Persistence location modified", "Persistence", Severity::info, "", ""};
constexpr RuleText sensitiveAccess{"Sensitive data access", "Credential Access", Severity::medium, "T1555", ""};
constexpr RuleText networkFromSuspicious{
    "Network from suspicious binary", "Command and Control", Severity::high, "T1071",
    "Outbound connections from binaries in temporary or hidden locations often indicate command-and-control."};

Finding makeFinding(std::string rule, std::string category, Severity severity, std::string technique,
                    std::string explanation, const AuditRecord &record, std::string summary)
{
    Finding finding;
    finding.id = Uuid::random();
    finding.rule = std::move(rule);
    finding.category = std::move(category);
    finding.severity = severity;
    finding.technique = std::move(technique);
    finding.time = record.time;
    finding.summary = std::move(summary);
    finding.explanation = std::move(explanation);
    finding.recordIDs = {record.id};
    finding.user = user(record);
    return finding;
}

Finding makeFinding(const RuleText &text, const AuditRecord &record, std::string summary)
{
    return makeFinding(text.name, text.category, text.severity, text.technique, text.explanation, record,
                       std::move(summary));
}

template <size_t N>
bool isOneOf(uint16_t event, const uint16_t (&events)[N])
{
    return std::find(std::begin(events), std::end(events), event) != std::end(events);
}

bool inAuthenticationSet(uint16_t event)
{
    return AuditEvents::authentication.contains(event) || AuditEvents::loginSuccessish.contains(event) ||
           AuditEvents::privilegeElevation.contains(event);
}

// Where an authentication came from: the terminal address, else the audit session.
std::string origin(const AuditRecord &record)
{
    if (!record.subject()) return "unknown";
    const std::string &address = record.subject()->terminalAddress;
    if (address != "0.0.0.0" && address != "::") return address;
    return "session " + std::to_string(record.subject()->sid);
}

// The account named between angle brackets in an authentication text.
std::optional<std::string> targetUser(std::string_view text)
{
    const size_t open = text.find('<');
    if (open == std::string::npos) return std::nullopt;
    const size_t close = text.find('>', open + 1);
    if (close == std::string::npos) return std::nullopt;
    return std::string(text.substr(open + 1, close - open - 1));
}

std::string joined(const StringList &parts, size_t from = 0)
{
    std::string out;
    for (size_t i = from; i < parts.size(); ++i) {
        if (i > from) out += ' ';
        out += parts[i];
    }
    return out;
}

// The patterns are ASCII, so only lowercase mappings that reach ASCII letters matter: A to Z and
// the Kelvin sign, which lowercases to k. (The dotted capital I gives i and a combining dot, which
// no pattern can take up.)
std::string lowercased(std::string_view text)
{
    constexpr std::string_view kelvin = "\u212A";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            out += char(c - 'A' + 'a');
        } else if (c == kelvin[0] && text.substr(i, kelvin.size()) == kelvin) {
            out += 'k';
            i += kelvin.size() - 1;
        } else {
            out += c;
        }
    }
    return out;
}

std::string octal(uint64_t value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%" PRIo64, value);
    return buffer;
}

struct FailureGroup {
    std::string origin;
    std::vector<size_t> records; // indices into the input, in input order
};

void reportBruteForce(std::span<const AuditRecord> records, const FailureGroup &group, size_t lo, size_t i,
                      std::vector<Finding> &findings)
{
    const AuditRecord &last = records[group.records[i]];
    std::set<std::string> targets;
    std::vector<int64_t> ids;
    ids.reserve(i - lo + 1);
    for (size_t k = lo; k <= i; ++k) {
        const AuditRecord &record = records[group.records[k]];
        ids.push_back(record.id);
        for (const std::string_view text : record.texts())
            if (auto target = targetUser(text)) targets.insert(std::move(*target));
    }
    std::string summary =
        std::to_string(i - lo + 1) + "+ failed authentications from " + group.origin + " within 10 minutes";
    if (!targets.empty()) {
        summary += " (targets: ";
        bool first = true;
        for (const std::string &target : targets) {
            if (!first) summary += ", ";
            summary += target;
            first = false;
        }
        summary += ")";
    }
    Finding finding = makeFinding(bruteForce, last, std::move(summary));
    finding.recordIDs = std::move(ids);
    findings.push_back(std::move(finding));
}

// Findings of one successful exec: its location, then every command rule that matches.
void execution(const AuditRecord &record, std::vector<Finding> &findings)
{
    const std::string image(!record.paths().empty()      ? record.paths().front()
                            : !record.execArgs().empty() ? record.execArgs().front()
                                                         : std::string_view());
    if (const auto location = suspiciousLocation(image)) {
        Finding finding = makeFinding(executionFrom, record, image + " " + joined(record.execArgs(), 1));
        finding.rule += *location;
        if (*location == "hidden path") finding.technique = hiddenPathTechnique;
        findings.push_back(std::move(finding));
    }
    const std::string_view executable = lastPathComponent(image);
    const std::string arguments = joined(record.execArgs());
    const std::string commandLine = lowercased(arguments);
    for (const CommandRule &rule : commandRules()) {
        if (!rule.match(executable, commandLine)) continue;
        findings.push_back(makeFinding(rule.name, rule.category, rule.severity, rule.technique, rule.explanation,
                                       record, arguments.empty() ? image : arguments));
    }
}

// At most one finding per record: the first path that gives one ends the search.
template <typename Description>
void pathRules(const AuditRecord &record, const Description &description, std::vector<Finding> &findings)
{
    const auto &masks = AuditCatalog::shared().eventMasks;
    const auto found = masks.find(record.event);
    const uint32_t mask = found == masks.end() ? 0 : found->second;
    const bool deletion =
        AuditEvents::delete_.contains(record.event) || (mask & deletionClassBits) == deletionClassValue;
    const bool writing = (mask & writeClassBits) != 0;
    const bool systemProcess = record.processImage && record.processImage->starts_with("/System/");

    for (const std::string_view path : record.paths()) {
        const auto summary = [&] { return description() + ": " + std::string(path); };
        if (deletion) {
            if (auto artifact = logArtifact(path)) {
                Finding finding = makeFinding(logRemoved, record, summary());
                finding.technique = std::move(artifact->technique);
                finding.explanation = std::move(artifact->why);
                findings.push_back(std::move(finding));
                return;
            }
        }
        if (writing) {
            if (auto location = persistenceLocation(path)) {
                Finding finding = makeFinding(persistenceModified, record, summary());
                finding.severity = location->severity;
                finding.technique = std::move(location->technique);
                finding.explanation = std::move(location->why);
                findings.push_back(std::move(finding));
                return;
            }
        }
        if (auto why = sensitiveData(path)) {
            if (systemProcess) continue;
            Finding finding = makeFinding(sensitiveAccess, record, summary());
            finding.explanation = std::move(*why);
            findings.push_back(std::move(finding));
            return;
        }
    }
}

// A time that is not a number sorts after every other, so the comparison stays a strict weak
// order (which the sort needs) whatever the records hold.
bool earlier(const Finding &a, const Finding &b)
{
    if (std::isnan(a.time)) return false;
    return std::isnan(b.time) || a.time < b.time;
}

} // namespace

std::vector<Finding> run(std::span<const AuditRecord> records, Parallel::Pool &pool)
{
    const AuditCatalog &catalog = AuditCatalog::shared();
    std::vector<Finding> findings;

    const size_t threads = pool.threads();
    const size_t parts = threads <= 1 ? 1 : std::clamp<size_t>(records.size() / minimumPart, 1, threads * 4);
    const auto bound = [&](size_t part) { return records.size() * part / parts; };

    // Failed authentications by origin, origins in order of first failure. They are few: the parts
    // find them side by side, and one thread groups them in record order.
    std::vector<std::vector<size_t>> failedIn(parts);
    pool.forEach(parts, [&](size_t part) {
        for (size_t r = bound(part); r < bound(part + 1); ++r)
            if (records[r].returnStatus != 0 && inAuthenticationSet(records[r].event)) failedIn[part].push_back(r);
    });
    std::vector<FailureGroup> groups;
    std::unordered_map<std::string, size_t> groupIndex;
    size_t grouped = 0;
    for (const size_t r : std::views::join(failedIn)) {
        // Each origin takes memory, and an attacker chooses how many there are.
        if ((++grouped & 4095) == 0) Parallel::checkpoint();
        const AuditRecord &record = records[r];
        std::string from = origin(record);
        const auto [it, inserted] = groupIndex.try_emplace(from, groups.size());
        if (inserted) groups.push_back(FailureGroup{std::move(from), {}});
        groups[it->second].records.push_back(r);
    }

    // Brute force: the window start only moves forward, so each group is walked once.
    std::unordered_map<std::string, double> lastBurst;
    for (const FailureGroup &group : groups) {
        size_t lo = 0;
        std::optional<size_t> reportedEnd;
        for (size_t i = 0; i < group.records.size(); ++i) {
            const double time = records[group.records[i]].time;
            while (time - records[group.records[lo]].time > bruteForceWindow) ++lo;
            const size_t n = i - lo + 1;
            if (n >= bruteForceThreshold && (!reportedEnd || *reportedEnd < lo)) {
                reportBruteForce(records, group, lo, i, findings);
                reportedEnd = i;
                lastBurst[group.origin] = time;
            }
        }
    }
    const auto failureCount = [&](const std::string &from) {
        const auto it = groupIndex.find(from);
        return it == groupIndex.end() ? size_t(0) : groups[it->second].records.size();
    };

    // Every rule from here on looks at one record alone, so parts of the list are checked side by
    // side; joined in list order, their findings are those of one pass.
    const auto checkRecords = [&](size_t begin, size_t end, std::vector<Finding> &findings) {
        for (size_t at = begin; at < end; ++at) {
            if (((at - begin) & 1023) == 1023) Parallel::checkpoint();
            const AuditRecord &record = records[at];
            const uint16_t event = record.event;
            const bool succeeded = record.returnStatus == 0;
            std::optional<std::string> descriptionCache;
            const auto description = [&]() -> const std::string & {
                if (!descriptionCache) descriptionCache = catalog.eventDescription(event);
                return *descriptionCache;
            };
            const auto firstText = [&]() -> std::string {
                return record.texts().empty() ? description() : std::string(record.texts().front());
            };

            if (AuditEvents::remoteLogin.contains(event) && succeeded) {
                const std::string from = origin(record);
                const auto burst = lastBurst.find(from);
                if (burst != lastBurst.end() && record.time > burst->second &&
                    record.time - burst->second < loginAfterBurstLimit)
                    findings.push_back(makeFinding(loginAfterBruteForce, record,
                                                   "Successful remote login from " + from +
                                                       " shortly after a brute-force burst"));
                else
                    findings.push_back(
                        makeFinding(remoteLogin, record, "Remote login (" + description() + ") from " + from));
            } else if (AuditEvents::privilegeElevation.contains(event)) {
                findings.push_back(makeFinding(succeeded ? elevation : failedElevation, record, firstText()));
            } else if (!succeeded && inAuthenticationSet(event) && failureCount(origin(record)) < bruteForceThreshold) {
                findings.push_back(makeFinding(authenticationFailure, record, firstText()));
            }

            if (AuditEvents::accountManagement.contains(event) && succeeded)
                findings.push_back(makeFinding(isOneOf(event, accountCreationEvents) ? accountCreated : accountModified,
                                               record, firstText()));

            if (event == auditShutdownEvent) {
                findings.push_back(makeFinding(auditStopped, record, firstText()));
            } else if (AuditEvents::auditControl.contains(event)) {
                Finding finding = makeFinding(auditChange, record, description() + (succeeded ? "" : " (failed)"));
                if (!succeeded) finding.severity = Severity::medium;
                findings.push_back(std::move(finding));
            }

            if (AuditEvents::timeChange.contains(event) && succeeded) {
                const std::string_view name = record.processImage ? lastPathComponent(*record.processImage) : "";
                const std::string actor =
                    !name.empty() ? std::string(name)
                                  : "pid " + std::to_string(record.subject() ? record.subject()->pid : 0);
                findings.push_back(makeFinding(clockChanged, record, "settimeofday() by " + actor));
            }

            if (AuditEvents::processAccess.contains(event) && succeeded && record.target() &&
                !(record.subject() && record.subject()->pid == record.target()->pid)) {
                findings.push_back(makeFinding(memoryAccess, record,
                                               description() + " on pid " + std::to_string(record.target()->pid) + " (" +
                                                   UserResolver::shared().shortName(record.target()->euid) + ")"));
            }

            if (AuditEvents::chmod.contains(event) && succeeded) {
                const ArgList args = record.args();
                const auto mode = std::find_if(args.begin(), args.end(),
                                               [](const ArgView arg) { return arg.name.find("mode") != std::string::npos; });
                if (mode != args.end() && ((*mode).value & setuidSetgidBits) != 0)
                    findings.push_back(makeFinding(setuidBitSet, record,
                                                   "chmod " + octal((*mode).value) + " " +
                                                       (record.paths().empty() ? std::string("?")
                                                                               : std::string(record.paths().front()))));
            }

            const bool exec = AuditEvents::exec.contains(event);
            if (exec && succeeded) execution(record, findings);
            if (!exec && succeeded && !record.paths().empty()) pathRules(record, description, findings);

            if (isOneOf(event, networkEvents) && succeeded && record.processImage && !record.sockets().empty() &&
                !record.sockets().front().starts_with("/") && suspiciousLocation(*record.processImage)) {
                findings.push_back(makeFinding(networkFromSuspicious, record,
                                               std::string(lastPathComponent(*record.processImage)) + " → " +
                                                   std::string(record.sockets().front())));
            }
        }
    };
    const auto bursts = std::ptrdiff_t(findings.size());
    if (parts == 1) {
        checkRecords(0, records.size(), findings);
    } else {
        std::vector<std::vector<Finding>> found(parts);
        pool.forEach(parts, [&](size_t part) { checkRecords(bound(part), bound(part + 1), found[part]); });
        size_t total = findings.size();
        for (const std::vector<Finding> &part : found) total += part.size();
        Parallel::checkpoint(0, total * sizeof(Finding));
        findings.reserve(total);
        for (std::vector<Finding> &part : found)
            findings.insert(findings.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    }

    // A record's findings carry its time, so those of records in time order already are; only the
    // bursts found first need a place among them, which a merge gives as a stable sort would.
    std::stable_sort(findings.begin(), findings.begin() + bursts, earlier);
    if (std::is_sorted(findings.begin() + bursts, findings.end(), earlier))
        std::inplace_merge(findings.begin(), findings.begin() + bursts, findings.end(), earlier);
    else
        std::stable_sort(findings.begin(), findings.end(), earlier);
    // Kept as long as the analysis: no room to grow.
    findings.shrink_to_fit();
    return findings;
}

} // namespace Detections
