#include "Engine/BSM/UserResolver.h"

#include "Engine/BSM/UTF8.h"

#include <cerrno>
#include <vector>

namespace {

constexpr uint32_t unset = 0xFFFFFFFFu;

// Where the search for a big enough buffer starts and gives up: directory-service groups with
// thousands of members need far more than the usual few kilobytes.
constexpr size_t userBufferSize = 1024;
constexpr size_t groupBufferSize = 4096;
constexpr size_t maximumBufferSize = size_t(64) << 20;

struct Answer {
    std::optional<std::string> name;
    bool lasting = false; // found, or cleanly absent: worth remembering
};

template <typename Id, typename Entry>
Answer lookUp(int (*call)(Id, Entry *, char *, size_t, Entry **), Id id, char *Entry::*nameField, size_t size)
{
    std::vector<char> buffer(size);
    for (;;) {
        Entry entry{};
        Entry *result = nullptr;
        const int error = call(id, &entry, buffer.data(), buffer.size(), &result);
        if (error == ERANGE && buffer.size() < maximumBufferSize) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0) return {};
        if (!result) return {std::nullopt, true};
        if (!(entry.*nameField)) return {};
        return {UTF8::decodeLossy(entry.*nameField), true};
    }
}

template <typename Id, typename Entry>
std::optional<std::string> remembered(std::unordered_map<uint32_t, std::optional<std::string>> &cache, uint32_t id,
                                      int (*call)(Id, Entry *, char *, size_t, Entry **), char *Entry::*nameField,
                                      size_t size)
{
    if (auto it = cache.find(id); it != cache.end()) return it->second;
    Answer answer = lookUp(call, static_cast<Id>(id), nameField, size);
    if (answer.lasting) cache.emplace(id, answer.name);
    return std::move(answer.name);
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
    return remembered(users, uid, userLookUp, &passwd::pw_name, userBufferSize);
}

std::optional<std::string> UserResolver::groupName(uint32_t gid)
{
    std::lock_guard guard(lock);
    return remembered(groups, gid, groupLookUp, &group::gr_name, groupBufferSize);
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

void UserResolver::seed(uint32_t uid, std::optional<std::string> name)
{
    if (uid == unset) return;
    std::lock_guard guard(lock);
    users[uid] = std::move(name);
}

void UserResolver::seedGroup(uint32_t gid, std::optional<std::string> name)
{
    std::lock_guard guard(lock);
    groups[gid] = std::move(name);
}
