#include "Engine/Analysis/DisplayKeys.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"

namespace DisplayKeys {

namespace {
constexpr const char *placeholder = "\u2014";
constexpr const char *joiner = " \u2192 ";
} // namespace

std::string userLabel(const AuditRecord &record, UserResolver &users)
{
    if (!record.subject()) return {};
    // The texts are compared, not the ids: two ids with one name show that name once.
    const std::string audit = users.shortName(record.subject()->auid);
    std::string effective = users.shortName(record.subject()->euid);
    if (audit == placeholder) return effective;
    if (audit == effective) return audit;
    return audit + joiner + effective;
}

std::string userLabel(const AuditRecord &record)
{
    return userLabel(record, UserResolver::shared());
}

int64_t pidValue(const AuditRecord &record)
{
    return record.subject() ? int64_t(record.subject()->pid) : 0;
}

int64_t resultRank(const AuditRecord &record)
{
    return record.returnStatus == 0 ? 0 : 1;
}

std::string classLabel(const AuditRecord &record, const AuditCatalog &catalog)
{
    const auto found = catalog.events.find(record.event);
    if (found == catalog.events.end()) return {};
    std::string label;
    for (size_t i = 0; i < found->second.classes.size(); ++i) {
        if (i > 0) label += ',';
        label += found->second.classes[i];
    }
    return label;
}

std::string classLabel(const AuditRecord &record)
{
    return classLabel(record, AuditCatalog::shared());
}

std::string eventLabel(const AuditRecord &record, const AuditCatalog &catalog)
{
    return catalog.eventLabel(record.event);
}

std::string eventLabel(const AuditRecord &record)
{
    return eventLabel(record, AuditCatalog::shared());
}

int64_t severityRank(const Finding &finding)
{
    return rawValue(finding.severity);
}

} // namespace DisplayKeys
