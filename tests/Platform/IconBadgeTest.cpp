#include "Platform/IconBadge.h"

#include <QFontDatabase>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <vector>

namespace {

QImage plainIcon()
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0, 0, 255));
    return image;
}

bool isBadgeRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 100 && qBlue(pixel) < 100;
}

// The left-most column of the badge along its middle row.
int badgeLeftEdge(const QImage &image)
{
    const int row = int(64 * 0.55 / 2);
    for (int x = 0; x < image.width(); ++x)
        if (isBadgeRed(image.pixel(x, row))) return x;
    return -1;
}

} // namespace

TEST(IconBadgeTest, DrawsTheLabelInARedBadgeAtTheTopRight)
{
    const QImage icon = plainIcon();
    EXPECT_EQ(IconBadge::drawn(icon, ""), icon) << "no label, no badge";

    struct Case {
        const char *name;
        QString label;
    };
    const Case cases[] = {{"one digit", "3"}, {"two digits", "42"}, {"four digits", "1000"}, {"many", "123456789"}};
    std::vector<int> edges;
    for (const Case &c : cases) {
        const QImage badged = IconBadge::drawn(icon, c.label);
        ASSERT_EQ(badged.size(), icon.size()) << c.name;
        const int edge = badgeLeftEdge(badged);
        ASSERT_GE(edge, 0) << c.name << ": no badge drawn";
        edges.push_back(edge);
        EXPECT_EQ(badged.pixel(2, 62), icon.pixel(2, 62)) << c.name << ": the rest of the icon is untouched";
        EXPECT_TRUE(isBadgeRed(badged.pixel(62, int(64 * 0.55 / 2)))) << c.name;

        if (QFontDatabase::families().isEmpty()) continue;
        int white = 0;
        for (int y = 0; y < 35; ++y)
            for (int x = edge; x < 64; ++x) white += qRed(badged.pixel(x, y)) > 200 && qBlue(badged.pixel(x, y)) > 200;
        EXPECT_GT(white, 0) << c.name << ": the number is drawn";
    }
    // Longer labels widen the badge until it spans the icon; anti-aliasing may move an edge by 1.
    EXPECT_GT(edges[0], edges[1]);
    EXPECT_GT(edges[1], edges[2]);
    EXPECT_LE(edges[3], 3);
}

TEST(IconBadgeTest, IconGetsTheBadgeAtEverySize)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(plainIcon()));
    icon.addPixmap(QPixmap::fromImage(plainIcon().scaled(22, 22)));
    const QIcon badged = IconBadge::drawn(icon, "7");
    for (const QSize size : {QSize(22, 22), QSize(64, 64)}) {
        const QImage image = badged.pixmap(size).toImage();
        EXPECT_TRUE(isBadgeRed(image.pixel(size.width() - 2, int(size.height() * 0.55 / 2)))) << size.width();
    }
}

TEST(IconBadgeTest, LabelChangesAreAnnouncedOnce)
{
    IconBadge badge;
    QSignalSpy spy(&badge, &IconBadge::labelChanged);
    for (const char *label : {"2", "2", "3", "", ""}) badge.setLabel(label);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].toString(), "2");
    EXPECT_EQ(spy[1][0].toString(), "3");
    EXPECT_EQ(spy[2][0].toString(), "");
    EXPECT_EQ(badge.label(), "");
}
