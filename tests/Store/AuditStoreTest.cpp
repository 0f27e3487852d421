#include "Store/AuditStore.h"

#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/RecordBuilder.h"

#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QLocale>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTime>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <time.h>

namespace {

// Events: 23 execve, 72 open read, 37 settimeofday (a successful one is always a finding).
constexpr uint16_t execve = 23, openRead = 72, clockChange = 37;

RecordContent makeContent(double time, uint16_t event, std::optional<uint32_t> pid = 100,
                          std::vector<std::string> paths = {})
{
    RecordContent r;
    r.id = 10'000'000;
    r.source = -1;
    r.event = event;
    r.time = time;
    if (pid) {
        SubjectInfo s;
        s.pid = *pid;
        s.auid = s.euid = s.ruid = 501;
        r.subject = s;
    }
    r.paths = std::move(paths);
    r.raw = std::vector<uint8_t>(18, 0);
    return r;
}

AuditRecord makeRecord(double time, uint16_t event, std::optional<uint32_t> pid = 100,
                       std::vector<std::string> paths = {})
{
    return makeContent(time, event, pid, std::move(paths)).record();
}

// n plain records one second apart, from `time`.
std::vector<AuditRecord> series(size_t n, double time = 1000, uint32_t pid = 100)
{
    std::vector<AuditRecord> out;
    for (size_t i = 0; i < n; ++i) out.push_back(makeRecord(time + double(i), openRead, pid));
    return out;
}

std::vector<int64_t> ids(const std::vector<AuditRecord> &records)
{
    std::vector<int64_t> out;
    for (const auto &r : records) out.push_back(r.id);
    return out;
}

std::vector<int64_t> ids(const RecordSelection &selection)
{
    std::vector<int64_t> out;
    for (size_t i = 0; i < selection.size(); ++i) out.push_back(selection[i].id);
    return out;
}

// Holds the thread pool's only thread so that background work can be made stale at will.
class PoolGate {
public:
    PoolGate() : m_threads(QThreadPool::globalInstance()->maxThreadCount())
    {
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        QThreadPool::globalInstance()->start([this] { m_gate.acquire(); });
    }
    ~PoolGate()
    {
        open();
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setMaxThreadCount(m_threads);
    }
    void open()
    {
        if (!m_open) m_gate.release();
        m_open = true;
    }

private:
    int m_threads;
    QSemaphore m_gate;
    bool m_open = false;
};

std::chrono::nanoseconds threadProcessorTime()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// The processor time the thread pool, cut down to one thread, spends on the work that `queue` puts
// into it. Processor time rather than elapsed time, so a busy machine does not skew it.
std::chrono::nanoseconds poolWork(const std::function<void()> &queue)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->waitForDone();
    pool->setMaxThreadCount(1);
    QSemaphore gate;
    std::chrono::nanoseconds begin{}, end{};
    QThread *first = nullptr, *last = nullptr;
    pool->start([&] {
        gate.acquire();
        first = QThread::currentThread();
        begin = threadProcessorTime();
    });
    queue();
    pool->start([&] {
        last = QThread::currentThread();
        end = threadProcessorTime();
    });
    gate.release();
    pool->waitForDone();
    pool->setMaxThreadCount(threads);
    EXPECT_EQ(first, last) << "the work ran on another thread";
    return end - begin;
}

// Runs the event loop until a timer started now with no wait has fired. Timers fire in the order
// they fall due, so every timer with no wait started before it, the store's filter timer among
// them, has fired too.
bool zeroWaitTimersFired()
{
    QTimer sign;
    sign.setSingleShot(true);
    sign.setTimerType(Qt::PreciseTimer);
    bool fired = false;
    QObject::connect(&sign, &QTimer::timeout, [&] { fired = true; });
    sign.start(0);
    return waitUntil([&] { return fired; });
}

// Reaches the operations that loaders build on.
class TestStore : public AuditStore {
public:
    using AuditStore::importSource;
    using AuditStore::importTrail;
    using AuditStore::unpublishedSources;

    // A load of a decoded trail, as the file loader makes it: the store numbers its records.
    QFuture<void> load(std::string name, TestBSM::Bytes bytes)
    {
        auto data = std::make_shared<const TrailBuffer>(bytes.begin(), bytes.end());
        return importTrail(TrailSource::Kind::file, name, "/trails/" + name, int64_t(data->size()),
                           BSMParser::parse(data, 0, 0, false));
    }
};

TestBSM::Bytes concat(std::initializer_list<TestBSM::Bytes> records)
{
    TestBSM::Bytes out;
    for (const auto &r : records) out.insert(out.end(), r.begin(), r.end());
    return out;
}

// What a record shows of its source and analysis.
struct Row {
    int64_t id;
    int64_t source;
    double time;
    std::optional<std::string> image;

    bool operator==(const Row &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Row &r)
{
    return out << "{" << r.id << ", " << r.source << ", " << r.time << ", " << r.image.value_or("-") << "}";
}

std::vector<Row> rows(const std::vector<AuditRecord> &records, std::optional<int64_t> source = std::nullopt)
{
    std::vector<Row> out;
    for (const auto &r : records)
        if (!source || r.source == *source)
            out.push_back({r.id, r.source, r.time, r.processImage ? std::optional(*r.processImage) : std::nullopt});
    return out;
}

// Everything a source gave the record, the process image aside.
bool sameDecodedRecord(const AuditRecord &a, const AuditRecord &b)
{
    const bool sameSubject = a.subject() && b.subject() ? *a.subject() == *b.subject() : a.subject() == b.subject();
    return a.id == b.id && a.source == b.source && a.event == b.event && a.time == b.time && sameSubject
           && std::ranges::equal(a.raw(), b.raw()) && a.paths() == b.paths() && a.texts() == b.texts()
           && a.args() == b.args() && a.execArgs() == b.execArgs() && a.returnStatus == b.returnStatus
           && a.returnValue == b.returnValue && a.tokenCount == b.tokenCount;
}

class AuditStoreTest : public ::testing::Test {
protected:
    void SetUp() override { store.setFilterDelay(std::chrono::milliseconds(20)); }

