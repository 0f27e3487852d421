#include "Platform/DBusNotificationCenter.h"

#include "support/QtTestSupport.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

// Stands in for the desktop's notification daemon on a private bus.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notification {
        QString appName;
        uint replacesId;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout;
    };
    static constexpr uint firstId = 101;

    QStringList capabilities = {"body", "actions"};
    std::vector<Notification> notifications;
    std::vector<uint> closed;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        notifications.push_back({appName, replacesId, appIcon, summary, body, actions, hints, timeout});
        return firstId + uint(notifications.size()) - 1;
    }
    void CloseNotification(uint id)
    {
        closed.push_back(id);
        emit NotificationClosed(id, 3);
    }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);
};

// A bus daemon of our own with two connections: one for the server, one for the code under test.
class DBusNotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
        ASSERT_TRUE(m_dir.isValid());
        const QString config = m_dir.path() + "/bus.conf";
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:dir="
                   + QFile::encodeName(m_dir.path())
                   + "</listen><auth>EXTERNAL</auth>"
                     "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        m_daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        ASSERT_TRUE(m_daemon.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return m_daemon.canReadLine(); }, 10000)) << "the bus printed no address";
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();

        static int counter = 0;
        const QString suffix = QString::number(++counter);
        m_serverName = "server" + suffix;
        m_clientName = "client" + suffix;
        QDBusConnection server = QDBusConnection::connectToBus(m_address, m_serverName);
        ASSERT_TRUE(server.isConnected()) << server.lastError().message().toStdString();
        ASSERT_TRUE(server.registerObject("/org/freedesktop/Notifications", &m_server,
                                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        m_client = std::make_unique<DBusNotificationCenter>(QDBusConnection::connectToBus(m_address, m_clientName));
    }
    void TearDown() override
    {
        m_client.reset();
        if (!m_serverName.isEmpty()) {
            QDBusConnection::disconnectFromBus(m_serverName);
            QDBusConnection::disconnectFromBus(m_clientName);
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(3000)) {
                m_daemon.kill();
                m_daemon.waitForFinished(3000);
            }
        }
    }

    bool offerService() { return QDBusConnection(m_serverName).registerService("org.freedesktop.Notifications"); }
    std::optional<NotificationAuthorization> authorization()
    {
        std::optional<NotificationAuthorization> answer;
        m_client->readAuthorization([&](NotificationAuthorization a) { answer = a; });
        waitUntil([&] { return answer.has_value(); });
        return answer;
    }
    static NotificationContent content(const QString &alertID)
    {
        return {"High: Password brute force",
                "Credential Access · T1110",
                "12 failures",
                alertID,
                "quillmarsh.alerts",
                true};
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_serverName;
    QString m_clientName;
    FakeNotificationServer m_server;
    std::unique_ptr<DBusNotificationCenter> m_client;
};

} // namespace

TEST(DBusNotifyArgumentsTest, ContentMapsOntoOneNotifyCall)
{
    struct Case {
        const char *name;
        NotificationContent content;
        bool markup;
        QString body;
    };
    const Case cases[] = {
        {"subtitle leads the body", {"T", "Sub", "Body", "A", "quillmarsh.alerts", true}, false, "Sub\nBody"},
        {"no subtitle", {"T", "", "Body", "A", "quillmarsh.alerts", false}, false, "Body"},
        {"markup is escaped when read",
         {"T", "a & b", "<b>x</b>", "A", "quillmarsh.alerts", true},
         true,
         "a &amp; b\n&lt;b&gt;x&lt;/b&gt;"},
        {"plain text is left alone",
         {"T", "a & b", "<b>x</b>", "A", "quillmarsh.alerts", true},
         false,
         "a & b\n<b>x</b>"},
    };
    for (const Case &c : cases) {
        const QVariantList arguments = DBusNotificationCenter::notifyArguments(c.content, c.markup);
        ASSERT_EQ(arguments.size(), 8) << c.name;
        EXPECT_EQ(arguments[0].toString(), "Quillmarsh") << c.name;
        EXPECT_EQ(arguments[1].value<uint>(), 0u) << c.name;
        EXPECT_EQ(arguments[3].toString(), c.content.title) << c.name;
        EXPECT_EQ(arguments[4].toString(), c.body) << c.name;
        EXPECT_EQ(arguments[5].toStringList(), (QStringList{"default", "Show"})) << c.name;
        EXPECT_EQ(arguments[7].toInt(), -1) << c.name;
        const QVariantMap hints = arguments[6].toMap();
        EXPECT_EQ(hints["urgency"].value<uchar>(), 1) << c.name;
        EXPECT_EQ(hints["category"].toString(), "x-quillmarsh.alerts") << c.name;
        EXPECT_EQ(hints["desktop-entry"].toString(), "quillmarsh") << c.name;
        EXPECT_EQ(hints.contains("sound-name"), c.content.sound) << c.name;
        EXPECT_EQ(hints.value("suppress-sound", false).toBool(), !c.content.sound) << c.name;
    }
}

TEST(DBusNotifyArgumentsTest, WithoutABusNothingIsSentAndPermissionReadsDenied)
{
    DBusNotificationCenter center(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nobus"));
    std::optional<NotificationAuthorization> answer;
    center.readAuthorization([&](NotificationAuthorization a) { answer = a; });
    EXPECT_FALSE(answer.has_value()) << "answers later, never inside the call";
    center.add({"T", "S", "B", "A", "quillmarsh.alerts", true});
    center.removeAllDeliveredNotifications();
    bool asked = false;
    center.requestAuthorization([&] { asked = true; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value() && asked; }, 2000));
    EXPECT_EQ(*answer, NotificationAuthorization::denied);
}

