#include "App/SingleInstance.h"

#include "support/QtTestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

namespace {

TEST(SingleInstanceTest, RequestSurvivesTheWireAndRelativeOrBrokenPartsDoNot)
{
    LaunchRequest request;
    request.screen = Screen::network;
    request.paths = {"/t/a.bsm", "/t/with space, and \"quotes\".bsm"};
    const std::optional<LaunchRequest> back = SingleInstance::decode(SingleInstance::encode(request));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->screen, request.screen);
    EXPECT_EQ(back->paths, request.paths);
    EXPECT_FALSE(back->sample);

    const std::optional<LaunchRequest> odd =
        SingleInstance::decode(R"({"screen":"Network","paths":["relative.bsm","/abs.bsm",7]})");
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->screen);
    EXPECT_EQ(odd->paths, QStringList{"/abs.bsm"});
    EXPECT_FALSE(SingleInstance::decode("not json"));
}

TEST(SingleInstanceTest, SecondLaunchHandsItsRequestToTheRunningOne)
{
    QTemporaryDir runtime;
    const QString path = runtime.filePath("quillmarsh.socket");
    // A socket file left by a process that is gone must not stop the next one.
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    InstanceServer server;
    ASSERT_TRUE(server.listen(path));
    std::vector<LaunchRequest> received;
    QObject::connect(&server, &InstanceServer::requestReceived,
                     [&](const LaunchRequest &request) { received.push_back(request); });

    LaunchRequest request;
    request.screen = Screen::sources;
    request.paths = {"/t/a.bsm"};
    auto forwarded = std::async(std::launch::async, [&] { return SingleInstance::forward(path, request); });
    ASSERT_TRUE(waitUntil([&] { return forwarded.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(forwarded.get());
    ASSERT_TRUE(waitUntil([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0].screen, Screen::sources);
    EXPECT_EQ(received[0].paths, request.paths);

    EXPECT_FALSE(SingleInstance::forward(runtime.filePath("nobody.socket"), request, 500));
}

// Launches the real executable side by side: a second launch in the same runtime folder exits at
// once; one in another runtime folder is an instance of its own.
TEST(SingleInstanceTest, SecondProcessExitsAfterHandingOverAndOtherRuntimeFoldersStayApart)
{
    const QString executable = QCoreApplication::applicationDirPath() + "/quillmarsh";
    ASSERT_TRUE(QFile::exists(executable));
    QTemporaryDir runtime, other, home;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(other.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto environment = [&](const QString &runtimeFolder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QUILLMARSH_SNAPSHOT_DIR");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtimeFolder);
        env.insert("XDG_CONFIG_HOME", home.path());
        env.insert("HOME", home.path());
        env.insert("QUILLMARSH_ALERTS_PATH", home.filePath("alerts.json"));
        return env;
    };
    QProcess first;
    first.setProcessEnvironment(environment(runtime.path()));
    first.start(executable, {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(runtime.filePath("quillmarsh.socket")); }, 15000));

    QProcess second;
    second.setProcessEnvironment(environment(runtime.path()));
    second.start(executable, {"--screen", "sources", executable});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    QProcess apart;
    apart.setProcessEnvironment(environment(other.path()));
    apart.start(executable, {});
    ASSERT_TRUE(apart.waitForStarted());
    EXPECT_FALSE(apart.waitForFinished(1500)) << "a launch with its own runtime folder keeps running";
    for (QProcess *process : {&first, &apart}) {
        process->kill();
        process->waitForFinished();
    }
}

} // namespace
