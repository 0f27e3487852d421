#include "Services/LiveMonitor.h"

#include "Engine/Analysis/TrailAnalysis.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/Uuid.h"
#include "Engine/Capture/LiveStreamReader.h"
#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/Numbers.h"
#include "Platform/Background.h"
#include "Platform/Logging.h"
#include "Services/Privileged.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>
#include <QTimer>
#include <QScopeGuard>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *folderPrefix = "Quillmarsh-live-";
constexpr const char *pipeName = "pipe";
constexpr const char *statusFileName = "helper.status";
constexpr const char *helperPrompt = "Quillmarsh needs administrator access to stream live events from /dev/auditpipe.";
constexpr const char *helperSilent = "The capture helper did not start.";
constexpr int handshakeTries = 60;
constexpr qint64 statusReadLimit = 4096; // the helper writes one short line
constexpr double rateWindowSeconds = 5.0;

std::string errorText(int errorNumber)
{
    return std::strerror(errorNumber);
}

struct RuntimeFolder {
    std::string path;
    std::string problem; // why there is none
};

// The folder that holds capture folders. Only one where the helper will trust them is usable:
// any other would only end in the handshake's time-out.
RuntimeFolder runtimeFolder(const std::string &trustedPrefix)
{
    const char *value = std::getenv("XDG_RUNTIME_DIR");
    if (value == nullptr || *value == '\0')
        return {{}, "Live capture needs a private runtime folder, but XDG_RUNTIME_DIR is not set."};
    char real[PATH_MAX];
    struct stat info;
    if (::realpath(value, real) == nullptr || ::stat(real, &info) != 0 || !S_ISDIR(info.st_mode)
        || !(std::string(real) + "/").starts_with(trustedPrefix)) {
        return {{},
                "Live capture needs a private runtime folder under " + trustedPrefix + ", but XDG_RUNTIME_DIR is \""
                    + value + "\"."};
    }
    return {real, {}};
}

// The status file's text, trimmed; "" while there is none or it is not UTF-8.
std::string readStatus(const std::string &folder)
{
    QFile file(QString::fromStdString(folder + "/" + statusFileName));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.read(statusReadLimit);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) return {};
    return text.trimmed().toStdString();
}

// The text after the first colon, without surrounding blanks and tabs; "" without a colon.
std::string failureDetail(const std::string &status)
{
    const size_t colon = status.find(':');
    if (colon == std::string::npos) return {};
    const size_t begin = status.find_first_not_of(" \t", colon + 1);
    if (begin == std::string::npos) return {};
    const size_t end = status.find_last_not_of(" \t");
    return status.substr(begin, end - begin + 1);
}

void removeFolder(const std::string &folder)
{
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (error)
        qCWarning(lcServices, "Could not remove the capture folder %s: %s", folder.c_str(), error.message().c_str());
}

int64_t firstID(const std::vector<AuditRecord> &records)
{
    return records.empty() ? 0 : records.front().id;
}
int64_t lastID(const std::vector<AuditRecord> &records)
{
    return records.empty() ? 0 : records.back().id;
}

} // namespace

// The application's end of the named pipe. The reader holds it too, so the descriptor is closed
// only once the reader has stopped using it and its number can never reach another capture.
struct LiveMonitor::Pipe {
    explicit Pipe(FileDescriptor descriptor) : fd(std::move(descriptor)) {}

    const FileDescriptor fd;
    std::atomic<bool> cancelled = false;
};

LiveMonitor::LiveMonitor(QObject *parent) : LiveMonitor(Environment{}, parent) {}

