#include "Views/Events/EventsView.h"

#include "Engine/Record/RecordBuilder.h"
#include "Store/AuditStore.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/RecordInspector.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/ScreenFactory.h"
#include "support/LoadedStore.h"
#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QTest>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableView>

#include <gtest/gtest.h>

#include <unordered_set>
#include <vector>

using TestRecords::RecordValue;

namespace {

constexpr uint16_t execve = 23;
constexpr uint16_t openRead = 72;

class EventsViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // Ids 1-5, one second apart; 2 and 4 are the ones a filter by pid 200 keeps.
        ASSERT_TRUE(store.load({RecordValue(execve, 10).subject(501, 501, 100).execArgs({"ssh", "host"}),
                                RecordValue(openRead, 11).subject(501, 501, 200).path("/etc/hosts"),
                                RecordValue(openRead, 12).subject(501, 501, 100).path("/etc/passwd").failed(13),
                                RecordValue(openRead, 13).subject(501, 501, 200).path("/tmp/x"),
                                RecordValue(openRead, 14).subject(501, 501, 100).path("/tmp/y")}));
        view = std::make_unique<EventsView>(ViewContext{&store, nullptr, nullptr});
        tester = std::make_unique<QAbstractItemModelTester>(view->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    std::vector<int64_t> shownIDs() const
    {
        std::vector<int64_t> ids;
        for (int row = 0; row < view->model()->rowCount(); ++row) ids.push_back(view->model()->idAt(row));
        return ids;
    }

    std::optional<int64_t> highlightedID() const
    {
        const QModelIndexList rows = view->table()->selectionModel()->selectedRows();
        if (rows.isEmpty()) return std::nullopt;
        return view->model()->idAt(rows.first().row());
    }

    void filter(EventFilter f)
    {
        store.setFilter(std::move(f));
        ASSERT_TRUE(store.settle());
    }

    static EventFilter records(std::unordered_set<int64_t> ids)
    {
        EventFilter f;
        f.recordIDs = std::move(ids);
        return f;
    }

    QString footerText(const char *name) const { return view->findChild<QLabel *>(name)->text(); }

    LoadedStore store;
    std::unique_ptr<EventsView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(EventsViewTest, FirstShowsTheFilteredRecordsInTimeOrderWithTheInspector)
{
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(view->inspectorAction()->isChecked());
    EXPECT_EQ(view->inspectorAction()->text(), "Inspector");
    EXPECT_EQ(view->inspectorAction()->toolTip(), "Show or hide the record inspector");
    EXPECT_EQ(view->inspectorAction()->property("symbol").toString(), "sidebar.right");
    EXPECT_TRUE(view->actions().contains(view->inspectorAction()));
    EXPECT_EQ(view->searchPrompt(), QString::fromUtf8("Path, command, user, event, pid\u2026"));

    std::unique_ptr<ScreenWidget> made(makeScreen(Screen::events, ViewContext{&store, nullptr, nullptr}));
    EXPECT_NE(dynamic_cast<EventsView *>(made.get()), nullptr);
}

// Two results with the same count, first id and last id but different records in between: the
// table must show the second one, whatever the sort.
TEST_F(EventsViewTest, EveryNewFilterResultReachesTheTable)
{
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        view->table()->sortByColumn(EventsTableModel::timeColumn, order);
        filter(records({1, 2, 5}));
        const auto first = order == Qt::AscendingOrder ? std::vector<int64_t>{1, 2, 5} : std::vector<int64_t>{5, 2, 1};
        EXPECT_EQ(shownIDs(), first);
        filter(records({1, 3, 5}));
        const auto second = order == Qt::AscendingOrder ? std::vector<int64_t>{1, 3, 5} : std::vector<int64_t>{5, 3, 1};
        EXPECT_EQ(shownIDs(), second);
    }
}

TEST_F(EventsViewTest, TheSelectionIsTheStoresRecordIdKeptWhileHidden)
{
    store.setSelectedRecordID(4);
    EXPECT_EQ(highlightedID(), 4);

    EventFilter pid100;
    pid100.pid = 100;
    filter(pid100);
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{1, 3, 5}));
    EXPECT_EQ(highlightedID(), std::nullopt);
    EXPECT_EQ(store.selectedRecordID(), 4); // hidden, still selected
    ASSERT_TRUE(view->inspector()->record());
    EXPECT_EQ(view->inspector()->record()->id, 4);
    EXPECT_EQ(footerText("selectedRecord"), QString::fromUtf8("#4 \u00B7 0 bytes \u00B7 0 tokens"));

    filter(EventFilter());
    EXPECT_EQ(highlightedID(), 4); // re-applied after the reset

    // A header click on another column sorts it forward; a second click reverses it.
    QHeaderView *header = view->table()->horizontalHeader();
    header->resize(1200, 30);
    const QPoint result(header->sectionViewportPosition(EventsTableModel::resultColumn) + 5, 5);
    // The sorts are made on the pool.
    const auto sorted = [&] { return waitUntil([&] { return !view->model()->isSorting(); }); };
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, result);
    ASSERT_TRUE(sorted());
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{1, 2, 4, 5, 3}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, result);
    ASSERT_TRUE(sorted());
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{3, 1, 2, 4, 5}));
    EXPECT_EQ(highlightedID(), 4); // and after a sort

    // A click selects in the store; the inspector follows.
    view->table()->selectRow(0);
    EXPECT_EQ(store.selectedRecordID(), 3);
    EXPECT_EQ(view->inspector()->record()->id, 3);
}

