#include "Platform/DBusNotificationCenter.h"

#include "Platform/Logging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString interfaceName = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage methodCall(const QString &method)
{
    return QDBusMessage::createMethodCall(service, objectPath, interfaceName, method);
}

// Closing a notification is fire and forget: nobody waits for the answer.
void close(const QDBusConnection &bus, uint id)
{
    QDBusMessage call = methodCall("CloseNotification");
    call.setArguments({id});
    if (!bus.send(call))
        qCWarning(lcPlatform, "Could not withdraw notification %u: %s", id, qUtf8Printable(bus.lastError().message()));
}

} // namespace

DBusNotificationCenter::DBusNotificationCenter(QObject *parent)
    : DBusNotificationCenter(QDBusConnection::sessionBus(), parent)
{}

DBusNotificationCenter::DBusNotificationCenter(const QDBusConnection &bus, QObject *parent)
    : NotificationCenter(parent), m_bus(bus)
{
    if (!m_bus.isConnected()) return;
    // Without these a clicked notification opens nothing; the notifications themselves still show.
    if (!m_bus.connect(service, objectPath, interfaceName, "ActionInvoked", this, SLOT(actionInvoked(uint, QString)))
        || !m_bus.connect(service, objectPath, interfaceName, "NotificationClosed", this,
                          SLOT(notificationClosed(uint, uint))))
        qCWarning(lcPlatform).noquote() << "Could not follow clicks on notifications:" << m_bus.lastError().message();
}

void DBusNotificationCenter::add(const NotificationContent &content)
{
    if (!m_bus.isConnected()) return;
    if (m_capabilitiesKnown) {
        send(content);
        return;
    }
    // The body's form depends on whether the service reads markup, so the first notifications
    // wait for that answer; a service that does not answer gets none of them.
    m_waiting.push_back(content);
    if (m_waiting.size() == 1) askCapabilities([](bool) {});
}

void DBusNotificationCenter::requestAuthorization(std::function<void()> done)
{
    // The desktop service asks nobody; there is nothing to wait for.
    QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
}

void DBusNotificationCenter::readAuthorization(std::function<void(NotificationAuthorization)> done)
{
    if (!m_bus.isConnected()) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(NotificationAuthorization::denied); }, Qt::QueuedConnection);
        return;
    }
    askCapabilities([done = std::move(done)](bool reachable) {
        done(reachable ? NotificationAuthorization::authorized : NotificationAuthorization::denied);
    });
}

void DBusNotificationCenter::removeAllDeliveredNotifications()
{
    ++m_removals;
    m_waiting.clear();
    for (const auto &[id, alertID] : m_delivered) close(m_bus, id);
    m_delivered.clear();
}

void DBusNotificationCenter::askCapabilities(std::function<void(bool reachable)> done)
{
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(methodCall("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QStringList> reply = *finished;
                const bool reachable = !reply.isError();
                m_capabilitiesKnown = reachable;
                if (reachable) m_markup = reply.value().contains("body-markup");
                const std::vector<NotificationContent> waiting = std::exchange(m_waiting, {});
                if (!reachable && !waiting.empty())
                    qCWarning(lcPlatform).noquote()
                        << waiting.size() << "notifications were not shown, as the"
                        << "notification service did not answer:" << reply.error().message();
                if (reachable)
                    for (const NotificationContent &content : waiting) send(content);
                done(reachable);
            });
}

void DBusNotificationCenter::send(const NotificationContent &content)
{
    QDBusMessage call = methodCall("Notify");
    call.setArguments(notifyArguments(content, m_markup));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, removals = m_removals, alertID = content.alertID](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError()) {
                    qCWarning(lcPlatform).noquote() << "A notification was not shown:" << reply.error().message();
                    return;
                }
                const uint id = reply.value();
                if (removals != m_removals) {
                    close(m_bus, id); // withdrawn while it was on its way
                    return;
                }
                m_delivered[id] = alertID;
            });
}

QVariantList DBusNotificationCenter::notifyArguments(const NotificationContent &content, bool markup)
{
    // The service has no subtitle: it becomes the body's first line.
    QString body = content.subtitle.isEmpty() ? content.body : content.subtitle + "\n" + content.body;
    if (markup) body = body.toHtmlEscaped();
    QVariantMap hints;
    hints["desktop-entry"] = QStringLiteral("quillmarsh");
    hints["urgency"] = QVariant::fromValue<uchar>(1); // normal
    if (!content.threadIdentifier.isEmpty()) hints["category"] = "x-" + content.threadIdentifier;
    if (content.sound) hints["sound-name"] = QStringLiteral("message-new-instant");
    else hints["suppress-sound"] = true;
    const QStringList actions = {QStringLiteral("default"), QStringLiteral("Show")};
    return {QStringLiteral("Quillmarsh"), uint(0), QString(), content.title, body, actions, hints, int(-1)};
}

void DBusNotificationCenter::actionInvoked(uint id, const QString &actionKey)
{
    const auto found = m_delivered.find(id);
    if (found != m_delivered.end() && actionKey == "default") emit activated(found->second);
}

void DBusNotificationCenter::notificationClosed(uint id, uint)
{
    m_delivered.erase(id);
}
