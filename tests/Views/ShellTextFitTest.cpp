// Every visible label and button of the shell fits its text at the snapshot size, on every screen,
// with nothing loaded and with a trail.
#include "Views/ContentView.h"

#include "Store/AuditStore.h"
#include "support/ShellFixture.h"
#include "support/TextFit.h"

#include <QLabel>
#include <QLocale>

#include <gtest/gtest.h>

namespace {

void expectEveryScreenFits(AuditStore &store, ContentView &content)
{
    for (Screen screen : allScreens) {
        store.setScreen(screen);
        QCoreApplication::processEvents();
        const QStringList problems = TextFit::clipped(&content);
        EXPECT_TRUE(problems.isEmpty()) << rawValue(screen) << ": " << problems.join(QStringLiteral("; ")).toStdString();
    }
}

TEST(ShellTextFitTest, NothingIsClippedAt1440x900)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir folder;
    AuditStore store;
    ContentView content(ViewContext{&store, nullptr, nullptr});
    content.resize(1440, 900);
    content.show();
    expectEveryScreenFits(store, content);
    ASSERT_TRUE(ShellFixture::load(
        store, {ShellFixture::writeTrail(folder, QStringLiteral("incident.bsm"), ShellFixture::incidentTrail())}));
    expectEveryScreenFits(store, content);
}

TEST(ShellTextFitTest, TheCheckFindsACutLabelAndLetsAnElidedOnePass)
{
    QWidget root;
    root.resize(400, 100);
    auto *cut = new QLabel(QStringLiteral("A sentence far too long for forty pixels"), &root);
    cut->setGeometry(0, 0, 40, 20);
    root.show();
    EXPECT_EQ(TextFit::clipped(&root).size(), 1);
    cut->setText(QStringLiteral("A sent…"));
    EXPECT_TRUE(TextFit::clipped(&root).isEmpty());
}

} // namespace