TEST(DBusNotifyArgumentsTest, WithoutASessionBusTheDefaultCenterAnswersDenied)
{
    QTemporaryDir runtime;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    DBusNotificationCenter center;
    std::optional<NotificationAuthorization> answer;
    center.readAuthorization([&](NotificationAuthorization a) { answer = a; });
    center.add({"T", "S", "B", "A", "quillmarsh.alerts", true});
    const bool answered = waitUntil([&] { return answer.has_value(); }, 10000);
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    ASSERT_TRUE(answered);
    EXPECT_EQ(*answer, NotificationAuthorization::denied);
}

TEST_F(DBusNotificationCenterTest, PostsThroughNotifyAndAClickHandsBackTheAlertId)
{
    ASSERT_TRUE(offerService());
    QSignalSpy clicks(m_client.get(), &NotificationCenter::activated);
    m_client->add(content("ALERT-1"));
    m_client->add(content("ALERT-2"));
    ASSERT_TRUE(waitUntil([&] { return m_server.notifications.size() == 2; }));

    const auto &first = m_server.notifications[0];
    EXPECT_EQ(first.appName, "Quillmarsh");
    EXPECT_EQ(first.summary, "High: Password brute force");
    EXPECT_EQ(first.body, "Credential Access · T1110\n12 failures");
    EXPECT_EQ(first.actions, (QStringList{"default", "Show"}));
    EXPECT_EQ(first.hints.value("urgency").toInt(), 1);
    EXPECT_EQ(first.hints.value("sound-name").toString(), "message-new-instant");
    EXPECT_EQ(first.timeout, -1);

    // Other actions and unknown ids go nowhere. The bus keeps the order of signals, so once the
    // last click is in, all before it have been handled.
    emit m_server.ActionInvoked(FakeNotificationServer::firstId + 1, "other");
    emit m_server.ActionInvoked(999, "default");
    emit m_server.ActionInvoked(FakeNotificationServer::firstId + 1, "default");
    ASSERT_TRUE(waitUntil([&] { return !clicks.isEmpty() && clicks.last()[0].toString() == "ALERT-2"; }));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(DBusNotificationCenterTest, RemovingClosesOnlyWhatIsStillShown)
{
    ASSERT_TRUE(offerService());
    QSignalSpy clicks(m_client.get(), &NotificationCenter::activated);
    for (const char *id : {"A", "B", "C"}) m_client->add(content(id));
    ASSERT_TRUE(waitUntil([&] { return m_server.notifications.size() == 3; }));
    emit m_server.NotificationClosed(FakeNotificationServer::firstId, 2); // dismissed by the user
    // The reply to the last Notify must be in before removing; a click on it proves that.
    emit m_server.ActionInvoked(FakeNotificationServer::firstId + 2, "default");
    ASSERT_TRUE(waitUntil([&] { return clicks.count() == 1; }));

    m_client->removeAllDeliveredNotifications();
    const std::vector<uint> expected = {FakeNotificationServer::firstId + 1, FakeNotificationServer::firstId + 2};
    ASSERT_TRUE(waitUntil([&] { return m_server.closed.size() == 2; }));
    EXPECT_EQ(m_server.closed, expected);

    // A click on a withdrawn notification, then one on a new notification, which proves the
    // first has been handled.
    m_client->add(content("D"));
    ASSERT_TRUE(waitUntil([&] { return m_server.notifications.size() == 4; }));
    emit m_server.ActionInvoked(FakeNotificationServer::firstId + 1, "default");
    emit m_server.ActionInvoked(FakeNotificationServer::firstId + 3, "default");
    ASSERT_TRUE(waitUntil([&] { return clicks.last()[0].toString() == "D"; }));
    EXPECT_EQ(clicks.count(), 2) << "a withdrawn notification leads nowhere";
}

TEST_F(DBusNotificationCenterTest, BodyIsEscapedForAServiceThatReadsMarkup)
{
    m_server.capabilities << "body-markup";
    ASSERT_TRUE(offerService());
    m_client->add({"T", "", "sudo <x> & y", "A", "quillmarsh.alerts", false});
    ASSERT_TRUE(waitUntil([&] { return m_server.notifications.size() == 1; }));
    EXPECT_EQ(m_server.notifications[0].body, "sudo &lt;x&gt; &amp; y");
    EXPECT_TRUE(m_server.notifications[0].hints.value("suppress-sound").toBool());
}

TEST_F(DBusNotificationCenterTest, PermissionFollowsWhetherTheServiceIsThere)
{
    EXPECT_EQ(authorization(), NotificationAuthorization::denied);
    m_client->add({"T", "", "LOST", "LOST", "quillmarsh.alerts", false});
    EXPECT_EQ(authorization(), NotificationAuthorization::denied);

    ASSERT_TRUE(offerService());
    EXPECT_EQ(authorization(), NotificationAuthorization::authorized);
    m_client->add({"T", "", "SHOWN", "SHOWN", "quillmarsh.alerts", false});
    // Anything kept from before would reach the service ahead of this one.
    ASSERT_TRUE(
        waitUntil([&] { return !m_server.notifications.empty() && m_server.notifications.back().body == "SHOWN"; }));
    EXPECT_EQ(m_server.notifications.size(), 1u) << "nothing posted while no service was there";
}

#include "DBusNotificationCenterTest.moc"
