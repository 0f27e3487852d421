// Loading trails into the store, removing one, and the memory the store holds afterwards and at
// its peak. Two generated trails of about half a million records each, a million together.
// Figures are printed, not asserted: run StoreBench from a release build.

#include "Store/AuditStore.h"
#include "TrailGenerator.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr size_t trailBytes = 88u << 20;

// Large blocks are mapped, not taken from the heap arenas, so both counts are needed.
double heapInUseMB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / double(1 << 20);
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

class Trails {
public:
    Trails()
    {
        for (int i = 0; i < 2; ++i) {
            const BenchTrail::Bytes bytes = BenchTrail::make(trailBytes, 0x5eed + uint64_t(i));
            QFile file(url(i).toLocalFile());
            file.open(QIODevice::WriteOnly);
            file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        }
    }
    QUrl url(int i) const { return QUrl::fromLocalFile(m_dir.filePath(QString("trail-%1.bsm").arg(i))); }

private:
    QTemporaryDir m_dir;
};

const Trails &trails()
{
    static const Trails written;
    return written;
}

void settle(AuditStore &store, const QFuture<void> &operation)
{
    while (!operation.isFinished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    while (store.isFiltering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Lists the store let go of are freed in the background.
    QThreadPool::globalInstance()->waitForDone();
}

// Times `operation` on a store that `prepare` filled, and reports what the store holds after it
// (heap, file buffers included) and the resident set's peak during it, both above an empty store.
void measure(benchmark::State &state, const std::function<void(AuditStore &)> &prepare,
             const std::function<QFuture<void>(AuditStore &)> &operation)
{
    trails();
    malloc_trim(0);
    const double emptyHeap = heapInUseMB();
    const double emptyResident = residentMB();
    auto store = std::make_unique<AuditStore>();
    prepare(*store);
    resetPeak();
    for (auto _ : state) settle(*store, operation(*store));
    const double peak = peakResidentMB() - emptyResident;
    malloc_trim(0);
    const double held = heapInUseMB() - emptyHeap;
    state.counters["records"] = double(store->records().size());
    state.counters["held MB"] = held;
    state.counters["held bytes/record"] =
        store->records().empty() ? 0 : held * double(1 << 20) / double(store->records().size());
    state.counters["peak MB"] = peak;
    store.reset();
    malloc_trim(0);
}

void openFirstTrail(benchmark::State &state)
{
    measure(state, [](AuditStore &) {},
            [](AuditStore &store) { return store.open({trails().url(0)}, TrailSource::Kind::file); });
}
BENCHMARK(openFirstTrail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void openSecondTrail(benchmark::State &state)
{
    measure(
        state, [](AuditStore &store) { settle(store, store.open({trails().url(0)}, TrailSource::Kind::file)); },
        [](AuditStore &store) { return store.open({trails().url(1)}, TrailSource::Kind::file); });
}
BENCHMARK(openSecondTrail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void removeFirstTrail(benchmark::State &state)
{
    measure(
        state,
        [](AuditStore &store) {
            settle(store, store.open({trails().url(0), trails().url(1)}, TrailSource::Kind::file));
        },
        [](AuditStore &store) { return store.remove(store.sources().front().id); });
}
BENCHMARK(removeFirstTrail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
