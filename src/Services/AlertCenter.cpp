#include "Services/AlertCenter.h"

#include "Engine/Analysis/RecordFormatter.h"
#include "Engine/BSM/UserResolver.h"
#include "Platform/Logging.h"
#include "Services/AlertNotifications.h"
#include "Services/LaunchAtLogin.h"

#include <QPointer>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace {

constexpr size_t evidenceRecords = 5;

constexpr const char *stoppedRule = "Background monitoring stopped";
constexpr const char *stoppedExplanation =
    "Live capture ended without being stopped from Quillmarsh, so new activity is no longer being checked. "
    "Restart monitoring from the menu bar or the Background Monitor screen.";
constexpr const char *testRule = "Test alert";
constexpr const char *testSummary = "This is what a High or Critical finding will look like.";
constexpr const char *testExplanation =
    "Sent from the Background Monitor settings to check that notifications are delivered.";

double now()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// The shortest text that reads back to the same double, always with its fraction ("12.0").
std::string secondsText(double seconds)
{
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed).ptr;
    std::string text(buffer, end);
    if (std::isfinite(seconds) && text.find('.') == std::string::npos) text += ".0";
    return text;
}

template <typename T>
bool assign(T &field, T value)
{
    if (field == value) return false;
    field = std::move(value);
    return true;
}

// Settings files are edited by hand too: a value that is no Boolean counts as not stored.
std::optional<bool> readBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    bool isNumber = false;
    const qlonglong number = value.toLongLong(&isNumber);
    if (isNumber) return number != 0;
    const QString text = value.toString().trimmed().toLower();
    if (text == "true" || text == "yes") return true;
    if (text == "false" || text == "no") return false;
    return std::nullopt;
}

// A stored value that is no severity, a number outside 0 to 4 or no number at all, reads as high.
Severity readSeverity(const QVariant &value)
{
    bool isNumber = false;
    const qlonglong number = value.toLongLong(&isNumber);
    if (!isNumber) return Severity::high;
    return severityFromRawValue(number).value_or(Severity::high);
}

std::string loginName()
{
    const uid_t uid = ::getuid();
    return UserResolver::shared().name(uint32_t(uid)).value_or(std::to_string(uid));
}

MonitorAlert monitorAlert(double raisedAt)
{
    MonitorAlert alert;
    alert.id = Uuid::random();
    alert.kind = MonitorAlert::Kind::monitor;
    alert.eventTime = raisedAt;
    alert.raisedAt = raisedAt;
    alert.severityRaw = rawValue(Severity::high);
    alert.category = "Monitor";
    return alert;
}

} // namespace

AlertCenter::AlertCenter(const Platform &platform, QObject *parent)
    : QObject(parent)
    , m_notifications(platform.notifications)
    , m_loginItem(platform.loginItem)
    , m_badge(platform.badge)
    , m_defaults(platform.defaults ? platform.defaults : new QSettings(this))
    , m_history(AlertHistory::defaultPath())
{
    Q_ASSERT(m_notifications && m_loginItem);
    readSettings();
    if (m_defaults->status() != QSettings::NoError) {
        m_settingsFailureTold = true;
        qCWarning(lcServices).noquote() << "The settings in" << m_defaults->fileName()
                                        << "could not be read; the defaults apply.";
    }
    load();
    setLoginItemStatus(m_loginItem->status());
    refreshNotificationStatus();
    connect(m_notifications, &NotificationCenter::activated, this, &AlertCenter::activated);
}

void AlertCenter::readSettings()
{
    const auto stored = [this](const char *key) -> std::optional<QVariant> {
        if (!m_defaults->contains(key)) return std::nullopt;
        return m_defaults->value(key);
    };
    const auto storedBool = [&](const char *key) -> std::optional<bool> {
        const auto value = stored(key);
        return value ? readBool(*value) : std::nullopt;
    };

    if (const auto value = stored(minSeverityKey)) setMinimumSeverity(readSeverity(*value));
    if (const auto value = storedBool(backgroundKey)) setKeepRunningInBackground(*value);
    if (const auto value = storedBool(notifyKey)) setNotificationsEnabled(*value);
    if (const auto value = storedBool(soundKey)) setPlaySound(*value);
    setStartCaptureAtLaunch(storedBool(autostartKey).value_or(false));
    if (const auto value = storedBool(menubarKey)) setShowMenuBarIcon(*value);
    if (const auto value = storedBool(openWindowKey)) setOpenWindowAtLaunch(*value);
}

AlertCenter::~AlertCenter()
{
    if (m_settingsSyncPending) syncSettings();
}

void AlertCenter::writeSetting(const char *key, const QVariant &value)
{
    m_defaults->setValue(key, value);
    // Written once the event loop is back, as QSettings itself would, but here where a failure
    // can be seen: it has no place on screen, so it goes to standard error.
    if (m_settingsSyncPending) return;
    m_settingsSyncPending = true;
    QTimer::singleShot(0, this, &AlertCenter::syncSettings);
}

