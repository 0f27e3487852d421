#include "Services/AlertCenter.h"

#include "Engine/Record/RecordBuilder.h"

#include "support/CapturedWarnings.h"
#include "support/FakeDockBadge.h"
#include "support/FakeLoginItem.h"
#include "support/FakeNotificationCenter.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using namespace TestBSM;

const char *const allKeys[] = {"monitor.minSeverity", "monitor.background", "monitor.notify",    "monitor.sound",
                               "monitor.autostart",   "monitor.menubar",    "monitor.openWindow"};

Finding finding(const std::string &rule, Severity severity, double time, const std::string &summary = "summary",
                std::vector<int64_t> recordIDs = {})
{
    Finding f;
    f.id = Uuid::random();
    f.rule = rule;
    f.category = "Credential Access";
    f.severity = severity;
    f.technique = "T1110";
    f.time = time;
    f.summary = summary;
    f.explanation = "why it matters";
    f.recordIDs = std::move(recordIDs);
    f.user = "orvik → root";
    return f;
}

AuditRecord record(int64_t id, const Bytes &raw)
{
    RecordContent r;
    r.id = id;
    r.raw = raw;
    return r.record();
}

MonitorAlert storedAlert(const std::string &key, bool acknowledged)
{
    MonitorAlert a;
    a.id = Uuid::random();
    a.key = key;
    a.eventTime = 1700000000;
    a.raisedAt = 1700000001;
    a.severityRaw = 3;
    a.rule = "Stored " + key;
    a.acknowledged = acknowledged;
    return a;
}

std::vector<std::string> rules(const std::vector<MonitorAlert> &alerts)
{
    std::vector<std::string> result;
    for (const MonitorAlert &a : alerts) result.push_back(a.rule);
    return result;
}

// Each test gets its own history file, settings file and fake platform.
class AlertCenterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        historyPath = dir.path() + "/history/alerts.json";
        qputenv("QUILLMARSH_ALERTS_PATH", QFile::encodeName(historyPath));
        settings = std::make_unique<QSettings>(dir.path() + "/settings.ini", QSettings::IniFormat);
    }

    std::unique_ptr<AlertCenter> make(DockBadge *withBadge)
    {
        return std::make_unique<AlertCenter>(
            AlertCenter::Platform{&notifications, &loginItem, withBadge, settings.get()});
    }
    std::unique_ptr<AlertCenter> make() { return make(&badge); }

    void storeHistory(const std::vector<MonitorAlert> &alerts)
    {
        ASSERT_EQ(AlertHistory(historyPath).save(alerts), QString());
    }
    std::vector<MonitorAlert> savedHistory() { return AlertHistory(historyPath).load().alerts; }

    QTemporaryDir dir;
    QString historyPath;
    std::unique_ptr<QSettings> settings;
    FakeNotificationCenter notifications;
    FakeLoginItem loginItem;
    FakeDockBadge badge;
};

TEST_F(AlertCenterTest, FirstStartWritesOnlyTheAutostartKeyAndAsksForNoPermission)
{
    loginItem.current = LoginItemStatus::requiresApproval;
    const auto center = make();

    for (const char *key : allKeys) EXPECT_EQ(settings->contains(key), std::string(key) == "monitor.autostart") << key;
    EXPECT_EQ(settings->value("monitor.autostart").toBool(), false);
    EXPECT_EQ(center->minimumSeverity(), Severity::high);
    EXPECT_TRUE(center->keepRunningInBackground());
    EXPECT_TRUE(center->notificationsEnabled());
    EXPECT_TRUE(center->playSound());
    EXPECT_FALSE(center->startCaptureAtLaunch());
    EXPECT_TRUE(center->showMenuBarIcon());
    EXPECT_TRUE(center->openWindowAtLaunch());

    EXPECT_TRUE(badge.labels.isEmpty()) << "no history file, no badge";
    EXPECT_EQ(center->loginItemStatus(), LoginItemStatus::requiresApproval);
    EXPECT_TRUE(center->launchAtLogin());
    EXPECT_EQ(center->notificationStatus(), NotificationAuthorization::notDetermined) << "read later, not waited for";
    EXPECT_TRUE(waitUntil([&] { return center->notificationStatus() == NotificationAuthorization::authorized; }));
    EXPECT_EQ(notifications.authorizationRequests, 0);
    EXPECT_TRUE(center->lastError().isEmpty());
}

