// The Processes screen over 100,000 executed processes: how long opening the screen takes (flat
// list, count and the outline model), switching between Tree and List, and a new outline for a
// new search or the root-only switch. First, the process graph and the outline of a busy host's
// 150,000 process images, both off the main thread. Figures are printed, not asserted: run
// ProcessesBench from a release build.

#include "Engine/Analysis/ProcessGraph.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/RecordBuilder.h"
#include "Store/AuditStore.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessRows.h"
#include "Views/Processes/ProcessesView.h"
#include "support/TrailGenerator.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QLocale>
#include <QThreadPool>

#include <array>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t processCount = 100'000;
constexpr uint16_t forkEvent = 2;
constexpr uint16_t execve = 23;

class BenchStore : public AuditStore {
public:
    BenchStore() { setFilterDelay(std::chrono::milliseconds(0)); }

    void load(std::vector<AuditRecord> records)
    {
        QFuture<void> done = importSource(TrailSource(), std::move(records));
        while (!done.isFinished()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        while (isFiltering()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

// Each process is forked by an earlier one (a few dozen by processes that started before the
// trail, which become placeholders) and then executes one of a dozen programs, a fifth as root.
std::vector<AuditRecord> makeRecords()
{
    const std::array<const char *, 12> images = {"/usr/bin/git",
                                                 "/bin/zsh",
                                                 "/usr/sbin/mdworker_shared",
                                                 "/Applications/Xcode.app/Contents/MacOS/Xcode",
                                                 "/usr/bin/ssh",
                                                 "/usr/local/bin/python3",
                                                 "/bin/ls",
                                                 "/usr/bin/curl",
                                                 "/private/tmp/.agent",
                                                 "/usr/libexec/xpcproxy",
                                                 "/usr/bin/login",
                                                 "/sbin/launchd"};
    std::vector<AuditRecord> records;
    RecordBuilder builder(nullptr, processCount * 128);
    records.reserve(2 * processCount);
    uint64_t state = 0x5eed;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (size_t i = 0; i < processCount; ++i) {
        const uint32_t pid = uint32_t(1000 + i);
        const uint32_t parent = i < 40 ? uint32_t(1 + i % 8) : uint32_t(1000 + next() % i);
        const double time = 1700000000.0 + double(i) * 0.01;
        AuditRecord fork;
        fork.event = forkEvent;
        fork.time = time;
        SubjectInfo s;
        s.auid = 501;
        s.euid = 501;
        s.pid = parent;
        builder.setSubject(s);
        builder.addArg(1, pid, "child PID");
        builder.finish(fork, 0, 0);
        records.push_back(std::move(fork));

        AuditRecord exec;
        exec.event = execve;
        exec.time = time + 0.001;
        s.pid = pid;
        s.euid = next() % 5 == 0 ? 0 : 501;
        builder.setSubject(s);
        const char *image = images[next() % images.size()];
        builder.addPath(image);
        builder.setExecArgs({image, "--flag", std::to_string(i % 977)});
        builder.finish(exec, 0, 0);
        records.push_back(std::move(exec));
    }
    builder.trim();
    return records;
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    QElapsedTimer timer;
    {
        std::vector<AuditRecord> records = BSMParser::parse(GeneratedTrail::busyHost(), 1, 1, false).records;
        timer.start();
        auto tree = std::make_shared<const ProcessTree>(ProcessGraph::build(records, Parallel::Pool::shared()));
        const double graph = milliseconds(timer);
        timer.restart();
        const ProcessRows::OutlineSnapshot outline = ProcessRows::outline(tree, {});
        std::printf("Busy host, %zu records: process graph of %zu images %.1f ms, outline of %zu rows %.1f ms "
                    "(%.1f ms together, off the main thread)\n\n",
                    records.size(), tree->processes.size(), graph, outline->rows.size(), milliseconds(timer),
                    graph + milliseconds(timer));
    }

    timer.start();
    BenchStore store;
    store.load(makeRecords());
    std::printf("%zu processes (%zu roots) built and analysed in %.0f ms\n", store.processes().size(),
                store.processTree().roots.size(), milliseconds(timer));

    {
        // Derived on the pool; the model only takes the result.
        timer.restart();
        const ProcessRows::OutlineSnapshot outline = ProcessRows::outline(store.processTreeSnapshot(), {});
        std::printf("\nOutline of the store's tree (off the main thread): %.2f ms (%zu nodes)\n", milliseconds(timer),
                    outline->rows.size());
        timer.restart();
        const ProcessRows::OutlineSnapshot all = ProcessRows::outline(store.processTreeSnapshot(),
                                                                      ProcessRows::ProcessFilter("/"));
        std::printf("Outline searching every node for \"/\" (off the main thread): %.2f ms\n", milliseconds(timer));
        ProcessTreeModel model;
        timer.restart();
        model.setOutline(outline);
        std::printf("The model taking it (main thread): %.3f ms (%d nodes)\n", milliseconds(timer), model.nodeCount());
    }

    timer.restart();
    ProcessesView view(ViewContext{&store, nullptr, nullptr});
    view.resize(1440, 900);
    view.show();
    const double built = milliseconds(timer);
    while (view.outlinePending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double outlined = milliseconds(timer);
    QCoreApplication::processEvents();
    std::printf("Opening the screen (list, count): %.2f ms; outline in %.2f ms, then %.2f ms to lay out and paint\n",
                built, outlined - built, milliseconds(timer) - outlined);
    view.setSearch(QString());

    std::printf("\nSwitching presentations (main thread; then the outline from the pool, then painting):\n");
    const auto measure = [&](const char *name, const std::function<void()> &action) {
        timer.restart();
        action();
        const double handled = milliseconds(timer);
        while (view.outlinePending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double outlined = milliseconds(timer);
        QCoreApplication::processEvents();
        std::printf("%-40s %9.2f ms  (+%.2f ms outline, +%.2f ms paint; %s)\n", name, handled, outlined - handled,
                    milliseconds(timer) - outlined, qPrintable(view.findChild<QLabel *>("imageCount")->text()));
    };
    measure("Tree -> List", [&] { view.setMode(ProcessesView::Mode::list); });
    measure("List -> Tree", [&] { view.setMode(ProcessesView::Mode::tree); });

    std::printf("\nA new outline for a new search or switch:\n");
    measure("search \"python\"", [&] { view.setSearch("python"); });
    measure("search \"p\" (most processes)", [&] { view.setSearch("p"); });
    measure("search \"12345\" (one pid, a few args)", [&] { view.setSearch("12345"); });
    measure("search \"nothing-matches\"", [&] { view.setSearch("nothing-matches"); });
    measure("search cleared (the store's own tree)", [&] { view.setSearch(""); });
    measure("root only", [&] { view.rootOnlySwitch()->setChecked(true); });
    measure("root only off", [&] { view.rootOnlySwitch()->setChecked(false); });

    std::printf("\nThe list presentation:\n");
    view.setMode(ProcessesView::Mode::list);
    measure("search \"python\" (list)", [&] { view.setSearch("python"); });
    measure("search cleared (list)", [&] { view.setSearch(""); });
    measure("sort by command line", [&] { view.listModel()->sort(ProcessListModel::commandLineColumn); });
    measure("sort by user", [&] { view.listModel()->sort(ProcessListModel::userColumn); });
    QThreadPool::globalInstance()->waitForDone();
    return 0;
}
