#include "Engine/Capture/AuditPipeHelper.h"

#include "support/ChildProcess.h"
#include "support/TrailBuilder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using AuditPipeHelper::Arguments;
using AuditPipeHelper::Places;

// --- command line ---

struct ParseCase {
    const char *name;
    std::vector<const char *> argv;
    std::optional<Arguments> expected;
};

Arguments args(uint32_t mask, int32_t pid)
{
    return {"/run/user/501/q/pipe", mask, pid};
}

const ParseCase parseCases[] = {
    {"eight digits after 0x", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0x00001000", "42"}, args(0x1000, 42)},
    {"bare digits", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "ff", "42"}, args(255, 42)},
    {"upper-case digits", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "ABCdef", "1"}, args(0xABCDEF, 1)},
    {"every 0x removed, wherever it is",
     {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "1f0x20x", "1"},
     args(0x1f2, 1)},
    {"removal is one pass", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "00xx1", "1"}, args(0, 1)},
    {"upper-case X is not removed", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0X10", "1"}, args(0, 1)},
    {"largest mask", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0xffffffff", "1"}, args(0xffffffff, 1)},
    {"mask beyond 32 bits", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "1ffffffff", "1"}, args(0, 1)},
    {"leading zeros do not count against the width",
     {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "00000000001", "1"},
     args(1, 1)},
    {"plus sign before the mask", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "+a", "1"}, args(10, 1)},
    {"sign without digits", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "+", "1"}, args(0, 1)},
    {"empty mask", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "", "1"}, args(0, 1)},
    {"minus before the mask", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "-1", "1"}, args(0, 1)},
    {"pid of letters", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0", "abc"}, args(0, 0)},
    {"negative pid", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0", "-5"}, args(0, -5)},
    {"pid with plus", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0", "+7"}, args(0, 7)},
    {"smallest pid", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0", "-2147483648"}, args(0, INT32_MIN)},
    {"pid beyond 32 bits", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0", "2147483648"}, args(0, 0)},
    {"pid with a blank", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "0", " 5"}, args(0, 0)},
    {"further arguments ignored", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "1", "2", "extra"}, args(1, 2)},
    {"only four entries", {"q", "--auditpipe-helper", "/run/user/501/q/pipe", "1"}, std::nullopt},
    {"switch in another position", {"q", "/run/user/501/q/pipe", "--auditpipe-helper", "1", "2"}, std::nullopt},
    {"switch spelt differently", {"q", "--auditpipe-helper=", "/run/user/501/q/pipe", "1", "2"}, std::nullopt},
    {"ordinary start", {"q"}, std::nullopt},
};

TEST(AuditPipeHelperArguments, ParsesTheHelperCommandLine)
{
    for (const ParseCase &c : parseCases) {
        SCOPED_TRACE(c.name);
        const std::optional<Arguments> parsed = AuditPipeHelper::parseArguments(int(c.argv.size()), c.argv.data());
        ASSERT_EQ(parsed.has_value(), c.expected.has_value());
        if (!parsed) continue;
        EXPECT_EQ(parsed->fifoPath, c.expected->fifoPath);
        EXPECT_EQ(parsed->mask, c.expected->mask);
        EXPECT_EQ(parsed->appPid, c.expected->appPid);
    }
}

// --- a capture folder with its named pipe, in a trusted area of the test's own ---

std::optional<std::string> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// As root (where these tests often run) a folder made by the test belongs to root, which the
// helper rightly refuses; hand it to an ordinary account, which plays the user who asked.
uid_t user()
{
    return ::geteuid() == 0 ? 65534 : ::geteuid();
}
uid_t otherUser()
{
    return user() == 65533 ? 65532 : 65533;
}

void giveToUser(const std::string &path)
{
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
}

// pkexec tells the helper who asked for it.
void askedBy(uid_t uid)
{
    ::setenv("PKEXEC_UID", std::to_string(uid).c_str(), 1);
}

struct Scene {
    std::string root;
    std::string folder;
    std::string fifo;
    std::string device;
    Places places;
    int appEnd = -1; // the application's end of the named pipe

    Scene()
    {
        char pattern[] = "/tmp/quillmarsh-helper-XXXXXX";
        root = fs::canonical(::mkdtemp(pattern)).string();
        const std::string trusted = root + "/trusted";
        fs::create_directory(trusted);
        folder = trusted + "/capture";
        ::mkdir(folder.c_str(), 0700);
        giveToUser(folder);
        fifo = folder + "/pipe";
        ::mkfifo(fifo.c_str(), 0600);
        giveToUser(fifo);
        askedBy(user());
        device = root + "/device";
        writeFile(device, {});
        places = {device, trusted + "/"};
        appEnd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    ~Scene()
    {
        ::unsetenv("PKEXEC_UID");
        closeAppEnd();
        fs::remove_all(root);
    }
    void closeAppEnd()
    {
        if (appEnd >= 0) ::close(appEnd);
        appEnd = -1;
    }
    std::optional<std::string> status() const { return readFile(folder + "/helper.status"); }
    Arguments arguments(int32_t appPid = 0) const { return {fifo, 0xffffffff, appPid}; }
};

// The helper in a child process of its own, as it runs in practice.
pid_t startHelper(const Arguments &arguments, const Places &places)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::closefrom(3); // nothing of the test, above all not its end of the pipe, stays open
        ::_exit(AuditPipeHelper::run(arguments, places));
    }
    return pid;
}

constexpr int helperExitGuardMs = 30000;

bool waitForStatus(const Scene &scene)
{
    for (int round = 0; round < 3000 && !scene.status(); ++round) ::usleep(10000);
    return scene.status().has_value();
}

std::string pidLine(pid_t pid)
{
    return "pid " + std::to_string(pid) + "\n";
}

struct StartCase {
    const char *name;
    void (*prepare)(Scene &, Arguments &);
    int exitStatus;
    // Expected status file; "pid" stands for the helper's own line.
    std::optional<std::string> (*statusText)(const Scene &);
};

std::optional<std::string> noStatus(const Scene &)
{
    return std::nullopt;
}
std::optional<std::string> pidStatus(const Scene &)
{
    return "pid";
}

const StartCase startCases[] = {
    {"owner-only folder starts copying", [](Scene &, Arguments &) {}, 6, pidStatus},
    {"folder readable by all is accepted", [](Scene &s, Arguments &) { ::chmod(s.folder.c_str(), 0755); }, 6, pidStatus},
    {"folder of another user is refused", [](Scene &, Arguments &) { askedBy(otherUser()); }, 2, noStatus},
    {"unreadable user id is refused", [](Scene &, Arguments &) { ::setenv("PKEXEC_UID", "501x", 1); }, 2, noStatus},
    {"group-writable folder is refused", [](Scene &s, Arguments &) { ::chmod(s.folder.c_str(), 0775); }, 2, noStatus},
    {"folder writable by others is refused", [](Scene &s, Arguments &) { ::chmod(s.folder.c_str(), 0757); }, 2,
     noStatus},
    {"folder outside the trusted area is refused",
     [](Scene &s, Arguments &) { s.places.trustedPrefix = s.root + "/elsewhere/"; }, 2, noStatus},
    {"the trusted folder itself is not inside the trusted area",
     [](Scene &s, Arguments &) { s.places.trustedPrefix = s.root + "/trusted/capture/"; }, 2, noStatus},
    {"folder that is a symbolic link is refused",
     [](Scene &s, Arguments &a) {
         const std::string link = s.root + "/trusted/link";
         fs::create_directory_symlink(s.folder, link);
         a.fifoPath = link + "/pipe";
     },
     2, noStatus},
    {"linked parent is judged by the folder's real path",
     [](Scene &s, Arguments &a) {
         fs::create_directory_symlink(s.root + "/trusted", s.root + "/alias");
         a.fifoPath = s.root + "/alias/capture/pipe";
     },
     6, pidStatus},
    {"missing folder is refused", [](Scene &s, Arguments &a) { a.fifoPath = s.folder + "/gone/pipe"; }, 2, noStatus},
    {"unopenable audit pipe", [](Scene &s, Arguments &) { s.places.device = s.root + "/no-device"; }, 3,
     [](const Scene &) -> std::optional<std::string> {
         return "error: cannot open /dev/auditpipe: No such file or directory\n";
     }},
    {"no named pipe",
     [](Scene &s, Arguments &) {
         s.closeAppEnd();
         fs::remove(s.fifo);
     },
     4,
     [](const Scene &) -> std::optional<std::string> { return "error: cannot open FIFO: No such file or directory\n"; }},
    // The application holds its end open before the helper starts; without it (the application
    // died meanwhile) a blocking open would wait for ever, as root.
    {"named pipe that nobody reads", [](Scene &s, Arguments &) { s.closeAppEnd(); }, 4,
     [](const Scene &) -> std::optional<std::string> { return "error: cannot open FIFO: No such device or address\n"; }},
    {"symbolic link in place of the named pipe",
     [](Scene &s, Arguments &) {
         fs::rename(s.fifo, s.folder + "/real-pipe");
         fs::create_symlink(s.folder + "/real-pipe", s.fifo);
     },
     4,
     [](const Scene &) -> std::optional<std::string> {
         return "error: cannot open FIFO: Too many levels of symbolic links\n";
     }},
    {"regular file in place of the named pipe",
     [](Scene &s, Arguments &) {
         s.closeAppEnd();
         fs::remove(s.fifo);
         writeFile(s.fifo, {1, 2, 3});
     },
     2, [](const Scene &s) -> std::optional<std::string> { return "error: " + s.fifo + " is not a FIFO\n"; }},
    {"an earlier status line is never replaced",
     [](Scene &s, Arguments &) {
         writeFile(s.folder + "/helper.status", {'p', 'i', 'd', ' ', '1', '\n'});
     },
     6, [](const Scene &) -> std::optional<std::string> { return "pid 1\n"; }},
};

TEST(AuditPipeHelperRun, ChecksTheFolderThePipesAndReportsHowItStarted)
{
    for (const StartCase &c : startCases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        Arguments arguments = scene.arguments();
        c.prepare(scene, arguments);
        const pid_t helper = startHelper(arguments, scene.places);
        EXPECT_EQ(waitForExit(helper, helperExitGuardMs), c.exitStatus);
        std::optional<std::string> expected = c.statusText(scene);
        if (expected == "pid") expected = pidLine(helper);
        EXPECT_EQ(scene.status(), expected);
    }
}

// The helper inherits the umask of the session that authorised it; the application, not root,
// must be able to read the line all the same.
TEST(AuditPipeHelperRun, StatusFileIsReadableByAllWhateverTheUmask)
{
    const struct {
        const char *name;
        mode_t umask;
    } cases[] = {{"usual umask", 022}, {"private umask", 077}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        const pid_t helper = ::fork();
        if (helper == 0) {
            ::closefrom(3);
            ::umask(c.umask);
            ::_exit(AuditPipeHelper::run(scene.arguments(), scene.places));
        }
        EXPECT_EQ(waitForExit(helper, helperExitGuardMs), 6);
        struct stat info = {};
        ASSERT_EQ(::stat((scene.folder + "/helper.status").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0644u);
        EXPECT_EQ(scene.status(), pidLine(helper));
    }
}

TEST(AuditPipeHelperRun, RefusesAFolderOwnedByRoot)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a root-owned folder";
    Scene scene;
    ASSERT_EQ(::chown(scene.folder.c_str(), 0, 0), 0);
    EXPECT_EQ(waitForExit(startHelper(scene.arguments(), scene.places), helperExitGuardMs), 2);
    EXPECT_EQ(scene.status(), std::nullopt);
}

TEST(AuditPipeHelperRun, RefusesANamedPipeOfAnotherUser)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a named pipe away";
    Scene scene;
    ASSERT_EQ(::chown(scene.fifo.c_str(), otherUser(), otherUser()), 0);
    EXPECT_EQ(waitForExit(startHelper(scene.arguments(), scene.places), helperExitGuardMs), 2);
    EXPECT_EQ(scene.status(), "error: " + scene.fifo + " is not the user's FIFO\n");
}

