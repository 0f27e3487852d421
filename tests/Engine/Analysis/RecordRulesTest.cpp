// The rules over one record run as rows of one table. These records meet the rows that are easy to
// get wrong there: an event number only one row names, outcomes and events a row must refuse, and
// records that raise two rows, whose findings must come in the rows' order.

#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"

#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using TestRecords::numbered;
using TestRecords::RecordValue;

constexpr uint16_t createUser = 6207, chmodEvent = 10, execve = 23, openRead = 72, connectEvent = 32, sockConnect = 248;

RecordValue at(uint16_t event, double dt)
{
    return std::move(RecordValue(event, 1700000000 + dt).subject(501, 501, 300, "203.0.113.7", 4242));
}

TEST(RecordRules, EachRecordRaisesItsRowsInTableOrder)
{
    UserResolver::shared().seed(501, "orvik");
    using Raised = std::pair<std::string, std::string>; // rule, summary
    struct Case {
        const char *name;
        RecordValue record;
        std::vector<Raised> expected;
    };
    const Case cases[] = {
        {"putmsg-connect is a connection too",
         at(sockConnect, 0).image("/tmp/agent").socket("198.51.100.9:443"),
         {{"Network from suspicious binary", "agent → 198.51.100.9:443"}}},
        {"a failed read of sensitive data is no access",
         at(openRead, 0).path("/Users/orvik/Library/Cookies/c").failed(),
         {}},
        {"an execution's path is no data access",
         at(execve, 0).path("/Users/orvik/Library/Keychains/login.keychain-db"),
         {}},
        {"a setuid chmod of a launch daemon: the mode, then the path",
         at(chmodEvent, 0).arg("mode", 04755).path("/Library/LaunchDaemons/x.plist"),
         {{"Setuid/setgid bit set", "chmod 4755 /Library/LaunchDaemons/x.plist"},
          {"Persistence location modified", "chmod(2): /Library/LaunchDaemons/x.plist"}}},
        {"a user created in the account database: the account, then the path",
         at(createUser, 0).text("create user <eve>").path("/var/db/dslocal/nodes/Default/users/eve.plist"),
         {{"Account created", "create user <eve>"},
          {"Sensitive data access", "create user: /var/db/dslocal/nodes/Default/users/eve.plist"}}},
        {"a suspicious binary connecting with a keychain open: the path, then the connection",
         at(connectEvent, 0)
             .image("/tmp/agent")
             .socket("198.51.100.9:443")
             .path("/Users/orvik/Library/Keychains/login.keychain-db"),
         {{"Sensitive data access", "connect(2): /Users/orvik/Library/Keychains/login.keychain-db"},
          {"Network from suspicious binary", "agent → 198.51.100.9:443"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Raised> raised;
        for (const Finding &f : Detections::run(numbered({c.record}))) raised.emplace_back(f.rule, f.summary);
        EXPECT_EQ(raised, c.expected);
    }
}

} // namespace
