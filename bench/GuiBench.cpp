// How long the GUI thread is blocked: an event posted to it every 5 ms notes how late it is
// handled, while the window loads a trail, shows each screen for the first time, sorts each table
// by each column, takes three keys typed into the search field and shows the largest record. The
// window is the application's own, at 1280x800, driven by real clicks and keys through the event
// loop.
//
// Trails: (a) a busy host's million records; (b) 30 execve records with 1 MB of arguments each
// among 10,000 ordinary ones; (c) ten million parse issues; (d) hostile records: one with 16 M
// empty arguments, one of 16 MB whose bytes hide after its trailer; (e) a process outline of
// 50,000 roots. Figures are printed, not asserted: run GuiBench from a release build.
// `GuiBench a d` runs only those trails.

#include "Store/AuditStore.h"
#include "Views/Components/RecordInspector.h"
#include "Views/ContentView.h"
#include "Views/Events/EventsView.h"
#include "Views/MainToolbar.h"
#include "Views/MainWindow.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessesView.h"
#include "support/TrailGenerator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using TestBSM::Bytes;

// An event-loop watchdog: a thread posts a stamped event to the GUI thread every 5 ms, and the
// GUI thread notes how late each one is handled. A block of any kind (a slot, a layout, a paint)
// delays the events posted meanwhile by as long as it lasts.
class Watchdog : public QObject {
public:
    Watchdog()
    {
        m_clock.start();
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                QCoreApplication::postEvent(this, new Ping(m_clock.nsecsElapsed()));
                std::this_thread::sleep_for(std::chrono::milliseconds(tick));
            }
        });
    }
    ~Watchdog() override
    {
        m_stop = true;
        m_thread.join();
        QCoreApplication::removePostedEvents(this);
    }
    // Forgets what was seen so far; pings posted before now count no more.
    void reset()
    {
        m_since = m_clock.nsecsElapsed();
        m_worst = 0;
    }
    double worstMilliseconds() const { return double(m_worst) / 1e6; }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != Ping::kind) return QObject::event(event);
        const qint64 posted = static_cast<Ping *>(event)->posted;
        if (posted >= m_since) m_worst = std::max(m_worst, m_clock.nsecsElapsed() - posted);
        return true;
    }

private:
    struct Ping : QEvent {
        static constexpr QEvent::Type kind = QEvent::Type(QEvent::User + 31);
        explicit Ping(qint64 at) : QEvent(kind), posted(at) {}
        qint64 posted;
    };
    static constexpr int tick = 5;
    QElapsedTimer m_clock;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    qint64 m_since = 0;
    qint64 m_worst = 0;
};

struct Result {
    std::string trail;
    std::string phase;
    double worst;
    double took;
};

class Bench {
public:
    explicit Bench(AuditStore &store, MainWindow &window) : m_store(store), m_window(window) {}

    // Runs the action from the event loop, then lets the loop run until the store, the pool and
    // the screen have settled, and notes the longest block meanwhile.
    void phase(const std::string &name, const std::function<void()> &action)
    {
        m_dog.reset();
        QElapsedTimer took;
        took.start();
        bool ran = false;
        QTimer::singleShot(0, [&] {
            action();
            ran = true;
        });
        spin([&] { return ran; });
        settle();
        m_results.push_back({m_trail, name, m_dog.worstMilliseconds(), double(took.nsecsElapsed()) / 1e6});
        std::printf("  %-52s %9.1f ms  (done in %.0f ms)\n", name.c_str(), m_results.back().worst,
                    m_results.back().took);
        std::fflush(stdout);
    }

    void setTrail(std::string trail) { m_trail = std::move(trail); }
    const std::vector<Result> &results() const { return m_results; }

    ScreenWidget *screen() const { return m_window.content()->currentScreen(); }

    template <typename T>
    T *visible(const char *name = nullptr) const
    {
        if (!screen()) return nullptr;
        for (T *widget : screen()->findChildren<T *>(name ? QString::fromLatin1(name) : QString()))
            if (widget->isVisible()) return widget;
        return nullptr;
    }

    void sortEveryColumn(const std::string &prefix)
    {
        auto *table = visible<QTableView>();
        if (!table || !table->isSortingEnabled()) return;
        QHeaderView *header = table->horizontalHeader();
        for (int column = 0; column < header->count(); ++column) {
            const QString title = table->model()->headerData(column, Qt::Horizontal).toString();
            for (int click = 0; click < 2; ++click) {
                phase(prefix + "sort " + title.toStdString() + (click ? " (reversed)" : ""), [&] {
                    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                    header->height() / 2);
                    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                });
            }
        }
    }

    void search(const std::string &prefix, const char *keys)
    {
        QLineEdit *field = m_window.content()->toolbar()->searchField();
        if (!field->isVisible()) return;
        phase(prefix + "search \"" + keys + "\" typed", [&] { QTest::keyClicks(field, QString::fromLatin1(keys)); });
        phase(prefix + "search cleared", [&] { field->clear(); });
    }

