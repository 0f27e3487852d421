#include "Views/Findings/FindingsRows.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace FindingsRows;

namespace {

Finding finding(std::string rule, std::string category, Severity severity, std::optional<std::string> technique,
                double time, std::string summary = "summary", std::string user = "orvik")
{
    Finding f;
    f.id = Uuid::random();
    f.rule = std::move(rule);
    f.category = std::move(category);
    f.severity = severity;
    f.technique = std::move(technique);
    f.time = time;
    f.summary = std::move(summary);
    f.user = std::move(user);
    return f;
}

// In store (time) order: positions 0..5.
std::vector<Finding> sample()
{
    return {finding("User / host discovery", "Discovery", Severity::info, "T1033", 10, "whoami"),
            finding("Password brute force", "Credential Access", Severity::high, "T1110", 20, "5+ failed logins"),
            finding("SIP / security posture query", "Discovery", Severity::low, "T1082", 30, "csrutil status"),
            finding("Sensitive data access", "Credential Access", Severity::medium, std::nullopt, 40, "open keychain"),
            finding("Reverse shell pattern", "Execution", Severity::critical, "T1059", 50, "bash -i >& /dev/tcp"),
            finding("Keychain credential access", "Credential Access", Severity::high, "T1555.001", 60,
                    "security dump")};
}

class FindingsRowsTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

TEST_F(FindingsRowsTest, RowsFollowTheMinimumAndTheSearch)
{
    struct Case {
        const char *name;
        Severity minimum;
        QString search;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"default minimum hides info", Severity::low, "", {1, 2, 3, 4, 5}},
        {"info shows everything", Severity::info, "", {0, 1, 2, 3, 4, 5}},
        {"the minimum itself stays", Severity::high, "", {1, 4, 5}},
        {"critical only", Severity::critical, "", {4}},
        {"rule, any case", Severity::info, "PASSWORD", {1}},
        {"summary", Severity::info, "csrutil", {2}},
        {"category typed by hand in another case", Severity::low, "credential access", {1, 3, 5}},
        {"technique ignoring case; none skips the finding", Severity::info, "t1110", {1}},
        {"technique part", Severity::info, ".001", {5}},
        {"blanks are searched as typed", Severity::info, " ", {0, 1, 2, 3, 4, 5}},
        {"trailing blank is not trimmed", Severity::info, "shell ", {4}},
        {"nothing matches", Severity::info, "zzz", {}},
    };
    const std::vector<Finding> findings = sample();
    for (const Case &c : cases) EXPECT_EQ(rows(findings, c.minimum, c.search), c.expected) << c.name;
}

TEST_F(FindingsRowsTest, SortKeysCompareAsTheirColumnsDo)
{
    std::vector<Finding> findings = sample();
    EXPECT_EQ(rows(findings, Severity::info, "", {SortKey::severity, true}), (std::vector<uint32_t>{0, 2, 3, 1, 5, 4}))
        << "equal severities keep store order";
    EXPECT_EQ(rows(findings, Severity::info, "", {SortKey::severity, false}), (std::vector<uint32_t>{4, 1, 5, 3, 2, 0}));
    EXPECT_EQ(rows(findings, Severity::info, "", {SortKey::time, false}), (std::vector<uint32_t>{5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(rows(findings, Severity::info, "", {SortKey::category, true}), (std::vector<uint32_t>{1, 3, 5, 0, 2, 4}));

    // Rule and summary by code point: upper case before lower case.
    findings[0].rule = "a rule";
    findings[1].rule = "B rule";
    const std::vector<uint32_t> byRule = rows(findings, Severity::info, "", {SortKey::rule, true});
    EXPECT_EQ(byRule.front(), 1u);
    EXPECT_EQ(byRule.back(), 0u);

    // User by the locale's collation: case-insensitive first, and not numeric-aware.
    std::vector<Finding> users = {finding("r", "c", Severity::low, {}, 1, "s", "user9"),
                                  finding("r", "c", Severity::low, {}, 2, "s", "Bob"),
                                  finding("r", "c", Severity::low, {}, 3, "s", "user10"),
                                  finding("r", "c", Severity::low, {}, 4, "s", "alice")};
    EXPECT_EQ(rows(users, Severity::info, "", {SortKey::user, true}), (std::vector<uint32_t>{3, 1, 2, 0}));
    EXPECT_EQ(rows(users, Severity::info, "", {SortKey::user, false}), (std::vector<uint32_t>{0, 2, 1, 3}));
}

TEST_F(FindingsRowsTest, ChipsCountByTacticAtTheMinimumOnly)
{
    const std::vector<Finding> findings = sample();
    EXPECT_EQ(categorySummary(findings, Severity::low),
              (std::vector<CategoryCount>{{"Credential Access", 3}, {"Discovery", 1}, {"Execution", 1}}))
        << "info is not counted; ties keep first appearance";
    EXPECT_EQ(categorySummary(findings, Severity::info),
              (std::vector<CategoryCount>{{"Credential Access", 3}, {"Discovery", 2}, {"Execution", 1}}));
    EXPECT_EQ(categorySummary(findings, Severity::critical), (std::vector<CategoryCount>{{"Execution", 1}}));
    EXPECT_TRUE(categorySummary({}, Severity::info).empty());
}

TEST_F(FindingsRowsTest, CountTextAndChipClicks)
{
    EXPECT_EQ(countText(3, 17), "3 of 17 findings");
    EXPECT_EQ(countText(1, 1), "1 of 1 findings");
    EXPECT_EQ(countText(1234, 12345), "1,234 of 12,345 findings");

    EXPECT_EQ(searchAfterChipClick("", "Discovery"), "Discovery");
    EXPECT_EQ(searchAfterChipClick("Discovery", "Discovery"), "");
    EXPECT_EQ(searchAfterChipClick("discovery", "Discovery"), "Discovery") << "exact comparison only";
    EXPECT_EQ(searchAfterChipClick("Execution", "Discovery"), "Discovery");
}

} // namespace
