#include "Store/AuditStore.h"

#include "Engine/BSM/UserResolver.h"
#include "Platform/Elevation.h"
#include "Engine/Support/Resources.h"
#include "support/FakeElevation.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray asQByteArray(const TestBSM::Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

std::vector<int64_t> recordIDs(const AuditStore &store, int64_t source)
{
    std::vector<int64_t> out;
    for (const AuditRecord &r : store.records())
        if (r.source == source) out.push_back(r.id);
    return out;
}

std::vector<int64_t> sequence(int64_t first, int64_t last)
{
    std::vector<int64_t> out;
    for (int64_t id = first; id <= last; ++id) out.push_back(id);
    return out;
}

// Messages are emitted at most every quarter second while a load runs, and once at its end: what
// was seen is the full sequence less some of its middle.
void expectMessages(const std::vector<std::string> &seen, const std::vector<std::string> &all)
{
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), all.front());
    EXPECT_EQ(seen.back(), all.back());
    auto next = all.begin();
    for (const std::string &message : seen) {
        next = std::find(next, all.end(), message);
        ASSERT_NE(next, all.end()) << message << " out of order or not expected";
        ++next;
    }
}

// Public, so that the case tables' set-up functions can reach it.
class AuditStoreLoadingTest : public ::testing::Test {
public:
    QUrl write(const QString &name, const TestBSM::Bytes &bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return url(name);
    }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(dir.filePath(name)); }
    std::string path(const QString &name) const { return dir.filePath(name).toStdString(); }

    // Waits for the load and the filter pass that follows its rebuild.
    static void settle(AuditStore &store, const QFuture<void> &load)
    {
        ASSERT_TRUE(waitUntil([&] { return load.isFinished(); }, 20000));
        ASSERT_TRUE(waitUntil([&] { return !store.isFiltering(); }));
    }

    ~AuditStoreLoadingTest() override
    {
        if (idleWriter >= 0) ::close(idleWriter);
    }

    QTemporaryDir dir;
    AuditStore store;
    int idleWriter = -1; // a writer end of a named pipe that never writes
};

TEST_F(AuditStoreLoadingTest, FilesBecomeSourcesWithConsecutiveIds)
{
    TestBSM::Bytes a = TestBSM::Token::file(1700000000, 0, "20231114221320.not_terminated");
    const TestBSM::Bytes records = TestBSM::openReadRecords(3, 1700000100);
    a.insert(a.end(), records.begin(), records.end());
    const TestBSM::Bytes b = TestBSM::openReadRecords(2, 1700000000);
    const QList<QUrl> urls = {write("a.bsm", a), write("b.bsm", b)};

    std::vector<std::string> messages;
    std::vector<bool> loading;
    QObject::connect(&store, &AuditStore::loadingMessageChanged, [&] { messages.push_back(store.loadingMessage()); });
    QObject::connect(&store, &AuditStore::isLoadingChanged, [&] { loading.push_back(store.isLoading()); });
    settle(store, store.open(urls, TrailSource::Kind::file));

    expectMessages(messages, {"Reading a.bsm…", "Reading b.bsm…", "Analysing 5 records…"});
    EXPECT_EQ(loading, (std::vector<bool>{true, false}));
    EXPECT_TRUE(store.lastError().isEmpty());
    ASSERT_EQ(store.sources().size(), 2u);
    const TrailSource &first = store.sources()[0];
    EXPECT_EQ(first.id, 1);
    EXPECT_EQ(first.name, "a.bsm");
    EXPECT_EQ(first.path, path("a.bsm"));
    EXPECT_EQ(first.kind, TrailSource::Kind::file);
    EXPECT_EQ(first.bytes, int64_t(a.size()));
    EXPECT_EQ(first.recordCount, 3);
    EXPECT_EQ(first.first, 1700000100.0);
    EXPECT_EQ(first.last, 1700000102.0);
    EXPECT_TRUE(first.issues.empty());
    EXPECT_EQ(first.fileTokens, std::vector<std::string>{"20231114221320.not_terminated"});
    EXPECT_EQ(store.sources()[1].id, 2);
    EXPECT_EQ(store.sources()[1].recordCount, 2);
    EXPECT_EQ(recordIDs(store, 1), sequence(1, 3));
    EXPECT_EQ(recordIDs(store, 2), sequence(4, 5));
    EXPECT_EQ(store.filtered().size(), 5u);
    EXPECT_EQ(store.nextSourceID(), 3);
    EXPECT_EQ(store.nextRecordID(), 6);
}