private:
    static void spin(const std::function<bool()> &done)
    {
        while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }

    // The store idle, no pool work for 200 ms running on.
    void settle()
    {
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 200) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (m_store.isLoading() || m_store.isFiltering() || QThreadPool::globalInstance()->activeThreadCount() > 0)
                quiet.restart();
        }
    }

    AuditStore &m_store;
    MainWindow &m_window;
    Watchdog m_dog;
    std::string m_trail;
    std::vector<Result> m_results;
};

Bytes concat(const std::vector<Bytes> &records)
{
    size_t size = 0;
    for (const Bytes &r : records) size += r.size();
    Bytes out;
    out.reserve(size);
    for (const Bytes &r : records) out.insert(out.end(), r.begin(), r.end());
    return out;
}

// (b) 30 execve records, each with 16 arguments of 64 KiB, among 10,000 of the mixed kind.
Bytes hugeArguments()
{
    GeneratedTrail::Random random(0xa11);
    const GeneratedTrail::Processes processes(random);
    std::vector<Bytes> records;
    uint32_t seconds = 1714564800;
    std::vector<std::string> args;
    for (int i = 0; i < 16; ++i) args.push_back(std::string(65536, char('a' + i)));
    for (size_t i = 0; i < 10'030; ++i) {
        seconds += uint32_t(random.below(2));
        if (i % 334 == 100) {
            args[0] = "/bin/sh" + std::to_string(i);
            records.push_back(TestBSM::TrailRecordBuilder(23, seconds, 5)
                                  .token(TestBSM::Token::execArgs(std::span<const std::string>(args)))
                                  .path("/bin/sh")
                                  .subject(processes.any(random).subject)
                                  .returnValue(0, 0)
                                  .build());
        } else {
            records.push_back(i % 5 ? GeneratedTrail::openRecord(random, processes, seconds, 5)
                                    : GeneratedTrail::execRecord(random, processes, seconds, 5));
        }
    }
    return concat(records);
}

// (c) A record header every 19 bytes that does not decode.
Bytes parseIssues(size_t count)
{
    const Bytes good = TestBSM::TrailRecordBuilder(72, 1714564800).subject().path("/etc/hosts").returnValue(0).build();
    Bytes out = good;
    out.reserve(out.size() + count * 19);
    // An extended header whose 16-byte host address runs past the record's 19 bytes: unreadable.
    const uint8_t broken[19] = {0x15, 0, 0, 0, 19, 11, 0, 72, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < count; ++i) out.insert(out.end(), broken, broken + sizeof broken);
    return out;
}

// (d) One execve with 16,000,000 empty arguments, one record of 16 MB whose bytes after its
// trailer are hidden, and a few ordinary ones around them.
Bytes hostileRecords()
{
    std::vector<Bytes> records;
    records.push_back(TestBSM::TrailRecordBuilder(72, 1714564800).subject().path("/etc/hosts").returnValue(0).build());
    TestBSM::ByteWriter empty;
    empty.u8(0x3c).u32(16'000'000);
    Bytes emptyArgs = empty.take();
    emptyArgs.resize(emptyArgs.size() + 16'000'000, 0);
    records.push_back(
        TestBSM::TrailRecordBuilder(23, 1714564801).token(emptyArgs).path("/bin/true").subject().returnValue(0).build());
    Bytes hidden = TestBSM::TrailRecordBuilder(72, 1714564802).subject().path("/tmp/x").returnValue(0).build();
    const size_t hiddenSize = 16 * 1024 * 1024 - 64;
    const uint32_t declared = uint32_t(hidden.size() + hiddenSize);
    hidden[1] = uint8_t(declared >> 24);
    hidden[2] = uint8_t(declared >> 16);
    hidden[3] = uint8_t(declared >> 8);
    hidden[4] = uint8_t(declared);
    // The trailer repeats the size.
    const size_t trailer = hidden.size() - 4;
    for (int i = 0; i < 4; ++i) hidden[trailer + size_t(i)] = hidden[1 + size_t(i)];
    for (size_t i = 0; i < hiddenSize; ++i) hidden.push_back(uint8_t(i * 31));
    records.push_back(std::move(hidden));
    records.push_back(TestBSM::TrailRecordBuilder(72, 1714564803).subject().path("/etc/passwd").returnValue(0).build());
    return concat(records);
}

// (e) 50,000 programs whose parents the trail never shows, each starting one child: an outline
// of 50,000 roots, each opened.
Bytes manyRoots()
{
    constexpr uint32_t roots = 50'000;
    std::vector<Bytes> records;
    records.reserve(3 * roots);
    for (uint32_t i = 0; i < roots; ++i) {
        TestBSM::Subject parent;
        parent.pid = 1000 + i;
        TestBSM::Subject child = parent;
        child.pid = 100'000 + i;
        const uint32_t second = 1714564800 + i / 100;
        records.push_back(TestBSM::TrailRecordBuilder(23, second, 1)
                              .execArgs({"/usr/bin/make", "-j8"})
                              .path("/usr/bin/make")
                              .subject(parent)
                              .returnValue(0)
                              .build());
        records.push_back(TestBSM::TrailRecordBuilder(2, second, 2).subject(parent).returnValue(0, child.pid).build());
        records.push_back(TestBSM::TrailRecordBuilder(23, second, 3)
                              .execArgs({"/usr/bin/cc", "-c", "x.c"})
                              .path("/usr/bin/cc")
                              .subject(child)
                              .returnValue(0)
                              .build());
    }
    return concat(records);
}

