#include "Services/LiveMonitor.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/Capture/AuditPipeHelper.h"
#include "Services/PrivilegedError.h"
#include "support/ChildProcess.h"
#include "support/EventOrder.h"
#include "support/LiveCaptureFixture.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QPromise>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace {

using namespace LiveCapture;

Bytes openRecord(uint32_t seconds, uint32_t pid = 100)
{
    Subject subject;
    subject.pid = pid;
    return TrailRecordBuilder(72, seconds).subject(subject).path("/etc/hosts").returnValue(0).build();
}

// A successful exec that one of the command-line rules reports.
Bytes sipDisable(uint32_t seconds)
{
    Subject subject;
    subject.pid = 500;
    return TrailRecordBuilder(23, seconds)
        .subject(subject)
        .path("/usr/bin/csrutil")
        .execArgs({"csrutil", "disable"})
        .returnValue(0)
        .build();
}

class LiveMonitorTest : public LiveCaptureFixture {};

// --- start ---

TEST_F(LiveMonitorTest, StartsTheHelperWithItsCommandLineInAPrivateFolder)
{
    struct Case {
        const char *name;
        std::set<std::string> classes;
        std::vector<std::string> classesInMask;
    };
    const Case cases[] = {
        {"no classes", {}, {}},
        {"the default classes",
         {"lo", "aa", "ad", "ex", "pc", "fc", "fd", "fm", "nt"},
         {"lo", "aa", "ad", "ex", "pc", "fc", "fd", "fm", "nt"}},
        {"unknown names add nothing", {"ex", "zz"}, {"ex"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        commands.clear();
        struct stat folderInfo = {}, pipeInfo = {};
        starter = [&](const std::string &) {
            ::stat(folder().c_str(), &folderInfo);
            ::stat(fifo.c_str(), &pipeInfo);
            writeStatus("pid " + std::to_string(::getpid()));
            return launched();
        };
        LiveMonitor &live = make();
        live.setSelectedClasses(c.classes);
        startRunning();

        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(prompts[0], "Quillmarsh needs administrator access to stream live events from /dev/auditpipe.");
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%08x", AuditCatalog::shared().mask(c.classesInMask));
        const std::string executable = QCoreApplication::applicationFilePath().toStdString();
        EXPECT_EQ(commands[0], "'" + executable + "' --auditpipe-helper '" + fifo + "' " + mask + " "
                                   + std::to_string(::getpid()) + " > /dev/null 2>&1 &");
        EXPECT_TRUE(std::regex_match(fifo, std::regex(runtime + "/Quillmarsh-live-[0-9A-F]{8}/pipe")));
        EXPECT_TRUE(S_ISDIR(folderInfo.st_mode));
        EXPECT_EQ(folderInfo.st_mode & 07777, 0700u);
        EXPECT_TRUE(S_ISFIFO(pipeInfo.st_mode));
        EXPECT_EQ(pipeInfo.st_mode & 07777, 0600u);
        EXPECT_TRUE(live.startedAt() == clock);
        stop();
    }
    EXPECT_EQ(AuditCatalog::shared().mask({"lo", "aa", "ad", "ex", "pc", "fc", "fd", "fm", "nt"}), 0x400039b8u);
}

TEST(LiveMonitorCommand, QuotesPathsForTheShell)
{
    struct Case {
        const char *name;
        std::string executable;
        std::string fifo;
        std::string expected;
    };
    const Case cases[] = {
        {"plain paths", "/opt/quillmarsh/bin/quillmarsh", "/run/user/1000/Quillmarsh-live-0A1B2C3D/pipe",
         "'/opt/quillmarsh/bin/quillmarsh' --auditpipe-helper '/run/user/1000/Quillmarsh-live-0A1B2C3D/pipe' "
         "0x400039b8 4242 > /dev/null 2>&1 &"},
        {"apostrophe and blanks in the program path", "/home/o'neil/My Apps/quillmarsh", "/run/user/1000/p",
         "'/home/o'\\''neil/My Apps/quillmarsh' --auditpipe-helper '/run/user/1000/p' 0x400039b8 4242 > /dev/null 2>&1 &"},
        {"apostrophe in the pipe path", "/q", "/run/user/1000/it's/pipe",
         "'/q' --auditpipe-helper '/run/user/1000/it'\\''s/pipe' 0x400039b8 4242 > /dev/null 2>&1 &"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string command = LiveMonitor::helperCommand(c.executable, c.fifo, 0x400039b8, 4242);
        EXPECT_EQ(command, c.expected);
        const std::vector<std::string> words = shellWords(command);
        ASSERT_GE(words.size(), 3u);
        EXPECT_EQ(words[0], c.executable);
        EXPECT_EQ(words[2], c.fifo);
    }
}

TEST_F(LiveMonitorTest, StartFailuresEndInTheirStateAndLeaveNoFolder)
{
    struct Case {
        const char *name;
        std::function<void(LiveMonitorTest &)> arrange;
        State expected;
        bool helperAsked;
    };
    const auto failed = [](std::string message) { return State(LiveMonitor::Failed{QString::fromStdString(message)}); };
    const auto helperSays = [](std::string status) {
        return [status](LiveMonitorTest &t) { t.starter = t.reporting(status); };
    };
    const auto launchThrows = [](std::exception_ptr error) {
        return
            [error](LiveMonitorTest &t) { t.starter = [error](const std::string &) { return launchFailed(error); }; };
    };
    const Case cases[] = {
        {"runtime folder not set", [](LiveMonitorTest &) { ::unsetenv("XDG_RUNTIME_DIR"); },
         failed("Live capture needs a private runtime folder, but XDG_RUNTIME_DIR is not set."), false},
        {"runtime folder empty", [](LiveMonitorTest &) { ::setenv("XDG_RUNTIME_DIR", "", 1); },
         failed("Live capture needs a private runtime folder, but XDG_RUNTIME_DIR is not set."), false},
        {"runtime folder missing",
         [](LiveMonitorTest &t) { ::setenv("XDG_RUNTIME_DIR", (t.root + "/gone").c_str(), 1); },
         failed("Live capture needs a private runtime folder under " + runtime + "/, but XDG_RUNTIME_DIR is \"" + root
                + "/gone\"."),
         false},
        {"runtime folder outside the trusted area",
         [](LiveMonitorTest &t) { ::setenv("XDG_RUNTIME_DIR", t.root.c_str(), 1); },
         failed("Live capture needs a private runtime folder under " + runtime + "/, but XDG_RUNTIME_DIR is \"" + root
                + "\"."),
         false},
        {"authorisation dismissed", launchThrows(std::make_exception_ptr(PrivilegedError::cancelled())),
         LiveMonitor::Idle{}, true},
        {"authorisation failed", launchThrows(std::make_exception_ptr(PrivilegedError::failed("Not authorized"))),
         failed("Not authorized"), true},
        {"elevation program missing",
         launchThrows(std::make_exception_ptr(std::system_error(ENOENT, std::generic_category(), "pkexec"))),
         failed("pkexec: No such file or directory"), true},
        {"helper cannot open the audit pipe",
         helperSays("error: cannot open /dev/auditpipe: No such file or directory\n"),
         failed("cannot open /dev/auditpipe: No such file or directory"), true},
        {"helper cannot open the named pipe", helperSays("error: cannot open FIFO: Permission denied\n"),
         failed("cannot open FIFO: Permission denied"), true},
        {"detail trimmed of blanks and tabs", helperSays("error:\t  odd  \t\n"), failed("odd"), true},
        {"pid followed by letters", helperSays("pid abc\n"), failed(""), true},
        {"the bare word pid", helperSays("pid\n"), failed(""), true},
        {"pid beyond 32 bits", helperSays("pid 2147483648\n"), failed(""), true},
        {"pid with a second word", helperSays("pid 12 13\n"), failed(""), true},
        {"text without a colon", helperSays("ready\n"), failed(""), true},
        {"helper never reports", [](LiveMonitorTest &) {}, failed("The capture helper did not start."), true},
        {"status that is not UTF-8 counts as none", helperSays("pid \xff\xfe\n"),
         failed("The capture helper did not start."), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        starter = [](const std::string &) { return launched(); };
        commands.clear();
        c.arrange(*this);
        LiveMonitor &live = make();
        live.start();
        ASSERT_TRUE(waitUntil([&] { return !std::holds_alternative<LiveMonitor::Starting>(live.state()); }));
        EXPECT_EQ(describe(live.state()), describe(c.expected));
        EXPECT_EQ(commands.size(), c.helperAsked ? 1u : 0u);
        EXPECT_TRUE(captureFolders().empty());
        EXPECT_TRUE(stops.empty());
    }
}

TEST_F(LiveMonitorTest, StatusLinesThatNameTheHelper)
{
    struct Case {
        const char *name;
        std::string status;
    };
    const Case cases[] = {
        {"pid and a line end", "pid 381\n"},
        {"surrounding white space", "  pid 381 \r\n\n"},
        {"explicit sign", "pid +381"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LiveMonitor::Environment e = environment();
        e.watchdogInterval = 1h; // no process 381 need exist
        starter = reporting(c.status);
        LiveMonitor &live = make(e);
        startRunning();
        EXPECT_EQ(captureFolders().size(), 1u);
        stop();
        EXPECT_EQ(describe(live.state()), "idle");
        EXPECT_TRUE(captureFolders().empty());
    }
}

// The status file is read at once and then after each of 59 waits; the 60th wait ends the start.
// The test counts the waits with a chain of its own, started once the monitor's first wait is
// under way, so it knows which wait it is in however loaded the machine is.
TEST_F(LiveMonitorTest, WaitsSixtyIntervalsForTheHelper)
{
    LiveMonitor::Environment e = environment();
    e.handshakeInterval = 20ms;
    e.watchdogInterval = 1h;
    // Starts the monitor with a launch that finishes at once, then counts waits alongside the
    // monitor's: onWait(k) runs after the monitor's k-th wait and before its next one.
    const auto startCounting = [&](LiveMonitor &live, int waits, const std::function<void(int)> &onWait) {
        QPromise<std::string> launch;
        starter = [&](const std::string &) { return launch.future(); };
        live.start();
        // Told after the monitor's own watcher, which reads the status and starts the first wait.
        QFutureWatcher<std::string> watcher;
        bool launched = false;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, [&] { launched = true; });
        watcher.setFuture(launch.future());
        launch.start();
        launch.addResult(std::string("\n"));
        launch.finish();
        ASSERT_TRUE(waitUntil([&] { return launched; }));
        ASSERT_TRUE(afterWaits(e.handshakeInterval, waits, onWait));
    };
    {
        SCOPED_TRACE("a status written during the last wait is still read");
        LiveMonitor &live = make(e);
        startCounting(live, 58, [&](int wait) {
            EXPECT_EQ(describe(live.state()), "starting") << wait;
            if (wait == 58) writeStatus("pid 7\n");
        });
        ASSERT_TRUE(waitForState(LiveMonitor::Running{}, 10000)) << describe(live.state());
        stop();
    }
    {
        SCOPED_TRACE("without a status the start gives up after the sixtieth wait");
        LiveMonitor &live = make(e);
        startCounting(live, 60, [&](int wait) {
            EXPECT_EQ(describe(live.state()), wait < 60 ? "starting" : "failed(The capture helper did not start.)")
                << wait;
        });
        EXPECT_TRUE(captureFolders().empty());
    }
}

TEST_F(LiveMonitorTest, StartingTwiceStartsOneCapture)
{
    QPromise<std::string> dialog;
    starter = [&](const std::string &) { return dialog.future(); };
    LiveMonitor &live = make();
    int changes = 0;
    QObject::connect(&live, &LiveMonitor::stateChanged, [&] { ++changes; });
    live.start();
    live.start();
    EXPECT_EQ(describe(live.state()), "starting");
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(changes, 1);

    writeStatus("pid " + std::to_string(::getpid()));
    dialog.start();
    dialog.addResult(std::string("\n"));
    dialog.finish();
    ASSERT_TRUE(waitForState(LiveMonitor::Running{}));
    live.start();
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(captureFolders().size(), 1u);
}

TEST_F(LiveMonitorTest, StartedAtNotifiesOnlyANewTime)
{
    struct Case {
        const char *name;
        double later; // seconds the clock moves before this start
        int notifications;
    };
    const Case cases[] = {
        {"first start", 0, 1},
        {"a start at the same time", 0, 0},
        {"a start a second later", 1, 1},
    };
    starter = readyHelper();
    LiveMonitor &live = make();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clock += c.later;
        int notifications = 0;
        const QMetaObject::Connection counting = QObject::connect(&live, &LiveMonitor::startedAtChanged,
                                                                  [&] { ++notifications; });
        startRunning();
        EXPECT_EQ(notifications, c.notifications);
        EXPECT_TRUE(live.startedAt() == clock);
        QObject::disconnect(counting);
        stop();
    }
}

// --- a whole capture with the real helper ---

TEST_F(LiveMonitorTest, CapturesThroughTheHelperAndStopsIt)
{
    starter = helperProcess();
    LiveMonitor &live = make();
    startRunning();
    EXPECT_EQ(captureFolders().size(), 1u);

    const Bytes two = openReadRecords(2);
    sendToDevice(two);
    ASSERT_TRUE(waitUntil([&] { return live.totalReceived() == 2; }));
    EXPECT_EQ(ids(*live.records()), idRange(LiveMonitor::firstLiveID, 2));
    EXPECT_EQ(live.records()->at(0).source, -1);
    EXPECT_EQ(live.records()->at(1).time, 1700000001);
    EXPECT_EQ(live.bytesReceived(), int64_t(two.size()));
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }));

    stop();
    EXPECT_EQ(describe(live.state()), "idle");
    EXPECT_TRUE(captureFolders().empty());
    // The helper ends at its next write into the closed pipe.
    int status = -1;
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(children.back(), &status, WNOHANG) == children.back()) break;
        sendToDevice(openRecord(1700000100));
        ::usleep(20000);
    }
    children.pop_back();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // What was captured stays for the screens, and the stop is no unexpected end.
    QCoreApplication::processEvents();
    EXPECT_EQ(live.records()->size(), 2u);
    EXPECT_EQ(live.totalReceived(), 2);
    EXPECT_EQ(live.bytesReceived(), int64_t(two.size()));
    EXPECT_TRUE(live.startedAt() == clock);
    EXPECT_TRUE(stops.empty());
}

