#include "Store/AuditStore.h"

#include "Engine/BSM/UserResolver.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/PathComponents.h"
#include "Store/Rebuild.h"
#include "Store/TrailFile.h"
#include "Store/NativePath.h"
#include "Engine/Support/FileError.h"
#include "Engine/Support/Resources.h"
#include "Services/Privileged.h"

#include <QLocale>
#include <QPromise>
#include <QThreadPool>
#include <QTime>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <system_error>
#include <sys/stat.h>

namespace {

// Dropping the last reference to a large trail's records frees millions of strings: let a pool
// thread do it so the window stays responsive.
template <typename T>
void releaseInBackground(T &&old)
{
    QThreadPool::globalInstance()->start([old = std::forward<T>(old)] {});
}

bool sameNodes(const std::vector<ProcessNode> &a, const std::vector<ProcessNode> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ProcessNode &x, const ProcessNode &y) { return x.id == y.id; });
}

// The sample trail's user, who has no account on this machine.
constexpr uint32_t sampleUserID = 7501;
constexpr const char *sampleUserName = "orvik";

QFuture<void> finishedFuture()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

// What loading needs of a URL: the native path to open (none for a URL that is not a local file),
// the path as text and its last component, which names the source.
struct Location {
    std::optional<std::string> native;
    std::string path;
    std::string name;
};

Location locate(const QUrl &url)
{
    Location location;
    if (url.isLocalFile()) {
        // Opened by its bytes; the text, with U+FFFD for bytes that are not UTF-8, is only shown.
        const QByteArray native = NativePath::fromUrl(url);
        location.native = native.toStdString();
        location.path = QString::fromUtf8(native).toStdString();
    } else {
        location.path = url.path().toStdString();
    }
    location.name = std::string(lastPathComponent(location.path));
    return location;
}

struct LoadedFile {
    BSMParser::TrailResult trail;
    int64_t bytes = 0;
    int error = 0; // errno of a failed read
};

