#include "Views/Components/Symbols.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
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
    // One per bundled SVG: a file lost from the resources shows up here.
    ASSERT_EQ(names.size(), 68);
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

// The lookup order: the desktop theme's icon by its freedesktop name, for a symbol shown in the text
// colour, else the bundled SVG. The test theme holds one icon, a plain green edit-copy.
class SymbolThemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_paths = QIcon::themeSearchPaths();
        m_theme = QIcon::themeName();
        QIcon::setThemeSearchPaths({qEnvironmentVariable("QUILLMARSH_TEST_DATA") + "/icons"});
    }
    void TearDown() override
    {
        QIcon::setThemeName(m_theme);
        QIcon::setThemeSearchPaths(m_paths);
    }

    static QColor centre(const QIcon &icon)
    {
        return QColor::fromRgba(icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32).pixel(8, 8));
    }

private:
    QStringList m_paths;
    QString m_theme;
};

TEST_F(SymbolThemeTest, ThemeIconComesFirstWhereOneFits)
{
    QIcon::setThemeName("quillmarsh-test");
    const QIcon copy = symbolIcon("doc.on.doc");
    EXPECT_EQ(copy.name(), "edit-copy");
    EXPECT_EQ(centre(copy), QColor(0, 255, 0));
    // A symbol whose freedesktop icon the theme lacks, and one with no freedesktop name at all.
    EXPECT_EQ(symbolIcon("arrow.clockwise").name(), "arrow.clockwise");
    EXPECT_EQ(symbolIcon("flame.fill").name(), "flame.fill");
    // A colour the design asks for is never left to the theme.
    const QIcon red = symbolIcon("stop.fill", Qt::red);
    EXPECT_EQ(red.name(), "stop.fill");
    EXPECT_EQ(centre(red), QColor(Qt::red));
    const QIcon tinted = symbolIcon("doc.on.doc", QColor(0, 0, 255));
    EXPECT_EQ(tinted.name(), "doc.on.doc");
    EXPECT_GT(inkedPixels(tinted.pixmap(32)), 20);
}

TEST_F(SymbolThemeTest, WithoutTheThemeTheBundledSymbolTakesThePaletteTextColour)
{
    QIcon::setThemeName("no-such-theme");
    const QIcon copy = symbolIcon("doc.on.doc");
    EXPECT_EQ(copy.name(), "doc.on.doc");
    EXPECT_GT(inkedPixels(copy.pixmap(32)), 20);
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    EXPECT_EQ(centre(symbolIcon("stop.fill")).rgb(), text.rgb());
}