// A stop while the start is under way abandons it: the folder goes at once, a helper started
// afterwards finds no folder and ends, and the start does not fail later on.
TEST_F(LiveMonitorTest, StoppingWhileStartingLeavesNothingBehind)
{
    struct Case {
        const char *name;
        bool dialogStillOpen;
    };
    const Case cases[] = {{"while the authorisation dialog is open", true},
                          {"while waiting for the helper's status", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QPromise<std::string> dialog;
        starter = [&](const std::string &) { return c.dialogStillOpen ? dialog.future() : launched(); };
        LiveMonitor &live = make();
        live.start();
        QCoreApplication::processEvents();
        ASSERT_EQ(describe(live.state()), "starting");
        ASSERT_EQ(captureFolders().size(), 1u);

        stop();
        EXPECT_EQ(describe(live.state()), "idle");
        EXPECT_TRUE(captureFolders().empty());

        dialog.start();
        dialog.addResult(std::string("\n"));
        dialog.finish();
        startHelperProcess(commands.back());
        EXPECT_EQ(helperExit(), 2);
        // The launch's result has been handed over, and a chain of waits as long as the
        // handshake's whole budget, started after any the monitor could still have going, is over.
        ASSERT_TRUE(postedDelivered());
        ASSERT_TRUE(afterWaits(environment().handshakeInterval, 61));
        EXPECT_EQ(describe(live.state()), "idle");
        EXPECT_TRUE(captureFolders().empty());
    }
}

// --- watchdog and unexpected ends ---

TEST_F(LiveMonitorTest, WatchdogEndsTheCaptureWhenTheHelperDies)
{
    const pid_t helper = ::fork();
    if (helper == 0) {
        for (;;) ::pause();
    }
    children.push_back(helper);
    starter = reporting("pid " + std::to_string(helper) + "\n");
    LiveMonitor::Environment e = environment();
    int checks = 0;
    e.signalHelper = [&checks](int32_t pid) {
        ++checks;
        return ::kill(pid, 0) == 0 ? 0 : errno;
    };
    LiveMonitor &live = make(e);
    startRunning();
    ASSERT_TRUE(waitUntil([&] { return checks >= 3; })); // several checks of a living helper
    EXPECT_EQ(describe(live.state()), "running");

    ::kill(helper, SIGKILL);
    ::waitpid(helper, nullptr, 0);
    children.clear();
    const std::string message = "The audit pipe helper (pid " + std::to_string(helper) + ") exited unexpectedly.";
    ASSERT_TRUE(waitForState(LiveMonitor::Failed{QString::fromStdString(message)}));
    EXPECT_EQ(stops, std::vector<std::string>{message});
    EXPECT_TRUE(captureFolders().empty());
    // Two more watchdog intervals, counted after the failure: a watchdog still running would
    // have checked again by then.
    const int checksAtFailure = checks;
    ASSERT_TRUE(afterWaits(e.watchdogInterval, 2));
    ASSERT_TRUE(postedDelivered());
    EXPECT_EQ(checks, checksAtFailure);
    EXPECT_EQ(stops.size(), 1u);
}

// Run as an ordinary user, the null signal to a root helper fails with EPERM while it runs; only
// a helper that is gone (ESRCH) ends the capture.
TEST_F(LiveMonitorTest, WatchdogTakesOnlyAMissingHelperForGone)
{
    const struct {
        int error;
        bool ends;
    } cases[] = {{0, false}, {EPERM, false}, {ESRCH, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        stops.clear();
        int checks = 0;
        LiveMonitor::Environment e = environment();
        e.signalHelper = [&checks, &c](int32_t pid) {
            EXPECT_EQ(pid, 381);
            ++checks;
            return c.error;
        };
        starter = reporting("pid 381\n");
        LiveMonitor &live = make(std::move(e));
        startRunning();
        ASSERT_TRUE(
            waitUntil([&] { return checks >= 3 || !std::holds_alternative<LiveMonitor::Running>(live.state()); }));
        if (c.ends) {
            const std::string message = "The audit pipe helper (pid 381) exited unexpectedly.";
            EXPECT_EQ(describe(live.state()), describe(LiveMonitor::Failed{QString::fromStdString(message)}));
            EXPECT_EQ(stops, std::vector<std::string>{message});
        } else {
            EXPECT_EQ(describe(live.state()), "running");
            EXPECT_TRUE(stops.empty());
            stop();
        }
        monitor.reset();
    }
}

// The application holds both ends of its pipe, so the pipe can only end or fail if something
// tampers with the descriptor; the capture then ends as when the helper dies, without spinning.
TEST_F(LiveMonitorTest, APipeThatEndsOrFailsEndsTheCapture)
{
    struct Case {
        const char *name;
        std::function<int(const std::string &scratch)> replacement;
        std::string message;
    };
    const Case cases[] = {
        {"end of stream",
         [](const std::string &) {
             int ends[2];
             if (::pipe(ends) != 0) return -1;
             ::close(ends[1]);
             return ends[0];
         },
         "The live event stream from the audit pipe helper ended unexpectedly."},
        {"read error", [](const std::string &scratch) { return ::open(scratch.c_str(), O_RDONLY | O_DIRECTORY); },
         "The live event stream from the audit pipe helper could not be read: Is a directory."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        stops.clear();
        starter = readyHelper();
        LiveMonitor &live = make();
        startRunning();
        int appEnd = -1;
        for (const auto &entry : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (fs::read_symlink(entry.path(), error).string() == fifo) appEnd = std::stoi(entry.path().filename());
        }
        ASSERT_GE(appEnd, 0);
        const int replacement = c.replacement(root);
        ASSERT_GE(replacement, 0);
        ASSERT_EQ(::dup2(replacement, appEnd), appEnd);
        ::close(replacement);
        ASSERT_TRUE(waitForState(LiveMonitor::Failed{QString::fromStdString(c.message)})) << describe(live.state());
        EXPECT_EQ(stops, std::vector<std::string>{c.message});
        EXPECT_TRUE(captureFolders().empty());
    }
}

// --- the record stream ---

TEST_F(LiveMonitorTest, NumbersRecordsOnAcrossClearsAndCaptures)
{
    starter = readyHelper();
    LiveMonitor &live = make();
    startRunning();
    sendAndWait(openReadRecords(3), 3);
    EXPECT_EQ(ids(*live.records()), idRange(10000000, 3));

    live.clear();
    EXPECT_TRUE(live.records()->empty());
    EXPECT_EQ(live.totalReceived(), 0);
    EXPECT_EQ(live.bytesReceived(), 0);
    sendAndWait(openReadRecords(2), 2);
    EXPECT_EQ(ids(*live.records()), idRange(10000003, 2));

    closeFeed();
    stop();
    startRunning();
    sendAndWait(openReadRecords(1), 3);
    EXPECT_EQ(ids(*live.records()), idRange(10000003, 3)); // a new capture appends to the old buffer
    for (const AuditRecord &record : *live.records()) EXPECT_EQ(record.source, -1);
}

TEST_F(LiveMonitorTest, CountsOnlyTheReadsThatCompleteRecords)
{
    starter = readyHelper();
    LiveMonitor &live = make();
    startRunning();
    const Bytes record = openRecord(1700000000);
    int appends = 0;
    QObject::connect(&live, &LiveMonitor::recordsChanged, [&] { appends += live.recordsChange().appended > 0; });

    // The reader takes the first 20 bytes in a read of their own (send waits for it), then the
    // rest with a whole record. Whatever the first read had handed over would arrive first.
    send(Bytes(record.begin(), record.begin() + 20));
    sendAndWait(trail({Bytes(record.begin() + 20, record.end()), openRecord(1700000001)}), 2);
    EXPECT_EQ(appends, 1) << "the read that completed no record handed nothing over";
    EXPECT_EQ(live.bytesReceived(), int64_t(record.size() - 20 + openRecord(1700000001).size()))
        << "only the bytes of the read that completed records count";
    EXPECT_EQ(live.records()->at(0).time, 1700000000);
}

TEST_F(LiveMonitorTest, KeepsTheNewestRecordsUpToTheLimit)
{
    starter = readyHelper();
    LiveMonitor &live = make();
    EXPECT_EQ(live.bufferLimit(), 20000);
    startRunning();
    const Bytes all = openReadRecords(25000);
    feed = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::write(feed, all.data(), all.size()), ssize_t(all.size())); // the reader drains it meanwhile
    ASSERT_TRUE(waitUntil([&] { return live.totalReceived() == 25000; }, 20000));
    EXPECT_EQ(live.records()->size(), 20000u);
    EXPECT_EQ(live.records()->front().id, 10005000);
    EXPECT_EQ(live.records()->back().id, 10024999);
    EXPECT_EQ(live.records()->back().time, 1700024999);
}

// A table follows the buffer by removing `dropped` rows at the top and inserting `appended` at
// the bottom; that must always land on the published buffer.
TEST_F(LiveMonitorTest, EachPublicationSaysWhatWasDroppedAndAppended)
{
    LiveMonitor::Environment e = environment();
    e.analysisDelay = std::chrono::hours(1); // no pass interferes here
    starter = readyHelper();
    LiveMonitor &live = make(e);
    live.setBufferLimit(4);
    startRunning();
    std::vector<LiveMonitor::RecordsChange> changes;
    size_t rows = 0;
    QObject::connect(&live, &LiveMonitor::recordsChanged, [&] {
        const LiveMonitor::RecordsChange change = live.recordsChange();
        changes.push_back(change);
        EXPECT_GE(int64_t(rows), change.dropped);
        rows = rows - size_t(change.dropped) + size_t(change.appended);
        EXPECT_EQ(rows, live.records()->size());
    });

    sendAndWait(openReadRecords(3), 3);
    sendAndWait(openReadRecords(2, 1700000010), 5);  // one old record makes room
    sendAndWait(openReadRecords(6, 1700000020), 11); // all old ones go, and two of the new
    live.clear();
    using Change = LiveMonitor::RecordsChange;
    EXPECT_EQ(changes, (std::vector<Change>{{.dropped = 0, .appended = 3},
                                            {.dropped = 1, .appended = 2},
                                            {.dropped = 4, .appended = 4},
                                            {.dropped = 4, .appended = 0}}));
}

TEST_F(LiveMonitorTest, AnAnalysedBufferSaysWhetherItsOrderChanged)
{
    struct Case {
        const char *name;
        Bytes records;
        bool reordered;
    };
    const Case cases[] = {
        {"arrival order is time order", trail({openRecord(1700000001), openRecord(1700000005)}), false},
        {"a later record arrived first", trail({openRecord(1700000005), openRecord(1700000001)}), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        passes.clear();
        starter = readyHelper();
        LiveMonitor &live = make();
        startRunning();
        sendAndWait(c.records, 2);
        ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }));
        EXPECT_EQ(live.recordsChange(), (LiveMonitor::RecordsChange{.analysed = true, .reordered = c.reordered}));
        closeFeed();
        stop();
    }
}

