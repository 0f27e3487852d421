#include "Engine/Record/AuditEvents.h"

#include <gtest/gtest.h>

namespace {

int members(const AuditEventSet &set)
{
    int count = 0;
    for (uint32_t n = 0; n <= 0xFFFF; ++n) count += set.contains(static_cast<uint16_t>(n));
    return count;
}

TEST(AuditEvents, GroupSizes)
{
    struct Case {
        const char *name;
        const AuditEventSet &set;
        int count;
    };
    const Case cases[] = {
        {"exec", AuditEvents::exec, 5},
        {"fork", AuditEvents::fork, 5},
        {"exit", AuditEvents::exit, 1},
        {"loginSuccessish", AuditEvents::loginSuccessish, 7},
        {"authentication", AuditEvents::authentication, 9},
        {"privilegeElevation", AuditEvents::privilegeElevation, 4},
        {"remoteLogin", AuditEvents::remoteLogin, 5},
        {"accountManagement", AuditEvents::accountManagement, 16},
        {"auditControl", AuditEvents::auditControl, 17},
        {"timeChange", AuditEvents::timeChange, 2},
        {"processAccess", AuditEvents::processAccess, 4},
        {"chmod", AuditEvents::chmod, 7},
        {"delete", AuditEvents::delete_, 4},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(members(c.set), c.count) << c.name;
        EXPECT_FALSE(c.set.contains(0)) << c.name;
        EXPECT_FALSE(c.set.contains(65535)) << c.name;
    }
}

TEST(AuditEvents, Membership)
{
    EXPECT_TRUE(AuditEvents::exit.contains(1));
    EXPECT_TRUE(AuditEvents::exec.contains(43190));
    EXPECT_TRUE(AuditEvents::loginSuccessish.contains(32800));
    EXPECT_TRUE(AuditEvents::remoteLogin.contains(32800));
    EXPECT_TRUE(AuditEvents::loginSuccessish.contains(6152));
    EXPECT_FALSE(AuditEvents::remoteLogin.contains(6152));
    EXPECT_TRUE(AuditEvents::remoteLogin.contains(6162));
    EXPECT_FALSE(AuditEvents::loginSuccessish.contains(6162));
}

} // namespace