// The size of a regular file, 0 for anything else or a failure, which the read then reports.
uint64_t regularFileSize(const std::optional<std::string> &native)
{
    struct stat info;
    if (!native || ::stat(native->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return uint64_t(info.st_size);
}

// Runs in the background, on the pool's threads. The records keep windows into the one buffer the
// file was read into; their ids are given when the store appends them.
std::shared_ptr<LoadedFile> loadFile(const std::optional<std::string> &native, Parallel::Pool &pool)
{
    auto loaded = std::make_shared<LoadedFile>();
    if (!native) {
        loaded->error = EPROTONOSUPPORT;
        return loaded;
    }
    TrailFile::Contents contents = TrailFile::read(*native, pool);
    if (contents.error != 0) {
        loaded->error = contents.error;
        return loaded;
    }
    loaded->bytes = int64_t(contents.bytes->size());
    try {
        // Parts small enough that every thread gets a few, large enough that framing them costs nothing.
        const int64_t partSize = std::clamp<int64_t>(loaded->bytes / int64_t(pool.threads() * 4),
                                                     int64_t(64) << 10, int64_t(4) << 20);
        loaded->trail = BSMParser::parseFile(std::move(contents.bytes), 0, 0, pool, partSize);
    } catch (const std::bad_alloc &) {
        loaded->trail = {};
        loaded->error = ENOMEM;
    }
    return loaded;
}

// The locale's short time: hours and minutes. Qt's C locale puts seconds in its short form, which
// no real locale's short style has.
QString shortTime(const QTime &time)
{
    const QLocale locale;
    if (locale.language() == QLocale::C) return time.toString(QStringLiteral("HH:mm"));
    return locale.toString(time, QLocale::ShortFormat);
}

} // namespace

struct AuditStore::FilterPass {
    EventFilter filter;
    RecordSnapshot records;
    EventFilter::Pass prepared;
    uint64_t generation = 0;
};

AuditStore::AuditStore(QObject *parent)
    : QObject(parent)
    , m_analysis(std::make_shared<const StoreAnalysis>())
    , m_pool(&Parallel::Pool::shared(), [](Parallel::Pool *) {})
    , m_filterGeneration(std::make_shared<std::atomic<uint64_t>>(0))
{
    m_filterTimer.setSingleShot(true);
    m_filterTimer.setTimerType(Qt::PreciseTimer);
    m_filterTimer.setInterval(std::chrono::milliseconds(180));
    connect(&m_filterTimer, &QTimer::timeout, this, &AuditStore::runFilterPass);
}

AuditStore::~AuditStore()
{
    // Tells a filter worker still running that nobody wants its result.
    m_filterGeneration->fetch_add(1);
    for (Background &work : m_background) work.waitForFinished();
}

void AuditStore::track(Background work)
{
    std::erase_if(m_background, [](const Background &done) { return done.isFinished(); });
    m_background.push_back(std::move(work));
}

void AuditStore::setScreen(Screen screen)
{
    if (screen == m_screen) return;
    m_screen = screen;
    emit screenChanged();
}

void AuditStore::setThreads(unsigned threads)
{
    Parallel::Pool &shared = Parallel::Pool::shared();
    if (std::max(1u, threads) == shared.threads())
        m_pool.reset(&shared, [](Parallel::Pool *) {});
    else
        m_pool = std::make_shared<Parallel::Pool>(threads);
}

void AuditStore::setLastError(std::optional<std::string> error)
{
    if (error == m_lastError) return;
    m_lastError = std::move(error);
    emit lastErrorChanged();
}

void AuditStore::setSelectedRecordID(std::optional<int64_t> id)
{
    if (id == m_selectedRecordID) return;
    m_selectedRecordID = id;
    emit selectedRecordIDChanged();
}

void AuditStore::setFilter(EventFilter filter)
{
    if (filter == m_filter) return;
    m_filter = std::move(filter);
    emit filterChanged();
    scheduleFilter(false);
}

void AuditStore::setLoading(bool loading)
{
    if (loading == m_isLoading) return;
    m_isLoading = loading;
    emit isLoadingChanged();
}

void AuditStore::setLoadingMessage(std::string message)
{
    if (message == m_loadingMessage) return;
    m_loadingMessage = std::move(message);
    emit loadingMessageChanged();
}

void AuditStore::setFiltering(bool filtering)
{
    if (filtering == m_isFiltering) return;
    m_isFiltering = filtering;
    emit isFilteringChanged();
}

void AuditStore::setFiltered(RecordSelection filtered)
{
    releaseInBackground(std::exchange(m_filtered, std::move(filtered)));
    emit filteredChanged();
}

void AuditStore::setFilterDelay(std::chrono::milliseconds delay)
{
    m_filterTimer.setInterval(delay);
}

std::optional<AuditRecord> AuditStore::record(int64_t id) const
{
    const AuditRecord *found = m_analysis->record(id);
    if (!found) return std::nullopt;
    return *found;
}

void AuditStore::showEvents(EventFilter filter)
{
    setFilter(std::move(filter));
    setScreen(Screen::events);
}

void AuditStore::showRecords(std::vector<int64_t> ids, std::string label)
{
    EventFilter filter;
    filter.recordIDs.emplace(ids.begin(), ids.end());
    filter.label = std::move(label);
    const std::optional<int64_t> first = ids.empty() ? std::nullopt : std::optional<int64_t>(ids.front());
    showEvents(std::move(filter));
    setSelectedRecordID(first);
}

void AuditStore::showProcessEvents(const ProcessNode &process)
{
    EventFilter filter;
    filter.pid = process.pid;
    filter.start = process.start;
    filter.end = process.end;
    filter.label = std::string(lastPathComponent(process.image)) + " (pid " + std::to_string(process.pid) + ")";
    showEvents(std::move(filter));
}

// Operations

QFuture<void> AuditStore::enqueue(Operation operation)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> future = promise->future();
    m_operations.push_back([this, operation = std::move(operation), promise] {
        // A second call must not let the next operation start beside one already running.
        auto finished = std::make_shared<bool>(false);
        operation([this, promise, finished] {
            if (*finished) return;
            *finished = true;
            promise->finish();
            m_operationRunning = false;
            runNextOperation();
        });
    });
    runNextOperation();
    return future;
}

