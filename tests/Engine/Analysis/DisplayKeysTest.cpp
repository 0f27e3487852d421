#include "Engine/Analysis/DisplayKeys.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr uint32_t unset = 0xFFFFFFFFu;
// Ids far above any account this machine has.
constexpr uint32_t noAccount = 3999999901u;

AuditRecord withSubject(uint32_t auid, uint32_t euid, uint32_t pid = 100)
{
    RecordContent record;
    SubjectInfo subject;
    subject.auid = auid;
    subject.euid = euid;
    subject.pid = pid;
    record.subject = subject;
    return record.record();
}

TEST(DisplayKeys, UserLabel)
{
    UserResolver users;
    users.seed(0, "root");
    users.seed(501, "orvik");
    users.seed(502, "orvik"); // a second id with the same name
    users.seed(noAccount + 1, "ghost");
    struct Case {
        const char *name;
        std::optional<std::pair<uint32_t, uint32_t>> ids; // nullopt: no subject
        std::string expected;
    };
    const Case cases[] = {
        {"no subject", std::nullopt, ""},
        {"both unset", std::pair{unset, unset}, "\u2014"},
        {"audit unset, effective root", std::pair{unset, 0u}, "root"},
        {"audit unset, effective without account", std::pair{unset, noAccount}, std::to_string(noAccount)},
        {"both the same id", std::pair{501u, 501u}, "orvik"},
        {"two ids with one name", std::pair{501u, 502u}, "orvik"},
        {"audit without account, effective root", std::pair{noAccount, 0u}, std::to_string(noAccount) + " \u2192 root"},
        {"audit named, effective unset", std::pair{501u, unset}, "orvik \u2192 \u2014"},
        {"both named, different", std::pair{501u, 0u}, "orvik \u2192 root"},
        {"both without account, same id", std::pair{noAccount, noAccount}, std::to_string(noAccount)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const AuditRecord record = c.ids ? withSubject(c.ids->first, c.ids->second) : AuditRecord{};
        EXPECT_EQ(DisplayKeys::userLabel(record, users), c.expected);
    }
    EXPECT_EQ(std::string(" \u2192 ").size(), 5u);
}

TEST(DisplayKeys, PidAndResultRanks)
{
    struct Case {
        const char *name;
        AuditRecord record;
        int64_t pid;
        uint8_t status;
        int64_t rank;
    };
    AuditRecord none;
    const Case cases[] = {
        {"no subject: pid 0", none, 0, 0, 0},
        {"ordinary pid, success", withSubject(1, 1, 4242), 4242, 0, 0},
        {"pid above 2^31 stays positive", withSubject(1, 1, 0x80000001u), 2147483649ll, 1, 1},
        {"largest pid", withSubject(1, 1, 0xFFFFFFFFu), 4294967295ll, 255, 1},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        c.record.returnStatus = c.status;
        EXPECT_EQ(DisplayKeys::pidValue(c.record), c.pid);
        EXPECT_EQ(DisplayKeys::resultRank(c.record), c.rank);
    }
}

TEST(DisplayKeys, ClassAndEventLabels)
{
    const AuditCatalog catalog("7:AUE_EXEC:exec(2):pc,ex\n"
                               "8:AUE_NODESC::lo\n"
                               "9:AUE_NOCLASS:no classes:\n"
                               "10:AUE_ONE:one class:aa\n",
                               "");
    struct Case {
        const char *name;
        uint16_t event;
        std::string classLabel;
        std::string eventLabel;
    };
    const Case cases[] = {
        {"classes joined without blanks, catalogue order", 7, "pc,ex", "exec(2)"},
        {"empty description falls back to the name", 8, "lo", "AUE_NODESC"},
        {"entry without classes", 9, "", "no classes"},
        {"one class", 10, "aa", "one class"},
        {"event missing from the catalogue", 4711, "", "event 4711"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AuditRecord record; // no subject: the labels come from the event alone
        record.event = c.event;
        EXPECT_EQ(DisplayKeys::classLabel(record, catalog), c.classLabel);
        EXPECT_EQ(DisplayKeys::eventLabel(record, catalog), c.eventLabel);
    }
}

TEST(DisplayKeys, SeverityRankFollowsTheScale)
{
    for (Severity severity : allSeverities) {
        Finding finding;
        finding.severity = severity;
        EXPECT_EQ(DisplayKeys::severityRank(finding), rawValue(severity));
    }
    Finding critical;
    critical.severity = Severity::critical;
    EXPECT_EQ(DisplayKeys::severityRank(critical), 4);
    Finding info;
    EXPECT_EQ(DisplayKeys::severityRank(info), 0);
}

} // namespace
