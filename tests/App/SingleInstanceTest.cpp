#include "App/SingleInstance.h"

#include "support/EnvironmentGuard.h"
#include "support/NonUtf8Names.h"
#include "support/QtTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using NonUtf8Names::entries;
using NonUtf8Names::RemovedFolder;
using SingleInstance::Handover;

const QByteArray latin1Name = "/t/caf\xE9 r\xE9sum\xE9.bsm";

TEST(SingleInstanceTest, RequestSurvivesTheWireByteForByteAndRelativeOrBrokenPartsDoNot)
{
    LaunchRequest request;
    request.screen = Screen::network;
    request.paths = {"/t/a.bsm", "/t/with space, and \"quotes\".bsm", latin1Name};
    const QByteArray wire = SingleInstance::encode(request);
    EXPECT_TRUE(wire.endsWith('\n'));
    EXPECT_EQ(wire.count('\n'), 1) << "one line per request";
    const std::optional<LaunchRequest> back = SingleInstance::decode(wire);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->screen, request.screen);
    EXPECT_EQ(back->paths, request.paths);
    EXPECT_FALSE(back->sample);

    // "cmVsYXRpdmUuYnNt" is "relative.bsm", "L2Ficy5ic20=" is "/abs.bsm", "L2EAYg==" is "/a\0b".
    const std::optional<LaunchRequest> odd = SingleInstance::decode(
        R"({"screen":"Network","paths":["cmVsYXRpdmUuYnNt","L2Ficy5ic20=",7,"not base64!","L2EAYg=="]})");
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->screen);
    EXPECT_EQ(odd->paths, QList<QByteArray>{"/abs.bsm"});
    EXPECT_FALSE(SingleInstance::decode("not json"));
}

// Where the socket may live: only in a folder that is this user's alone. Without a private
// runtime folder, that is one in the user's own cache, never a name in the shared temporary folder
// that another user could take first.
TEST(SingleInstanceTest, SocketFolderMustBeTheUsersOwnAndPrivate)
{
    QTemporaryDir temporary;
    const QByteArray base = QFile::encodeName(temporary.path());
    const QByteArray cache = base + "/cache", folder = cache + "/quillmarsh";
    const QByteArray elsewhere = base + "/elsewhere";
    ASSERT_EQ(::mkdir(elsewhere.constData(), 0700), 0);
    const EnvironmentGuard keepTemporary("TMPDIR"), keepRuntime("XDG_RUNTIME_DIR"), keepCache("XDG_CACHE_HOME"),
        keepHome("HOME");
    qputenv("TMPDIR", base);
    qputenv("HOME", base + "/home");

    struct Case {
        const char *name;
        std::function<void()> prepare; // what stands at the folder's name before the launch
        QByteArray runtime;            // XDG_RUNTIME_DIR
        QByteArray cacheHome;          // XDG_CACHE_HOME
        QByteArray socket;             // empty: refused
        const char *problem;
    };
    const QByteArray made = folder + "/quillmarsh.socket";
    const auto clear = [&] {
        for (const QByteArray &path : {folder, cache, base + "/home/.cache/quillmarsh", base + "/home/.cache"}) {
            ::unlink(path.constData());
            ::rmdir(path.constData());
        }
        ::rmdir((base + "/home").constData());
    };
    const Case cases[] = {
        {"a private runtime folder", [] {}, elsewhere, cache, elsewhere + "/quillmarsh.socket", ""},
        {"no runtime folder: one is made in the cache", [] {}, "", cache, made, ""},
        {"a runtime folder others may enter is passed over", [&] { ::chmod(elsewhere.constData(), 0711); }, elsewhere,
         cache, made, ""},
        {"without XDG_CACHE_HOME the cache is the home folder's", [&] { ::mkdir((base + "/home").constData(), 0700); },
         "", "", base + "/home/.cache/quillmarsh/quillmarsh.socket", ""},
        {"nothing in the temporary folder", [] {}, "", cache, made, ""},
        {"the user's own folder with mode 0700 is used again",
         [&] {
             ::mkdir(cache.constData(), 0700);
             ::mkdir(folder.constData(), 0700);
         },
         "", cache, made, ""},
        {"a folder others may enter",
         [&] {
             ::mkdir(cache.constData(), 0700);
             ::mkdir(folder.constData(), 0755);
         },
         "", cache, "", "may be entered by other users"},
        {"a link to a private folder",
         [&] {
             ::mkdir(cache.constData(), 0700);
             ::symlink(elsewhere.constData(), folder.constData());
         },
         "", cache, "", "is a symbolic link"},
        {"a plain file",
         [&] {
             ::mkdir(cache.constData(), 0700);
             QFile(QFile::decodeName(folder)).open(QIODevice::WriteOnly);
         },
         "", cache, "", "is not a folder"},
        {"a cache others may change",
         [&] {
             ::mkdir(cache.constData(), 0700);
             ::chmod(cache.constData(), 0777);
         },
         "", cache, "", "may be changed by other users"},
        {"a cache that is a link", [&] { ::symlink(elsewhere.constData(), cache.constData()); }, "", cache, "",
         "is not a folder"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        ::chmod(elsewhere.constData(), 0700);
        c.prepare();
        if (c.runtime.isEmpty()) qunsetenv("XDG_RUNTIME_DIR");
        else qputenv("XDG_RUNTIME_DIR", c.runtime);
        if (c.cacheHome.isEmpty()) qunsetenv("XDG_CACHE_HOME");
        else qputenv("XDG_CACHE_HOME", c.cacheHome);
        QString problem;
        EXPECT_EQ(SingleInstance::socketPath(&problem), c.socket);
        EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problem))) << problem.toStdString();
        if (c.socket == made) {
            struct stat info;
            ASSERT_EQ(::lstat(folder.constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0700u);
        }
        EXPECT_TRUE(QDir(temporary.path()).entryList({"quillmarsh*"}).isEmpty()) << "a name in the temporary folder";
    }
    clear();
}

