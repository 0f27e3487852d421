// The memory guard against hostile trails. For each shape an attacker can give a trail (tiny
// records, one record with millions of empty arguments, an unreadable header every 19 bytes, a
// finding per record, deep fork chains and wide process trees) it loads the trail twice, each time
// in a process of its own: once with all the machine's memory, for the peak the load reaches, and
// once told that only half that peak is available, to show where the guard stops the load and how
// far the process got by then. Prints a Markdown table; run it from a release build.
//
//   MemoryBench            all shapes
//   MemoryBench --run <trail> <available bytes or 0>    one load (what the table runs)

#include "Engine/Support/MemoryGuard.h"
#include "Store/AuditStore.h"
#include "support/TrailBuilder.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using TestBSM::Bytes;
using TestBSM::TrailRecordBuilder;

uint64_t peakResident()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

// One load in this process: the growth of the resident set's peak over what it was before, the
// phase the guard stopped it in, and the error.
int runOne(const QString &trail, uint64_t available)
{
    AuditStore store;
    // A machine with that much free when the load starts: what the load takes is gone from it.
    const uint64_t start = Memory::resident();
    if (available)
        store.setMemoryProbe([available, start] {
            const uint64_t now = Memory::resident(), used = now > start ? now - start : 0;
            return std::optional<uint64_t>(available > used ? available - used : 0);
        });
    std::atomic<bool> decoding{false};
    store.setCheckpointHook([&](LoadPhase at, bool) {
        if (at == LoadPhase::parse) decoding = true;
    });
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const uint64_t before = Memory::resident();
    const QFuture<void> load = store.open({QUrl::fromLocalFile(trail)}, TrailSource::Kind::file);
    while (!load.isFinished() || store.isFiltering()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const uint64_t peak = peakResident() - before;
    // A file stopped while read or decoded is left out and the others analysed, none here; a
    // load stopped while analysed is undone after its rebuild began with its records.
    const char *phase = store.lastError().isEmpty()                        ? "-"
                        : store.loadingMessage() != "Analysing 0 records…" ? "analysing"
                        : decoding                                         ? "decoding"
                                                                           : "reading";
    std::printf("%llu\t%s\t%zu\t%s\n", static_cast<unsigned long long>(peak), phase, store.records().size(),
                qUtf8Printable(store.lastError()));
    std::fflush(stdout);
    QThreadPool::globalInstance()->waitForDone();
    return 0;
}

struct Shape {
    const char *name;
    std::function<Bytes()> make;
};

Bytes tinyRecords()
{
    Bytes trail;
    for (uint32_t i = 0; i < 3000000; ++i) {
        const Bytes record = TestBSM::Token::header(18, 72, 1714564800 + i / 1000, i % 1000);
        trail.insert(trail.end(), record.begin(), record.end());
    }
    return trail;
}

Bytes emptyArguments()
{
    // An exec arguments token: its count, then as many empty strings, one NUL each.
    TestBSM::ByteWriter args;
    constexpr uint32_t count = 2000000;
    args.u8(0x3c).u32(count);
    for (uint32_t i = 0; i < count; ++i) args.u8(0);
    TestBSM::Subject subject;
    subject.pid = 400;
    return TrailRecordBuilder(23, 1714564800).token(args.data()).path("/bin/sh").subject(subject).returnValue(0).build();
}

Bytes unreadableHeaders()
{
    // A header whose size chains to the next, but whose host address has no known type.
    TestBSM::ByteWriter header;
    header.u8(0x15).u32(19).u8(11).u16(72).u16(0).u32(0xFFFFFFFF).u32(0).u8(0);
    const Bytes one = header.data();
    Bytes trail;
    for (uint32_t i = 0; i < 2000000; ++i) trail.insert(trail.end(), one.begin(), one.end());
    return trail;
}

Bytes failedLogins()
{
    Bytes trail;
    for (uint32_t i = 0; i < 300000; ++i) {
        TestBSM::Subject subject;
        subject.pid = 500 + i % 1000;
        const Bytes address = {10, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)};
        const Bytes record = TrailRecordBuilder(45021, 1714564800 + i / 100, i % 1000)
                                 .token(TestBSM::Token::subjectEx(subject, address))
                                 .text("failed login")
                                 .returnValue(1, 5000)
                                 .build();
        trail.insert(trail.end(), record.begin(), record.end());
    }
    return trail;
}

// A chain of processes each forked by the one before and running a program, then one parent
// with as many children side by side.
Bytes forkChainsAndWideTrees()
{
    Bytes trail;
    uint32_t seconds = 1714564800;
    const auto add = [&](const Bytes &record) { trail.insert(trail.end(), record.begin(), record.end()); };
    const auto spawn = [&](uint32_t parent, uint32_t child) {
        TestBSM::Subject p, c;
        p.pid = parent;
        c.pid = child;
        add(TrailRecordBuilder(2, seconds, 0).subject(p).returnValue(0, child).build());
        add(TrailRecordBuilder(23, seconds, 1)
                .execArgs({"/usr/bin/true", "-v"})
                .path("/usr/bin/true")
                .subject(c)
                .returnValue(0)
                .build());
        ++seconds;
    };
    constexpr uint32_t processes = 100000;
    for (uint32_t pid = 100; pid < 100 + processes; ++pid) spawn(pid, pid + 1);
    for (uint32_t child = 0; child < processes; ++child) spawn(50, 300000 + child);
    return trail;
}

std::string mb(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB", double(bytes) / 1e6);
    return text;
}

QStringList runChild(const QString &trail, uint64_t available)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--run", trail, QString::number(available)});
    child.waitForFinished(-1);
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed().split('\t');
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == "--run") return runOne(arguments[2], arguments[3].toULongLong());

    const Shape shapes[] = {
        {"18-byte records", tinyRecords},
        {"one exec record with 2 M empty arguments", emptyArguments},
        {"an unreadable header every 19 bytes", unreadableHeaders},
        {"a finding per 103 bytes (failed logins, each from its own address)", failedLogins},
        {"fork chains and wide trees", forkChainsAndWideTrees},
    };
    QTemporaryDir dir;
    std::printf("%u cores, %s available\n\n", QThread::idealThreadCount(), mb(Memory::available().value_or(0)).c_str());
    std::printf(
        "| trail shape | trail | peak, all memory | peak per trail byte | available | stopped in | peak when stopped | records kept |\n");
    std::printf("| --- | --- | --- | --- | --- | --- | --- | --- |\n");
    for (const Shape &shape : shapes) {
        const Bytes bytes = shape.make();
        const QString path = dir.filePath("trail.bsm");
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        file.close();
        const QStringList full = runChild(path, 0);
        const uint64_t peak = full.value(0).toULongLong();
        const uint64_t available = peak / 2;
        const QStringList stopped = runChild(path, available);
        std::printf("| %s | %s | %s | %.0fx | %s | %s | %s | %s |\n", shape.name, mb(bytes.size()).c_str(),
                    mb(peak).c_str(), double(peak) / double(bytes.size()), mb(available).c_str(),
                    stopped.value(1).toStdString().c_str(), mb(stopped.value(0).toULongLong()).c_str(),
                    stopped.value(2).toStdString().c_str());
        std::fflush(stdout);
        if (!stopped.value(3).isEmpty()) std::fprintf(stderr, "  %s\n", stopped.value(3).toStdString().c_str());
    }
    return 0;
}
