#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/BarList.h"
#include "Views/Components/Card.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/ElidingToolButton.h"
#include "Views/Components/Expander.h"
#include "Views/Components/FilterChip.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/StatTile.h"
#include "Views/Components/Style.h"
#include "Views/Components/WrappedText.h"
#include "Views/Components/WrappingCheckBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QStackedWidget>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <QHBoxLayout>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

class ComponentsTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

QString clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

TEST_F(ComponentsTest, KeyValueRowShowsADashAndCopiesExactTexts)
{
    struct Case {
        QString key;
        QString value;
        QString shown;
        QString pairTitle;
        QString pairCopy;
    };
    const Case cases[] = {
        {"Path", "/tmp/x", "/tmp/x", QString::fromUtf8("Copy \u201cPath: \u2026\u201d"), "Path: /tmp/x"},
        {"Team", "", QString::fromUtf8("\u2014"), QString::fromUtf8("Copy \u201cTeam: \u2026\u201d"), "Team: "},
        {"Args", "a, b\nc", "a, b\nc", QString::fromUtf8("Copy \u201cArgs: \u2026\u201d"), "Args: a, b\nc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        KeyValueRow row(c.key, c.value);
        EXPECT_EQ(row.valueText()->text(), c.shown);
        EXPECT_EQ(row.keyLabel()->text(), c.key);
        EXPECT_EQ(row.copyValueAction()->text(), "Copy Value");
        EXPECT_EQ(row.copyPairAction()->text(), c.pairTitle);
        QGuiApplication::clipboard()->setText("stale");
        row.copyValueAction()->trigger();
        EXPECT_EQ(clipboardText(), c.value) << "the value itself, never the dash";
        row.copyPairAction()->trigger();
        EXPECT_EQ(clipboardText(), c.pairCopy);
    }
    KeyValueRow row("Key", "old");
    row.setValue("");
    EXPECT_EQ(row.valueText()->text(), QString::fromUtf8("\u2014"));
    EXPECT_EQ(row.valueText()->contextMenuPolicy(), Qt::CustomContextMenu) << "the row's menu, not the label's";
    EXPECT_EQ(row.keyLabel()->width(), 118);

    // Key and monospaced value share their first baseline.
    KeyValueRow mono("Arguments", "sudo -u root", true);
    mono.resize(400, 60);
    mono.show();
    QApplication::processEvents();
    auto baseline = [](QWidget *text) {
        return text->y() + text->contentsMargins().top() + QFontMetrics(text->font()).ascent();
    };
    EXPECT_EQ(baseline(mono.keyLabel()), baseline(mono.valueText()));
}

TEST_F(ComponentsTest, BarListScalesBarsToTheLargestCount)
{
    EXPECT_EQ(barScale({}), 1);
    EXPECT_EQ(barScale({{"a", "a", 0}, {"b", "b", 0}}), 1) << "all zero: scale 1, not 0";
    EXPECT_EQ(barScale({{"a", "a", 3}, {"b", "b", 12}}), 12);
    struct Case {
        const char *name;
        std::vector<CountItem> items;
        std::vector<double> widths; // at a row width of 200
    };
    const Case cases[] = {
        {"one item spans the row", {{"k", "only", 7}}, {200}},
        {"proportional, zero still 4 wide", {{"a", "a", 10}, {"b", "b", 5}, {"c", "c", 0}}, {200, 100, 4}},
        {"all zero: every bar 4 wide", {{"a", "a", 0}, {"b", "b", 0}}, {4, 4}},
        {"tiny share rounds up to 4", {{"a", "a", 1000}, {"b", "b", 1}}, {200, 4}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BarList list(c.items, Qt::blue);
        list.resize(200, 200);
        list.show();
        QApplication::processEvents();
        const QList<BarListRow *> rows = list.rows();
        ASSERT_EQ(size_t(rows.size()), c.widths.size());
        for (size_t i = 0; i < c.widths.size(); ++i) {
            EXPECT_EQ(rows[int(i)]->width(), 200);
            EXPECT_DOUBLE_EQ(rows[int(i)]->barWidth(), c.widths[i]);
        }
        EXPECT_EQ(list.emptyLabel(), nullptr);
    }
}

TEST_F(ComponentsTest, BarListRowsInOrderWithGroupedCounts)
{
    std::vector<const CountItem *> selected;
    std::vector<CountItem> items = {{"23", "execve(2)", 12345}, {"2", "fork(2)", 7}};
    BarList list(items, Qt::red, true, [&](const CountItem &item) { selected.push_back(new CountItem(item)); });
    list.resize(300, 100);
    list.show();
    QApplication::processEvents();
    const QList<BarListRow *> rows = list.rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->text(), "execve(2)");
    EXPECT_EQ(rows[0]->countText(), "12,345");
    EXPECT_EQ(rows[1]->countText(), "7");
    EXPECT_TRUE(rows[1]->isEnabled());
    QTest::mouseClick(rows[1], Qt::LeftButton, {}, QPoint(rows[1]->width() - 5, rows[1]->height() / 2));
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(*selected[0], items[1]);
    for (const CountItem *item : selected) delete item;
}

TEST_F(ComponentsTest, BarListWithoutHandlerHasDisabledRowsAndEmptyShowsNoData)
{
    BarList list({{"a", "alpha", 3}}, Qt::blue);
    list.resize(200, 60);
    list.show();
    QApplication::processEvents();
    ASSERT_EQ(list.rows().size(), 1);
    EXPECT_FALSE(list.rows()[0]->isEnabled());
    QTest::mouseClick(list.rows()[0], Qt::LeftButton); // nothing to call, nothing breaks

    BarList empty({}, Qt::blue);
    ASSERT_NE(empty.emptyLabel(), nullptr);
    EXPECT_EQ(empty.emptyLabel()->text(), "No data");
    EXPECT_TRUE(empty.rows().isEmpty());
    empty.setItems({{"x", "x", 1}});
    EXPECT_EQ(empty.emptyLabel(), nullptr);
    EXPECT_EQ(empty.rows().size(), 1);
    empty.setItems({});
    ASSERT_NE(empty.emptyLabel(), nullptr);
    EXPECT_TRUE(empty.rows().isEmpty());
}

TEST_F(ComponentsTest, StatTileValueShrinksThenIsCut)
{
    const QFont font = Style::semibold(Style::title2());
    const QString value = "1,234,567";
    const int full = QFontMetrics(font).horizontalAdvance(value);
    const FittedText roomy = fitText(value, font, full + 10, 0.6);
    EXPECT_EQ(roomy.scale, 1);
    EXPECT_EQ(roomy.text, value);
    const FittedText tighter = fitText(value, font, int(full * 0.8), 0.6);
    EXPECT_LT(tighter.scale, 1);
    EXPECT_GE(tighter.scale, 0.6);
    EXPECT_EQ(tighter.text, value) << "shrunk, not cut";
    const FittedText narrow = fitText(value, font, int(full * 0.3), 0.6);
    EXPECT_DOUBLE_EQ(narrow.scale, 0.6) << "never below 60 %";
    EXPECT_NE(narrow.text, value);
    EXPECT_TRUE(narrow.text.endsWith(QChar(0x2026))) << narrow.text.toStdString();
    EXPECT_FALSE(narrow.text.contains('\n'));

    StatTile tile("Records", value, "1 trail file(s)", "doc.text.magnifyingglass", Qt::blue);
    tile.resize(130, 80);
    tile.show();
    QApplication::processEvents();
    const FittedText shown = tile.valueLabel()->fitted();
    EXPECT_LE(QFontMetricsF(font).horizontalAdvance(shown.text) * shown.scale, tile.valueLabel()->width() + 1);
    EXPECT_EQ(tile.valueLabel()->height(), QFontMetrics(font).height()) << "one line";
}

TEST_F(ComponentsTest, StatTileTextsStayAtTheTopBesideATallerTile)
{
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    auto *records = new StatTile("Records", "2,579", "1 trail file(s)", "doc.text.magnifyingglass", Qt::blue);
    auto *users = new StatTile("Users", "6", "distinct audit/effective ids, counted over every loaded trail",
                               "person.2", Qt::cyan);
    for (StatTile *tile : {records, users}) {
        tile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        row->addWidget(tile, 1);
    }
    row->setAlignment(Qt::AlignTop);
    window.resize(360, 200);
    window.show();
    QApplication::processEvents();
    ASSERT_GT(users->findChild<QLabel *>("tileDetail")->height(), 2 * QFontMetrics(Style::caption2()).height())
        << "the long detail must wrap for this to show anything";
    records->setMinimumHeight(users->height()); // tiles of one row are equally tall
    QApplication::processEvents();
    const auto top = [](StatTile *tile, const char *name) { return tile->findChild<QWidget *>(name)->y(); };
    EXPECT_EQ(top(records, "tileTitle"), top(users, "tileTitle"));
    EXPECT_EQ(top(records, "tileValue"), top(users, "tileValue"));
}

TEST_F(ComponentsTest, WrappingToggleAndElidingMenuButtonFitANarrowColumn)
{
    QWidget column;
    auto *layout = new QVBoxLayout(&column);
    auto *toggle = new WrappingCheckBox("Keep monitoring after the window is closed");
    layout->addWidget(toggle);
    layout->addStretch(1);
    column.resize(150, 200);
    column.show();
    QApplication::processEvents();
    const int oneLine = QCheckBox(toggle->text()).sizeHint().height();
    EXPECT_LE(toggle->width(), 150) << "narrower than its one-line label";
    EXPECT_GT(toggle->height(), oneLine) << "its label wraps instead";
    EXPECT_EQ(toggle->height(), toggle->heightForWidth(toggle->width()));
    QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(toggle->width() / 2, toggle->height() - 3));
    EXPECT_TRUE(toggle->isChecked()) << "a click on the wrapped line toggles it";

    ElidingToolButton button;
    button.setText("Classes: aa,ad,ex,fc,fd,fm,lo,nt,pc");
    button.resize(button.minimumSizeHint().width(), button.sizeHint().height());
    EXPECT_LT(button.minimumSizeHint().width(), button.sizeHint().width());
    EXPECT_TRUE(button.shownText().endsWith(QChar(0x2026)));
    EXPECT_EQ(button.text(), "Classes: aa,ad,ex,fc,fd,fm,lo,nt,pc");
    button.resize(button.sizeHint());
    EXPECT_EQ(button.shownText(), button.text()) << "room for all of it";
    button.grab();
}

