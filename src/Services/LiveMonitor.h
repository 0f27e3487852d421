#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Record/AuditRecord.h"
#include "Engine/Capture/AuditPipeHelper.h"
#include "Engine/Capture/LiveStreamReader.h"
#include "Platform/Background.h"

#include <QFuture>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

class QTimer;

// The application's one live capture. A root helper (a second copy of this executable) copies
// the audit pipe into a named pipe in a private folder; a reader decodes what arrives into a
// rolling buffer, and one second after new records the buffer is analysed, one pass at a time.
// Lives on the main thread; every property notifies when it changes.
class LiveMonitor : public QObject {
    Q_OBJECT

public:
    struct Idle {
        bool operator==(const Idle &) const = default;
    };
    struct Starting {
        bool operator==(const Starting &) const = default;
    };
    struct Running {
        bool operator==(const Running &) const = default;
    };
    struct Failed {
        QString message;
        bool operator==(const Failed &) const = default;
    };
    using State = std::variant<Idle, Starting, Running, Failed>;

    // The buffer as published: immutable, so a model may keep one while newer ones are published.
    using Records = std::shared_ptr<const std::vector<AuditRecord>>;

    // How the buffer just published differs from the one published before it, so that a table
    // can remove and insert rows, or refresh them, instead of resetting every row.
    struct RecordsChange {
        int64_t dropped = 0;  // oldest records removed from the front
        int64_t appended = 0; // records added at the end, after the drop
        // The same records, replaced by their analysed copies (process images filled in).
        bool analysed = false;
        // With analysed: the copies come in time order, which differs from arrival order here.
        bool reordered = false;

        bool operator==(const RecordsChange &) const = default;
    };

    struct Analysis {
        std::vector<AuditRecord> records; // with their process images
        std::vector<Finding> findings;
    };

    // What a capture depends on. The defaults are the real system; tests start a helper of their
    // own, shorten the waits and hold the clock.
    struct Environment {
        // Runs the helper's command line as root; empty: the administrator-authorised shell.
        std::function<QFuture<std::string>(const std::string &command, const std::string &prompt)> startHelper;
        // The helper accepts only capture folders whose real path begins with this.
        std::string trustedPrefix = AuditPipeHelper::Places{}.trustedPrefix;
        std::chrono::milliseconds handshakeInterval{100};
        std::chrono::milliseconds readerPoll{500};
        std::chrono::milliseconds analysisDelay{1000};
        std::chrono::milliseconds watchdogInterval{5000};
        std::function<double()> now; // empty: the system clock
        // Whether the helper still runs: 0 or the errno of a null signal; empty: kill(pid, 0).
        std::function<int(int32_t pid)> signalHelper;
        std::function<Analysis(std::vector<AuditRecord>)> analyse; // empty: process tree, then rules
    };

    static constexpr int64_t firstLiveID = 10000000;
    static constexpr int64_t defaultBufferLimit = 20000;

    explicit LiveMonitor(QObject *parent = nullptr);
    explicit LiveMonitor(Environment environment, QObject *parent = nullptr);
    ~LiveMonitor() override;

    const State &state() const { return m_state; }
    // Open to the screens for the stop: cleanup(), then Idle.
    void setState(State state);

    Records records() const { return m_records; } // oldest first; never null
    // What the last recordsChanged changed; read it in the slot of that signal.
    const RecordsChange &recordsChange() const { return m_recordsChange; }
    const std::vector<Finding> &findings() const { return m_findings; }
    int64_t totalReceived() const { return m_totalReceived; }
    int64_t bytesReceived() const { return m_bytesReceived; }
    double ratePerSecond() const { return m_ratePerSecond; }
    std::optional<double> startedAt() const { return m_startedAt; } // seconds since 1970