const AuditRecord *largestRecord(const AuditStore &store)
{
    const AuditRecord *largest = nullptr;
    for (const AuditRecord &record : store.records())
        if (!largest || record.raw().size() > largest->raw().size()) largest = &record;
    return largest;
}

void runTrail(Bench &bench, AuditStore &store, const std::string &name, const Bytes &bytes)
{
    std::printf("\n%s: %.1f MB\n", name.c_str(), double(bytes.size()) / 1e6);
    bench.setTrail(name);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trail.bsm"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }
    store.setScreen(Screen::dashboard);
    bench.phase("load", [&] { store.open({QUrl::fromLocalFile(path)}, TrailSource::Kind::file); });
    std::printf("  (%zu records, %zu processes, %zu findings, %zu issues)\n", store.records().size(),
                store.processes().size(), store.findings().size(),
                store.sources().empty() ? size_t(0) : size_t(store.sources().back().issues.total()));

    const struct {
        Screen screen;
        const char *title;
    } screens[] = {{Screen::events, "Events"},     {Screen::dashboard, "Overview"}, {Screen::processes, "Processes"},
                   {Screen::findings, "Findings"}, {Screen::network, "Network"},    {Screen::sources, "Trail Files"}};
    for (const auto &s : screens) {
        const std::string prefix = std::string(s.title) + ": ";
        bench.phase(prefix + "first shown", [&] { store.setScreen(s.screen); });
        if (s.screen == Screen::events) {
            // The inspector shows the raw bytes, then the largest record is selected.
            const AuditRecord *largest = largestRecord(store);
            if (auto *events = qobject_cast<EventsView *>(bench.screen()); events && largest) {
                events->inspector()->setShowHex(true);
                const int64_t id = largest->id;
                bench.phase(prefix + "largest record selected (" + std::to_string(largest->raw().size()) + " bytes)",
                            [&] { store.setSelectedRecordID(id); });
                bench.phase(prefix + "back to a small record",
                            [&] { store.setSelectedRecordID(store.records().front().id); });
            }
        }
        if (s.screen == Screen::processes) {
            auto *processes = qobject_cast<ProcessesView *>(bench.screen());
            const ProcessNode *largest = nullptr;
            for (const ProcessNode &p : store.processes())
                if (!largest || p.args.size() > largest->args.size()) largest = &p;
            if (processes && largest) {
                const int64_t id = largest->id;
                bench.phase(prefix + "largest process selected in the tree", [&] {
                    const QModelIndex index = processes->treeModel()->indexOf(id);
                    if (index.isValid())
                        processes->tree()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
                });
            }
            bench.search(prefix + "tree ", "pyt");
            if (processes) {
                bench.phase(prefix + "List shown", [&] { processes->modeButton(ProcessesView::Mode::list)->click(); });
            }
        }
        bench.sortEveryColumn(prefix);
        bench.search(prefix, s.screen == Screen::network ? "443" : "pyt");
    }
    bench.phase("close all", [&] { store.closeAll(); });
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) wanted.emplace_back(argv[i]);
    const auto runs = [&](const char *trail) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), trail) != wanted.end();
    };

    AuditStore store;
    MainWindow window(ViewContext{&store, nullptr, nullptr});
    window.resize(1280, 800);
    window.show();
    Bench bench(store, window);
    std::printf("GUI-thread blocks, longest per step (%u cores)\n", std::thread::hardware_concurrency());

    if (runs("a")) runTrail(bench, store, "(a) busy host, 1 M records", GeneratedTrail::busyHost());
    if (runs("b")) runTrail(bench, store, "(b) 30 execve of 1 MB arguments among 10 k", hugeArguments());
    if (runs("c")) runTrail(bench, store, "(c) 10 M parse issues", parseIssues(10'000'000));
    if (runs("d")) runTrail(bench, store, "(d) 16 M empty arguments, 16 MB hidden after a trailer", hostileRecords());
    if (runs("e")) runTrail(bench, store, "(e) 50,000 processes without a known parent", manyRoots());

    std::printf("\nLongest block per trail:\n");
    std::string trail;
    const Result *worst = nullptr;
    const auto flush = [&] {
        if (worst) std::printf("  %-56s %9.1f ms  (%s)\n", worst->trail.c_str(), worst->worst, worst->phase.c_str());
    };
    for (const Result &r : bench.results()) {
        if (r.trail != trail) {
            flush();
            trail = r.trail;
            worst = nullptr;
        }
        if (!worst || r.worst > worst->worst) worst = &r;
    }
    flush();
    QThreadPool::globalInstance()->waitForDone();
    return 0;
}
