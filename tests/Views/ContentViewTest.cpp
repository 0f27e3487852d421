#include "Views/ContentView.h"

#include "Store/AuditStore.h"
#include "Views/Actions.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/RecordInspector.h"
#include "Views/EmptyStateView.h"
#include "Views/Events/EventsView.h"
#include "Views/MainToolbar.h"
#include "Views/ScreenWidget.h"
#include "Views/Sidebar.h"
#include "support/ShellFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_view = std::make_unique<ContentView>(ViewContext{&m_store, nullptr, nullptr});
        m_view->resize(1440, 860);
        m_view->show();
        m_saved = Actions::dialogs();
    }
    void TearDown() override { Actions::dialogs() = m_saved; }

    QString trail(const QString &name, uint32_t second = 1700000000)
    {
        return ShellFixture::writeTrail(m_folder, name, ShellFixture::incidentTrail(second));
    }
    bool loadIncident() { return ShellFixture::load(m_store, {trail(QStringLiteral("incident.bsm"))}); }

    QTemporaryDir m_folder;
    AuditStore m_store;
    std::unique_ptr<ContentView> m_view;
    Actions::Dialogs m_saved;
};

TEST_F(ContentViewTest, EverySwitchMakesANewScreenSoItsLocalStateIsGone)
{
    m_store.setScreen(Screen::reference);
    QPointer<ScreenWidget> first = m_view->currentScreen();
    ASSERT_TRUE(first);
    first->setSearch(QStringLiteral("kept only while shown"));
    m_store.setScreen(Screen::setup);
    // Out of service at once, destroyed once control is back in the event loop: the switch may
    // come from one of its own handlers.
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isDetached());
    EXPECT_TRUE(first->isHidden());
    EXPECT_NE(m_view->currentScreen(), first.data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    m_store.setScreen(Screen::reference);
    ASSERT_TRUE(m_view->currentScreen());
    EXPECT_TRUE(m_view->currentScreen()->search().isEmpty());
    EXPECT_EQ(m_view->title(), QStringLiteral("Reference"));
}

TEST_F(ContentViewTest, EmptyStateStandsInForAnalysisScreensWithoutRecordsAndTrailFilesWithoutSources)
{
    struct Case {
        Screen screen;
        bool emptyWhenNothingLoaded;
        bool emptyWhenOnlyARecordlessFile;
    };
    const Case cases[] = {
        {Screen::dashboard, true, true},   {Screen::events, true, true},   {Screen::processes, true, true},
        {Screen::findings, true, true},    {Screen::network, true, true},  {Screen::live, false, false},
        {Screen::monitor, false, false},   {Screen::sources, true, false}, {Screen::setup, false, false},
        {Screen::reference, false, false},
    };
    const auto shown = [&](Screen screen) {
        m_store.setScreen(screen);
        EXPECT_NE(bool(m_view->emptyState()), bool(m_view->currentScreen())) << rawValue(screen);
        return bool(m_view->emptyState());
    };
    for (const Case &c : cases) EXPECT_EQ(shown(c.screen), c.emptyWhenNothingLoaded) << rawValue(c.screen);

    ASSERT_TRUE(ShellFixture::load(m_store, {ShellFixture::writeTrail(m_folder, QStringLiteral("empty.bsm"), {})}));
    ASSERT_TRUE(m_store.records().empty());
    for (const Case &c : cases) EXPECT_EQ(shown(c.screen), c.emptyWhenOnlyARecordlessFile) << rawValue(c.screen);

    ASSERT_TRUE(loadIncident());
    for (const Case &c : cases) EXPECT_FALSE(shown(c.screen)) << rawValue(c.screen);
}

TEST_F(ContentViewTest, RecordsArrivingReplaceTheEmptyStateOnTheCurrentScreenAndLeavingThemBringsItBack)
{
    m_store.setScreen(Screen::events);
    EXPECT_TRUE(m_view->emptyState());
    EXPECT_EQ(m_view->title(), QStringLiteral("Quillmarsh"));
    ASSERT_TRUE(loadIncident());
    EXPECT_TRUE(m_view->currentScreen());
    EXPECT_EQ(m_view->title(), QStringLiteral("Events"));
    m_store.closeAll();
    ASSERT_TRUE(waitUntil([&] { return m_store.records().empty(); }));
    EXPECT_TRUE(m_view->emptyState());
}