TEST_F(AuditStoreLoadingTest, OverlappingLoadsKeepIdsDistinct)
{
    const QUrl a = write("a.bsm", TestBSM::openReadRecords(4, 1700000000));
    const QUrl b = write("b.bsm", TestBSM::openReadRecords(3, 1700000000));
    const QFuture<void> first = store.open({a}, TrailSource::Kind::file);
    const QFuture<void> second = store.open({b}, TrailSource::Kind::file);
    settle(store, first);
    settle(store, second);

    ASSERT_EQ(store.sources().size(), 2u);
    EXPECT_EQ(recordIDs(store, 1), sequence(1, 4));
    EXPECT_EQ(recordIDs(store, 2), sequence(5, 7));
    EXPECT_EQ(store.records().size(), 7u);
}

// A file that cannot be read between two good ones: it takes no id, its sentence names it, a
// later good file does not clear that, and the rebuild still covers the good ones.
TEST_F(AuditStoreLoadingTest, AnUnreadableFileIsSkippedAndNamed)
{
    const struct Case {
        const char *name;
        std::function<QUrl(AuditStoreLoadingTest &)> make;
        const char *error;
    } cases[] = {
        {"missing file", [](AuditStoreLoadingTest &t) { return t.url("gone.bsm"); },
         "Couldn't read gone.bsm: No such file or directory"},
        {"folder",
         [](AuditStoreLoadingTest &t) {
             QDir(t.dir.path()).mkdir("folder");
             return t.url("folder");
         },
         "Couldn't read folder: Is a directory"},
        {"not a local file", [](AuditStoreLoadingTest &) { return QUrl("https://example.org/trails/x.bsm"); },
         "Couldn't read x.bsm: Protocol not supported"},
        // Neither waits for a writer: the store would stay on "Reading …" for ever.
        {"named pipe with an idle writer",
         [](AuditStoreLoadingTest &t) {
             EXPECT_EQ(::mkfifo(t.path("busy-pipe").c_str(), 0600), 0);
             t.idleWriter = ::open(t.path("busy-pipe").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
             EXPECT_GE(t.idleWriter, 0);
             return t.url("busy-pipe");
         },
         "Couldn't read busy-pipe: Not a regular file"},
        {"named pipe without a writer",
         [](AuditStoreLoadingTest &t) {
             EXPECT_EQ(::mkfifo(t.path("pipe").c_str(), 0600), 0);
             return t.url("pipe");
         },
         "Couldn't read pipe: Not a regular file"},
        // Endless: read to its end it would take all memory.
        {"character device", [](AuditStoreLoadingTest &) { return QUrl::fromLocalFile("/dev/zero"); },
         "Couldn't read zero: Not a regular file"},
        // Sparse, so it takes no disk; larger than the machine's memory, so it cannot be held.
        {"larger than memory",
         [](AuditStoreLoadingTest &t) {
             const QUrl u = t.write("huge.bsm", {});
             const uint64_t memory = uint64_t(::sysconf(_SC_PHYS_PAGES)) * uint64_t(::sysconf(_SC_PAGESIZE));
             EXPECT_EQ(::truncate(t.path("huge.bsm").c_str(), off_t(memory + 1)), 0);
             return u;
         },
         "Couldn't read huge.bsm: Cannot allocate memory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AuditStore store;
        // The read's own guard, as where the free memory cannot be learnt beforehand.
        store.setMemoryProbe([] { return std::nullopt; });
        const QList<QUrl> urls = {write("one.bsm", TestBSM::openReadRecords(2, 1700000000)), c.make(*this),
                                  write("two.bsm", TestBSM::openReadRecords(3, 1700000010))};
        settle(store, store.open(urls, TrailSource::Kind::file));

        EXPECT_EQ(store.lastError().toStdString(), c.error);
        ASSERT_EQ(store.sources().size(), 2u);
        EXPECT_EQ(store.sources()[0].name, "one.bsm");
        EXPECT_EQ(store.sources()[1].name, "two.bsm");
        EXPECT_EQ(store.sources()[1].id, 2);
        EXPECT_EQ(recordIDs(store, 2), sequence(3, 5));
        EXPECT_EQ(store.records().size(), 5u);
        EXPECT_EQ(store.loadingMessage(), "Analysing 5 records…");
        EXPECT_FALSE(store.isLoading());
    }
}

TEST_F(AuditStoreLoadingTest, TheLastFailureWins)
{
    settle(store, store.open({url("first.bsm"), url("second.bsm")}, TrailSource::Kind::file));
    EXPECT_EQ(store.lastError().toStdString(), "Couldn't read second.bsm: No such file or directory");
    EXPECT_TRUE(store.sources().empty());
    EXPECT_EQ(store.nextSourceID(), 1);
    EXPECT_EQ(store.nextRecordID(), 1);
    EXPECT_EQ(store.loadingMessage(), "Analysing 0 records…");
}

// Only a file that gave no record but did give issues is called out; it is kept as a source.
TEST_F(AuditStoreLoadingTest, FilesWithoutRecords)
{
    TestBSM::Bytes damagedThenRecord = {'?', '?'};
    const TestBSM::Bytes one = TestBSM::openReadRecords(1, 1700000000);
    damagedThenRecord.insert(damagedThenRecord.end(), one.begin(), one.end());
    const std::string text = "hello, this is not a trail\n";

    const struct Case {
        const char *name;
        std::function<QUrl(AuditStoreLoadingTest &)> make;
        int64_t records;
        bool issues;
        std::optional<std::string> error;
    } cases[] = {
        {"text file",
         [&](AuditStoreLoadingTest &t) {
             return t.write("notes.txt", {text.begin(), text.end()});
         },
         0, true,
         "notes.txt doesn't look like a BSM audit trail (unexpected byte 0x68 outside a record; resynchronising)."},
        {"empty file", [](AuditStoreLoadingTest &t) { return t.write("empty.bsm", {}); }, 0, false, std::nullopt},
        {"damage before a record", [&](AuditStoreLoadingTest &t) { return t.write("damaged.bsm", damagedThenRecord); },
         1, true, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AuditStore store;
        settle(store, store.open({c.make(*this)}, TrailSource::Kind::file));

        EXPECT_EQ(store.lastError().toStdString(), c.error.value_or(""));
        ASSERT_EQ(store.sources().size(), 1u);
        EXPECT_EQ(store.sources()[0].recordCount, c.records);
        EXPECT_EQ(!store.sources()[0].issues.empty(), c.issues);
        EXPECT_EQ(store.records().size(), size_t(c.records));
        EXPECT_FALSE(store.isLoading());
    }
}

TEST_F(AuditStoreLoadingTest, OpeningNothingDoesNothing)
{
    QSignalSpy loading(&store, &AuditStore::isLoadingChanged);
    const QFuture<void> load = store.open({}, TrailSource::Kind::file);
    EXPECT_TRUE(load.isFinished());
    EXPECT_EQ(loading.count(), 0);
    EXPECT_EQ(store.loadingMessage(), "");
}

TEST_F(AuditStoreLoadingTest, OpeningAfterCloseAllContinuesTheIds)
{
    settle(store, store.open({write("a.bsm", TestBSM::openReadRecords(3, 1700000000))}, TrailSource::Kind::file));
    store.closeAll();
    settle(store, store.open({write("b.bsm", TestBSM::openReadRecords(2, 1700000000))}, TrailSource::Kind::file));

    ASSERT_EQ(store.sources().size(), 1u);
    EXPECT_EQ(store.sources()[0].id, 2);
    EXPECT_EQ(recordIDs(store, 2), sequence(4, 5));
}

TEST_F(AuditStoreLoadingTest, AnalysingMessageGroupsDigitsByTheLocale)
{
    const QUrl big = write("big.bsm", TestBSM::openReadRecords(1234, 1700000000));
    const struct {
        const char *name;
        QLocale locale;
        const char *message;
    } cases[] = {
        {"English", QLocale(QLocale::English, QLocale::UnitedStates), "Analysing 1,234 records…"},
        {"German", QLocale(QLocale::German, QLocale::Germany), "Analysing 1.234 records…"},
        {"C", QLocale::c(), "Analysing 1234 records…"},
    };
    const QLocale before;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QLocale::setDefault(c.locale);
        AuditStore store;
        settle(store, store.open({big}, TrailSource::Kind::file));
        EXPECT_EQ(store.loadingMessage(), c.message);
    }
    QLocale::setDefault(before);
}

TEST_F(AuditStoreLoadingTest, TheSampleOpensAsOftenAsAsked)
{
    ASSERT_FALSE(Resources::path("sample.bsm").empty());
    UserResolver::shared().seed(7501, "someone else");
    settle(store, store.openSample());
    settle(store, store.openSample());

    EXPECT_TRUE(store.lastError().isEmpty());
    ASSERT_EQ(store.sources().size(), 2u);
    const int64_t count = store.sources()[0].recordCount;
    EXPECT_GT(count, 0);
    for (const TrailSource &source : store.sources()) {
        EXPECT_EQ(source.kind, TrailSource::Kind::sample);
        EXPECT_EQ(source.name, "sample.bsm");
        EXPECT_EQ(source.path, Resources::path("sample.bsm"));
        EXPECT_TRUE(source.issues.empty());
    }
    EXPECT_EQ(recordIDs(store, 1).front(), 1);
    EXPECT_EQ(recordIDs(store, 2).front(), count + 1);
    EXPECT_EQ(store.nextRecordID(), 2 * count + 1);
    EXPECT_EQ(UserResolver::shared().name(7501), "orvik");
}

TEST_F(AuditStoreLoadingTest, AMissingSampleIsReported)
{
    QTemporaryDir empty;
    Resources::setDirectory(empty.path().toStdString());
    QSignalSpy loading(&store, &AuditStore::isLoadingChanged);
    const QFuture<void> load = store.openSample();
    Resources::setDirectory("");

    EXPECT_TRUE(load.isFinished());
    EXPECT_EQ(store.lastError().toStdString(), "The sample trail is missing from the app bundle.");
    EXPECT_EQ(loading.count(), 0);
    EXPECT_TRUE(store.sources().empty());
}

// The system trails through the stand-in for pkexec, copying into a private temporary directory.
class SystemTrailLoadingTest : public AuditStoreLoadingTest, public FakeSystemTrails {
public:
    SystemTrailLoadingTest() : FakeSystemTrails("tmp") {}
};

TEST_F(SystemTrailLoadingTest, CopiesAreOpenedInNameOrder)
{
    addTrail("20240102000000.20240103000000", asQByteArray(TestBSM::openReadRecords(2, 1704153600)));
    addTrail("20240101000000.20240102000000", asQByteArray(TestBSM::openReadRecords(3, 1704067200)));
    useAuthorisingFake();
    std::vector<std::string> messages;
    QObject::connect(&store, &AuditStore::loadingMessageChanged, [&] { messages.push_back(store.loadingMessage()); });
    settle(store, store.loadSystemTrails());

    expectMessages(messages, {"Waiting for administrator authorisation…", "Reading 20240101000000.20240102000000…",
                              "Reading 20240102000000.20240103000000…", "Analysing 5 records…"});
    EXPECT_TRUE(store.lastError().isEmpty());
    EXPECT_FALSE(store.isLoading());
    ASSERT_EQ(store.sources().size(), 2u);
    const QStringList folders = copyFolders();
    ASSERT_EQ(folders.size(), 1);
    const std::string folder = QDir(temporary).filePath(folders[0]).toStdString();
    EXPECT_EQ(store.sources()[0].name, "20240101000000.20240102000000");
    EXPECT_EQ(store.sources()[0].path, folder + "/20240101000000.20240102000000");
    EXPECT_EQ(store.sources()[0].kind, TrailSource::Kind::system);
    EXPECT_EQ(store.sources()[0].recordCount, 3);
    EXPECT_EQ(store.sources()[1].name, "20240102000000.20240103000000");
    EXPECT_EQ(store.sources()[1].kind, TrailSource::Kind::system);
    EXPECT_EQ(store.records().size(), 5u);
}

// A dismissed dialog leaves an earlier error standing and the waiting text in place; other
// failures replace it with their own sentence (the system's, for a launch or folder failure).
TEST_F(SystemTrailLoadingTest, FailuresEndTheLoad)
{
    const struct {
        const char *name;
        std::function<void(SystemTrailLoadingTest &)> fake;
        std::string error; // the whole sentence, or its end after "…"
    } cases[] = {
        {"dialog dismissed", [](SystemTrailLoadingTest &t) { t.useFake("exit 126"); }, "an earlier error"},
        {"authorisation refused",
         [](SystemTrailLoadingTest &t) {
             t.useFake("echo 'Error executing command as another user: Not authorized' >&2; exit 127");
         },
         "Error executing command as another user: Not authorized"},
        {"no trail files", [](SystemTrailLoadingTest &t) { t.useAuthorisingFake(); },
         "/var/audit contains no trail files. Auditing may be disabled — see Audit Setup."},
        {"elevation program missing",
         [](SystemTrailLoadingTest &t) { Elevation::setProgram(t.dir.filePath("no-such-program").toStdString()); },
         "…no-such-program: No such file or directory"},
        {"temporary folder unusable",
         [](SystemTrailLoadingTest &t) {
             t.useAuthorisingFake();
             QFile(t.dir.filePath("plain")).open(QIODevice::WriteOnly);
             qputenv("TMPDIR", QFile::encodeName(t.dir.filePath("plain/inside")));
         },
         "…: Not a directory"},
    };
    const std::string ellipsis = "…";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("TMPDIR", QFile::encodeName(temporary));
        AuditStore store;
        store.setLastError("an earlier error");
        c.fake(*this);
        settle(store, store.loadSystemTrails());

        const std::string error = store.lastError().toStdString();
        if (c.error.starts_with(ellipsis)) EXPECT_TRUE(error.ends_with(c.error.substr(ellipsis.size()))) << error;
        else EXPECT_EQ(error, c.error);
        EXPECT_FALSE(store.isLoading());
        EXPECT_EQ(store.loadingMessage(), "Waiting for administrator authorisation…");
        EXPECT_TRUE(store.sources().empty());
    }
}

} // namespace