// Only a folder no one but its owner may enter or list is private: the group's bits count as
// much as everyone's.
TEST(SingleInstanceTest, OnlyAFolderOfMode0700IsPrivate)
{
    QTemporaryDir temporary;
    const QByteArray folder = QFile::encodeName(temporary.path()) + "/socket-folder";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    for (const mode_t mode : {0700, 0750, 0770, 0710, 0740, 0705, 0701, 0755, 0777}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(folder.constData(), mode), 0);
        QString problem;
        EXPECT_EQ(SingleInstance::isPrivateFolder(folder, &problem), mode == 0700);
        if (mode != 0700) {
            EXPECT_TRUE(problem.contains("may be entered by other users")) << problem.toStdString();
        }
    }
    ::chmod(folder.constData(), 0700);
}

// A socket file bound and closed again: what a process that is gone leaves behind.
void leaveStaleSocket(const QByteArray &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
}

// A listener that accepts connections (the kernel queues them) but never answers.
struct SilentListener {
    explicit SilentListener(const QByteArray &path)
    {
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0;
    }
    ~SilentListener() { ::close(fd); }
    int fd = -1;
    bool bound = false;
};

// A name no decoding gives back: Latin-1 letters and bytes that are never UTF-8.
const QByteArray undecodableFolder = "caf\xE9 \xFF\xFE";