    // Waits for the operation and the filter pass that follows it.
    void settle(const QFuture<void> &operation)
    {
        ASSERT_TRUE(waitUntil([&] { return operation.isFinished(); }));
        ASSERT_TRUE(waitUntil([&] { return !store.isFiltering(); }));
    }
    void settle()
    {
        ASSERT_TRUE(waitUntil([&] { return !store.isFiltering(); }));
    }

    TestStore store;
};

TEST_F(AuditStoreTest, StartsEmptyOnTheOverview)
{
    EXPECT_EQ(store.screen(), Screen::dashboard);
    EXPECT_TRUE(store.sources().empty());
    EXPECT_TRUE(store.records().empty());
    EXPECT_TRUE(store.filtered().empty());
    EXPECT_EQ(store.nextSourceID(), 1);
    EXPECT_EQ(store.nextRecordID(), 1);
    EXPECT_EQ(store.stats().bucketSize, 3600);
    EXPECT_FALSE(store.filter().isActive());
    EXPECT_FALSE(store.isLoading());
    EXPECT_FALSE(store.isFiltering());
    EXPECT_TRUE(store.lastError().isEmpty());
    EXPECT_FALSE(store.selectedRecordID());
}

TEST(Screen, RawValuesIdentifyTheScreensInSidebarOrder)
{
    for (Screen s : allScreens) EXPECT_EQ(screenFromRawValue(rawValue(s)), s) << rawValue(s);
    EXPECT_EQ(screenFromRawValue("sources"), Screen::sources);
    EXPECT_STREQ(screenTitle(Screen::sources), "Trail Files");
    EXPECT_FALSE(screenFromRawValue("Sources"));
}

TEST_F(AuditStoreTest, NotifiesOnlyWhenAValueChanges)
{
    EventFilter labelled;
    labelled.label = "from a chart";
    store.setScreen(Screen::findings);
    store.setSelectedRecordID(5);
    store.setLastError("Couldn't read a: gone");
    store.setFilter(labelled);
    settle();

    struct Case {
        const char *name;
        std::function<void(AuditStore &)> change;
        void (AuditStore::*signal)();
        bool notifies;
    };
    const Case cases[] = {
        {"same screen", [](AuditStore &s) { s.setScreen(Screen::findings); }, &AuditStore::screenChanged, false},
        {"other screen", [](AuditStore &s) { s.setScreen(Screen::network); }, &AuditStore::screenChanged, true},
        {"same selection", [](AuditStore &s) { s.setSelectedRecordID(5); }, &AuditStore::selectedRecordIDChanged, false},
        {"no selection", [](AuditStore &s) { s.setSelectedRecordID(std::nullopt); },
         &AuditStore::selectedRecordIDChanged, true},
        {"same error", [](AuditStore &s) { s.setLastError("Couldn't read a: gone"); }, &AuditStore::lastErrorChanged,
         false},
        {"error dismissed", [](AuditStore &s) { s.setLastError({}); }, &AuditStore::lastErrorChanged, true},
        {"same filter and label", [labelled](AuditStore &s) { s.setFilter(labelled); }, &AuditStore::filterChanged,
         false},
        {"only the label differs",
         [](AuditStore &s) {
             EventFilter f;
             f.label = "other";
             s.setFilter(f);
         },
         &AuditStore::filterChanged, true},
    };
    for (const Case &c : cases) {
        QSignalSpy spy(&store, c.signal);
        QSignalSpy passes(&store, &AuditStore::isFilteringChanged);
        c.change(store);
        EXPECT_EQ(spy.count(), c.notifies ? 1 : 0) << c.name;
        // Only a filter change schedules a pass.
        const bool filterCase = c.signal == &AuditStore::filterChanged;
        EXPECT_EQ(store.isFiltering(), filterCase && c.notifies) << c.name;
        EXPECT_EQ(passes.count(), filterCase && c.notifies ? 1 : 0) << c.name;
        settle();
    }
}

TEST_F(AuditStoreTest, ShowEventsWithTheCurrentFilterDoesNothing)
{
    EventFilter f;
    f.pid = 100;
    store.showEvents(f);
    settle();
    QSignalSpy filter(&store, &AuditStore::filterChanged), screen(&store, &AuditStore::screenChanged),
        filtered(&store, &AuditStore::filteredChanged);
    store.showEvents(f);
    EXPECT_FALSE(store.isFiltering());
    EXPECT_EQ(filter.count() + screen.count() + filtered.count(), 0);
}

TEST_F(AuditStoreTest, ShowRecordsFiltersOnTheIdsAndSelectsTheFirstGiven)
{
    settle(store.importLive(series(10)));
    store.setSelectedRecordID(1);

    store.showRecords({7, 3}, "Finding evidence");
    EXPECT_EQ(store.screen(), Screen::events);
    EXPECT_EQ(store.selectedRecordID(), 7);
    EXPECT_EQ(store.filter().label, "Finding evidence");
    settle();
    EXPECT_EQ(ids(store.filtered()), (std::vector<int64_t>{3, 7}));

    store.showRecords({}, "Nothing");
    EXPECT_FALSE(store.selectedRecordID());
    ASSERT_TRUE(store.filter().recordIDs);
    EXPECT_TRUE(store.filter().recordIDs->empty());
    settle();
    EXPECT_TRUE(store.filtered().empty());
}

TEST_F(AuditStoreTest, ShowProcessEventsCoversThePidDuringItsLifetime)
{
    // pid 88 before, during and after its life; pid 89 during it.
    std::vector<AuditRecord> records = {makeRecord(100, openRead, 88), makeRecord(200, openRead, 88),
                                        makeRecord(250, openRead, 89), makeRecord(300, openRead, 88),
                                        makeRecord(301, openRead, 88)};
    settle(store.importLive(records));
    store.setSelectedRecordID(2);

    struct Case {
        const char *name;
        std::string image;
        std::optional<double> end;
        const char *label;
        std::vector<int64_t> shown;
    };
    const Case cases[] = {
        {"ended", "/bin/zsh", 300.0, "zsh (pid 88)", {2, 4}},
        {"still running", "/usr/bin/ssh", std::nullopt, "ssh (pid 88)", {2, 4, 5}},
        {"placeholder image",
         "pid 88 (started before trail)",
         std::nullopt,
         "pid 88 (started before trail) (pid 88)",
         {2, 4, 5}},
    };
    for (const Case &c : cases) {
        ProcessNode node;
        node.pid = 88;
        node.image = c.image;
        node.start = 200;
        node.end = c.end;
        store.showProcessEvents(node);
        EXPECT_EQ(store.filter().label, c.label) << c.name;
        EXPECT_EQ(store.filter().pid, 88u) << c.name;
        EXPECT_EQ(store.filter().start, 200.0) << c.name;
        EXPECT_EQ(store.filter().end, c.end) << c.name;
        EXPECT_EQ(store.screen(), Screen::events) << c.name;
        EXPECT_EQ(store.selectedRecordID(), 2) << c.name;
        settle();
        EXPECT_EQ(ids(store.filtered()), c.shown) << c.name;
    }
}

TEST_F(AuditStoreTest, RebuildOrdersByTimeThenIdAndIndexesEveryRecord)
{
    // Two sources interleaving in time, with equal times across and within them.
    settle(store.importLive({makeRecord(30, openRead), makeRecord(10, openRead), makeRecord(20, openRead)}));
    settle(store.importLive({makeRecord(20, openRead), makeRecord(5, openRead), makeRecord(30, openRead),
                             makeRecord(10, execve, 100, {"/usr/bin/ssh"})}));

    // Source 1: ids 1 (t30), 2 (t10), 3 (t20); source 2: 4 (t20), 5 (t5), 6 (t30), 7 (t10).
    EXPECT_EQ(ids(store.records()), (std::vector<int64_t>{5, 2, 7, 3, 4, 1, 6}));
    for (size_t p = 0; p < store.records().size(); ++p) {
        const auto found = store.record(store.records()[p].id);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->time, store.records()[p].time);
    }
    EXPECT_FALSE(store.record(8));
    EXPECT_FALSE(store.record(0));

