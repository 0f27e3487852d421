#include "App/MainScene.h"

#include "App/AppDelegate.h"
#include "App/AppServices.h"
#include "Views/Components/MasterDetail.h"
#include "Views/ContentView.h"
#include "Views/MainWindow.h"
#include "Views/Sidebar.h"
#include "support/FakeAlertPlatform.h"
#include "support/EnvironmentGuard.h"
#include "support/ShellFixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTest>

#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Drags the splitter's handle before widget `index` sideways (or down) by delta, as the pointer would.
void dragHandle(QSplitter *splitter, int index, int delta)
{
    QSplitterHandle *handle = splitter->handle(index);
    const QPoint from = handle->rect().center();
    const QPoint to = from + (splitter->orientation() == Qt::Horizontal ? QPoint(delta, 0) : QPoint(0, delta));
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, handle->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

class MainSceneTest : public ::testing::Test, public FakeAlertPlatform {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_services = std::make_unique<AppServices>(platform());
        m_services->trayAvailable = [] { return false; };
        m_delegate = std::make_unique<AppDelegate>(*m_services);
    }
    void TearDown() override
    {
        m_scene.reset();
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void makeScene(QList<QByteArray> arguments = {})
    {
        m_scene = std::make_unique<MainScene>(*m_services, *m_delegate, std::move(arguments));
    }
    QString trail(const QString &name, uint32_t second = 1700000000)
    {
        return ShellFixture::writeTrail(m_folder, name, ShellFixture::incidentTrail(second));
    }
    AuditStore &store() { return m_services->store(); }
    bool loaded(size_t sources)
    {
        return waitUntil([&] {
            return store().sources().size() == sources && !store().isLoading()
                   && store().filtered().size() == store().records().size();
        });
    }
    QAction *action(const QString &text)
    {
        for (QAction *a : m_scene->window()->menuBar()->findChildren<QAction *>())
            if (a->text() == text) return a;
        return nullptr;
    }

    QTemporaryDir m_folder;
    std::unique_ptr<AppServices> m_services;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<MainScene> m_scene;
};

TEST_F(MainSceneTest, MenuItemsFollowTheStore)
{
    makeScene();
    QAction *closeAll = action("Close All Trails");
    QAction *exportEvents = action("Export Events");
    QAction *exportFindings = action("Export Findings Report…");
    ASSERT_TRUE(closeAll && exportEvents && exportFindings);
    for (const char *always : {"Open Trail…", "Load System Trails (/var/audit)…", "Open Sample Trail"})
        EXPECT_TRUE(action(always) && action(always)->isEnabled()) << always;
    EXPECT_EQ(action("Open Trail…")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(action("Load System Trails (/var/audit)…")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));

    struct State {
        const char *name;
        bool closeAll, exportEvents, exportFindings;
    };
    const auto expect = [&](const State &s) {
        EXPECT_EQ(closeAll->isEnabled(), s.closeAll) << s.name;
        EXPECT_EQ(exportEvents->isEnabled(), s.exportEvents) << s.name;
        EXPECT_EQ(exportFindings->isEnabled(), s.exportFindings) << s.name;
    };
    expect({"empty", false, false, false});

    ASSERT_TRUE(
        ShellFixture::load(store(), {ShellFixture::writeTrail(m_folder, "reads.bsm", TestBSM::openReadRecords(3))}));
    expect({"records without findings", true, true, false});

    store().setFilterDelay(std::chrono::milliseconds(0));
    EventFilter nothing;
    nothing.text = "matches no record at all";
    store().setFilter(nothing);
    ASSERT_TRUE(waitUntil([&] { return store().filtered().empty() && !store().isFiltering(); }));
    expect({"filtered to nothing", true, false, false});
    store().setFilter(EventFilter{});
    ASSERT_TRUE(waitUntil([&] { return !store().filtered().empty(); }));

    ASSERT_TRUE(ShellFixture::load(store(), {trail("incident.bsm")}));
    expect({"with findings", true, true, true});

    closeAll->trigger();
    ASSERT_TRUE(waitUntil([&] { return store().records().empty(); }));
    expect({"closed", false, false, false});
}

TEST_F(MainSceneTest, GoShortcutsSelectScreens)
{
    makeScene();
    MainWindow *window = m_scene->window();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    for (size_t p = 0; p < 9; ++p) {
        QTest::keyClick(window, Qt::Key(Qt::Key_1 + int(p)), Qt::ControlModifier);
        EXPECT_EQ(store().screen(), allScreens[p]) << p;
    }
    QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(store().screen(), Screen::setup) << "Ctrl+0 does nothing";
    QAction *reference = action("Reference");
    ASSERT_TRUE(reference);
    EXPECT_TRUE(reference->shortcut().isEmpty());
    reference->trigger();
    EXPECT_EQ(store().screen(), Screen::reference);
}

TEST_F(MainSceneTest, HandedOverFilesReachTheStoreBeforeAndAfterTheWindowExists)
{
    makeScene();
    const QString early = trail("early.bsm"), late = trail("late.bsm", 1700000900);
    m_delegate->openURLs({QUrl::fromLocalFile(early)});
    QCoreApplication::processEvents();
    EXPECT_TRUE(store().sources().empty()) << "waits for the window";
    m_scene->window()->show();
    ASSERT_TRUE(loaded(1));
    EXPECT_EQ(store().sources()[0].name, "early.bsm");
    EXPECT_TRUE(m_delegate->pendingURLs.isEmpty());

    // With the window closed too: opened at once, and the window stays closed.
    m_scene->window()->close();
    m_delegate->openURLs({QUrl::fromLocalFile(late)});
    ASSERT_TRUE(loaded(2));
    EXPECT_EQ(store().sources()[1].name, "late.bsm");
    EXPECT_FALSE(m_scene->window()->isVisible());
}

TEST_F(MainSceneTest, CommandLineAppliesOnAppearanceAndTrailsOnlyWhileNothingIsLoaded)
{
    const QString a = trail("a.bsm");
    makeScene({"--screen", "findings", QFile::encodeName(a), QFile::encodeName(m_folder.filePath("missing.bsm"))});
    m_scene->window()->show();
    EXPECT_EQ(store().screen(), Screen::findings);
    ASSERT_TRUE(loaded(1));
    EXPECT_EQ(store().sources()[0].name, "a.bsm");

    // Reopened with records loaded: the screen again, the trail not.
    store().setScreen(Screen::events);
    m_scene->window()->close();
    m_scene->window()->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(store().screen(), Screen::findings);
    EXPECT_FALSE(store().isLoading());
    EXPECT_EQ(store().sources().size(), 1u);
}

// A trail named on the command line that is not there is not dropped without a word: the store
// says so as it does for any open, and the trails that are there load.
TEST_F(MainSceneTest, ACommandLineTrailThatIsNotThereIsReported)
{
    const QString a = trail("a.bsm");
    const QByteArray dangling = QFile::encodeName(m_folder.filePath("dangling.bsm"));
    ASSERT_EQ(::symlink(QFile::encodeName(m_folder.filePath("gone.bsm")).constData(), dangling.constData()), 0);
    for (const QByteArray &missing : {QFile::encodeName(m_folder.filePath("typo.bsm")), dangling}) {
        SCOPED_TRACE(missing.toStdString());
        store().closeAll();
        store().setLastError({});
        makeScene({QFile::encodeName(a), missing});
        m_scene->window()->show();
        ASSERT_TRUE(loaded(1));
        EXPECT_EQ(store().sources()[0].name, "a.bsm");
        const std::string name = QFileInfo(QFile::decodeName(missing)).fileName().toStdString();
        EXPECT_EQ(store().lastError().toStdString(), "Couldn't read " + name + ": No such file or directory");
        m_scene.reset();
    }
}

// A name from another system, Latin-1 rather than UTF-8: opened by its bytes from the command line
// and from a later launch alike, and shown with U+FFFD for the bytes that are not UTF-8.
TEST_F(MainSceneTest, TrailsNamedInBytesThatAreNotUTF8AreOpened)
{
    const QByteArray folder = QFile::encodeName(m_folder.path());
    const auto write = [&](const QByteArray &name) {
        const QByteArray path = folder + "/" + name;
        const TestBSM::Bytes bytes = ShellFixture::incidentTrail();
        FILE *file = std::fopen(path.constData(), "wb");
        EXPECT_TRUE(file);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        return path;
    };
    const QByteArray first = write("caf\xE9.bsm"), second = write("r\xE9sum\xE9.bsm");
    makeScene({first});
    m_scene->window()->show();
    ASSERT_TRUE(loaded(1));
    EXPECT_EQ(store().sources()[0].name, "caf\uFFFD.bsm");
    EXPECT_TRUE(store().lastError().isEmpty());

    LaunchRequest handed;
    handed.paths = {second};
    m_scene->handleForwarded(handed);
    ASSERT_TRUE(loaded(2));
    EXPECT_EQ(store().sources()[1].name, "r\uFFFDsum\uFFFD.bsm");
    EXPECT_TRUE(store().lastError().isEmpty());
    // QTemporaryDir removes only what a QString can name.
    ::unlink(first.constData());
    ::unlink(second.constData());
}

TEST_F(MainSceneTest, ClosingTheWindowWithBackgroundAndTrayMakesTheAppAccessory)
{
    m_services->trayAvailable = [] { return true; };
    makeScene();
    m_scene->window()->show();
    m_scene->window()->close();
    EXPECT_EQ(m_services->activationPolicy(), AppServices::ActivationPolicy::accessory);
    m_scene->window()->show();
    EXPECT_EQ(m_services->activationPolicy(), AppServices::ActivationPolicy::regular);

    m_services->trayAvailable = [] { return false; };
    m_scene->window()->close();
    EXPECT_EQ(m_services->activationPolicy(), AppServices::ActivationPolicy::regular);
}

// The window opens at the largest size up to 1600x1000 that fits 90 % of the screen, never below
// its minimum.
TEST(MainWindowOpening, TheOpeningSizeFollowsTheScreen)
{
    EXPECT_EQ(MainWindow::openingSize({1920, 1080}), QSize(1600, 972));
    EXPECT_EQ(MainWindow::openingSize({2560, 1440}), QSize(1600, 1000));
    EXPECT_EQ(MainWindow::openingSize({1440, 900}), QSize(1296, 810));
    EXPECT_EQ(MainWindow::openingSize({1280, 800}), QSize(1152, 720));
    EXPECT_EQ(MainWindow::openingSize({1024, 768}), QSize(1100, 720));
}

// The visible one of the window's widgets of that type: screens left behind linger until deleted.
template <typename Widget>
Widget *shownIn(QWidget *window)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (Widget *widget : window->findChildren<Widget *>())
        if (widget->isVisibleTo(window)) return widget;
    return nullptr;
}