TEST_F(ContentViewTest, TrailFilesKeepsItsTitleOverTheEmptyState)
{
    const auto shownTitle = [&] {
        return m_view->toolbar()->findChild<QLabel *>(QStringLiteral("screenTitle"))->text();
    };
    QString emitted;
    QObject::connect(m_view.get(), &ContentView::titleChanged, m_view.get(),
                     [&](const QString &title) { emitted = title; });
    m_store.setScreen(Screen::sources);
    ASSERT_TRUE(m_view->emptyState());
    EXPECT_EQ(m_view->title(), QStringLiteral("Trail Files"));
    EXPECT_EQ(shownTitle(), QStringLiteral("Trail Files"));
    EXPECT_EQ(emitted, QStringLiteral("Trail Files"));
    m_store.setScreen(Screen::network);
    EXPECT_EQ(m_view->title(), QStringLiteral("Quillmarsh")) << "an analysis screen's empty state";
    EXPECT_EQ(shownTitle(), QStringLiteral("Quillmarsh"));
}

TEST_F(ContentViewTest, OverlayIsVisibleExactlyWhileLoadingAndShowsTheLoadingMessage)
{
    std::vector<std::pair<bool, bool>> seen; // (isLoading, overlay visible) at each change
    QString message;
    QObject::connect(&m_store, &AuditStore::isLoadingChanged, m_view.get(), [&] {
        seen.emplace_back(m_store.isLoading(), m_view->overlay()->isVisible());
        if (m_store.isLoading()) message = m_view->overlay()->message();
    });
    EXPECT_FALSE(m_view->overlay()->isVisible());
    ASSERT_TRUE(loadIncident());
    ASSERT_GE(seen.size(), 2u);
    for (const auto &[loading, visible] : seen) EXPECT_EQ(loading, visible);
    EXPECT_FALSE(m_view->overlay()->isVisible());
    EXPECT_EQ(m_view->overlay()->message(), QString::fromStdString(m_store.loadingMessage()));
}

TEST_F(ContentViewTest, OverlayTakesTheClicksMeantForTheWindowUnderIt)
{
    m_view->overlay()->setGeometry(m_view->rect());
    m_view->overlay()->show();
    m_view->overlay()->raise();
    QListWidgetItem *reference = m_view->sidebar()->item(Screen::reference);
    QListWidget *list = m_view->sidebar()->list();
    const QPoint inList = list->viewport()->mapTo(m_view.get(), list->visualItemRect(reference).center());
    QWidget *target = m_view->childAt(inList);
    EXPECT_EQ(target, m_view->overlay());
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(m_view.get(), inList));
    EXPECT_EQ(m_store.screen(), Screen::dashboard);
}

TEST_F(ContentViewTest, DropOpensTheFilesInDropOrderAndRefusesFolders)
{
    const QString b = trail(QStringLiteral("b.bsm"), 1700000100);
    const QString a = trail(QStringLiteral("a.bsm"), 1700000000);
    const auto drop = [&](const QList<QUrl> &urls) { return m_view->acceptDrop(urls); };
    EXPECT_FALSE(drop({QUrl::fromLocalFile(m_folder.path())}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_store.sources().empty());
    EXPECT_FALSE(m_store.isLoading());

    EXPECT_TRUE(drop({QUrl::fromLocalFile(b), QUrl::fromLocalFile(m_folder.path()), QUrl::fromLocalFile(a)}));
    ASSERT_TRUE(waitUntil([&] { return m_store.sources().size() == 2 && !m_store.isLoading(); }));
    EXPECT_EQ(m_store.sources()[0].name, "b.bsm");
    EXPECT_EQ(m_store.sources()[1].name, "a.bsm");
}

TEST_F(ContentViewTest, ErrorAlertOffersAuditSetupOnlyForItsWordsAndEveryCloseClearsTheError)
{
    struct Case {
        const char *error;
        bool offersSetup;
    };
    const Case cases[] = {
        {"/var/audit contains no trail files. Auditing may be disabled — see Audit Setup.", true},
        {"auditd is disabled", true},
        {"Disabled by policy", false},
        {"Couldn't read x.bsm: Permission denied", false},
    };
    for (const Case &c : cases) {
        m_store.setLastError(QString::fromUtf8(c.error));
        ASSERT_TRUE(m_view->errorAlert()->isVisible()) << c.error;
        EXPECT_EQ(m_view->errorAlert()->text(), QString::fromUtf8(c.error));
        EXPECT_EQ(m_view->auditSetupButton()->isVisible(), c.offersSetup) << c.error;
        QAbstractButton *ok = nullptr;
        for (QAbstractButton *button : m_view->errorAlert()->buttons())
            if (button->text() == QStringLiteral("OK")) ok = button;
        ASSERT_TRUE(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !m_view->errorAlert()->isVisible(); }));
        EXPECT_TRUE(m_store.lastError().isEmpty()) << c.error;
        EXPECT_EQ(m_store.screen(), Screen::dashboard);
    }

    m_store.setLastError(QStringLiteral("auditd is disabled"));
    m_view->auditSetupButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !m_view->errorAlert()->isVisible(); }));
    EXPECT_TRUE(m_store.lastError().isEmpty());
    EXPECT_EQ(m_store.screen(), Screen::setup);

    // Closed another way (Escape): cleared all the same, screen untouched.
    m_store.setScreen(Screen::events);
    m_store.setLastError(QStringLiteral("auditd is disabled"));
    m_view->errorAlert()->reject();
    EXPECT_TRUE(m_store.lastError().isEmpty());
    EXPECT_EQ(m_store.screen(), Screen::events);

    // A new text while the alert is up replaces the message.
    m_store.setLastError(QStringLiteral("first"));
    m_store.setLastError(QStringLiteral("second"));
    EXPECT_EQ(m_view->errorAlert()->text(), QStringLiteral("second"));
    EXPECT_FALSE(m_view->auditSetupButton()->isVisible());
}

