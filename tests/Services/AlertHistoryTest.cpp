#include "Services/AlertHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace {

MonitorAlert findingAlert(int n)
{
    MonitorAlert alert;
    alert.id = Uuid::random();
    alert.kind = MonitorAlert::Kind::finding;
    alert.key = "Password brute force|1740837909750|" + std::to_string(n) + " failures";
    alert.eventTime = 1740837909; // 2025-03-01T14:05:09Z
    alert.raisedAt = 1740837910;
    alert.severityRaw = 3;
    alert.rule = "Password brute force";
    alert.category = "Credential Access";
    alert.technique = "T1110";
    alert.summary = std::to_string(n) + " failures for orvik";
    alert.explanation = "Repeated \"failed\" logins \\ guesses / tries.";
    alert.user = "orvik → root";
    alert.evidence = {"path, path=/etc/hosts\nreturn, status=success, value=0", "trailer, record bytes=120"};
    return alert;
}

MonitorAlert monitorAlert()
{
    MonitorAlert alert;
    alert.id = Uuid::random();
    alert.kind = MonitorAlert::Kind::monitor;
    alert.key = "monitor|1740837909.25";
    alert.eventTime = 1740837909.25;
    alert.raisedAt = 1740837909.25;
    alert.severityRaw = 3;
    alert.rule = "Background monitoring stopped";
    alert.category = "Monitor";
    alert.summary = "The capture helper exited.";
    alert.explanation = "Live capture ended.";
    alert.user = "—";
    alert.acknowledged = true;
    return alert;
}

std::vector<MonitorAlert> numbered(int count)
{
    std::vector<MonitorAlert> alerts;
    for (int i = 0; i < count; ++i) alerts.push_back(findingAlert(i));
    return alerts;
}

std::string readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

void writeAll(const QString &path, const std::string &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), qint64(bytes.size()));
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// One element of the stored form, with the member `name` replaced by `raw` JSON, or dropped when
// `raw` is empty.
std::string elementWith(const std::string &name, const std::string &raw)
{
    const std::vector<std::pair<std::string, std::string>> members = {
        {"id", "\"e621e1f8-c36c-495a-93fc-0c247a3e6e5f\""},
        {"kind", "\"finding\""},
        {"key", "\"k\""},
        {"eventTime", "\"2025-03-01T14:05:09Z\""},
        {"raisedAt", "\"2025-03-01T14:05:10Z\""},
        {"severityRaw", "3"},
        {"rule", "\"r\""},
        {"category", "\"c\""},
        {"technique", "\"T1110\""},
        {"summary", "\"s\""},
        {"explanation", "\"e\""},
        {"user", "\"u\""},
        {"evidence", "[\"a\", \"b\"]"},
        {"acknowledged", "false"},
    };
    std::string out = "{";
    bool replaced = false;
    for (const auto &[member, value] : members) {
        const bool target = member == name;
        replaced = replaced || target;
        if (target && raw.empty()) continue;
        if (out.size() > 1) out += ",";
        out += "\"" + member + "\":" + (target ? raw : value);
    }
    if (!replaced && !raw.empty()) out += ",\"" + name + "\":" + raw;
    return out + "}";
}

} // namespace

TEST(AlertHistoryTest, SavedHistoryLoadsBackEqualWithDatesCutToWholeSeconds)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/a/b/alerts.json";
    MonitorAlert raised = findingAlert(1);
    raised.eventTime = 1740830400.750; // 12:00:00.750
    raised.key = "Password brute force|1740830400750|x";
    const std::vector<MonitorAlert> alerts = {raised, monitorAlert(), findingAlert(2)};

    AlertHistory history(path);
    ASSERT_EQ(history.save(alerts), QString());
    const auto loaded = AlertHistory(path).load();

    ASSERT_EQ(loaded.state, AlertHistory::LoadState::loaded);
    EXPECT_TRUE(loaded.problem.isEmpty());
    ASSERT_EQ(loaded.alerts.size(), alerts.size());
    for (size_t i = 0; i < alerts.size(); ++i) {
        MonitorAlert expected = alerts[i];
        expected.eventTime = std::floor(expected.eventTime);
        expected.raisedAt = std::floor(expected.raisedAt);
        EXPECT_EQ(loaded.alerts[i], expected) << "alert " << i;
    }
    EXPECT_EQ(loaded.alerts[0].key, "Password brute force|1740830400750|x");
    EXPECT_NE(readAll(path).find("\"eventTime\": \"2025-03-01T12:00:00Z\""), std::string::npos);
}

