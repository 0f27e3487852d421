// Loading trails into the store, removing one, and the memory the store holds afterwards and at
// its peak. Two generated trails of about half a million records each, a million together, one
// trail of a million small records (~130 bytes, a plain open's size), one of two million tiny
// ones (a bare 18-byte header), which shows what a record costs beyond its own bytes, and a busy
// host's million records with 150,000 process images, where the process tree weighs. The phases
// of one load are timed on their own by the engine's steps. The ssh host's trail has the shape of
// a host people log in to (busyHost with sshHost set): a million records, 129 MB. Figures are
// printed, not asserted: run StoreBench from a release build. With STOREBENCH_TRAILS naming a
// folder, the trails are kept there and reused by later runs, so a run times the load alone.

#include "Engine/Analysis/Detections.h"
#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Analysis/TrailAnalysis.h"
#include "Engine/Analysis/TrailStats.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Support/Memory.h"
#include "Engine/Support/Parallel.h"
#include "Store/AuditStore.h"
#include "Store/TrailFile.h"
#include "support/TrailGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr size_t trailBytes = 88u << 20;

// Large blocks are mapped, not taken from the heap arenas, so both counts are needed, and trail
// buffers are mapped by the engine itself.
double heapInUseMB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd + Memory::mappedBytes()) / double(1 << 20);
}

// The resident set's high-water mark, from the last reset on.
double peakResidentMB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

double residentMB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void resetPeak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

constexpr size_t smallRecords = 1000000;

// A million opens of ~130 bytes each: header, subject, path, return and trailer.
GeneratedTrail::Bytes smallRecordTrail()
{
    using namespace TestBSM;
    GeneratedTrail::Random random(0x5a11);
    GeneratedTrail::Bytes trail;
    trail.reserve(smallRecords * 132);
    uint32_t seconds = 1714564800;
    for (size_t i = 0; i < smallRecords; ++i) {
        seconds += uint32_t(random.below(2));
        Subject subject;
        subject.pid = 300 + uint32_t(random.below(400));
        const GeneratedTrail::Bytes record = TrailRecordBuilder(72, seconds, uint32_t(random.below(1000)))
                                                 .subject(subject)
                                                 .path(random.pick(GeneratedTrail::files))
                                                 .returnValue(0)
                                                 .build();
        trail.insert(trail.end(), record.begin(), record.end());
    }
    return trail;
}

// Two million records of a header alone, 18 bytes: what a record costs beyond its bytes.
GeneratedTrail::Bytes tinyRecordTrail()
{
    GeneratedTrail::Bytes trail;
    trail.reserve(2 * smallRecords * 18);
    for (uint32_t i = 0; i < 2 * smallRecords; ++i) {
        const GeneratedTrail::Bytes record = TestBSM::Token::header(18, 72, 1714564800 + i / 1000, i % 1000);
        trail.insert(trail.end(), record.begin(), record.end());
    }
    return trail;
}

constexpr int trailCount = 6;

// Written on first use, so a run of one benchmark writes only the trails it needs.
class Trails {
public:
    // 0 and 1: the mix; 2: the small records; 3: the tiny ones; 4: the busy host; 5: the ssh host.
    QUrl url(int i)
    {
        write(i);
        return QUrl::fromLocalFile(path(i));
    }
    double bytes(int i)
    {
        write(i);
        return m_bytes[i];
    }

private:
    QString path(int i) const
    {
        const QString name = QString("trail-%1.bsm").arg(i);
        const QByteArray kept = qgetenv("STOREBENCH_TRAILS");
        return kept.isEmpty() ? m_dir.filePath(name) : QDir(QString::fromLocal8Bit(kept)).filePath(name);
    }
    void write(int i)
    {
        if (m_bytes[i] != 0) return;
        if (const qint64 size = QFileInfo(path(i)).size();
            size > 0 && !qEnvironmentVariableIsEmpty("STOREBENCH_TRAILS")) {
            m_bytes[i] = double(size);
            return;
        }
        const GeneratedTrail::Bytes bytes = i < 2    ? GeneratedTrail::mixed(trailBytes, 0x5eed + uint64_t(i))
                                            : i == 2 ? smallRecordTrail()
                                            : i == 3 ? tinyRecordTrail()
                                            : i == 4 ? GeneratedTrail::busyHost()
                                                     : GeneratedTrail::busyHost({.sshHost = true});
        m_bytes[i] = double(bytes.size());
        QFile file(path(i));
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }

    QTemporaryDir m_dir;
    double m_bytes[trailCount] = {};
};

Trails &trails()
{
    static Trails written;
    return written;
}

