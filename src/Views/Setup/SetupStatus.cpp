#include "Views/Setup/SetupStatus.h"

#include <QStringList>

#include <algorithm>

namespace {

bool daemonDisabled(const AuditSystemStatus &status)
{
    return status.auditdDisabledInLaunchd.value_or(false);
}

} // namespace

SetupVerdict setupVerdict(const AuditSystemStatus &status)
{
    if (!status.controlFileExists)
        return {QStringLiteral("Auditing is not configured"),
                QStringLiteral("/etc/security/audit_control is missing, so auditd has no policy and no trails are "
                               "written. Recent macOS releases ship with auditing off; follow the setup steps below "
                               "to turn it on."),
                false};
    if (daemonDisabled(status))
        return {QStringLiteral("auditd is disabled"),
                QStringLiteral("A policy exists but the com.apple.auditd launch daemon is disabled."), false};
    if (status.auditdLoaded)
        return {QStringLiteral("Auditing is active"),
                QStringLiteral("auditd is loaded and a policy is configured. Trails are written to /var/audit."), true};
    return {QStringLiteral("auditd is not running"),
            QStringLiteral("A policy exists but auditd does not appear to be loaded. Run `sudo audit -i` or reboot."),
            false};
}

std::vector<SetupCheck> setupChecks(const AuditSystemStatus &status)
{
    const auto &tools = status.toolsPresent;
    const bool allTools = std::all_of(tools.cbegin(), tools.cend(), [](bool present) { return present; });
    return {
        {QStringLiteral("audit_control present"), status.controlFileExists,
         QStringLiteral("/etc/security/audit_control")},
        {QStringLiteral("auditd loaded in launchd"), status.auditdLoaded,
         daemonDisabled(status) ? QStringLiteral("disabled via launchctl") : QStringLiteral("system/com.apple.auditd")},
        {QStringLiteral("Trail directory"), status.trailDirectoryExists, QStringLiteral("/var/audit")},
        {QStringLiteral("Audit pipe device"), status.auditPipeExists, QStringLiteral("/dev/auditpipe (live monitor)")},
        {QStringLiteral("Command-line tools"), allTools, toolsSummary(tools)},
    };
}

QString toolsSummary(const QMap<QString, bool> &toolsPresent)
{
    // A QMap iterates in ascending key order, which is the plain string order wanted here.
    QStringList entries;
    for (auto it = toolsPresent.cbegin(); it != toolsPresent.cend(); ++it)
        entries << (it.value() ? it.key() : it.key() + QStringLiteral(" ✗"));
    return entries.join(QStringLiteral(", "));
}