void AlertCenter::syncSettings()
{
    m_settingsSyncPending = false;
    m_defaults->sync();
    // QSettings keeps the first error it met, so it is told once.
    if (m_defaults->status() == QSettings::NoError || std::exchange(m_settingsFailureTold, true)) return;
    qCWarning(lcServices).noquote() << "The settings could not be saved to" << m_defaults->fileName();
}

void AlertCenter::setMinimumSeverity(Severity value)
{
    if (assign(m_minimumSeverity, value)) emit minimumSeverityChanged();
    writeSetting(minSeverityKey, rawValue(value));
}

void AlertCenter::setKeepRunningInBackground(bool value)
{
    if (assign(m_keepRunningInBackground, value)) emit keepRunningInBackgroundChanged();
    writeSetting(backgroundKey, value);
}

void AlertCenter::setNotificationsEnabled(bool value)
{
    if (assign(m_notificationsEnabled, value)) emit notificationsEnabledChanged();
    writeSetting(notifyKey, value);
    if (value) requestAuthorization();
}

void AlertCenter::setPlaySound(bool value)
{
    if (assign(m_playSound, value)) emit playSoundChanged();
    writeSetting(soundKey, value);
}

void AlertCenter::setStartCaptureAtLaunch(bool value)
{
    if (assign(m_startCaptureAtLaunch, value)) emit startCaptureAtLaunchChanged();
    writeSetting(autostartKey, value);
}

void AlertCenter::setShowMenuBarIcon(bool value)
{
    if (assign(m_showMenuBarIcon, value)) emit showMenuBarIconChanged();
    writeSetting(menubarKey, value);
}

void AlertCenter::setOpenWindowAtLaunch(bool value)
{
    if (assign(m_openWindowAtLaunch, value)) emit openWindowAtLaunchChanged();
    writeSetting(openWindowKey, value);
}

void AlertCenter::setAlerts(std::vector<MonitorAlert> alerts)
{
    if (assign(m_alerts, std::move(alerts))) emit alertsChanged();
}

int64_t AlertCenter::unacknowledgedCount() const
{
    return AlertHistory::unacknowledgedCount(m_alerts);
}

void AlertCenter::setNotificationStatus(NotificationAuthorization value)
{
    if (assign(m_notificationStatus, value)) emit notificationStatusChanged();
}

void AlertCenter::refreshLoginItemStatus()
{
    setLoginItemStatus(m_loginItem->status());
}

void AlertCenter::setLoginItemStatus(LoginItemStatus value)
{
    if (assign(m_loginItemStatus, value)) emit loginItemStatusChanged();
}

void AlertCenter::setSelectedAlertID(std::optional<Uuid> value)
{
    if (assign(m_selectedAlertID, value)) emit selectedAlertIDChanged();
}

void AlertCenter::setLastError(QString value)
{
    if (assign(m_lastError, std::move(value))) emit lastErrorChanged();
}

void AlertCenter::setMuted(bool value)
{
    if (assign(m_muted, value)) emit mutedChanged();
}

bool AlertCenter::launchAtLogin() const
{
    return LaunchAtLogin::isOn(m_loginItemStatus);
}

void AlertCenter::setLaunchAtLogin(bool on)
{
    const LaunchAtLogin::Outcome outcome = LaunchAtLogin::assign(*m_loginItem, on);
    if (!outcome.error.isEmpty()) setLastError(outcome.error);
    setLoginItemStatus(outcome.status);
}

std::string AlertCenter::key(const Finding &finding)
{
    // Times come from 32-bit record seconds, so this never clamps in practice; it only keeps a
    // nonsense time from being undefined behaviour.
    const double milliseconds = std::trunc(finding.time * 1000.0);
    int64_t whole = 0;
    if (milliseconds >= 9223372036854775807.0) whole = INT64_MAX;
    else if (milliseconds <= -9223372036854775808.0) whole = INT64_MIN;
    else if (!std::isnan(milliseconds)) whole = int64_t(milliseconds);
    return finding.rule + "|" + std::to_string(whole) + "|" + finding.summary;
}

void AlertCenter::requestAuthorization()
{
    QPointer<AlertCenter> self(this);
    m_notifications->requestAuthorization([self] {
        if (self) self->refreshNotificationStatus();
    });
}

void AlertCenter::refreshNotificationStatus(std::function<void()> done)
{
    QPointer<AlertCenter> self(this);
    m_notifications->readAuthorization([self, done = std::move(done)](NotificationAuthorization status) {
        if (!self) return;
        self->setNotificationStatus(status);
        if (done) done();
    });
}

