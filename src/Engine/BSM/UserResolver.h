#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// Turns user and group ids into this machine's names, remembering every answer (including
// "no such id") for the rest of the run. Used from the main thread and background tasks alike.
class UserResolver {
public:
    static UserResolver &shared();

    std::optional<std::string> name(uint32_t uid);
    std::optional<std::string> groupName(uint32_t gid);
    // "—" for unset, else the name, else the decimal uid.
    std::string shortName(uint32_t uid);
    // "unset (-1)", "name (uid)" or the decimal uid.
    std::string describe(uint32_t uid);
    // "name (gid)" or the decimal gid.
    std::string describeGroup(uint32_t gid);

    // Records a name for a uid, answered from then on like any cached one (the sample's user).
    void seed(uint32_t uid, const std::string &name);

    // Guards both caches; held across the system look-up.
    std::mutex lock;
    std::unordered_map<uint32_t, std::optional<std::string>> users;
    std::unordered_map<uint32_t, std::optional<std::string>> groups;
};