void AuditStore::runNextOperation()
{
    if (m_operationRunning || m_operations.empty()) return;
    m_operationRunning = true;
    auto next = std::move(m_operations.front());
    m_operations.pop_front();
    next();
}

void AuditStore::sourcesChangedInternally()
{
    ++m_sourcesGeneration;
    emit sourcesChanged();
}

int64_t AuditStore::appendSource(TrailSource source, std::vector<AuditRecord> records)
{
    source.id = m_nextSourceID++;
    // Numbered by the rebuild that takes them, on the pool.
    const int64_t first = m_nextRecordID;
    m_nextRecordID += int64_t(records.size());
    source.recordCount = int64_t(records.size());
    source.first = records.empty() ? std::nullopt : std::optional<double>(records.front().time);
    source.last = records.empty() ? std::nullopt : std::optional<double>(records.back().time);
    const size_t count = records.size();
    m_rawBySource[source.id] = {Held::byStore, std::move(records), first, count};
    m_sources.push_back(std::move(source));
    sourcesChangedInternally();
    return m_sources.back().id;
}

int64_t AuditStore::appendTrail(TrailSource::Kind kind, std::string name, std::optional<std::string> path,
                                int64_t bytes, BSMParser::TrailResult trail)
{
    TrailSource source;
    source.name = std::move(name);
    source.path = std::move(path);
    source.kind = kind;
    source.bytes = bytes;
    source.issues = std::move(trail.issues);
    for (auto &token : trail.fileTokens) source.fileTokens.push_back(std::move(token.name));
    return appendSource(std::move(source), std::move(trail.records));
}

// Loading

struct AuditStore::PendingFile {
    Location location;
    std::optional<std::string> refusal; // why it is not read: it would not fit in memory
    QFuture<std::shared_ptr<LoadedFile>> loaded; // unset when refused
};

QFuture<void> AuditStore::open(const QList<QUrl> &urls, TrailSource::Kind kind)
{
    if (urls.isEmpty()) return finishedFuture();
    return enqueue([this, urls, kind](Finish finish) {
        setLoading(true);
        // Every file is read and decoded at once, all sharing the pool; the store takes them up
        // in the order given, so ids, sources and messages follow that order.
        std::optional<uint64_t> available = m_memoryProbe();
        auto files = std::make_shared<std::vector<PendingFile>>();
        for (const QUrl &url : urls) {
            PendingFile file{locate(url), std::nullopt, {}};
            // Judged before the read, whose buffer alone may be more than there is. Files loaded
            // side by side share the memory: each later one counts on what the earlier leave.
            if (available) {
                const uint64_t size = regularFileSize(file.location.native);
                file.refusal = LoadEstimate::refusal(size, *available);
                if (!file.refusal) *available -= LoadEstimate::memoryNeeded(size);
            }
            if (!file.refusal)
                file.loaded = QtConcurrent::run(
                    [native = file.location.native, pool = m_pool] { return loadFile(native, *pool); });
            files->push_back(std::move(file));
        }
        readFiles(std::move(files), 0, kind, std::move(finish));
    });
}

