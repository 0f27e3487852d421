#include "Views/Events/EventsTableModel.h"

#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/RecordBuilder.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/CellText.h"
#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using TestRecords::RecordValue;

namespace {

constexpr uint16_t execve = 23;
constexpr uint16_t exitEvent = 1;        // "exit(2)"
constexpr uint16_t solarisMac = 152;     // "Solaris AUE_MAC": starts with a capital
constexpr uint16_t unknownEvent = 60000; // "event 60000"

// Users whose names only a natural, case-insensitive order sorts right.
constexpr uint32_t user9 = 70009, user10 = 70010, upperUser = 70011;

class EventsTableModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        UserResolver::shared().seed(user9, "user9");
        UserResolver::shared().seed(user10, "user10");
        UserResolver::shared().seed(upperUser, "User2");
    }

    // The records as a store would publish them: ordered by time, then id, numbered in order.
    static RecordSelection selection(std::vector<AuditRecord> records, std::vector<uint32_t> positions = {})
    {
        for (size_t i = 0; i < records.size(); ++i) records[i].id = int64_t(i + 1);
        auto snapshot = std::make_shared<const std::vector<AuditRecord>>(std::move(records));
        if (positions.empty()) return RecordSelection(snapshot);
        return RecordSelection(snapshot, std::make_shared<const std::vector<uint32_t>>(std::move(positions)));
    }

    static std::vector<int64_t> ids(const EventsTableModel &model)
    {
        std::vector<int64_t> out;
        for (int row = 0; row < model.rowCount(); ++row) out.push_back(model.idAt(row));
        return out;
    }

    static QString text(const EventsTableModel &model, int row, int column, int role = Qt::DisplayRole)
    {
        return model.data(model.index(row, column), role).toString();
    }

    // Sorts made on the pool land through the event loop.
    static void sorted(EventsTableModel &model, int column, Qt::SortOrder order)
    {
        model.sort(column, order);
        ASSERT_TRUE(waitUntil([&] { return !model.isSorting(); }, 60000));
    }
};

TEST_F(EventsTableModelTest, CellsShowTheRecordsFields)
{
    EventsTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setFiltered(selection({
        RecordValue(execve, 1700000000.25).subject(user9, user9, 812).image("/usr/bin/ssh").execArgs({"ssh", "host"}),
        RecordValue(unknownEvent, 1700003600.5).failed(13).path("/etc/master.passwd"),
        RecordValue(exitEvent, 1700040000).failed(180).subject(unsetID, 0, 0),
    }));
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 8);

    struct Case {
        int row;
        EventsTableModel::Column column;
        const char *display;
        const char *toolTip;
    };
    const Case cases[] = {
        {0, EventsTableModel::timeColumn, "Nov 14, 10:13:20.250 PM", ""},
        {1, EventsTableModel::timeColumn, "Nov 14, 11:13:20.500 PM", ""},
        {2, EventsTableModel::timeColumn, "Nov 15, 9:20:00.000 AM", ""},
        {0, EventsTableModel::eventColumn, "execve(2)", "AUE_EXECVE"},
        {1, EventsTableModel::eventColumn, "event 60000", "AUE_60000"},
        {0, EventsTableModel::classColumn, "pc,ex", ""},
        {1, EventsTableModel::classColumn, "", ""},
        {0, EventsTableModel::userColumn, "user9", ""},
        {1, EventsTableModel::userColumn, "", ""},
        {0, EventsTableModel::processColumn, "ssh", "/usr/bin/ssh"},
        {1, EventsTableModel::processColumn, "", ""},
        {0, EventsTableModel::pidColumn, "812", ""},
        {1, EventsTableModel::pidColumn, "", ""},
        {2, EventsTableModel::pidColumn, "0", ""},
        {0, EventsTableModel::resultColumn, "", "Success"},
        {1, EventsTableModel::resultColumn, "Permission denied", "Failure"},
        {2, EventsTableModel::resultColumn, "180", "Failure"},
        {0, EventsTableModel::detailsColumn, "ssh host", "ssh host"},
        {1, EventsTableModel::detailsColumn, "/etc/master.passwd", "/etc/master.passwd"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("row ") + std::to_string(c.row) + " column " + std::to_string(c.column));
        EXPECT_EQ(text(model, c.row, c.column), QString::fromUtf8(c.display));
        EXPECT_EQ(text(model, c.row, c.column, Qt::ToolTipRole), QString::fromUtf8(c.toolTip));
    }
    const QStringList titles = {"Time", "Event", "Class", "User", "Process", "PID", "Result", "Details"};
    for (int column = 0; column < titles.size(); ++column)
        EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), titles[column]);
}

