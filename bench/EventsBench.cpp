// The Events screen over a million records built in memory: how long a new filter result takes to
// reach the table (model reset and selection re-applied), how long each column's sort takes, and
// how many heap blocks one table cell's data() takes. Figures are printed, not asserted: run
// EventsBench from a release build.

#include "Engine/Record/RecordBuilder.h"
#include "Store/AuditStore.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/Events/EventsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Counts heap blocks taken while `counting` is on; glibc's own entry points do the work.
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
} // namespace

extern "C" void *malloc(size_t size)
{
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *pointer, size_t size)
{
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

namespace {

constexpr size_t recordCount = 1'000'000;

class BenchStore : public AuditStore {
public:
    BenchStore() { setFilterDelay(std::chrono::milliseconds(0)); }

    void load(std::vector<AuditRecord> records)
    {
        QFuture<void> done = importSource(TrailSource(), std::move(records));
        while (!done.isFinished()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        settle();
    }
    void settle()
    {
        while (isFiltering()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

// A busy workstation's mix: a few hundred processes of a dozen programs opening files, starting
// programs, connecting and failing now and then; several records share each millisecond.
std::vector<AuditRecord> makeRecords()
{
    const std::array<uint16_t, 8> events = {72, 23, 43190, 6152, 1, 2, 33, 42};
    const std::array<const char *, 6> images = {"/usr/bin/git",
                                                "/bin/zsh",
                                                "/usr/sbin/mdworker_shared",
                                                "/Applications/Xcode.app/Contents/MacOS/Xcode",
                                                "/usr/bin/ssh",
                                                "/usr/local/bin/python3"};
    const std::array<const char *, 6> paths = {"/Users/alice/Library/Preferences/com.apple.finder.plist",
                                               "/private/var/db/mds/messages/501/se_SecurityMessages",
                                               "/Users/alice/Projects/quill/src/main.cpp",
                                               "/usr/lib/libSystem.B.dylib",
                                               "/etc/hosts",
                                               "/private/tmp/build.log"};
    std::vector<Boxed<std::string>> boxedImages;
    for (const char *image : images) boxedImages.emplace_back(std::string(image));
    std::vector<AuditRecord> records(recordCount);
    RecordBuilder builder(nullptr, recordCount * 64);
    uint64_t state = 0x5eed;
    for (size_t i = 0; i < recordCount; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        AuditRecord &r = records[i];
        r.event = events[state % events.size()];
        r.time = 1700000000.0 + double(i / 4) * 0.001;
        SubjectInfo s;
        s.auid = 501 + uint32_t(state >> 8) % 4;
        s.euid = (state >> 12) % 5 == 0 ? 0 : s.auid;
        s.pid = 100 + uint32_t(state >> 16) % 400;
        s.sid = 100001;
        s.terminalAddress = "0.0.0.0";
        builder.setSubject(s);
        r.processImage = boxedImages[(state >> 20) % boxedImages.size()];
        r.returnStatus = (state >> 24) % 10 == 0 ? 13 : 0;
        if (r.event == 23) {
            builder.setExecArgs({images[(state >> 28) % images.size()], "--verbose", std::to_string(i % 1000)});
        } else {
            builder.addPath(paths[(state >> 28) % paths.size()]);
        }
        builder.finish(r, 0, 0);
    }
    builder.trim();
    return records;
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Sets the filter and reports how long the view's reaction to the published result took.
void measureFilter(BenchStore &store, EventsView &view, const char *name, EventFilter filter, double &reaction)
{
    store.setFilter(std::move(filter));
    store.settle();
    QElapsedTimer paint;
    paint.start();
    QCoreApplication::processEvents();
    std::printf("%-44s %9.2f ms  (%d rows; then %.2f ms to repaint)\n", name, reaction, view.model()->rowCount(),
                milliseconds(paint));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    QElapsedTimer timer;
    timer.start();
    BenchStore store;
    store.load(makeRecords());
    std::printf("%zu records built and analysed in %.0f ms\n", store.records().size(), milliseconds(timer));

    // Bracket the view's own handling of each publication: connected before it, and after it.
    QElapsedTimer reactionTimer;
    double reaction = 0;
    QObject::connect(&store, &AuditStore::filteredChanged, [&] { reactionTimer.start(); });
    EventsView view(ViewContext{&store, nullptr, nullptr});
    QObject::connect(&store, &AuditStore::filteredChanged, [&] { reaction = milliseconds(reactionTimer); });
    view.resize(1440, 900);
    view.show();
    QCoreApplication::processEvents();
    store.setSelectedRecordID(store.records()[recordCount / 2].id);
    QCoreApplication::processEvents();

    std::printf("\nNew filter result reaching the table (model reset, selection re-applied):\n");
    EventFilter failures;
    failures.result = ResultFilter::failure;
    measureFilter(store, view, "failures only", failures, reaction);
    EventFilter successes;
    successes.result = ResultFilter::success;
    measureFilter(store, view, "successes only (the selection's row shown)", successes, reaction);
    EventFilter text;
    text.text = "git";
    measureFilter(store, view, "text \"git\"", text, reaction);
    measureFilter(store, view, "cleared: all records", EventFilter(), reaction);

    std::printf("\nSorting all records, reset and selection included:\n");
    QTableView *table = view.table();
    const char *names[] = {"Time", "Event", "Class", "User", "Process", "PID", "Result", "Details"};
    for (int column = EventsTableModel::numColumns - 1; column >= 0; --column) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            timer.restart();
            table->sortByColumn(column, order);
            std::printf("%-8s %-10s %9.2f ms\n", names[column],
                        order == Qt::AscendingOrder ? "ascending" : "descending", milliseconds(timer));
        }
    }

    std::printf("\nHeap blocks per data() call, display text (1000 rows a column, after one warm-up pass):\n");
    EventsTableModel *model = view.model();
    for (int column = 0; column < EventsTableModel::numColumns; ++column) {
        constexpr int rows = 1000;
        for (int row = 0; row < rows; ++row) model->data(model->index(row, column));
        allocations = 0;
        counting = true;
        size_t empty = 0;
        for (int row = 0; row < rows; ++row) {
            const QVariant value = model->data(model->index(row, column));
            if (value.toString().isEmpty()) ++empty;
        }
        counting = false;
        std::printf("%-8s %.2f blocks/call (%zu of %d texts empty, which need none)\n", names[column],
                    double(allocations) / rows, empty, rows);
    }
    QThreadPool::globalInstance()->waitForDone();
    return 0;
}