QSplitter *monitorRegions(QWidget *window)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QSplitter *splitter : window->findChildren<QSplitter *>())
        if (splitter->orientation() == Qt::Vertical && splitter->isVisibleTo(window)) return splitter;
    return nullptr;
}

// Closed and launched again, the window comes back at its size and place, the sidebar and the
// panes at the widths the user dragged them to, and the Background Monitor's regions as they were.
TEST_F(MainSceneTest, TheWindowAndItsDividersComeBackAtTheNextLaunch)
{
    ASSERT_TRUE(ShellFixture::load(store(), {trail(QStringLiteral("a.bsm"))}));
    makeScene();
    MainWindow *window = m_scene->window();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->setGeometry(40, 30, 2400, 1000);
    QCoreApplication::processEvents();
    const QRect geometry = window->geometry();

    store().setScreen(Screen::setup); // no panes: the sidebar keeps what it is given
    dragHandle(window->content()->splitter(), 1, 40);
    const int sidebarWidth = window->content()->sidebar()->width();
    EXPECT_NEAR(sidebarWidth, Sidebar::idealWidth + 40, 3);

    store().setScreen(Screen::events);
    auto *frame = shownIn<MasterDetail>(window);
    ASSERT_TRUE(frame && frame->paneShown());
    EXPECT_EQ(frame->pane()->width(), 400) << "the ideal, with room for the columns";
    dragHandle(frame->splitter(), frame->splitter()->indexOf(frame->pane()), -80);
    const int paneWidth = frame->pane()->width();
    EXPECT_NEAR(paneWidth, 480, 3);

    store().setScreen(Screen::monitor);
    QSplitter *regions = monitorRegions(window);
    ASSERT_TRUE(regions);
    dragHandle(regions, 1, -60);
    const int upperRegion = regions->sizes().value(0);
    window->close();
    m_scene.reset();

    makeScene();
    window = m_scene->window();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_EQ(window->geometry(), geometry);
    store().setScreen(Screen::setup);
    EXPECT_EQ(window->content()->sidebar()->width(), sidebarWidth);
    store().setScreen(Screen::events);
    frame = shownIn<MasterDetail>(window);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->pane()->width(), paneWidth);
    store().setScreen(Screen::monitor);
    regions = monitorRegions(window);
    ASSERT_TRUE(regions);
    EXPECT_EQ(regions->sizes().value(0), upperRegion);
}

