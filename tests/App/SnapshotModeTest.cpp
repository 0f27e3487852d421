#include "App/Snapshotter.h"

#include "App/AppServices.h"
#include "support/FakeDockBadge.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNotificationCenter.h"
#include "Views/MainWindow.h"
#include "support/ShellFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

// The executable on the sample, offscreen, under a time-out.
struct SnapshotRun {
    int exitCode = -1;
    QStringList files;
    bool allAtSnapshotSize = true;
};

SnapshotRun snapshot(const std::optional<QString> &screens)
{
    QTemporaryDir folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUILLMARSH_SNAPSHOT_DIR", folder.filePath("shots"));
    env.insert("QUILLMARSH_ALERTS_PATH", folder.filePath("alerts.json"));
    env.insert("XDG_CONFIG_HOME", folder.path());
    if (screens) env.insert("QUILLMARSH_SNAPSHOT_SCREENS", *screens);
    else env.remove("QUILLMARSH_SNAPSHOT_SCREENS");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationDirPath() + "/quillmarsh", {"--sample"});
    SnapshotRun run;
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QDir shots(folder.filePath("shots"));
    run.files = shots.entryList(QDir::Files, QDir::Name);
    for (const QString &file : run.files)
        run.allAtSnapshotSize &= QImageReader(shots.filePath(file)).size() == QSize(1440, 900);
    return run;
}

const QStringList allTen = {"dashboard.png", "events.png",    "findings.png",  "live.png",  "monitor.png",
                            "network.png",   "processes.png", "reference.png", "setup.png", "sources.png"};

TEST(SnapshotModeTest, EveryScreenOfTheSampleAt1440x900)
{
    const SnapshotRun run = snapshot(std::nullopt);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.files, allTen);
    EXPECT_TRUE(run.allAtSnapshotSize);
}

TEST(SnapshotModeTest, ScreenListPicksExactlyThoseAndAWrongCaseFallsBackToAll)
{
    const SnapshotRun two = snapshot(QStringLiteral("events,sources"));
    EXPECT_EQ(two.exitCode, 0);
    EXPECT_EQ(two.files, (QStringList{"events.png", "sources.png"}));
    EXPECT_TRUE(two.allAtSnapshotSize);

    const SnapshotRun wrongCase = snapshot(QStringLiteral("Events"));
    EXPECT_EQ(wrongCase.exitCode, 0);
    EXPECT_EQ(wrongCase.files, allTen);
}

// In process: a start while a run is active is ignored, so the run captures once and ends once.
TEST(SnapshotModeTest, AStartDuringARunIsIgnored)
{
    QTemporaryDir folder;
    QSettings settings(folder.filePath("settings.ini"), QSettings::IniFormat);
    FakeNotificationCenter notifications;
    FakeLoginItem login;
    FakeDockBadge badge;
    AppServices services({&notifications, &login, &badge, &settings});
    MainWindow window({&services.store(), &services.live(), &services.alerts()});
    window.show();
    qputenv("QUILLMARSH_SNAPSHOT_DIR", folder.filePath("shots").toUtf8());
    qputenv("QUILLMARSH_SNAPSHOT_SCREENS", "events,monitor");

    int terminations = 0;
    Snapshotter::run(services, [&] { ++terminations; });
    EXPECT_TRUE(Snapshotter::isRunning());
    Snapshotter::run(services, [&] { ++terminations; });
    ASSERT_TRUE(ShellFixture::load(services.store(),
                                   {ShellFixture::writeTrail(folder, "incident.bsm", ShellFixture::incidentTrail())}));
    EXPECT_TRUE(waitUntil([&] { return !Snapshotter::isRunning(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(QDir(folder.filePath("shots")).entryList(QDir::Files, QDir::Name),
              (QStringList{"events.png", "monitor.png"}));
    EXPECT_EQ(window.size(), QSize(1440, 900));

    // The run picked the root execution with a signing identity, and selected the critical alert
    // it raised, if any, without notifying.
    const std::optional<int64_t> selected = services.store().selectedRecordID();
    ASSERT_TRUE(selected);
    EXPECT_EQ(services.store().record(*selected)->event, 23);
    EXPECT_TRUE(services.alerts().muted());
    EXPECT_TRUE(notifications.added.empty());
    qunsetenv("QUILLMARSH_SNAPSHOT_DIR");
    qunsetenv("QUILLMARSH_SNAPSHOT_SCREENS");
}

} // namespace
