// The single-instance socket against a second local account: it squats a name in the shared
// temporary folder, lends its own folders, or listens where a launch might connect. Each attack runs in a child
// that has switched to an unused uid, as the other account's process would.

#include "App/SingleInstance.h"

#include "support/EnvironmentGuard.h"
#include "support/OtherUser.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A folder anybody may write in, as /tmp is.
struct SharedFolder {
    SharedFolder() { ::chmod(QFile::encodeName(folder.path()).constData(), 01777); }
    QByteArray path(const char *name) const { return QFile::encodeName(folder.path()) + "/" + name; }
    QTemporaryDir folder;
};

// Another account that makes the name the socket folder once had in the shared temporary folder
// changes nothing: the launch uses a folder in its own cache.
TEST(InstanceSocketAttack, AFolderAnotherUserMadeAtTheNameIsNotUsed)
{
    if (const std::string reason = OtherUser::cannotSwitch(); !reason.empty()) GTEST_SKIP() << reason;
    const SharedFolder shared;
    QTemporaryDir own;
    const EnvironmentGuard keepTemporary("TMPDIR"), keepRuntime("XDG_RUNTIME_DIR"), keepCache("XDG_CACHE_HOME");
    ::setenv("TMPDIR", shared.folder.path().toLocal8Bit().constData(), 1);
    ::setenv("XDG_CACHE_HOME", own.path().toLocal8Bit().constData(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    const QByteArray squatted = shared.path("quillmarsh-") + QByteArray::number(::geteuid());
    for (const mode_t mode : {0700, 0777}) {
        SCOPED_TRACE(mode);
        ::rmdir(squatted.constData());
        ASSERT_EQ(OtherUser::run([&] {
                      if (::mkdir(squatted.constData(), mode) != 0) return 1;
                      return ::chmod(squatted.constData(), mode) == 0 ? 0 : 1;
                  }),
                  0);
        EXPECT_EQ(SingleInstance::socketPath(), QFile::encodeName(own.path()) + "/quillmarsh/quillmarsh.socket");
    }
    ::rmdir(squatted.constData());
}

// A cache folder that is another account's (HOME pointing at theirs) is not used.
TEST(InstanceSocketAttack, AnotherUsersCacheIsNotUsed)
{
    if (const std::string reason = OtherUser::cannotSwitch(); !reason.empty()) GTEST_SKIP() << reason;
    const SharedFolder shared;
    const QByteArray theirs = shared.path("cache");
    ASSERT_EQ(OtherUser::run([&] { return ::mkdir(theirs.constData(), 0755) == 0 ? 0 : 1; }), 0);
    const EnvironmentGuard keepRuntime("XDG_RUNTIME_DIR"), keepCache("XDG_CACHE_HOME");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_CACHE_HOME", theirs.constData(), 1);
    QString problem;
    EXPECT_EQ(SingleInstance::socketPath(&problem), QByteArray());
    EXPECT_TRUE(problem.contains("belongs to another user")) << problem.toStdString();
}

TEST(InstanceSocketAttack, AnotherUsersRuntimeFolderIsPassedOver)
{
    if (const std::string reason = OtherUser::cannotSwitch(); !reason.empty()) GTEST_SKIP() << reason;
    // After su the variable still names the first account's folder.
    const SharedFolder shared;
    QTemporaryDir own;
    const QByteArray theirs = shared.path("run-user");
    ASSERT_EQ(OtherUser::run([&] { return ::mkdir(theirs.constData(), 0700) == 0 ? 0 : 1; }), 0);
    const EnvironmentGuard keepRuntime("XDG_RUNTIME_DIR"), keepCache("XDG_CACHE_HOME");
    ::setenv("XDG_CACHE_HOME", own.path().toLocal8Bit().constData(), 1);
    ::setenv("XDG_RUNTIME_DIR", theirs.constData(), 1);
    EXPECT_EQ(SingleInstance::socketPath(), QFile::encodeName(own.path()) + "/quillmarsh/quillmarsh.socket");
}

// The other account listens at the name first. The launch must see whose listener it is before it
// sends a byte, and say so rather than report a hand-over.
TEST(InstanceSocketAttack, AListenerOfAnotherUserIsSentNothing)
{
    if (const std::string reason = OtherUser::cannotSwitch(); !reason.empty()) GTEST_SKIP() << reason;
    const SharedFolder shared;
    const QByteArray path = shared.path("quillmarsh.socket");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    // The child listens, takes one connection and exits with the number of bytes it was sent (at
    // most 100), or 101 when nobody came.
    const pid_t listener = OtherUser::start([&] {
        ::close(ready[0]);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) return 102;
        ::chmod(path.constData(), 0777);
        if (::write(ready[1], "x", 1) != 1) return 103;
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 15000) != 1) return 101;
        const int connection = ::accept(fd, nullptr, nullptr);
        size_t total = 0;
        char buffer[4096];
        for (;;) {
            pollfd readable{connection, POLLIN, 0};
            if (::poll(&readable, 1, 3000) != 1) break;
            const ssize_t n = ::read(connection, buffer, sizeof buffer);
            if (n <= 0) break;
            total += size_t(n);
        }
        return int(std::min<size_t>(total, 100));
    });
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the other user's listener is up";
    ::close(ready[0]);

    LaunchRequest request;
    request.paths = {"/home/someone/private.bsm"};
    EXPECT_EQ(SingleInstance::forward(path, request, 3000), SingleInstance::Handover::foreign);
    EXPECT_EQ(waitForExit(listener, 20000), 0) << "bytes the other user received";
}

} // namespace