    // The process pass ran over the sorted records: pid 100's exec at t10 names its later records.
    EXPECT_EQ(store.record(3)->processImage, "/usr/bin/ssh");
    EXPECT_EQ(store.processes().size(), 1u);
    EXPECT_EQ(store.stats().total, 7);
    EXPECT_EQ(store.loadingMessage(), "Analysing 7 records…");
    EXPECT_FALSE(store.isLoading());
    // The inactive filter publishes the records themselves, not a copy.
    EXPECT_TRUE(store.filtered().isAll());
    EXPECT_EQ(store.filtered().records(), store.recordSnapshot());
}

TEST_F(AuditStoreTest, LoadingMessageUsesTheLocalesDigitGrouping)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    settle(store.importLive(series(1234)));
    QLocale::setDefault(before);
    EXPECT_EQ(store.loadingMessage(), "Analysing 1,234 records…");
}

TEST_F(AuditStoreTest, ImportLiveRenumbersUnderANewSource)
{
    settle(store.importLive(series(39)));
    ASSERT_EQ(store.nextRecordID(), 40);

    // Out of time order, with live ids, an image the records no longer back, and no subject.
    RecordContent withText = makeContent(500, openRead, std::nullopt);
    withText.texts = {"kept"};
    std::vector<AuditRecord> live = {withText.record(), makeRecord(400, openRead), makeRecord(450, openRead)};
    for (size_t i = 0; i < live.size(); ++i) {
        live[i].id = 10'000'000 + int64_t(i);
        live[i].processImage = "/stale/image";
    }
    const QString before = QTime::currentTime().toString("HH:mm");
    settle(store.importLive(live));
    const QString after = QTime::currentTime().toString("HH:mm");

    EXPECT_EQ(store.nextRecordID(), 43);
    EXPECT_EQ(store.nextSourceID(), 3);
    ASSERT_EQ(store.sources().size(), 2u);
    const TrailSource &source = store.sources()[1];
    EXPECT_EQ(source.id, 2);
    EXPECT_EQ(source.kind, TrailSource::Kind::live);
    EXPECT_STREQ(rawValue(source.kind), "Live capture");
    EXPECT_TRUE(source.name == "Live capture " + before.toStdString()
                || source.name == "Live capture " + after.toStdString())
        << source.name;
    EXPECT_FALSE(source.path);
    EXPECT_EQ(source.recordCount, 3);
    EXPECT_EQ(source.bytes, 3 * 18);
    EXPECT_EQ(source.first, 500.0);
    EXPECT_EQ(source.last, 450.0);

    const auto first = store.record(40);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->source, 2);
    EXPECT_EQ(first->texts(), std::vector<std::string>{"kept"});
    EXPECT_FALSE(first->processImage);
    EXPECT_EQ(store.record(41)->time, 400.0);
    EXPECT_EQ(store.record(42)->time, 450.0);
    EXPECT_FALSE(store.record(10'000'000));

    // The same buffer again is a second source under new ids.
    settle(store.importLive(live));
    EXPECT_EQ(store.sources().back().id, 3);
    EXPECT_TRUE(store.record(45));
    EXPECT_EQ(store.records().size(), 45u);
}