TEST_F(EventsViewTest, ASelectionThatNoLongerResolvesShowsNoSelection)
{
    auto *stack = view->findChild<QStackedWidget *>();
    auto *placeholder = view->findChild<ContentUnavailable *>("noSelection");
    ASSERT_TRUE(stack && placeholder);
    EXPECT_EQ(stack->currentWidget(), placeholder);
    EXPECT_EQ(placeholder->title(), "No selection");
    EXPECT_EQ(placeholder->symbol(), "sidebar.right");
    EXPECT_EQ(placeholder->description(), "Select a record to see every token it contains.");
    store.setSelectedRecordID(2);
    EXPECT_EQ(stack->currentWidget(), view->inspector());
    view->inspector()->setShowHex(true);
    view->inspector()->setTokenExpanded(0, true);
    store.setSelectedRecordID(999);
    EXPECT_EQ(stack->currentWidget(), placeholder);
    EXPECT_EQ(footerText("selectedRecord"), "");
    // The inspector that comes back after the placeholder starts closed, even on the same record.
    store.setSelectedRecordID(2);
    EXPECT_EQ(stack->currentWidget(), view->inspector());
    EXPECT_FALSE(view->inspector()->showHex());
    EXPECT_TRUE(view->inspector()->expandedTokens().empty());
}

TEST_F(EventsViewTest, EmptyResultShowsThePlaceholderExceptWhileFiltering)
{
    view->resize(1000, 600);
    view->show();
    auto *empty = view->findChild<ContentUnavailable *>("noMatchingRecords");
    auto *busy = view->findChild<QProgressBar *>("filteringIndicator");
    ASSERT_TRUE(empty && busy);
    EXPECT_FALSE(empty->isVisible());
    EXPECT_FALSE(busy->isVisible());
    EXPECT_EQ(footerText("recordCounts"), "5 of 5 records");

    filter(records({}));
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->title(), "No matching records");
    EXPECT_EQ(empty->symbol(), "line.3.horizontal.decrease.circle");
    EXPECT_EQ(empty->description(), "Adjust or clear the filters.");
    EXPECT_EQ(footerText("recordCounts"), "0 of 5 records");

    store.setFilterDelay(std::chrono::milliseconds(60000));
    store.setFilter(records({7}));
    ASSERT_TRUE(store.isFiltering());
    EXPECT_FALSE(empty->isVisible());
    EXPECT_TRUE(busy->isVisible());
}

TEST_F(EventsViewTest, FooterGroupsCountsButNotTheSelectedRecordsFigures)
{
    LoadedStore big;
    std::vector<AuditRecord> many;
    for (int i = 0; i < 1500; ++i) many.push_back(RecordValue(openRead, 100 + i).subject(501, 501, 100 + i % 2));
    ASSERT_TRUE(big.load(std::move(many)));
    EventsView bigView(ViewContext{&big, nullptr, nullptr});
    EventFilter even;
    even.pid = 100;
    big.setFilter(even);
    ASSERT_TRUE(big.settle());
    big.setSelectedRecordID(1235);
    EXPECT_EQ(bigView.findChild<QLabel *>("recordCounts")->text(), "750 of 1,500 records");
    EXPECT_EQ(bigView.findChild<QLabel *>("selectedRecord")->text(),
              QString::fromUtf8("#1235 \u00B7 0 bytes \u00B7 0 tokens"));
    big.setFilter(EventFilter());
    ASSERT_TRUE(big.settle());
    EXPECT_EQ(bigView.findChild<QLabel *>("recordCounts")->text(), "1,500 of 1,500 records");
}

