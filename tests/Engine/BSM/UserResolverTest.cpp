#include "Engine/BSM/UserResolver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

// The caches, as the resolver keeps them, and the system look-ups it asks.
struct UserResolverProbe {
    static std::unordered_map<uint32_t, std::optional<std::string>> &users(UserResolver &r) { return r.users; }
    static std::unordered_map<uint32_t, std::optional<std::string>> &groups(UserResolver &r) { return r.groups; }
    template <typename UserLookUp, typename GroupLookUp>
    static void askInstead(UserResolver &r, UserLookUp user, GroupLookUp group)
    {
        r.userLookUp = user;
        r.groupLookUp = group;
    }
};

namespace {

using Probe = UserResolverProbe;

constexpr uint32_t unset = 0xFFFFFFFFu;
// No account on any ordinary machine.
constexpr uint32_t unknownID = 3999999;

TEST(UserResolver, DisplayForms)
{
    UserResolver resolver;
    struct Case {
        uint32_t uid;
        std::optional<std::string> name;
        const char *shortName;
        const char *described;
    };
    const Case cases[] = {
        {0, "root", "root", "root (0)"},
        {unknownID, std::nullopt, "3999999", "3999999"},
        {unset, std::nullopt, "\u2014", "unset (-1)"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(resolver.name(c.uid), c.name) << c.uid;
        EXPECT_EQ(resolver.shortName(c.uid), c.shortName) << c.uid;
        EXPECT_EQ(resolver.describe(c.uid), c.described) << c.uid;
    }
    EXPECT_EQ(Probe::users(resolver).count(unset), 0u) << "the unset id never enters the cache";
}

TEST(UserResolver, GroupsHaveNoUnsetForm)
{
    UserResolver resolver;
    EXPECT_EQ(resolver.groupName(0), "root");
    EXPECT_EQ(resolver.describeGroup(0), "root (0)");
    EXPECT_EQ(resolver.describeGroup(unknownID), "3999999");
    EXPECT_EQ(resolver.describeGroup(unset), "4294967295");
    EXPECT_EQ(Probe::groups(resolver).count(unset), 1u) << "looked up and cached like any other gid";
}

TEST(UserResolver, CachedAnswersWinOverTheSystem)
{
    // The system knows root; a cached entry, name or failure, must be answered without asking it.
    UserResolver resolver;
    resolver.seed(0, "cached-root");
    EXPECT_EQ(resolver.name(0), "cached-root");
    EXPECT_EQ(resolver.describe(0), "cached-root (0)");

    resolver.seed(0, std::nullopt);
    resolver.seedGroup(0, std::nullopt);
    EXPECT_EQ(resolver.name(0), std::nullopt);
    EXPECT_EQ(resolver.describe(0), "0");
    EXPECT_EQ(resolver.describeGroup(0), "0");
}

TEST(UserResolver, FailedLookUpsAreRemembered)
{
    UserResolver resolver;
    EXPECT_EQ(resolver.name(unknownID), std::nullopt);
    EXPECT_EQ(resolver.groupName(unknownID), std::nullopt);
    ASSERT_EQ(Probe::users(resolver).count(unknownID), 1u);
    EXPECT_EQ(Probe::users(resolver).at(unknownID), std::nullopt);
    ASSERT_EQ(Probe::groups(resolver).count(unknownID), 1u);
    EXPECT_EQ(Probe::groups(resolver).at(unknownID), std::nullopt);
}

TEST(UserResolver, SeededNamesShowEverywhere)
{
    UserResolver resolver;
    resolver.seed(7501, "orvik");
    EXPECT_EQ(resolver.name(7501), "orvik");
    EXPECT_EQ(resolver.shortName(7501), "orvik");
    EXPECT_EQ(resolver.describe(7501), "orvik (7501)");

    resolver.seed(unset, "nobody-at-all");
    EXPECT_EQ(resolver.name(unset), std::nullopt);
    EXPECT_EQ(Probe::users(resolver).count(unset), 0u);
}

TEST(UserResolver, SharedByManyThreads)
{
    UserResolver resolver;
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&resolver, t] {
            for (uint32_t i = 0; i < 200; ++i) {
                resolver.name(unknownID + i * 4 + t);
                resolver.groupName(unknownID + i);
                resolver.describe(0);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(Probe::users(resolver).size(), 801u);
    EXPECT_EQ(Probe::groups(resolver).size(), 200u);
    EXPECT_EQ(resolver.name(0), "root");
}

// Stand-ins for the system's look-ups: one entry whose name (and, for the group, member list)
// needs `needed` bytes of buffer, an id that fails `failures` times before it answers, and an id
// that cleanly does not exist.
struct FakeDirectory {
    static inline size_t needed = 0;
    static inline int failures = 0;
    static inline int calls = 0;
    static constexpr uint32_t bigID = 7001, flakyID = 7002, absentID = 7003;

    template <typename Entry>
    static int answer(uint32_t id, Entry *entry, char *buffer, size_t size, Entry **result, char *Entry::*field)
    {
        ++calls;
        *result = nullptr;
        if (id == absentID) return 0;
        if (id == flakyID && failures > 0) {
            --failures;
            return EIO;
        }
        if (id == bigID && size < needed) return ERANGE;
        const char *name = id == bigID ? "directory-wide" : "flaky";
        if (size < std::strlen(name) + 1) return ERANGE;
        std::strcpy(buffer, name);
        entry->*field = buffer;
        *result = entry;
        return 0;
    }
    static int user(uid_t id, passwd *entry, char *buffer, size_t size, passwd **result)
    {
        return answer(id, entry, buffer, size, result, &passwd::pw_name);
    }
    static int group(gid_t id, ::group *entry, char *buffer, size_t size, ::group **result)
    {
        return answer(id, entry, buffer, size, result, &group::gr_name);
    }
};

TEST(UserResolver, BigEntriesGetABigEnoughBuffer)
{
    for (const size_t needed : {size_t(5000), size_t(1) << 20}) {
        SCOPED_TRACE(needed);
        FakeDirectory::needed = needed;
        UserResolver resolver;
        Probe::askInstead(resolver, FakeDirectory::user, FakeDirectory::group);
        EXPECT_EQ(resolver.name(FakeDirectory::bigID), "directory-wide");
        EXPECT_EQ(resolver.groupName(FakeDirectory::bigID), "directory-wide");
    }
}

TEST(UserResolver, OnlyACleanNoSuchEntryIsRemembered)
{
    UserResolver resolver;
    Probe::askInstead(resolver, FakeDirectory::user, FakeDirectory::group);
    FakeDirectory::failures = 2;
    EXPECT_EQ(resolver.name(FakeDirectory::flakyID), std::nullopt);
    EXPECT_EQ(resolver.groupName(FakeDirectory::flakyID), std::nullopt);
    EXPECT_EQ(Probe::users(resolver).count(FakeDirectory::flakyID), 0u);
    EXPECT_EQ(resolver.name(FakeDirectory::flakyID), "flaky");
    EXPECT_EQ(resolver.groupName(FakeDirectory::flakyID), "flaky");

    FakeDirectory::calls = 0;
    EXPECT_EQ(resolver.name(FakeDirectory::absentID), std::nullopt);
    EXPECT_EQ(resolver.name(FakeDirectory::absentID), std::nullopt);
    EXPECT_EQ(FakeDirectory::calls, 1);
    EXPECT_EQ(Probe::users(resolver).count(FakeDirectory::absentID), 1u);
}

} // namespace
