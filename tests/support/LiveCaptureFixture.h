#pragma once

// The end-to-end capture bench of the live monitor's tests: a private runtime folder, a fake
// administrator shell that starts whatever helper a test wants (the real one in a child process
// reading a named pipe that stands in for the audit pipe), and a writer into the capture's pipe.

#include "Engine/Capture/AuditPipeHelper.h"
#include "Services/LiveMonitor.h"
#include "support/ChildProcess.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QFuture>
#include <QPromise>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace LiveCapture {

namespace fs = std::filesystem;
using namespace TestBSM;
using namespace std::chrono_literals;
using State = LiveMonitor::State;

inline std::string describe(const State &state)
{
    if (std::holds_alternative<LiveMonitor::Idle>(state)) return "idle";
    if (std::holds_alternative<LiveMonitor::Starting>(state)) return "starting";
    if (std::holds_alternative<LiveMonitor::Running>(state)) return "running";
    return "failed(" + std::get<LiveMonitor::Failed>(state).message.toStdString() + ")";
}

// The words the shell makes of a command line: apostrophes quote, a backslash escapes one character.
inline std::vector<std::string> shellWords(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            word += line.substr(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

inline QFuture<std::string> launched()
{
    return QtFuture::makeReadyFuture(std::string("\n"));
}

inline QFuture<std::string> launchFailed(std::exception_ptr error)
{
    QPromise<std::string> promise;
    QFuture<std::string> future = promise.future();
    promise.start();
    promise.setException(error);
    promise.finish();
    return future;
}

inline constexpr int helperExitGuardMs = 10000;

// Holds every analysis pass until the test lets it go.
struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    bool open = false;

    void release()
    {
        const std::lock_guard guard(lock);
        open = true;
        changed.notify_all();
    }
    int passesStarted()
    {
        const std::lock_guard guard(lock);
        return started;
    }
};

// A private runtime folder (the trusted area of these tests), a fake administrator shell that
// records what it is asked to run and starts whatever helper a test wants, and a writer into
// the capture's named pipe.
class LiveCaptureFixture : public ::testing::Test {
public:
    using Starter = std::function<QFuture<std::string>(const std::string &command)>;

    void SetUp() override
    {
        ASSERT_TRUE(scratch.isValid());
        root = fs::canonical(scratch.path().toStdString()).string();
        runtime = root + "/runtime";
        ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
        if (const char *value = std::getenv("XDG_RUNTIME_DIR")) savedRuntime = value;
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }

    void TearDown() override
    {
        for (const auto &gate : gates) gate->release();
        monitor.reset();
        if (feed >= 0) ::close(feed);
        if (device >= 0) ::close(device);
        for (const pid_t child : children) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        if (savedRuntime) ::setenv("XDG_RUNTIME_DIR", savedRuntime->c_str(), 1);
        else ::unsetenv("XDG_RUNTIME_DIR");
    }

    LiveMonitor::Environment environment()
    {
        LiveMonitor::Environment e;
        e.startHelper = [this](const std::string &command, const std::string &prompt) {
            commands.push_back(command);
            prompts.push_back(prompt);
            fifo = shellWords(command).at(2);
            return starter(command);
        };
        e.trustedPrefix = runtime + "/";
        e.handshakeInterval = 5ms;
        e.readerPoll = 10ms;
        e.analysisDelay = 20ms;
        e.watchdogInterval = 20ms;
        e.now = [this] { return clock; };
        return e;
    }

    LiveMonitor &make(LiveMonitor::Environment e)
    {
        monitor = std::make_unique<LiveMonitor>(std::move(e));
        monitor->setOnAnalysis([this](const std::vector<Finding> &findings, const std::vector<AuditRecord> &analysed) {
            passes.push_back({analysed, findings});
        });
        monitor->setOnUnexpectedStop([this](const QString &message) { stops.push_back(message.toStdString()); });
        return *monitor;
    }
    LiveMonitor &make() { return make(environment()); }

    std::string folder() const { return fs::path(fifo).parent_path().string(); }

    void writeStatus(const std::string &text) const
    {
        std::ofstream(folder() + "/helper.status", std::ios::binary) << text;
    }

    // A helper that is already running: the status names a live process (this one by default).
    Starter reporting(std::string status)
    {
        return [this, status](const std::string &) {
            writeStatus(status);
            return launched();
        };
    }
    Starter readyHelper() { return reporting("pid " + std::to_string(::getpid()) + "\n"); }

    std::vector<std::string> captureFolders() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(runtime)) names.push_back(entry.path().filename().string());
        return names;
    }

    bool waitForState(const State &state, int timeoutMs = 5000)
    {
        return waitUntil([&] { return monitor->state() == state; }, timeoutMs);
    }

    void startRunning()
    {
        monitor->start();
        ASSERT_TRUE(waitForState(LiveMonitor::Running{})) << describe(monitor->state());
    }

    void stop()
    {
        monitor->cleanup();
        monitor->setState(LiveMonitor::Idle{});
    }

    // Writes into the capture's named pipe as the helper would, and waits until the reader has
    // taken every byte, so each call is one read of its own.
    void send(const Bytes &bytes)
    {
        if (feed < 0) feed = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(feed, 0);
        ASSERT_LE(bytes.size(), size_t(PIPE_BUF)) << "larger writes may be split between reads";
        ASSERT_EQ(::write(feed, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ASSERT_TRUE(waitUntil([&] {
            int waiting = 0;
            return ::ioctl(feed, FIONREAD, &waiting) == 0 && waiting == 0;
        }));
    }
    void sendAndWait(const Bytes &bytes, int64_t expectedTotal)
    {
        send(bytes);
        ASSERT_TRUE(waitUntil([&] { return monitor->totalReceived() == expectedTotal; }));
    }
    void closeFeed()
    {
        if (feed >= 0) ::close(feed);
        feed = -1;
    }

    // The real helper in a child process of its own, reading from a named pipe that stands in
    // for the audit pipe.
    Starter helperProcess()
    {
        return [this](const std::string &command) {
            startHelperProcess(command);
            return launched();
        };
    }
    void startHelperProcess(const std::string &command)
    {
        const std::vector<std::string> words = shellWords(command);
        const std::optional<AuditPipeHelper::Arguments> arguments = AuditPipeHelper::parseArguments(
            5, std::vector<const char *>{"q", words[1].c_str(), words[2].c_str(), words[3].c_str(), words[4].c_str()}
                   .data());
        ASSERT_TRUE(arguments);
        const std::string devicePath = root + "/auditpipe";
        if (device < 0) {
            ASSERT_EQ(::mkfifo(devicePath.c_str(), 0600), 0);
            device = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        }
        // Run as root, a folder made by this test would belong to root, which the helper rightly
        // refuses; in use it belongs to the user.
        const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
        if (::geteuid() == 0) {
            ::chown(fs::path(arguments->fifoPath).parent_path().c_str(), user, user);
            ::chown(arguments->fifoPath.c_str(), user, user);
        }
        const AuditPipeHelper::Places places{devicePath, runtime + "/"};
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("PKEXEC_UID", std::to_string(user).c_str(), 1); // as pkexec does
            ::closefrom(3);                                          // above all the test's own end of the named pipe
            ::_exit(AuditPipeHelper::run(*arguments, places));
        }
        children.push_back(child);
    }
    void sendToDevice(const Bytes &bytes)
    {
        ASSERT_EQ(::write(device, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    int helperExit()
    {
        const int status = waitForExit(children.back(), helperExitGuardMs);
        children.pop_back();
        return status;
    }

    // An analyser that waits for the test: it marks what it analysed and reports one finding.
    std::shared_ptr<Gate> gatedAnalysis(LiveMonitor::Environment &e)
    {
        auto gate = std::make_shared<Gate>();
        gates.push_back(gate);
        e.analyse = [gate](std::vector<AuditRecord> records) {
            std::unique_lock guard(gate->lock);
            ++gate->started;
            gate->changed.wait(guard, [&] { return gate->open; });
            for (AuditRecord &record : records) record.processImage = "analysed";
            Finding finding;
            finding.rule = "gate";
            return LiveMonitor::Analysis{std::move(records), {finding}};
        };
        return gate;
    }

    struct Pass {
        std::vector<AuditRecord> records;
        std::vector<Finding> findings;
    };

    QTemporaryDir scratch;
    std::string root;
    std::string runtime;
    std::optional<std::string> savedRuntime;
    Starter starter = [](const std::string &) { return launched(); };
    std::vector<std::string> commands;
    std::vector<std::string> prompts;
    std::string fifo;
    int feed = -1;
    int device = -1;
    std::vector<pid_t> children;
    std::vector<std::shared_ptr<Gate>> gates;
    double clock = 1700000000;
    std::unique_ptr<LiveMonitor> monitor;
    std::vector<Pass> passes;
    std::vector<std::string> stops;
};

inline std::vector<int64_t> ids(const std::vector<AuditRecord> &records)
{
    std::vector<int64_t> out;
    for (const AuditRecord &record : records) out.push_back(record.id);
    return out;
}

inline std::vector<int64_t> idRange(int64_t first, int64_t count)
{
    std::vector<int64_t> out;
    for (int64_t i = 0; i < count; ++i) out.push_back(first + i);
    return out;
}

} // namespace LiveCapture
