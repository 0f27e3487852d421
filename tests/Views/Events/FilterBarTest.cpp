#include "Views/Events/FilterBar.h"

#include "Engine/BSM/UserResolver.h"
#include "Store/AuditStore.h"
#include "Views/Components/FilterChip.h"
#include "support/LoadedStore.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t namedUser = 70501;

EventFilter withLabel(EventFilter filter, std::string label)
{
    filter.label = std::move(label);
    return filter;
}

QStringList chipTexts(const EventFilter &filter)
{
    QStringList texts;
    for (const FilterBarChip &chip : filterBarChips(filter)) texts << chip.text;
    return texts;
}

EventFilter removed(EventFilter filter, size_t chip)
{
    // Held here: a range-for over a member of the temporary would outlive it.
    const std::vector<FilterBarChip> chips = filterBarChips(filter);
    for (const auto &step : chips[chip].removal) step(filter);
    return filter;
}

TEST(FilterBarChips, ShowTheDrillDownCriteriaOrTheirLabel)
{
    UserResolver::shared().seed(namedUser, "ansel");
    EventFilter pid, user, unsetUser, events, endOnly, noRecords, classes, everything;
    pid.pid = 12345;
    user.user = namedUser;
    unsetUser.user = 4294967295u;
    events.events = {60000};
    endOnly.end = 100;
    noRecords.recordIDs.emplace();
    classes.classes = {"ex"};
    everything.pid = 7;
    everything.user = 4242;
    everything.events = {60001};
    everything.start = 1;
    everything.recordIDs = {{1}};
    struct Case {
        const char *name;
        EventFilter filter;
        QStringList chips;
    };
    const Case cases[] = {
        {"empty", EventFilter(), {}},
        {"label only", withLabel(EventFilter(), "ex"), {}},
        {"class and label", withLabel(classes, "Process execution"), {}},
        {"pid", pid, {"pid 12345"}},
        {"pid with label", withLabel(pid, "ssh (pid 12345)"), {"ssh (pid 12345)"}},
        {"named user", user, {"user ansel"}},
        {"unset user", unsetUser, {QString::fromUtf8("user \u2014")}},
        {"unknown event", events, {"event 60000"}},
        {"end without start, labelled", withLabel(endOnly, "window"), {"time window"}},
        {"empty record set", noRecords, {"selected records"}},
        {"empty record set, labelled", withLabel(noRecords, "Findings"), {"Findings"}},
        {"every criterion, in order",
         everything,
         {"pid 7", "user 4242", "event 60001", "time window", "selected records"}},
    };
    for (const Case &c : cases) EXPECT_EQ(chipTexts(c.filter), c.chips) << c.name;
}

TEST(FilterBarChips, RemovalClearsOnlyTheirCriteria)
{
    EventFilter drill;
    drill.text = "ssh";
    drill.classes = {"ex"};
    drill.result = ResultFilter::failure;
    drill.pid = 5;
    drill.user = 6;
    drill.events = {23};
    drill.start = 1;
    drill.end = 2;
    drill.recordIDs = {{3}};
    drill.label = "drill";

    EventFilter kept;
    kept.text = "ssh";
    kept.classes = {"ex"};
    kept.result = ResultFilter::failure;
    EXPECT_EQ(removed(drill, 0), kept); // the label chip clears every drill-down criterion and the label

    EventFilter unlabelled = drill;
    unlabelled.label.reset();
    const std::vector<std::function<void(EventFilter &)>> clearOne = {[](EventFilter &f) { f.pid.reset(); },
                                                                      [](EventFilter &f) { f.user.reset(); },
                                                                      [](EventFilter &f) { f.events.clear(); },
                                                                      [](EventFilter &f) {
                                                                          f.start.reset();
                                                                          f.end.reset();
                                                                      },
                                                                      [](EventFilter &f) { f.recordIDs.reset(); }};
    for (size_t chip = 0; chip < clearOne.size(); ++chip) {
        EventFilter expected = unlabelled;
        clearOne[chip](expected);
        EXPECT_EQ(removed(unlabelled, chip), expected) << "chip " << chip;
    }
    // Without label mode, a chip's removal leaves the label alone.
    EventFilter timeOnly;
    timeOnly.end = 5;
    timeOnly.label = "kept";
    EXPECT_EQ(removed(timeOnly, 0), withLabel(EventFilter(), "kept"));
}

TEST(FilterBarChips, ClassMenuTitle)
{
    EventFilter f;
    EXPECT_EQ(classMenuTitle(f), "All classes");
    f.classes = {"ex", "ad"};
    EXPECT_EQ(classMenuTitle(f), "ad, ex");
}

class FilterBarTest : public ::testing::Test {
protected:
    QAction *action(QToolButton *button, const QString &text)
    {
        for (QAction *a : button->menu()->actions())
            if (a->text() == text) return a;
        return nullptr;
    }