TEST_F(AlertCenterTest, StoredSettingsAreReadAndWrittenBack)
{
    using Get = std::function<QVariant(const AlertCenter &)>;
    const Get severity = [](const AlertCenter &c) { return QVariant(rawValue(c.minimumSeverity())); };
    struct Case {
        const char *name;
        const char *key;
        QVariant stored;
        Get current;
        QVariant expected; // the value read, and written back
        int authorizationRequests;
    };
    const Case cases[] = {
        {"severity in range", "monitor.minSeverity", 1, severity, 1, 0},
        {"severity above range reads as high", "monitor.minSeverity", 7, severity, 3, 0},
        {"negative severity reads as high", "monitor.minSeverity", -1, severity, 3, 0},
        {"severity that is no number reads as high", "monitor.minSeverity", "lots", severity, 3, 0},
        {"background off", "monitor.background", false,
         [](const AlertCenter &c) { return QVariant(c.keepRunningInBackground()); }, false, 0},
        {"notifications off ask nothing", "monitor.notify", false,
         [](const AlertCenter &c) { return QVariant(c.notificationsEnabled()); }, false, 0},
        {"notifications stored on ask at creation", "monitor.notify", true,
         [](const AlertCenter &c) { return QVariant(c.notificationsEnabled()); }, true, 1},
        {"sound off", "monitor.sound", false, [](const AlertCenter &c) { return QVariant(c.playSound()); }, false, 0},
        {"capture at launch", "monitor.autostart", true,
         [](const AlertCenter &c) { return QVariant(c.startCaptureAtLaunch()); }, true, 0},
        {"autostart that is no Boolean reads false", "monitor.autostart", "maybe",
         [](const AlertCenter &c) { return QVariant(c.startCaptureAtLaunch()); }, false, 0},
        {"menu bar off", "monitor.menubar", false, [](const AlertCenter &c) { return QVariant(c.showMenuBarIcon()); },
         false, 0},
        {"window hidden at launch", "monitor.openWindow", false,
         [](const AlertCenter &c) { return QVariant(c.openWindowAtLaunch()); }, false, 0},
    };
    for (const Case &c : cases) {
        settings->clear();
        // Text as a hand-edited file holds it.
        settings->setValue(c.key, c.stored.toString());
        notifications.authorizationRequests = 0;
        const auto center = make();
        EXPECT_EQ(c.current(*center).toString(), c.expected.toString()) << c.name;
        EXPECT_EQ(settings->value(c.key).toString(), c.expected.toString()) << c.name << ": written back";
        EXPECT_EQ(notifications.authorizationRequests, c.authorizationRequests) << c.name;
        for (const char *key : allKeys) {
            const bool written = std::string(key) == c.key || std::string(key) == "monitor.autostart";
            EXPECT_EQ(settings->contains(key), written) << c.name << ": " << key;
        }
    }
}

TEST_F(AlertCenterTest, EveryAssignmentWritesButOnlyAChangeNotifies)
{
    using Set = std::function<void(AlertCenter &, bool)>;
    struct Case {
        const char *name;
        const char *key;
        Set set;
        void (AlertCenter::*changed)();
        bool initial;
    };
    const Case cases[] = {
        {"background", "monitor.background", [](AlertCenter &c, bool v) { c.setKeepRunningInBackground(v); },
         &AlertCenter::keepRunningInBackgroundChanged, true},
        {"notifications", "monitor.notify", [](AlertCenter &c, bool v) { c.setNotificationsEnabled(v); },
         &AlertCenter::notificationsEnabledChanged, true},
        {"sound", "monitor.sound", [](AlertCenter &c, bool v) { c.setPlaySound(v); }, &AlertCenter::playSoundChanged,
         true},
        {"autostart", "monitor.autostart", [](AlertCenter &c, bool v) { c.setStartCaptureAtLaunch(v); },
         &AlertCenter::startCaptureAtLaunchChanged, false},
        {"menu bar", "monitor.menubar", [](AlertCenter &c, bool v) { c.setShowMenuBarIcon(v); },
         &AlertCenter::showMenuBarIconChanged, true},
        {"window", "monitor.openWindow", [](AlertCenter &c, bool v) { c.setOpenWindowAtLaunch(v); },
         &AlertCenter::openWindowAtLaunchChanged, true},
        {"severity", "monitor.minSeverity",
         [](AlertCenter &c, bool v) { c.setMinimumSeverity(v ? Severity::high : Severity::low); },
         &AlertCenter::minimumSeverityChanged, true},
    };
    const auto center = make();
    for (const Case &c : cases) {
        QSignalSpy spy(center.get(), c.changed);
        settings->remove(c.key);
        c.set(*center, c.initial);
        EXPECT_TRUE(settings->contains(c.key)) << c.name << ": an equal value is still written";
        EXPECT_EQ(spy.count(), 0) << c.name;
        c.set(*center, !c.initial);
        EXPECT_EQ(spy.count(), 1) << c.name;
        const QVariant stored = settings->value(c.key);
        if (std::string(c.key) == "monitor.minSeverity") EXPECT_EQ(stored.toInt(), 1) << c.name;
        else EXPECT_EQ(stored.toBool(), !c.initial) << c.name;
    }
}

