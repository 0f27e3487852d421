#include "Engine/BSM/UserResolver.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

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
    EXPECT_EQ(resolver.users.count(unset), 0u) << "the unset id never enters the cache";
}

TEST(UserResolver, GroupsHaveNoUnsetForm)
{
    UserResolver resolver;
    EXPECT_EQ(resolver.groupName(0), "root");
    EXPECT_EQ(resolver.describeGroup(0), "root (0)");
    EXPECT_EQ(resolver.describeGroup(unknownID), "3999999");
    EXPECT_EQ(resolver.describeGroup(unset), "4294967295");
    EXPECT_EQ(resolver.groups.count(unset), 1u) << "looked up and cached like any other gid";
}

TEST(UserResolver, CachedAnswersWinOverTheSystem)
{
    // The system knows root; a cached entry, name or failure, must be answered without asking it.
    UserResolver resolver;
    resolver.seed(0, "cached-root");
    EXPECT_EQ(resolver.name(0), "cached-root");
    EXPECT_EQ(resolver.describe(0), "cached-root (0)");

    {
        std::lock_guard guard(resolver.lock);
        resolver.users[0] = std::nullopt;
        resolver.groups[0] = std::nullopt;
    }
    EXPECT_EQ(resolver.name(0), std::nullopt);
    EXPECT_EQ(resolver.describe(0), "0");
    EXPECT_EQ(resolver.describeGroup(0), "0");
}

TEST(UserResolver, FailedLookUpsAreRemembered)
{
    UserResolver resolver;
    EXPECT_EQ(resolver.name(unknownID), std::nullopt);
    EXPECT_EQ(resolver.groupName(unknownID), std::nullopt);
    ASSERT_EQ(resolver.users.count(unknownID), 1u);
    EXPECT_EQ(resolver.users.at(unknownID), std::nullopt);
    ASSERT_EQ(resolver.groups.count(unknownID), 1u);
    EXPECT_EQ(resolver.groups.at(unknownID), std::nullopt);
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
    EXPECT_EQ(resolver.users.count(unset), 0u);
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
    EXPECT_EQ(resolver.users.size(), 801u);
    EXPECT_EQ(resolver.groups.size(), 200u);
    EXPECT_EQ(resolver.name(0), "root");
}

} // namespace
