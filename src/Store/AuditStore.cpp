#include "Store/AuditStore.h"

#include "Engine/BSM/UserResolver.h"
#include "Engine/Parser/BSMParser.h"
#include "Engine/Record/PathComponents.h"
#include "Engine/Support/Resources.h"
#include "Platform/Background.h"
#include "Services/Privileged.h"
#include "Store/NativePath.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPromise>
#include <QTime>

#include <algorithm>
#include <map>

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

// The locale's short time: hours and minutes. Qt's C locale puts seconds in its short form, which
// no real locale's short style has.
QString shortTime(const QTime &time)
{
    const QLocale locale;
    if (locale.language() == QLocale::C) return time.toString(QStringLiteral("HH:mm"));
    return locale.toString(time, QLocale::ShortFormat);
}

} // namespace

// The rebuild running on the pool: what it took from the ledger and the jobs it covers.
struct AuditStore::RebuildJob {
    RecordLedger::Handout taken;    // its input already handed to the work
    std::vector<JobPointer> covers; // the jobs whose changes it analyses
    std::shared_ptr<LoadControl> control;
};

AuditStore::AuditStore(QObject *parent)
    : QObject(parent)
    , m_analysis(std::make_shared<const StoreAnalysis>())
    , m_pool(&Parallel::Pool::shared(), [](Parallel::Pool *) {})
{
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
    for (const JobPointer &job : m_jobs.unfinished(m_rebuild ? m_rebuild->covers : std::vector<JobPointer>())) {
        // Finishing twice would run the continuation twice.
        if (job->promise.future().isFinished()) continue;
        job->promise.future().cancel();
        job->promise.finish();
    }
}

void AuditStore::stopAll(std::optional<std::chrono::milliseconds> longest)
{
    // Tells a filter worker still running that nobody wants its result.
    m_filterPass.cancel();
    m_jobs.cancelWork();
    if (m_rebuild) m_rebuild->control->cancel();
    m_tasks.wait(longest);
}

void AuditStore::setThreads(unsigned threads)
{
    Parallel::Pool &shared = Parallel::Pool::shared();
    if (std::max(1u, threads) == shared.threads()) m_pool.reset(&shared, [](Parallel::Pool *) {});
    else m_pool = std::make_shared<Parallel::Pool>(threads);
    m_filterPass.setPool(m_pool);
}

void AuditStore::setFilterDelay(std::chrono::milliseconds delay)
{
    m_filterPass.setDelay(delay);
}

std::optional<AuditRecord> AuditStore::record(int64_t id) const
{
    const AuditRecord *found = m_analysis->record(id);
    if (!found) return std::nullopt;
    return *found;
}

// Navigation and the store's own properties

void AuditStore::setScreen(Screen screen)
{
    if (screen == m_screen) return;
    m_screen = screen;
    emit screenChanged();
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
    m_messageThrottle.request();
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
    QFuture<void> future = m_jobs.enqueue(std::move(job));
    startNextJob();
    return future;
}

void AuditStore::startNextJob()
{
    if (m_jobs.startQueued([this](const JobPointer &job) { startJob(job); })) updateLoading();
}

void AuditStore::startJob(const JobPointer &job)
{
    updateLoading();
    switch (job->kind) {
    case StoreJob::Kind::load: return startLoad(job);
    case StoreJob::Kind::import:
        job->added.push_back(job->source.name);
        job->addedIDs.push_back(appendSource(std::move(job->source), std::move(job->records)));
        return changeMade(job);
    case StoreJob::Kind::removal:
        job->removed = m_ledger.drop(job->sourceID);
        sourcesChangedInternally();
        return changeMade(job);
    }
}

// The job's change is made: a rebuild is due before the next job changes anything more.
void AuditStore::changeMade(const JobPointer &job)
{
    m_jobs.changeMade(job);
    startRebuildIfDue();
    startNextJob();
}

void AuditStore::finish(const JobPointer &job)
{
    m_jobs.end(job);
    m_sourcesThrottle.flush();
    m_messageThrottle.flush();
    job->promise.finish();
    startNextJob();
}

void AuditStore::finishUndone(const JobPointer &job)
{
    job->promise.future().cancel();
    finish(job);
}

void AuditStore::updateLoading()
{
    setLoading(m_authorising > 0 || m_jobs.busy() || m_rebuild);
    if (!m_isLoading) {
        m_sourcesThrottle.flush();
        m_messageThrottle.flush();
    }
}