bool exists(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

// An instance server listening in a runtime folder of its own, keeping what it was handed. The
// folder is the temporary one, or one named `folderName` inside it.
struct RunningInstance {
    explicit RunningInstance(const QByteArray &folderName = {})
        : folder(folderName.isEmpty() ? QFile::encodeName(runtime.path())
                                      : QFile::encodeName(runtime.path()) + "/" + folderName)
    {
        if (!folderName.isEmpty()) ::mkdir(folder.constData(), 0700);
        QObject::connect(&server, &InstanceServer::requestReceived,
                         [this](const LaunchRequest &request) { received.push_back(request); });
    }
    bool listen() { return server.listen(path); }

    QTemporaryDir runtime;
    const QByteArray folder;
    const QByteArray path = folder + "/quillmarsh.socket";
    const RemovedFolder removed{folder};
    InstanceServer server;
    std::vector<LaunchRequest> received;
};

Handover forwardInBackground(const QByteArray &path, const LaunchRequest &request, int timeoutMs)
{
    auto forwarded = std::async(std::launch::async, [&] { return SingleInstance::forward(path, request, timeoutMs); });
    EXPECT_TRUE(waitUntil([&] { return forwarded.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                          timeoutMs + 10000));
    return forwarded.get();
}

// Over a folder whose name is not UTF-8: bound, reached and found stale by the path's own bytes.
TEST(SingleInstanceTest, SecondLaunchHandsItsRequestToTheRunningOne)
{
    RunningInstance instance(undecodableFolder);
    const QByteArray &path = instance.path;
    const std::vector<LaunchRequest> &received = instance.received;
    // A socket file left by a process that is gone must not stop the next one.
    leaveStaleSocket(path);
    EXPECT_EQ(SingleInstance::forward(path, {}, 500), Handover::none);
    ASSERT_TRUE(instance.listen());

    LaunchRequest request;
    request.screen = Screen::sources;
    request.paths = {"/t/a.bsm", latin1Name};
    EXPECT_EQ(forwardInBackground(path, request, 5000), Handover::handed);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0].screen, Screen::sources);
    EXPECT_EQ(received[0].paths, request.paths);

    EXPECT_EQ(SingleInstance::forward(instance.folder + "/nobody.socket", request, 500), Handover::none);
    EXPECT_EQ(entries(QFile::encodeName(instance.runtime.path())), QList<QByteArray>{undecodableFolder})
        << "nothing made under another name";
}

// At its end the server removes its socket, by the path's bytes, but only while the name is still
// its own socket: one that took the name since belongs to another instance.
TEST(SingleInstanceTest, TheSocketIsRemovedAtTheEndOnlyWhileItIsItsOwn)
{
    for (const QByteArray &name : {QByteArray("plain"), undecodableFolder}) {
        SCOPED_TRACE(name.toStdString());
        {
            RunningInstance instance(name);
            ASSERT_TRUE(instance.listen());
            ASSERT_TRUE(exists(instance.path));
            instance.server.close();
            EXPECT_FALSE(exists(instance.path)) << "closed";
            EXPECT_TRUE(instance.listen()) << "listens again";
        }
        RunningInstance instance(name);
        {
            InstanceServer ended;
            ASSERT_TRUE(ended.listen(instance.path));
        }
        EXPECT_FALSE(exists(instance.path)) << "destroyed";

        ASSERT_TRUE(instance.listen());
        {
            // The name is freed and taken by another instance while this one still listens.
            InstanceServer meanwhile;
            ASSERT_EQ(::unlink(instance.path.constData()), 0);
            ASSERT_TRUE(meanwhile.listen(instance.path));
            struct stat before, after;
            ASSERT_EQ(::lstat(instance.path.constData(), &before), 0);
            instance.server.close();
            ASSERT_EQ(::lstat(instance.path.constData(), &after), 0) << "another's socket is left alone";
            EXPECT_EQ(before.st_ino, after.st_ino);
            EXPECT_EQ(forwardInBackground(instance.path, {}, 5000), Handover::handed) << "and still reached";
        }
        EXPECT_EQ(entries(instance.folder), QList<QByteArray>()) << "nothing left in the folder";
    }
}