void AuditStore::readFiles(PendingFiles files, size_t next, TrailSource::Kind kind, Finish finish)
{
    if (next == files->size()) {
        rebuild([this, finish = std::move(finish)] {
            setLoading(false);
            finish();
        });
        return;
    }
    PendingFile &file = (*files)[next];
    setLoadingMessage("Reading " + file.location.name + "…");
    if (file.refusal) {
        setLastError("Couldn't read " + file.location.name + ": " + *file.refusal);
        return readFiles(std::move(files), next + 1, kind, std::move(finish));
    }
    track(file.loaded);
    file.loaded.then(this, [this, files, next, kind, finish = std::move(finish)](std::shared_ptr<LoadedFile> loaded) mutable {
        const Location &location = (*files)[next].location;
        if (loaded->error != 0) {
            setLastError("Couldn't read " + location.name + ": " + FileError::text(loaded->error));
        } else {
            std::optional<std::string> notATrail;
            if (loaded->trail.records.empty() && !loaded->trail.issues.empty())
                notATrail = location.name + " doesn't look like a BSM audit trail ("
                    + loaded->trail.issues.front().message + ").";
            appendTrail(kind, location.name, location.path, loaded->bytes, std::move(loaded->trail));
            if (notATrail) setLastError(std::move(notATrail));
        }
        // Taken up from the event loop: a future already finished runs its continuation inside
        // then(), under a lock that chaining the next one from here would wait on for ever.
        QMetaObject::invokeMethod(this, [this, files = std::move(files), next, kind, finish = std::move(finish)]() mutable {
            // The result holds the file's records until the next one is taken up: let go of it.
            (*files)[next].loaded = {};
            readFiles(std::move(files), next + 1, kind, std::move(finish));
        }, Qt::QueuedConnection);
    });
}

QFuture<void> AuditStore::openSample()
{
    const std::string path = Resources::path("sample.bsm");
    if (path.empty()) {
        setLastError("The sample trail is missing from the app bundle.");
        return finishedFuture();
    }
    UserResolver::shared().seed(sampleUserID, sampleUserName);
    return open({NativePath::toUrl(QByteArray::fromStdString(path))}, TrailSource::Kind::sample);
}

QFuture<void> AuditStore::loadSystemTrails()
{
    setLoading(true);
    setLoadingMessage("Waiting for administrator authorisation…");
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> loaded = promise->future();
    auto stop = [this, promise](std::optional<std::string> error) {
        if (error) setLastError(std::move(error));
        setLoading(false);
        promise->finish();
    };
    Privileged::copySystemTrails().then(this, [this, promise, stop](QFuture<std::vector<std::string>> copied) {
        std::vector<std::string> paths;
        try {
            paths = copied.result();
        } catch (const PrivilegedError &error) {
            return stop(error.kind() == PrivilegedError::Kind::cancelled ? std::nullopt
                                                                          : std::optional(error.description()));
        } catch (const std::exception &error) {
            return stop(error.what());
        }
        if (paths.empty())
            return stop("/var/audit contains no trail files. Auditing may be disabled — see Audit Setup.");
        QList<QUrl> urls;
        for (const std::string &path : paths) urls.append(NativePath::toUrl(QByteArray::fromStdString(path)));
        open(urls, TrailSource::Kind::system).then(this, [promise] { promise->finish(); });
    });
    return loaded;
}

QFuture<void> AuditStore::importLive(std::vector<AuditRecord> records)
{
    return enqueue([this, records = std::move(records)](Finish finish) mutable {
        if (records.empty()) return finish();
        TrailSource source;
        source.name = "Live capture " + shortTime(QTime::currentTime()).toStdString();
        source.kind = TrailSource::Kind::live;
        for (auto &record : records) {
            source.bytes += int64_t(record.raw().size());
            record.processImage.reset();
        }
        appendSource(std::move(source), std::move(records));
        rebuild(std::move(finish));
    });
}

QFuture<void> AuditStore::remove(int64_t sourceID)
{
    return enqueue([this, sourceID](Finish finish) {
        std::erase_if(m_sources, [sourceID](const TrailSource &s) { return s.id == sourceID; });
        if (auto entry = m_rawBySource.find(sourceID); entry != m_rawBySource.end()) {
            releaseInBackground(std::move(entry->second.records));
            m_rawBySource.erase(entry);
        }
        sourcesChangedInternally();
        rebuild(std::move(finish));
    });
}

