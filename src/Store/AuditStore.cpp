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
#include "Platform/Background.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPromise>
#include <QTime>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <system_error>
#include <sys/stat.h>

namespace {

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
// the path the source keeps (the native bytes of a local file) and the name shown for it.
struct Location {
    std::optional<std::string> native;
    std::string path;
    std::string name;
};

Location locate(const QUrl &url)
{
    Location location;
    if (url.isLocalFile()) {
        // Opened, kept and handed on by its bytes; the name, with U+FFFD for bytes that are not
        // UTF-8, is only shown.
        const QByteArray native = NativePath::fromUrl(url);
        location.native = native.toStdString();
        location.path = *location.native;
        location.name = std::string(lastPathComponent(QString::fromUtf8(native).toStdString()));
    } else {
        location.path = url.path().toStdString();
        location.name = std::string(lastPathComponent(location.path));
    }
    return location;
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
    std::optional<Background::Ticket> ticket;
};

// What reading and decoding one file gave, or how it ended early.
struct AuditStore::LoadedFile {
    BSMParser::TrailResult trail;
    int64_t bytes = 0;
    int error = 0;                      // errno of a failed read
    std::optional<OutOfRoom> outOfRoom; // the memory guard stopped it
    uint64_t decoded = 0;               // bytes decoded when it was stopped
    uint64_t announced = 0;             // what the decode had taken at once by then (the records' slots)
    std::exception_ptr failure;         // anything else that ended it: a failed allocation, a cancellation
};

// One change of the sources asked for: a load of files, an import of records or a removal, with
// what it changed (to undo it) and its own error.
struct AuditStore::Job {
    enum class Kind { load, import, removal };

    struct File {
        Location location;
        std::shared_ptr<LoadedFile> loaded; // once its work is done
    };

    Kind kind = Kind::load;
    QPromise<void> promise;
    QString error;                        // empty while it has not failed
    std::shared_ptr<LoadControl> control; // a load's work on the pool

    // A load: its files in the order given, the next one to take up.
    TrailSource::Kind sourceKind = TrailSource::Kind::file;
    std::vector<File> files;
    size_t next = 0;
    // An import: the source and its records.
    TrailSource source;
    std::vector<AuditRecord> records;
    // A removal.
    int64_t sourceID = 0;

    // What it changed: the sources it added (names, ids), the name of the one it removed.
    std::vector<std::string> added;
    std::vector<int64_t> addedIDs;
    std::optional<std::string> removed;
};

// The rebuild running on the pool and what it holds.
struct AuditStore::RebuildJob {
    uint64_t generation = 0;
    std::vector<int64_t> sources;       // what it holds, ascending
    std::vector<int64_t> carriedBefore; // the carried list's sources it took
    std::vector<JobPointer> covers;     // the jobs whose changes it analyses
    std::shared_ptr<LoadControl> control;
};

namespace {

// "Couldn't read a.bsm: loading it needs about 6.1 GB of memory, and 2.0 GB is available".
std::string roomSentence(const std::string &verb, const std::string &name, uint64_t needed, uint64_t room)
{
    return verb + " " + name + ": loading it needs about " + Memory::byteText(needed) + " of memory, and "
           + Memory::byteText(room) + " is available";
}

bool isLackOfMemory(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc &) {
        return true;
    } catch (const std::length_error &) {
        return true;
    } catch (...) {
        return false;
    }
}

// What a failure other than the memory guard's says after "Couldn't read a.bsm: ".
std::string failureText(const std::exception_ptr &failure, const char *lackOfMemory)
{
    if (isLackOfMemory(failure)) return lackOfMemory;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &error) {
        return error.what();
    } catch (...) {
        return "an unknown failure";
    }
}

} // namespace

