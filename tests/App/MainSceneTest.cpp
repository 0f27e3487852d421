#include "App/MainScene.h"

#include "App/AppDelegate.h"
#include "App/AppServices.h"
#include "support/FakeDockBadge.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNotificationCenter.h"
#include "Views/MainWindow.h"
#include "support/ShellFixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTest>

#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class MainSceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_settings = std::make_unique<QSettings>(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        m_services = std::make_unique<AppServices>(
            AlertCenter::Platform{&m_notifications, &m_login, &m_badge, m_settings.get()});
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
    std::unique_ptr<QSettings> m_settings;
    FakeNotificationCenter m_notifications;
    FakeLoginItem m_login;
    FakeDockBadge m_badge;
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
        store().setLastError(std::nullopt);
        makeScene({QFile::encodeName(a), missing});
        m_scene->window()->show();
        ASSERT_TRUE(loaded(1));
        EXPECT_EQ(store().sources()[0].name, "a.bsm");
        const std::string name = QFileInfo(QFile::decodeName(missing)).fileName().toStdString();
        EXPECT_EQ(store().lastError(), "Couldn't read " + name + ": No such file or directory");
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
    EXPECT_FALSE(store().lastError());

    LaunchRequest handed;
    handed.paths = {second};
    m_scene->handleForwarded(handed);
    ASSERT_TRUE(loaded(2));
    EXPECT_EQ(store().sources()[1].name, "r\uFFFDsum\uFFFD.bsm");
    EXPECT_FALSE(store().lastError());
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

} // namespace