TEST_F(AlertCenterTest, SettingsThatCannotBeSavedAreReportedOnceOnStandardError)
{
    QFile blocker(dir.path() + "/not-a-folder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings = std::make_unique<QSettings>(blocker.fileName() + "/settings.ini", QSettings::IniFormat);
    const CapturedWarnings warnings("quillmarsh.services");
    {
        const auto center = make();
        EXPECT_TRUE(warnings.messages().isEmpty()) << "nothing is written before the event loop runs";
        EXPECT_TRUE(waitUntil([&] { return !warnings.messages().isEmpty(); }));
        center->setPlaySound(false);
        center->setShowMenuBarIcon(false);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(warnings.messages().size(), 1) << warnings.joined().toStdString();
    EXPECT_TRUE(warnings.messages()[0].contains("could not be saved to " + settings->fileName()));
    EXPECT_FALSE(warnings.messages()[0].contains('"')) << "the path is not quoted";
}

TEST_F(AlertCenterTest, SettingsWrittenJustBeforeTheEndAreStillSaved)
{
    const CapturedWarnings warnings("quillmarsh.services");
    make()->setPlaySound(false); // destroyed before the event loop could write it
    EXPECT_EQ(QSettings(settings->fileName(), QSettings::IniFormat).value("monitor.sound"), QVariant(false));
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.joined().toStdString();
}

TEST_F(AlertCenterTest, TurningNotificationsOnAsksAgainEvenWhenAlreadyOn)
{
    const auto center = make();
    center->setNotificationsEnabled(true);
    center->setNotificationsEnabled(true);
    center->setNotificationsEnabled(false);
    EXPECT_EQ(notifications.authorizationRequests, 2);
    notifications.authorization = NotificationAuthorization::denied;
    center->setNotificationsEnabled(true);
    EXPECT_TRUE(waitUntil([&] { return center->notificationStatus() == NotificationAuthorization::denied; }))
        << "the permission is read again after asking";
}

TEST_F(AlertCenterTest, AFindingBecomesOneAlertAtOrAboveTheMinimum)
{
    struct Pass {
        Pass(std::vector<Finding> findings, std::optional<Severity> minimum = std::nullopt, bool clearBefore = false)
            : findings(std::move(findings)), minimum(minimum), clearBefore(clearBefore)
        {}
        std::vector<Finding> findings;
        std::optional<Severity> minimum; // assigned before the pass
        bool clearBefore;
    };
    struct Case {
        const char *name;
        std::vector<Pass> passes;
        std::vector<std::string> expected; // rules, newest first
    };
    const Finding brute = finding("Brute", Severity::high, 1700000000.25);
    const std::vector<Finding> everySeverity = {finding("Info", Severity::info, 1), finding("Low", Severity::low, 2),
                                                finding("Medium", Severity::medium, 3),
                                                finding("High", Severity::high, 4),
                                                finding("Critical", Severity::critical, 5)};
    const Case cases[] = {
        {"at or above the minimum", {Pass{everySeverity, Severity::medium}}, {"Critical", "High", "Medium"}},
        {"the same finding in two passes", {Pass{{brute}}, Pass{{brute}}}, {"Brute"}},
        {"equal rule, millisecond and summary are one alert",
         {Pass{{finding("Brute", Severity::high, 1700000000.2501),
                finding("Brute", Severity::critical, 1700000000.2509)}}},
         {"Brute"}},
        {"another millisecond is another alert",
         {Pass{{finding("Brute", Severity::high, 1700000000.250), finding("Brute", Severity::high, 1700000000.2515)}}},
         {"Brute", "Brute"}},
        {"another summary is another alert",
         {Pass{{finding("Brute", Severity::high, 5, "a"), finding("Brute", Severity::high, 5, "b")}}},
         {"Brute", "Brute"}},
        {"below the minimum leaves no key behind",
         {Pass{{brute}, Severity::critical}, Pass{{brute}, Severity::high}},
         {"Brute"}},
        {"cleared findings stay quiet for the rest of the run",
         {Pass{{brute}}, Pass{{brute, finding("New", Severity::high, 9)}, std::nullopt, true}},
         {"New"}},
        {"three from one pass are stored newest first",
         {Pass{{finding("First", Severity::high, 1), finding("Second", Severity::high, 2),
                finding("Third", Severity::high, 3)}}},
         {"Third", "Second", "First"}},
    };
    for (const Case &c : cases) {
        settings->clear();
        QFile::remove(historyPath);
        const auto center = make();
        for (const Pass &pass : c.passes) {
            if (pass.minimum) center->setMinimumSeverity(*pass.minimum);
            if (pass.clearBefore) center->clearAll();
            center->handle(pass.findings, {});
        }
        EXPECT_EQ(rules(center->alerts()), c.expected) << c.name;
        EXPECT_EQ(rules(savedHistory()), c.expected) << c.name << ": saved";
    }
}

TEST_F(AlertCenterTest, AnAlertCopiesItsFindingAndIsPostedAsItArrived)
{
    const auto center = make();
    QSignalSpy changed(center.get(), &AlertCenter::alertsChanged);
    Finding f = finding("Sudo to root", Severity::critical, 1700000000.7509, "orvik ran sudo", {});
    f.technique.reset();
    center->handle({f, finding("Two", Severity::high, 2), finding("Three", Severity::high, 3)}, {});

    ASSERT_EQ(center->alerts().size(), 3u);
    const MonitorAlert &a = center->alerts()[2];
    EXPECT_EQ(a.kind, MonitorAlert::Kind::finding);
    EXPECT_EQ(a.key, "Sudo to root|1700000000750|orvik ran sudo");
    EXPECT_EQ(a.eventTime, f.time);
    EXPECT_GT(a.raisedAt, 1700000000.0);
    EXPECT_EQ(a.severityRaw, 4);
    EXPECT_EQ(a.category, "Credential Access");
    EXPECT_FALSE(a.technique);
    EXPECT_EQ(a.summary, "orvik ran sudo");
    EXPECT_EQ(a.explanation, "why it matters");
    EXPECT_EQ(a.user, "orvik → root");
    EXPECT_TRUE(a.evidence.empty());
    EXPECT_FALSE(a.acknowledged);
    EXPECT_NE(a.id, center->alerts()[1].id);
    EXPECT_EQ(changed.count(), 1);

    ASSERT_EQ(notifications.added.size(), 3u);
    EXPECT_EQ(notifications.added[0].title, "Critical: Sudo to root") << "in finding order";
    EXPECT_EQ(notifications.added[2].title, "High: Three");
    EXPECT_TRUE(notifications.added[0].sound);
    EXPECT_EQ(badge.labels, QStringList{"3"});
}

TEST_F(AlertCenterTest, NotificationsFollowTheSwitchesAtTheMomentOfPosting)
{
    struct Case {
        const char *name;
        bool enabled;
        bool muted;
        bool sound;
        size_t posted;
    };
    const Case cases[] = {
        {"on", true, false, true, 1},
        {"silent", true, false, false, 1},
        {"muted", true, true, true, 0},
        {"off", false, false, true, 0},
    };
    int time = 0;
    const auto center = make();
    for (const Case &c : cases) {
        notifications.added.clear();
        center->setNotificationsEnabled(c.enabled);
        center->setMuted(c.muted);
        center->setPlaySound(c.sound);
        center->handle({finding("Rule", Severity::high, ++time)}, {});
        center->raiseMonitorAlert("The capture helper exited.");
        EXPECT_EQ(center->alerts().front().rule, "Background monitoring stopped") << c.name << ": still stored";
        ASSERT_EQ(notifications.added.size(), 2 * c.posted) << c.name;
        for (const NotificationContent &posted : notifications.added) EXPECT_EQ(posted.sound, c.sound) << c.name;
    }
}

TEST_F(AlertCenterTest, EvidenceIsTheLastFiveRecordsFoundOneLinePerToken)
{
    auto tokens = [](std::initializer_list<Bytes> parts) { return trail(parts); };
    const std::vector<AuditRecord> records = {
        record(11, tokens({Token::path("/etc/hosts"), Token::returnValue(0, 0), Token::trailer(120)})),
        record(12, tokens({Token::text("second")})),
        record(12, tokens({Token::text("a later record under the same id")})),
        record(14, {}),
        record(15, tokens({Token::path("/tmp/x"), {0x00, 0x01}})),
        record(3, tokens({Token::text("older than the last five")})),
    };
    const auto center = make();
    center->handle({finding("Rule", Severity::high, 1, "s", {1, 2, 3, 11, 12, 13, 14, 15})}, records);

    ASSERT_EQ(center->alerts().size(), 1u);
    const std::vector<std::string> &evidence = center->alerts()[0].evidence;
    ASSERT_EQ(evidence.size(), 4u) << "13 is missing; 3 is not among the last five";
    EXPECT_EQ(evidence[0], "path, path=/etc/hosts\nreturn, status=success, value=0\ntrailer, record bytes=120");
    EXPECT_EQ(evidence[1], "text, text=second") << "the first record keeps a repeated id";
    EXPECT_EQ(evidence[2], "") << "no tokens, no error";
    EXPECT_EQ(evidence[3].substr(0, 20), "path, path=/tmp/x\n! ") << evidence[3];
    EXPECT_EQ(evidence[3].find('\n', 20), std::string::npos) << "the error is the last line";
    EXPECT_EQ(savedHistory()[0].evidence, evidence);
}

TEST_F(AlertCenterTest, TheHistoryKeepsTheNewestThousand)
{
    struct Case {
        const char *name;
        size_t stored;
        size_t added;
    };
    const Case cases[] = {
        {"one over the cap drops the oldest", 1000, 1},
        {"five onto 998", 998, 5},
        {"a longer file is loaded whole and trimmed on the next alert", 1200, 1},
    };
    for (const Case &c : cases) {
        std::vector<MonitorAlert> stored;
        for (size_t i = 0; i < c.stored; ++i) stored.push_back(storedAlert("k" + std::to_string(i), false));
        storeHistory(stored);
        const auto center = make();
        EXPECT_EQ(center->alerts().size(), c.stored) << c.name;
        std::vector<Finding> findings;
        for (size_t i = 0; i < c.added; ++i) findings.push_back(finding("New", Severity::high, double(i)));
        center->handle(findings, {});
        ASSERT_EQ(center->alerts().size(), 1000u) << c.name;
        EXPECT_EQ(center->alerts()[c.added].id, stored[0].id) << c.name;
        EXPECT_EQ(center->alerts().back().id, stored[1000 - c.added - 1].id) << c.name;
        EXPECT_EQ(savedHistory().size(), 1000u) << c.name;
    }
}

TEST_F(AlertCenterTest, LoadingSetsTheBadgeAndMarksTheStoredKeysSeen)
{
    const Finding seen = finding("Brute", Severity::high, 1700000000.25);
    storeHistory({storedAlert(AlertCenter::key(seen), false), storedAlert("other", true), storedAlert("x", false)});
    const auto center = make();
    EXPECT_EQ(badge.labels, QStringList{"2"});
    EXPECT_EQ(center->unacknowledgedCount(), 2);
    center->handle({seen}, {});
    EXPECT_EQ(center->alerts().size(), 3u) << "already alerted before this run";
}

TEST_F(AlertCenterTest, AnUnreadableHistoryStartsEmptyClearsTheBadgeAndSaysWhereItWent)
{
    QDir().mkpath(QFileInfo(historyPath).path());
    QFile file(historyPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[{\"id\": 1}]");
    file.close();

    const auto center = make();
    EXPECT_TRUE(center->alerts().empty());
    EXPECT_EQ(badge.labels, QStringList{""});
    EXPECT_TRUE(center->lastError().contains(".unreadable-")) << center->lastError().toStdString();
}

TEST_F(AlertCenterTest, WithoutABadgeNothingIsDrawn)
{
    storeHistory({storedAlert("a", false)});
    const auto center = make(nullptr);
    center->sendTestAlert();
    EXPECT_EQ(center->unacknowledgedCount(), 2);
}

TEST_F(AlertCenterTest, AcknowledgingDeletingAndClearingSaveAndUpdateTheBadge)
{
    const auto center = make();
    center->handle({finding("A", Severity::high, 1), finding("B", Severity::high, 2), finding("C", Severity::high, 3)},
                   {});
    const Uuid c = center->alerts()[0].id, b = center->alerts()[1].id, a = center->alerts()[2].id;
    center->setSelectedAlertID(b);
    badge.labels.clear();

    QFile::remove(historyPath);
    center->acknowledge(Uuid::random());
    EXPECT_FALSE(QFileInfo::exists(historyPath)) << "an unknown id writes nothing";
    EXPECT_TRUE(badge.labels.isEmpty());

    center->acknowledge(b);
    EXPECT_TRUE(savedHistory()[1].acknowledged);
    EXPECT_EQ(badge.labels.last(), "2");
    QFile::remove(historyPath);
    center->acknowledge(b);
    EXPECT_TRUE(QFileInfo::exists(historyPath)) << "already acknowledged, still written";
    EXPECT_EQ(notifications.removals, 0);

    center->deleteAlerts({c, Uuid::random()});
    EXPECT_EQ(rules(center->alerts()), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(rules(savedHistory()), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(badge.labels.last(), "1");
    EXPECT_EQ(center->selectedAlertID(), b);
    EXPECT_EQ(notifications.removals, 0);

    center->acknowledgeAll();
    EXPECT_EQ(center->unacknowledgedCount(), 0);
    EXPECT_EQ(savedHistory()[1].id, a);
    EXPECT_TRUE(savedHistory()[1].acknowledged);
    EXPECT_EQ(badge.labels.last(), "");
    EXPECT_EQ(notifications.removals, 1);

    center->clearAll();
    EXPECT_TRUE(center->alerts().empty());
    EXPECT_EQ(center->selectedAlertID(), b);
    EXPECT_TRUE(QFileInfo::exists(historyPath));
    EXPECT_TRUE(savedHistory().empty());
    EXPECT_EQ(AlertHistory(historyPath).load().state, AlertHistory::LoadState::loaded);
    EXPECT_EQ(notifications.removals, 2);
}

TEST_F(AlertCenterTest, SettingAlertsDirectlyNeitherSavesNorBadges)
{
    const auto center = make();
    QSignalSpy changed(center.get(), &AlertCenter::alertsChanged);
    center->setAlerts({storedAlert("a", false)});
    center->setAlerts(center->alerts());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(QFileInfo::exists(historyPath));
    EXPECT_TRUE(badge.labels.isEmpty());
}

TEST_F(AlertCenterTest, TheTestAlertIsCountedAndPostedEvenWhenSilenced)
{
    const auto center = make();
    center->setNotificationsEnabled(false);
    center->setMuted(true);
    center->sendTestAlert();

    ASSERT_EQ(center->alerts().size(), 1u);
    const MonitorAlert &a = center->alerts()[0];
    EXPECT_EQ(a.kind, MonitorAlert::Kind::monitor);
    Uuid keyID;
    EXPECT_EQ(a.key.substr(0, 5), "test|");
    EXPECT_TRUE(Uuid::parse(a.key.substr(5), &keyID)) << a.key;
    EXPECT_NE(keyID, a.id);
    EXPECT_EQ(a.eventTime, a.raisedAt);
    EXPECT_EQ(a.severityRaw, 3);
    EXPECT_EQ(a.rule, "Test alert");
    EXPECT_EQ(a.category, "Monitor");
    EXPECT_FALSE(a.technique);
    EXPECT_EQ(a.summary, "This is what a High or Critical finding will look like.");
    EXPECT_EQ(a.explanation, "Sent from the Background Monitor settings to check that notifications are delivered.");
    EXPECT_FALSE(a.user.empty());
    EXPECT_TRUE(a.evidence.empty());
    EXPECT_EQ(center->unacknowledgedCount(), 1);
    EXPECT_EQ(badge.labels, QStringList{"1"});
    EXPECT_EQ(savedHistory().size(), 1u);

    ASSERT_EQ(notifications.added.size(), 1u);
    EXPECT_EQ(notifications.added[0].title, "Test alert");
    EXPECT_EQ(notifications.added[0].subtitle, "Quillmarsh");
}

TEST_F(AlertCenterTest, AnUnexpectedEndOfCaptureRaisesAMonitorAlertEveryTime)
{
    const auto center = make();
    center->raiseMonitorAlert("The capture helper is no longer running.");
    center->raiseMonitorAlert("The capture helper is no longer running.");

    ASSERT_EQ(center->alerts().size(), 2u);
    const MonitorAlert &a = center->alerts()[0];
    EXPECT_EQ(a.kind, MonitorAlert::Kind::monitor);
    ASSERT_EQ(a.key.substr(0, 8), "monitor|");
    const std::string seconds = a.key.substr(8);
    EXPECT_NE(seconds.find('.'), std::string::npos) << a.key;
    EXPECT_EQ(std::stod(seconds), a.raisedAt) << "reads back to the raise time";
    EXPECT_EQ(a.eventTime, a.raisedAt);
    EXPECT_EQ(a.severityRaw, 3);
    EXPECT_EQ(a.rule, "Background monitoring stopped");
    EXPECT_EQ(a.category, "Monitor");
    EXPECT_FALSE(a.technique);
    EXPECT_EQ(a.summary, "The capture helper is no longer running.");
    EXPECT_EQ(a.explanation,
              "Live capture ended without being stopped from Quillmarsh, so new activity is no longer being checked. "
              "Restart monitoring from the menu bar or the Background Monitor screen.");
    EXPECT_EQ(a.user, "—");
    EXPECT_TRUE(a.evidence.empty());
    EXPECT_EQ(badge.labels.last(), "2");

    ASSERT_EQ(notifications.added.size(), 2u);
    EXPECT_EQ(notifications.added[0].title, "Background monitoring stopped");
    EXPECT_EQ(notifications.added[0].subtitle, "Quillmarsh");
    EXPECT_EQ(notifications.added[0].body, "The capture helper is no longer running.");
}

TEST_F(AlertCenterTest, AFailedSaveIsReportedAndTheAlertKept)
{
    QFile blocker(dir.path() + "/history");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    const auto center = make();
    center->sendTestAlert();

    EXPECT_EQ(center->alerts().size(), 1u);
    EXPECT_EQ(badge.labels, QStringList{"1"});
    EXPECT_TRUE(center->lastError().startsWith("Couldn't save alert history: ")) << center->lastError().toStdString();
}

TEST_F(AlertCenterTest, ClickingANotificationSelectsItsAlert)
{
    const auto center = make();
    center->sendTestAlert();
    QSignalSpy activated(center.get(), &AlertCenter::notificationActivated);
    notifications.click(notifications.added[0].alertID);
    EXPECT_EQ(center->selectedAlertID(), center->alerts()[0].id);
    EXPECT_EQ(activated.count(), 1);

    notifications.click("not an id");
    EXPECT_EQ(center->selectedAlertID(), center->alerts()[0].id);
}

TEST_F(AlertCenterTest, TheLoginSwitchShowsTheStateReadBack)
{
    const auto center = make();
    QSignalSpy changed(center.get(), &AlertCenter::loginItemStatusChanged);
    loginItem.afterRegistering = LoginItemStatus::requiresApproval;
    center->setLaunchAtLogin(true);
    EXPECT_EQ(center->loginItemStatus(), LoginItemStatus::requiresApproval);
    EXPECT_TRUE(center->launchAtLogin());
    EXPECT_EQ(changed.count(), 1);

    loginItem.failure = "the autostart folder is read-only";
    center->setLaunchAtLogin(false);
    EXPECT_EQ(loginItem.unregistrations, 1);
    EXPECT_EQ(center->lastError(), QString("Couldn't update the login item: the autostart folder is read-only"));
    EXPECT_TRUE(center->launchAtLogin()) << "the real state, not the wish";
    EXPECT_FALSE(settings->contains("monitor.launchAtLogin"));
}

} // namespace