// Runs in the background, on the pool's threads. The records keep windows into the one buffer the
// file was read into; their ids are given when the store appends them.
void AuditStore::loadFile(const std::optional<std::string> &native, Parallel::Pool &pool, LoadControl &control,
                          LoadedFile &loaded)
{
    if (!native) {
        loaded.error = EPROTONOSUPPORT;
        return;
    }
    TrailFile::Contents contents;
    {
        const PhaseCheck reading(control, LoadPhase::read);
        contents = TrailFile::read(*native, pool);
    }
    if (contents.error != 0) {
        loaded.error = contents.error;
        return;
    }
    loaded.bytes = int64_t(contents.bytes->size());
    const PhaseCheck parsing(control, LoadPhase::parse);
    try {
        // Parts small enough that every thread gets a few, large enough that framing them costs nothing.
        const int64_t partSize = std::clamp<int64_t>(loaded.bytes / int64_t(pool.threads() * 4), int64_t(64) << 10,
                                                     int64_t(4) << 20);
        loaded.trail = BSMParser::parseFile(std::move(contents.bytes), 0, 0, pool, partSize);
    } catch (...) {
        loaded.decoded = parsing.decoded();
        loaded.announced = parsing.announced();
        throw;
    }
}

AuditStore::AuditStore(QObject *parent)
    : QObject(parent)
    , m_analysis(std::make_shared<const StoreAnalysis>())
    , m_pool(&Parallel::Pool::shared(), [](Parallel::Pool *) {})
{
    m_filterTimer.setSingleShot(true);
    m_filterTimer.setTimerType(Qt::PreciseTimer);
    m_filterTimer.setInterval(std::chrono::milliseconds(180));
    connect(&m_filterTimer, &QTimer::timeout, this, &AuditStore::runFilterPass);
    for (Throttle *throttle : {&m_sourcesThrottle, &m_messageThrottle}) {
        throttle->timer.setSingleShot(true);
        connect(&throttle->timer, &QTimer::timeout, this, [this, throttle] { flush(*throttle); });
    }
    // The application waits for the thread pool before it ends: stop loading first, so quitting
    // mid-load does not wait for the load, and for a task the pool never started not for ever.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, [this] { stopAll(quittingWait); });
}

AuditStore::~AuditStore()
{
    stopAll();
    // A job let go of later, by a result still queued to the store, would end as it is freed,
    // inside QObject's destructor, and its continuation on the store find no store: end them
    // while the store is whole, cancelled, so that no continuation runs.
    for (const JobPointer &job : unfinishedJobs()) {
        // Finishing twice would run the continuation twice.
        if (job->promise.future().isFinished()) continue;
        job->promise.future().cancel();
        job->promise.finish();
    }
}

std::vector<AuditStore::JobPointer> AuditStore::unfinishedJobs() const
{
    std::vector<JobPointer> jobs(m_queued.begin(), m_queued.end());
    if (m_changing) jobs.push_back(m_changing);
    jobs.insert(jobs.end(), m_changed.begin(), m_changed.end());
    if (m_rebuild) jobs.insert(jobs.end(), m_rebuild->covers.begin(), m_rebuild->covers.end());
    std::ranges::sort(jobs);
    jobs.erase(std::unique(jobs.begin(), jobs.end()), jobs.end());
    return jobs;
}

void AuditStore::stopAll(std::optional<std::chrono::milliseconds> longest)
{
    // Tells a filter worker still running that nobody wants its result.
    m_filterSeries.cancel();
    if (m_changing && m_changing->control) m_changing->control->cancel();
    if (m_rebuild) m_rebuild->control->cancel();
    m_tasks.wait(longest);
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
    if (std::max(1u, threads) == shared.threads()) m_pool.reset(&shared, [](Parallel::Pool *) {});
    else m_pool = std::make_shared<Parallel::Pool>(threads);
}

void AuditStore::setLastError(QString error)
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
    request(m_messageThrottle);
}

void AuditStore::setFiltering(bool filtering)
{
    if (filtering == m_isFiltering) return;
    m_isFiltering = filtering;
    emit isFilteringChanged();
}

