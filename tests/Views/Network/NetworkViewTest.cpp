#include "Views/Network/NetworkView.h"

#include "Views/Components/BarList.h"
#include "Views/Network/NetworkTableModel.h"
#include "support/LoadedStore.h"
#include "support/QtTestSupport.h"
#include "support/RecordValue.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using TestRecords::RecordValue;

namespace {

constexpr uint16_t connectEvent = 32;

class NetworkViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // Ids 1-5: two remote, one loopback only, one UNIX-domain, one without sockets.
        ASSERT_TRUE(store.load({RecordValue(connectEvent, 10).subject(501, 501, 100).socket("10.0.0.1:443"),
                                RecordValue(connectEvent, 11).subject(501, 501, 200).socket("127.0.0.1:80"),
                                RecordValue(connectEvent, 12).subject(501, 501, 100).socket("10.0.0.1:443").failed(),
                                RecordValue(connectEvent, 13).subject(501, 501, 300).socket("/var/run/syslog"),
                                RecordValue(connectEvent, 14).subject(501, 501, 100).socket("93.184.216.34:80"),
                                RecordValue(72, 15).subject(501, 501, 100).path("/etc/hosts")}));
        view = std::make_unique<NetworkView>(ViewContext{&store, nullptr, nullptr});
        view->resize(1200, 800);
        tester = std::make_unique<QAbstractItemModelTester>(view->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        settle();
    }

    // The rows are derived on the pool: waits until the screen shows the latest.
    void settle() const
    {
        ASSERT_TRUE(waitUntil([&] { return !view->isDeriving(); }));
    }

    std::vector<int64_t> shownIDs() const
    {
        std::vector<int64_t> ids;
        for (int row = 0; row < view->model()->rowCount(); ++row) ids.push_back(view->model()->recordAt(row).id);
        return ids;
    }

    std::optional<int64_t> highlighted() const
    {
        const QModelIndexList rows = view->table()->selectionModel()->selectedRows();
        if (rows.isEmpty()) return std::nullopt;
        return view->model()->recordAt(rows.first().row()).id;
    }

    LoadedStore store;
    std::unique_ptr<NetworkView> view;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

TEST_F(NetworkViewTest, ListsRecordsWithSocketsAndCountsThem)
{
    EXPECT_EQ(view->searchPrompt(), QString::fromUtf8("Address, port, process\u2026"));
    EXPECT_TRUE(view->hideLocalSwitch()->isChecked());
    EXPECT_EQ(view->hideLocalSwitch()->text(), "Hide local && UNIX-domain sockets");
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{1, 3, 5}));
    EXPECT_EQ(view->countLabel()->text(), "3 network records");
    ASSERT_EQ(view->destinationsList()->items().size(), 2u);
    EXPECT_EQ(view->destinationsList()->items()[0], (CountItem{"10.0.0.1:443", "10.0.0.1:443", 2}));

    view->hideLocalSwitch()->setChecked(false);
    settle();
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(view->destinationsList()->items().size(), 4u) << "UNIX-domain paths can be destinations";

    view->table()->sortByColumn(NetworkTableModel::resultColumn, Qt::DescendingOrder);
    settle();
    EXPECT_EQ(shownIDs().front(), 3) << "the failure first";
    EXPECT_EQ(view->model()->data(view->model()->index(0, NetworkTableModel::addressColumn)).toString(), "10.0.0.1:443");
}

TEST_F(NetworkViewTest, CardClicksFillTheSearchAndBothCardsFollow)
{
    QSignalSpy changed(view.get(), &ScreenWidget::searchChanged);
    view->destinationsList()->rows().first()->click();
    EXPECT_EQ(view->search(), "10.0.0.1:443");
    ASSERT_EQ(changed.count(), 1) << "the toolbar field follows searchChanged";
    settle();
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{1, 3}));
    EXPECT_EQ(view->destinationsList()->items().size(), 1u);
    EXPECT_EQ(view->countLabel()->text(), "2 network records");

    view->setSearch("");
    settle();
    ASSERT_FALSE(view->processesList()->items().empty());
    const CountItem unknown = view->processesList()->items().front();
    EXPECT_EQ(unknown.label, "unknown") << "records without an image";
    view->processesList()->rows().first()->click();
    EXPECT_EQ(view->search(), "unknown");
}

TEST_F(NetworkViewTest, SelectionSurvivesASearchThatHidesIt)
{
    view->table()->selectRow(1);
    ASSERT_EQ(view->selection(), 3);
    view->setSearch("93.184");
    settle();
    EXPECT_EQ(shownIDs(), (std::vector<int64_t>{5}));
    EXPECT_EQ(view->selection(), 3);
    EXPECT_EQ(highlighted(), std::nullopt);
    view->setSearch("");
    settle();
    EXPECT_EQ(highlighted(), 3);
}

TEST_F(NetworkViewTest, DoubleClickAndReturnOpenTheRecordOnTheEventsScreen)
{
    view->openRow(2);
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().recordIDs, (std::optional<std::unordered_set<int64_t>>{{5}}));
    EXPECT_EQ(store.filter().label, "network record");
    EXPECT_EQ(store.selectedRecordID(), 5);

    store.setScreen(Screen::network);
    view->table()->selectRow(0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(view->table(), &enter);
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.filter().recordIDs, (std::optional<std::unordered_set<int64_t>>{{1}}));
    EXPECT_EQ(store.selectedRecordID(), 1);

    QMenu *menu = view->contextMenuForRow(0);
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->actions().isEmpty()) << "the shared record menu";
    EXPECT_EQ(view->contextMenuForRow(7), nullptr);
}

TEST_F(NetworkViewTest, AClickIntoTheSelectedRowsAddressOpensItForSelectingAndCopying)
{
    view->show();
    QTableView *table = view->table();
    const QPoint address = table->visualRect(view->model()->index(0, NetworkTableModel::addressColumn)).center();
    const auto editor = [&] { return table->findChild<QLineEdit *>(QStringLiteral("addressEditor")); };
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, address);
    EXPECT_EQ(view->selection(), 1);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_EQ(editor(), nullptr) << "the click that selects the row opens nothing";

    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, address);
    ASSERT_TRUE(waitUntil([&] { return editor() && editor()->isVisible(); }));
    QLineEdit *line = editor();
    EXPECT_TRUE(line->isReadOnly());
    EXPECT_EQ(line->text(), "10.0.0.1:443");
    EXPECT_EQ(store.screen(), Screen::dashboard) << "no drill-down";

    // The mouse selects the host alone, Ctrl+C copies it, and nothing is written back.
    const int left = line->contentsRect().left() + 2; // a line edit's own text margin
    const QFontMetrics metrics(line->font());
    QTest::mousePress(line, Qt::LeftButton, {}, QPoint(left + 1, line->height() / 2));
    QTest::mouseMove(line, QPoint(left + metrics.horizontalAdvance("10.0.0.1") + 1, line->height() / 2));
    QTest::mouseRelease(line, Qt::LeftButton, {},
                        QPoint(left + metrics.horizontalAdvance("10.0.0.1") + 1, line->height() / 2));
    EXPECT_EQ(line->selectedText(), "10.0.0.1");
    QGuiApplication::clipboard()->setText("stale");
    QTest::keyClick(line, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "10.0.0.1");
    QTest::keyClick(line, Qt::Key_Escape);
    EXPECT_EQ(view->model()->data(view->model()->index(0, NetworkTableModel::addressColumn)).toString(), "10.0.0.1:443");

    // A double-click on the address still opens the record.
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, address);
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.selectedRecordID(), 1);
}

} // namespace
