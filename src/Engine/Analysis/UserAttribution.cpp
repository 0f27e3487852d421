#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"

namespace Detections {

namespace {

const std::string dash = "\u2014";

std::string userText(uint32_t uid)
{
    if (uid == unsetID) return dash;
    if (auto name = UserResolver::shared().name(uid)) return *name;
    return std::to_string(uid);
}

} // namespace

std::string user(const AuditRecord &record)
{
    if (!record.subject()) return dash;
    std::string audit = userText(record.subject()->auid);
    std::string effective = userText(record.subject()->euid);
    if (audit == effective || audit == dash) return effective;
    return audit + " \u2192 " + effective;
}

} // namespace Detections