TEST_F(AuditStoreTest, LiveSourceNameHasTheImportTimeInTheLocalesShortStyle)
{
    struct Case {
        const char *name;
        QLocale locale;
        const char *pattern;
    };
    const Case cases[] = {
        {"C locale: hours and minutes, no seconds", QLocale::c(), "^Live capture \\d\\d:\\d\\d$"},
        {"English: twelve-hour clock", QLocale(QLocale::English, QLocale::UnitedStates),
         "^Live capture \\d{1,2}:\\d\\d[\\s\\x{202F}][AP]M$"},
        {"German: 24-hour clock", QLocale(QLocale::German, QLocale::Germany), "^Live capture \\d\\d:\\d\\d$"},
    };
    const QLocale before;
    for (const Case &c : cases) {
        QLocale::setDefault(c.locale);
        settle(store.importLive(series(1)));
        QLocale::setDefault(before);
        const QString name = QString::fromStdString(store.sources().back().name);
        EXPECT_TRUE(QRegularExpression(c.pattern).match(name).hasMatch()) << c.name << ": " << name.toStdString();
    }
}

TEST_F(AuditStoreTest, ImportingNothingChangesNothing)
{
    QSignalSpy sources(&store, &AuditStore::sourcesChanged), loading(&store, &AuditStore::isLoadingChanged);
    const auto done = store.importLive({});
    EXPECT_TRUE(done.isFinished());
    EXPECT_EQ(sources.count() + loading.count(), 0);
    EXPECT_EQ(store.nextSourceID(), 1);
}

TEST_F(AuditStoreTest, RemovingASourceTakesItsResultsAlong)
{
    settle(store.importLive({makeRecord(10, execve, 100, {"/bin/date"}), makeRecord(11, clockChange)}));
    settle(store.importLive(series(3, 20, 200)));
    ASSERT_FALSE(store.findings().empty());
    store.setSelectedRecordID(2);

    settle(store.remove(1));
    EXPECT_EQ(ids(store.records()), (std::vector<int64_t>{3, 4, 5}));
    EXPECT_TRUE(store.findings().empty());
    EXPECT_TRUE(store.processes().empty());
    EXPECT_EQ(store.stats().total, 3);
    EXPECT_EQ(store.selectedRecordID(), 2);
    EXPECT_FALSE(store.record(2));

    // An unknown id still rebuilds; the last source gone leaves the statistics of no records.
    QSignalSpy records(&store, &AuditStore::recordsChanged);
    settle(store.remove(99));
    EXPECT_EQ(records.count(), 1);
    settle(store.remove(2));
    EXPECT_TRUE(store.sources().empty());
    EXPECT_TRUE(store.records().empty());
    EXPECT_EQ(store.stats().total, 0);
}

TEST_F(AuditStoreTest, HeldSnapshotsOutliveLaterPublicationsUnchanged)
{
    settle(store.importLive({makeRecord(10, execve, 100, {"/bin/date"}), makeRecord(11, clockChange)}));
    const AnalysisSnapshot first = store.analysisSnapshot();
    const FindingsSnapshot findings = store.findingsSnapshot();
    const ProcessesSnapshot processes = store.processesSnapshot();
    const ProcessTreeSnapshot tree = store.processTreeSnapshot();
    const StatsSnapshot stats = store.statsSnapshot();
    const RecordSelection filtered = store.filtered();
    ASSERT_EQ(findings->size(), 1u);
    ASSERT_EQ(processes->size(), 1u);
    // Later rebuilds copy these records and rewrite the copies' images, never these.
    std::vector<const std::string *> images;
    for (const AuditRecord &record : *first->records)
        images.push_back(record.processImage ? &*record.processImage : nullptr);

    // Every accessor reads the one published analysis.
    EXPECT_EQ(store.recordSnapshot(), first->records);
    EXPECT_EQ(&store.findings(), &first->findings);
    EXPECT_EQ(&store.processTree(), &first->tree);
    EXPECT_EQ(&store.stats(), &first->stats);
    EXPECT_EQ(store.position(2), 1u);
    EXPECT_EQ(first->record(2)->event, clockChange);
    EXPECT_EQ(first->record(3), nullptr);

    settle(store.importLive(series(3, 5, 200)));
    settle(store.remove(1));
    store.closeAll();
    settle();
    ASSERT_TRUE(store.records().empty());
    ASSERT_NE(store.analysisSnapshot(), first);

    // What was held still describes the first rebuild, index included.
    EXPECT_EQ(ids(*first->records), (std::vector<int64_t>{1, 2}));
    for (size_t p = 0; p < images.size(); ++p) {
        const AuditRecord &record = (*first->records)[p];
        EXPECT_EQ(record.processImage ? &*record.processImage : nullptr, images[p]) << p;
    }
    EXPECT_EQ((*first->records)[0].processImage, "/bin/date");
    EXPECT_EQ(first->position(1), 0u);
    EXPECT_EQ(first->position(2), 1u);
    EXPECT_EQ(first->stats.total, 2);
    EXPECT_EQ(findings->size(), 1u);
    EXPECT_EQ(processes->front().image, "/bin/date");
    EXPECT_EQ(tree->roots, first->tree.roots);
    EXPECT_EQ(stats->total, 2);
    EXPECT_EQ(ids(filtered), (std::vector<int64_t>{1, 2}));
    // A part keeps its whole snapshot alive.
    EXPECT_EQ(findings.get(), &first->findings);
}

