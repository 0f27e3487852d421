#include "Views/Components/RecordContextMenu.h"

#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/BSM/UserResolver.h"
#include "Store/AuditStore.h"
#include "support/LoadedStore.h"
#include "support/RecordValue.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>

#include <gtest/gtest.h>

#include <memory>

using TestRecords::RecordValue;

namespace {

constexpr uint16_t execve = 23;
constexpr uint16_t openRead = 72;
constexpr uint32_t namedUser = 70601;
constexpr uint32_t namelessUser = 4242; // no account of that id on a test machine
constexpr double noon = 1700049600;     // Nov 15, 2023, 12:00:00 PM UTC

class RecordContextMenuTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        UserResolver::shared().seed(namedUser, "ansel");
    }

    static QStringList titles(const AuditRecord &record)
    {
        QStringList out;
        for (const auto &item : RecordContextMenu::drillDowns(record)) out << item.title;
        for (const auto &item : RecordContextMenu::copies(record)) out << item.title;
        return out;
    }
};

TEST_F(RecordContextMenuTest, ItemsDependOnWhatTheRecordHolds)
{
    const QString only = QString::fromUtf8("Show Only \u201Copen(2) - read\u201D");
    const QString window = QString::fromUtf8("Show \u00B15 Minutes Around This");
    struct Case {
        const char *name;
        AuditRecord record;
        QStringList titles;
    };
    const Case cases[] = {
        {"no subject", RecordValue(openRead, noon), {only, window, "Copy as Text", "Copy Raw Hex"}},
        {"unset audit user",
         RecordValue(openRead, noon).subject(unsetID, 0, 12345),
         {"Show Events for PID 12345", only, window, "Copy as Text", "Copy Raw Hex"}},
        {"named user, paths",
         RecordValue(openRead, noon).subject(namedUser, 0, 7).path("/a").path("/b").path("/c"),
         {"Show Events for PID 7", only, "Show Events for User ansel", window, "Copy as Text", "Copy Raw Hex",
          "Copy Path"}},
        {"nameless user, exec",
         RecordValue(execve, noon).subject(namelessUser, 0, 7).execArgs({"a", "b c", "d"}),
         {"Show Events for PID 7", QString::fromUtf8("Show Only \u201Cexecve(2)\u201D"), "Show Events for User 4242",
          window, "Copy as Text", "Copy Raw Hex", "Copy Command Line"}},
    };
    for (const Case &c : cases) EXPECT_EQ(titles(c.record), c.titles) << c.name;
}

TEST_F(RecordContextMenuTest, DrillDownsReplaceTheWholeFilter)
{
    const AuditRecord record = RecordValue(openRead, noon).subject(namelessUser, 0, 12345);
    const auto items = RecordContextMenu::drillDowns(record);
    ASSERT_EQ(items.size(), 4u);
    EventFilter pid, event, user, window;
    pid.pid = 12345;
    pid.label = "pid 12345";
    event.events = {openRead};
    event.label = "open(2) - read";
    user.user = namelessUser;
    user.label = "user 4242";
    window.start = noon - 300;
    window.end = noon + 300;
    window.label = "\u00B15 min of 12:00:00 PM";
    const EventFilter expected[] = {pid, event, user, window};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].filter, expected[i]) << items[i].title.toStdString();
        EXPECT_EQ(items[i].selectsRecord, i == 3) << items[i].title.toStdString();
    }
}

TEST_F(RecordContextMenuTest, CopiesTheRecordsTexts)
{
    RecordContent content = RecordContent::of(decodedRecord(TestBSM::TrailRecordBuilder(execve, uint32_t(noon))
                                                                .subject()
                                                                .execArgs({"a", "b c", "d"})
                                                                .path("/bin/a")
                                                                .returnValue(0)));
    content.paths = {"/first", "/second"};
    const AuditRecord record = content.record();
    const auto items = RecordContextMenu::copies(record);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text().toStdString(), RecordFormatter::text(record));
    EXPECT_EQ(items[1].text().toStdString(), RecordFormatter::hex(record.raw(), 16));
    EXPECT_EQ(items[2].text(), "a b c d");
    EXPECT_EQ(items[3].text(), "/first");
    EXPECT_TRUE(items[0].text().startsWith("header, "));
    EXPECT_TRUE(items[1].text().endsWith("\n"));
}

TEST_F(RecordContextMenuTest, TheBuiltMenuActsOnTheStoreAndTheClipboard)
{
    LoadedStore store;
    ASSERT_TRUE(store.load({RecordValue(openRead, noon).subject(namedUser, 0, 7).path("/etc/hosts"),
                            RecordValue(openRead, noon + 1).subject(namedUser, 0, 8)}));
    EventFilter before;
    before.text = "gone after a drill-down";
    store.setFilter(before);
    store.setSelectedRecordID(2);
    const AuditRecord record = *store.record(1);
    std::unique_ptr<QMenu> menu(RecordContextMenu::build(store, record, nullptr));
    const QList<QAction *> actions = menu->actions();
    ASSERT_EQ(actions.size(), 8); // four drill-downs, a divider, three copies
    EXPECT_TRUE(actions[4]->isSeparator());

    actions[1]->trigger(); // Show Only
    EXPECT_EQ(store.filter().events, std::set<uint16_t>{openRead});
    EXPECT_EQ(store.filter().text, "");
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.selectedRecordID(), 2); // untouched

    actions[3]->trigger(); // the time window selects the record
    EXPECT_EQ(store.filter().start, noon - 300);
    EXPECT_EQ(store.selectedRecordID(), 1);

    actions[7]->trigger();
    EXPECT_EQ(actions[7]->text(), "Copy Path");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "/etc/hosts");
}

} // namespace
