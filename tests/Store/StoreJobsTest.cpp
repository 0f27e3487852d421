// The store's jobs under stress: failures in each phase of a load, the memory guard, rebuilds
// superseded by newer changes, closing everything and quitting in the middle of a load, and many
// files opened at once.

// Qt's checks of continuations stay on in every build: one test below is about them.
#undef QT_NO_DEBUG

#include "Store/AuditStore.h"

#include "Engine/Parser/BSMParser.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

namespace {

using TestBSM::Bytes;
using TestBSM::TrailRecordBuilder;

std::vector<std::string> names(const AuditStore &store)
{
    std::vector<std::string> out;
    for (const TrailSource &source : store.sources()) out.push_back(source.name);
    return out;
}

// Work on the Qt pool one task at a time, in the order started.
struct OneThread {
    int were = QThreadPool::globalInstance()->maxThreadCount();
    OneThread() { QThreadPool::globalInstance()->setMaxThreadCount(1); }
    ~OneThread() { QThreadPool::globalInstance()->setMaxThreadCount(were); }
};

class StoreJobsTest : public ::testing::Test {
public:
    QUrl write(const QString &name, const Bytes &bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return QUrl::fromLocalFile(dir.filePath(name));
    }

    // Waits for the operation, the filter pass after it, and the loading state's end.
    void settle(const QFuture<void> &operation)
    {
        ASSERT_TRUE(
            waitUntil([&] { return operation.isFinished() && !store.isFiltering() && !store.isLoading(); }, 60000));
    }

    // Each case starts from one trail loaded and published alone; returns its analysis.
    AnalysisSnapshot startOver()
    {
        store.closeAll();
        settle(store.open({write("kept.bsm", TestBSM::openReadRecords(3, 1700000000))}, TrailSource::Kind::file));
        EXPECT_EQ(store.records().size(), 3u);
        return store.analysisSnapshot();
    }

    // The store as it was before a failed operation, and able to go on: the records on show are
    // the same (the very same snapshot when the operation was undone), and later loads and
    // removals work.
    void expectUndoneAndUsable(const AnalysisSnapshot &before, bool undone = true)
    {
        EXPECT_EQ(names(store), std::vector<std::string>{"kept.bsm"});
        if (undone) {
            EXPECT_EQ(store.analysisSnapshot(), before);
        }
        EXPECT_EQ(store.records().size(), before->records->size());
        EXPECT_EQ(store.unpublishedSources(), 0u);
        EXPECT_FALSE(store.isLoading());
        EXPECT_TRUE(store.record(store.records().front().id));
        store.setCheckpointHook({});
        settle(store.open({write("later.bsm", TestBSM::openReadRecords(2, 1700000100))}, TrailSource::Kind::file));
        EXPECT_EQ(names(store), (std::vector<std::string>{"kept.bsm", "later.bsm"}));
        EXPECT_EQ(store.records().size(), 5u);
        settle(store.remove(store.sources().front().id));
        EXPECT_EQ(store.records().size(), 2u);
    }

    // A hook that holds the first checkpoint of a phase until released.
    struct Hold {
        LoadPhase phase;
        QSemaphore reached, release;
        std::atomic<bool> armed{true};

        explicit Hold(LoadPhase phase) : phase(phase) {}
        void operator()(LoadPhase at, bool)
        {
            if (at != phase || !armed.exchange(false)) return;
            reached.release();
            release.acquire();
        }
        bool waitReached()
        {
            return waitUntil([&] { return reached.available() > 0; }, 30000);
        }
    };