// Root's own folder is never a capture folder, even when root asked: the helper writes only into
// a folder an ordinary user owns.
TEST(AuditPipeHelperRun, RefusesAFolderOfRootEvenForRoot)
{
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a folder root's";
    Scene scene;
    ASSERT_EQ(::chown(scene.folder.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(scene.fifo.c_str(), 0, 0), 0);
    askedBy(0);
    EXPECT_EQ(waitForExit(startHelper(scene.arguments(), scene.places), helperExitGuardMs), 2);
    EXPECT_FALSE(scene.status()) << "nothing written into root's folder";
}

// Started without pkexec's word on who asked, the helper takes the real user of the application
// process it was given, and trusts nobody when it was given none.
TEST(AuditPipeHelperRun, WithoutPkexecTheApplicationProcessNamesTheUser)
{
    // The child says when it has become the other user, or the helper could read its uid first.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t usersProcess = ::fork();
    if (usersProcess == 0) {
        ::close(ready[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    const struct {
        const char *name;
        int32_t appPid;
        int exitStatus;
    } cases[] = {
        {"application of the folder's owner", usersProcess, 6},
        {"application of another user", 1, 2},
        {"no application process", 0, 2},
        {"application process that does not exist", 0x3ffffffe, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        ::unsetenv("PKEXEC_UID");
        const pid_t helper = startHelper(scene.arguments(c.appPid), scene.places);
        EXPECT_EQ(waitForExit(helper, helperExitGuardMs), c.exitStatus);
        EXPECT_EQ(scene.status().has_value(), c.exitStatus != 2);
    }
    ::kill(usersProcess, SIGKILL);
    ::waitpid(usersProcess, nullptr, 0);
}

TEST(AuditPipeHelperRun, CommandLineUsesTheSystemPlaces)
{
    // A test folder is not in the per-user runtime area, so the helper stops before the device.
    Scene scene;
    const std::string fifo = scene.fifo;
    const std::vector<const char *> argv = {"q", "--auditpipe-helper", fifo.c_str(), "0x1", "0"};
    EXPECT_EQ(AuditPipeHelper::runIfRequested(int(argv.size()), argv.data()), 2);
    EXPECT_EQ(scene.status(), std::nullopt);
    const std::vector<const char *> plain = {"q", "--sample"};
    EXPECT_EQ(AuditPipeHelper::runIfRequested(int(plain.size()), plain.data()), std::nullopt);
}

// --- copying ---

std::vector<uint8_t> sampleRecords(size_t atLeast)
{
    using namespace TestBSM;
    std::vector<uint8_t> out;
    for (uint32_t i = 0; out.size() < atLeast; ++i) {
        const Bytes record = TrailRecordBuilder(23, 1700000000 + i).subject().path("/bin/ls").returnValue(0).build();
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

// Reads exactly `count` bytes from the application's end; fewer when nothing comes for 10 s.
std::vector<uint8_t> readFromPipe(int fd, size_t count)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> chunk(65536);
    while (out.size() < count) {
        pollfd entry = {fd, POLLIN, 0};
        if (::poll(&entry, 1, 10000) <= 0) break;
        const ssize_t n = ::read(fd, chunk.data(), std::min(chunk.size(), count - out.size()));
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

// A device the test writes into while the helper runs.
struct LiveDevice {
    int fd = -1;
    explicit LiveDevice(Scene &scene)
    {
        fs::remove(scene.device);
        ::mkfifo(scene.device.c_str(), 0600);
        fd = ::open(scene.device.c_str(), O_RDWR | O_CLOEXEC);
    }
    ~LiveDevice() { close(); }
    void feed(const std::vector<uint8_t> &bytes)
    {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void close()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

TEST(AuditPipeHelperCopy, PassesEveryByteThroughUnchangedUntilTheAuditPipeEnds)
{
    // More than the pipe holds and more than one read, so the helper blocks and reads again.
    Scene scene;
    const std::vector<uint8_t> records = sampleRecords(1 << 20);
    writeFile(scene.device, records);
    const pid_t helper = startHelper(scene.arguments(::getpid()), scene.places);
    EXPECT_EQ(readFromPipe(scene.appEnd, records.size()), records);
    EXPECT_EQ(waitForExit(helper, helperExitGuardMs), 6);
    EXPECT_EQ(scene.status(), pidLine(helper));
}

TEST(AuditPipeHelperCopy, ForwardsRecordsAsTheyArrive)
{
    Scene scene;
    LiveDevice device(scene);
    const pid_t helper = startHelper(scene.arguments(::getpid()), scene.places);
    ASSERT_TRUE(waitForStatus(scene));
    for (uint32_t i = 0; i < 3; ++i) {
        const std::vector<uint8_t> record = TestBSM::TrailRecordBuilder(1, 1700000000 + i).text("hello").build();
        device.feed(record);
        EXPECT_EQ(readFromPipe(scene.appEnd, record.size()), record);
    }
    device.close();
    EXPECT_EQ(waitForExit(helper, helperExitGuardMs), 6);
    EXPECT_EQ(scene.status(), pidLine(helper));
}

TEST(AuditPipeHelperCopy, EndsWhenTheApplicationStopsReading)
{
    Scene scene;
    LiveDevice device(scene);
    const pid_t helper = startHelper(scene.arguments(::getpid()), scene.places);
    ASSERT_TRUE(waitForStatus(scene));
    scene.closeAppEnd();
    device.feed(sampleRecords(1));
    EXPECT_EQ(waitForExit(helper, helperExitGuardMs), 0);
    EXPECT_EQ(scene.status(), pidLine(helper));
}

TEST(AuditPipeHelperCopy, EndsWhenTheApplicationIsGoneWhileTheAuditPipeIsQuiet)
{
    Scene scene;
    LiveDevice device(scene);
    const pid_t app = ::fork();
    if (app == 0) {
        ::pause();
        ::_exit(0);
    }
    const pid_t helper = startHelper(scene.arguments(app), scene.places);
    ASSERT_TRUE(waitForStatus(scene));
    ::kill(app, SIGKILL);
    ::waitpid(app, nullptr, 0);
    EXPECT_EQ(waitForExit(helper, helperExitGuardMs), 0);
    EXPECT_EQ(scene.status(), pidLine(helper));
}

} // namespace
