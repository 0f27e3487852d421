#include "Store/AuditStore.h"

#include "support/QtTestSupport.h"
#include "support/RecordDump.h"
#include "support/TrailBuilder.h"
#include "support/TrailGenerator.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace TestBSM;

// All a load leaves behind that an investigator could see, ids and order included.
struct Outcome {
    std::vector<std::string> sources;
    std::vector<std::string> records;
    std::vector<std::string> findings;
    std::vector<std::string> stats;
    std::vector<std::string> processes;
    std::vector<std::string> messages;
    std::string lastError;
};

std::string counted(const std::vector<CountItem> &items)
{
    std::string text;
    for (const CountItem &item : items) text += item.key + "=" + item.label + ":" + std::to_string(item.count) + " ";
    return text;
}

Outcome load(const QList<QUrl> &urls, unsigned threads)
{
    AuditStore store;
    store.setThreads(threads);
    Outcome outcome;
    QObject::connect(&store, &AuditStore::loadingMessageChanged,
                     [&] { outcome.messages.push_back(store.loadingMessage()); });
    const QFuture<void> loading = store.open(urls, TrailSource::Kind::file);
    EXPECT_TRUE(waitUntil([&] { return loading.isFinished() && !store.isFiltering(); }, 60000));
    for (const TrailSource &s : store.sources()) {
        std::string text = std::to_string(s.id) + " " + s.name + " " + std::to_string(s.bytes) + " "
                           + std::to_string(s.recordCount) + " " + std::to_string(s.first.value_or(-1)) + " "
                           + std::to_string(s.last.value_or(-1));
        for (const ParseIssue &issue : s.issues.kept())
            text += " | " + std::to_string(issue.offset) + " " + issue.message;
        for (const std::string &token : s.fileTokens) text += " | file " + token;
        outcome.sources.push_back(text);
    }
    outcome.records = TestRecords::dump(store.records());
    outcome.findings = TestRecords::dump(store.findings());
    const TrailStats &s = store.stats();
    outcome.stats = {std::to_string(s.total),
                     std::to_string(s.failures),
                     std::to_string(s.first.value_or(-1)),
                     std::to_string(s.last.value_or(-1)),
                     std::to_string(s.uniqueUsers),
                     std::to_string(s.uniquePIDs),
                     std::to_string(s.execCount),
                     counted(s.topEvents),
                     counted(s.classes),
                     counted(s.topUsers),
                     counted(s.topProcesses),
                     counted(s.topFailures),
                     counted(s.remoteAddresses),
                     std::to_string(s.bucketSize)};
    for (const TimeBucket &b : s.timeline)
        outcome.stats.push_back(std::to_string(b.start) + " " + std::to_string(b.success) + " "
                                + std::to_string(b.failure));
    const ProcessTree &tree = store.processTree();
    for (uint32_t at = 0; at < tree.size(); ++at) {
        const ProcessNode &p = tree.node(at);
        outcome.processes.push_back(std::to_string(p.id) + " " + std::to_string(p.pid) + " " + std::string(p.image)
                                    + " " + std::to_string(p.eventCount) + " " + std::to_string(p.end.value_or(-1))
                                    + " under " + std::to_string(p.parent) + " children "
                                    + std::to_string(p.children.first) + "+" + std::to_string(p.children.count));
    }
    for (const uint32_t root : tree.roots) outcome.processes.push_back("root " + std::to_string(root));
    outcome.lastError = store.lastError().toStdString();
    return outcome;
}

// Several files read side by side, the big ones cut into parts, sorted and analysed on many
// threads, must leave exactly what one thread leaves: same records under the same ids, same
// findings (but their random ids), statistics, errors and messages, in the same order.
TEST(ParallelLoad, EqualsTheSequentialLoad)
{
    QTemporaryDir dir;
    auto write = [&](const QString &name, const Bytes &bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return QUrl::fromLocalFile(dir.filePath(name));
    };
    Bytes damaged = GeneratedTrail::mixed(300000, 3);
    const Bytes junk(40, 0x00);
    damaged.insert(damaged.begin() + 150000, junk.begin(), junk.end());
    damaged.insert(damaged.begin() + 60000, junk.begin(), junk.end());
    for (uint32_t i = 0; i < 3; ++i) {
        const Bytes clockChange = TrailRecordBuilder(37, 1714564900 + i).subject().returnValue(0).build();
        damaged.insert(damaged.end(), clockChange.begin(), clockChange.end());
    }
    const QList<QUrl> urls = {
        write("monday.bsm", GeneratedTrail::mixed(900000, 1)),
        QUrl::fromLocalFile(dir.filePath("missing.bsm")),
        write("tuesday.bsm", GeneratedTrail::mixed(700000, 2)), // the same hours: sorting interleaves them
        write("notes.txt", Bytes(5000, 'x')),
        write("damaged.bsm", damaged),
    };

    const Outcome sequential = load(urls, 1);
    const Outcome parallel = load(urls, 8);
    ASSERT_GT(sequential.records.size(), 10000u);
    ASSERT_FALSE(sequential.findings.empty());
    EXPECT_EQ(parallel.sources, sequential.sources);
    EXPECT_EQ(parallel.records, sequential.records);
    EXPECT_EQ(parallel.findings, sequential.findings);
    EXPECT_EQ(parallel.stats, sequential.stats);
    EXPECT_EQ(parallel.processes, sequential.processes);
    // Messages are coalesced while files come in quickly: only the last is sure to be seen.
    ASSERT_FALSE(sequential.messages.empty() || parallel.messages.empty());
    EXPECT_EQ(parallel.messages.back(), sequential.messages.back());
    EXPECT_EQ(parallel.lastError, sequential.lastError);
    EXPECT_EQ(sequential.lastError,
              "notes.txt doesn't look like a BSM audit trail (unexpected byte 0x78 outside a record; resynchronising).");
}

// A trail whose buffer alone would pass the memory available is refused before it is read, in
// the store's own sentence, while the files that fit load.
TEST(ParallelLoad, RefusesWhatWouldNotFitInMemory)
{
    QTemporaryDir dir;
    const Bytes small = openReadRecords(10);
    const Bytes big = GeneratedTrail::mixed(200000, 4);
    for (const auto &[name, bytes] : {std::pair{"small.bsm", &small}, std::pair{"big.bsm", &big}}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes->data()), qint64(bytes->size()));
    }
    AuditStore store;
    // Room for the small file and not for the big one's buffer; the resident set stands still,
    // so only what a load is about to take counts.
    store.setMemoryProbe([] { return std::optional<uint64_t>(100000); });
    store.setResidentProbe([] { return uint64_t(1) << 30; });
    const QFuture<void> loading = store.open({QUrl::fromLocalFile(dir.filePath("small.bsm")),
                                              QUrl::fromLocalFile(dir.filePath("big.bsm"))},
                                             TrailSource::Kind::file);
    ASSERT_TRUE(waitUntil([&] { return loading.isFinished() && !store.isFiltering(); }, 20000));
    ASSERT_EQ(store.sources().size(), 1u);
    EXPECT_EQ(store.sources().front().name, "small.bsm");
    EXPECT_EQ(store.records().size(), 10u);
    EXPECT_EQ(store.lastError().toStdString(), "Couldn't read big.bsm: loading it needs about "
                                                   + Memory::byteText(big.size()) + " of memory, and "
                                                   + Memory::byteText(90000) + " is available");
}

} // namespace