TEST_F(EventsViewTest, SearchIsTheFiltersFreeText)
{
    view->setSearch("hosts");
    EXPECT_EQ(store.filter().text, "hosts");
    ASSERT_TRUE(store.settle());
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{2}));

    EventFilter other;
    other.text = "passwd";
    store.setFilter(other);
    EXPECT_EQ(view->search(), "passwd");
    store.setFilter(EventFilter());
    EXPECT_EQ(view->search(), "");

    // A new screen starts from the store's text.
    store.setFilter(other);
    EventsView again(ViewContext{&store, nullptr, nullptr});
    EXPECT_EQ(again.search(), "passwd");
}

TEST_F(EventsViewTest, AMillionRowsSortedAndSearchedKeepShowingTheOldRowsUntilTheResultLands)
{
    // A million reads, pids falling as time goes on; one in a thousand reads the needle.
    constexpr size_t count = 1'000'000;
    std::vector<AuditRecord> many(count);
    RecordBuilder builder(nullptr, count * 16);
    SubjectInfo subject;
    for (size_t i = 0; i < count; ++i) {
        many[i].event = openRead;
        many[i].time = double(i);
        subject.pid = uint32_t((count - 1 - i) / 1000);
        builder.setSubject(subject);
        builder.addPath(i % 1000 == 0 ? "/etc/needle" : "/tmp/f");
        builder.finish(many[i], 0, 0);
    }
    builder.trim();
    LoadedStore big;
    ASSERT_TRUE(big.load(std::move(many)));
    EventsView bigView(ViewContext{&big, nullptr, nullptr});
    bigView.resize(1200, 700);
    bigView.show();
    EventsTableModel *model = bigView.model();
    auto *busy = bigView.findChild<QProgressBar *>("filteringIndicator");
    ASSERT_TRUE(busy);
    ASSERT_EQ(model->rowCount(), int(count));

    // Sorted by PID with a click on its header: the rows stay in time order until the sort lands.
    QHeaderView *header = bigView.table()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(EventsTableModel::pidColumn) + 5, 5));
    EXPECT_TRUE(model->isSorting());
    EXPECT_TRUE(busy->isVisible());
    EXPECT_EQ(model->idAt(0), 1);
    ASSERT_TRUE(waitUntil([&] { return !model->isSorting(); }, 60000));
    EXPECT_FALSE(busy->isVisible());
    EXPECT_EQ(model->idAt(0), int64_t(count - 999)) << "smallest pid first, the earliest of them first";

    // Searched: the sorted million rows stay while the matching runs and its result is sorted;
    // the table changes once, to the sorted result.
    const int64_t firstShown = model->idAt(0);
    std::vector<std::pair<int, int64_t>> resets;
    QObject::connect(model, &QAbstractItemModel::modelReset,
                     [&] { resets.emplace_back(model->rowCount(), model->idAt(0)); });
    bigView.setSearch("needle");
    EXPECT_TRUE(big.isFiltering());
    ASSERT_TRUE(waitUntil(
        [&] {
            if (!big.isFiltering() && !model->isSorting()) return true;
            EXPECT_TRUE(busy->isVisible());
            EXPECT_EQ(model->rowCount(), int(count));
            EXPECT_EQ(model->idAt(0), firstShown);
            return false;
        },
        60000));
    EXPECT_FALSE(busy->isVisible());
    EXPECT_EQ(resets, (std::vector<std::pair<int, int64_t>>{{int(count / 1000), int64_t(count - 999)}}))
        << "one change, to a thousand rows by pid, smallest first";
    EXPECT_EQ(model->idAt(int(count / 1000) - 1), 1);
}

TEST_F(EventsViewTest, RowsOfferTheRecordMenuAndTheInspectorCanBeHidden)
{
    EXPECT_EQ(view->contextMenuForRow(-1), nullptr);
    EXPECT_EQ(view->contextMenuForRow(5), nullptr);
    QMenu *menu = view->contextMenuForRow(1);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().first()->text(), "Show Events for PID 200");
    delete menu;

    view->resize(1200, 700);
    view->show();
    QWidget *pane = view->frame()->pane();
    ASSERT_TRUE(pane->isAncestorOf(view->inspector()));
    EXPECT_TRUE(pane->isVisible());
    view->inspectorAction()->trigger();
    EXPECT_FALSE(pane->isVisible());
    view->inspectorAction()->trigger();
    EXPECT_TRUE(pane->isVisible());
    EXPECT_GE(pane->width(), 320);
    EXPECT_LE(pane->width(), 600);
}

} // namespace