TEST_F(LiveMonitorTest, RateCountsTheLastFiveSeconds)
{
    struct Read {
        double after; // seconds after the previous read
        size_t count;
    };
    struct Case {
        const char *name;
        std::vector<Read> reads;
        double rate;
    };
    const Case cases[] = {
        {"one read of 50", {{0, 50}}, 10.0},
        {"a read exactly five seconds old still counts", {{0, 50}, {5.0, 5}}, 11.0},
        {"older reads no longer count", {{0, 50}, {5.001, 5}}, 1.0},
        {"every read in the window counts", {{0, 10}, {1, 10}, {1, 10}}, 6.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        starter = readyHelper();
        LiveMonitor &live = make();
        startRunning();
        int64_t total = 0;
        for (const Read &read : c.reads) {
            clock += read.after;
            total += int64_t(read.count);
            sendAndWait(openReadRecords(read.count), total);
        }
        EXPECT_DOUBLE_EQ(live.ratePerSecond(), c.rate);
        // Only new records change it: not time, a clear or a stop.
        clock += 60;
        live.clear();
        closeFeed();
        stop();
        EXPECT_DOUBLE_EQ(live.ratePerSecond(), c.rate);
    }
}

TEST_F(LiveMonitorTest, PausingFreezesTheSnapshotNotTheCapture)
{
    starter = readyHelper();
    LiveMonitor &live = make();
    startRunning();
    sendAndWait(openReadRecords(2), 2);
    EXPECT_EQ(live.pausedSnapshot(), nullptr);

    live.setPaused(true);
    ASSERT_NE(live.pausedSnapshot(), nullptr);
    EXPECT_EQ(ids(*live.pausedSnapshot()), idRange(10000000, 2));
    sendAndWait(openReadRecords(3), 5);
    EXPECT_EQ(live.records()->size(), 5u);
    EXPECT_EQ(ids(*live.pausedSnapshot()), idRange(10000000, 2));

    int snapshots = 0;
    QObject::connect(&live, &LiveMonitor::pausedSnapshotChanged, [&] { ++snapshots; });
    live.setPaused(true); // every assignment retakes the snapshot
    EXPECT_EQ(snapshots, 1);
    EXPECT_EQ(live.pausedSnapshot()->size(), 5u);

    live.clear();
    EXPECT_TRUE(live.paused());
    ASSERT_NE(live.pausedSnapshot(), nullptr);
    EXPECT_TRUE(live.pausedSnapshot()->empty());

    live.setPaused(false);
    EXPECT_EQ(live.pausedSnapshot(), nullptr);
}

// --- analysis passes ---

TEST_F(LiveMonitorTest, APassAnalysesTheBufferAfterTheDelay)
{
    LiveMonitor::Environment e = environment();
    e.analysisDelay = 300ms;
    starter = readyHelper();
    LiveMonitor &live = make(e);
    startRunning();
    sendAndWait(openRecord(1700000000, 500), 1);
    sendAndWait(sipDisable(1700000001), 2); // within the delay: part of the same pass
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }));

    ASSERT_EQ(passes[0].records.size(), 2u);
    ASSERT_EQ(live.findings().size(), 1u);
    EXPECT_EQ(live.findings()[0].rule, "SIP disable attempt");
    EXPECT_EQ(live.findings()[0].recordIDs, std::vector<int64_t>{10000001});
    EXPECT_EQ(passes[0].findings.size(), 1u);
    // Unchanged since the snapshot, the buffer takes the process images.
    EXPECT_EQ(live.records()->at(1).processImage, "/usr/bin/csrutil");
    EXPECT_EQ(passes[0].records[1].processImage, "/usr/bin/csrutil");

    // A finished pass schedules no other: one would be due within the delay, its work then run
    // on the pool and its result posted.
    ASSERT_TRUE(afterWaits(e.analysisDelay));
    // The reader, which waits on the pipe, does not count among the pool's busy threads.
    ASSERT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
    ASSERT_TRUE(postedDelivered());
    EXPECT_EQ(passes.size(), 1u);
}

