#include "Views/Reference/ReferenceView.h"

#include "Store/AuditStore.h"
#include "Views/Reference/ReferenceModels.h"
#include "Views/Reference/ReferenceRows.h"

#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QFile>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace TestBSM;

constexpr uint16_t execve = 23, unknownEvent = 60000;

class ReferenceViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        store.setFilterDelay(std::chrono::milliseconds(0));
    }

    // 1,234 open-for-read records (class fr), two execs and one event the catalogue lacks.
    void load()
    {
        Bytes bytes = openReadRecords(1234);
        for (const Bytes &record : {TrailRecordBuilder(execve).subject().execArgs({"ls"}).returnValue(0).build(),
                                    TrailRecordBuilder(execve).subject().execArgs({"id"}).returnValue(0).build(),
                                    TrailRecordBuilder(unknownEvent).subject().returnValue(0).build()})
            bytes.insert(bytes.end(), record.begin(), record.end());
        const QString path = dir.filePath(QStringLiteral("trail.bsm"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        file.close();
        QFuture<void> done = store.open({QUrl::fromLocalFile(path)}, TrailSource::Kind::file);
        ASSERT_TRUE(waitUntil([&] { return done.isFinished(); }, 20000));
        ASSERT_EQ(store.records().size(), 1237u);
    }

    QTableView *table(const ReferenceView &view, const char *name)
    {
        return view.findChild<QTableView *>(QString::fromUtf8(name));
    }

    // Row of an event number in the events table, -1 when it has none.
    int eventRow(const QAbstractItemModel *model, uint16_t number)
    {
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, ReferenceEventModel::numberColumn).data().toString() == QString::number(number))
                return row;
        return -1;
    }

    QString cell(const QAbstractItemModel *model, int row, int column)
    {
        return model->index(row, column).data().toString();
    }

    QStringList rowNames(const ReferenceView &view, const char *objectName)
    {
        QStringList names;
        for (auto *row : view.findChildren<QWidget *>(QString::fromUtf8(objectName)))
            names << row->property("name").toString();
        return names;
    }

    void clickLoaded(QTableView *events, int row)
    {
        const QModelIndex index = events->model()->index(row, ReferenceEventModel::loadedColumn);
        events->scrollTo(index);
        QTest::mouseClick(events->viewport(), Qt::LeftButton, {}, events->visualRect(index).center());
    }

    QTemporaryDir dir;
    AuditStore store;
};

TEST_F(ReferenceViewTest, EventRowsAreSortedByNumberAndCountLoadedRecords)
{
    load();
    ReferenceView view({&store, nullptr, nullptr});
    view.setTab(ReferenceView::Tab::events);
    QAbstractItemModel *events = table(view, "eventTable")->model();
    QAbstractItemModelTester tester(events, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(size_t(events->rowCount()), AuditCatalog::shared().events.size());
    for (int row = 1; row < events->rowCount(); ++row)
        ASSERT_LT(cell(events, row - 1, 0).toUInt(), cell(events, row, 0).toUInt()) << row;

    const int exec = eventRow(events, execve);
    ASSERT_GE(exec, 0);
    EXPECT_EQ(cell(events, exec, ReferenceEventModel::nameColumn), QStringLiteral("AUE_EXECVE"));
    EXPECT_EQ(cell(events, exec, ReferenceEventModel::classesColumn), QStringLiteral("pc,ex"));
    EXPECT_EQ(cell(events, exec, ReferenceEventModel::loadedColumn), QStringLiteral("2"));
    EXPECT_EQ(cell(events, eventRow(events, 72), ReferenceEventModel::loadedColumn), QStringLiteral("1,234"));
    EXPECT_EQ(cell(events, eventRow(events, 1), ReferenceEventModel::loadedColumn), QStringLiteral("—"));
    // Loaded, but not in the catalogue: no row.
    EXPECT_EQ(eventRow(events, unknownEvent), -1);

    // The counts follow the store.
    store.closeAll();
    ASSERT_TRUE(waitUntil([&] { return store.records().empty(); }));
    EXPECT_EQ(cell(events, eventRow(events, execve), ReferenceEventModel::loadedColumn), QStringLiteral("—"));
}

TEST_F(ReferenceViewTest, LoadedCountLeadsToThatEventOnTheEventsScreen)
{
    load();
    store.setScreen(Screen::reference);
    ReferenceView view({&store, nullptr, nullptr});
    view.resize(1200, 800);
    view.show();
    view.setTab(ReferenceView::Tab::events);
    QTableView *events = table(view, "eventTable");
    QCoreApplication::processEvents();

    // An event without records has no link.
    clickLoaded(events, eventRow(events->model(), 1));
    EXPECT_EQ(store.screen(), Screen::reference);
    EXPECT_TRUE(store.filter().events.empty());

    clickLoaded(events, eventRow(events->model(), execve));
    EXPECT_EQ(store.screen(), Screen::events);
    EventFilter expected;
    expected.events = {execve};
    expected.label = "execve(2)";
    EXPECT_EQ(store.filter(), expected);

    // Again with the same filter in force: only the screen changes.
    store.setScreen(Screen::reference);
    QSignalSpy filterChanges(&store, &AuditStore::filterChanged);
    clickLoaded(events, eventRow(events->model(), execve));
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(filterChanges.count(), 0);
    EXPECT_EQ(store.filter(), expected);
}

TEST_F(ReferenceViewTest, ClassRowsShowMaskDefinedEventsAndLoadedRecords)
{
    load();
    ReferenceView view({&store, nullptr, nullptr});
    QAbstractItemModel *classes = table(view, "classTable")->model();
    QAbstractItemModelTester tester(classes, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(size_t(classes->rowCount()), AuditCatalog::shared().classes.size());
    std::map<QString, int> rowOf;
    for (int row = 0; row < classes->rowCount(); ++row) rowOf[cell(classes, row, 0)] = row;
    EXPECT_EQ(cell(classes, rowOf.at("no"), ReferenceClassModel::maskColumn), QStringLiteral("0x00000000"));
    EXPECT_EQ(cell(classes, rowOf.at("all"), ReferenceClassModel::maskColumn), QStringLiteral("0xffffffff"));
    EXPECT_EQ(cell(classes, rowOf.at("fr"), ReferenceClassModel::loadedColumn), QStringLiteral("1,234"));
    EXPECT_EQ(cell(classes, rowOf.at("ex"), ReferenceClassModel::loadedColumn), QStringLiteral("2"));
    EXPECT_EQ(cell(classes, rowOf.at("lo"), ReferenceClassModel::loadedColumn), QStringLiteral("—"));
    EXPECT_EQ(cell(classes, rowOf.at("ex"), ReferenceClassModel::definedColumn),
              QString::number(definedEventCount(AuditCatalog::shared(), "ex")));
    EXPECT_EQ(classes->headerData(ReferenceClassModel::loadedColumn, Qt::Horizontal).toString(),
              QStringLiteral("Loaded records"));
}

TEST_F(ReferenceViewTest, EventColumnsKeepTheirWidthsAndGiveWayToTheirMinimums)
{
    ReferenceView view({&store, nullptr, nullptr});
    view.setTab(ReferenceView::Tab::events);
    QTableView *events = table(view, "eventTable");
    QHeaderView *header = events->horizontalHeader();
    const auto widths = [&] {
        std::vector<int> out;
        for (int column = 0; column < ReferenceEventModel::numColumns; ++column)
            out.push_back(header->sectionSize(column));
        return out;
    };
    // Wide: fixed columns exact, the name at its ideal, the description takes the rest.
    view.resize(1200, 600);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return events->viewport()->width() > 900; }));
    std::vector<int> wide = widths();
    EXPECT_EQ(wide[ReferenceEventModel::numberColumn], 60);
    EXPECT_EQ(wide[ReferenceEventModel::nameColumn], 230);
    EXPECT_GE(wide[ReferenceEventModel::descriptionColumn], 260);
    EXPECT_EQ(wide[ReferenceEventModel::classesColumn], 100);
    EXPECT_EQ(wide[ReferenceEventModel::loadedColumn], 70);
    // Narrow: the name and the description shrink no further than 160 points.
    view.resize(420, 600);
    ASSERT_TRUE(waitUntil([&] { return events->viewport()->width() < 500; }));
    std::vector<int> narrow = widths();
    EXPECT_EQ(narrow[ReferenceEventModel::nameColumn], 160);
    EXPECT_EQ(narrow[ReferenceEventModel::descriptionColumn], 160);
    EXPECT_EQ(narrow[ReferenceEventModel::numberColumn], 60);
    EXPECT_EQ(narrow[ReferenceEventModel::loadedColumn], 70);
}