// A local socket's address holds 107 bytes: a longer path is neither bound nor reached.
TEST(SingleInstanceTest, APathTooLongForASocketAddressIsRefused)
{
    QTemporaryDir runtime;
    QByteArray folder = QFile::encodeName(runtime.path());
    while (folder.size() < 120) {
        folder += "/deeper-folder";
        ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    }
    const QByteArray tooLong = folder + "/quillmarsh.socket";
    const QByteArray fits = QFile::encodeName(runtime.path()) + "/quillmarsh.socket";
    EXPECT_FALSE(SingleInstance::fitsSocketAddress(tooLong));
    EXPECT_TRUE(SingleInstance::fitsSocketAddress(fits));
    InstanceServer server;
    EXPECT_FALSE(server.listen(tooLong));
    EXPECT_FALSE(exists(tooLong));
    EXPECT_EQ(SingleInstance::forward(tooLong, {}, 500), Handover::none);
}

TEST(SingleInstanceTest, OnlyASocketNobodyAcceptsOnIsReplaced)
{
    QTemporaryDir runtime;
    const QByteArray plain = QFile::encodeName(runtime.filePath("plain.socket")),
                     live = QFile::encodeName(runtime.filePath("live.socket")),
                     silent = QFile::encodeName(runtime.filePath("silent.socket"));
    {
        QFile file(runtime.filePath("plain.socket"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    InstanceServer overPlainFile;
    EXPECT_TRUE(overPlainFile.listen(plain)) << "a plain file at the name is no instance";

    InstanceServer first, second;
    ASSERT_TRUE(first.listen(live));
    struct stat before, after;
    ASSERT_EQ(::lstat(live.constData(), &before), 0);
    EXPECT_FALSE(second.listen(live));
    ASSERT_EQ(::lstat(live.constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the live socket is the same file";
    std::vector<LaunchRequest> received;
    QObject::connect(&first, &InstanceServer::requestReceived,
                     [&](const LaunchRequest &request) { received.push_back(request); });
    EXPECT_EQ(forwardInBackground(live, {}, 5000), Handover::handed);
    EXPECT_TRUE(waitUntil([&] { return received.size() == 1; }));

    // Busy or stopped: it accepts but never answers. The launch waits, then says so; the socket stays.
    SilentListener stuck(silent);
    ASSERT_TRUE(stuck.bound);
    EXPECT_EQ(forwardInBackground(silent, {}, 300), Handover::unanswered);
    InstanceServer third;
    EXPECT_FALSE(third.listen(silent));
    EXPECT_TRUE(exists(silent));
}

// A request may arrive in pieces; the connection waits for the rest, but not for ever.
TEST(SingleInstanceTest, RequestSplitOverReadsIsWholeAndAnIdleConnectionIsClosed)
{
    RunningInstance instance;
    const QString path = QFile::decodeName(instance.path);
    const InstanceServer &server = instance.server;
    const std::vector<LaunchRequest> &received = instance.received;
    ASSERT_TRUE(instance.listen());

    LaunchRequest request;
    request.paths = {latin1Name};
    const QByteArray wire = SingleInstance::encode(request);
    QLocalSocket client;
    client.connectToServer(path);
    ASSERT_TRUE(client.waitForConnected(2000));
    for (qsizetype at = 0; at < wire.size(); at += 7) {
        client.write(wire.mid(at, 7));
        client.flush();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (at + 7 < wire.size()) {
            EXPECT_TRUE(received.empty()) << "nothing before the line is whole";
        }
    }
    ASSERT_TRUE(waitUntil([&] { return client.canReadLine(); }));
    EXPECT_EQ(client.readLine(), "ok\n");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].paths, request.paths);

    QLocalSocket idle;
    idle.connectToServer(path);
    ASSERT_TRUE(idle.waitForConnected(2000));
    idle.write("{\"paths\":[");
    idle.flush();
    ASSERT_TRUE(waitUntil([&] { return server.openConnections() >= 1; }));
    EXPECT_TRUE(waitUntil([&] { return idle.state() == QLocalSocket::UnconnectedState; },
                          SingleInstance::requestTimeoutMs + 10000));
    EXPECT_TRUE(waitUntil([&] { return server.openConnections() == 0; }));
    EXPECT_EQ(received.size(), 1u);
}

// A request is one line of at most 1 MiB. A longer one is dropped unanswered as soon as it is too
// long: the instance never holds much more of it than that.
TEST(SingleInstanceTest, ARequestLongerThanOneMebibyteIsDropped)
{
    RunningInstance instance;
    ASSERT_TRUE(instance.listen());
    QLocalSocket client;
    client.connectToServer(QFile::decodeName(instance.path));
    ASSERT_TRUE(client.waitForConnected(2000));
    qint64 taken = 0;
    QObject::connect(&client, &QLocalSocket::bytesWritten, [&](qint64 bytes) { taken += bytes; });
    client.write(QByteArray(16 << 20, 'x'));
    QByteArray answer;
    ASSERT_TRUE(waitUntil(
        [&] {
            client.flush();
            answer += client.readAll();
            return client.state() == QLocalSocket::UnconnectedState;
        },
        SingleInstance::requestTimeoutMs + 10000));
    EXPECT_LT(taken, qint64(4) << 20) << "the instance stopped taking the line soon after 1 MiB";
    EXPECT_EQ(answer, QByteArray());
    EXPECT_TRUE(instance.received.empty());

    // A long request within the bound goes through.
    LaunchRequest request;
    request.paths = {"/" + QByteArray(4000, 'p')};
    EXPECT_EQ(forwardInBackground(instance.path, request, 5000), Handover::handed);
    ASSERT_TRUE(waitUntil([&] { return instance.received.size() == 1; }));
    EXPECT_EQ(instance.received[0].paths, request.paths);
}

TEST(SingleInstanceTest, AtMostSixteenConnectionsAreOpenAtOnce)
{
    RunningInstance instance;
    const InstanceServer &server = instance.server;
    ASSERT_TRUE(instance.listen());

    std::vector<std::unique_ptr<QLocalSocket>> held;
    const auto closed = [&] {
        int count = 0;
        for (const auto &socket : held) count += socket->state() == QLocalSocket::UnconnectedState;
        return count;
    };
    for (int i = 0; i < SingleInstance::maximumConnections + 4; ++i) {
        held.push_back(std::make_unique<QLocalSocket>());
        held.back()->connectToServer(QFile::decodeName(instance.path));
        ASSERT_TRUE(held.back()->waitForConnected(2000));
        // Taken up one after another, so that their ages differ.
        ASSERT_TRUE(waitUntil([&] { return server.openConnections() + closed() == int(held.size()); }));
    }
    // Past the cap, the connection idle longest goes for each new one.
    EXPECT_TRUE(waitUntil([&] { return closed() == 4; }));
    EXPECT_EQ(server.openConnections(), SingleInstance::maximumConnections);
    for (size_t i = 0; i < held.size(); ++i) EXPECT_EQ(held[i]->state() == QLocalSocket::UnconnectedState, i < 4) << i;

    // With every place taken by idle connections, a launch still gets through.
    EXPECT_EQ(forwardInBackground(instance.path, {}, 5000), Handover::handed);
    EXPECT_TRUE(waitUntil([&] { return instance.received.size() == 1; }));
    EXPECT_LE(server.openConnections(), SingleInstance::maximumConnections);
}

QProcessEnvironment launchEnvironment(const QString &runtimeFolder, const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QUILLMARSH_SNAPSHOT_DIR");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtimeFolder);
    env.insert("XDG_CONFIG_HOME", home);
    env.insert("HOME", home);
    env.insert("QUILLMARSH_ALERTS_PATH", home + "/alerts.json");
    return env;
}

void stop(QProcess &process)
{
    ::kill(pid_t(process.processId()), SIGCONT);
    process.kill();
    process.waitForFinished();
}

// Starts the executable with XDG_RUNTIME_DIR set to `runtime`'s bytes. QProcess hands the
// environment on as text, which would lose bytes that are not UTF-8, so a shell sets the variable
// from octal escapes and then becomes the executable.
void startIn(QProcess &process, const QByteArray &runtime, const QString &home, const QStringList &arguments)
{
    QString escaped;
    for (const char c : runtime) escaped += QString::asprintf("\\%03o", unsigned(uchar(c)));
    process.setProcessEnvironment(launchEnvironment(QString(), home));
    process.start("/bin/sh",
                  QStringList{"-c", "export XDG_RUNTIME_DIR=\"$(printf '" + escaped + "')\"; exec \"$0\" \"$@\"",
                              QCoreApplication::applicationDirPath() + "/quillmarsh"}
                      + arguments);
}

// Launches the real executable side by side: a second launch in the same runtime folder, named by
// bytes that are not UTF-8, exits at once; one in another runtime folder is an instance of its own.
TEST(SingleInstanceTest, SecondProcessExitsAfterHandingOverAndOtherRuntimeFoldersStayApart)
{
    const QString executable = QCoreApplication::applicationDirPath() + "/quillmarsh";
    ASSERT_TRUE(QFile::exists(executable));
    QTemporaryDir base, other, home;
    const QByteArray runtime = QFile::encodeName(base.path()) + "/r\xE9sum\xE9 \xFF";
    ASSERT_EQ(::mkdir(runtime.constData(), 0700), 0);
    const RemovedFolder removed{runtime};
    QProcess first;
    startIn(first, runtime, home.path(), {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return exists(runtime + "/quillmarsh.socket"); }, 15000));

    QProcess second;
    startIn(second, runtime, home.path(), {"--screen", "sources", executable});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    QProcess apart;
    apart.setProcessEnvironment(launchEnvironment(other.path(), home.path()));
    apart.start(executable, {});
    ASSERT_TRUE(apart.waitForStarted());
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(other.filePath("quillmarsh.socket")); }, 15000))
        << "a launch with its own runtime folder is an instance of its own";
    EXPECT_EQ(apart.state(), QProcess::Running);
    stop(first);
    stop(apart);
}

