// Columns start at their ideal widths, give up width evenly toward their minimums as the window
// narrows, and never go below them, however they are dragged: the stretching column included.
#include "Views/Components/TableColumns.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace {

constexpr ColumnWidth widths[] = {{100, 150}, {60, 60}, {80, 120}, {120, 200}};

std::vector<int> sizes(const QHeaderView *header)
{
    std::vector<int> out;
    for (int c = 0; c < header->count(); ++c) out.push_back(header->sectionSize(c));
    return out;
}

// Drags the right edge of the column's header by dx, as the pointer would.
void dragEdge(QHeaderView *header, int column, int dx)
{
    const int edge = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
    const int target = std::max(1, edge + dx); // the header ignores the pointer left of itself
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
    QTest::mouseMove(header->viewport(), QPoint((edge + target) / 2, y));
    QTest::mouseMove(header->viewport(), QPoint(target, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(target, y));
}

class TableColumnsTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        model.setRowCount(3);
        model.setColumnCount(4);
        setUpListTable(&table, 8);
        table.setModel(&model);
        keepColumnsFitted(&table, widths, GetParam());
        table.show();
    }

    void resizeViewport(int width)
    {
        table.resize(width + (table.width() - table.viewport()->width()), 300);
        QCoreApplication::processEvents();
        ASSERT_EQ(table.viewport()->width(), width);
    }

    QStandardItemModel model;
    QTableView table;
};

TEST_P(TableColumnsTest, WidthsFollowTheWindowAndStayAtOrAboveTheirMinimums)
{
    const int stretch = GetParam();
    QHeaderView *header = table.horizontalHeader();

    resizeViewport(800); // the ideals and 270 more, all for the stretching column
    std::vector<int> expected = {150, 60, 120, 200};
    expected[size_t(stretch)] += 800 - 530;
    EXPECT_EQ(sizes(header), expected);

    resizeViewport(445); // between: each gives up half of what it holds above its minimum
    EXPECT_EQ(sizes(header), (std::vector<int>{125, 60, 100, 160}));

    resizeViewport(200); // below the minimums' sum: the minimums, and the table scrolls sideways
    EXPECT_EQ(sizes(header), (std::vector<int>{100, 60, 80, 120}));

    resizeViewport(600);
    for (int column : {0, 2, 3}) {
        dragEdge(header, column, -400);
        EXPECT_EQ(header->sectionSize(column), widths[column].minimum) << "column " << column;
    }
    const int fixed = header->sectionSize(1);
    dragEdge(header, 1, -30);
    EXPECT_EQ(header->sectionSize(1), fixed) << "a column whose minimum is its ideal keeps it";

    // Dragging another column wider or narrower, the stretching one takes up the rest, never less
    // than its minimum.
    dragEdge(header, stretch == 0 ? 2 : 0, 400);
    EXPECT_EQ(header->sectionSize(stretch), widths[stretch].minimum);
    const std::vector<int> now = sizes(header);
    const int total = std::accumulate(now.begin(), now.end(), 0);
    EXPECT_GT(total, 600) << "wider than the viewport: the table scrolls";
}

INSTANTIATE_TEST_SUITE_P(StretchingColumn, TableColumnsTest, ::testing::Values(3, 0),
                         [](const ::testing::TestParamInfo<int> &info) { return info.param == 3 ? "Last" : "First"; });

TEST(TableColumnsWidening, AValueWiderThanTheMinimumRaisesItAndTheIdealByAsMuch)
{
    const QFont font;
    const QString wide = QStringLiteral("Sep 30, 12:58:58.888 PM");
    const int needed = cellWidth(font, wide);
    EXPECT_GT(needed, QFontMetrics(font).horizontalAdvance(wide)) << "the cell's text margins count";
    const ColumnWidth narrow = widenedFor({needed - 20, needed + 5}, font, wide);
    EXPECT_EQ(narrow.minimum, needed);
    EXPECT_EQ(narrow.ideal, needed + 25);
    const ColumnWidth roomy = widenedFor({needed + 10, needed + 30}, font, wide);
    EXPECT_EQ(roomy.minimum, needed + 10) << "a value that fits changes nothing";
    EXPECT_EQ(roomy.ideal, needed + 30);

    const std::vector<ColumnWidth> all = widenedFor(widths, font, {{0, wide}, {7, wide}});
    EXPECT_EQ(all[0].minimum, std::max(100, needed));
    EXPECT_EQ(all[1].minimum, 60) << "columns not named stay";
    EXPECT_EQ(all.size(), 4u) << "a column past the end is ignored";
}

} // namespace
