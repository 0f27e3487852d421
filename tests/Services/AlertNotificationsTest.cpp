#include "Services/AlertNotifications.h"

#include "support/FakeNotificationCenter.h"

#include <gtest/gtest.h>

namespace {

MonitorAlert alert(const std::string &rule, int64_t severityRaw)
{
    MonitorAlert a;
    a.id = Uuid::random();
    a.kind = MonitorAlert::Kind::finding;
    a.severityRaw = severityRaw;
    a.rule = rule;
    a.category = "Credential Access";
    a.technique = "T1110";
    a.summary = "12 failed logins for orvik";
    a.user = "orvik → root";
    return a;
}

std::vector<MonitorAlert> alerts(const std::vector<int64_t> &severities)
{
    std::vector<MonitorAlert> list;
    for (size_t i = 0; i < severities.size(); ++i)
        list.push_back(alert("Rule " + std::to_string(i + 1), severities[i]));
    return list;
}

QString id(const MonitorAlert &a)
{
    return QString::fromStdString(a.id.text());
}

} // namespace

TEST(AlertNotificationsTest, OneAlertReadsAsSeverityRuleAndItsContext)
{
    struct Case {
        const char *name;
        MonitorAlert alert;
        QString title;
        QString subtitle;
    };
    MonitorAlert noTechniqueNoUser = alert("Audit log cleared", 4);
    noTechniqueNoUser.technique.reset();
    noTechniqueNoUser.user = "—";
    MonitorAlert emptyCategory = alert("Odd", 1);
    emptyCategory.category = "";
    MonitorAlert monitor = alert("Background monitoring stopped", 3);
    monitor.kind = MonitorAlert::Kind::monitor;
    monitor.category = "Monitor";
    monitor.technique.reset();
    monitor.user = "—";
    const Case cases[] = {
        {"category, technique and user", alert("Password brute force", 3), "High: Password brute force",
         "Credential Access · T1110 · orvik → root"},
        {"category alone without technique and user", noTechniqueNoUser, "Critical: Audit log cleared",
         "Credential Access"},
        {"empty category still leads", emptyCategory, "Low: Odd", " · T1110 · orvik → root"},
        {"info", alert("Note", 0), "Info: Note", "Credential Access · T1110 · orvik → root"},
        {"medium", alert("Note", 2), "Medium: Note", "Credential Access · T1110 · orvik → root"},
        {"unknown severity reads as high", alert("Odd", 9), "High: Odd", "Credential Access · T1110 · orvik → root"},
        {"monitor alert", monitor, "Background monitoring stopped", "Quillmarsh"},
    };
    for (const Case &c : cases) {
        const auto posted = AlertNotifications::contents({c.alert}, true);
        ASSERT_EQ(posted.size(), 1u) << c.name;
        EXPECT_EQ(posted[0].title, c.title) << c.name;
        EXPECT_EQ(posted[0].subtitle, c.subtitle) << c.name;
        EXPECT_EQ(posted[0].body, QString::fromStdString(c.alert.summary)) << c.name;
        EXPECT_EQ(posted[0].alertID, id(c.alert)) << c.name;
        EXPECT_EQ(posted[0].threadIdentifier, "quillmarsh.alerts") << c.name;
    }
}

TEST(AlertNotificationsTest, BodyIsTheFirst240CharactersOfTheSummary)
{
    struct Case {
        const char *name;
        std::string summary;
        QString body;
    };
    std::string accented; // 'e' + combining acute: one character, two code points
    for (int i = 0; i < 250; ++i) accented += "e\xCC\x81";
    QString accentedBody;
    for (int i = 0; i < 240; ++i) accentedBody += QString::fromUtf8("e\xCC\x81");
    const Case cases[] = {
        {"300 characters are cut", std::string(300, 'x'), QString(240, 'x')},
        {"240 characters stay whole", std::string(240, 'y'), QString(240, 'y')},
        {"shorter stays whole", "short", "short"},
        {"empty", "", ""},
        {"combined characters are not split", accented, accentedBody},
    };
    for (const Case &c : cases) {
        MonitorAlert a = alert("Rule", 3);
        a.summary = c.summary;
        EXPECT_EQ(AlertNotifications::contents({a}, true)[0].body, c.body) << c.name;
    }
}

TEST(AlertNotificationsTest, FourOrMoreAlertsBecomeOneSummary)
{
    struct Case {
        const char *name;
        std::vector<int64_t> severities;
        size_t notifications;
        QString title;   // of the summary
        size_t topAlert; // named by the summary
    };
    const Case cases[] = {
        {"none", {}, 0, "", 0},
        {"three stay single", {3, 3, 4}, 3, "", 0},
        {"four", {3, 3, 3, 3}, 1, "4 new high-severity alerts", 0},
        {"ten", {3, 3, 3, 3, 3, 3, 3, 3, 3, 3}, 1, "10 new high-severity alerts", 0},
        {"first critical is the top", {3, 4, 4, 3}, 1, "4 new critical alerts", 1},
        {"medium only still says high-severity", {2, 2, 2, 2, 2}, 1, "5 new high-severity alerts", 0},
        {"a later critical is the top", {2, 3, 3, 3, 3, 3, 4}, 1, "7 new critical alerts", 6},
        {"an unknown severity counts as high", {2, 9, 2, 2}, 1, "4 new high-severity alerts", 1},
    };
    for (const Case &c : cases) {
        const std::vector<MonitorAlert> list = alerts(c.severities);
        const auto posted = AlertNotifications::contents(list, true);
        ASSERT_EQ(posted.size(), c.notifications) << c.name;
        if (c.title.isEmpty()) {
            for (size_t i = 0; i < posted.size(); ++i) EXPECT_EQ(posted[i].alertID, id(list[i])) << c.name;
            continue;
        }
        EXPECT_EQ(posted[0].title, c.title) << c.name;
        EXPECT_EQ(posted[0].subtitle, "Quillmarsh background monitor") << c.name;
        EXPECT_EQ(posted[0].body, "• Rule 1\n• Rule 2\n• Rule 3\n• Rule 4") << c.name;
        EXPECT_EQ(posted[0].alertID, id(list[c.topAlert])) << c.name;
        EXPECT_EQ(posted[0].threadIdentifier, "quillmarsh.alerts") << c.name;
    }
}

TEST(AlertNotificationsTest, PostsOnlyWhenForcedOrEnabledAndNotMuted)
{
    struct Case {
        const char *name;
        bool force;
        bool enabled;
        bool muted;
        bool posted;
    };
    const Case cases[] = {
        {"enabled", false, true, false, true},
        {"disabled", false, false, false, false},
        {"muted", false, true, true, false},
        {"forced while disabled", true, false, false, true},
        {"forced while muted", true, true, true, true},
    };
    for (const Case &c : cases) {
        FakeNotificationCenter center;
        AlertNotifications::post(center, alerts({3, 3}), c.force, {c.enabled, c.muted, true});
        EXPECT_EQ(center.added.size(), c.posted ? 2u : 0u) << c.name;
    }
}

TEST(AlertNotificationsTest, SoundFollowsTheSettingAtTheMomentOfPosting)
{
    FakeNotificationCenter center;
    AlertNotifications::post(center, alerts({3}), false, {true, false, false});
    AlertNotifications::post(center, alerts({3, 3, 3, 3}), false, {true, false, true});
    ASSERT_EQ(center.added.size(), 2u);
    EXPECT_FALSE(center.added[0].sound);
    EXPECT_TRUE(center.added[1].sound);
}
