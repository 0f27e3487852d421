// Figures line up in a font whose digits differ in advance: each digit is drawn in a cell as wide
// as the widest digit. The test font's glyphs are bars as wide as their advance, so the ink shows
// where each digit landed.
#include "Views/Components/EqualDigits.h"

#include "Views/Components/StatTile.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

QFont unevenDigits()
{
    static const int loaded = QFontDatabase::addApplicationFont(qEnvironmentVariable("QUILLMARSH_TEST_DATA")
                                                                + QStringLiteral("/fonts/UnevenDigits.ttf"));
    EXPECT_GE(loaded, 0) << "the test font did not load";
    QFont font(QStringLiteral("Uneven Digits"));
    font.setPixelSize(40);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// The x of the rightmost inked column, or -1 for a blank image.
int rightmostInk(const QImage &image)
{
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 128) return x;
    return -1;
}

QImage drawn(const std::function<void(QPainter &, const QRectF &)> &draw)
{
    QImage image(400, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(unevenDigits());
    painter.setPen(Qt::black);
    draw(painter, QRectF(0, 0, 400, 60));
    painter.end();
    return image;
}

QImage drawnEqual(const QString &text, int alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    return drawn([&](QPainter &painter, const QRectF &rect) { EqualDigits::draw(painter, rect, alignment, text); });
}

TEST(EqualDigitsTest, OnlyFontsWhoseDigitsDifferAreRespaced)
{
    const QFont uneven = unevenDigits();
    const QFontMetricsF metrics(uneven);
    ASSERT_NE(metrics.horizontalAdvance(QChar(u'1')), metrics.horizontalAdvance(QChar(u'0')));
    EXPECT_TRUE(EqualDigits::needed(uneven));
    const qreal widest = metrics.horizontalAdvance(QChar(u'0'));
    EXPECT_DOUBLE_EQ(EqualDigits::advance(uneven, u"1111"), 4 * widest);
    EXPECT_DOUBLE_EQ(EqualDigits::advance(uneven, u"10:01"), 4 * widest + metrics.horizontalAdvance(QChar(u':')));
    EXPECT_DOUBLE_EQ(EqualDigits::advance(uneven, u"10"), EqualDigits::advance(uneven, u"00"));

    // The application font here has equal digits: nothing changes.
    const QFont plain;
    EXPECT_FALSE(EqualDigits::needed(plain));
    EXPECT_DOUBLE_EQ(EqualDigits::advance(plain, u"12:34"),
                     QFontMetricsF(plain).horizontalAdvance(QStringLiteral("12:34")));
}

TEST(EqualDigitsTest, EachDigitIsDrawnInACellOfTheWidestDigit)
{
    // Drawn plainly, a narrow 1 pulls the next digit left; drawn with equal digits, it does not.
    const auto plain = [](const QString &text) {
        return drawn([&](QPainter &painter, const QRectF &rect) {
            painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, text);
        });
    };
    ASSERT_LT(rightmostInk(plain("10")), rightmostInk(plain("00"))) << "the font's digits must differ";
    EXPECT_EQ(rightmostInk(drawnEqual("10")), rightmostInk(drawnEqual("00")));
    EXPECT_EQ(rightmostInk(drawnEqual("1:10")), rightmostInk(drawnEqual("0:00")));

    // Right-aligned figures end at the same place whatever their digits.
    const int right = Qt::AlignRight | Qt::AlignVCenter;
    EXPECT_EQ(rightmostInk(drawnEqual("10", right)), rightmostInk(drawnEqual("00", right)));

    // Too narrow: cut at the end with an ellipsis that fits.
    const QString cut = EqualDigits::elided(unevenDigits(), QStringLiteral("1234567890"), 150);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026)));
    EXPECT_LE(EqualDigits::advance(unevenDigits(), cut), 150);
}

TEST(EqualDigitsTest, CellsLabelsAndTilesUseTheWidestDigit)
{
    QStandardItemModel model(2, 1);
    model.setData(model.index(0, 0), QStringLiteral("10"));
    model.setData(model.index(1, 0), QStringLiteral("00"));
    for (int row = 0; row < 2; ++row) model.setData(model.index(row, 0), unevenDigits(), Qt::FontRole);
    QTableView table;
    table.setModel(&model);
    setEqualDigits(&table, {0});
    QStyleOptionViewItem option;
    option.initFrom(&table);
    auto *delegate = table.itemDelegateForColumn(0);
    EXPECT_EQ(delegate->sizeHint(option, model.index(0, 0)).width(),
              delegate->sizeHint(option, model.index(1, 0)).width());
    const auto cell = [&](int row) {
        QImage image(200, 60, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem item = option;
        item.rect = QRect(0, 0, 200, 60);
        item.palette.setColor(QPalette::Text, Qt::black);
        delegate->paint(&painter, item, model.index(row, 0));
        return image;
    };
    EXPECT_EQ(rightmostInk(cell(0)), rightmostInk(cell(1)));

    EqualDigitsLabel ten(QStringLiteral("10")), zero(QStringLiteral("00"));
    ten.setFont(unevenDigits());
    zero.setFont(unevenDigits());
    EXPECT_EQ(ten.sizeHint().width(), zero.sizeHint().width());
    EXPECT_EQ(ten.text(), QStringLiteral("10"));

    ShrinkingLabel tile(QStringLiteral("1,111"));
    tile.setFont(unevenDigits());
    EXPECT_EQ(tile.sizeHint().width(), int(std::ceil(EqualDigits::advance(unevenDigits(), u"1,111"))));
}

} // namespace