TEST_F(LiveMonitorTest, AnalysesRecordsInTimeOrder)
{
    starter = readyHelper();
    LiveMonitor &live = make();
    startRunning();
    sendAndWait(trail({openRecord(1700000005), openRecord(1700000001)}), 2);
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }));
    EXPECT_EQ(ids(passes[0].records), (std::vector<int64_t>{10000001, 10000000}));
    EXPECT_EQ(ids(*live.records()), (std::vector<int64_t>{10000001, 10000000}));
}

// The pass and the launch end after their monitor is gone; what they bring back is dropped.
TEST_F(LiveMonitorTest, DestroyedWhileAPassRunsOrTheHelperIsBeingAuthorised)
{
    LiveMonitor::Environment e = environment();
    const std::shared_ptr<Gate> gate = gatedAnalysis(e);
    starter = readyHelper();
    make(e);
    startRunning();
    sendAndWait(openReadRecords(1), 1);
    ASSERT_TRUE(waitUntil([&] { return gate->passesStarted() == 1; }));
    monitor.reset();
    gate->release();

    auto authorising = std::make_shared<QPromise<std::string>>();
    authorising->start();
    e.startHelper = [authorising](const std::string &, const std::string &) { return authorising->future(); };
    make(e).start();
    monitor.reset();
    authorising->addResult("");
    authorising->finish();

    ASSERT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 0; }));
    ASSERT_TRUE(postedDelivered());
    EXPECT_TRUE(passes.empty());
}

