#include "Views/Reference/ReferenceRows.h"

#include "Engine/Analysis/Detections.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Small catalogue: events 23 and 123 hold "23" in their numbers, 230 only in its name.
const AuditCatalog catalog("23:AUE_EXECVE:execve(2):pc,ex\n"
                           "123:AUE_OTHER:other call:fc,fd\n"
                           "230:AUE_CALL23:call:fc\n"
                           "7:AUE_EXIT:exit(2):pc\n"
                           "45000:AUE_logout:logout:lo\n"
                           "9:AUE_F:f-class lookalike:f\n",
                           "0x00000000:no:invalid class\n"
                           "0x00001000:lo:login_logout\n"
                           "0x00000080:pc:process\n"
                           "0x00000010:fc:file create\n"
                           "0x00000020:fd:file delete\n"
                           "0x00000001:f:Local flag\n"
                           "0xffffffff:all:all flags set\n");

std::vector<uint16_t> numbers(const std::vector<AuditEventInfo> &events)
{
    std::vector<uint16_t> out;
    for (const auto &e : events) out.push_back(e.number);
    return out;
}

std::vector<std::string> shortNames(const std::vector<AuditClassInfo> &classes)
{
    std::vector<std::string> out;
    for (const auto &c : classes) out.push_back(c.shortName);
    return out;
}

template <typename Row>
std::vector<std::string> names(const std::vector<Row> &rows)
{
    std::vector<std::string> out;
    for (const auto &r : rows) out.push_back(r.name);
    return out;
}

TEST(ReferenceRows, EventsAreSortedByNumberAndMatchTheirNumberOnlyWhole)
{
    EXPECT_EQ(numbers(referenceEvents(catalog, "")), (std::vector<uint16_t>{7, 9, 23, 123, 230, 45000}));
    struct Case {
        const char *search;
        std::vector<uint16_t> numbers;
    };
    const Case cases[] = {
        {"23", {23, 230}},                    // 23 by number, 230 by name; 123 is not a whole match
        {" 23", {}},                          // never trimmed
        {"23 ", {}},        {"execve", {23}}, // name, ignoring case
        {"EXIT(2)", {7}},                     // description, ignoring case
        {"45000", {45000}}, {"pc", {}},       // the class list is never searched
        {"zzz", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.search);
        EXPECT_EQ(numbers(referenceEvents(catalog, c.search)), c.numbers);
    }
}

TEST(ReferenceRows, ClassesKeepCatalogueOrderAndSearchShortNameAndDescription)
{
    EXPECT_EQ(shortNames(referenceClasses(catalog, "")),
              (std::vector<std::string>{"no", "lo", "pc", "fc", "fd", "f", "all"}));
    // "LO" hits lo by name and "Local flag" by description; the mask is never searched.
    EXPECT_EQ(shortNames(referenceClasses(catalog, "LO")), (std::vector<std::string>{"lo", "f"}));
    EXPECT_EQ(shortNames(referenceClasses(catalog, "FILE")), (std::vector<std::string>{"fc", "fd"}));
    EXPECT_TRUE(referenceClasses(catalog, "0x00001000").empty());
}

TEST(ReferenceRows, DefinedEventCountMatchesWholeShortNamesOnly)
{
    struct Case {
        const char *shortName;
        int count;
    };
    const Case cases[] = {{"fc", 2}, {"fd", 1}, {"f", 1}, {"pc", 2}, {"lo", 1}, {"no", 0}, {"FC", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.shortName);
        EXPECT_EQ(definedEventCount(catalog, c.shortName), c.count);
    }
}

TEST(ReferenceRows, CountsComeFromAllRecordsAndTheClassStatistics)
{
    std::vector<AuditRecord> records(3);
    records[0].event = 23;
    records[1].event = 23;
    records[2].event = 7;
    const auto counts = eventCounts(records);
    EXPECT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts.at(23), 2);
    EXPECT_EQ(counts.at(7), 1);
    EXPECT_TRUE(eventCounts({}).empty());

    TrailStats stats;
    stats.classes = {{"pc", "process", 3}, {"ex", "exec", 2}};
    const auto classes = classRecordCounts(stats);
    EXPECT_EQ(classes.size(), 2u);
    EXPECT_EQ(classes.at("pc"), 3);
    EXPECT_EQ(classes.count("lo"), 0u);
}

TEST(ReferenceRows, TokensSearchNameAndDescriptionButNeverIds)
{
    EXPECT_EQ(referenceTokens("").size(), 14u);
    EXPECT_EQ(referenceTokens("")[0].ids, "0x14 / 0x15 / 0x74 / 0x79");
    EXPECT_EQ(names(referenceTokens("")).back(), "file");
    EXPECT_TRUE(referenceTokens("0x23").empty());
    EXPECT_EQ(names(referenceTokens("EXEC")), (std::vector<std::string>{"exec args / env", "identity"}));
    // "0xb105" is in the trailer's description, so it is found there.
    EXPECT_EQ(names(referenceTokens("0xb105")), (std::vector<std::string>{"trailer"}));
}

