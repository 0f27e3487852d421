#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Engine/Record/EventFilter.h"
#include "Engine/Support/MemoryGuard.h"
#include "Engine/Support/Parallel.h"
#include "Platform/Background.h"
#include "Store/FilterPass.h"
#include "Store/LoadControl.h"
#include "Store/Rebuild.h"
#include "Store/RecordLedger.h"
#include "Store/RecordSelection.h"
#include "Store/Screen.h"
#include "Store/SignalThrottle.h"
#include "Store/StoreAnalysis.h"
#include "Store/StoreJobs.h"
#include "Store/TrailLoad.h"
#include "Store/TrailSource.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace BSMParser {
struct TrailResult;
}

// The application's one document model: loaded sources, their records and analysis, the record
// filter and its result, the current screen and selection, and the loading state. Lives on the main
// thread and is only touched there; decoding, analysis and filtering run on the thread pool over
// immutable snapshots and come back here to be published.
//
// What it does is done by its parts, each with one owner: the job queue (StoreJobs), the trail
// load (TrailLoad), the record ledger (RecordLedger), the filter pass (FilterPass) and the signal
// throttle (SignalThrottle); the store runs the jobs and the rebuild and publishes.
//
// Every property has its own change signal. Properties with a meaningful equality (screen, the
// selection, the flags and texts, the filter, the process lists by node id) notify only on change;
// sources, records, findings, stats and filtered notify on every publication.
class AuditStore : public QObject {
    Q_OBJECT

public:
    explicit AuditStore(QObject *parent = nullptr);
    ~AuditStore() override;

    Screen screen() const { return m_screen; }
    void setScreen(Screen screen);

    const std::vector<TrailSource> &sources() const { return m_ledger.sources(); }
    // All records of all sources, by time then id. Replaced, never changed, by a rebuild.
    const std::vector<AuditRecord> &records() const { return *m_analysis->records; }
    const std::vector<ProcessNode> &processes() const { return m_analysis->tree.processes; }
    // The processes and their lineage: the tree's roots and each node's children.
    const ProcessTree &processTree() const { return m_analysis->tree; }
    const std::vector<Finding> &findings() const { return m_analysis->findings; }
    const TrailStats &stats() const { return m_analysis->stats; }
    // The records that pass the filter. It lags `records` until the pass after a rebuild publishes,
    // and carries the snapshot it was computed from, so its rows are always valid.
    const RecordSelection &filtered() const { return m_filtered; }

    // The same as shared snapshots, for models that keep what they show while newer results are
    // published: each is immutable, never null, and replaced as a whole by the next publication
    // (all of them together, before the first change signal). A model holding analysisSnapshot()
    // has records, processes, findings, stats and the id index of one and the same rebuild.
    const AnalysisSnapshot &analysisSnapshot() const { return m_analysis; }
    const RecordSnapshot &recordSnapshot() const { return m_analysis->records; }
    ProcessesSnapshot processesSnapshot() const { return {m_analysis, &m_analysis->tree.processes}; }
    ProcessTreeSnapshot processTreeSnapshot() const { return {m_analysis, &m_analysis->tree}; }
    FindingsSnapshot findingsSnapshot() const { return {m_analysis, &m_analysis->findings}; }
    StatsSnapshot statsSnapshot() const { return {m_analysis, &m_analysis->stats}; }
    // A record's position in records(); nullopt when no record has the id.
    std::optional<size_t> position(int64_t id) const { return m_analysis->position(id); }

    bool isFiltering() const { return m_isFiltering; }
    bool isLoading() const { return m_isLoading; }
    // Never cleared: keeps the last step's text after loading ends.
    const std::string &loadingMessage() const { return m_loadingMessage; }
    const QString &lastError() const { return m_lastError; }
    void setLastError(QString error);

    std::optional<int64_t> selectedRecordID() const { return m_selectedRecordID; }
    void setSelectedRecordID(std::optional<int64_t> id);

