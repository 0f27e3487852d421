#include "Engine/Record/AuditEvents.h"

#include "Engine/BSM/AuditCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <string_view>

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

TEST(AuditEvents, NamedNumbersAreTheEventTablesOwn)
{
    // Each name is the table's constant without "AUE_", in lower camel case: execve is
    // AUE_EXECVE, darwinLwLogin AUE_DARWIN_lw_login. A number typed wrong under its name would put
    // a group or a rule on another event.
    const auto folded = [](std::string_view text) {
        std::string out;
        for (const char c : text)
            if (c != '_') out += char(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    std::multimap<uint16_t, std::string> table;
    std::istringstream lines(AuditCatalog::load("audit_event", "/nonexistent/"));
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(':'), next = line.find(':', colon + 1);
        if (line.empty() || line[0] == '#' || next == std::string::npos) continue;
        table.emplace(uint16_t(std::stoul(line.substr(0, colon))), folded(line.substr(colon + 1, next - colon - 1)));
    }
    ASSERT_GT(table.size(), 500u);
    struct Named {
        uint16_t number;
        const char *name;
    };
#define NAMED(n)                                                                                                       \
    Named                                                                                                              \
    {                                                                                                                  \
        AuditEvents::Number::n, #n                                                                                     \
    }
    const Named named[] = {
        NAMED(exit),
        NAMED(fork),
        NAMED(unlink),
        NAMED(exec),
        NAMED(chmod),
        NAMED(execve),
        NAMED(vfork),
        NAMED(connect),
        NAMED(settimeofday),
        NAMED(fchmod),
        NAMED(rename),
        NAMED(setaudit),
        NAMED(setuseraudit),
        NAMED(auditsvc),
        NAMED(auditon),
        NAMED(auditonSpolicy),
        NAMED(auditonSestate),
        NAMED(auditonSqctrl),
        NAMED(audit),
        NAMED(auditonSetkmask),
        NAMED(auditonSetstat),
        NAMED(auditonSetumask),
        NAMED(auditonSetsmask),
        NAMED(auditonSetcond),
        NAMED(auditonSetclass),
        NAMED(fork1),
        NAMED(sockconnect),
        NAMED(renameat),
        NAMED(unlinkat),
        NAMED(darwinPtrace),
        NAMED(darwinSettimeofday),
        NAMED(darwinAuditctl),
        NAMED(darwinLchmod),
        NAMED(darwinTaskforpid),
        NAMED(login),
        NAMED(telnet),
        NAMED(rlogin),
        NAMED(su),
        NAMED(rexecd),
        NAMED(passwd),
        NAMED(ssh),
        NAMED(createUser),
        NAMED(modifyUser),
        NAMED(deleteUser),
        NAMED(disableUser),
        NAMED(enableUser),
        NAMED(adminAuthenticate),
        NAMED(darwinSudo),
        NAMED(darwinCreateGroup),
        NAMED(darwinDeleteGroup),
        NAMED(darwinModifyGroup),
        NAMED(darwinAddToGroup),
        NAMED(darwinRemoveFromGroup),
        NAMED(darwinLwLogin),
        NAMED(openssh),
        NAMED(ptrace),
        NAMED(auditctl),
        NAMED(rfork),
        NAMED(lchmod),
        NAMED(taskforpid),
        NAMED(macExecve),
        NAMED(fexecve),
        NAMED(fchmodat),
        NAMED(chmodExtended),
        NAMED(fchmodExtended),
        NAMED(posixSpawn),
        NAMED(pdfork),
        NAMED(auditShutdown),
        NAMED(modifyPassword),
        NAMED(createGroup),
        NAMED(deleteGroup),
        NAMED(modifyGroup),
        NAMED(addToGroup),
        NAMED(removeFromGroup),
        NAMED(lwLogin),
        NAMED(authUser),
        NAMED(ssconn),
        NAMED(ssauthorize),
        NAMED(ssauthint),
        NAMED(calife),
        NAMED(sudo),
        NAMED(ssauthmech),
    };
#undef NAMED
    for (const Named &n : named) {
        const auto [from, to] = table.equal_range(n.number);
        const bool found = std::any_of(from, to, [&](const auto &entry) {
            return entry.second == folded("aue" + std::string(n.name));
        });
        EXPECT_TRUE(found) << n.name << " = " << n.number;
    }
    // The kernel's session events are named from its own list; the bundled table lacks them.
    EXPECT_EQ(table.count(AuditEvents::Number::sessionStart), 0u);
    EXPECT_EQ(table.count(AuditEvents::Number::sessionEnd), 0u);
}

} // namespace