void AuditStore::setFiltered(RecordSelection filtered)
{
    Background::releaseLater(std::exchange(m_filtered, std::move(filtered)));
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

// Jobs

QFuture<void> AuditStore::enqueue(JobPointer job)
{
    job->promise.start();
    QFuture<void> future = job->promise.future();
    m_queued.push_back(std::move(job));
    startNextJob();
    return future;
}

void AuditStore::startNextJob()
{
    // Imports and removals make their change at once and call back here: the loop takes them
    // up one after another rather than one inside the other.
    if (m_startingJobs) return;
    m_startingJobs = true;
    while (!m_changing && !m_queued.empty()) {
        m_changing = std::move(m_queued.front());
        m_queued.pop_front();
        updateLoading();
        const JobPointer job = m_changing;
        switch (job->kind) {
        case Job::Kind::load: startLoad(job); break;
        case Job::Kind::import:
            job->added.push_back(job->source.name);
            job->addedIDs.push_back(appendSource(std::move(job->source), std::move(job->records)));
            changeMade(job);
            break;
        case Job::Kind::removal:
            if (const auto it = std::ranges::find(m_sources, job->sourceID, &TrailSource::id); it != m_sources.end())
                job->removed = it->name;
            dropSource(job->sourceID);
            sourcesChangedInternally();
            changeMade(job);
            break;
        }
    }
    m_startingJobs = false;
    updateLoading();
}

// The job's change is made: a rebuild is due before the next job changes anything more.
void AuditStore::changeMade(const JobPointer &job)
{
    m_changing.reset();
    m_changed.push_back(job);
    startRebuildIfDue();
    startNextJob();
}

void AuditStore::finish(const JobPointer &job)
{
    if (m_changing == job) m_changing.reset();
    job->control.reset();
    flush(m_sourcesThrottle);
    flush(m_messageThrottle);
    job->promise.finish();
    startNextJob();
}

void AuditStore::updateLoading()
{
    setLoading(m_authorising > 0 || m_changing || !m_queued.empty() || !m_changed.empty() || m_rebuild);
    if (!m_isLoading) {
        flush(m_sourcesThrottle);
        flush(m_messageThrottle);
    }
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

// Takes the source out of the sources; its records, if the store holds them, are let go.
void AuditStore::dropSource(int64_t sourceID)
{
    std::erase_if(m_sources, [sourceID](const TrailSource &s) { return s.id == sourceID; });
    if (auto entry = m_rawBySource.find(sourceID); entry != m_rawBySource.end()) {
        Background::releaseLater(std::move(entry->second.records));
        m_rawBySource.erase(entry);
    }
}

void AuditStore::sourcesChangedInternally()
{
    ++m_sourcesGeneration;
    m_sourcesSnapshot.reset();
    // A rebuild under way now analyses sources that are no longer those: it stops, and gives its
    // records back for the one after this change.
    if (m_rebuild) m_rebuild->control->cancel();
    request(m_sourcesThrottle);
}

const SourcesSnapshot &AuditStore::sourcesSnapshot() const
{
    if (!m_sourcesSnapshot) m_sourcesSnapshot = std::make_shared<const std::vector<TrailSource>>(m_sources);
    return m_sourcesSnapshot;
}

// Signals while the sources change quickly

void AuditStore::request(Throttle &throttle)
{
    constexpr qint64 interval = 250;
    if (!throttle.since.isValid() || throttle.since.elapsed() >= interval) return emitNow(throttle);
    throttle.pending = true;
    if (!throttle.timer.isActive()) throttle.timer.start(int(interval - throttle.since.elapsed()));
}

void AuditStore::emitNow(Throttle &throttle)
{
    throttle.pending = false;
    throttle.timer.stop();
    throttle.since.start();
    emit(this->*throttle.signal)();
}

void AuditStore::flush(Throttle &throttle)
{
    if (throttle.pending) emitNow(throttle);
}

// Loading

QFuture<void> AuditStore::open(const QList<QUrl> &urls, TrailSource::Kind kind)
{
    if (urls.isEmpty()) return finishedFuture();
    auto job = std::make_shared<Job>();
    job->kind = Job::Kind::load;
    job->sourceKind = kind;
    for (const QUrl &url : urls) job->files.push_back({locate(url), nullptr});
    return enqueue(std::move(job));
}

void AuditStore::startLoad(const JobPointer &job)
{
    job->control = std::make_shared<LoadControl>(m_memoryProbe, m_residentProbe, m_checkpointHook);
    // Every file is read and decoded at once, all sharing the pool; the store takes them up in the
    // order given, so ids, sources and messages follow that order.
    for (size_t i = 0; i < job->files.size(); ++i) {
        const std::optional<std::string> native = job->files[i].location.native;
        m_tasks.run(
            this,
            [native, pool = m_pool, control = job->control] {
                auto loaded = std::make_shared<LoadedFile>();
                try {
                    loadFile(native, *pool, *control, *loaded);
                } catch (const OutOfRoom &stop) {
                    loaded->outOfRoom = stop;
                } catch (...) {
                    loaded->failure = std::current_exception();
                }
                if (loaded->outOfRoom || loaded->failure) loaded->trail = {};
                return loaded;
            },
            [this, job, i](std::shared_ptr<LoadedFile> loaded) { fileLoaded(job, i, std::move(loaded)); });
    }
    takeUpFiles(job);
}

void AuditStore::fileLoaded(const JobPointer &job, size_t index, std::shared_ptr<LoadedFile> loaded)
{
    // A job that was dropped (closed, or undone) takes up nothing more.
    if (m_changing != job) return Background::releaseLater(std::move(loaded));
    job->files[index].loaded = std::move(loaded);
    takeUpFiles(job);
}

void AuditStore::takeUpFiles(const JobPointer &job)
{
    while (job->next < job->files.size()) {
        Job::File &file = job->files[job->next];
        const std::string &name = file.location.name;
        setLoadingMessage("Reading " + name + "…");
        if (!file.loaded) return;
        const std::shared_ptr<LoadedFile> loaded = std::move(file.loaded);
        ++job->next;
        std::optional<std::string> error;
        if (loaded->failure) {
            // Whatever ended the read or the decode, other than the guard, ends the whole call.
            const std::string &first = job->added.empty() ? name : job->added.front();
            return failLoad(job, "Couldn't read " + first + ": "
                                     + failureText(loaded->failure, "not enough memory to analyse it"));
        } else if (loaded->outOfRoom) {
            // What it held when it was stopped, the part that grows with the bytes decoded
            // extrapolated to all of them; the buffer and the records' slots were taken at once.
            const uint64_t taken = loaded->outOfRoom->taken, bytes = uint64_t(std::max<int64_t>(loaded->bytes, 0));
            uint64_t needed = taken;
            if (loaded->decoded > 0 && bytes > loaded->decoded) {
                const uint64_t fixed = std::min(taken, bytes + loaded->announced);
                needed = fixed + uint64_t(double(taken - fixed) * double(bytes) / double(loaded->decoded));
            }
            error = roomSentence("Couldn't read", name, needed, loaded->outOfRoom->room);
        } else if (loaded->error != 0) {
            error = "Couldn't read " + name + ": " + FileError::text(loaded->error);
        } else {
            if (loaded->trail.records.empty() && !loaded->trail.issues.empty())
                error = name + " doesn't look like a BSM audit trail (" + loaded->trail.issues.front().message + ").";
            importDecoded(job, name, file.location.path, loaded->bytes, std::move(loaded->trail));
        }
        Background::releaseLater(std::move(loaded));
        if (error) {
            job->error = QString::fromStdString(*error);
            setLastError(job->error);
        }
    }
    changeMade(job);
}

void AuditStore::importDecoded(const JobPointer &job, std::string name, std::optional<std::string> path, int64_t bytes,
                               BSMParser::TrailResult trail)
{
    TrailSource source;
    source.name = std::move(name);
    source.path = std::move(path);
    source.kind = job->sourceKind;
    source.bytes = bytes;
    source.issues = ParseIssues(std::move(trail.issues), trail.issueCount);
    for (auto &token : trail.fileTokens) source.fileTokens.push_back(std::move(token.name));
    job->added.push_back(source.name);
    job->addedIDs.push_back(appendSource(std::move(source), std::move(trail.records)));
}

// Ends a load midway and undoes it: the sources it added go, the files still being read are left.
void AuditStore::failLoad(const JobPointer &job, const std::string &sentence)
{
    job->control->cancel();
    for (const int64_t id : job->addedIDs) dropSource(id);
    if (!job->addedIDs.empty()) sourcesChangedInternally();
    job->error = QString::fromStdString(sentence);
    setLastError(job->error);
    finish(job);
    startRebuildIfDue();
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
    ++m_authorising;
    updateLoading();
    setLoadingMessage("Waiting for administrator authorisation…");
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> loaded = promise->future();
    auto stop = [this, promise](std::optional<std::string> error) {
        if (error) setLastError(QString::fromStdString(*error));
        promise->finish();
    };
    // The copy ends on a thread of its own; a store destroyed meanwhile takes nothing from it.
    Background::whenDone(
        Privileged::copySystemTrails(), this, [this, promise, stop](QFuture<std::vector<std::string>> copied) {
            --m_authorising;
            std::vector<std::string> paths;
            try {
                paths = copied.result();
            } catch (const PrivilegedError &error) {
                updateLoading();
                return stop(error.kind() == PrivilegedError::Kind::cancelled ? std::nullopt
                                                                             : std::optional(error.description()));
            } catch (const std::exception &error) {
                updateLoading();
                return stop(error.what());
            }
            if (paths.empty()) {
                updateLoading();
                return stop("/var/audit contains no trail files. Auditing may be disabled — see Audit Setup.");
            }
            QList<QUrl> urls;
            for (const std::string &path : paths) urls.append(NativePath::toUrl(QByteArray::fromStdString(path)));
            Background::whenDone(open(urls, TrailSource::Kind::system), this,
                                 [promise](QFuture<void>) { promise->finish(); });
        });
    return loaded;
}

QFuture<void> AuditStore::importLive(std::vector<AuditRecord> records)
{
    if (records.empty()) return finishedFuture();
    TrailSource source;
    source.name = "Live capture " + shortTime(QTime::currentTime()).toStdString();
    source.kind = TrailSource::Kind::live;
    for (auto &record : records) {
        source.bytes += int64_t(record.raw().size());
        record.processImage.reset();
    }
    return importSource(std::move(source), std::move(records));
}

QFuture<void> AuditStore::importSource(TrailSource source, std::vector<AuditRecord> records)
{
    auto job = std::make_shared<Job>();
    job->kind = Job::Kind::import;
    job->source = std::move(source);
    job->records = std::move(records);
    return enqueue(std::move(job));
}

QFuture<void> AuditStore::importTrail(TrailSource::Kind kind, std::string name, std::optional<std::string> path,
                                      int64_t bytes, BSMParser::TrailResult trail)
{
    TrailSource source;
    source.name = std::move(name);
    source.path = std::move(path);
    source.kind = kind;
    source.bytes = bytes;
    source.issues = ParseIssues(std::move(trail.issues), trail.issueCount);
    for (auto &token : trail.fileTokens) source.fileTokens.push_back(std::move(token.name));
    return importSource(std::move(source), std::move(trail.records));
}

QFuture<void> AuditStore::remove(int64_t sourceID)
{
    auto job = std::make_shared<Job>();
    job->kind = Job::Kind::removal;
    job->sourceID = sourceID;
    return enqueue(std::move(job));
}

void AuditStore::closeAll()
{
    // What was asked before goes, and so does all work on it: a load's reading, the rebuild.
    std::vector<JobPointer> dropped(m_queued.begin(), m_queued.end());
    m_queued.clear();
    if (m_changing) {
        if (m_changing->control) m_changing->control->cancel();
        dropped.push_back(std::exchange(m_changing, nullptr));
    }
    for (JobPointer &job : m_changed) dropped.push_back(std::move(job));
    m_changed.clear();
    if (m_rebuild) m_rebuild->control->cancel();
    m_rebuild.reset();

    m_sources.clear();
    m_publishedSources.clear();
    m_publishedEntries.clear();
    ++m_sourcesGeneration;
    m_sourcesSnapshot.reset();
    std::vector<std::vector<AuditRecord>> lists;
    for (auto &[id, entry] : m_rawBySource) lists.push_back(std::move(entry.records));
    lists.push_back(std::exchange(m_carried, {}));
    Background::releaseLater(std::move(lists));
    m_rawBySource.clear();
    m_carriedSources.clear();
    emitNow(m_sourcesThrottle);
    const bool hadProcesses = !m_analysis->tree.processes.empty();
    const bool hadRoots = !m_analysis->tree.roots.empty();
    Background::releaseLater(std::exchange(m_analysis, std::make_shared<const StoreAnalysis>()));
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
    updateLoading();
    for (const JobPointer &job : dropped) job->promise.finish();
}

// Rebuild

size_t AuditStore::unpublishedSources() const
{
    return size_t(std::count_if(m_rawBySource.begin(), m_rawBySource.end(),
                                [](const auto &entry) { return entry.second.held != Held::published; }));
}

void AuditStore::startRebuildIfDue()
{
    if (m_rebuild || m_changing || m_changed.empty()) return updateLoading();
    auto run = std::make_shared<RebuildJob>();
    run->generation = m_sourcesGeneration;
    run->covers = m_changed;
    run->control = std::make_shared<LoadControl>(m_memoryProbe, m_residentProbe, m_checkpointHook);
    run->carriedBefore = m_carriedSources;

    // Every record goes to the rebuild from exactly one place: a new source's own list, the list
    // a superseded rebuild gave back, or the published analysis, whose records are copied.
    Rebuild::Input input;
    size_t count = 0, fromPublished = 0;
    for (auto &[id, entry] : m_rawBySource) {
        run->sources.push_back(id);
        count += entry.count;
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
        case Held::byRebuild: break;
        }
    }
    if (!input.fromPublished.empty()) {
        input.published = m_analysis->records;
        input.publishedWhole = fromPublished == m_analysis->records->size();
    }
    input.carriedWhole = input.fromCarried == m_carriedSources;
    input.carried = std::exchange(m_carried, {});
    m_carriedSources.clear();

    m_rebuild = run;
    updateLoading();
    setLoadingMessage("Analysing " + QLocale().toString(qlonglong(count)).toStdString() + " records…");
    // Behind a pointer: the work is a std::function, which could copy what it holds.
    auto handed = std::make_shared<Rebuild::Input>(std::move(input));
    m_tasks.run(
        this,
        [run, handed, pool = m_pool] {
            Rebuild::Output output;
            try {
                const PhaseCheck analysing(*run->control, LoadPhase::analysis);
                output = Rebuild::run(std::move(*handed), *pool);
            } catch (...) {
                // Stopped before it began: what it was handed is as it was.
                output.stopped = std::current_exception();
                output.unmerged = std::move(*handed);
            }
            // Behind a pointer: a future's result is copied.
            return std::make_shared<Rebuild::Output>(std::move(output));
        },
        [this, run](std::shared_ptr<Rebuild::Output> result) { rebuildEnded(run, std::move(*result)); });
}

void AuditStore::rebuildEnded(const std::shared_ptr<RebuildJob> &run, Rebuild::Output output)
{
    // Closed meanwhile: nothing it holds is wanted.
    if (m_rebuild != run) return Background::releaseLater(std::move(output));
    m_rebuild.reset();
    if (run->generation != m_sourcesGeneration) {
        // Superseded: the change that came after owns the results now.
        giveBack(*run, std::move(output));
        return startRebuildIfDue();
    }
    if (!output.stopped) {
        for (const int64_t id : run->sources) m_rawBySource.at(id).held = Held::published;
        output.analysis->records = std::make_shared<const std::vector<AuditRecord>>(std::move(output.records));
        m_publishedSources = m_sources;
        m_publishedEntries.clear();
        for (const auto &[id, entry] : m_rawBySource) m_publishedEntries[id] = {entry.firstID, entry.count};
        m_changed.clear();
        publish(std::move(output.analysis));
        scheduleFilter(true);
        for (const JobPointer &job : run->covers) finish(job);
        return updateLoading();
    }

    // It failed: every change it was to analyse is undone, and what is on show stays.
    const std::exception_ptr stopped = output.stopped;
    Background::releaseLater(std::move(output));
    // What a load's own sources held besides what the rebuild took: their buffers and records.
    std::map<const Job *, uint64_t> held;
    for (const JobPointer &job : run->covers)
        for (const int64_t id : job->addedIDs)
            if (const auto source = std::ranges::find(m_sources, id, &TrailSource::id); source != m_sources.end())
                held[job.get()] += uint64_t(source->bytes) + uint64_t(source->recordCount) * sizeof(AuditRecord);
    restorePublished();
    const bool outOfRoom = [&] {
        try {
            std::rethrow_exception(stopped);
        } catch (const OutOfRoom &) {
            return true;
        } catch (...) {
            return false;
        }
    }();
    for (const JobPointer &job : run->covers) {
        std::optional<std::string> error;
        if (job->kind == Job::Kind::removal) {
            if (job->removed)
                error = "Couldn't remove " + *job->removed + ": "
                        + failureText(stopped, "not enough memory to analyse the other trails");
        } else if (!job->added.empty()) {
            const char *verb = job->kind == Job::Kind::load ? "Couldn't read" : "Couldn't import";
            if (outOfRoom) {
                try {
                    std::rethrow_exception(stopped);
                } catch (const OutOfRoom &stop) {
                    error = roomSentence(verb, job->added.front(), stop.taken + held[job.get()], stop.room);
                }
            } else {
                error = std::string(verb) + " " + job->added.front() + ": "
                        + failureText(stopped, "not enough memory to analyse it");
            }
        }
        if (error) {
            job->error = QString::fromStdString(*error);
            setLastError(job->error);
        }
    }
    m_changed.clear();
    for (const JobPointer &job : run->covers) finish(job);
    updateLoading();
}

// Puts back the records a superseded rebuild held: as it was handed them, or as its one list.
void AuditStore::giveBack(const RebuildJob &run, Rebuild::Output output)
{
    if (output.unmerged) {
        Rebuild::Input &input = *output.unmerged;
        for (Rebuild::Handed &handed : input.handed) {
            const auto entry = m_rawBySource.find(handed.source);
            if (entry == m_rawBySource.end()) continue;
            entry->second.records = std::move(handed.records);
            entry->second.held = Held::byStore;
        }
        for (const int64_t id : input.fromCarried)
            if (const auto entry = m_rawBySource.find(id); entry != m_rawBySource.end())
                entry->second.held = Held::carried;
        m_carried = std::move(input.carried);
        m_carriedSources = run.carriedBefore;
        Background::releaseLater(std::move(output));
        return;
    }
    bool holdsSources = false;
    for (const int64_t id : run.sources) {
        const auto entry = m_rawBySource.find(id);
        if (entry == m_rawBySource.end()) continue;
        // The records it gave back are the ones to take next, even of sources also published.
        entry->second.held = Held::carried;
        holdsSources = true;
    }
    if (holdsSources) {
        // Those of sources removed meanwhile too: the rebuild that takes them leaves them out.
        m_carried = std::move(output.records);
        m_carriedSources = run.sources;
    }
    Background::releaseLater(std::move(output));
}

void AuditStore::restorePublished()
{
    m_sources = m_publishedSources;
    std::vector<std::vector<AuditRecord>> lists;
    for (auto &[id, entry] : m_rawBySource) lists.push_back(std::move(entry.records));
    m_rawBySource.clear();
    for (const auto &[id, entry] : m_publishedEntries)
        m_rawBySource[id] = {Held::published, {}, entry.first, entry.second};
    lists.push_back(std::exchange(m_carried, {}));
    m_carriedSources.clear();
    Background::releaseLater(std::move(lists));
    sourcesChangedInternally();
}

void AuditStore::publish(std::shared_ptr<StoreAnalysis> analysis)
{
    const bool processesDiffer = !sameNodes(m_analysis->tree.processes, analysis->tree.processes);
    const bool rootsDiffer = !std::ranges::equal(
        m_analysis->tree.roots, analysis->tree.roots, {}, [&](uint32_t at) { return m_analysis->tree.node(at).id; },
        [&](uint32_t at) { return analysis->tree.node(at).id; });
    Background::releaseLater(std::exchange(m_analysis, std::move(analysis)));
    flush(m_sourcesThrottle);
    flush(m_messageThrottle);
    emit recordsChanged();
    if (processesDiffer) emit processesChanged();
    if (rootsDiffer) emit processRootsChanged();
    emit findingsChanged();
    emit statsChanged();
}

// Filtering

void AuditStore::scheduleFilter(bool immediate)
{
    m_filterTimer.stop();
    auto pass = std::make_unique<FilterPass>();
    pass->filter = m_filter;
    pass->records = m_analysis->records;
    pass->prepared = m_filter.pass();
    pass->ticket = m_filterSeries.next();
    m_pendingPass = std::move(pass);
    setFiltering(true);
    if (immediate) runFilterPass();
    else m_filterTimer.start();
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

    m_tasks.run(
        this,
        [pass, pool = m_pool]() -> RecordSelection::Positions {
            const auto superseded = [&] { return pass->ticket->stale(); };
            try {
                std::optional<std::vector<uint32_t>> positions = pass->filter.select(*pass->records, pass->prepared,
                                                                                     *pool, superseded);
                if (positions) return std::make_shared<const std::vector<uint32_t>>(std::move(*positions));
            } catch (const std::exception &) {
                // Out of memory: the list on show stays, and the pass ends rather than runs for ever.
            }
            return RecordSelection::Positions();
        },
        [this, pass](RecordSelection::Positions matching) {
            if (pass->ticket->stale()) return;
            if (matching) setFiltered(RecordSelection(pass->records, std::move(matching)));
            setFiltering(false);
        });
}