    const EventFilter &filter() const { return m_filter; }
    // A different value (label included) schedules a filter pass after the filter delay.
    void setFilter(EventFilter filter);

    // The ids the next source and its first record will take. They only grow.
    int64_t nextSourceID() const { return m_ledger.nextSourceID(); }
    int64_t nextRecordID() const { return m_ledger.nextRecordID(); }

    std::optional<AuditRecord> record(int64_t id) const;

    // Drops every source and result at once; keeps the screen, the error and both id counters.
    // Loads, imports and removals asked for before it are dropped, and work on them stops.
    void closeAll();
    void showEvents(EventFilter filter);
    // Shows exactly these records and selects the first one given. The ids are taken by value:
    // the switch to the Events screen replaces the screen that may own the caller's list.
    void showRecords(std::vector<int64_t> ids, std::string label);
    // Shows the process's records during its lifetime. Reads the node before it changes anything.
    void showProcessEvents(const ProcessNode &process);

    // Reads and decodes the files side by side in the background, adds a source for each one
    // that could be read, in the order given, then rebuilds once. Failures end up in lastError,
    // the last one winning; an empty list does nothing. Only local files can be read. A file the
    // memory guard stops is refused alone; any other failure to read, decode or analyse (an
    // allocation that failed) undoes the whole call. Finishes once its sources are analysed and
    // published, or cancelled once the call is undone.
    QFuture<void> open(const QList<QUrl> &urls, TrailSource::Kind kind);
    // Opens the bundled sample trail, whose user 7501 is shown as orvik from then on.
    QFuture<void> openSample();
    // Has the trails of /var/audit copied with the administrator's consent and opens the copies.
    // A dismissed dialog ends the load without a word.
    QFuture<void> loadSystemTrails();

    // Keeps the live capture's records as a new source under fresh ids. Finishes after the rebuild;
    // cancelled when the rebuild failed and the import was undone.
    QFuture<void> importLive(std::vector<AuditRecord> records);
    // Finishes after the rebuild, which runs also when no source had the id. Undone, the source
    // back, and cancelled, when the others cannot be analysed.
    QFuture<void> remove(int64_t sourceID);

    // The sources as one immutable list, for views that keep what they show; made again only
    // after the sources change.
    const SourcesSnapshot &sourcesSnapshot() const { return m_ledger.sourcesSnapshot(); }

    // The wait between the last filter change and its pass; 180 ms unless a test changes it.
    void setFilterDelay(std::chrono::milliseconds delay);
    // How many threads loading and analysing may use (all cores unless a test or benchmark says
    // otherwise); the results are the same for any number. Work already under way keeps its own.
    void setThreads(unsigned threads);
    // Where the memory guard learns what the system can still give, and the process's resident
    // set, when a job starts and while it runs: the system's own unless a test says otherwise.
    void setMemoryProbe(MemoryGuard::Available probe) { m_memoryProbe = std::move(probe); }
    void setResidentProbe(MemoryGuard::Resident probe) { m_residentProbe = std::move(probe); }
    // Called on the pool at every checkpoint of the jobs started from now on, with the phase the
    // work is in and whether the checkpoint starts it (once per file read or decoded, and per
    // rebuild). Tests make it throw, to fail that phase, or wait, to hold it. Thread-safe.
    void setCheckpointHook(LoadControl::Hook hook) { m_checkpointHook = std::move(hook); }

signals:
    void screenChanged();
    void sourcesChanged();
    void recordsChanged();
    void processesChanged();
    // The process tree's roots differ.
    void processRootsChanged();
    void findingsChanged();
    void statsChanged();
    void filteredChanged();
    void isFilteringChanged();
    void isLoadingChanged();
    void loadingMessageChanged();
    void lastErrorChanged();
    void selectedRecordIDChanged();
    void filterChanged();

protected:
    // For loaders built on the store (tests, benchmarks): an import job that keeps the records as
    // a source made from `source` (its id, record count and times are the store's), or the
    // records, issues and file tokens of a decoded trail.
    QFuture<void> importSource(TrailSource source, std::vector<AuditRecord> records);
    QFuture<void> importTrail(TrailSource::Kind kind, std::string name, std::optional<std::string> path, int64_t bytes,
                              BSMParser::TrailResult trail);