TEST_F(AuditStoreTest, CloseAllKeepsScreenErrorAndCounters)
{
    struct Case {
        const char *name;
        bool activeFilter;
    };
    for (const Case c : {Case{"default filter", false}, Case{"active filter", true}}) {
        settle(store.importLive({makeRecord(10, execve, 100, {"/bin/date"}), makeRecord(11, clockChange)}));
        if (c.activeFilter) {
            EventFilter f;
            f.pid = 100;
            store.setFilter(f);
            settle();
        }
        store.setScreen(Screen::findings);
        store.setLastError("Couldn't read x: gone");
        store.setSelectedRecordID(store.records().front().id);
        const int64_t nextSource = store.nextSourceID(), nextRecord = store.nextRecordID();

        QSignalSpy filter(&store, &AuditStore::filterChanged);
        store.closeAll();
        EXPECT_EQ(store.isFiltering(), c.activeFilter) << c.name;
        EXPECT_EQ(filter.count(), c.activeFilter ? 1 : 0) << c.name;
        settle();
        EXPECT_TRUE(store.sources().empty()) << c.name;
        EXPECT_TRUE(store.records().empty()) << c.name;
        EXPECT_TRUE(store.processes().empty() && store.processTree().roots.empty()) << c.name;
        EXPECT_TRUE(store.findings().empty()) << c.name;
        EXPECT_TRUE(store.filtered().empty()) << c.name;
        EXPECT_EQ(store.stats().total, 0) << c.name;
        EXPECT_EQ(store.stats().bucketSize, 3600) << c.name;
        EXPECT_FALSE(store.filter().isActive()) << c.name;
        EXPECT_FALSE(store.selectedRecordID()) << c.name;
        EXPECT_EQ(store.screen(), Screen::findings) << c.name;
        EXPECT_EQ(store.lastError(), QString("Couldn't read x: gone")) << c.name;

        settle(store.importLive(series(1)));
        EXPECT_EQ(store.sources().front().id, nextSource) << c.name;
        EXPECT_EQ(store.records().front().id, nextRecord) << c.name;
        store.closeAll();
    }
}

// Filtering

class FilterPassTest : public AuditStoreTest {
protected:
    void SetUp() override
    {
        AuditStoreTest::SetUp();
        settle(store.importLive(series(10)));
    }
    static EventFilter byRecords(std::vector<int64_t> recordIDs)
    {
        EventFilter f;
        f.recordIDs.emplace(recordIDs.begin(), recordIDs.end());
        return f;
    }
};

TEST_F(FilterPassTest, AnInactiveFilterTakesAllRecords)
{
    store.setFilter(byRecords({2}));
    settle();
    ASSERT_EQ(store.filtered().size(), 1u);
    EXPECT_EQ(store.filtered().records(), store.recordSnapshot());

    EventFilter labelOnly;
    labelOnly.label = "All events";
    store.setFilter(labelOnly);
    EXPECT_TRUE(store.isFiltering());
    settle();
    EXPECT_TRUE(store.filtered().isAll());
    EXPECT_EQ(store.filtered().size(), store.records().size());
}

TEST_F(FilterPassTest, ABurstOfChangesGivesOnePassWithTheLastFilter)
{
    QSignalSpy filtered(&store, &AuditStore::filteredChanged), filtering(&store, &AuditStore::isFilteringChanged);
    for (int64_t id = 1; id <= 5; ++id) store.setFilter(byRecords({id, 10}));
    settle();
    EXPECT_EQ(filtered.count(), 1);
    EXPECT_EQ(filtering.count(), 2); // on at the first change, off at the one publication
    EXPECT_EQ(ids(store.filtered()), (std::vector<int64_t>{5, 10}));
}

TEST_F(FilterPassTest, EachChangeRestartsTheWait)
{
    // Only lower bounds on time: a loaded machine can make every wait longer, never shorter. A
    // wait that is not restarted ends before the second change (then there are two passes) or
    // half a second after it.
    store.setFilterDelay(std::chrono::milliseconds(1500));
    QSignalSpy filtered(&store, &AuditStore::filteredChanged);
    QElapsedTimer clock;
    clock.start();
    store.setFilter(byRecords({1}));
    waitUntil([&] { return clock.elapsed() >= 1000; });
    store.setFilter(byRecords({2}));
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    qint64 passAfter = -1; // at least the time from the second change to the pass
    ASSERT_TRUE(waitUntil([&] {
        if (passAfter < 0 && filtered.count() > 0) passAfter = sinceSecond.elapsed();
        return !store.isFiltering();
    }));
    EXPECT_EQ(filtered.count(), 1);
    EXPECT_GE(passAfter, 1500);
    EXPECT_EQ(ids(store.filtered()), std::vector<int64_t>{2});
}