// The snapshot mode photographs a fixed window: it takes nothing from the settings and leaves them
// as they were, however the window is sized or its dividers dragged.
TEST_F(MainSceneTest, TheSnapshotModeNeitherReadsNorWritesTheLayout)
{
    makeScene();
    m_scene->window()->show();
    m_scene->window()->setGeometry(40, 30, 1500, 950);
    QCoreApplication::processEvents();
    dragHandle(m_scene->window()->content()->splitter(), 1, 30);
    m_scene->window()->close();
    m_scene.reset();
    settings->sync();
    const QStringList keys = settings->allKeys();
    ASSERT_TRUE(keys.contains(QStringLiteral("layout/window")));
    ASSERT_TRUE(keys.contains(QStringLiteral("layout/sidebar")));
    std::map<QString, QVariant> before;
    for (const QString &key : keys) before[key] = settings->value(key);

    EnvironmentGuard snapshot("QUILLMARSH_SNAPSHOT_DIR");
    qputenv("QUILLMARSH_SNAPSHOT_DIR", QFile::encodeName(m_folder.filePath("shots")));
    // Not shown: shown, the window would start taking pictures.
    makeScene();
    MainWindow *window = m_scene->window();
    EXPECT_EQ(window->size(), MainWindow::openingSize(window->screen()->availableGeometry().size()))
        << "not the size kept";
    window->resize(1700, 900);
    // What a drag of the sidebar's divider reports.
    emit window->content()->splitter()->splitterMoved(260, 1);
    window->close();
    m_scene.reset();
    settings->sync();
    EXPECT_EQ(settings->allKeys(), keys);
    for (const QString &key : keys) EXPECT_EQ(settings->value(key), before[key]) << key.toStdString();
}

} // namespace
