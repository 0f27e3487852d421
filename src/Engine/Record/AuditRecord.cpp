#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/JoinedText.h"
#include "Engine/Record/PathComponents.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/CaseFold.h"
#include "Engine/BSM/UserResolver.h"

#include <charconv>

namespace {

bool anyContains(const StringList &items, const CaseFold::Needle &needle)
{
    for (const std::string_view item : items) {
        if (needle.foundIn(item)) return true;
    }
    return false;
}

} // namespace

ArgList AuditRecord::args() const
{
    const uint8_t *p = parts();
    return p ? ArgList(RecordParts::Layout(p, rawBytes())) : ArgList();
}

std::optional<uint32_t> AuditRecord::scalar(RecordParts::Flag flag) const
{
    const uint8_t *p = parts();
    if (!p || !(p[0] & flag)) return std::nullopt;
    const RecordParts::Layout layout(p, nullptr);
    const int before = std::popcount(unsigned(layout.flags & (flag - 1u)));
    return RecordParts::read32(layout.scalars + 4 * size_t(before));
}

std::optional<int32_t> AuditRecord::exitStatus() const
{
    const auto value = scalar(RecordParts::hasExitStatus);
    return value ? std::optional<int32_t>(int32_t(*value)) : std::nullopt;
}

std::optional<uint32_t> AuditRecord::fileMode() const
{
    return scalar(RecordParts::hasFileMode);
}

std::optional<uint32_t> AuditRecord::fileOwner() const
{
    return scalar(RecordParts::hasFileOwner);
}

std::optional<std::string_view> AuditRecord::decodeError() const
{
    const uint8_t *p = parts();
    if (!p || !(p[0] & RecordParts::hasDecodeError)) return std::nullopt;
    const RecordParts::Layout layout(p, rawBytes());
    return layout.strings[layout.first(RecordParts::listCount)];
}

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
    std::string summary;
    appendDetailSummary(summary);
    return summary;
}

void AuditRecord::appendDetailSummary(std::string &out) const
{
    detailText(*this).append(out);
}

bool AuditRecord::matches(const RecordQuery &query) const
{
    const CaseFold::Needle &needle = query.needle();

    // Read the catalogue in place: eventName() and eventDescription() would copy per record.
    const AuditCatalog &catalog = AuditCatalog::shared();
    if (const auto it = catalog.events.find(event); it != catalog.events.end()) {
        if (needle.foundIn(it->second.name) || needle.foundIn(it->second.description)) return true;
    } else if (needle.foundIn(catalog.eventName(event)) || needle.foundIn(catalog.eventDescription(event))) {
        return true;
    }

    if (processImage && needle.foundIn(*processImage)) return true;
    // Paths, texts, exec arguments and sockets come one after another in the parts: one pass.
    if (const uint8_t *p = parts()) {
        const RecordParts::Layout layout(p, rawBytes());
        const StringList searched(layout.strings, 0, layout.first(RecordParts::args));
        if (anyContains(searched, needle)) return true;
    }
    if (const SigningIdentity *identity = this->identity();
        identity && (needle.foundIn(identity->signingID) || needle.foundIn(identity->teamID)))
        return true;

    const SubjectInfo *subject = this->subject();
    if (!subject) return false;
    char pid[16];
    const auto written = std::to_chars(pid, pid + sizeof pid, subject->pid);
    if (query.text() == std::string_view(pid, static_cast<size_t>(written.ptr - pid))) return true;
    // The user names come last: they may reach the system's user database.
    UserResolver &users = UserResolver::shared();
    for (uint32_t uid : {subject->auid, subject->euid}) {
        if (uid == unsetID) continue;
        if (query.userMatches(uid, [&] {
                const std::optional<std::string> name = users.name(uid);
                return name && needle.foundIn(*name);
            }))
            return true;
    }
    return false;
}
