#include "Engine/Record/EventFilter.h"

#include "Engine/BSM/AuditCatalog.h"

#include <vector>

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