TEST_F(ComponentsTest, StatTileClicksOnlyWithAnAction)
{
    int clicks = 0;
    QWidget window;
    auto *column = new QVBoxLayout(&window);
    auto *active = new StatTile("Failures", "3", "", "xmark.octagon", Qt::red, [&] { ++clicks; });
    auto *inert = new StatTile("Users", "2", "distinct audit/effective ids", "person.2", Qt::cyan);
    column->addWidget(active);
    column->addWidget(inert);
    window.resize(400, 200);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(active->detail(), "");
    EXPECT_TRUE(active->findChild<QLabel *>("tileDetail")->isHidden()) << "no detail line";
    EXPECT_FALSE(inert->findChild<QLabel *>("tileDetail")->isHidden());
    // The empty space at the right edge of the tile counts too.
    QTest::mouseClick(active, Qt::LeftButton, {}, QPoint(active->width() - 3, active->height() - 3));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(inert->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_FALSE(active->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(active->findChild<QLabel *>("tileSymbol")->property("symbol").toString(), "xmark.octagon");
    active->setAction({});
    EXPECT_TRUE(active->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(ComponentsTest, ExpanderTogglesTheCallersState)
{
    bool state = false; // the caller's
    auto *content = new QLabel("rows");
    Expander expander(new QLabel("Raw record (54 bytes)"), content, state);
    QObject::connect(&expander, &Expander::expandedChanged, [&](bool expanded) { state = expanded; });
    expander.show();
    QApplication::processEvents();
    EXPECT_FALSE(content->isVisible());
    EXPECT_EQ(expander.headerButton()->accessibleDescription(), "collapsed");
    QTest::mouseClick(expander.headerButton(), Qt::LeftButton);
    EXPECT_TRUE(state);
    EXPECT_TRUE(content->isVisible());
    EXPECT_EQ(expander.headerButton()->accessibleDescription(), "expanded");
    QTest::mouseClick(expander.headerButton(), Qt::LeftButton, {}, QPoint(expander.headerButton()->width() - 2, 3));
    EXPECT_FALSE(state) << "twice returns to the start, also clicked at the far end";
    EXPECT_FALSE(content->isVisible());

    // A rebuilt expander starts from the state the caller kept.
    state = true;
    auto *again = new QLabel("rows");
    Expander rebuilt(new QLabel("Raw record"), again, state);
    rebuilt.show();
    QApplication::processEvents();
    EXPECT_TRUE(again->isVisible());
    EXPECT_GE(again->mapTo(&rebuilt, QPoint(0, 0)).x(), 18) << "content indented";
}

TEST_F(ComponentsTest, FilterChipRemoval)
{
    int removed = 0;
    auto *holder = new QWidget;
    auto *chip = new FilterChip(
        "user orvik",
        [&] {
            ++removed;
            delete holder; // callers rebuild their chips from the action
        },
        holder);
    EXPECT_EQ(chip->text(), "user orvik");
    EXPECT_EQ(chip->removeButton()->property("symbol").toString(), "xmark.circle.fill");
    holder->show();
    QApplication::processEvents();
    QTest::mouseClick(chip->removeButton(), Qt::LeftButton);
    EXPECT_EQ(removed, 1);
}

TEST_F(ComponentsTest, CardHeaderOnlyWithATitle)
{
    Card bare;
    EXPECT_EQ(bare.header(), nullptr);
    EXPECT_TRUE(bare.findChildren<QLabel *>().isEmpty());
    Card titled("Activity");
    ASSERT_NE(titled.header(), nullptr);
    EXPECT_EQ(titled.findChild<QLabel *>("cardTitle")->text(), "Activity");
    EXPECT_EQ(titled.findChild<QLabel *>("cardSymbol"), nullptr) << "no symbol, no icon";
    Card full("Findings", "exclamationmark.shield");
    EXPECT_EQ(full.findChild<QLabel *>("cardSymbol")->property("symbol").toString(), "exclamationmark.shield");
    auto *content = new QLabel("content");
    full.addContent(content);
    EXPECT_EQ(content->parentWidget(), &full);
}

TEST_F(ComponentsTest, SeverityPresentationAndBadges)
{
    struct Case {
        Severity severity;
        const char *title;
        const char *symbol;
    };
    const Case cases[] = {
        {Severity::info, "Info", "info.circle"},
        {Severity::low, "Low", "exclamationmark.circle"},
        {Severity::medium, "Medium", "exclamationmark.triangle"},
        {Severity::high, "High", "exclamationmark.triangle.fill"},
        {Severity::critical, "Critical", "flame.fill"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Style::severity(c.severity).title, c.title);
        EXPECT_EQ(Style::severity(c.severity).symbol, c.symbol);
        SeverityBadge full(c.severity);
        SeverityBadge compact(c.severity, true);
        EXPECT_EQ(full.text(), c.title);
        EXPECT_EQ(compact.text(), "");
        EXPECT_EQ(full.property("symbol").toString(), c.symbol);
        // Compact: symbol only, padding 4 instead of 7 on each side.
        const int glyph = QFontMetrics(Style::semibold(Style::caption())).height();
        EXPECT_EQ(compact.sizeHint().width(), glyph + 8);
        EXPECT_GT(full.sizeHint().width(), glyph + 14 + 4);
    }
    EXPECT_EQ(Style::severity(Severity::medium).color, QColor::fromRgbF(0.86f, 0.62f, 0.0f));
    EXPECT_EQ(Style::severity(Severity::high).color, Style::orange());
    EXPECT_EQ(Style::severity(Severity::critical).color, Style::red());
    EXPECT_EQ(Style::severity(Severity::low).color, Style::blue());
    EXPECT_EQ(Style::severity(Severity::info).color, Style::secondaryText());

    ResultBadge ok(true);
    EXPECT_EQ(ok.toolTip(), "Success");
    EXPECT_EQ(ok.property("symbol").toString(), "checkmark.circle.fill");
    ResultBadge failed(false);
    EXPECT_EQ(failed.toolTip(), "Failure");
    EXPECT_EQ(failed.property("symbol").toString(), "xmark.octagon.fill");
    EXPECT_TRUE(failed.text().isEmpty());
}

TEST_F(ComponentsTest, BadgeDelegatePaintsBadgeCells)
{
    QStandardItemModel model(3, 2);
    model.setData(model.index(0, 0), 4, ItemRoles::severityRole);
    model.setData(model.index(1, 0), true, ItemRoles::resultRole);
    model.setData(model.index(2, 0), false, ItemRoles::resultRole);
    model.setData(model.index(0, 1), "plain text");
    QTableView view;
    auto *delegate = new BadgeDelegate(&view);
    view.setItemDelegate(delegate);
    view.setModel(&model);
    view.resize(400, 200);
    view.show();
    QApplication::processEvents();

    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = QRect(0, 0, 120, 24);
    const QSize severity = delegate->sizeHint(option, model.index(0, 0));
    EXPECT_EQ(severity.width(), SeverityBadgePainter::sizeHint(Severity::critical, false).width() + 8);

    // The critical cell gets red ink from the badge; the plain cell none.
    QImage image(120, 24, QImage::Format_ARGB32);
    auto redPixels = [&](const QModelIndex &index) {
        image.fill(Qt::white);
        QPainter painter(&image);
        delegate->paint(&painter, option, index);
        painter.end();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 120 && c.blue() < 120) ++count;
            }
        return count;
    };
    EXPECT_GT(redPixels(model.index(0, 0)), 20);
    EXPECT_GT(redPixels(model.index(2, 0)), 20) << "failure badge is red";
    EXPECT_EQ(redPixels(model.index(1, 0)), 0) << "success badge is green";
    EXPECT_EQ(redPixels(model.index(0, 1)), 0);

    // On a selected row the badge keeps a light ground inside its capsule instead of the selection colour.
    QStyleOptionViewItem selected = option;
    selected.state |= QStyle::State_Selected;
    const QColor highlight = selected.palette.color(QPalette::Highlight);
    image.fill(highlight); // the row's selection colour under the cell
    {
        QPainter painter(&image);
        delegate->paint(&painter, selected, model.index(0, 0));
    }
    const QColor inside = image.pixelColor(4 + 3, image.height() / 2); // left padding of the capsule
    EXPECT_GT(inside.lightness(), highlight.lightness() + 60);

    // Result cells explain themselves on hover.
    const QRect failureCell = view.visualRect(model.index(2, 0));
    QHelpEvent help(QEvent::ToolTip, failureCell.center(), view.viewport()->mapToGlobal(failureCell.center()));
    option.rect = failureCell;
    EXPECT_TRUE(delegate->helpEvent(&help, &view, option, model.index(2, 0)));
    EXPECT_EQ(QToolTip::text(), "Failure");
}

TEST_F(ComponentsTest, ContentUnavailableCoversItsHost)
{
    QTableView table;
    table.resize(500, 300);
    auto *empty = new ContentUnavailable("No matching records", "line.3.horizontal.decrease.circle",
                                         "Adjust or clear the filter.");
    empty->attachTo(table.viewport());
    table.show();
    QApplication::processEvents();
    EXPECT_EQ(empty->parentWidget(), table.viewport());
    EXPECT_EQ(empty->geometry(), table.viewport()->rect());
    table.resize(700, 400);
    QApplication::processEvents();
    EXPECT_EQ(empty->geometry(), table.viewport()->rect());
    EXPECT_EQ(empty->property("symbol").toString(), "line.3.horizontal.decrease.circle");
    EXPECT_EQ(empty->findChild<QLabel *>("unavailableTitle")->text(), "No matching records");
    empty->setDescription("");
    EXPECT_TRUE(empty->findChild<QLabel *>("unavailableDescription")->isHidden());
}

TEST_F(ComponentsTest, MasterDetailPaneShowsTheDetailOrThePlaceholderAndDeletesAReplacedDetail)
{
    MasterDetail frame;
    auto *placeholder = new QLabel("Select something");
    auto *stack = frame.setPane("pane", placeholder, MasterDetail::PaneMode::alwaysShown, {200, 300, 400});
    ASSERT_EQ(frame.pane(), stack);
    EXPECT_EQ(stack->objectName(), "pane");
    EXPECT_EQ(stack->currentWidget(), placeholder);

    QPointer<QWidget> first = new QLabel("first");
    frame.setDetail(first);
    EXPECT_EQ(stack->currentWidget(), first);
    EXPECT_EQ(frame.detail(), first);
    QPointer<QWidget> second = new QLabel("second");
    frame.setDetail(second);
    EXPECT_EQ(stack->currentWidget(), second);
    EXPECT_EQ(stack->indexOf(first), -1);
    EXPECT_FALSE(first.isNull()) << "deleted later: its own handler may be what replaced it";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    frame.setDetail(nullptr);
    EXPECT_EQ(stack->currentWidget(), placeholder);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());

    // A widget the screen keeps (the record inspector) stays in the pane while hidden.
    auto *kept = new QLabel("kept");
    frame.showInPane(kept);
    EXPECT_EQ(stack->currentWidget(), kept);
    frame.showInPane(nullptr);
    EXPECT_EQ(stack->currentWidget(), placeholder);
    EXPECT_EQ(kept->parentWidget(), stack);
    frame.showInPane(kept);
    EXPECT_EQ(stack->currentWidget(), kept);
}

TEST_F(ComponentsTest, RowMenusOpenOverRowsAndEmptyOnesAreDropped)
{
    QStandardItemModel model(3, 1);
    for (int row = 0; row < 3; ++row) model.setItem(row, new QStandardItem(QString::number(row)));
    QTableView table;
    table.setModel(&model);
    table.resize(300, 300);
    table.show();
    QList<int> asked;
    QPointer<QMenu> empty;
    MasterDetail::openRowMenus(&table, [&](const QModelIndex &index) -> QMenu * {
        asked << index.row();
        if (!index.isValid()) return nullptr;
        auto *menu = new QMenu(&table);
        if (index.row() == 0) menu->addAction("Open");
        else empty = menu;
        return menu;
    });
    const auto rightClick = [&](QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(table.viewport(), &event);
    };
    rightClick(table.visualRect(model.index(0, 0)).center());
    auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(popup->actions().size(), 1);
    EXPECT_EQ(popup->actions().first()->text(), "Open");
    const QPointer<QMenu> shown = popup;
    popup->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull()) << "a closed menu deletes itself";

    rightClick(table.visualRect(model.index(1, 0)).center());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(empty.isNull());

    rightClick(QPoint(5, table.viewport()->height() - 5));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(asked, (QList<int>{0, 1, -1}));
}

} // namespace
