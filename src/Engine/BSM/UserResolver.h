#pragma once

#include <cstdint>
#include <grp.h>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <string>
#include <unordered_map>

// Turns user and group ids into this machine's names, remembering every answer (including a clean
// "no such id") for the rest of the run; a look-up that failed is asked again next time. Used
// from the main thread and background tasks alike.
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

    // Records a name for a uid, or that it has none, answered from then on like any cached one
    // (the sample's user).
    void seed(uint32_t uid, std::optional<std::string> name);
    void seedGroup(uint32_t gid, std::optional<std::string> name);

private:
    friend struct UserResolverProbe; // tests look into the caches

    // The system's reentrant look-ups; tests put others in their place.
    int (*userLookUp)(uid_t, passwd *, char *, size_t, passwd **) = ::getpwuid_r;
    int (*groupLookUp)(gid_t, group *, char *, size_t, group **) = ::getgrgid_r;

    // Guards both caches; held across the system look-up.
    std::mutex lock;
    std::unordered_map<uint32_t, std::optional<std::string>> users;
    std::unordered_map<uint32_t, std::optional<std::string>> groups;
};