// The cell writes its text by hand to stay allocation-free; it must read as the formatter's would.
TEST_F(EventsTableModelTest, ClassNamesAreNoSmallerThanTheDetailsBesideThem)
{
    EventsTableModel model;
    model.setFiltered(selection({RecordValue(execve, 1700000000).subject(user9, user9, 812).path("/bin/ls")}));
    ASSERT_EQ(model.rowCount(), 1);
    const auto fontOf = [&](EventsTableModel::Column column) {
        return model.data(model.index(0, column), Qt::FontRole).value<QFont>();
    };
    const QFont classes = fontOf(EventsTableModel::classColumn);
    const QFont details = fontOf(EventsTableModel::detailsColumn);
    // Monospaced as drawn: whether the font database flags the face as fixed-pitch depends on the
    // fonts installed (it does not flag Noto Sans Mono).
    const QFontMetrics metrics(classes);
    EXPECT_EQ(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'W'));
    EXPECT_GE(QFontMetrics(classes).xHeight(), QFontMetrics(details).xHeight());
    EXPECT_GE(classes.pointSizeF(), details.pointSizeF());
}

TEST_F(EventsTableModelTest, TimeCellsReadAsTheLocalesPattern)
{
    const double times[] = {0, 1700000000.25, 1700006400.999, 1699963200, 1699920000.5, 1709251199.001, -1.5};
    for (double time : times) EXPECT_EQ(eventsTimeText(time), Format::pattern(time, "MMM d, h:mm:ss.zzz AP")) << time;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(eventsTimeText(1700000000.25), Format::pattern(1700000000.25, "MMM d, HH:mm:ss.zzz"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

TEST_F(EventsTableModelTest, TimeOrderIsTheStoresOrderOrItsExactReverse)
{
    EventsTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    // Ids 1-4; 2 and 3 share a time; the selection leaves out id 4.
    model.setFiltered(
        selection({RecordValue(execve, 10), RecordValue(execve, 20), RecordValue(execve, 20), RecordValue(execve, 30)},
                  {0, 1, 2}));
    EXPECT_EQ(ids(model), (std::vector<int64_t>{1, 2, 3}));
    model.sort(EventsTableModel::timeColumn, Qt::DescendingOrder);
    EXPECT_EQ(ids(model), (std::vector<int64_t>{3, 2, 1}));
    model.sort(EventsTableModel::timeColumn, Qt::AscendingOrder);
    EXPECT_EQ(ids(model), (std::vector<int64_t>{1, 2, 3}));
}

TEST_F(EventsTableModelTest, EachColumnSortsByItsKeyAndTiesKeepTimeOrder)
{
    // Ids 1-8 in time order.
    const RecordSelection records = selection({
        RecordValue(exitEvent, 1).subject(user10, user10, 300).image("/bin/zsh").path("/b"),
        RecordValue(unknownEvent, 2).image("/bin/Zsh").failed(1).path("/a"),
        RecordValue(solarisMac, 3).subject(user9, user9, 0).image("/bin/zsh").path("/B"),
        RecordValue(exitEvent, 4).subject(upperUser, upperUser, 20).failed(255).path("/a"),
        RecordValue(solarisMac, 5).subject(user9, user9, 4000000000u).image("/usr/bin/abc").path("/b"),
        RecordValue(execve, 6).subject(user10, user10, 300).execArgs({"zz"}),
        RecordValue(unknownEvent, 7).subject(user10, user10, 7).failed(2).path("/a"),
        RecordValue(exitEvent, 8).subject(user9, user9, 300).image("/bin/abc"),
    });
    struct Case {
        const char *name;
        EventsTableModel::Column column;
        std::vector<int64_t> ascending;
        std::vector<int64_t> descending;
    };
    const Case cases[] = {
        // "Solaris AUE_MAC" < "event 60000" < "execve(2)" < "exit(2)": capitals first, byte order.
        {"event", EventsTableModel::eventColumn, {3, 5, 2, 7, 6, 1, 4, 8}, {1, 4, 8, 6, 2, 7, 3, 5}},
        // No class for 60000, then "no", "pc" and "pc,ex".
        {"class", EventsTableModel::classColumn, {2, 7, 3, 5, 1, 4, 8, 6}, {6, 1, 4, 8, 3, 5, 2, 7}},
        // Natural order, letter case ignored: "", "User2", "user9", "user10".
        {"user", EventsTableModel::userColumn, {2, 4, 3, 5, 8, 1, 6, 7}, {1, 6, 7, 3, 5, 8, 4, 2}},
        // "" < "Zsh" < "abc" < "zsh", case-sensitive.
        {"process", EventsTableModel::processColumn, {4, 6, 7, 2, 5, 8, 1, 3}, {1, 3, 5, 8, 2, 4, 6, 7}},
        // No subject counts as pid 0; a pid above 2^31 stays large.
        {"pid", EventsTableModel::pidColumn, {2, 3, 7, 4, 1, 6, 8, 5}, {5, 1, 6, 8, 4, 7, 2, 3}},
        {"result", EventsTableModel::resultColumn, {1, 3, 5, 6, 8, 2, 4, 7}, {2, 4, 7, 1, 3, 5, 6, 8}},
        // "" < "/B" < "/a" < "/b" < "zz".
        {"details", EventsTableModel::detailsColumn, {8, 3, 2, 4, 7, 1, 5, 6}, {6, 1, 5, 2, 4, 7, 3, 8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EventsTableModel model;
        model.setFiltered(records);
        sorted(model, c.column, Qt::AscendingOrder);
        EXPECT_EQ(ids(model), c.ascending);
        sorted(model, c.column, Qt::DescendingOrder);
        EXPECT_EQ(ids(model), c.descending);
    }
}

TEST_F(EventsTableModelTest, ANewResultKeepsTheSortOrderAndRowsAreFoundById)
{
    EventsTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    sorted(model, EventsTableModel::pidColumn, Qt::DescendingOrder);
    const RecordSelection all = selection({RecordValue(execve, 1).subject(1, 1, 5),
                                           RecordValue(execve, 2).subject(1, 1, 9),
                                           RecordValue(execve, 2).subject(1, 1, 7), RecordValue(execve, 3)});
    model.setFiltered(all);
    ASSERT_TRUE(waitUntil([&] { return !model.isSorting(); }));
    EXPECT_EQ(ids(model), (std::vector<int64_t>{2, 3, 1, 4}));
    EXPECT_EQ(model.rowOf(3, 2), 1);
    EXPECT_EQ(model.rowOf(3, 5), -1); // the wrong time finds nothing
    model.setFiltered(
        RecordSelection(all.records(), std::make_shared<const std::vector<uint32_t>>(std::vector<uint32_t>{0, 3})));
    ASSERT_TRUE(waitUntil([&] { return !model.isSorting(); }));
    EXPECT_EQ(ids(model), (std::vector<int64_t>{1, 4}));
    EXPECT_EQ(model.rowOf(3, 2), -1);
    EXPECT_EQ(model.rowOf(4, 3), 1);
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        model.setFiltered(all);
        model.sort(EventsTableModel::timeColumn, order);
        for (int row = 0; row < model.rowCount(); ++row)
            EXPECT_EQ(model.rowOf(model.idAt(row), model.recordAt(row).time), row);
    }
}

TEST_F(EventsTableModelTest, AMillionRowsKeepTheirOrderUntilTheSortLands)
{
    // A million records, pids falling as time goes on, a thousand records a pid.
    constexpr size_t count = 1'000'000;
    std::vector<AuditRecord> records(count);
    RecordBuilder builder(nullptr, count * 16);
    for (size_t i = 0; i < count; ++i) {
        records[i].event = execve;
        records[i].time = double(i);
        SubjectInfo subject;
        subject.pid = uint32_t((count - 1 - i) / 1000);
        builder.setSubject(subject);
        builder.finish(records[i], 0, 0);
    }
    builder.trim();
    std::vector<uint32_t> every(count / 2);
    for (size_t i = 0; i < every.size(); ++i) every[i] = uint32_t(2 * i);
    const RecordSelection half = selection(std::move(records), std::move(every));
    EventsTableModel model;
    std::vector<int> resets;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { resets.push_back(model.rowCount()); });
    model.setFiltered(half);
    ASSERT_EQ(model.rowCount(), int(count / 2));
    EXPECT_EQ(model.idAt(0), 1) << "time order shows the result at once";

    model.sort(EventsTableModel::pidColumn, Qt::AscendingOrder);
    EXPECT_TRUE(model.isSorting());
    EXPECT_EQ(model.idAt(0), 1) << "the old rows stay until the sort lands";
    EXPECT_EQ(model.idAt(int(count / 2) - 1), int64_t(count - 1));
    EXPECT_EQ(resets.size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return !model.isSorting(); }, 60000));
    EXPECT_EQ(model.idAt(0), int64_t(count - 999)) << "smallest pid first, the earliest of them first";
    EXPECT_EQ(model.idAt(int(count / 2) - 1), 999);
    EXPECT_EQ(model.rowOf(int64_t(count - 999), double(count - 1000)), 0);
    EXPECT_EQ(model.rowOf(2, 1), -1) << "filtered out";

    // A new result is sorted the same way; meanwhile the table shows the rows of the old one.
    model.setFiltered(selection({RecordValue(execve, 1).subject(1, 1, 5), RecordValue(execve, 2).subject(1, 1, 3)}));
    EXPECT_EQ(model.rowCount(), int(count / 2));
    ASSERT_TRUE(waitUntil([&] { return !model.isSorting(); }));
    EXPECT_EQ(ids(model), (std::vector<int64_t>{2, 1}));
    // Back to time order at once, and a sort still under way is dropped.
    model.sort(EventsTableModel::detailsColumn, Qt::AscendingOrder);
    model.sort(EventsTableModel::timeColumn, Qt::DescendingOrder);
    EXPECT_FALSE(model.isSorting());
    EXPECT_EQ(ids(model), (std::vector<int64_t>{2, 1}));
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(ids(model), (std::vector<int64_t>{2, 1})) << "the dropped sort never lands";
}

TEST_F(EventsTableModelTest, LongDetailsAreCutForTheCellAndSortByTheWholeText)
{
    // Equal for their first 4,096 bytes and more: only the whole texts tell them apart.
    const std::string shared(5000, 'a');
    const RecordSelection records = selection({
        RecordValue(execve, 1).execArgs({shared + "c"}),
        RecordValue(execve, 2).execArgs({shared + "b", "z"}),
        RecordValue(execve, 3).execArgs({shared}),
        RecordValue(execve, 4).execArgs({shared + "c"}),
        RecordValue(execve, 5).execArgs({"b"}),
        RecordValue(execve, 6).execArgs({std::string(4096, 'a')}),
    });
    EventsTableModel model;
    model.setFiltered(records);
    const QString cell = text(model, 0, EventsTableModel::detailsColumn);
    EXPECT_EQ(cell.size(), cellTextLimit);
    EXPECT_TRUE(cell.startsWith(QString(100, u'a')));
    EXPECT_TRUE(cell.endsWith(QStringLiteral("aac"))) << "the middle is cut, the end kept";
    EXPECT_EQ(cell.count(QChar(0x2026)), 1);
    EXPECT_EQ(text(model, 0, EventsTableModel::detailsColumn, Qt::ToolTipRole), cell);
    EXPECT_EQ(text(model, 5, EventsTableModel::detailsColumn).size(), 4096) << "a text at the limit is whole";

    sorted(model, EventsTableModel::detailsColumn, Qt::AscendingOrder);
    EXPECT_EQ(ids(model), (std::vector<int64_t>{6, 3, 2, 1, 4, 5}));
    sorted(model, EventsTableModel::detailsColumn, Qt::DescendingOrder);
    EXPECT_EQ(ids(model), (std::vector<int64_t>{5, 1, 4, 2, 3, 6})) << "equal texts keep their time order";
}

} // namespace
