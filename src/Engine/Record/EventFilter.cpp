#include "Engine/Record/EventFilter.h"

#include "Engine/BSM/AuditCatalog.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

// How many records a part tests between two looks at whether it should stop.
constexpr size_t stopCheckInterval = 4096;

} // namespace

bool EventFilter::isActive() const
{
    return !text.empty() || !classes.empty() || result != ResultFilter::all || user || pid || !events.empty()
           || recordIDs || start || end;
}

uint32_t EventFilter::classMask() const
{
    if (classes.empty()) return 0;
    return AuditCatalog::shared().mask(std::vector<std::string>(classes.begin(), classes.end()));
}

EventFilter::Pass EventFilter::pass() const
{
    Pass pass;
    pass.classMask = classMask();
    if (!text.empty()) pass.query.emplace(text);
    return pass;
}

bool EventFilter::matches(const AuditRecord &record, const Pass &pass) const
{
    const uint32_t mask = pass.classMask;
    if (recordIDs && !recordIDs->contains(record.id)) return false;
    if (result == ResultFilter::success && record.returnStatus != 0) return false;
    if (result == ResultFilter::failure && record.returnStatus == 0) return false;
    if (mask != 0) {
        const auto &masks = AuditCatalog::shared().eventMasks;
        const auto it = masks.find(record.event);
        if (it == masks.end() || (it->second & mask) == 0) return false;
    }
    if (!events.empty() && !events.contains(record.event)) return false;
    if (pid && (!record.subject() || record.subject()->pid != *pid)) return false;
    if (user) {
        if (!record.subject()) return false;
        const SubjectInfo &s = *record.subject();
        if (s.auid != *user && s.euid != *user && s.ruid != *user) return false;
    }
    if (start && record.time < *start) return false;
    if (end && record.time > *end) return false;
    if (pass.query && !record.matches(*pass.query)) return false;
    return true;
}

std::optional<std::vector<uint32_t>> EventFilter::select(std::span<const AuditRecord> records, const Pass &pass,
                                                         Parallel::Pool &pool, const std::function<bool()> &stop) const
{
    const size_t parts = std::clamp<size_t>(records.size() / 16384, 1, size_t(pool.threads()) * 4);
    std::vector<std::vector<uint32_t>> found(parts);
    std::atomic<bool> stopped{false};
    pool.forEach(parts, [&](size_t part) {
        // A query remembers what it learnt about user names: one copy for each part.
        const Pass own = pass;
        for (size_t p = records.size() * part / parts; p < records.size() * (part + 1) / parts; ++p) {
            if (p % stopCheckInterval == 0 && (stopped.load(std::memory_order_relaxed) || (stop && stop()))) {
                stopped = true;
                return;
            }
            if (matches(records[p], own)) found[part].push_back(uint32_t(p));
        }
    });
    if (stopped) return std::nullopt;
    size_t total = 0;
    for (const std::vector<uint32_t> &positions : found) total += positions.size();
    std::vector<uint32_t> positions;
    positions.reserve(total);
    for (const std::vector<uint32_t> &part : found) positions.insert(positions.end(), part.begin(), part.end());
    return positions;
}
