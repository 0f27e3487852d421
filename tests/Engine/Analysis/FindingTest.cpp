#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"
#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <thread>

namespace {

TEST(Severity, RawValues)
{
    struct Case {
        const char *name;
        int64_t raw;
        std::optional<Severity> expected;
    };
    const Case cases[] = {
        {"zero is info", 0, Severity::info},
        {"four is critical", 4, Severity::critical},
        {"five", 5, std::nullopt},
        {"negative", -1, std::nullopt},
        {"largest", std::numeric_limits<int64_t>::max(), std::nullopt},
        {"smallest", std::numeric_limits<int64_t>::min(), std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(severityFromRawValue(c.raw), c.expected) << c.name;
}

TEST(Severity, OrderAndTitles)
{
    std::vector<Severity> mixed = {Severity::high, Severity::info, Severity::critical, Severity::low, Severity::medium};
    std::sort(mixed.begin(), mixed.end());
    EXPECT_TRUE(std::equal(mixed.begin(), mixed.end(), allSeverities.begin(), allSeverities.end()));
    const char *titles[] = {"Info", "Low", "Medium", "High", "Critical"};
    for (Severity s : allSeverities) {
        EXPECT_EQ(severityFromRawValue(rawValue(s)), s);
        EXPECT_STREQ(severityTitle(s), titles[rawValue(s)]);
    }
}

// Names are seeded (or recorded as unknown) so the machine's own accounts do not matter.
TEST(Detections, UserAttribution)
{
    UserResolver &resolver = UserResolver::shared();
    resolver.seed(501, "orvik");
    resolver.seed(0, "root");
    resolver.seed(4242, std::nullopt);
    struct Case {
        const char *name;
        std::optional<std::pair<uint32_t, uint32_t>> auidEuid;
        std::string expected;
    };
    const Case cases[] = {
        {"no subject", std::nullopt, "\u2014"},
        {"sudo from a login session", std::pair{501u, 0u}, "orvik \u2192 root"},
        {"no audit session", std::pair{unsetID, 0u}, "root"},
        {"same user", std::pair{501u, 501u}, "orvik"},
        {"unknown audit user in decimal", std::pair{4242u, 0u}, "4242 \u2192 root"},
        {"unknown effective user in decimal", std::pair{501u, 4242u}, "orvik \u2192 4242"},
        {"effective user unset", std::pair{501u, unsetID}, "orvik \u2192 \u2014"},
        {"both unset", std::pair{unsetID, unsetID}, "\u2014"},
    };
    for (const Case &c : cases) {
        RecordContent record;
        if (c.auidEuid) {
            SubjectInfo subject;
            subject.auid = c.auidEuid->first;
            subject.euid = c.auidEuid->second;
            record.subject = subject;
        }
        EXPECT_EQ(Detections::user(record.record()), c.expected) << c.name;
    }
}

// Audit shutdowns, execs from /tmp and removed logs spread over a list long enough to be checked
// in parts side by side: the findings of each rule, from every part, hold the same words.
TEST(FindingTest, FindingsOfOneRuleShareItsWords)
{
    constexpr double t0 = 1700000000;
    std::vector<AuditRecord> records;
    for (int i = 0; i < 70000; ++i) {
        TestRecords::RecordValue record(72, t0 + i);
        if (i % 5000 == 0) record = TestRecords::RecordValue(45001, t0 + i);
        if (i % 5000 == 1) record = std::move(TestRecords::RecordValue(23, t0 + i).image("/tmp/x").path("/tmp/x"));
        if (i % 5000 == 2) record = std::move(TestRecords::RecordValue(6, t0 + i).path("/var/log/system.log"));
        records.push_back(record);
        records.back().id = i + 1;
    }
    Parallel::Pool pool(4);
    const std::vector<Finding> findings = Detections::run(records, pool);

    std::map<std::string, const Finding *> first;
    for (const Finding &f : findings) {
        const Finding *&one = first[f.rule];
        if (!one) one = &f;
        EXPECT_EQ(&f.rule.str(), &one->rule.str()) << f.rule;
        EXPECT_EQ(&f.category.str(), &one->category.str()) << f.rule;
        EXPECT_EQ(&f.explanation.str(), &one->explanation.str()) << f.rule;
        EXPECT_TRUE(f.rule.shared() && f.category.shared() && f.explanation.shared()) << f.rule;
        EXPECT_FALSE(f.summary.shared()) << f.rule;
    }
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(findings.size(), 3u * 14);
    const Finding &stopped = *first.at("Audit stopped");
    EXPECT_EQ(stopped.category, "Defense Evasion");
    EXPECT_EQ(stopped.explanation, Detections::Rules::auditStopped.explanation);
    EXPECT_EQ(stopped.summary, "audit shutdown");
    EXPECT_EQ(first.at("Log or history removed")->explanation, "Removing system logs is a common anti-forensics step.");
    ASSERT_TRUE(first.count("Execution from /tmp"));

    // Kept once for the process, not once per thread.
    const std::string *elsewhere = nullptr;
    std::thread([&] { elsewhere = &Detections::ruleWords("Execution from /tmp").str(); }).join();
    EXPECT_EQ(elsewhere, &first.at("Execution from /tmp")->rule.str());
}

// Rule words are copied when first seen, so they stay whatever becomes of the text they came
// from; a finding's own text is copied with it, and its rule's words are not.
TEST(FindingTest, RuleWordsOutliveWhatTheyWereMadeFrom)
{
    Finding finding;
    {
        auto made = std::make_unique<std::string>("A rule made at run time, longer than a short string");
        finding.explanation = Detections::ruleWords(*made);
        EXPECT_NE(finding.explanation.str().data(), made->data());
        made->assign(made->size(), 'x');
    }
    EXPECT_EQ(finding.explanation, "A rule made at run time, longer than a short string");
    EXPECT_EQ(&Detections::ruleWords(std::string("A rule made at run time, longer than a short string")).str(),
              &finding.explanation.str());
    EXPECT_TRUE(Detections::ruleWords("").str().empty());

    finding.summary = std::string("a summary of its own, longer than a short string");
    auto original = std::make_unique<Finding>(finding);
    Finding copy = *original;
    EXPECT_NE(&copy.summary.str(), &original->summary.str());
    EXPECT_EQ(&copy.explanation.str(), &original->explanation.str());
    original->summary = std::string("changed");
    original.reset();
    EXPECT_EQ(copy.summary, "a summary of its own, longer than a short string");
    EXPECT_EQ(copy.explanation, "A rule made at run time, longer than a short string");

    Finding assigned;
    assigned.summary = std::string("to be replaced");
    assigned = copy;
    EXPECT_EQ(assigned.summary, copy.summary);
    EXPECT_NE(&assigned.summary.str(), &copy.summary.str());
    const Finding moved = std::move(assigned);
    EXPECT_EQ(moved.summary, "a summary of its own, longer than a short string");
    EXPECT_EQ(&moved.explanation.str(), &copy.explanation.str());
    EXPECT_TRUE(assigned.summary.str().empty());

    // A rule's words shared, then its own text: each replaces the other.
    copy.summary = Detections::ruleWords("Audit stopped");
    EXPECT_TRUE(copy.summary.shared());
    copy.summary = std::string("own again");
    EXPECT_FALSE(copy.summary.shared());
    EXPECT_EQ(copy.summary, "own again");
    const Finding &same = copy;
    copy.summary = same.summary;
    EXPECT_EQ(copy.summary, "own again");
}

} // namespace