TEST_F(LiveMonitorTest, OnePassAtATime)
{
    LiveMonitor::Environment e = environment();
    const std::shared_ptr<Gate> gate = gatedAnalysis(e);
    starter = readyHelper();
    LiveMonitor &live = make(e);
    startRunning();
    sendAndWait(openReadRecords(1), 1);
    ASSERT_TRUE(waitUntil([&] { return gate->passesStarted() == 1; }));

    sendAndWait(openReadRecords(1, 1700000100), 2);
    sendAndWait(openReadRecords(1, 1700000200), 3);
    // A pass the new records scheduled would have been due, and handed to the pool, by the end
    // of a delay counted from now; the pool counts a task it is handed at once.
    ASSERT_TRUE(afterWaits(e.analysisDelay));
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 1) << "only the gated pass";
    EXPECT_EQ(gate->passesStarted(), 1);

    gate->release();
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }));
    // Records handed over while the pass ran keep the buffer from being replaced...
    EXPECT_EQ(ids(*live.records()), idRange(10000000, 3));
    EXPECT_FALSE(live.records()->at(0).processImage);
    // ...but the findings and the callback are the pass's own.
    EXPECT_EQ(live.findings().size(), 1u);
    EXPECT_EQ(ids(passes[0].records), idRange(10000000, 1));
    // And they are analysed by a pass of their own, though no record follows them.
    ASSERT_TRUE(waitUntil([&] { return passes.size() == 2; }));
    EXPECT_EQ(ids(passes[1].records), idRange(10000000, 3));
    EXPECT_EQ(live.records()->at(2).processImage, "analysed");
}