int64_t AuditStore::appendSource(TrailSource source, std::vector<AuditRecord> records)
{
    const int64_t id = m_ledger.append(std::move(source), std::move(records));
    sourcesChangedInternally();
    return id;
}

void AuditStore::sourcesChangedInternally()
{
    // A rebuild under way now analyses sources that are no longer those: it stops, and gives its
    // records back for the one after this change.
    if (m_rebuild) m_rebuild->control->cancel();
    m_sourcesThrottle.request();
}

// Loading

QFuture<void> AuditStore::open(const QList<QUrl> &urls, TrailSource::Kind kind)
{
    if (urls.isEmpty()) return finishedFuture();
    auto job = std::make_shared<StoreJob>();
    job->kind = StoreJob::Kind::load;
    job->sourceKind = kind;
    for (const QUrl &url : urls) job->files.push_back({TrailLoad::locate(url), nullptr});
    return enqueue(std::move(job));
}

void AuditStore::startLoad(const JobPointer &job)
{
    job->control = std::make_shared<LoadControl>(m_memoryProbe, m_residentProbe, m_checkpointHook);
    // Every file is read and decoded at once, all sharing the pool; the store takes them up in the
    // order given, so ids, sources and messages follow that order.
    for (size_t i = 0; i < job->files.size(); ++i) {
        m_tasks.run(
            this,
            [native = job->files[i].location.native, pool = m_pool, control = job->control] {
                return TrailLoad::read(native, *pool, *control);
            },
            [this, job, i](std::shared_ptr<TrailLoad::Loaded> loaded) { fileLoaded(job, i, std::move(loaded)); });
    }
    takeUpFiles(job);
}

void AuditStore::fileLoaded(const JobPointer &job, size_t index, std::shared_ptr<TrailLoad::Loaded> loaded)
{
    // A job that was dropped (closed, or undone) takes up nothing more.
    if (m_jobs.changing() != job) return Background::releaseLater(std::move(loaded));
    job->files[index].loaded = std::move(loaded);
    takeUpFiles(job);
}