    QTemporaryDir dir;
    // The reach of the protected parts.
    class Store : public AuditStore {
    public:
        using AuditStore::importSource;
        using AuditStore::unpublishedSources;
    } store;
};

// A failed allocation in any phase ends the operation and undoes it; the analysis on show stays,
// the store leaves the loading state and takes the next operation.
TEST_F(StoreJobsTest, AnAllocationFailureUndoesTheOperation)
{
    const struct Case {
        const char *name;
        LoadPhase phase;
        bool removal;
        const char *error;
    } cases[] = {
        {"reading", LoadPhase::read, false, "Couldn't read a.bsm: not enough memory to analyse it"},
        {"decoding", LoadPhase::parse, false, "Couldn't read a.bsm: not enough memory to analyse it"},
        {"analysing an open", LoadPhase::analysis, false, "Couldn't read a.bsm: not enough memory to analyse it"},
        {"analysing after a removal", LoadPhase::analysis, true,
         "Couldn't remove kept.bsm: not enough memory to analyse the other trails"},
    };
    const QUrl a = write("a.bsm", TestBSM::openReadRecords(4, 1700000010));
    const QUrl b = write("b.bsm", TestBSM::openReadRecords(5, 1700000020));
    // One thread takes the files in turn, so the failure is b's, after a was added.
    const OneThread oneThread;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const AnalysisSnapshot before = startOver();
        std::atomic<int> starts{0};
        const int failing = c.phase == LoadPhase::analysis ? 1 : 2;
        store.setCheckpointHook([&, phase = c.phase](LoadPhase at, bool starting) {
            if (at == phase && starting && ++starts == failing) throw std::bad_alloc();
        });
        QSignalSpy records(&store, &AuditStore::recordsChanged);
        const QFuture<void> operation = c.removal ? store.remove(store.sources().front().id)
                                                  : store.open({a, b}, TrailSource::Kind::file);
        settle(operation);
        EXPECT_TRUE(operation.isCanceled()) << "an undone operation must not read as done";
        EXPECT_GE(starts.load(), failing) << "the failure was never injected";
        EXPECT_EQ(store.lastError().toStdString(), c.error);
        EXPECT_EQ(records.count(), 0);
        expectUndoneAndUsable(before);
    }
}

// The guard stops a load that would take more memory than there is, in whichever phase it
// crosses the line: the file alone while it is read or decoded, the whole call while it is
// analysed. What was loaded before stays.
TEST_F(StoreJobsTest, TheMemoryGuardStopsALoadInAnyPhase)
{
    const QUrl big = write("big.bsm", TestBSM::openReadRecords(50, 1700000050));
    for (const LoadPhase phase : {LoadPhase::read, LoadPhase::parse, LoadPhase::analysis}) {
        SCOPED_TRACE(int(phase));
        const AnalysisSnapshot before = startOver();
        // 100 MB free, and the load growing by 200 MB in the phase at hand.
        std::atomic<uint64_t> resident{uint64_t(1) << 30};
        store.setMemoryProbe([] { return std::optional<uint64_t>(100000000); });
        store.setResidentProbe([&] { return resident.load(); });
        store.setCheckpointHook([&](LoadPhase at, bool) {
            if (at == phase) resident += 200000000;
        });
        const QFuture<void> load = store.open({big}, TrailSource::Kind::file);
        settle(load);
        // Only an analysis refused undoes the call; a file refused alone is skipped.
        EXPECT_EQ(load.isCanceled(), phase == LoadPhase::analysis);
        const std::string error = store.lastError().toStdString();
        EXPECT_TRUE(error.starts_with("Couldn't read big.bsm: loading it needs about ")) << error;
        EXPECT_TRUE(error.ends_with(" of memory, and 90.0 MB is available")) << error;
        store.setMemoryProbe(Memory::available);
        store.setResidentProbe(Memory::resident);
        // Refused while it is read or decoded, the file is skipped and the others' rebuild runs.
        expectUndoneAndUsable(before, phase == LoadPhase::analysis);
    }
}