void AuditStore::closeAll()
{
    enqueue([this](Finish finish) {
        m_sources.clear();
        sourcesChangedInternally();
        std::vector<std::vector<AuditRecord>> lists;
        for (auto &[id, entry] : m_rawBySource) lists.push_back(std::move(entry.records));
        lists.push_back(std::exchange(m_carried, {}));
        releaseInBackground(std::move(lists));
        m_rawBySource.clear();
        m_carriedSources.clear();
        const bool hadProcesses = !m_analysis->tree.processes.empty();
        const bool hadRoots = !m_analysis->tree.roots.empty();
        releaseInBackground(std::exchange(m_analysis, std::make_shared<const StoreAnalysis>()));
        emit recordsChanged();
        if (hadProcesses) emit processesChanged();
        if (hadRoots) emit processRootsChanged();
        emit findingsChanged();
        const bool passPending = m_isFiltering;
        setFiltered(RecordSelection());
        emit statsChanged();
        const bool filterChanges = !(m_filter == EventFilter());
        setFilter(EventFilter());
        // A pass still under way would publish records that are gone; replace it by one over none.
        if (passPending && !filterChanges) scheduleFilter(true);
        setSelectedRecordID(std::nullopt);
        finish();
    });
}

// Rebuild

size_t AuditStore::unpublishedSources() const
{
    return size_t(std::count_if(m_rawBySource.begin(), m_rawBySource.end(),
                                [](const auto &entry) { return entry.second.held != Held::published; }));
}

void AuditStore::rebuild(Finish done)
{
    setLoading(true);
    size_t count = 0;
    for (const auto &[id, entry] : m_rawBySource) count += entry.count;
    setLoadingMessage("Analysing " + QLocale().toString(qlonglong(count)).toStdString() + " records…");
    std::vector<Finish> finishers;
    if (done) finishers.push_back(std::move(done));
    if (m_rebuilding) {
        // It starts once the running one has given its records back.
        for (Finish &finisher : finishers) m_rebuildsWaiting.push_back(std::move(finisher));
        return;
    }
    startRebuild(std::move(finishers));
}

void AuditStore::startRebuild(std::vector<Finish> done)
{
    // Every record goes to the rebuild from exactly one place: a new source's own list, the list
    // a dropped rebuild gave back, or the published analysis, whose records are copied.
    Rebuild::Input input;
    size_t fromPublished = 0;
    m_rebuildSources.clear();
    for (auto &[id, entry] : m_rawBySource) {
        m_rebuildSources.push_back(id);
        switch (entry.held) {
        case Held::byStore:
            input.handed.push_back({id, entry.firstID, std::exchange(entry.records, {})});
            entry.held = Held::byRebuild;
            break;
        case Held::carried:
            input.fromCarried.push_back(id);
            entry.held = Held::byRebuild;
            break;
        case Held::published:
            // Still published: the rebuild only copies them.
            input.fromPublished.push_back(id);
            fromPublished += entry.count;
            break;
        case Held::byRebuild:
            break;
        }
    }
    if (!input.fromPublished.empty()) {
        input.published = m_analysis->records;
        input.publishedWhole = fromPublished == m_analysis->records->size();
    }
    input.carriedWhole = input.fromCarried == m_carriedSources;
    input.carried = std::exchange(m_carried, {});
    m_carriedSources.clear();

    const uint64_t generation = m_sourcesGeneration;
    m_rebuilding = true;
    // Its result comes back behind a pointer: a future hands a copy of any value it can copy.
    auto rebuild = QtConcurrent::run([input = std::move(input), pool = m_pool]() mutable {
        return std::make_shared<Rebuild::Output>(Rebuild::run(std::move(input), *pool));
    });
    track(rebuild);
    rebuild.then(this, [this, generation, done = std::move(done)](std::shared_ptr<Rebuild::Output> output) mutable {
        rebuildEnded(generation, std::move(*output), std::move(done));
    });
}