    // Sources whose records are still kept apart, waiting for a rebuild to publish them. Once one
    // has, the published records are their only copy.
    size_t unpublishedSources() const { return m_ledger.unpublishedSources(); }

private:
    struct RebuildJob;
    using JobPointer = StoreJobs::Pointer;

    // Jobs: each takes the id counters when it adds a source, so ids stay consecutive and unique.
    QFuture<void> enqueue(JobPointer job);
    void startNextJob();
    // Makes the job's change, or starts the work it needs first.
    void startJob(const JobPointer &job);
    void startLoad(const JobPointer &job);
    void fileLoaded(const JobPointer &job, size_t index, std::shared_ptr<TrailLoad::Loaded> loaded);
    void takeUpFiles(const JobPointer &job);
    void importDecoded(const JobPointer &job, std::string name, std::optional<std::string> path, int64_t bytes,
                       BSMParser::TrailResult trail);
    void failLoad(const JobPointer &job, QString sentence);
    void changeMade(const JobPointer &job);
    void finish(const JobPointer &job);
    // Ends a job whose change was undone: cancelled, so that whoever waits on it does not take it as
    // made.
    void finishUndone(const JobPointer &job);
    void updateLoading();
    // Stops every job and all work on the pool, and waits until none runs, or at most `longest`.
    void stopAll(std::optional<std::chrono::milliseconds> longest = std::nullopt);
    // What quitting waits for the work to stop: a task the pool could not start never does, and
    // the whole of quitting may take two seconds.
    static constexpr std::chrono::milliseconds quittingWait{1000};

    int64_t appendSource(TrailSource source, std::vector<AuditRecord> records);

    // Reanalyses every source in the background and publishes on the main thread, then filters
    // at once. One runs at a time, and only once no job is in the middle of its change; a change
    // of the sources while it runs cancels it, and it gives its records back for the next one.
    void startRebuildIfDue();
    void rebuildEnded(const std::shared_ptr<RebuildJob> &run, Rebuild::Output output);
    void rebuildFailed(const std::shared_ptr<RebuildJob> &run, Rebuild::Output output);
    void publish(std::shared_ptr<StoreAnalysis> analysis);

    void scheduleFilter(bool immediate);
    void filterLanded(std::optional<RecordSelection> selection);
    void setFiltering(bool filtering);
    void setFiltered(RecordSelection filtered);
    void sourcesChangedInternally();
    void setLoading(bool loading);
    void setLoadingMessage(std::string message);

    Screen m_screen = Screen::dashboard;
    AnalysisSnapshot m_analysis;
    RecordSelection m_filtered;
    bool m_isFiltering = false;
    bool m_isLoading = false;
    std::string m_loadingMessage;
    QString m_lastError;
    std::optional<int64_t> m_selectedRecordID;
    EventFilter m_filter;

    RecordLedger m_ledger;
    StoreJobs m_jobs;
    std::shared_ptr<RebuildJob> m_rebuild;
    int m_authorising = 0; // system trail copies waiting for the administrator

    // The store's work on the pool: the destructor waits for it, so every result finds the store.
    Background::Tasks m_tasks;
    // The engine's worker pool that loading and analysing hand their parallel loops to.
    std::shared_ptr<Parallel::Pool> m_pool;
    MemoryGuard::Available m_memoryProbe = Memory::available;
    MemoryGuard::Resident m_residentProbe = Memory::resident;
    LoadControl::Hook m_checkpointHook;

    SignalThrottle m_sourcesThrottle{[this] { emit sourcesChanged(); }};
    SignalThrottle m_messageThrottle{[this] { emit loadingMessageChanged(); }};
    FilterPass m_filterPass{this, m_tasks, [this](std::optional<RecordSelection> s) { filterLanded(std::move(s)); }};
};