TEST_F(LiveMonitorTest, PassesThatMeetAClearOrAStop)
{
    struct Case {
        const char *name;
        bool whileAnalysing; // else during the delay
        void (*act)(LiveMonitorTest &);
        size_t analysed;
    };
    const Case cases[] = {
        {"clear during the delay: the empty buffer is analysed", false, [](LiveMonitorTest &t) { t.monitor->clear(); },
         0},
        {"clear while analysing: the emptied buffer stays empty", true, [](LiveMonitorTest &t) { t.monitor->clear(); },
         1},
        {"stop during the delay: the pass still completes", false, [](LiveMonitorTest &t) { t.stop(); }, 1},
        {"stop while analysing: the pass still completes", true, [](LiveMonitorTest &t) { t.stop(); }, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        passes.clear();
        closeFeed();
        LiveMonitor::Environment e = environment();
        e.analysisDelay = 100ms;
        const std::shared_ptr<Gate> gate = gatedAnalysis(e);
        starter = readyHelper();
        LiveMonitor &live = make(e);
        startRunning();
        sendAndWait(openReadRecords(1), 1);
        const bool isClear = std::string(c.name).starts_with("clear");
        if (c.whileAnalysing) {
            ASSERT_TRUE(waitUntil([&] { return gate->passesStarted() == 1; }));
        } else {
            gate->release();
        }
        c.act(*this);
        gate->release();
        ASSERT_TRUE(waitUntil([&] { return passes.size() == 1; }));
        EXPECT_EQ(passes[0].records.size(), c.analysed);
        EXPECT_EQ(passes[0].findings.size(), 1u);
        EXPECT_EQ(live.findings().size(), 1u);
        EXPECT_EQ(live.records()->size(), isClear ? 0u : 1u);
        if (!isClear) {
            EXPECT_EQ(live.records()->at(0).processImage, "analysed");
        }
    }
}

} // namespace