void AuditStore::takeUpFiles(const JobPointer &job)
{
    while (job->next < job->files.size()) {
        StoreJob::File &file = job->files[job->next];
        const std::string &name = file.location.name;
        setLoadingMessage("Reading " + name + "…");
        if (!file.loaded) return;
        std::shared_ptr<TrailLoad::Loaded> loaded = std::move(file.loaded);
        ++job->next;
        QString error;
        if (loaded->failure) {
            // Whatever ended the read or the decode, other than the guard, ends the whole call.
            const std::string &first = job->added.empty() ? name : job->added.front();
            return failLoad(job, TrailLoad::failureSentence("Couldn't read", first, loaded->failure,
                                                            "not enough memory to analyse it"));
        }
        error = TrailLoad::refusal(*loaded, name);
        if (error.isEmpty()) {
            error = TrailLoad::doubt(loaded->trail, name);
            importDecoded(job, name, file.location.path, loaded->bytes, std::move(loaded->trail));
        }
        Background::releaseLater(std::move(loaded));
        if (!error.isEmpty()) {
            job->error = error;
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
void AuditStore::failLoad(const JobPointer &job, QString sentence)
{
    job->control->cancel();
    for (const int64_t id : job->addedIDs) m_ledger.drop(id);
    if (!job->addedIDs.empty()) sourcesChangedInternally();
    job->error = std::move(sentence);
    setLastError(job->error);
    finishUndone(job);
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
    // Empty when nothing is to be said: the dialog was dismissed.
    auto stop = [this, promise](QString error) {
        updateLoading();
        if (!error.isEmpty()) setLastError(std::move(error));
        promise->finish();
    };
    // The copy ends on a thread of its own; a store destroyed meanwhile takes nothing from it.
    Background::whenDone(Privileged::copySystemTrails(), this, [this, promise, stop](auto copied) {
        --m_authorising;
        std::vector<std::string> paths;
        try {
            paths = copied.result();
        } catch (const PrivilegedError &error) {
            const bool dismissed = error.kind() == PrivilegedError::Kind::cancelled;
            return stop(dismissed ? QString() : QString::fromStdString(error.description()));
        } catch (const std::exception &error) {
            return stop(QString::fromStdString(error.what()));
        }
        if (paths.empty())
            return stop("/var/audit contains no trail files. Auditing may be disabled — see Audit Setup.");
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
    auto job = std::make_shared<StoreJob>();
    job->kind = StoreJob::Kind::import;
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
    auto job = std::make_shared<StoreJob>();
    job->kind = StoreJob::Kind::removal;
    job->sourceID = sourceID;
    return enqueue(std::move(job));
}

void AuditStore::closeAll()
{
    // What was asked before goes, and so does all work on it: a load's reading, the rebuild.
    const std::vector<JobPointer> dropped = m_jobs.dropAll();
    if (m_rebuild) m_rebuild->control->cancel();
    m_rebuild.reset();

    m_ledger.clear();
    m_sourcesThrottle.emitNow();
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

void AuditStore::startRebuildIfDue()
{
    if (m_rebuild || m_jobs.changing() || m_jobs.changed().empty()) return updateLoading();
    auto run = std::make_shared<RebuildJob>();
    run->covers = m_jobs.changed();
    run->control = std::make_shared<LoadControl>(m_memoryProbe, m_residentProbe, m_checkpointHook);
    run->taken = m_ledger.handOut(m_analysis->records);
    // Behind a pointer: the work's captures are copied.
    auto handed = std::make_shared<Rebuild::Input>(std::move(run->taken.input));

    m_rebuild = run;
    updateLoading();
    setLoadingMessage("Analysing " + QLocale().toString(qlonglong(run->taken.records)).toStdString() + " records…");
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
            return std::make_shared<Rebuild::Output>(std::move(output));
        },
        [this, run](std::shared_ptr<Rebuild::Output> result) { rebuildEnded(run, std::move(*result)); });
}

void AuditStore::rebuildEnded(const std::shared_ptr<RebuildJob> &run, Rebuild::Output output)
{
    // Closed meanwhile: nothing it holds is wanted.
    if (m_rebuild != run) return Background::releaseLater(std::move(output));
    m_rebuild.reset();
    if (run->taken.generation != m_ledger.generation()) {
        // Superseded: the change that came after owns the results now.
        m_ledger.giveBack(run->taken, std::move(output));
        return startRebuildIfDue();
    }
    if (output.stopped) return rebuildFailed(run, std::move(output));
    m_ledger.published(run->taken.sources);
    output.analysis->records = std::make_shared<const std::vector<AuditRecord>>(std::move(output.records));
    m_jobs.clearChanged();
    publish(std::move(output.analysis));
    scheduleFilter(true);
    for (const JobPointer &job : run->covers) finish(job);
    updateLoading();
}

// Every change the rebuild was to analyse is undone, and what is on show stays.
void AuditStore::rebuildFailed(const std::shared_ptr<RebuildJob> &run, Rebuild::Output output)
{
    const std::exception_ptr stopped = output.stopped;
    Background::releaseLater(std::move(output));
    // What a load's own sources held besides what the rebuild took: their buffers and records.
    std::map<const StoreJob *, uint64_t> held;
    for (const JobPointer &job : run->covers)
        for (const int64_t id : job->addedIDs)
            if (const auto source = std::ranges::find(sources(), id, &TrailSource::id); source != sources().end())
                held[job.get()] += uint64_t(source->bytes) + uint64_t(source->recordCount) * sizeof(AuditRecord);
    m_ledger.restorePublished();
    sourcesChangedInternally();
    for (const JobPointer &job : run->covers) {
        const QString error = job->undone(stopped, held[job.get()]);
        if (error.isEmpty()) continue;
        job->error = error;
        setLastError(job->error);
    }
    m_jobs.clearChanged();
    for (const JobPointer &job : run->covers) finishUndone(job);
    updateLoading();
}

void AuditStore::publish(std::shared_ptr<StoreAnalysis> analysis)
{
    const bool processesDiffer = !sameNodes(m_analysis->tree.processes, analysis->tree.processes);
    const bool rootsDiffer = !std::ranges::equal(
        m_analysis->tree.roots, analysis->tree.roots, {}, [&](uint32_t at) { return m_analysis->tree.node(at).id; },
        [&](uint32_t at) { return analysis->tree.node(at).id; });
    Background::releaseLater(std::exchange(m_analysis, std::move(analysis)));
    m_sourcesThrottle.flush();
    m_messageThrottle.flush();
    emit recordsChanged();
    if (processesDiffer) emit processesChanged();
    if (rootsDiffer) emit processRootsChanged();
    emit findingsChanged();
    emit statsChanged();
}

// Filtering

void AuditStore::scheduleFilter(bool immediate)
{
    setFiltering(true);
    m_filterPass.schedule(m_filter, m_analysis->records, immediate);
}

void AuditStore::filterLanded(std::optional<RecordSelection> selection)
{
    if (selection) setFiltered(std::move(*selection));
    setFiltering(false);
}