TEST(ReferenceRows, RulesAreTheDocumentedRowsThenTheCommandRules)
{
    const std::vector<RuleDoc> all = referenceRules("");
    ASSERT_EQ(all.size(), 36u);
    const auto &command = Detections::commandRules();
    ASSERT_EQ(command.size(), 22u);
    for (size_t i = 0; i < 14; ++i) EXPECT_EQ(all[i].name, ruleDocs()[i].name);
    for (size_t i = 0; i < 22; ++i) {
        SCOPED_TRACE(command[i].name);
        EXPECT_EQ(all[14 + i].name, command[i].name);
        EXPECT_EQ(all[14 + i].tactic, command[i].category);
        EXPECT_EQ(all[14 + i].severity, command[i].severity);
        EXPECT_EQ(all[14 + i].technique, command[i].technique);
        EXPECT_EQ(all[14 + i].description, command[i].explanation);
    }
    const std::vector<std::string> allNames = names(all);
    EXPECT_EQ(std::set<std::string>(allNames.begin(), allNames.end()).size(), 36u);
    EXPECT_EQ(all[0].severity, Severity::high);
    EXPECT_EQ(all[1].severity, Severity::critical);
    EXPECT_EQ(all[3].technique, "T1548.003");
}

TEST(ReferenceRows, RulesSearchNameDescriptionAndTechniqueButNotTactic)
{
    const auto documented = [](const std::vector<RuleDoc> &rows) {
        std::vector<std::string> out;
        for (const auto &r : rows)
            for (const auto &d : ruleDocs())
                if (d.name == r.name) out.push_back(r.name);
        return out;
    };
    EXPECT_EQ(documented(referenceRules("persistence")), (std::vector<std::string>{"Persistence location modified"}));
    EXPECT_EQ(documented(referenceRules("t1070")),
              (std::vector<std::string>{"System clock changed", "Log or history removed"}));
    EXPECT_EQ(documented(referenceRules("ssh")), (std::vector<std::string>{"Remote login"}));
    EXPECT_TRUE(documented(referenceRules("Command and Control")).empty());
    // Kept rows keep list order: documented rows first, then the command rules that match.
    const std::vector<RuleDoc> persistence = referenceRules("persistence");
    ASSERT_FALSE(persistence.empty());
    EXPECT_EQ(persistence.front().name, "Persistence location modified");
}

TEST(ReferenceRows, DocumentationRowsShowTheFixedWords)
{
    // The names, tactics, severities and techniques come from the engine's rules: one changed
    // there must not slip into the Reference unnoticed.
    struct Case {
        const char *name;
        const char *tactic;
        Severity severity;
        const char *technique;
        const char *description;
    };
    using enum Severity;
    const Case cases[] = {
        {"Password brute force", "Credential Access", high, "T1110",
         "≥5 authentication failures from one origin within 10 minutes."},
        {"Login after brute force", "Initial Access", critical, "T1110",
         "Remote login success from an origin that just brute-forced."},
        {"Remote login", "Lateral Movement", medium, "T1021.004", "Successful SSH / remote login."},
        {"Privilege elevation", "Privilege Escalation", low, "T1548.003", "sudo / su success (medium on failure)."},
        {"Account created / modified", "Persistence", high, "T1136.001",
         "User or group creation, group membership and password changes."},
        {"Audit configuration change", "Defense Evasion", high, "T1562", "auditon/auditctl changes."},
        {"System clock changed", "Defense Evasion", medium, "T1070.006", "settimeofday()."},
        {"Process memory access", "Privilege Escalation", medium, "T1055",
         "task_for_pid / ptrace against another process."},
        {"Setuid/setgid bit set", "Privilege Escalation", high, "T1548.001", "chmod adding 04000/02000."},
        {"Execution from unusual location", "Execution", high, "T1204.002",
         "exec from /tmp, /Users/Shared, Downloads, mounted volumes or hidden files."},
        {"Persistence location modified", "Persistence", high, "T1543",
         "Writes to LaunchDaemons/Agents, cron, sudoers, PAM, shell rc files…"},
        {"Log or history removed", "Defense Evasion", high, "T1070",
         "Deleting/renaming /var/audit, /var/log or shell history."},
        {"Sensitive data access", "Credential Access", medium, "T1555",
         "TCC.db, keychains, account databases, browser credential stores."},
        {"Network from suspicious binary", "Command and Control", high, "T1071",
         "connect() from a binary in an unusual location."},
    };
    const auto &docs = ruleDocs();
    ASSERT_EQ(docs.size(), std::size(cases));
    for (size_t i = 0; i < docs.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(docs[i].name, cases[i].name);
        EXPECT_EQ(docs[i].tactic, cases[i].tactic);
        EXPECT_EQ(docs[i].severity, cases[i].severity);
        EXPECT_EQ(docs[i].technique, cases[i].technique);
        EXPECT_EQ(docs[i].description, cases[i].description);
    }
}

TEST(ReferenceRows, TokenRowsListTheirIds)
{
    const std::vector<std::string> ids = {"0x14 / 0x15 / 0x74 / 0x79",
                                          "0x13",
                                          "0x24 / 0x75 / 0x7a / 0x7c",
                                          "0x26 / 0x77 / 0x7b / 0x7d",
                                          "0x27 / 0x72",
                                          "0x23",
                                          "0x3c / 0x3d",
                                          "0x2d / 0x71",
                                          "0x3e / 0x73",
                                          "0x28",
                                          "0x80 / 0x81 / 0x82 / 0x7f",
                                          "0x52",
                                          "0xed",
                                          "0x11"};
    const auto &docs = tokenDocs();
    ASSERT_EQ(docs.size(), ids.size());
    for (size_t i = 0; i < docs.size(); ++i) EXPECT_EQ(docs[i].ids, ids[i]) << docs[i].name;
}

} // namespace
