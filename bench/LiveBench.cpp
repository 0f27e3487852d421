// The Live Monitor under load: a capture whose buffer holds 20,000 records while 2,000 more arrive
// every second, fed through the real named pipe and reader (the helper's start is faked). Prints
// how often the live table updated in each second, how long each update took on the main thread,
// and whether the model was ever reset. Figures are printed, not asserted: run LiveBench from a
// release build.

#include "Services/LiveMonitor.h"
#include "Store/AuditStore.h"
#include "Views/Live/LiveRecordsModel.h"
#include "Views/Live/LiveView.h"
#include "support/TrailBuilder.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TestBSM::Bytes;

constexpr int buffered = 20000;
constexpr int perSecond = 2000;
constexpr int measuredSeconds = 8;
constexpr int burstsPerSecond = 20;

// Opens, reads, execs and failures in turn, so the rules and the filters have something to do.
Bytes records(int count, uint32_t firstSecond)
{
    Bytes out;
    for (int i = 0; i < count; ++i) {
        TestBSM::Subject subject;
        subject.pid = 1000 + uint32_t(i % 50);
        const uint32_t second = firstSecond + uint32_t(i / perSecond);
        const Bytes record = i % 7 == 0 ? TestBSM::TrailRecordBuilder(23, second)
                                              .subject(subject)
                                              .path("/usr/bin/curl")
                                              .execArgs({"curl", "-s", "http://x"})
                                              .returnValue(0)
                                              .build()
                                        : TestBSM::TrailRecordBuilder(72, second)
                                              .subject(subject)
                                              .path(i % 5 ? "/etc/hosts" : "/etc/master.passwd")
                                              .returnValue(i % 5 ? 0 : 13, i % 5 ? 0 : 1)
                                              .build();
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

void writeAll(int fd, const Bytes &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += size_t(n);
        else if (errno != EINTR) return;
    }
}

QString findFifo(const QString &folder)
{
    QDirIterator it(folder, QDir::System | QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISFIFO(info.st_mode)) return path;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir scratch;
    const QString runtime = QFileInfo(scratch.path()).canonicalFilePath() + "/runtime";
    QDir().mkpath(runtime);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));

    LiveMonitor::Environment environment;
    environment.trustedPrefix = runtime.toStdString() + "/";
    environment.startHelper = [runtime](const std::string &, const std::string &) {
        // The helper reports at once: this process stands in for it and writes the pipe itself.
        const QString fifo = findFifo(runtime);
        std::ofstream(QFile::encodeName(QFileInfo(fifo).absolutePath() + "/helper.status").toStdString())
            << "pid " << ::getpid() << "\n";
        return QtFuture::makeReadyFuture(std::string("\n"));
    };
    LiveMonitor live(environment);
    AuditStore store;
    LiveView view(ViewContext{&store, &live, nullptr});
    view.resize(1440, 900);
    view.show();

    int resets = 0;
    QObject::connect(view.recordsModel(), &QAbstractItemModel::modelAboutToBeReset, [&] { ++resets; });
    struct Update {
        double at; // seconds since the measurement began
        double ms; // main-thread time of the update
    };
    std::vector<Update> updates;
    QElapsedTimer clock;
    bool measuring = false;
    QObject::connect(&view, &LiveView::tableUpdated, [&](qint64 ns) {
        if (measuring) updates.push_back({double(clock.nsecsElapsed()) / 1e9, double(ns) / 1e6});
    });

    int analysedPublications = 0;
    QObject::connect(&live, &LiveMonitor::recordsChanged, [&] {
        if (measuring && live.recordsChange().analysed) ++analysedPublications;
    });

    live.start();
    while (!std::holds_alternative<LiveMonitor::Running>(live.state())) {
        if (const auto *failed = std::get_if<LiveMonitor::Failed>(&live.state())) {
            std::fprintf(stderr, "capture failed: %s\n", qUtf8Printable(failed->message));
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const QString fifo = findFifo(runtime);
    const int feed = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_CLOEXEC);
    if (feed < 0) {
        std::perror("open fifo");
        return 1;
    }

    // Fill the buffer, then wait until the table holds it and the first analysis pass is done.
    std::thread prefill([feed] { writeAll(feed, records(buffered, 1700000000)); });
    while (live.totalReceived() < buffered) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    prefill.join();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 2500) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("buffer: %zu records, table: %d rows, findings: %zu\n", live.records()->size(),
                view.recordsModel()->rowCount(), live.findings().size());

    // 2,000 a second in bursts of 100 from a writer thread; the main thread only runs its loop.
    resets = 0;
    measuring = true;
    clock.start();
    std::atomic<bool> done{false};
    std::thread writer([feed, &done] {
        const Bytes burst = records(perSecond / burstsPerSecond, 1700001000);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < measuredSeconds * burstsPerSecond; ++i) {
            std::this_thread::sleep_until(start + i * 1000ms / burstsPerSecond);
            writeAll(feed, burst);
        }
        done = true;
    });
    while (!done || clock.elapsed() < measuredSeconds * 1000 + 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    writer.join();
    measuring = false;

    std::map<int, int> perSecondCount;
    double worst = 0, total = 0;
    for (const Update &u : updates) {
        ++perSecondCount[int(u.at)];
        worst = std::max(worst, u.ms);
        total += u.ms;
    }
    int busiest = 0;
    for (const auto &[second, count] : perSecondCount) busiest = std::max(busiest, count);
    std::vector<double> sorted;
    for (const Update &u : updates) sorted.push_back(u.ms);
    std::sort(sorted.begin(), sorted.end());
    std::printf("received %lld records in %d s; buffer %zu, table %d rows\n",
                qlonglong(live.totalReceived() - buffered), measuredSeconds, live.records()->size(),
                view.recordsModel()->rowCount());
    std::printf("table updates: %zu, at most %d in any second (target <= 4)\n", updates.size(), busiest);
    if (!sorted.empty())
        std::printf("update time on the main thread: mean %.2f ms, median %.2f ms, worst %.2f ms (target < 20 ms)\n",
                    total / double(sorted.size()), sorted[sorted.size() / 2], worst);
    std::printf("analysed buffers adopted meanwhile (process images refreshed in place): %d\n", analysedPublications);
    std::printf("model resets while the buffer only grew or rolled: %d (target 0)\n", resets);

    ::close(feed);
    live.cleanup();
    live.setState(LiveMonitor::Idle{});
    return 0;
}