TEST(AlertHistoryTest, WritesMembersInFieldOrderOnePerLineReadableByAnotherReader)
{
    MonitorAlert withTechnique = findingAlert(1);
    const std::string text = AlertHistory::encode({withTechnique, monitorAlert()});

    const std::vector<std::string> order = {"id",          "kind", "key",      "eventTime",   "raisedAt",
                                            "severityRaw", "rule", "category", "technique",   "summary",
                                            "explanation", "user", "evidence", "acknowledged"};
    size_t at = 0;
    for (const std::string &name : order) {
        const size_t found = text.find("\n    \"" + name + "\": ", at);
        ASSERT_NE(found, std::string::npos) << name << " missing or out of order";
        at = found;
    }
    // Upper-case UUID text, whole-second UTC date, raw UTF-8 for the dash and arrow.
    EXPECT_NE(text.find("\"id\": \"" + withTechnique.id.text() + "\""), std::string::npos);
    EXPECT_NE(text.find("\"eventTime\": \"2025-03-01T14:05:09Z\""), std::string::npos);
    EXPECT_NE(text.find("\"user\": \"—\""), std::string::npos);
    EXPECT_NE(text.find("\"user\": \"orvik → root\""), std::string::npos);
    // Every "/" escaped, next to the standard escapes of quotes, backslashes and line feeds.
    EXPECT_NE(text.find(R"("explanation": "Repeated \"failed\" logins \\ guesses \/ tries.")"), std::string::npos);
    EXPECT_NE(text.find(R"("path, path=\/etc\/hosts\nreturn, status=success, value=0")"), std::string::npos);
    for (size_t at = text.find('/'); at != std::string::npos; at = text.find('/', at + 1))
        EXPECT_EQ(text[at - 1], '\\') << "unescaped \"/\" at byte " << at;

    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    ASSERT_TRUE(document.isArray());
    const QJsonArray array = document.array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0].toObject()["technique"].toString(), "T1110");
    EXPECT_FALSE(array[1].toObject().contains("technique")) << "an absent technique writes no member";
    EXPECT_EQ(array[1].toObject()["evidence"].toArray().size(), 0);
    EXPECT_EQ(array[0].toObject()["explanation"].toString().toStdString(), withTechnique.explanation);
    EXPECT_EQ(array[1].toObject()["acknowledged"].toBool(), true);

    EXPECT_EQ(AlertHistory::encode({}), "[]\n");
}

TEST(AlertHistoryTest, InvalidUtf8InATextIsReplacedNotASaveFailure)
{
    MonitorAlert alert = findingAlert(1);
    alert.summary = std::string("bad \xC3\x28 byte");
    const std::string text = AlertHistory::encode({alert});
    const auto back = AlertHistory::decode(text);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].summary, "bad \xEF\xBF\xBD( byte");
}

