#include "App/LaunchArguments.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <set>

namespace {

TEST(LaunchArgumentsTest, Table)
{
    // Files that exist in this imaginary file system; "events" is a file in the current folder.
    const std::set<QByteArray> existing = {"/t/a.bsm", "/t/b.bsm", "events", "-dash.bsm", "/t/folder"};
    const auto exists = [&](const QByteArray &path) { return existing.count(path) > 0; };
    const QString cwd = QDir::currentPath();
    struct Case {
        const char *name;
        QList<QByteArray> arguments;
        std::optional<Screen> screen;
        bool sample;
        QList<QByteArray> paths;
    };
    const Case cases[] = {
        {"nothing", {}, std::nullopt, false, {}},
        {"screen", {"--screen", "findings"}, Screen::findings, false, {}},
        {"screen is case-sensitive", {"--screen", "Findings"}, std::nullopt, false, {}},
        {"screen with no raw value", {"--screen", "overview"}, std::nullopt, false, {}},
        {"screen as the last argument", {"/t/a.bsm", "--screen"}, std::nullopt, false, {"/t/a.bsm"}},
        {"only the first screen counts", {"--screen", "nope", "--screen", "events"}, std::nullopt, false, {}},
        {"a file named like the screen", {"--screen", "events"}, Screen::events, false, {}},
        {"a file named like a screen alone", {"events"}, std::nullopt, false, {}},
        {"sample", {"--sample"}, std::nullopt, true, {}},
        {"sample anywhere with paths",
         {"/t/a.bsm", "--sample", "/t/b.bsm"},
         std::nullopt,
         true,
         {"/t/a.bsm", "/t/b.bsm"}},
        {"a missing path is kept, for the open to report",
         {"/t/missing.bsm", "/t/a.bsm"},
         std::nullopt,
         false,
         {"/t/missing.bsm", "/t/a.bsm"}},
        {"after the sample too", {"--sample", "/t/missing.bsm"}, std::nullopt, true, {"/t/missing.bsm"}},
        {"an unknown option's value is no trail",
         {"-platform", "offscreen", "/t/a.bsm", "-style", "/t/b.bsm"},
         std::nullopt,
         false,
         {"/t/a.bsm", "/t/b.bsm"}},
        {"the value after the screen switch is no trail", {"--screen", "overview.bsm"}, std::nullopt, false, {}},
        {"dash paths never opened", {"-dash.bsm", "--unknown"}, std::nullopt, false, {}},
        {"folders count as existing", {"/t/folder"}, std::nullopt, false, {"/t/folder"}},
        {"helper switch is just an option here", {"--auditpipe-helper"}, std::nullopt, false, {}},
    };
    for (const Case &c : cases) {
        const LaunchRequest request = parseLaunchArguments(c.arguments, exists);
        EXPECT_EQ(request.screen, c.screen) << c.name;
        EXPECT_EQ(request.sample, c.sample) << c.name;
        EXPECT_EQ(request.paths, c.paths) << c.name;
    }
    EXPECT_EQ(cwd, QDir::currentPath());
}

TEST(LaunchArgumentsTest, RelativePathsAreMadeAbsoluteAgainstTheCurrentFolder)
{
    const LaunchRequest request = parseLaunchArguments({"trails/x.bsm"},
                                                       [](const QByteArray &path) { return path == "trails/x.bsm"; });
    EXPECT_EQ(request.paths, QList<QByteArray>{QFile::encodeName(QDir::current().absoluteFilePath("trails/x.bsm"))});
}

// Against the real file system: a name that is not UTF-8 is tested and kept byte for byte.
TEST(LaunchArgumentsTest, PathBytesAreKeptAsGiven)
{
    QTemporaryDir folder;
    const QByteArray base = QFile::encodeName(folder.path());
    const QByteArray latin1 = base + "/caf\xE9.bsm";
    QFile(QFile::decodeName(base + "/plain.bsm")).open(QIODevice::WriteOnly);
    FILE *file = std::fopen(latin1.constData(), "wb");
    ASSERT_TRUE(file);
    std::fclose(file);
    const QByteArray replaced = base + "/caf\xEF\xBF\xBD.bsm";
    const LaunchRequest request = parseLaunchArguments({latin1, base + "/./caf\xE9.bsm", replaced, base + "/plain.bsm"});
    EXPECT_EQ(request.paths, (QList<QByteArray>{latin1, latin1, replaced, base + "/plain.bsm"}));
    EXPECT_FALSE(QFile::exists(QFile::decodeName(replaced))) << "the U+FFFD spelling of the name is another file";
    ::unlink(latin1.constData()); // QTemporaryDir removes only what a QString can name
}

TEST(LaunchArgumentsTest, SnapshotScreenList)
{
    const std::vector<Screen> all(allScreens.begin(), allScreens.end());
    struct Case {
        const char *list;
        std::vector<Screen> screens;
    };
    const Case cases[] = {
        {"", all},
        {"events,sources", {Screen::events, Screen::sources}},
        {"Events", all},
        {"nothing,at,all", all},
        {"events, sources", {Screen::events}},
        {",,monitor,,monitor,", {Screen::monitor, Screen::monitor}},
        {"sources,events", {Screen::sources, Screen::events}},
    };
    for (const Case &c : cases) EXPECT_EQ(snapshotScreens(QString::fromUtf8(c.list)), c.screens) << c.list;
}

} // namespace
