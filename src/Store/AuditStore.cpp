#include "Store/AuditStore.h"

#include "Engine/Analysis/TrailAnalysis.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/PathComponents.h"
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

// How often the filter worker looks whether its pass is still wanted.
constexpr size_t filterCheckInterval = 4096;

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

// Runs in the background, on up to `threads` threads. The records keep windows into the one
// buffer the file was read into; their ids are given when the store appends them.
std::shared_ptr<LoadedFile> loadFile(const std::optional<std::string> &native, unsigned threads)
{
    auto loaded = std::make_shared<LoadedFile>();
    if (!native) {
        loaded->error = EPROTONOSUPPORT;
        return loaded;
    }
    TrailFile::Contents contents = TrailFile::read(*native);
    if (contents.error != 0) {
        loaded->error = contents.error;
        return loaded;
    }
    loaded->bytes = int64_t(contents.bytes->size());
    try {
        // Parts small enough that every thread gets a few, large enough that framing them costs nothing.
        const int64_t partSize = std::clamp<int64_t>(loaded->bytes / int64_t(threads * 4), int64_t(64) << 10,
                                                     int64_t(4) << 20);
        loaded->trail = BSMParser::parseFile(std::move(contents.bytes), 0, 0, threads, partSize);
    } catch (const std::bad_alloc &) {
        loaded->trail = {};
        loaded->error = ENOMEM;
    }
    return loaded;
}

// What a rebuild starts from: the published records, for the sources that are already in them,
// and the lists of the sources added since. It holds them all, so that what it reads stays alive
// however the store changes before it ends.
struct RebuildInput {
    RecordSnapshot published; // set when some source's records live there
    std::vector<int64_t> kept; // ascending
    bool keepsAllPublished = false;
    std::vector<RecordSnapshot> unpublished;
    size_t count = 0;
};

// Appends the records of `part` that `keep` accepts and lets go of the part. Holding its last
// reference, nobody else can read it any more, so the records are moved rather than copied.
template <typename Keep>
void appendRecords(std::vector<AuditRecord> &all, RecordSnapshot part, Keep keep)
{
    if (part.use_count() == 1) {
        // Orders the moves after the reads of the threads that let go of the part before.
        std::atomic_thread_fence(std::memory_order_acquire);
        auto &owned = const_cast<std::vector<AuditRecord> &>(*part);
        for (AuditRecord &record : owned)
            if (keep(record)) all.push_back(std::move(record));
    } else {
        for (const AuditRecord &record : *part)
            if (keep(record)) all.push_back(record);
    }
}

// Runs in the background. Carried-over records keep the process image of the last analysis;
// the process pass rewrites it on every record with a subject, and one without a subject never
// had one from the store, so the result is that of a join of the sources' own lists.
std::vector<AuditRecord> join(RebuildInput input)
{
    const auto everything = [](const AuditRecord &) { return true; };
    std::vector<AuditRecord> all;
    all.reserve(input.count);
    if (input.keepsAllPublished) {
        appendRecords(all, std::move(input.published), everything);
    } else if (input.published) {
        appendRecords(all, std::move(input.published), [&kept = input.kept](const AuditRecord &record) {
            return std::binary_search(kept.begin(), kept.end(), record.source);
        });
    }
    for (RecordSnapshot &part : input.unpublished) appendRecords(all, std::move(part), everything);
    return all;
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

void AuditStore::showRecords(const std::vector<int64_t> &ids, std::string label)
{
    EventFilter filter;
    filter.recordIDs.emplace(ids.begin(), ids.end());
    filter.label = std::move(label);
    showEvents(std::move(filter));
    setSelectedRecordID(ids.empty() ? std::nullopt : std::optional<int64_t>(ids.front()));
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
    const int64_t first = m_nextRecordID;
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].id = first + int64_t(i);
        records[i].source = source.id;
    }
    m_nextRecordID += int64_t(records.size());
    source.recordCount = int64_t(records.size());
    source.first = records.empty() ? std::nullopt : std::optional<double>(records.front().time);
    source.last = records.empty() ? std::nullopt : std::optional<double>(records.back().time);
    const size_t count = records.size();
    m_rawBySource[source.id] = {std::make_shared<std::vector<AuditRecord>>(std::move(records)), count};
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
        // Every file is read and decoded at once, each on its share of the threads; the store
        // takes them up in the order given, so ids, sources and messages follow that order.
        const unsigned share = m_threads / unsigned(std::min<qsizetype>(urls.size(), m_threads));
        const unsigned threads = m_threads == 1 ? 1 : std::max(2u, share);
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
                    [native = file.location.native, threads] { return loadFile(native, threads); });
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
        m_rawBySource.erase(sourceID);
        sourcesChangedInternally();
        rebuild(std::move(finish));
    });
}