// A file that fails ends its whole call: the other files of it, still being read, stop at their
// next checkpoint instead of being read and decoded for nothing.
TEST_F(StoreJobsTest, AFailedFileStopsTheRestOfItsCall)
{
    const QUrl a = write("a.bsm", TestBSM::openReadRecords(4, 1700000010));
    const QUrl b = write("b.bsm", TestBSM::openReadRecords(5, 1700000020));
    const QUrl c = write("c.bsm", TestBSM::openReadRecords(6, 1700000030));
    const OneThread oneThread;
    const AnalysisSnapshot before = startOver();
    std::atomic<int> reads{0}, afterFailure{0};
    std::atomic<bool> failed{false};
    QSemaphore reached, release;
    store.setCheckpointHook([&](LoadPhase phase, bool starting) {
        if (failed) {
            ++afterFailure;
            return;
        }
        if (phase != LoadPhase::read || !starting) return;
        const int read = ++reads;
        // a fails; b is held until the failure has ended the call.
        if (read == 1) throw std::bad_alloc();
        if (read == 2) {
            reached.release();
            release.acquire();
        }
    });
    settle(store.open({a, b, c}, TrailSource::Kind::file));
    // b may be stopped before it starts reading, when the failure ends the call first.
    ASSERT_TRUE(waitUntil([&] { return reached.available() > 0 || !store.lastError().isEmpty(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return !store.lastError().isEmpty(); }, 30000));
    EXPECT_EQ(store.lastError().toStdString(), "Couldn't read a.bsm: not enough memory to analyse it");
    failed = true;
    release.release();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(afterFailure.load(), 0) << "the other files were read on after the call failed";
    expectUndoneAndUsable(before);
}

// A file of a load that closeAll() dropped may finish while a later load runs: it belongs to no
// one, and the trail closed does not come back.
TEST_F(StoreJobsTest, AFileOfAClosedLoadIsTakenUpByNoOne)
{
    const QUrl a = write("a.bsm", TestBSM::openReadRecords(4, 1700000010));
    const QUrl b = write("b.bsm", TestBSM::openReadRecords(5, 1700000020));
    startOver();
    Hold decodingA(LoadPhase::parse), readingB(LoadPhase::read);
    readingB.armed = false;
    store.setCheckpointHook([&](LoadPhase phase, bool starting) {
        decodingA(phase, starting);
        readingB(phase, starting);
    });
    const QFuture<void> first = store.open({a}, TrailSource::Kind::file);
    ASSERT_TRUE(decodingA.waitReached());
    store.closeAll();
    EXPECT_TRUE(first.isFinished());
    readingB.armed = true;
    const QFuture<void> second = store.open({b}, TrailSource::Kind::file);
    ASSERT_TRUE(readingB.waitReached());
    // a's decode ends and its result reaches the store while b's load is the one under way.
    decodingA.release.release();
    ASSERT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() <= 1; }, 30000));
    QCoreApplication::processEvents();
    readingB.release.release();
    settle(second);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(names(store), std::vector<std::string>{"b.bsm"});
    EXPECT_EQ(store.records().size(), 5u);
    for (const AuditRecord &record : store.records()) EXPECT_EQ(record.source, store.sources().front().id);
}

// A rebuild superseded after it merged gives its records back as one list, and a source removed
// meanwhile has records in it: the rebuild that takes the list leaves them out.
TEST_F(StoreJobsTest, RecordsGivenBackOfASourceRemovedMeanwhileStayOut)
{
    store.setThreads(1);
    startOver();
    const auto recordsOf = [](uint32_t first) {
        std::vector<AuditRecord> records;
        for (uint32_t i = 0; i < 300; ++i)
            records.push_back(*BSMParser::makeRecord(TestBSM::openReadRecords(1, first + i), 0, 0));
        return records;
    };
    // How many checkpoints the analysis of this change passes, to hold the superseded one at its
    // last, well after its records were merged.
    std::atomic<int> analysed{0};
    store.setCheckpointHook([&](LoadPhase phase, bool) { analysed += phase == LoadPhase::analysis; });
    settle(store.importSource(TrailSource(), recordsOf(1700001000)));
    const int last = analysed.load();
    ASSERT_GE(last, 3);
    settle(store.remove(store.sources().back().id));
    ASSERT_EQ(store.records().size(), 3u);

    std::atomic<int> reached{0};
    QSemaphore held, release;
    store.setCheckpointHook([&](LoadPhase phase, bool) {
        if (phase != LoadPhase::analysis || ++reached != last) return;
        held.release();
        release.acquire();
    });
    const QFuture<void> import = store.importSource(TrailSource(), recordsOf(1700002000));
    ASSERT_TRUE(waitUntil([&] { return held.available() > 0; }, 30000));
    const QFuture<void> removal = store.remove(store.sources().front().id);
    release.release();
    settle(removal);
    EXPECT_TRUE(import.isFinished());
    ASSERT_EQ(store.sources().size(), 1u);
    EXPECT_EQ(store.records().size(), 300u);
    for (const AuditRecord &record : store.records()) EXPECT_EQ(record.source, store.sources().front().id);
}