void AlertCenter::handle(const std::vector<Finding> &findings, const std::vector<AuditRecord> &records)
{
    // Built only once a finding is new: most passes repeat what was already alerted.
    std::unordered_map<int64_t, const AuditRecord *> index;
    bool indexed = false;
    std::vector<MonitorAlert> added;

    for (const Finding &finding : findings) {
        if (rawValue(finding.severity) < rawValue(m_minimumSeverity)) continue;
        std::string findingKey = key(finding);
        if (!m_seenKeys.insert(findingKey).second) continue;

        if (!indexed) {
            index.reserve(records.size());
            for (const AuditRecord &record : records) index.emplace(record.id, &record);
            indexed = true;
        }

        MonitorAlert alert;
        alert.id = Uuid::random();
        alert.kind = MonitorAlert::Kind::finding;
        alert.key = std::move(findingKey);
        alert.eventTime = finding.time;
        alert.raisedAt = now();
        alert.severityRaw = rawValue(finding.severity);
        alert.rule = finding.rule;
        alert.category = finding.category;
        alert.technique = finding.technique;
        alert.summary = finding.summary;
        alert.explanation = finding.explanation;
        alert.user = finding.user;
        const auto &ids = finding.recordIDs;
        for (size_t i = ids.size() > evidenceRecords ? ids.size() - evidenceRecords : 0; i < ids.size(); ++i) {
            const auto found = index.find(ids[i]);
            if (found != index.end()) alert.evidence.push_back(RecordFormatter::text(*found->second));
        }
        added.push_back(std::move(alert));
    }

    if (added.empty()) return;
    add(added);
    notify(added, false);
}

void AlertCenter::raiseMonitorAlert(const QString &message)
{
    const double raisedAt = now();
    MonitorAlert alert = monitorAlert(raisedAt);
    alert.key = "monitor|" + secondsText(raisedAt);
    alert.rule = stoppedRule;
    alert.summary = message.toStdString();
    alert.explanation = stoppedExplanation;
    alert.user = "—";
    add({alert});
    notify({alert}, false);
}

void AlertCenter::sendTestAlert()
{
    MonitorAlert alert = monitorAlert(now());
    alert.key = "test|" + Uuid::random().text();
    alert.rule = testRule;
    alert.summary = testSummary;
    alert.explanation = testExplanation;
    alert.user = loginName();
    add({alert});
    notify({alert}, true);
}

void AlertCenter::acknowledge(const Uuid &id)
{
    const auto found = std::find_if(m_alerts.begin(), m_alerts.end(), [&](const MonitorAlert &a) { return a.id == id; });
    if (found == m_alerts.end()) return;
    if (!found->acknowledged) {
        found->acknowledged = true;
        emit alertsChanged();
    }
    save();
    updateBadge();
}

void AlertCenter::acknowledgeAll()
{
    bool changed = false;
    for (MonitorAlert &alert : m_alerts) changed |= assign(alert.acknowledged, true);
    if (changed) emit alertsChanged();
    save();
    updateBadge();
    m_notifications->removeAllDeliveredNotifications();
}

void AlertCenter::deleteAlerts(const std::set<Uuid> &ids)
{
    const auto removed = std::erase_if(m_alerts, [&](const MonitorAlert &a) { return ids.count(a.id) > 0; });
    if (removed > 0) emit alertsChanged();
    save();
    updateBadge();
}

void AlertCenter::clearAll()
{
    setAlerts({});
    save();
    updateBadge();
    m_notifications->removeAllDeliveredNotifications();
}

void AlertCenter::load()
{
    AlertHistory::LoadResult loaded = m_history.load();
    // The file was set aside rather than dropped; say where.
    if (!loaded.problem.isEmpty()) setLastError(loaded.problem);
    if (loaded.state == AlertHistory::LoadState::unread) return;
    for (const MonitorAlert &alert : loaded.alerts) m_seenKeys.insert(alert.key);
    setAlerts(std::move(loaded.alerts));
    updateBadge();
}

void AlertCenter::save()
{
    const QString error = m_history.save(m_alerts);
    if (!error.isEmpty()) setLastError("Couldn't save alert history: " + error);
}

void AlertCenter::add(const std::vector<MonitorAlert> &added)
{
    AlertHistory::insertNewest(m_alerts, added);
    emit alertsChanged();
    save();
    updateBadge();
}

void AlertCenter::notify(const std::vector<MonitorAlert> &alerts, bool force)
{
    AlertNotifications::post(*m_notifications, alerts, force, {m_notificationsEnabled, m_muted, m_playSound});
}

void AlertCenter::updateBadge()
{
    if (m_badge) m_badge->setLabel(AlertHistory::badgeLabel(unacknowledgedCount()));
}

void AlertCenter::activated(const QString &alertID)
{
    Uuid id;
    if (Uuid::parse(alertID.toStdString(), &id)) setSelectedAlertID(id);
    emit notificationActivated();
}