void AuditStore::closeAll()
{
    enqueue([this](Finish finish) {
        m_sources.clear();
        sourcesChangedInternally();
        m_rawBySource.clear();
        const bool hadProcesses = !m_analysis->processes.empty();
        const bool hadRoots = !m_analysis->roots.empty();
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
                                [](const auto &entry) { return entry.second.unpublished != nullptr; }));
}

void AuditStore::rebuild(Finish done)
{
    setLoading(true);
    RebuildInput input;
    size_t keptCount = 0;
    for (const auto &[id, records] : m_rawBySource) {
        input.count += records.count;
        if (records.unpublished) {
            input.unpublished.push_back(records.unpublished);
        } else {
            input.kept.push_back(id);
            keptCount += records.count;
        }
    }
    if (!input.kept.empty()) {
        input.published = m_analysis->records;
        input.keepsAllPublished = keptCount == m_analysis->records->size();
    }
    setLoadingMessage("Analysing " + QLocale().toString(qlonglong(input.count)).toStdString() + " records…");

    const uint64_t generation = m_sourcesGeneration;
    ++m_rebuildsRunning;
    // The store goes on showing the published records and keeps the unpublished lists until a
    // result lands, so the join copies them; it moves only what nobody holds any more.
    auto rebuild = QtConcurrent::run([input = std::move(input), threads = m_threads]() mutable {
        auto analysis = std::make_shared<StoreAnalysis>();
        // Statistics and the id index need only the records, so they are made while the
        // detections run.
        const auto alongside = [&analysis](std::span<const AuditRecord> records) {
            analysis->stats = TrailStats::compute(records);
            analysis->indexPositions(records);
        };
        TrailAnalysis trail = TrailAnalysis::of(join(std::move(input)), alongside, threads);
        analysis->records = std::make_shared<std::vector<AuditRecord>>(std::move(trail.records));
        analysis->processes = std::move(trail.processes);
        analysis->roots = std::move(trail.roots);
        analysis->findings = std::move(trail.findings);
        return analysis;
    });
    track(rebuild);
    rebuild.then(this, [this, generation, done = std::move(done)](std::shared_ptr<StoreAnalysis> analysis) {
        --m_rebuildsRunning;
        // With the sources changed since this rebuild started, its result describes a set of
        // records that no longer exists: the change that came after owns the results now.
        if (generation == m_sourcesGeneration) {
            // The sources are still those this rebuild read, so its records hold all of them.
            std::vector<RecordSnapshot> superseded;
            for (auto &[id, records] : m_rawBySource)
                if (records.unpublished) superseded.push_back(std::move(records.unpublished));
            // Freeing a large trail's records takes a while; not on the main thread.
            if (!superseded.empty()) releaseInBackground(std::move(superseded));
            publish(std::move(analysis));
            scheduleFilter(true);
        } else if (m_rebuildsRunning == 0) {
            setLoading(false);
        }
        if (done) done();
    });
}

void AuditStore::publish(std::shared_ptr<StoreAnalysis> analysis)
{
    const bool processesDiffer = !sameNodes(m_analysis->processes, analysis->processes);
    const bool rootsDiffer = !sameNodes(m_analysis->roots, analysis->roots);
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

    auto matching = QtConcurrent::run([pass, current = m_filterGeneration]() -> RecordSelection::Positions {
        const auto &records = *pass->records;
        std::vector<uint32_t> positions;
        for (size_t p = 0; p < records.size(); ++p) {
            if (p % filterCheckInterval == 0 && current->load(std::memory_order_relaxed) != pass->generation)
                return nullptr;
            if (pass->filter.matches(records[p], pass->prepared)) positions.push_back(uint32_t(p));
        }
        return std::make_shared<const std::vector<uint32_t>>(std::move(positions));
    });
    track(matching);
    matching.then(this, [this, pass](RecordSelection::Positions positions) {
        if (!positions || pass->generation != m_filterGeneration->load()) return;
        setFiltered(RecordSelection(pass->records, std::move(positions)));
        setFiltering(false);
    });
}