void AuditStore::rebuildEnded(uint64_t generation, Rebuild::Output output, std::vector<Finish> done)
{
    m_rebuilding = false;
    // With the sources changed since this rebuild started, its result describes a set of
    // records that no longer exists: the change that came after owns the results now.
    const bool current = generation == m_sourcesGeneration;
    bool holdsSources = false;
    for (const int64_t id : m_rebuildSources) {
        const auto entry = m_rawBySource.find(id);
        if (entry == m_rawBySource.end()) continue;
        // The records it gave back are the ones to take next, even of sources also published.
        entry->second.held = current ? Held::published : Held::carried;
        holdsSources = true;
    }
    if (current) {
        output.analysis->records = std::make_shared<const std::vector<AuditRecord>>(std::move(output.records));
        publish(std::move(output.analysis));
        scheduleFilter(true);
    } else if (holdsSources) {
        // Those of sources removed meanwhile too: the rebuild that takes them leaves them out.
        m_carried = std::move(output.records);
        m_carriedSources = m_rebuildSources;
    } else {
        // Freeing a large trail's records takes a while; not on the main thread.
        releaseInBackground(std::move(output));
    }
    std::vector<Finish> waiting = std::move(m_rebuildsWaiting);
    m_rebuildsWaiting.clear();
    if (!current && waiting.empty() && !m_rebuilding) setLoading(false);
    for (Finish &finish : done) finish();
    if (waiting.empty()) return;
    if (m_rebuilding) {
        for (Finish &finish : waiting) m_rebuildsWaiting.push_back(std::move(finish));
        return;
    }
    startRebuild(std::move(waiting));
}

void AuditStore::publish(std::shared_ptr<StoreAnalysis> analysis)
{
    const bool processesDiffer = !sameNodes(m_analysis->tree.processes, analysis->tree.processes);
    const bool rootsDiffer = !std::ranges::equal(m_analysis->tree.roots, analysis->tree.roots, {},
                                                 [&](uint32_t at) { return m_analysis->tree.node(at).id; },
                                                 [&](uint32_t at) { return analysis->tree.node(at).id; });
    releaseInBackground(std::exchange(m_analysis, std::move(analysis)));
    emit recordsChanged();
    if (processesDiffer) emit processesChanged();
    if (rootsDiffer) emit processRootsChanged();
    emit findingsChanged();
    emit statsChanged();
    setLoading(false);
}

// Filtering

void AuditStore::scheduleFilter(bool immediate)
{
    m_filterTimer.stop();
    auto pass = std::make_unique<FilterPass>();
    pass->filter = m_filter;
    pass->records = m_analysis->records;
    pass->prepared = m_filter.pass();
    pass->generation = m_filterGeneration->fetch_add(1) + 1;
    m_pendingPass = std::move(pass);
    setFiltering(true);
    if (immediate)
        runFilterPass();
    else
        m_filterTimer.start();
}

void AuditStore::runFilterPass()
{
    if (!m_pendingPass) return;
    std::shared_ptr<FilterPass> pass = std::move(m_pendingPass);

    if (!pass->filter.isActive()) {
        setFiltered(RecordSelection(pass->records));
        setFiltering(false);
        return;
    }

    auto matching = QtConcurrent::run([pass, current = m_filterGeneration, pool = m_pool]() -> RecordSelection::Positions {
        const auto superseded = [&] { return current->load(std::memory_order_relaxed) != pass->generation; };
        std::optional<std::vector<uint32_t>> positions =
            pass->filter.select(*pass->records, pass->prepared, *pool, superseded);
        if (!positions) return nullptr;
        return std::make_shared<const std::vector<uint32_t>>(std::move(*positions));
    });
    track(matching);
    matching.then(this, [this, pass](RecordSelection::Positions positions) {
        if (!positions || pass->generation != m_filterGeneration->load()) return;
        setFiltered(RecordSelection(pass->records, std::move(positions)));
        setFiltering(false);
    });
}
