#include "Views/Overview/OverviewCardData.h"
#include "Views/Components/Style.h"

#include <gtest/gtest.h>

namespace {

Finding finding(Severity severity, double time, std::string rule)
{
    Finding f;
    f.severity = severity;
    f.time = time;
    f.rule = std::move(rule);
    return f;
}

std::vector<std::string> rules(const std::vector<Finding> &findings)
{
    std::vector<std::string> out;
    for (const Finding &f : findings) out.push_back(f.rule);
    return out;
}

TEST(OverviewCardData, NotableFindingsAreSevereFirstThenLatestFirstKeepingTies)
{
    const std::vector<Finding> findings = {
        finding(Severity::high, 9 * 3600, "high 9:00"), finding(Severity::medium, 10 * 3600, "medium 10:00"),
        finding(Severity::critical, 100, "critical a"), finding(Severity::info, 99999, "info"),
        finding(Severity::critical, 100, "critical b"), finding(Severity::high, 11 * 3600, "high 11:00"),
        finding(Severity::low, 99999, "low"),           finding(Severity::critical, 100, "critical c"),
    };
    EXPECT_EQ(rules(notableFindings(findings)), (std::vector<std::string>{"critical a", "critical b", "critical c",
                                                                          "high 11:00", "high 9:00", "medium 10:00"}));
}

TEST(OverviewCardData, NotableFindingsStopAtSixAndSkipInfoAndLow)
{
    std::vector<Finding> findings;
    for (int i = 0; i < 10; ++i) findings.push_back(finding(Severity::medium, i, "m" + std::to_string(i)));
    EXPECT_EQ(notableFindings(findings).size(), 6u);
    EXPECT_EQ(notableFindings(findings).front().rule, "m9");
    EXPECT_TRUE(notableFindings({finding(Severity::info, 1, "i"), finding(Severity::low, 2, "l")}).empty());
}

TEST(OverviewCardData, SeverityCountsByRawValue)
{
    const auto counts = severityCounts({finding(Severity::info, 0, ""), finding(Severity::low, 0, ""),
                                        finding(Severity::critical, 0, ""), finding(Severity::critical, 0, "")});
    EXPECT_EQ(counts, (std::array<int64_t, 5>{1, 1, 0, 0, 2}));
}

TEST(OverviewCardData, RankedRowsSetOnlyTheirCriterionAndLabel)
{
    struct Case {
        const char *name;
        RankedCard card;
        CountItem item;
        EventFilter expected;
    };
    auto make = [](auto fill) {
        EventFilter f;
        fill(f);
        return f;
    };
    const Case cases[] = {
        {"top event", RankedCard::topEvents, {"23", "execve(2)", 5}, make([](EventFilter &f) {
             f.events = {23};
             f.label = "execve(2)";
         })},
        {"process by its full path", RankedCard::topProcesses, {"/usr/bin/ssh", "ssh", 5}, make([](EventFilter &f) {
             f.text = "/usr/bin/ssh";
             f.label = "ssh";
         })},
        {"user", RankedCard::users, {"501", "orvik", 5}, make([](EventFilter &f) {
             f.user = 501;
             f.label = "user orvik";
         })},
        {"user key that is no number", RankedCard::users, {"x", "x", 5}, make([](EventFilter &f) {
             f.label = "user x";
         })},
        {"failure also sets the result", RankedCard::failures, {"72", "open(2) - read", 5}, make([](EventFilter &f) {
             f.events = {72};
             f.result = ResultFilter::failure;
             f.label = "open(2) - read";
         })},
        {"event key past 16 bits", RankedCard::topEvents, {"70000", "odd", 5}, make([](EventFilter &f) {
             f.events = {0};
             f.label = "odd";
         })},
        {"address labelled by its key", RankedCard::remoteAddresses, {"10.0.0.9", "ignored", 5}, make([](EventFilter &f) {
             f.text = "10.0.0.9";
             f.label = "10.0.0.9";
         })},
    };
    for (const Case &c : cases) EXPECT_EQ(rankedRowFilter(c.card, c.item), c.expected) << c.name;

    EventFilter classes;
    classes.classes = {"fr"};
    classes.label = "file read";
    EXPECT_EQ(classRowFilter({"fr", "file read", 3}), classes);
}

TEST(OverviewCardData, PaletteRepeatsAfterEightColours)
{
    const std::array<QColor, 8> named = {Style::blue(), Style::purple(), Style::teal(),   Style::orange(),
                                         Style::pink(), Style::green(),  Style::indigo(), Style::yellow()};
    for (size_t i = 0; i < named.size(); ++i) EXPECT_EQ(overviewPaletteColour(i), named[i]) << i;
    EXPECT_EQ(overviewPaletteColour(0), overviewPaletteColour(8));
    EXPECT_NE(overviewPaletteColour(0), overviewPaletteColour(7));
}

} // namespace
