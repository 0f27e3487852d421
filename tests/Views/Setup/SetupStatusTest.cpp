#include "Views/Setup/SetupStatus.h"

#include <gtest/gtest.h>

namespace {

const QMap<QString, bool> allTools = {{"audit", true}, {"auditd", true}, {"praudit", true}, {"auditreduce", true}};

AuditSystemStatus status(bool controlFile, std::optional<bool> disabled, bool loaded)
{
    AuditSystemStatus s;
    s.controlFileExists = controlFile;
    s.auditdDisabledInLaunchd = disabled;
    s.auditdLoaded = loaded;
    s.trailDirectoryExists = true;
    s.auditPipeExists = true;
    s.toolsPresent = allTools;
    return s;
}

const QString notConfigured = QStringLiteral("Auditing is not configured");
const QString disabledTitle = QStringLiteral("auditd is disabled");
const QString active = QStringLiteral("Auditing is active");
const QString notRunning = QStringLiteral("auditd is not running");

TEST(SetupStatus, VerdictTakesTheFirstRuleThatHolds)
{
    struct Case {
        const char *name;
        AuditSystemStatus status;
        QString title;
        bool ok;
    };
    const Case cases[] = {
        {"no control file, nothing running", status(false, std::nullopt, false), notConfigured, false},
        {"no control file wins over a loaded daemon", status(false, false, true), notConfigured, false},
        {"no control file wins over a disabled daemon", status(false, true, true), notConfigured, false},
        {"disabled wins over loaded", status(true, true, true), disabledTitle, false},
        {"disabled and not loaded", status(true, true, false), disabledTitle, false},
        {"configured and running", status(true, false, true), active, true},
        {"launchctl silent, loaded", status(true, std::nullopt, true), active, true},
        {"configured, not loaded", status(true, false, false), notRunning, false},
        {"launchctl silent, not loaded", status(true, std::nullopt, false), notRunning, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const SetupVerdict verdict = setupVerdict(c.status);
        EXPECT_EQ(verdict.title, c.title);
        EXPECT_EQ(verdict.ok, c.ok);
    }
    EXPECT_EQ(setupVerdict(status(true, false, false)).message,
              QStringLiteral("A policy exists but auditd does not appear to be loaded. Run `sudo audit -i` or reboot."));
    EXPECT_EQ(setupVerdict(status(true, true, true)).message,
              QStringLiteral("A policy exists but the com.apple.auditd launch daemon is disabled."));
    EXPECT_EQ(setupVerdict(status(true, false, true)).message,
              QStringLiteral("auditd is loaded and a policy is configured. Trails are written to /var/audit."));
    EXPECT_TRUE(
        setupVerdict(status(false, false, false))
            .message.startsWith(QStringLiteral("/etc/security/audit_control is missing, so auditd has no policy")));
}

TEST(SetupStatus, CheckRowsFollowTheStatus)
{
    // An unreadable policy still counts as present; the daemon row names a disabled daemon.
    AuditSystemStatus unreadable = status(true, true, true);
    unreadable.controlFileReadable = false;
    unreadable.trailDirectoryExists = false;
    unreadable.toolsPresent[QStringLiteral("praudit")] = false;
    const std::vector<SetupCheck> expected = {
        {"audit_control present", true, "/etc/security/audit_control"},
        {"auditd loaded in launchd", true, "disabled via launchctl"},
        {"Trail directory", false, "/var/audit"},
        {"Audit pipe device", true, "/dev/auditpipe (live monitor)"},
        {"Command-line tools", false, QString::fromUtf8("audit, auditd, auditreduce, praudit ✗")},
    };
    EXPECT_EQ(setupChecks(unreadable), expected);

    AuditSystemStatus bare = status(false, std::nullopt, false);
    bare.auditPipeExists = false;
    bare.toolsPresent.clear();
    const std::vector<SetupCheck> checks = setupChecks(bare);
    ASSERT_EQ(checks.size(), 5u);
    EXPECT_FALSE(checks[0].ok);
    EXPECT_FALSE(checks[1].ok);
    EXPECT_EQ(checks[1].detail, QStringLiteral("system/com.apple.auditd"));
    EXPECT_FALSE(checks[3].ok);
    // No tools known: the check holds and says nothing.
    EXPECT_TRUE(checks[4].ok);
    EXPECT_EQ(checks[4].detail, QString());

    // A daemon explicitly not disabled keeps the service label.
    EXPECT_EQ(setupChecks(status(true, false, true))[1].detail, QStringLiteral("system/com.apple.auditd"));
}

TEST(SetupStatus, ToolsSummarySortsByNameAndMarksMissingTools)
{
    struct Case {
        QMap<QString, bool> tools;
        const char *summary;
    };
    const Case cases[] = {
        {allTools, "audit, auditd, auditreduce, praudit"},
        {{{"praudit", false}, {"audit", true}, {"auditd", true}, {"auditreduce", true}},
         "audit, auditd, auditreduce, praudit ✗"},
        {{{"audit", false}, {"auditd", false}}, "audit ✗, auditd ✗"},
        {{}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.summary);
        EXPECT_EQ(toolsSummary(c.tools), QString::fromUtf8(c.summary));
    }
}

} // namespace
