// Every text reaches 4.5:1 against what it stands on (3:1 when it is large: 18.66 px bold or 24 px),
// as WCAG 2.1 AA asks: the style's secondary and tertiary text and every named colour it writes
// text in, against the window, the cards and the lists, in the light palette and in a dark one;
// then every label and coloured cell of every screen with a trail loaded.
#include "Views/MainWindow.h"

#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"
#include "Store/AuditStore.h"
#include "Views/Components/Style.h"
#include "support/FakeDockBadge.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNotificationCenter.h"
#include "support/QtTestSupport.h"
#include "support/ShellFixture.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 43));
    dark.setColor(QPalette::Text, QColor(235, 235, 235));
    dark.setColor(QPalette::Button, QColor(55, 55, 58));
    dark.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Mid, QColor(80, 80, 84));
    return dark;
}

// The palettes: the application's own (light) and a dark one, set for the test and put back after.
class ContrastTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        if (GetParam()) QApplication::setPalette(darkPalette());
    }
    void TearDown() override { QApplication::setPalette(saved); }

    // The worst contrast of the colour on any background text stands on.
    static double worst(const QColor &text, double tintUnder = 0, const QColor &tint = {})
    {
        double lowest = 21;
        for (QColor background : Style::textBackgrounds()) {
            if (tintUnder > 0) {
                const QColor wash = Style::withOpacity(tint, tintUnder);
                const double a = wash.alphaF();
                background = QColor::fromRgbF(float(wash.redF() * a + background.redF() * (1 - a)),
                                              float(wash.greenF() * a + background.greenF() * (1 - a)),
                                              float(wash.blueF() * a + background.blueF() * (1 - a)));
            }
            lowest = std::min(lowest, Style::contrast(text, background));
        }
        return lowest;
    }

    QPalette saved;
};