void settle(AuditStore &store, const QFuture<void> &operation)
{
    while (!operation.isFinished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (store.isFiltering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Lists the store let go of are freed in the background.
    QThreadPool::globalInstance()->waitForDone();
}

struct CpuSeconds {
    double user = 0, system = 0;
};

CpuSeconds cpuSeconds()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

// Times `operation` on a store that `prepare` filled, and reports what the store holds after it
// (heap, file buffers included; and the resident set) and the resident set's peak during it, all
// above an empty store, and how many cores were busy on average while it ran.
void measure(benchmark::State &state, std::initializer_list<int> used, const std::function<void(AuditStore &)> &prepare,
             const std::function<QFuture<void>(AuditStore &)> &operation, double trailBytesHeld)
{
    for (int trail : used) trails().url(trail);
    malloc_trim(0);
    const double emptyHeap = heapInUseMB();
    const double emptyResident = residentMB();
    auto store = std::make_unique<AuditStore>();
    prepare(*store);
    resetPeak();
    const CpuSeconds cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    for (auto _ : state) settle(*store, operation(*store));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const CpuSeconds cpuAfter = cpuSeconds();
    const double user = cpuAfter.user - cpuBefore.user, system = cpuAfter.system - cpuBefore.system;
    state.counters["CPU/wall"] = (user + system) / wall;
    state.counters["user s"] = user;
    state.counters["system s"] = system;
    state.counters["system/user"] = user > 0 ? system / user : 0;
    const double peak = peakResidentMB() - emptyResident;
    malloc_trim(0);
    const double held = heapInUseMB() - emptyHeap;
    state.counters["resident/trail"] = (residentMB() - emptyResident) * double(1 << 20) / trailBytesHeld;
    state.counters["records"] = double(store->records().size());
    state.counters["held MB"] = held;
    state.counters["held bytes/record"] = store->records().empty()
                                              ? 0
                                              : held * double(1 << 20) / double(store->records().size());
    state.counters["beyond trail bytes/record"] = store->records().empty() ? 0
                                                                           : (held * double(1 << 20) - trailBytesHeld)
                                                                                 / double(store->records().size());
    state.counters["peak MB"] = peak;
    state.counters["held/trail"] = held * double(1 << 20) / trailBytesHeld;
    state.counters["peak/trail"] = peak * double(1 << 20) / trailBytesHeld;
    store.reset();
    malloc_trim(0);
}

void openFirstTrail(benchmark::State &state)
{
    measure(
        state, {0}, [](AuditStore &) {},
        [](AuditStore &store) { return store.open({trails().url(0)}, TrailSource::Kind::file); }, trails().bytes(0));
}
BENCHMARK(openFirstTrail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void openSecondTrail(benchmark::State &state)
{
    measure(
        state, {0, 1}, [](AuditStore &store) { settle(store, store.open({trails().url(0)}, TrailSource::Kind::file)); },
        [](AuditStore &store) { return store.open({trails().url(1)}, TrailSource::Kind::file); },
        trails().bytes(0) + trails().bytes(1));
}
BENCHMARK(openSecondTrail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void removeFirstTrail(benchmark::State &state)
{
    measure(
        state, {0, 1},
        [](AuditStore &store) {
            settle(store, store.open({trails().url(0), trails().url(1)}, TrailSource::Kind::file));
        },
        [](AuditStore &store) { return store.remove(store.sources().front().id); }, trails().bytes(1));
}
BENCHMARK(removeFirstTrail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void openSmallRecords(benchmark::State &state)
{
    measure(
        state, {2}, [](AuditStore &) {},
        [](AuditStore &store) { return store.open({trails().url(2)}, TrailSource::Kind::file); }, trails().bytes(2));
}
BENCHMARK(openSmallRecords)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Held beyond the trail's own bytes, per record, is what the tiny records show.
void openTinyRecords(benchmark::State &state)
{
    measure(
        state, {3}, [](AuditStore &) {},
        [](AuditStore &store) { return store.open({trails().url(3)}, TrailSource::Kind::file); }, trails().bytes(3));
}
BENCHMARK(openTinyRecords)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A million records of a busy host, 150,000 of them execs: load and analysis, the tree's share
// included.
void openBusyHost(benchmark::State &state)
{
    measure(
        state, {4}, [](AuditStore &) {},
        [](AuditStore &store) { return store.open({trails().url(4)}, TrailSource::Kind::file); }, trails().bytes(4));
}
BENCHMARK(openBusyHost)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The ssh host's million records: the trail the store is judged by.
void openSshHost(benchmark::State &state)
{
    measure(
        state, {5}, [](AuditStore &) {},
        [](AuditStore &store) { return store.open({trails().url(5)}, TrailSource::Kind::file); }, trails().bytes(5));
}
BENCHMARK(openSshHost)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ten thousand trails of one record each, opened in one call: what the store alone needs for them,
// reading, decoding, one rebuild and the signals it sends meanwhile.
void openManySmallTrails(benchmark::State &state)
{
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (int i = 0; i < 10000; ++i) {
        const GeneratedTrail::Bytes bytes = TestBSM::openReadRecords(1, 1714564800 + uint32_t(i));
        QFile file(dir.filePath(QString("t%1.bsm").arg(i)));
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        urls << QUrl::fromLocalFile(file.fileName());
    }
    for (auto _ : state) {
        AuditStore store;
        int sources = 0, messages = 0;
        QObject::connect(&store, &AuditStore::sourcesChanged, [&] { ++sources; });
        QObject::connect(&store, &AuditStore::loadingMessageChanged, [&] { ++messages; });
        settle(store, store.open(urls, TrailSource::Kind::file));
        state.counters["sources"] = double(store.sources().size());
        state.counters["sourcesChanged"] = sources;
        state.counters["loadingMessageChanged"] = messages;
    }
}
BENCHMARK(openManySmallTrails)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Quitting while the busy host's trail loads: how long the store takes to stop its work and let
// go of what it held, once its load is in the given phase. The store is destroyed as the
// application ends; the pool's last tasks free what it held.
void destroyMidLoad(benchmark::State &state, LoadPhase phase)
{
    const QUrl url = trails().url(4);
    for (auto _ : state) {
        auto store = std::make_unique<AuditStore>();
        std::atomic<bool> reached{false};
        store->setCheckpointHook([&](LoadPhase at, bool) {
            if (at == phase) reached = true;
        });
        const QFuture<void> load = store->open({url}, TrailSource::Kind::file);
        while (!reached) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        // Well inside the phase, not at its first checkpoint.
        QThread::msleep(30);
        const auto start = std::chrono::steady_clock::now();
        store.reset();
        QThreadPool::globalInstance()->waitForDone();
        state.counters["quit ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
}
BENCHMARK_CAPTURE(destroyMidLoad, reading, LoadPhase::read)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(destroyMidLoad, decoding, LoadPhase::parse)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(destroyMidLoad, analysing, LoadPhase::analysis)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The steps of one load as the store runs them, each timed: reading the file, decoding it, the
// sort, the process tree, the detections beside the statistics, and the id index (which the store
// makes beside the detections too), and what each step keeps in memory per record.
void loadPhases(benchmark::State &state, int trail)
{
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::time_point from) {
        return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
    };
    const QUrl url = trails().url(trail);
    Parallel::Pool &pool = Parallel::Pool::shared();
    const unsigned threads = pool.threads();
    for (auto _ : state) {
        double heldBefore = heapInUseMB();
        size_t count = 1;
        const auto kept = [&](const char *name) {
            const double now = heapInUseMB();
            state.counters[name] = (now - heldBefore) * double(1 << 20) / double(count);
            heldBefore = now;
        };
        auto start = Clock::now();
        TrailFile::Contents contents = TrailFile::read(url.toLocalFile().toStdString(), pool);
        state.counters["read ms"] = ms(start);
        start = Clock::now();
        BSMParser::TrailResult parsed = BSMParser::parseFile(contents.bytes, 1, 1, pool,
                                                             int64_t(contents.bytes->size() / (threads * 4)) + 1);
        state.counters["parse ms"] = ms(start);
        state.counters["parse GB/s"] = double(contents.bytes->size()) / 1e6 / state.counters["parse ms"];
        // Reversed halves, so the sort has the work of two interleaved sources.
        std::vector<AuditRecord> records = std::move(parsed.records);
        count = std::max<size_t>(records.size(), 1);
        state.counters["read B/rec"] = double(contents.bytes->size()) / double(count);
        kept("parse B/rec");
        // What the decoding keeps beside the trail: the record array, and the storage of their parts.
        state.counters["record array B/rec"] = double(records.capacity() * sizeof(AuditRecord)) / double(count);
        state.counters["record storage B/rec"] = state.counters["parse B/rec"] - state.counters["read B/rec"]
                                                 - state.counters["record array B/rec"];
        std::reverse(records.begin(), records.begin() + std::ptrdiff_t(records.size() / 2));
        start = Clock::now();
        TrailAnalysis::sortByTime(records, pool);
        state.counters["sort ms"] = ms(start);
        start = Clock::now();
        const ProcessTree tree = ProcessGraph::build(records, pool);
        state.counters["tree ms"] = ms(start);
        kept("tree B/rec");
        start = Clock::now();
        std::vector<Finding> findings;
        TrailStats stats;
        StoreAnalysis index;
        pool.both([&] { findings = Detections::run(records, pool); },
                  [&] { stats = TrailStats::compute(records, pool); });
        state.counters["detections+stats ms"] = ms(start);
        kept("detections+stats B/rec");
        start = Clock::now();
        index.indexPositions(records, pool);
        state.counters["index ms"] = ms(start);
        kept("index B/rec");
        start = Clock::now();
        benchmark::DoNotOptimize(Detections::run(records, pool));
        state.counters["detections ms"] = ms(start);
        start = Clock::now();
        benchmark::DoNotOptimize(Detections::run(records, Parallel::Pool::single()));
        state.counters["detections 1t ms"] = ms(start);
        state.counters["records"] = double(records.size());
        state.counters["findings"] = double(findings.size());
        state.counters["images"] = double(tree.processes.size());
        state.counters["pids"] = double(stats.uniquePIDs);
        state.counters["trail MB"] = double(contents.bytes->size()) / double(1 << 20);
        benchmark::DoNotOptimize(findings);
    }
}
BENCHMARK_CAPTURE(loadPhases, mix, 0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(loadPhases, smallRecords, 2)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(loadPhases, tinyRecords, 3)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(loadPhases, busyHost, 4)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(loadPhases, sshHost, 5)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