TEST(AlertHistoryTest, DatesReadOnlyTheWholeSecondUtcForm)
{
    struct Case {
        const char *name;
        const char *text;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        {"plain", "2025-03-01T14:05:09Z", 1740837909},
        {"epoch", "1970-01-01T00:00:00Z", 0},
        {"before 1970", "1969-12-31T23:59:59Z", -1},
        {"leap day", "2024-02-29T00:00:00Z", 1709164800},
        {"last writable second", "9999-12-31T23:59:59Z", 253402300799},
        {"first writable second", "0000-01-01T00:00:00Z", -62167219200},
        {"fraction", "2025-03-01T12:00:00.750Z", std::nullopt},
        {"zone offset", "2025-03-01T12:00:00+00:00", std::nullopt},
        {"lower-case zone letter", "2025-03-01T12:00:00z", std::nullopt},
        {"space for T", "2025-03-01 12:00:00Z", std::nullopt},
        {"no leap day in 2025", "2025-02-29T00:00:00Z", std::nullopt},
        {"no leap day in 1900", "1900-02-29T00:00:00Z", std::nullopt},
        {"hour 24", "2025-03-01T24:00:00Z", std::nullopt},
        {"leap second", "2016-12-31T23:59:60Z", std::nullopt},
        {"month 13", "2025-13-01T00:00:00Z", std::nullopt},
        {"day 0", "2025-03-00T00:00:00Z", std::nullopt},
        {"sign in year", "+025-03-01T00:00:00Z", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(AlertHistory::parseDate(c.text), c.seconds) << c.name;
        if (c.seconds) {
            EXPECT_EQ(AlertHistory::formatDate(*c.seconds), c.text) << c.name;
        }
    }
}

TEST(AlertHistoryTest, WritingDropsTheFractionAndClampsWhatCouldNotBeReadBack)
{
    struct Case {
        const char *name;
        double seconds;
        const char *text;
    };
    const Case cases[] = {
        {"fraction dropped", 1740830400.750, "2025-03-01T12:00:00Z"},
        {"fraction before 1970 rounds down", -0.5, "1969-12-31T23:59:59Z"},
        {"year above 9999", 1e15, "9999-12-31T23:59:59Z"},
        {"year below 0", -1e15, "0000-01-01T00:00:00Z"},
        {"infinity", INFINITY, "9999-12-31T23:59:59Z"},
        {"not a number", NAN, "1970-01-01T00:00:00Z"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(AlertHistory::formatDate(c.seconds), c.text) << c.name;
        EXPECT_TRUE(AlertHistory::parseDate(AlertHistory::formatDate(c.seconds))) << c.name;
    }
}

TEST(AlertHistoryTest, ReadingAcceptsTheLenientForms)
{
    struct Case {
        const char *name;
        std::string element;
        std::optional<std::string> technique;
        int64_t severityRaw;
        Severity severity;
    };
    const Case cases[] = {
        {"all members", elementWith("severityRaw", "3"), "T1110", 3, Severity::high},
        {"technique null", elementWith("technique", "null"), std::nullopt, 3, Severity::high},
        {"technique missing", elementWith("technique", ""), std::nullopt, 3, Severity::high},
        {"unknown member ignored", elementWith("colour", "\"red\""), "T1110", 3, Severity::high},
        {"severity 9 reads as high", elementWith("severityRaw", "9"), "T1110", 9, Severity::high},
        {"negative severity reads as high", elementWith("severityRaw", "-4"), "T1110", -4, Severity::high},
        {"critical", elementWith("severityRaw", "4"), "T1110", 4, Severity::critical},
        {"integral number with a fraction part", elementWith("severityRaw", "1.0"), "T1110", 1, Severity::low},
        {"largest integer", elementWith("severityRaw", "9223372036854775807"), "T1110", INT64_MAX, Severity::high},
    };
    for (const Case &c : cases) {
        std::vector<MonitorAlert> alerts;
        ASSERT_NO_THROW(alerts = AlertHistory::decode("[" + c.element + "]")) << c.name;
        ASSERT_EQ(alerts.size(), 1u) << c.name;
        EXPECT_EQ(alerts[0].technique, c.technique) << c.name;
        EXPECT_EQ(alerts[0].severityRaw, c.severityRaw) << c.name;
        EXPECT_EQ(alerts[0].severity(), c.severity) << c.name;
        EXPECT_EQ(alerts[0].id.text(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F") << c.name;
        EXPECT_EQ(alerts[0].evidence, (std::vector<std::string>{"a", "b"})) << c.name;
    }
}

TEST(AlertHistoryTest, OneBadElementRejectsTheWholeFileWithAReason)
{
    const std::string good = elementWith("", "");
    struct Case {
        const char *name;
        std::string bytes;
        const char *reason;
    };
    const Case cases[] = {
        {"not JSON", "alerts", "not valid JSON"},
        {"cut short", "[" + good.substr(0, 40), "not valid JSON"},
        {"empty file", "", "not valid JSON"},
        {"invalid UTF-8", "[\"\xFF\"]", "not valid JSON"},
        {"object, not array", good, "not a JSON array"},
        {"element not an object", "[" + good + ",3]", "alert 2 is not an object"},
        {"unknown kind", "[" + elementWith("kind", "\"process\"") + "]", "alert 1 has an unknown \"kind\""},
        {"missing rule", "[" + good + "," + elementWith("rule", "") + "]", "alert 2 has no member \"rule\""},
        {"id not a UUID", "[" + elementWith("id", "\"E621E1F8\"") + "]", "\"id\""},
        {"severity as text", "[" + elementWith("severityRaw", "\"3\"") + "]", "\"severityRaw\""},
        {"severity with a fraction", "[" + elementWith("severityRaw", "3.5") + "]", "\"severityRaw\""},
        {"severity beyond 64 bits", "[" + elementWith("severityRaw", "9223372036854775808") + "]", "\"severityRaw\""},
        {"date with a fraction", "[" + elementWith("eventTime", "\"2025-03-01T12:00:00.750Z\"") + "]", "\"eventTime\""},
        {"date as number", "[" + elementWith("raisedAt", "1740837909") + "]", "\"raisedAt\""},
        {"technique as number", "[" + elementWith("technique", "1110") + "]", "\"technique\""},
        {"acknowledged as text", "[" + elementWith("acknowledged", "\"false\"") + "]", "\"acknowledged\""},
        {"acknowledged null", "[" + elementWith("acknowledged", "null") + "]", "\"acknowledged\""},
        {"evidence entry not text", "[" + elementWith("evidence", "[\"a\", 2]") + "]", "\"evidence\""},
        {"evidence not an array", "[" + elementWith("evidence", "\"a\"") + "]", "\"evidence\""},
        {"deep nesting", std::string(100000, '[') + std::string(100000, ']'), "nested more than 32 levels deep"},
    };
    for (const Case &c : cases) {
        try {
            AlertHistory::decode(c.bytes);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const AlertHistoryError &e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

TEST(AlertHistoryTest, NewAlertsGoToTheFrontAndTheHistoryKeepsTheNewestThousand)
{
    struct Case {
        const char *name;
        int stored;
        int added;
        size_t size;
    };
    const Case cases[] = {
        {"three into none", 0, 3, 3},
        {"three into two", 2, 3, 5},
        {"one into a full history drops the oldest", 1000, 1, 1000},
        {"five into 998 leave 1000", 998, 5, 1000},
        {"a list longer than the cap keeps its newest", 0, 1200, 1000},
    };
    for (const Case &c : cases) {
        const std::vector<MonitorAlert> stored = numbered(c.stored);
        const std::vector<MonitorAlert> added = numbered(c.added);
        std::vector<MonitorAlert> history = stored;
        AlertHistory::insertNewest(history, added);
        ASSERT_EQ(history.size(), c.size) << c.name;
        // The last new alert is the newest; the older ones follow in reverse order, then the stored.
        for (size_t i = 0; i < c.size; ++i) {
            const MonitorAlert &expected = i < size_t(c.added) ? added[size_t(c.added) - 1 - i]
                                                               : stored[i - size_t(c.added)];
            ASSERT_EQ(history[i].id, expected.id) << c.name << " entry " << i;
        }
    }
}

TEST(AlertHistoryTest, AFileOfMoreThanTheCapLoadsWhole)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/alerts.json";
    writeAll(path, AlertHistory::encode(numbered(1200)));
    const auto loaded = AlertHistory(path).load();
    EXPECT_EQ(loaded.state, AlertHistory::LoadState::loaded);
    EXPECT_EQ(loaded.alerts.size(), 1200u);
}

TEST(AlertHistoryTest, SaveIsPrivateAtomicAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/deeper/Quillmarsh";
    const QString path = folder + "/alerts.json";
    AlertHistory history(path);
    const mode_t savedUmask = ::umask(022);

    ASSERT_EQ(history.save(numbered(3)), QString());
    ASSERT_EQ(history.save(numbered(2)), QString());

    EXPECT_EQ(entries(folder), QStringList{"alerts.json"});
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(AlertHistory(path).load().alerts.size(), 2u);
    // The folders it made are the user's alone, whatever the umask let through.
    for (const QString &made : {dir.path() + "/deeper", folder}) {
        ASSERT_EQ(::stat(QFile::encodeName(made).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u) << made.toStdString();
    }

    ASSERT_EQ(history.save({}), QString());
    EXPECT_EQ(readAll(path), "[]\n");
    ::umask(savedUmask);
}

TEST(AlertHistoryTest, AFailedSaveReportsWhyAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    struct Case {
        const char *name;
        QString path;
        QString checkFolder;
    };
    // A file where a folder must go, and a folder where the file must go.
    writeAll(dir.path() + "/blocker", "not a folder");
    ASSERT_TRUE(QDir(dir.path()).mkpath("occupied/alerts.json"));
    const Case cases[] = {
        {"folder is a file", dir.path() + "/blocker/alerts.json", dir.path()},
        {"file is a folder", dir.path() + "/occupied/alerts.json", dir.path() + "/occupied"},
    };
    for (const Case &c : cases) {
        const QStringList before = entries(c.checkFolder);
        const QString error = AlertHistory(c.path).save(numbered(1));
        EXPECT_FALSE(error.isEmpty()) << c.name;
        EXPECT_EQ(entries(c.checkFolder), before) << c.name << ": no temporary file left";
    }
    EXPECT_EQ(readAll(dir.path() + "/blocker"), "not a folder");
}

TEST(AlertHistoryTest, AnUnusableFileIsKeptAsideNotOverwritten)
{
    struct Case {
        const char *name;
        std::string bytes;
        AlertHistory::LoadState state;
    };
    const std::string fractionDates = "[" + elementWith("eventTime", "\"2025-03-01T12:00:00.750Z\"") + "]";
    const Case cases[] = {
        {"dates with fractions", fractionDates, AlertHistory::LoadState::damaged},
        {"foreign JSON", "{\"alerts\": []}", AlertHistory::LoadState::damaged},
        {"binary", std::string("\x00\x01\x02\xFF", 4), AlertHistory::LoadState::damaged},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.path() + "/alerts.json";
        writeAll(path, c.bytes);
        AlertHistory history(path);

        const auto loaded = history.load();
        EXPECT_EQ(loaded.state, c.state) << c.name;
        EXPECT_TRUE(loaded.alerts.empty()) << c.name;
        EXPECT_TRUE(loaded.problem.contains("could not be read")) << c.name << ": " << loaded.problem.toStdString();

        ASSERT_EQ(history.save(numbered(1)), QString()) << c.name;
        const QStringList names = entries(dir.path());
        ASSERT_EQ(names.size(), 2) << c.name << ": " << names.join(", ").toStdString();
        EXPECT_EQ(names[0], "alerts.json") << c.name;
        EXPECT_TRUE(names[1].startsWith("alerts.json.unreadable-")) << c.name;
        EXPECT_TRUE(loaded.problem.contains(names[1])) << c.name << ": the message names the kept file";
        EXPECT_EQ(readAll(dir.path() + "/" + names[1]), c.bytes) << c.name << ": kept byte for byte";
        EXPECT_EQ(AlertHistory(path).load().alerts.size(), 1u) << c.name;
    }
}

TEST(AlertHistoryTest, NothingThereOrNothingReadableStartsEmptyWithoutTouchingIt)
{
    QTemporaryDir dir;
    struct Case {
        const char *name;
        QString path;
    };
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder"));
    const QString fifo = dir.path() + "/fifo";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir.path() + "/huge.json";
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(300) * 1024 * 1024)); // sparse
    }
    const Case cases[] = {
        {"absent", dir.path() + "/none/alerts.json"},
        {"a folder", dir.path() + "/folder"},
        {"a FIFO, which must not block", fifo},
    };
    for (const Case &c : cases) {
        const auto loaded = AlertHistory(c.path).load();
        EXPECT_EQ(loaded.state, AlertHistory::LoadState::unread) << c.name;
        EXPECT_TRUE(loaded.alerts.empty()) << c.name;
        EXPECT_TRUE(loaded.problem.isEmpty()) << c.name;
    }
    EXPECT_TRUE(QFileInfo(dir.path() + "/folder").isDir());
    EXPECT_TRUE(QFileInfo::exists(fifo));

    // Far too large to be a history: not read into memory, but kept.
    const auto loaded = AlertHistory(huge).load();
    EXPECT_EQ(loaded.state, AlertHistory::LoadState::damaged);
    EXPECT_FALSE(QFileInfo::exists(huge));
    EXPECT_EQ(entries(dir.path()).filter("huge.json.unreadable-").size(), 1);
}

TEST(AlertHistoryTest, LocationComesFromTheVariableWhenSetAtAllElseTheDataFolder)
{
    QTemporaryDir dir;
    const QString home = dir.path() + "/home";
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    struct Case {
        const char *name;
        const char *variable; // nullptr: unset
        const char *dataHome; // nullptr: unset
        QString expected;
    };
    const Case cases[] = {
        {"absolute variable", "/srv/q/alerts.json", "/data", "/srv/q/alerts.json"},
        {"relative variable", "sub/alerts.json", nullptr, dir.path() + "/sub/alerts.json"},
        {"empty variable is the current folder", "", nullptr, dir.path()},
        {"no variable, data home set", nullptr, "/data", "/data/Quillmarsh/alerts.json"},
        {"no variable, no data home", nullptr, nullptr, home + "/.local/share/Quillmarsh/alerts.json"},
    };
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedVariable = qgetenv("QUILLMARSH_ALERTS_PATH");
    const bool hadVariable = qEnvironmentVariableIsSet("QUILLMARSH_ALERTS_PATH");
    qputenv("HOME", QFile::encodeName(home));
    for (const Case &c : cases) {
        if (c.variable) qputenv("QUILLMARSH_ALERTS_PATH", c.variable);
        else qunsetenv("QUILLMARSH_ALERTS_PATH");
        if (c.dataHome) qputenv("XDG_DATA_HOME", c.dataHome);
        else qunsetenv("XDG_DATA_HOME");
        EXPECT_EQ(AlertHistory::defaultPath(), c.expected) << c.name;
    }
    qputenv("HOME", savedHome);
    if (hadVariable) qputenv("QUILLMARSH_ALERTS_PATH", savedVariable);
    qunsetenv("XDG_DATA_HOME");
    QDir::setCurrent(previous);
}

TEST(AlertHistoryTest, BadgeShowsTheUnacknowledgedCountAndNothingAtZero)
{
    std::vector<MonitorAlert> alerts = numbered(3);
    alerts[1].acknowledged = true;
    EXPECT_EQ(AlertHistory::unacknowledgedCount(alerts), 2);
    EXPECT_EQ(AlertHistory::unacknowledgedCount({}), 0);

    struct Case {
        int64_t count;
        QString label;
    };
    const Case cases[] = {{0, ""}, {1, "1"}, {42, "42"}, {1000, "1000"}, {-1, ""}};
    for (const Case &c : cases) EXPECT_EQ(AlertHistory::badgeLabel(c.count), c.label) << c.count;
}
