#pragma once

#include <QFuture>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A snapshot of how the host's audit subsystem is set up: the policy file, the daemon's
// service state, the trail folder, the audit pipe, the tools and the OS version.
struct AuditSystemStatus {
    bool controlFileExists = false;
    bool controlFileReadable = false;
    std::optional<QString> controlContents;
    std::optional<bool> auditdDisabledInLaunchd;
    bool auditdLoaded = false;
    bool trailDirectoryExists = false;
    bool auditPipeExists = false;
    QMap<QString, bool> toolsPresent;
    QString osVersion;

    AuditSystemStatus();

    // Runs the two service queries. The real one launches the programs; tests hand in a fake.
    class CommandRunner {
    public:
        virtual ~CommandRunner() = default;
        // Standard output as UTF-8 (bad bytes become U+FFFD), stderr discarded, exit status
        // ignored; "" when the program cannot be launched.
        virtual QString shell(const QString &program, const QStringList &arguments) = 0;
        // Exit status with both outputs discarded; -1 when the program cannot be launched.
        virtual int shellStatus(const QString &program, const QStringList &arguments) = 0;
    };
    static std::shared_ptr<CommandRunner> systemRunner();

    // Gathers the snapshot on a background thread; never fails (a problem leaves a field at
    // its default). fileRoot is prefixed to every path looked at, "" for the real system.
    static QFuture<AuditSystemStatus> probe(std::shared_ptr<CommandRunner> runner = systemRunner(),
                                            const QString &fileRoot = QString());
    // The same gathering, on the calling thread. It blocks while the queries run.
    static AuditSystemStatus gather(CommandRunner &runner, const QString &fileRoot = QString());

    static constexpr const char *controlFilePath = "/etc/security/audit_control";
    static constexpr const char *trailDirectoryPath = "/var/audit";
    static constexpr const char *auditPipePath = "/dev/auditpipe";
    static constexpr const char *toolFolder = "/usr/sbin/";
    static constexpr const char *toolNames[] = {"audit", "auditd", "praudit", "auditreduce"};
    static constexpr const char *launchctlPath = "/bin/launchctl";
    static constexpr const char *serviceLabel = "com.apple.auditd";
};