TEST(Contrast, MatchesTheWcagFormula)
{
    EXPECT_NEAR(Style::contrast(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(Style::contrast(Qt::white, Qt::white), 1.0, 0.001);
    // The footer's old grey: 175 on 239.
    EXPECT_NEAR(Style::contrast(QColor(175, 175, 175), QColor(239, 239, 239)), 1.9, 0.05);
    // Translucent text is laid over the background first: black at 50 % on white is grey 128.
    EXPECT_NEAR(Style::contrast(QColor(0, 0, 0, 128), Qt::white), Style::contrast(QColor(127, 127, 127), Qt::white),
                0.05);
    QFont large = QApplication::font();
    large.setPointSizeF(18);
    EXPECT_EQ(Style::requiredContrast(large), 3.0);
    large.setPointSizeF(14);
    EXPECT_EQ(Style::requiredContrast(large), 4.5);
    large.setBold(true);
    EXPECT_EQ(Style::requiredContrast(large), 3.0);
}

TEST_P(ContrastTest, TheStylesTextColoursReadOnEveryBackground)
{
    EXPECT_GE(worst(Style::primaryText()), 4.5);
    EXPECT_GE(worst(Style::secondaryText()), 4.5);
    EXPECT_GE(worst(Style::tertiaryText()), 4.5);
    // Secondary stays a step stronger than tertiary.
    EXPECT_GT(Style::secondaryText().alphaF(), Style::tertiaryText().alphaF());
}

TEST_P(ContrastTest, NamedColoursReadAsText)
{
    for (const QColor &named : {Style::red(), Style::orange(), Style::yellow(), Style::green(), Style::mint(),
                                Style::teal(), Style::cyan(), Style::blue(), Style::indigo(), Style::purple(),
                                Style::pink(), Style::brown(), Style::gray(), Style::mediumSeverity()}) {
        SCOPED_TRACE(named.name().toStdString());
        EXPECT_GE(worst(Style::ink(named)), 4.5);
    }
    // The severity badges' titles on their own capsules, tinted with the severity at 14 %.
    for (Severity severity : {Severity::info, Severity::low, Severity::medium, Severity::high, Severity::critical}) {
        const QColor color = Style::severity(severity).color;
        SCOPED_TRACE(Style::severity(severity).title.toStdString());
        EXPECT_GE(worst(Style::ink(color, 0.14), 0.14, color), 4.5);
    }
    // White on the filled buttons (Start Capture, Start Monitoring).
    for (const QColor &fill : {Style::red(), Style::accent()})
        EXPECT_GE(Style::contrast(Qt::white, Style::fillUnderWhite(fill)), 4.5) << fill.name().toStdString();
}

// Every label and every coloured cell the screens show, with a trail loaded and its record chosen.
TEST_P(ContrastTest, EveryTextTheScreensShowReads)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir folder;
    QSettings settings(folder.filePath("settings.ini"), QSettings::IniFormat);
    FakeNotificationCenter notifications;
    FakeLoginItem loginItem;
    FakeDockBadge badge;
    qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(folder.filePath("alerts.json")));
    AlertCenter alerts(AlertCenter::Platform{&notifications, &loginItem, &badge, &settings});
    LiveMonitor live;
    AuditStore store;
    store.setFilterDelay(std::chrono::milliseconds(0));
    ASSERT_TRUE(ShellFixture::load(store, {ShellFixture::writeTrail(folder, QStringLiteral("incident.bsm"),
                                                                    ShellFixture::incidentTrail())}));
    store.setSelectedRecordID(store.records().front().id);
    MainWindow window(ViewContext{&store, &live, &alerts});
    window.resize(1440, 900);
    window.show();

    const std::vector<QColor> backgrounds = Style::textBackgrounds();
    const auto reads = [&](const QColor &text, const QFont &font) {
        return std::all_of(backgrounds.begin(), backgrounds.end(), [&](const QColor &background) {
            return Style::contrast(text, background) >= Style::requiredContrast(font);
        });
    };
    for (Screen screen : allScreens) {
        store.setScreen(screen);
        settlePool();
        SCOPED_TRACE(rawValue(screen));
        for (const QLabel *label : window.findChildren<QLabel *>()) {
            if (!label->isVisibleTo(&window) || !label->isEnabled() || label->text().isEmpty()) continue;
            const QColor text = label->palette().color(label->foregroundRole());
            EXPECT_TRUE(reads(text, label->font()))
                << label->text().toStdString() << " in " << text.name(QColor::HexArgb).toStdString();
        }
        for (const QTableView *table : window.findChildren<QTableView *>()) {
            if (!table->isVisibleTo(&window) || !table->model()) continue;
            const QAbstractItemModel *model = table->model();
            for (int row = 0; row < std::min(20, model->rowCount()); ++row)
                for (int column = 0; column < model->columnCount(); ++column) {
                    const QVariant colour = model->index(row, column).data(Qt::ForegroundRole);
                    if (!colour.isValid()) continue;
                    const QColor text = colour.canConvert<QBrush>() ? colour.value<QBrush>().color()
                                                                    : colour.value<QColor>();
                    EXPECT_TRUE(reads(text, table->font()))
                        << table->objectName().toStdString() << " row " << row << " column " << column << " in "
                        << text.name(QColor::HexArgb).toStdString();
                }
        }
    }
    // The Events footer that read at 1.9:1: "#1 · 93 bytes · 5 tokens".
    store.setScreen(Screen::events);
    settlePool();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto *footer = window.findChild<QLabel *>(QStringLiteral("selectedRecord"));
    ASSERT_TRUE(footer && footer->isVisibleTo(&window) && !footer->text().isEmpty());
    EXPECT_GE(Style::contrast(footer->palette().color(QPalette::WindowText), window.palette().color(QPalette::Window)),
              4.5);
}

INSTANTIATE_TEST_SUITE_P(Palettes, ContrastTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Dark" : "Light"; });

} // namespace
