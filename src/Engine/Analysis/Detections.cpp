#include "Engine/Analysis/Detections.h"

#include "Engine/Analysis/RecordRules.h"
#include "Engine/Support/Memory.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <ranges>
#include <set>
#include <unordered_map>
#include <unordered_set>

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

// The account named between angle brackets in an authentication text.
std::optional<std::string> targetUser(std::string_view text)
{
    const size_t open = text.find('<');
    if (open == std::string::npos) return std::nullopt;
    const size_t close = text.find('>', open + 1);
    if (close == std::string::npos) return std::nullopt;
    return std::string(text.substr(open + 1, close - open - 1));
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
    std::string summary = std::to_string(i - lo + 1) + "+ failed authentications from " + group.origin
                          + " within 10 minutes";
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
    Finding finding = makeFinding(Rules::bruteForce, last, std::move(summary));
    finding.recordIDs = std::move(ids);
    findings.push_back(std::move(finding));
}

// A time that is not a number sorts after every other, so the comparison stays a strict weak
// order (which the sort needs) whatever the records hold.
bool earlier(const Finding &a, const Finding &b)
{
    if (std::isnan(a.time)) return false;
    return std::isnan(b.time) || a.time < b.time;
}

} // namespace

FindingText ruleWords(std::string_view text)
{
    if (text.empty()) return {};
    // By content, not address: a command rule's words, say, may be made again elsewhere.
    thread_local std::unordered_map<std::string_view, const std::string *> seen;
    if (const auto found = seen.find(text); found != seen.end()) return FindingText::sharing(*found->second);
    static std::mutex lock;
    // Never freed: findings may outlive every static, and no one knows which words they hold.
    static auto *const kept = new std::unordered_set<std::string>;
    const std::string *words = nullptr;
    {
        const std::scoped_lock locked(lock);
        words = &*kept->emplace(text).first;
    }
    seen.emplace(*words, words);
    return FindingText::sharing(*words);
}

std::vector<Finding> run(std::span<const AuditRecord> records, Parallel::Pool &pool)
{
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
    for (const std::vector<size_t> &part : failedIn) {
        for (const size_t r : part) {
            // Each origin takes memory, and an attacker chooses how many there are.
            if ((++grouped & 4095) == 0) Parallel::checkpoint();
            const AuditRecord &record = records[r];
            std::string from = origin(record);
            const auto [it, inserted] = groupIndex.try_emplace(from, groups.size());
            if (inserted) groups.push_back(FailureGroup{std::move(from), {}});
            groups[it->second].records.push_back(r);
        }
    }

    // Brute force: the window start only moves forward, so each group is walked once.
    Origins origins;
    for (const FailureGroup &group : groups) {
        OriginHistory &history = origins[group.origin];
        history.failures = group.records.size();
        size_t lo = 0;
        std::optional<size_t> reportedEnd;
        for (size_t i = 0; i < group.records.size(); ++i) {
            const double time = records[group.records[i]].time;
            while (time - records[group.records[lo]].time > bruteForceWindow) ++lo;
            const size_t n = i - lo + 1;
            if (n >= bruteForceThreshold && (!reportedEnd || *reportedEnd < lo)) {
                reportBruteForce(records, group, lo, i, findings);
                reportedEnd = i;
                history.lastBurst = time;
            }
        }
    }

    // Every other rule looks at one record alone, so parts of the list are checked side by side;
    // joined in list order, their findings are those of one pass.
    const auto bursts = std::ptrdiff_t(findings.size());
    if (parts == 1) {
        checkRecords(records, origins, findings);
    } else {
        std::vector<std::vector<Finding>> found(parts);
        pool.forEach(parts, [&](size_t part) {
            // Room for a finding every few records, only reserved: a list that grows copies what it
            // holds into memory it touches for the first time, and the copies are let go at once.
            found[part].reserve((bound(part + 1) - bound(part)) / 4);
            checkRecords(records.subspan(bound(part), bound(part + 1) - bound(part)), origins, found[part]);
        });
        size_t total = findings.size();
        for (const std::vector<Finding> &part : found) total += part.size();
        Parallel::checkpoint(0, total * sizeof(Finding));
        findings.reserve(total);
        Memory::prefault(findings.data(), total * sizeof(Finding), pool);
        for (std::vector<Finding> &part : found)
            findings.insert(findings.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    }

    // A record's findings carry its time, so those of records in time order already are; only the
    // bursts found first need a place among them, which a merge gives as a stable sort would.
    std::stable_sort(findings.begin(), findings.begin() + bursts, earlier);
    if (std::is_sorted(findings.begin() + bursts, findings.end(), earlier))
        std::inplace_merge(findings.begin(), findings.begin() + bursts, findings.end(), earlier);
    else std::stable_sort(findings.begin(), findings.end(), earlier);
    // Kept as long as the analysis: no room to grow.
    findings.shrink_to_fit();
    return findings;
}

} // namespace Detections
