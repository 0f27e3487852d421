#include "Views/EmptyStateView.h"

#include "Store/AuditStore.h"
#include "Views/Actions.h"
#include "Views/ContentView.h"
#include "support/QtTestSupport.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

ActionTile *tile(QWidget *root, const QString &title)
{
    for (ActionTile *candidate : root->findChildren<ActionTile *>())
        if (candidate->text() == title) return candidate;
    return nullptr;
}

TEST(EmptyStateViewTest, ThreeTilesTheTipAndTheLinkWithTheirTexts)
{
    AuditStore store;
    EmptyStateView view(store);
    struct Expected {
        const char *title, *subtitle, *symbol;
    };
    const Expected tiles[] = {{"Open Trail File", "Any BSM file you have access to", "doc.badge.plus"},
                              {"System Trails", "Copy /var/audit (admin)", "lock.shield"},
                              {"Sample Incident", "Synthetic intrusion trail", "testtube.2"}};
    const QList<ActionTile *> found = view.findChildren<ActionTile *>();
    ASSERT_EQ(found.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(found[i]->text(), QString::fromUtf8(tiles[i].title));
        EXPECT_EQ(found[i]->subtitle(), QString::fromUtf8(tiles[i].subtitle));
        EXPECT_EQ(found[i]->property("symbol").toString(), QString::fromUtf8(tiles[i].symbol));
        EXPECT_EQ(found[i]->size(), QSize(180, 120));
    }
    QStringList labels;
    for (QLabel *label : view.findChildren<QLabel *>())
        if (!label->text().isEmpty()) labels << label->text();
    EXPECT_EQ(labels, (QStringList{"No audit trail loaded",
                                   "Open OpenBSM trail files, read the live system trails in /var/audit, or explore a "
                                   "sample\nincident to see what Quillmarsh can find.",
                                   "Tip: drop trail files anywhere in this window."}));
}

TEST(EmptyStateViewTest, OpenTileRunsThePanelAtOnceAndTheLinkLeadsToAuditSetupFromEveryEmptyScreen)
{
    AuditStore store;
    const Actions::Dialogs saved = Actions::dialogs();
    int panels = 0;
    Actions::dialogs().openFiles = [&](QWidget *) {
        ++panels;
        return QList<QUrl>{};
    };
    ContentView content(ViewContext{&store, nullptr, nullptr});
    content.resize(1440, 860);
    content.show();
    for (Screen screen :
         {Screen::dashboard, Screen::events, Screen::processes, Screen::findings, Screen::network, Screen::sources}) {
        store.setScreen(screen);
        ASSERT_TRUE(content.emptyState()) << rawValue(screen);
        QTest::mouseClick(tile(content.emptyState(), QStringLiteral("Open Trail File")), Qt::LeftButton);
        auto *link = content.emptyState()->findChild<QPushButton *>(QStringLiteral("auditingLink"));
        ASSERT_TRUE(link);
        EXPECT_EQ(link->text(), QStringLiteral("Is auditing enabled on this Mac?"));
        link->click();
        EXPECT_EQ(store.screen(), Screen::setup) << rawValue(screen);
    }
    EXPECT_EQ(panels, 6);
    Actions::dialogs() = saved;
}

TEST(EmptyStateViewTest, TileTintsWhileHoveredAndItsRoundedCornersAreNotPartOfIt)
{
    AuditStore store;
    EmptyStateView view(store);
    view.show();
    ActionTile *sample = tile(&view, QStringLiteral("Sample Incident"));
    ASSERT_TRUE(sample);
    EXPECT_FALSE(sample->hovering());
    QEnterEvent enter(QPointF(90, 60), QPointF(90, 60), QPointF(90, 60));
    QCoreApplication::sendEvent(sample, &enter);
    EXPECT_TRUE(sample->hovering());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(sample, &leave);
    EXPECT_FALSE(sample->hovering());

    int clicks = 0;
    QObject::connect(sample, &QAbstractButton::clicked, [&] { ++clicks; });
    // The sample task is started by a click; keep it from loading by watching the click only.
    QObject::disconnect(sample, &QAbstractButton::clicked, &store, nullptr);
    QTest::mouseClick(sample, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(clicks, 0) << "outside the rounded outline";
    QTest::mouseClick(sample, Qt::LeftButton, {}, QPoint(90, 110));
    EXPECT_EQ(clicks, 1) << "empty part inside the outline";
}

} // namespace