std::vector<QString> visibleItems(QMenu *menu)
{
    std::vector<QString> texts;
    for (QAction *action : menu->actions())
        if (action->isVisible() && !action->isSeparator()) texts.push_back(action->text());
    return texts;
}

TEST_F(ContentViewTest, ToolbarShowsExportAndCloseAllOnlyWithRecordsAndTheReportOnlyWithFindings)
{
    MainToolbar *toolbar = m_view->toolbar();
    const std::vector<QString> openItems = {QStringLiteral("Open Trail File…"),
                                            QStringLiteral("Load System Trails (/var/audit)…"),
                                            QStringLiteral("Open Sample Trail")};
    EXPECT_FALSE(toolbar->exportShown());
    EXPECT_EQ(visibleItems(toolbar->openButton()->menu()), openItems);

    // Records without findings: plain reads only.
    ASSERT_TRUE(ShellFixture::load(m_store, {ShellFixture::writeTrail(m_folder, QStringLiteral("reads.bsm"),
                                                                      TestBSM::openReadRecords(3))}));
    ASSERT_TRUE(m_store.findings().empty());
    EXPECT_TRUE(toolbar->exportShown());
    std::vector<QString> withClose = openItems;
    withClose.push_back(QStringLiteral("Close All Trails"));
    EXPECT_EQ(visibleItems(toolbar->openButton()->menu()), withClose);
    EXPECT_EQ(visibleItems(toolbar->exportButton()->menu()),
              (std::vector<QString>{QStringLiteral("Events as CSV…"), QStringLiteral("Events as JSON…"),
                                    QStringLiteral("Findings Report (Markdown)…")}));
    EXPECT_FALSE(toolbar->findingsReportAction()->isEnabled());

    ASSERT_TRUE(loadIncident());
    ASSERT_FALSE(m_store.findings().empty());
    EXPECT_TRUE(toolbar->findingsReportAction()->isEnabled());

    toolbar->closeAllAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return m_store.records().empty(); }));
    EXPECT_FALSE(toolbar->exportShown());
    EXPECT_EQ(visibleItems(toolbar->openButton()->menu()), openItems);
}

TEST_F(ContentViewTest, OpenButtonItselfRunsTheOpenPanelAndOpensTheChosenFilesAsOneBatch)
{
    const QString a = trail(QStringLiteral("one.bsm")), b = trail(QStringLiteral("two.bsm"), 1700000500);
    int panels = 0;
    Actions::dialogs().openFiles = [&](QWidget *) {
        ++panels;
        return QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)};
    };
    m_view->toolbar()->openButton()->click();
    EXPECT_EQ(panels, 1) << "the panel comes up at once, not from a task";
    ASSERT_TRUE(waitUntil([&] { return m_store.sources().size() == 2 && !m_store.isLoading(); }));
    EXPECT_EQ(m_store.sources()[0].name, "one.bsm");
    EXPECT_EQ(m_store.sources()[1].name, "two.bsm");

    Actions::dialogs().openFiles = [&](QWidget *) { return QList<QUrl>{}; };
    m_view->toolbar()->openButton()->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_store.isLoading());
    EXPECT_EQ(m_store.sources().size(), 2u);
}

// A screen with a search, as Events or Reference have.
class SearchingScreen : public ScreenWidget {
public:
    using ScreenWidget::ScreenWidget;
    QString searchPrompt() const override { return QStringLiteral("Filter things…"); }
    QString subtitle() const override { return m_subtitle; }
    QString m_subtitle = QStringLiteral("a.bsm, b.bsm");
};