// The figure in a refusal: what the load held when it was stopped, the part that grows with the
// bytes decoded carried on to the whole file.
TEST_F(StoreJobsTest, TheMemoryGuardsFigureCarriesTheDecodeOnToTheWholeFile)
{
    // Records of 256 bytes, so that the decode's checkpoints come every 65,536 bytes exactly.
    TestBSM::Bytes record =
        TrailRecordBuilder(72, 1700000000).subject().returnValue(0).text(std::string(184, 'x')).build();
    ASSERT_EQ(record.size(), 256u);
    TestBSM::Bytes bytes;
    for (int i = 0; i < 100 * 256; ++i) bytes.insert(bytes.end(), record.begin(), record.end());
    const QUrl big = write("big.bsm", bytes);
    startOver();
    store.setThreads(1);
    // 100 MB free, so room for 90 MB; each checkpoint of the decode 10 MB more. The tenth, a tenth
    // of the way through the file, is refused having taken 100 MB: 6.5536 MB of buffer, and 93.4464
    // MB that grows with the decode, ten times that for the whole file.
    std::atomic<uint64_t> resident{uint64_t(1) << 30};
    store.setMemoryProbe([] { return std::optional<uint64_t>(100000000); });
    store.setResidentProbe([&] { return resident.load(); });
    store.setCheckpointHook([&](LoadPhase phase, bool starting) {
        if (phase != LoadPhase::parse || starting) return;
        resident += 10000000;
        // Past the guard's once-a-millisecond reading of the resident set.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    settle(store.open({big}, TrailSource::Kind::file));
    EXPECT_EQ(store.lastError().toStdString(),
              "Couldn't read big.bsm: loading it needs about 941.0 MB of memory, and 90.0 MB is "
              "available");
    store.setMemoryProbe(Memory::available);
    store.setResidentProbe(Memory::resident);
}

// A rebuild whose sources change while it runs stops at its next checkpoint: no checkpoint of it
// passes between the change and the start of the rebuild that replaces it.
TEST_F(StoreJobsTest, ASupersededRebuildStopsAtItsNextCheckpoint)
{
    store.setThreads(1);
    std::mutex lock;
    std::vector<bool> analysis; // each analysis checkpoint: whether it starts a rebuild
    QSemaphore reached, release;
    store.setCheckpointHook([&](LoadPhase phase, bool starting) {
        if (phase != LoadPhase::analysis) return;
        bool first;
        {
            const std::lock_guard guard(lock);
            first = analysis.empty();
            analysis.push_back(starting);
        }
        if (first) {
            reached.release();
            release.acquire();
        }
    });
    std::vector<AuditRecord> records;
    for (int i = 0; i < 2000; ++i)
        records.push_back(*BSMParser::makeRecord(TestBSM::openReadRecords(1, 1700000000 + i), 0, 0));
    const QFuture<void> first = store.importSource(TrailSource(), std::move(records));
    ASSERT_TRUE(waitUntil([&] { return reached.available() > 0; }, 30000));
    QSignalSpy published(&store, &AuditStore::recordsChanged);
    const QFuture<void> second = store.importLive(
        {*BSMParser::makeRecord(TestBSM::openReadRecords(1, 1800000000), 0, 0)});
    release.release();
    settle(second);

    EXPECT_TRUE(first.isFinished());
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(store.records().size(), 2001u);
    const std::lock_guard guard(lock);
    ASSERT_GE(analysis.size(), 2u);
    // The held start, then straight away the start of the rebuild after it.
    EXPECT_TRUE(analysis[0]);
    EXPECT_TRUE(analysis[1]) << "the superseded rebuild went on past the change";
    EXPECT_EQ(std::count(analysis.begin(), analysis.end(), true), 2);
}

// closeAll() empties the store at once, whatever is under way, and what was under way stops.
TEST_F(StoreJobsTest, CloseAllDuringALoadActsAtOnce)
{
    const QUrl a = write("a.bsm", TestBSM::openReadRecords(4, 1700000010));
    for (const LoadPhase phase : {LoadPhase::read, LoadPhase::parse, LoadPhase::analysis}) {
        SCOPED_TRACE(int(phase));
        startOver();
        Hold hold(phase);
        std::atomic<int> afterClose{0};
        std::atomic<bool> closed{false};
        store.setCheckpointHook([&](LoadPhase at, bool starting) {
            if (closed) ++afterClose;
            hold(at, starting);
        });
        const QFuture<void> load = store.open({a}, TrailSource::Kind::file);
        const QFuture<void> queued = store.importLive({*BSMParser::makeRecord(TestBSM::openReadRecords(1, 1), 0, 0)});
        ASSERT_TRUE(hold.waitReached());

        store.closeAll();
        closed = true;
        EXPECT_TRUE(store.sources().empty());
        EXPECT_TRUE(store.records().empty());
        EXPECT_FALSE(store.isLoading());
        EXPECT_TRUE(load.isFinished());
        EXPECT_TRUE(queued.isFinished());

        hold.release.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        EXPECT_EQ(afterClose.load(), 0) << "the work went on after it was closed";
        EXPECT_TRUE(store.sources().empty());
        EXPECT_TRUE(store.records().empty());
        EXPECT_FALSE(store.isLoading());
        store.setCheckpointHook({});
    }
    settle(store.open({a}, TrailSource::Kind::file));
    EXPECT_EQ(store.records().size(), 4u);
}

// Ten thousand small files in one call: one rebuild, and the sources' signal a few times a second
// rather than once a file.
TEST_F(StoreJobsTest, ManyFilesInOneCallRebuildOnce)
{
    constexpr int files = 10000;
    QList<QUrl> urls;
    for (int i = 0; i < files; ++i)
        urls << write(QString("t%1.bsm").arg(i), TestBSM::openReadRecords(1, 1700000000 + uint32_t(i)));
    std::atomic<int> rebuilds{0};
    store.setCheckpointHook([&](LoadPhase phase, bool starting) {
        if (phase == LoadPhase::analysis && starting) ++rebuilds;
    });
    QSignalSpy sources(&store, &AuditStore::sourcesChanged), messages(&store, &AuditStore::loadingMessageChanged);
    QElapsedTimer timer;
    timer.start();
    settle(store.open(urls, TrailSource::Kind::file));
    const qint64 elapsed = timer.elapsed();

    EXPECT_EQ(store.sources().size(), size_t(files));
    EXPECT_EQ(store.records().size(), size_t(files));
    EXPECT_EQ(rebuilds.load(), 1);
    // At most one every quarter second, and the last.
    const qint64 allowed = elapsed / 250 + 2;
    EXPECT_LE(sources.count(), allowed) << elapsed << " ms";
    EXPECT_LE(messages.count(), allowed) << elapsed << " ms";
    EXPECT_EQ(store.loadingMessage(), "Analysing " + QLocale().toString(files).toStdString() + " records…");
}

// A store destroyed with its work's results still queued to it finishes the jobs it drops while
// it is whole: a continuation on the store is then let go with the store, rather than started
// on a store half destroyed (which Qt asserts against).
TEST_F(StoreJobsTest, DestroyingTheStoreMidLoadFinishesItsJobs)
{
    const QUrl a = write("a.bsm", TestBSM::openReadRecords(4, 1700000010));
    auto doomed = std::make_unique<AuditStore>();
    QFuture<void> load = doomed->open({a}, TrailSource::Kind::file);
    QFuture<void> queued = doomed->remove(1);
    bool continued = false;
    load.then(doomed.get(), [&] { continued = true; });
    queued.then(doomed.get(), [&] { continued = true; });
    // The file is read and decoded; the result waits in the store's queue, holding the load.
    QThreadPool::globalInstance()->waitForDone();
    doomed.reset();
    EXPECT_TRUE(load.isFinished());
    EXPECT_TRUE(queued.isFinished());
    QCoreApplication::processEvents();
    EXPECT_FALSE(continued);
}

// Quitting in the middle of a load: run in a child process, which quits while a file is being
// decoded. That it ends at all, with no checkpoint of the load passed after the quit and nothing
// published, is the sign that the load was stopped rather than waited for.
TEST(StoreQuit, QuittingDuringALoadEndsTheProcess)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("big.bsm"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const Bytes records = TestBSM::openReadRecords(200000, 1700000000);
    file.write(reinterpret_cast<const char *>(records.data()), qint64(records.size()));
    file.close();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUILLMARSH_QUIT_CHILD_TRAIL", file.fileName());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=StoreQuit.DISABLED_ChildQuitsDuringALoad"});
    ASSERT_TRUE(child.waitForFinished(120000)) << "the child did not end";
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    const auto match = QRegularExpression("held (\\d), after quit: (\\d+) checkpoints, (\\d+) published").match(output);
    ASSERT_TRUE(match.hasMatch()) << output.toStdString();
    EXPECT_EQ(match.captured(1).toInt(), 1) << "the load never got under way";
    EXPECT_EQ(match.captured(3).toInt(), 0);
    // Threads already past their checkpoint when it quit may reach one more each.
    EXPECT_LE(match.captured(2).toInt(), int(std::thread::hardware_concurrency()));
}