LiveMonitor::LiveMonitor(Environment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_records(std::make_shared<const std::vector<AuditRecord>>())
{
    // The application object waits for the pool's work when it goes, and a reader ends only
    // when stopped: a capture still running at quit is stopped first.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &LiveMonitor::cleanup);
}

LiveMonitor::~LiveMonitor()
{
    cleanup();
    m_readers.wait();
}

void LiveMonitor::setState(State state)
{
    if (state == m_state) return;
    m_state = std::move(state);
    emit stateChanged();
}

void LiveMonitor::setSelectedClasses(std::set<std::string> classes)
{
    if (classes == m_selectedClasses) return;
    m_selectedClasses = std::move(classes);
    emit selectedClassesChanged();
}

void LiveMonitor::setBufferLimit(int64_t limit)
{
    if (limit == m_bufferLimit) return;
    m_bufferLimit = limit;
    emit bufferLimitChanged();
}

void LiveMonitor::setPaused(bool paused)
{
    const bool changed = paused != m_paused;
    m_paused = paused;
    if (changed) emit pausedChanged();
    m_pausedSnapshot = paused ? m_records : nullptr;
    emit pausedSnapshotChanged();
}

void LiveMonitor::setOnAnalysis(
    std::function<void(const std::vector<Finding> &, const std::vector<AuditRecord> &)> callback)
{
    m_onAnalysis = std::move(callback);
}

void LiveMonitor::setOnUnexpectedStop(std::function<void(const QString &)> callback)
{
    m_onUnexpectedStop = std::move(callback);
}

std::string LiveMonitor::helperCommand(const std::string &executable, const std::string &fifoPath, uint32_t mask,
                                       int64_t applicationPid)
{
    char maskText[16];
    std::snprintf(maskText, sizeof maskText, "0x%08x", mask);
    return Privileged::shellQuoted(executable) + " --auditpipe-helper " + Privileged::shellQuoted(fifoPath) + " "
           + maskText + " " + std::to_string(applicationPid) + " > /dev/null 2>&1 &";
}

LiveMonitor::Analysis LiveMonitor::analyse(std::vector<AuditRecord> records)
{
    TrailAnalysis analysis = TrailAnalysis::of(std::move(records));
    return {std::move(analysis.records), std::move(analysis.findings)};
}

// --- start ---

void LiveMonitor::start()
{
    if (std::holds_alternative<Running>(m_state) || std::holds_alternative<Starting>(m_state)) return;
    setState(Starting{});
    const uint64_t generation = ++m_generation;

    const RuntimeFolder runtime = runtimeFolder(m_environment.trustedPrefix);
    if (runtime.path.empty()) return failWith(runtime.problem);
    const std::string folder = runtime.path + "/" + folderPrefix + Uuid::random().text().substr(0, 8);
    if (::mkdir(folder.c_str(), 0700) != 0)
        return failWith("Could not create the capture folder " + folder + ": " + errorText(errno));
    // Known from here on, so that every failure below removes it again.
    m_fifoDir = folder;
    if (::chmod(folder.c_str(), 0700) != 0) // the umask may have taken owner bits away
        return failWith("Could not protect the capture folder " + folder + ": " + errorText(errno));

    const std::string pipePath = folder + "/" + pipeName;
    if (::mkfifo(pipePath.c_str(), 0600) != 0) return failWith("mkfifo failed: " + errorText(errno));
    // Read-write, so that the helper's blocking open for writing returns at once and the pipe
    // never reports an end while the helper is between writes.
    FileDescriptor fd(::open(pipePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return failWith("cannot open FIFO");
    m_pipe = std::make_shared<Pipe>(std::move(fd));

    const uint32_t mask = AuditCatalog::shared().mask({m_selectedClasses.begin(), m_selectedClasses.end()});
    std::string executable = QCoreApplication::applicationFilePath().toStdString();
    if (executable.empty()) executable = QCoreApplication::arguments().value(0).toStdString();
    const std::string command = helperCommand(executable, pipePath, mask, ::getpid());

    QFuture<std::string> launch;
    try {
        launch = m_environment.startHelper ? m_environment.startHelper(command, helperPrompt)
                                           : Privileged::run(command, helperPrompt);
    } catch (...) {
        return fail(std::current_exception());
    }
    // The dialog may stay open long after this object is gone; its answer is then dropped.
    Background::whenDone(launch, this, [this, generation](QFuture<std::string> launched) {
        helperLaunched(generation, std::move(launched));
    });
}

void LiveMonitor::helperLaunched(uint64_t generation, QFuture<std::string> launch)
{
    if (generation != m_generation) return; // stopped meanwhile: the folder is gone, the helper refuses it
    try {
        launch.waitForFinished(); // rethrows the launch's error; the output is not needed
        if (launch.isCanceled()) throw PrivilegedError::cancelled();
    } catch (...) {
        return fail(std::current_exception());
    }
    waitForHelper(generation, 0);
}

void LiveMonitor::waitForHelper(uint64_t generation, int tries)
{
    if (generation != m_generation || !m_fifoDir) return;
    const std::string status = readStatus(*m_fifoDir);
    if (status.empty()) {
        QTimer::singleShot(m_environment.handshakeInterval, Qt::PreciseTimer, this, [this, generation, tries] {
            if (generation != m_generation) return;
            if (tries + 1 >= handshakeTries) return failWith(helperSilent);
            waitForHelper(generation, tries + 1);
        });
        return;
    }
    if (status.starts_with("pid ")) {
        if (const std::optional<int32_t> pid = Numbers::parsePid(std::string_view(status).substr(4)))
            return running(*pid);
    }
    failWith(failureDetail(status));
}

void LiveMonitor::running(int32_t helperPid)
{
    setState(Running{});
    const double started = now();
    if (m_startedAt != started) {
        m_startedAt = started;
        emit startedAtChanged();
    }
    startReader();
    startWatchdog(helperPid);
}

// What the launch threw, as the sentence the screens show; a cancelled dialog is no failure.
void LiveMonitor::fail(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const PrivilegedError &e) {
        if (e.kind() != PrivilegedError::Kind::cancelled) return failWith(e.description());
        cleanup();
        setState(Idle{});
    } catch (const std::exception &e) {
        failWith(e.what());
    } catch (...) {
        failWith("Live capture could not be started.");
    }
}

void LiveMonitor::failWith(const std::string &message)
{
    cleanup();
    setState(Failed{QString::fromStdString(message)});
}

// --- reader and watchdog ---

void LiveMonitor::startReader()
{
    const std::shared_ptr<Pipe> pipe = m_pipe;
    const uint64_t generation = m_generation;
    const std::chrono::milliseconds poll = m_environment.readerPoll;
    auto read = [this, pipe, poll] {
        // Waits on the pipe for as long as the capture lasts, so the pool may start another
        // thread meanwhile, as if this one were not there.
        QThreadPool::globalInstance()->releaseThread();
        const auto reserve = qScopeGuard([] { QThreadPool::globalInstance()->reserveThread(); });
        // Batches may go to this object directly: the destructor waits for the reader.
        return LiveStreamReader().run(pipe->fd.get(), pipe->cancelled, poll, [this](LiveStreamReader::Batch &&batch) {
            QMetaObject::invokeMethod(
                this, [this, batch = std::move(batch)]() mutable { ingest(std::move(batch.records), batch.bytes); },
                Qt::QueuedConnection);
        });
    };
    m_readers.run(this, std::move(read), [this, generation](LiveStreamReader::Ending ending) {
        if (!ending.cancelled) readerEnded(generation, ending.errorNumber);
    });
}

void LiveMonitor::startWatchdog(int32_t helperPid)
{
    m_watchdog = new QTimer(this);
    m_watchdog->setInterval(m_environment.watchdogInterval);
    connect(m_watchdog, &QTimer::timeout, this, [this, helperPid] { checkHelper(helperPid); });
    m_watchdog->start();
}

void LiveMonitor::checkHelper(int32_t helperPid)
{
    const int error = m_environment.signalHelper ? m_environment.signalHelper(helperPid)
                                                 : (::kill(helperPid, 0) == 0 ? 0 : errno);
    // EPERM is how a root helper that still runs answers an ordinary user.
    if (error == 0 || error == EPERM) return;
    endUnexpectedly("The audit pipe helper (pid " + std::to_string(helperPid) + ") exited unexpectedly.");
}

// The pipe is held open at both ends by this process, so it ends or fails only when something is
// badly wrong; the capture is over then, as when the helper dies.
void LiveMonitor::readerEnded(uint64_t generation, int errorNumber)
{
    if (generation != m_generation || !std::holds_alternative<Running>(m_state)) return;
    endUnexpectedly(
        errorNumber == 0
            ? std::string("The live event stream from the audit pipe helper ended unexpectedly.")
            : "The live event stream from the audit pipe helper could not be read: " + errorText(errorNumber) + ".");
}

void LiveMonitor::endUnexpectedly(const std::string &message)
{
    cleanup();
    const QString sentence = QString::fromStdString(message);
    setState(Failed{sentence});
    if (m_onUnexpectedStop) m_onUnexpectedStop(sentence);
}

void LiveMonitor::cleanup()
{
    ++m_generation;
    if (m_watchdog) {
        m_watchdog->stop();
        m_watchdog->deleteLater();
        m_watchdog = nullptr;
    }
    if (m_pipe) m_pipe->cancelled = true;
    // The folder goes before the descriptor: a helper that has not opened the pipe yet then finds
    // no pipe, instead of blocking for ever in its open for writing with no reader left.
    if (m_fifoDir) {
        removeFolder(*m_fifoDir);
        m_fifoDir.reset();
    }
    m_pipe.reset();
}

// --- records ---

void LiveMonitor::clear()
{
    setRecords(std::make_shared<const std::vector<AuditRecord>>(), {.dropped = int64_t(m_records->size())});
    setFindings({});
    if (m_paused) {
        m_pausedSnapshot = std::make_shared<const std::vector<AuditRecord>>();
        emit pausedSnapshotChanged();
    }
    if (m_totalReceived != 0) {
        m_totalReceived = 0;
        emit totalReceivedChanged();
    }
    if (m_bytesReceived != 0) {
        m_bytesReceived = 0;
        emit bytesReceivedChanged();
    }
}

void LiveMonitor::ingest(std::vector<AuditRecord> records, int64_t bytes)
{
    // Numbered here rather than by the reader: a reader that was stopped may still hand over its
    // last read after the next capture's reader has begun, and the ids must not meet.
    for (AuditRecord &record : records) record.id = m_nextID++;
    const auto count = static_cast<int64_t>(records.size());
    ++m_handOvers;

    m_totalReceived += count;
    emit totalReceivedChanged();
    if (bytes != 0) {
        m_bytesReceived += bytes;
        emit bytesReceivedChanged();
    }

    const double time = now();
    m_rateWindow.push_back({time, count});
    std::erase_if(m_rateWindow, [time](const RateEntry &entry) { return time - entry.time > rateWindowSeconds; });
    int64_t inWindow = 0;
    for (const RateEntry &entry : m_rateWindow) inWindow += entry.count;
    const double rate = double(inWindow) / rateWindowSeconds;
    if (rate != m_ratePerSecond) {
        m_ratePerSecond = rate;
        emit ratePerSecondChanged();
    }

    // The published buffer is never written again: a new one takes what stays of it, copied, and
    // the new records. Its size is bounded by the limit, and so is the copy.
    const auto limit = static_cast<size_t>(std::max<int64_t>(m_bufferLimit, 0));
    const std::vector<AuditRecord> &old = *m_records;
    const size_t before = old.size();
    const size_t excess = before + records.size() > limit ? before + records.size() - limit : 0;
    // Past the limit even some of the new records go, and with them all the old ones.
    const size_t newDropped = excess > before ? excess - before : 0;
    auto buffer = std::make_shared<std::vector<AuditRecord>>();
    buffer->reserve(before + records.size() - excess);
    if (excess < before) buffer->insert(buffer->end(), old.begin() + static_cast<std::ptrdiff_t>(excess), old.end());
    buffer->insert(buffer->end(), std::make_move_iterator(records.begin() + static_cast<std::ptrdiff_t>(newDropped)),
                   std::make_move_iterator(records.end()));
    const RecordsChange change{.dropped = int64_t(std::min(excess, before)), .appended = count - int64_t(newDropped)};
    setRecords(std::move(buffer), change);

    scheduleAnalysis();
}

void LiveMonitor::scheduleAnalysis()
{
    if (m_analysisPending) return;
    m_analysisPending = true;
    QTimer::singleShot(m_environment.analysisDelay, Qt::PreciseTimer, this, [this] { runAnalysis(); });
}

void LiveMonitor::runAnalysis()
{
    const Records snapshot = m_records;
    const uint64_t handOvers = m_handOvers;
    const auto analyser = m_environment.analyse ? m_environment.analyse : &LiveMonitor::analyse;
    auto pass = [snapshot, analyser]() -> std::shared_ptr<Analysis> {
        try {
            return std::make_shared<Analysis>(analyser(*snapshot));
        } catch (...) {
            return nullptr; // a pass that cannot finish must not hold back every later one
        }
    };
    // Not waited for: a pass that ends after this object is gone is dropped.
    Background::run(this, std::move(pass), [this, snapshot, handOvers](std::shared_ptr<Analysis> result) {
        analysisEnded(snapshot, handOvers, std::move(result));
    });
}

void LiveMonitor::analysisEnded(const Records &snapshot, uint64_t handOvers, std::shared_ptr<Analysis> result)
{
    m_analysisPending = false;
    // Records handed over while this pass ran could not schedule one of their own; left alone
    // they would wait, unanalysed, for the next record, which on a quiet system may never come.
    const bool missed = m_handOvers != handOvers;
    if (!result) {
        if (missed) scheduleAnalysis();
        return;
    }
    auto analysed = std::make_shared<std::vector<AuditRecord>>(std::move(result->records));
    // Adopt the process images only while the buffer is still the one that was analysed.
    const std::vector<AuditRecord> &current = *m_records;
    if (current.empty() == snapshot->empty() && firstID(current) == firstID(*snapshot)
        && lastID(current) == lastID(*snapshot)) {
        const bool reordered = !std::equal(current.begin(), current.end(), analysed->begin(), analysed->end(),
                                           [](const AuditRecord &a, const AuditRecord &b) { return a.id == b.id; });
        setRecords(analysed, {.analysed = true, .reordered = reordered});
    }
    setFindings(std::move(result->findings));
    if (m_onAnalysis) m_onAnalysis(m_findings, *analysed);
    if (missed) scheduleAnalysis();
}

void LiveMonitor::setRecords(Records records, RecordsChange change)
{
    m_records = std::move(records);
    m_recordsChange = change;
    emit recordsChanged();
}

void LiveMonitor::setFindings(std::vector<Finding> findings)
{
    m_findings = std::move(findings);
    emit findingsChanged();
}

double LiveMonitor::now() const
{
    if (m_environment.now) return m_environment.now();
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}