TEST_F(ReferenceViewTest, OneSearchFiltersEveryTab)
{
    ReferenceView view({&store, nullptr, nullptr});
    EXPECT_EQ(view.searchPrompt(), QStringLiteral("Search reference"));
    EXPECT_EQ(view.tab(), ReferenceView::Tab::classes);
    QAbstractItemModel *classes = table(view, "classTable")->model();
    QAbstractItemModel *events = table(view, "eventTable")->model();

    view.setSearch(QStringLiteral("LO"));
    ASSERT_GT(classes->rowCount(), 0);
    for (int row = 0; row < classes->rowCount(); ++row) {
        const QString text = cell(classes, row, 0) + QLatin1Char(' ') + cell(classes, row, 2);
        EXPECT_TRUE(text.contains(QStringLiteral("lo"), Qt::CaseInsensitive)) << text.toStdString();
    }

    view.setSearch(QStringLiteral("23"));
    // Switching tabs keeps the text and applies it to the new tab, by the segment as the user does.
    for (auto *button : view.findChildren<QAbstractButton *>())
        if (button->text() == QStringLiteral("Events")) button->click();
    EXPECT_EQ(view.tab(), ReferenceView::Tab::events);
    EXPECT_GE(eventRow(events, 23), 0);
    EXPECT_EQ(eventRow(events, 123), -1); // the number matches only whole
    for (int row = 0; row < events->rowCount(); ++row) {
        if (cell(events, row, 0) == QStringLiteral("23")) continue;
        EXPECT_TRUE((cell(events, row, 1) + cell(events, row, 2)).contains(QStringLiteral("23")));
    }

    view.setTab(ReferenceView::Tab::tokens);
    view.setSearch(QStringLiteral("0x23"));
    EXPECT_TRUE(rowNames(view, "tokenRow").isEmpty());
    view.setSearch(QString());
    EXPECT_EQ(rowNames(view, "tokenRow").size(), 14);

    view.setTab(ReferenceView::Tab::rules);
    const QStringList all = rowNames(view, "ruleRow");
    EXPECT_EQ(all.size(), 36);
    EXPECT_EQ(QSet<QString>(all.begin(), all.end()).size(), 36);
    view.setSearch(QStringLiteral("persistence"));
    const QStringList persistence = rowNames(view, "ruleRow");
    ASSERT_FALSE(persistence.isEmpty());
    EXPECT_EQ(persistence.front(), QStringLiteral("Persistence location modified"));
    EXPECT_FALSE(persistence.contains(QStringLiteral("Account created / modified")));
}

} // namespace