    const std::set<std::string> &selectedClasses() const { return m_selectedClasses; }
    void setSelectedClasses(std::set<std::string> classes); // taken by the next start()
    int64_t bufferLimit() const { return m_bufferLimit; }
    void setBufferLimit(int64_t limit);
    bool paused() const { return m_paused; }
    // Every assignment, equal or not, retakes the snapshot (or drops it).
    void setPaused(bool paused);
    const Records &pausedSnapshot() const { return m_pausedSnapshot; } // null: none

    void setOnAnalysis(std::function<void(const std::vector<Finding> &, const std::vector<AuditRecord> &)> callback);
    void setOnUnexpectedStop(std::function<void(const QString &message)> callback);

    // Starts a capture from Idle or Failed; does nothing while starting or running. Every
    // failure ends in `state`.
    void start();
    // Stops the watchdog and the reader, closes the pipe and removes the capture folder. A start
    // still under way is abandoned. Never changes `state`.
    void cleanup();
    // Empties the buffer and the findings and resets the two counters.
    void clear();

    // The root command line that starts the helper.
    static std::string helperCommand(const std::string &executable, const std::string &fifoPath, uint32_t mask,
                                     int64_t applicationPid);
    // The process tree and the rules over records in time order, as every pass runs them.
    static Analysis analyse(std::vector<AuditRecord> records);

signals:
    void stateChanged();
    void recordsChanged();
    void findingsChanged();
    void totalReceivedChanged();
    void bytesReceivedChanged();
    void ratePerSecondChanged();
    void startedAtChanged();
    void selectedClassesChanged();
    void bufferLimitChanged();
    void pausedChanged();
    void pausedSnapshotChanged();

private:
    struct Pipe;
    struct RateEntry {
        double time;
        int64_t count;
    };

    void fail(const std::exception_ptr &error);
    void failWith(const std::string &message);
    void helperLaunched(uint64_t generation, QFuture<std::string> launch);
    void waitForHelper(uint64_t generation, int tries);
    void running(int32_t helperPid);
    void startReader();
    void startWatchdog(int32_t helperPid);
    void checkHelper(int32_t helperPid);
    void readerEnded(uint64_t generation, int errorNumber);
    void endUnexpectedly(const std::string &message);
    void ingest(std::vector<AuditRecord> records, int64_t bytes);
    void scheduleAnalysis();
    void runAnalysis();
    void analysisEnded(const Records &snapshot, uint64_t handOvers, std::shared_ptr<Analysis> result);
    void setRecords(Records records, RecordsChange change);
    void setFindings(std::vector<Finding> findings);
    double now() const;

    Environment m_environment;

    State m_state = Idle{};
    // Changed in place while nobody else holds it, as a copy-on-write array would be.
    Records m_records; // published: never written again, only replaced
    RecordsChange m_recordsChange;
    std::vector<Finding> m_findings;
    int64_t m_totalReceived = 0;
    int64_t m_bytesReceived = 0;
    double m_ratePerSecond = 0;
    std::optional<double> m_startedAt;
    std::set<std::string> m_selectedClasses = {"lo", "aa", "ad", "ex", "pc", "fc", "fd", "fm", "nt"};
    int64_t m_bufferLimit = defaultBufferLimit;
    bool m_paused = false;
    Records m_pausedSnapshot;
    std::function<void(const std::vector<Finding> &, const std::vector<AuditRecord> &)> m_onAnalysis;
    std::function<void(const QString &)> m_onUnexpectedStop;

    std::optional<std::string> m_fifoDir;
    std::shared_ptr<Pipe> m_pipe; // the application's end of the named pipe, shared with the reader
    QTimer *m_watchdog = nullptr;
    int64_t m_nextID = firstLiveID;
    std::vector<RateEntry> m_rateWindow;
    bool m_analysisPending = false;
    uint64_t m_handOvers = 0; // never reset, so a pass can tell whether records came meanwhile

    // Bumped by every start and clean-up: work of an abandoned start or a stopped reader sees a
    // different number and stands down.
    uint64_t m_generation = 0;
    // Readers that may not have ended yet: the destructor waits for them, so they may post to this
    // object to the end and the pipe is closed once it is gone.
    Background::Tasks m_readers;
};
