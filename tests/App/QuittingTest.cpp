// Quitting ends whatever the thread pool could start. When a pool thread cannot be made
// ("QThread::start: Thread creation error") its task never runs, and whatever waits for it waits
// for ever: the store stopping its work, the application's end waiting for the pool. A task that
// never returns stands in for it here, in a child process that quits the way the application does.

#include "App/Quitting.h"

#include "Store/AuditStore.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace {

TEST(Quitting, EndsWhateverThePoolCouldStart)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLMARSH_QUIT_CHILD", "1");
    child.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=Quitting.DISABLED_ChildQuitsWithATaskThatNeverEnds"});
    const bool ended = child.waitForFinished(60000);
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    if (!ended) child.kill();
    ASSERT_TRUE(ended) << "quitting waited for the pool for ever\n" << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QRegularExpression("held, quitting after \\d+ ms"))) << output.toStdString();
    std::printf("the child ran for %lld ms in all\n", static_cast<long long>(timer.elapsed()));
}

// The child's part, run only by the test above.
TEST(Quitting, DISABLED_ChildQuitsWithATaskThatNeverEnds)
{
    if (qEnvironmentVariableIsEmpty("QUILLMARSH_QUIT_CHILD")) GTEST_SKIP() << "run by EndsWhateverThePoolCouldStart";
    // As the application's start does, before anything else listens for the quit.
    Quitting::limit(*qApp);
    QTemporaryDir dir;
    QFile file(dir.filePath("a.bsm"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const TestBSM::Bytes bytes = TestBSM::openReadRecords(10);
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    file.close();

    QElapsedTimer quitting;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitting.start(); });
    AuditStore store;
    std::atomic<bool> held{false};
    QSemaphore never;
    store.setCheckpointHook([&](LoadPhase, bool) {
        held = true;
        never.acquire();
    });
    store.open({QUrl::fromLocalFile(file.fileName())}, TrailSource::Kind::file);
    ASSERT_TRUE(waitUntil([&] { return held.load(); }, 30000));
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    const int status = QCoreApplication::exec();
    std::printf("held, quitting after %lld ms\n", static_cast<long long>(quitting.elapsed()));
    std::fflush(stdout);
    // As the application ends: here the pool never becomes idle, so the process ends here.
    Quitting::finish(status);
    ADD_FAILURE() << "the pool became idle although its task never ends";
}

} // namespace