TEST_F(FilterPassTest, ARebuildDuringTheWaitFiltersAtOnce)
{
    store.setFilterDelay(std::chrono::hours(1));
    EventFilter f;
    f.start = 1005;
    store.setFilter(f);
    ASSERT_TRUE(store.isFiltering());
    const auto done = store.importLive(series(2, 1100));
    ASSERT_TRUE(waitUntil([&] { return done.isFinished() && !store.isFiltering(); }));
    EXPECT_EQ(ids(store.filtered()), (std::vector<int64_t>{6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(FilterPassTest, AStalePassNeverLands)
{
    store.setFilterDelay(std::chrono::milliseconds(0));
    QSignalSpy filtered(&store, &AuditStore::filteredChanged);
    {
        PoolGate gate;
        store.setFilter(byRecords({1}));
        ASSERT_TRUE(zeroWaitTimersFired()); // the wait has ended; the matching queues behind the gate
        ASSERT_TRUE(store.isFiltering());

        // The first pass finishes its matching, but its result has not reached the store yet.
        gate.open();
        QThreadPool::globalInstance()->waitForDone();
        store.setFilter(byRecords({2}));
    }
    settle();
    EXPECT_EQ(filtered.count(), 1);
    EXPECT_EQ(ids(store.filtered()), std::vector<int64_t>{2});
}

// A pass that has become stale stops matching at its next check instead of running to the end.
TEST_F(AuditStoreTest, AStalePassStopsMatching)
{
    // Enough records for a full pass to take a while; analysing them takes long under the sanitizers.
    const QFuture<void> imported = store.importLive(series(20'000));
    ASSERT_TRUE(waitUntil([&] { return imported.isFinished() && !store.isFiltering(); }, 120'000));
    store.setFilterDelay(std::chrono::milliseconds(0));
    const auto runTimer = [] { ASSERT_TRUE(zeroWaitTimersFired()); };
    EventFilter unmatched;
    unmatched.text = "in no record";

    const auto full = poolWork([&] {
        store.setFilter(unmatched);
        runTimer();
    });
    settle();
    ASSERT_TRUE(store.filtered().empty());

    unmatched.text = "in none either";
    const auto stale = poolWork([&] {
        store.setFilter(unmatched);
        runTimer(); // the pass is queued
        store.setFilter(EventFilter());
    });
    settle();
    EXPECT_TRUE(store.filtered().isAll());
    EXPECT_LT(stale * 4, full) << "stale " << stale.count() << " ns, full " << full.count() << " ns";
}

TEST_F(FilterPassTest, CloseAllReplacesAWaitingPass)
{
    // A pass over the old records waits while the filter is back at its default.
    store.setFilterDelay(std::chrono::hours(1));
    store.setFilter(byRecords({1}));
    store.setFilter(EventFilter());
    ASSERT_TRUE(store.isFiltering());
    store.closeAll();
    settle();
    EXPECT_TRUE(store.filtered().empty());
}

// Operations that change the sources

// Every publication of records matches the sources at that moment.
void expectConsistentPublications(AuditStore &store, int *publications)
{
    QObject::connect(&store, &AuditStore::recordsChanged, &store, [&store, publications] {
        ++*publications;
        int64_t expected = 0;
        for (const auto &s : store.sources()) expected += s.recordCount;
        EXPECT_EQ(int64_t(store.records().size()), expected) << "publication " << *publications;
    });
}

TEST_F(AuditStoreTest, OverlappingLoadsAndImportsTakeDistinctConsecutiveIds)
{
    int publications = 0;
    expectConsistentPublications(store, &publications);
    store.load("a.bsm", TestBSM::openReadRecords(3, 100));
    store.importLive(series(2, 50));
    const auto last = store.load("c.bsm", TestBSM::openReadRecords(4, 75));
    settle(last);

    ASSERT_EQ(store.sources().size(), 3u);
    struct Expected {
        int64_t source;
        const char *name;
        std::vector<int64_t> ids;
    };
    const Expected expected[] = {{1, "a.bsm", {1, 2, 3}}, {2, "", {4, 5}}, {3, "c.bsm", {6, 7, 8, 9}}};
    for (size_t i = 0; i < 3; ++i) {
        const TrailSource &s = store.sources()[i];
        EXPECT_EQ(s.id, expected[i].source);
        EXPECT_EQ(s.kind == TrailSource::Kind::file ? s.name : std::string(), expected[i].name);
        // Consecutive in file order: the record times rise with the ids.
        for (size_t k = 0; k < expected[i].ids.size(); ++k) {
            const auto r = store.record(expected[i].ids[k]);
            ASSERT_TRUE(r) << s.id;
            EXPECT_EQ(r->source, s.id);
            EXPECT_EQ(r->time, s.first.value() + double(k));
        }
    }
    EXPECT_EQ(store.records().size(), 9u);
    EXPECT_EQ(store.nextRecordID(), 10);
    // Each change supersedes the rebuild of the one before, which stops: one rebuild publishes them all.
    EXPECT_EQ(publications, 1);
}

TEST_F(AuditStoreTest, QueuedChangesEndWithTheLastState)
{
    int publications = 0;
    expectConsistentPublications(store, &publications);
    store.importLive(series(3, 100));
    store.remove(1);
    store.load("b.bsm", TestBSM::openReadRecords(2, 200));
    store.closeAll();
    const auto last = store.importLive(series(4, 300));
    settle(last);

    ASSERT_EQ(store.sources().size(), 1u);
    EXPECT_EQ(store.sources()[0].id, 3);
    EXPECT_EQ(ids(store.records()), (std::vector<int64_t>{6, 7, 8, 9}));
    EXPECT_EQ(store.filtered().size(), 4u);
}

TEST_F(AuditStoreTest, AStaleRebuildIsNotPublished)
{
    int publications = 0;
    expectConsistentPublications(store, &publications);
    QFuture<void> first, done;
    {
        PoolGate gate;
        first = store.importSource(TrailSource(), series(3));
        // The sources change again before the first analysis ends: only the second may publish.
        done = store.importSource(TrailSource(), series(2, 2000));
    }
    settle(done);
    EXPECT_TRUE(first.isFinished());
    EXPECT_EQ(publications, 1);
    EXPECT_EQ(store.records().size(), 5u);
    EXPECT_FALSE(store.isLoading());
}

// After a rebuild has published a source's records they are kept only there, so later loads and
// removals start from the published records. What they give must be what the sources' own records
// give: the same records, ids and order, and process images from the sources now present.
TEST_F(AuditStoreTest, PublishedRecordsCarryEachSourceThroughLaterLoadsAndRemovals)
{
    using TestBSM::TrailRecordBuilder;
    TestBSM::Subject ssh, zsh;
    ssh.pid = 100;
    zsh.pid = 200;
    // Source 1, ids 1-3: pid 100 becomes ssh at t10.
    const TestBSM::Bytes a = concat({
        TrailRecordBuilder(execve, 10).subject(ssh).path("/usr/bin/ssh").execArgs({"ssh", "host"}).returnValue(0).build(),
        TrailRecordBuilder(openRead, 12).subject(ssh).path("/etc/hosts").returnValue(0).build(),
        TrailRecordBuilder(openRead, 14).subject(ssh).path("/etc/passwd").returnValue(0).build(),
    });
    // Source 2, ids 4-8: pid 100 runs ssh only while source 1 is there; pid 200 becomes zsh on its
    // own; the last record has no subject and so never an image.
    const TestBSM::Bytes b = concat({
        TrailRecordBuilder(openRead, 11).subject(ssh).path("/tmp/one").returnValue(0).build(),
        TrailRecordBuilder(openRead, 13).subject(ssh).path("/tmp/two").returnValue(0).build(),
        TrailRecordBuilder(execve, 15).subject(zsh).path("/bin/zsh").returnValue(0).build(),
        TrailRecordBuilder(openRead, 16).subject(zsh).path("/tmp/three").returnValue(0).build(),
        TrailRecordBuilder(openRead, 17).text("no subject").returnValue(0).build(),
    });
    const std::string sshImage = "/usr/bin/ssh", zshImage = "/bin/zsh";
    const std::vector<Row> firstAlone = {{1, 1, 10, sshImage}, {2, 1, 12, sshImage}, {3, 1, 14, sshImage}};
    const std::vector<Row> both = {{1, 1, 10, sshImage}, {4, 2, 11, sshImage},    {2, 1, 12, sshImage},
                                   {5, 2, 13, sshImage}, {3, 1, 14, sshImage},    {6, 2, 15, zshImage},
                                   {7, 2, 16, zshImage}, {8, 2, 17, std::nullopt}};

    struct Case {
        const char *name;
        int64_t removed;
        std::vector<Row> left;
        size_t processes;
    };
    const Case cases[] = {
        {"first removed: the second's pid 100 loses the image it had from it",
         1,
         {{4, 2, 11, std::nullopt},
          {5, 2, 13, std::nullopt},
          {6, 2, 15, zshImage},
          {7, 2, 16, zshImage},
          {8, 2, 17, std::nullopt}},
         1},
        {"second removed: the first is as it was alone", 2, firstAlone, 1},
    };
    const auto analysing = [](size_t n) { return "Analysing " + std::to_string(n) + " records…"; };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestStore store;
        auto wait = [&store](const QFuture<void> &operation) {
            ASSERT_TRUE(waitUntil([&] { return operation.isFinished() && !store.isFiltering(); }));
        };

        wait(store.load("a.bsm", a));
        EXPECT_EQ(rows(store.records()), firstAlone);
        EXPECT_EQ(store.unpublishedSources(), 0u);
        const std::vector<AuditRecord> firstLoaded = store.records();

        wait(store.load("b.bsm", b));
        EXPECT_EQ(rows(store.records()), both);
        EXPECT_EQ(store.loadingMessage(), analysing(both.size()));
        EXPECT_EQ(store.unpublishedSources(), 0u);
        for (const AuditRecord &before : firstLoaded) {
            const auto after = store.record(before.id);
            ASSERT_TRUE(after);
            EXPECT_TRUE(sameDecodedRecord(before, *after)) << before.id;
        }
        const std::vector<AuditRecord> bothLoaded = store.records();

        wait(store.remove(c.removed));
        EXPECT_EQ(rows(store.records()), c.left);
        EXPECT_EQ(store.loadingMessage(), analysing(c.left.size()));
        EXPECT_EQ(store.unpublishedSources(), 0u);
        for (const AuditRecord &before : bothLoaded) {
            const auto after = store.record(before.id);
            ASSERT_EQ(bool(after), before.source != c.removed) << before.id;
            if (after) {
                EXPECT_TRUE(sameDecodedRecord(before, *after)) << before.id;
            }
        }
        EXPECT_EQ(store.processes().size(), c.processes);
        EXPECT_EQ(store.stats().total, int64_t(c.left.size()));
        EXPECT_EQ(store.filtered().size(), c.left.size());
    }
}

TEST_F(AuditStoreTest, QueuedLoadsRemovalsAndImportsKeepEveryRecordOnce)
{
    int publications = 0;
    expectConsistentPublications(store, &publications);
    store.load("a.bsm", TestBSM::openReadRecords(3, 100)); // source 1, ids 1-3
    store.load("b.bsm", TestBSM::openReadRecords(4, 200)); // source 2, ids 4-7
    store.remove(1);
    store.importLive(series(2, 50)); // source 3, ids 8-9
    store.remove(1);                 // gone already: a rebuild from the published records alone
    const auto last = store.load("c.bsm", TestBSM::openReadRecords(2, 300)); // source 4, ids 10-11
    settle(last);

    EXPECT_EQ(ids(store.records()), (std::vector<int64_t>{8, 9, 4, 5, 6, 7, 10, 11}));
    const struct {
        int64_t source;
        std::vector<int64_t> ids;
        double firstTime;
    } expected[] = {{2, {4, 5, 6, 7}, 200}, {3, {8, 9}, 50}, {4, {10, 11}, 300}};
    for (const auto &e : expected) {
        const std::vector<Row> got = rows(store.records(), e.source);
        ASSERT_EQ(got.size(), e.ids.size()) << e.source;
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_EQ(got[k].id, e.ids[k]) << e.source;
            EXPECT_EQ(got[k].time, e.firstTime + double(k)) << e.source;
        }
    }
    EXPECT_EQ(store.unpublishedSources(), 0u);
    EXPECT_EQ(store.nextRecordID(), 12);
    EXPECT_EQ(publications, 1); // each change supersedes the rebuild before it
}

// A rebuild whose sources change before it ends publishes nothing; whatever it read must still be
// there for the rebuild of that change, whichever records had been published and which not.
TEST_F(AuditStoreTest, AStaleRebuildLosesNoRecords)
{
    struct Case {
        const char *name;
        std::function<QFuture<void>(TestStore &)> change;
        std::vector<int64_t> left;
    };
    const Case cases[] = {
        {"a load queued behind it",
         [](TestStore &s) { return s.load("c.bsm", TestBSM::openReadRecords(2, 300)); },
         {1, 2, 3, 4, 5, 6, 7}},
        {"the published source removed", [](TestStore &s) { return s.remove(1); }, {4, 5}},
        {"the unpublished source removed", [](TestStore &s) { return s.remove(2); }, {1, 2, 3}},
        {"all closed, then a load",
         [](TestStore &s) {
             s.closeAll();
             return s.load("c.bsm", TestBSM::openReadRecords(2, 300));
         },
         {6, 7}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestStore store;
        int publications = 0;
        expectConsistentPublications(store, &publications);
        const auto first = store.load("a.bsm", TestBSM::openReadRecords(3, 100)); // source 1, ids 1-3
        ASSERT_TRUE(waitUntil([&] { return first.isFinished() && !store.isFiltering(); }));

        QFuture<void> last;
        std::vector<AuditRecord> shown;
        {
            PoolGate gate;
            // Source 2, ids 4-5: its rebuild waits behind the gate while the change comes.
            store.importSource(TrailSource(), series(2, 200));
            EXPECT_EQ(store.unpublishedSources(), 1u);
            last = c.change(store);
            shown = store.records();
        }
        // The background work has run, but no result has landed: what is shown is untouched.
        ASSERT_EQ(store.records().size(), shown.size());
        for (size_t p = 0; p < shown.size(); ++p) EXPECT_TRUE(sameDecodedRecord(store.records()[p], shown[p])) << p;
        ASSERT_TRUE(waitUntil([&] { return last.isFinished() && !store.isFiltering() && !store.isLoading(); }));

        EXPECT_EQ(ids(store.records()), c.left);
        for (int64_t id : c.left) {
            const auto r = store.record(id);
            ASSERT_TRUE(r) << id;
            EXPECT_EQ(r->source, id <= 3 ? 1 : id <= 5 ? 2 : 3) << id;
        }
        EXPECT_EQ(store.unpublishedSources(), 0u);
    }
}

TEST_F(AuditStoreTest, ADecodedTrailBecomesASource)
{
    BSMParser::TrailResult trail;
    trail.records = {makeRecord(300, openRead), makeRecord(100, openRead)};
    trail.issues.push_back({Uuid::random(), 42, "unexpected token"});
    trail.fileTokens = {{1, "20240101000000.not_terminated"}, {2, "20240101000000.20240102000000"}};
    settle(store.importTrail(TrailSource::Kind::system, "x.bsm", "/tmp/x.bsm", 77, trail));

    ASSERT_EQ(store.sources().size(), 1u);
    const TrailSource &s = store.sources()[0];
    EXPECT_EQ(s.kind, TrailSource::Kind::system);
    EXPECT_EQ(s.path, "/tmp/x.bsm");
    EXPECT_EQ(s.bytes, 77);
    EXPECT_EQ(s.recordCount, 2);
    EXPECT_EQ(s.first, 300.0); // its own first record, not the earliest
    EXPECT_EQ(s.last, 100.0);
    ASSERT_EQ(s.issues.total(), 1);
    EXPECT_EQ(s.issues.kept()[0].message, "unexpected token");
    EXPECT_EQ(s.fileTokens,
              (std::vector<std::string>{"20240101000000.not_terminated", "20240101000000.20240102000000"}));
    EXPECT_EQ(ids(store.records()), (std::vector<int64_t>{2, 1}));
}

} // namespace