// The child's part, run only by the test above.
TEST(StoreQuit, DISABLED_ChildQuitsDuringALoad)
{
    const QString trail = qEnvironmentVariable("QUILLMARSH_QUIT_CHILD_TRAIL");
    if (trail.isEmpty()) GTEST_SKIP() << "run by QuittingDuringALoadEndsTheProcess";
    std::atomic<bool> quitting{false};
    std::atomic<int> after{0};
    // Before the store's own: the held checkpoint lets go as the quit begins.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitting = true; });
    int published = 0;
    std::atomic<bool> held{false};
    {
        AuditStore store;
        QObject::connect(&store, &AuditStore::recordsChanged, [&] { ++published; });
        store.setCheckpointHook([&](LoadPhase phase, bool) {
            if (quitting) {
                ++after;
                return;
            }
            // The decode is under way: quit, and hold it here until the quit has begun.
            if (phase != LoadPhase::parse || held.exchange(true)) return;
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            while (!quitting) QThread::msleep(1);
        });
        store.open({QUrl::fromLocalFile(trail)}, TrailSource::Kind::file);
        QTimer::singleShot(60000, qApp, &QCoreApplication::quit); // a guard, should the load never start
        QCoreApplication::exec();
        // As the application does before it ends, with the store, which outlives it, still there.
        QThreadPool::globalInstance()->waitForDone();
        std::printf("held %d, after quit: %d checkpoints, %d published\n", int(held.load()), after.load(), published);
    }
    std::fflush(stdout);
}

} // namespace
