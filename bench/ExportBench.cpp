// Exports 1,000,000 records to CSV and JSON. Reports throughput (bytes_per_second) and memory:
// records_MB is the resident size once the records are built, export_peak_MB how far the peak
// resident size rose during the export itself, which should stay near the writer's buffer.
#include "Engine/Record/RecordBuilder.h"
#include "Engine/Export/EventExporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <streambuf>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr size_t recordCount = 1'000'000;

double peakResidentMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double residentMB()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A mix like a busy trail: executions with arguments, file opens, failures, network records.
const std::vector<AuditRecord> &records()
{
    static const std::vector<AuditRecord> all = [] {
        std::vector<AuditRecord> list(recordCount);
        RecordBuilder builder(nullptr, recordCount * 64);
        for (size_t i = 0; i < list.size(); ++i) {
            AuditRecord &r = list[i];
            r.id = static_cast<int64_t>(i + 1);
            r.source = 1;
            r.time = 1709647629.0 + static_cast<double>(i) * 0.013;
            SubjectInfo s;
            s.auid = 501;
            s.euid = i % 7 == 0 ? 0 : 501;
            s.pid = static_cast<uint32_t>(1000 + i % 5000);
            s.sid = 100017;
            s.terminalAddress = i % 3 == 0 ? "10.0.0.5" : "0.0.0.0";
            builder.setSubject(s);
            r.processImage = i % 2 ? "/usr/bin/ssh" : "/bin/zsh";
            switch (i % 4) {
            case 0:
                r.event = 23;
                builder.setExecArgs({"ssh", "-o", "StrictHostKeyChecking=no", "user@host.example", "uptime"});
                builder.addPath("/usr/bin/ssh");
                builder.addPath("/usr/lib/dyld");
                break;
            case 1:
                r.event = 72;
                builder.addPath("/Users/orvik/Library/Preferences/com.example.settings.plist");
                r.returnStatus = i % 9 == 0 ? 13 : 0;
                break;
            case 2:
                r.event = 43190;
                builder.addSocket("192.168.1.20:443");
                builder.addText("connect, retry \"2\"");
                break;
            default:
                r.event = 6152;
                builder.addText("successful login orvik");
                break;
            }
            builder.finish(r, 0, 0);
        }
        builder.trim();
        return list;
    }();
    return all;
}

void exportToFile(benchmark::State &state, Exporter::Format format)
{
    const std::vector<AuditRecord> &list = records();
    const double before = residentMB();
    const double peakBefore = peakResidentMB();
    const std::filesystem::path path = std::filesystem::temp_directory_path()
                                       / ("quillmarsh-export-bench." + std::string(Exporter::fileExtension(format)));
    int64_t bytes = 0;
    for (auto _ : state) {
        Exporter::exportEvents(Exporter::RecordList::of(list), format, path.string());
        bytes += static_cast<int64_t>(std::filesystem::file_size(path));
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(bytes);
    state.counters["records_MB"] = before;
    state.counters["export_peak_MB"] = std::max(0.0, peakResidentMB() - std::max(before, peakBefore));
    state.counters["file_MB"] = static_cast<double>(bytes) / static_cast<double>(state.iterations())
                                / (1024.0 * 1024.0);
}

// Counts the bytes and drops them: the encoding alone, without the disk.
class CountingBuffer : public std::streambuf {
public:
    int64_t count = 0;

protected:
    std::streamsize xsputn(const char *, std::streamsize n) override
    {
        count += n;
        return n;
    }
    int_type overflow(int_type c) override
    {
        ++count;
        return c;
    }
};

void encodeOnly(benchmark::State &state, Exporter::Format format)
{
    const std::vector<AuditRecord> &list = records();
    CountingBuffer buffer;
    std::ostream out(&buffer);
    for (auto _ : state) Exporter::writeEvents(out, Exporter::RecordList::of(list), format);
    state.SetBytesProcessed(buffer.count);
}

void BM_ExportCSVFile(benchmark::State &state)
{
    exportToFile(state, Exporter::Format::csv);
}
void BM_ExportJSONFile(benchmark::State &state)
{
    exportToFile(state, Exporter::Format::json);
}
void BM_EncodeCSV(benchmark::State &state)
{
    encodeOnly(state, Exporter::Format::csv);
}
void BM_EncodeJSON(benchmark::State &state)
{
    encodeOnly(state, Exporter::Format::json);
}

BENCHMARK(BM_ExportCSVFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExportJSONFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EncodeCSV)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EncodeJSON)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
