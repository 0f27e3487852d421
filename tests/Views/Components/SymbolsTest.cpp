#include "Views/Components/Symbols.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// Pixels that the glyph inked, so an icon that paints nothing counts as missing.
int inkedPixels(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 64) ++count;
    return count;
}

QImage rendered(const QString &name)
{
    return symbolPixmap(name, 32, Qt::black).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(SymbolsTest, EveryNamedSymbolDrawsVisiblyWithoutATheme)
{
    const QStringList names = symbolNames();
    ASSERT_GT(names.size(), 60);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(hasSymbol(name));
        for (const QColor &color : {QColor(), QColor(Qt::red)}) {
            const QPixmap pixmap = symbolPixmap(name, 32, color);
            ASSERT_FALSE(pixmap.isNull());
            EXPECT_EQ(pixmap.size(), QSize(32, 32));
            EXPECT_GT(inkedPixels(pixmap), 20) << "an icon this size shows at least a few strokes";
        }
        EXPECT_FALSE(symbolIcon(name).isNull());
    }
}

TEST(SymbolsTest, SymbolsLookDifferentFromEachOther)
{
    // A table entry copied onto the wrong name would draw a twin.
    const QStringList names = symbolNames();
    std::vector<QImage> images;
    for (const QString &name : names) images.push_back(rendered(name));
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t j = i + 1; j < images.size(); ++j)
            EXPECT_NE(images[i], images[j]) << names[int(i)].toStdString() << " and " << names[int(j)].toStdString();
}

TEST(SymbolsTest, FilledVariantsCutTheirMarkOutOfTheShape)
{
    for (const char *base : {"checkmark.circle", "xmark.octagon", "exclamationmark.triangle", "checkmark.shield",
                             "exclamationmark.shield"}) {
        SCOPED_TRACE(base);
        const QPixmap outline = symbolPixmap(QString(base), 48, Qt::black);
        const QPixmap filled = symbolPixmap(QString(base) + ".fill", 48, Qt::black);
        EXPECT_GT(inkedPixels(filled), inkedPixels(outline) * 6 / 5);
        // The centre holds the mark: on a filled shape it is cut clear somewhere near the middle.
        const QImage image = filled.toImage().convertToFormat(QImage::Format_ARGB32);
        int clear = 0;
        for (int y = 16; y < 34; ++y)
            for (int x = 16; x < 32; ++x)
                if (qAlpha(image.pixel(x, y)) < 64) ++clear;
        EXPECT_GT(clear, 10);
    }
}

TEST(SymbolsTest, ColourAndScaleAreHonoured)
{
    const QImage red = symbolPixmap("stop.fill", 24, QColor(255, 0, 0)).toImage();
    EXPECT_EQ(QColor(red.pixel(12, 12)), QColor(255, 0, 0));
    const QPixmap sharp = symbolPixmap("stop.fill", 24, Qt::black, 2);
    EXPECT_EQ(sharp.size(), QSize(48, 48));
    EXPECT_EQ(sharp.devicePixelRatio(), 2);
}

TEST(SymbolsTest, UnknownNamesStillDrawAndSayTheyAreUnknown)
{
    EXPECT_FALSE(hasSymbol("no.such.symbol"));
    EXPECT_FALSE(hasSymbol("circle"));
    EXPECT_GT(inkedPixels(symbolPixmap("no.such.symbol", 32)), 20);
}

TEST(SymbolsTest, HelpersRecordTheSymbolName)
{
    QToolButton button;
    setSymbol(&button, "doc.on.doc");
    EXPECT_EQ(button.property("symbol").toString(), "doc.on.doc");
    EXPECT_FALSE(button.icon().isNull());
    QAction action("Copy");
    setSymbol(&action, "arrow.clockwise", Qt::blue);
    EXPECT_EQ(action.property("symbol").toString(), "arrow.clockwise");
    QLabel label;
    setSymbol(&label, "flame.fill", 20, Qt::red);
    EXPECT_EQ(label.property("symbol").toString(), "flame.fill");
    EXPECT_EQ(label.pixmap().size(), QSize(20, 20));
}