    LoadedStore store;
    FilterBar bar{store};
    QToolButton *classes = bar.findChild<QToolButton *>("classMenu");
    QToolButton *presets = bar.findChild<QToolButton *>("presetsMenu");
    QButtonGroup *result = bar.findChild<QButtonGroup *>();
    QPushButton *clearAll = bar.findChild<QPushButton *>();
};

TEST_F(FilterBarTest, AnEmptyFilterShowsAllAndNoChips)
{
    bar.show();
    ASSERT_TRUE(classes && presets && result && clearAll);
    EXPECT_EQ(result->checkedButton()->text(), "All");
    QStringList segments;
    for (QAbstractButton *b : result->buttons()) segments << b->text();
    EXPECT_EQ(segments, (QStringList{"All", "Success", "Failure"}));
    EXPECT_EQ(classes->text(), "All classes");
    EXPECT_EQ(classes->property("symbol").toString(), "square.stack.3d.up");
    EXPECT_EQ(presets->text(), "Presets");
    EXPECT_EQ(presets->property("symbol").toString(), "wand.and.stars");
    EXPECT_TRUE(bar.findChildren<FilterChip *>().isEmpty());
    EXPECT_FALSE(clearAll->isVisible());
    EXPECT_FALSE(action(classes, "Clear Classes")->isVisible());
}

TEST_F(FilterBarTest, ControlsWriteTheStoresFilter)
{
    bar.show();
    EventFilter start;
    start.text = "kept";
    start.label = "kept too";
    store.setFilter(start);

    result->button(int(ResultFilter::success))->click();
    EXPECT_EQ(store.filter().result, ResultFilter::success);

    QAction *ex = nullptr;
    for (QAction *a : classes->menu()->actions())
        if (a->text().startsWith(QString::fromUtf8("ex \u2014 "))) ex = a;
    ASSERT_NE(ex, nullptr);
    ex->trigger();
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"ex"}));
    EXPECT_TRUE(ex->isChecked());
    EXPECT_EQ(classes->text(), "ex");
    EXPECT_TRUE(action(classes, "Clear Classes")->isVisible());
    EXPECT_TRUE(clearAll->isVisible());
    ex->trigger(); // unmarking removes the class again
    EXPECT_TRUE(store.filter().classes.empty());
    EXPECT_EQ(classes->text(), "All classes");
    ex->trigger();

    action(presets, "File changes")->trigger();
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"fc", "fd", "fw", "fm"}));
    EXPECT_FALSE(ex->isChecked());
    action(presets, "Network")->trigger();
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"nt"}));
    action(presets, "Authentication && login")->trigger();
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"lo", "aa"}));
    action(presets, "Failures only")->trigger();
    EXPECT_EQ(store.filter().result, ResultFilter::failure);
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"lo", "aa"}));
    EXPECT_EQ(result->checkedButton()->text(), "Failure");
    action(presets, "Process execution")->trigger();
    action(presets, "Administrative")->trigger();
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"ad"}));

    action(classes, "Clear Classes")->trigger();
    EXPECT_TRUE(store.filter().classes.empty());
    EXPECT_EQ(store.filter().result, ResultFilter::failure);
    EXPECT_EQ(store.filter().label, "kept too");
    EXPECT_EQ(store.filter().text, "kept");

    clearAll->click();
    EXPECT_EQ(store.filter(), EventFilter());
    EXPECT_FALSE(clearAll->isVisible());
}

TEST_F(FilterBarTest, ChipsFollowTheFilterAndRemoveTheirCriteria)
{
    bar.show();
    EventFilter drill;
    drill.pid = 812;
    drill.classes = {"ex"};
    drill.text = "ssh";
    store.setFilter(drill);
    std::vector<FilterChip *> chips;
    for (FilterChip *chip : bar.findChildren<FilterChip *>())
        if (chip->isVisible()) chips.push_back(chip);
    ASSERT_EQ(chips.size(), 1u);
    EXPECT_EQ(chips[0]->text(), "pid 812");

    chips[0]->removeButton()->click();
    EXPECT_FALSE(store.filter().pid);
    EXPECT_EQ(store.filter().classes, (std::set<std::string>{"ex"}));
    EXPECT_EQ(store.filter().text, "ssh");

    // The label chip clears field by field, each its own assignment.
    drill.label = "ssh (pid 812)";
    drill.start = 1;
    drill.end = 2;
    store.setFilter(drill);
    QSignalSpy changes(&store, &AuditStore::filterChanged);
    FilterChip *label = nullptr;
    for (FilterChip *chip : bar.findChildren<FilterChip *>())
        if (chip->isVisible()) label = chip;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "ssh (pid 812)");
    label->removeButton()->click();
    EXPECT_EQ(changes.count(), 4); // pid, start, end, label
    EventFilter left;
    left.classes = {"ex"};
    left.text = "ssh";
    EXPECT_EQ(store.filter(), left);
}

} // namespace
