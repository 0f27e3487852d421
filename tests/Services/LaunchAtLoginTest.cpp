#include "Services/LaunchAtLogin.h"

#include "support/FakeLoginItem.h"

#include <gtest/gtest.h>

TEST(LaunchAtLoginTest, SwitchIsOnWhileEnabledOrAwaitingApproval)
{
    struct Case {
        LoginItemStatus status;
        bool on;
    };
    const Case cases[] = {{LoginItemStatus::notRegistered, false},
                          {LoginItemStatus::enabled, true},
                          {LoginItemStatus::requiresApproval, true},
                          {LoginItemStatus::notFound, false}};
    for (const Case &c : cases) EXPECT_EQ(LaunchAtLogin::isOn(c.status), c.on) << int(c.status);
}

TEST(LaunchAtLoginTest, AssigningCallsThePlatformAndReadsTheStatusBack)
{
    struct Case {
        const char *name;
        LoginItemStatus before;
        LoginItemStatus afterRegistering;
        std::optional<std::string> failure;
        bool assign;
        LoginItemStatus status;
        QString error;
        int registrations;
        int unregistrations;
    };
    using S = LoginItemStatus;
    const Case cases[] = {
        {"on", S::notRegistered, S::enabled, std::nullopt, true, S::enabled, "", 1, 0},
        {"on again still registers", S::enabled, S::enabled, std::nullopt, true, S::enabled, "", 1, 0},
        {"on, waiting for approval", S::notRegistered, S::requiresApproval, std::nullopt, true, S::requiresApproval, "",
         1, 0},
        {"off", S::enabled, S::enabled, std::nullopt, false, S::notRegistered, "", 0, 1},
        {"off again still unregisters", S::notRegistered, S::enabled, std::nullopt, false, S::notRegistered, "", 0, 1},
        {"failure keeps the real state", S::notRegistered, S::enabled, "Permission denied", true, S::notRegistered,
         "Couldn't update the login item: Permission denied", 1, 0},
        {"failure to remove", S::enabled, S::enabled, "Busy", false, S::enabled, "Couldn't update the login item: Busy",
         0, 1},
    };
    for (const Case &c : cases) {
        FakeLoginItem item;
        item.current = c.before;
        item.afterRegistering = c.afterRegistering;
        item.failure = c.failure;
        const auto outcome = LaunchAtLogin::assign(item, c.assign);
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(item.registrations, c.registrations) << c.name;
        EXPECT_EQ(item.unregistrations, c.unregistrations) << c.name;
    }
}