// A stopped instance still accepts connections: the next launch waits for its answer, says it does
// not come, and leaves the socket alone; once the instance runs again it is handed launches again.
TEST(SingleInstanceTest, AStoppedInstanceKeepsItsSocketAndTheLaunchSaysItDoesNotAnswer)
{
    const QString executable = QCoreApplication::applicationDirPath() + "/quillmarsh";
    QTemporaryDir runtime, home;
    const QString socket = runtime.filePath("quillmarsh.socket");
    QProcess first;
    first.setProcessEnvironment(launchEnvironment(runtime.path(), home.path()));
    first.start(executable, {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(socket); }, 15000));
    // Stopped only once it answers: the socket's file exists a moment before it listens.
    QProcess answered;
    answered.setProcessEnvironment(launchEnvironment(runtime.path(), home.path()));
    answered.start(executable, {"--screen", "sources"});
    ASSERT_TRUE(answered.waitForFinished(60000));
    ASSERT_EQ(answered.exitCode(), 0) << "the first instance answers before it is stopped";
    struct stat before, after;
    ASSERT_EQ(::lstat(QFile::encodeName(socket).constData(), &before), 0);
    ASSERT_EQ(::kill(pid_t(first.processId()), SIGSTOP), 0);

    QProcess second;
    second.setProcessEnvironment(launchEnvironment(runtime.path(), home.path()));
    second.start(executable, {"--screen", "sources"});
    QByteArray said;
    ASSERT_TRUE(waitUntil([&] { return (said += second.readAllStandardError()).contains("does not answer"); },
                          SingleInstance::answerTimeoutMs + 20000));
    EXPECT_EQ(second.state(), QProcess::Running) << "it waits for the user to read the message";
    ASSERT_EQ(::lstat(QFile::encodeName(socket).constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the stopped instance's socket is still its own";
    stop(second);

    ASSERT_EQ(::kill(pid_t(first.processId()), SIGCONT), 0);
    QProcess third;
    third.setProcessEnvironment(launchEnvironment(runtime.path(), home.path()));
    third.start(executable, {"--screen", "sources"});
    ASSERT_TRUE(third.waitForFinished(60000));
    EXPECT_EQ(third.exitCode(), 0) << "handed over to the first instance";
    stop(first);
}

} // namespace