TEST_F(ContentViewTest, ToolbarSearchFieldFollowsTheScreenBothWaysAndHidesWithoutASearch)
{
    MainToolbar toolbar(ViewContext{&m_store, nullptr, nullptr});
    toolbar.resize(1200, 52);
    toolbar.show();
    QLineEdit *field = toolbar.searchField();
    // The toolbar lays its items out on its next pass.
    const auto shown = [&] {
        QCoreApplication::processEvents();
        return field->isVisible();
    };

    auto screen = std::make_unique<SearchingScreen>(ViewContext{&m_store, nullptr, nullptr});
    screen->setSearch(QStringLiteral("old"));
    toolbar.setScreen(screen.get(), QStringLiteral("Events"));
    EXPECT_TRUE(shown());
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Filter things…"));
    EXPECT_EQ(field->text(), QStringLiteral("old"));
    EXPECT_EQ(toolbar.titleLabel()->text(), QStringLiteral("Events"));
    EXPECT_EQ(toolbar.subtitleLabel()->text(), QStringLiteral("a.bsm, b.bsm"));

    field->clear();
    QTest::keyClicks(field, QStringLiteral("curl"));
    EXPECT_EQ(screen->search(), QStringLiteral("curl"));
    field->setCursorPosition(2);
    screen->setSearch(QStringLiteral("curl"));
    EXPECT_EQ(field->cursorPosition(), 2) << "an equal text must not be written back";
    screen->setSearch(QStringLiteral("ssh"));
    EXPECT_EQ(field->text(), QStringLiteral("ssh"));

    screen->m_subtitle = QStringLiteral("c.bsm");
    emit screen->subtitleChanged();
    EXPECT_EQ(toolbar.subtitleLabel()->text(), QStringLiteral("c.bsm"));

    // A screen without a search hides the field and is not bound to it.
    auto plain = std::make_unique<ScreenWidget>(ViewContext{&m_store, nullptr, nullptr});
    toolbar.setScreen(plain.get(), QStringLiteral("Audit Setup"));
    EXPECT_FALSE(shown());
    EXPECT_FALSE(toolbar.subtitleLabel()->isVisible());
    field->setText(QStringLiteral("typed"));
    EXPECT_EQ(screen->search(), QStringLiteral("ssh"));
    EXPECT_TRUE(plain->search().isEmpty());

    screen.reset();
    toolbar.setScreen(nullptr, QStringLiteral("Quillmarsh"));
    EXPECT_FALSE(shown());
}

TEST_F(ContentViewTest, ToolbarCarriesTheShownScreensOwnItemsOnlyWhileItIsShown)
{
    ASSERT_TRUE(loadIncident());
    MainToolbar *toolbar = m_view->toolbar();
    const auto inspectorButton = [&]() -> QToolButton * {
        QCoreApplication::processEvents();
        for (QAction *action : toolbar->actions())
            if (action->text() == QStringLiteral("Inspector"))
                return qobject_cast<QToolButton *>(toolbar->widgetForAction(action));
        return nullptr;
    };

    m_store.setScreen(Screen::events);
    auto *events = qobject_cast<EventsView *>(m_view->currentScreen());
    ASSERT_TRUE(events);
    QToolButton *button = inspectorButton();
    ASSERT_TRUE(button) << "the Events screen's own toolbar item";
    EXPECT_TRUE(button->isVisible());
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    EXPECT_LT(button->x(), toolbar->searchField()->x()) << "before the search field";
    QWidget *pane = events->frame()->pane();
    ASSERT_TRUE(pane->isAncestorOf(events->inspector()));
    EXPECT_TRUE(pane->isVisible());
    button->click();
    EXPECT_FALSE(pane->isVisible());
    EXPECT_FALSE(button->isChecked());
    button->click();
    EXPECT_TRUE(pane->isVisible());
    EXPECT_EQ(toolbar->screenActions(), events->actions());

    for (Screen other : {Screen::processes, Screen::reference}) {
        m_store.setScreen(other);
        EXPECT_EQ(inspectorButton(), nullptr) << rawValue(other);
        EXPECT_TRUE(toolbar->screenActions().isEmpty()) << rawValue(other);
    }
    m_store.setScreen(Screen::events);
    EXPECT_TRUE(inspectorButton()) << "back with the new screen";
    int inspectors = 0;
    for (QAction *action : toolbar->actions()) inspectors += action->text() == QStringLiteral("Inspector");
    EXPECT_EQ(inspectors, 1) << "never twice";
}

} // namespace
