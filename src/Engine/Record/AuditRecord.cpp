#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/PathComponents.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/CaseFold.h"
#include "Engine/BSM/UserResolver.h"

#include <charconv>

namespace {

std::string joined(const std::vector<std::string> &items, std::string_view separator)
{
    std::string result;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) result += separator;
        result += items[i];
    }
    return result;
}

bool anyContains(const std::vector<std::string> &items, const CaseFold::Needle &needle)
{
    for (const std::string &item : items) {
        if (needle.foundIn(item)) return true;
    }
    return false;
}

} // namespace

std::string AuditRecord::processName() const
{
    return processImage ? std::string(lastPathComponent(*processImage)) : std::string();
}

std::vector<std::string> AuditRecord::classNames() const
{
    const AuditCatalog &catalog = AuditCatalog::shared();
    const auto it = catalog.events.find(event);
    return it == catalog.events.end() ? std::vector<std::string>() : it->second.classes;
}

std::string AuditRecord::detailSummary() const
{
    if (!execArgs.empty()) return joined(execArgs, " ");
    std::vector<std::string> parts;
    if (!paths.empty()) parts.push_back(joined(paths, " \u2192 "));
    if (!sockets.empty()) parts.push_back(joined(sockets, ", "));
    if (!texts.empty()) parts.push_back(joined(texts, " \u00B7 "));
    else if (parts.empty() && target) parts.push_back("target pid " + std::to_string(target->pid));
    return joined(parts, "  ");
}

bool AuditRecord::matches(std::string_view query) const
{
    const CaseFold::Needle needle(query);

    // Read the catalogue in place: eventName() and eventDescription() would copy per record.
    const AuditCatalog &catalog = AuditCatalog::shared();
    if (const auto it = catalog.events.find(event); it != catalog.events.end()) {
        if (needle.foundIn(it->second.name) || needle.foundIn(it->second.description)) return true;
    } else if (needle.foundIn(catalog.eventName(event)) || needle.foundIn(catalog.eventDescription(event))) {
        return true;
    }

    if (processImage && needle.foundIn(*processImage)) return true;
    if (anyContains(paths, needle) || anyContains(texts, needle) || anyContains(execArgs, needle)
        || anyContains(sockets, needle))
        return true;
    if (identity && (needle.foundIn(identity->signingID) || needle.foundIn(identity->teamID))) return true;

    if (!subject) return false;
    char pid[16];
    const auto written = std::to_chars(pid, pid + sizeof pid, subject->pid);
    if (query == std::string_view(pid, static_cast<size_t>(written.ptr - pid))) return true;
    // The user names come last: they may reach the system's user database.
    UserResolver &users = UserResolver::shared();
    for (uint32_t uid : {subject->auid, subject->euid}) {
        if (uid == unsetID) continue;
        if (const std::optional<std::string> name = users.name(uid); name && needle.foundIn(*name)) return true;
    }
    return false;
}
