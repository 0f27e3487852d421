#include "Engine/BSM/UserResolver.h"

#include "Engine/BSM/UTF8.h"

#include <grp.h>
#include <pwd.h>

namespace {

constexpr uint32_t unset = 0xFFFFFFFFu;

// Fixed sizes: an entry too large for them is answered as unknown, not retried.
constexpr size_t userBufferSize = 1024;
constexpr size_t groupBufferSize = 4096;

std::optional<std::string> lookUpUser(uint32_t uid)
{
    char buffer[userBufferSize] = {};
    passwd record{};
    passwd *result = nullptr;
    if (::getpwuid_r(uid, &record, buffer, sizeof buffer, &result) != 0 || !result || !record.pw_name)
        return std::nullopt;
    return UTF8::decodeLossy(record.pw_name);
}

std::optional<std::string> lookUpGroup(uint32_t gid)
{
    char buffer[groupBufferSize] = {};
    group record{};
    group *result = nullptr;
    if (::getgrgid_r(gid, &record, buffer, sizeof buffer, &result) != 0 || !result || !record.gr_name)
        return std::nullopt;
    return UTF8::decodeLossy(record.gr_name);
}

} // namespace

UserResolver &UserResolver::shared()
{
    static UserResolver resolver;
    return resolver;
}

std::optional<std::string> UserResolver::name(uint32_t uid)
{
    if (uid == unset) return std::nullopt;
    // Held across the system call, so the same id is never looked up twice.
    std::lock_guard guard(lock);
    if (auto it = users.find(uid); it != users.end()) return it->second;
    std::optional<std::string> answer = lookUpUser(uid);
    users.emplace(uid, answer);
    return answer;
}

std::optional<std::string> UserResolver::groupName(uint32_t gid)
{
    std::lock_guard guard(lock);
    if (auto it = groups.find(gid); it != groups.end()) return it->second;
    std::optional<std::string> answer = lookUpGroup(gid);
    groups.emplace(gid, answer);
    return answer;
}

std::string UserResolver::shortName(uint32_t uid)
{
    if (uid == unset) return "\u2014";
    return name(uid).value_or(std::to_string(uid));
}

std::string UserResolver::describe(uint32_t uid)
{
    if (uid == unset) return "unset (-1)";
    if (std::optional<std::string> found = name(uid)) return *found + " (" + std::to_string(uid) + ")";
    return std::to_string(uid);
}

std::string UserResolver::describeGroup(uint32_t gid)
{
    if (std::optional<std::string> found = groupName(gid)) return *found + " (" + std::to_string(gid) + ")";
    return std::to_string(gid);
}

void UserResolver::seed(uint32_t uid, const std::string &name)
{
    if (uid == unset) return;
    std::lock_guard guard(lock);
    users[uid] = name;
}
