#include "Services/AuditSystemStatus.h"

#include "support/OtherUser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Answers the two service queries from canned texts and remembers what was asked.
class FakeRunner final : public AuditSystemStatus::CommandRunner {
public:
    QString disabledOutput;
    int printStatus = -1;
    QStringList calls;

    QString shell(const QString &program, const QStringList &arguments) override
    {
        calls << "shell " + program + " " + arguments.join(' ');
        return disabledOutput;
    }
    int shellStatus(const QString &program, const QStringList &arguments) override
    {
        calls << "status " + program + " " + arguments.join(' ');
        return printStatus;
    }
};

void writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (permissions) file.setPermissions(permissions);
}

const QFile::Permissions plain = QFile::ReadOwner | QFile::WriteOwner;
const QFile::Permissions executable = plain | QFile::ExeOwner;

TEST(AuditSystemStatus, InitialValueHasEveryDefault)
{
    const AuditSystemStatus status;
    EXPECT_FALSE(status.controlFileExists);
    EXPECT_FALSE(status.controlFileReadable);
    EXPECT_FALSE(status.controlContents);
    EXPECT_FALSE(status.auditdDisabledInLaunchd);
    EXPECT_FALSE(status.auditdLoaded);
    EXPECT_FALSE(status.trailDirectoryExists);
    EXPECT_FALSE(status.auditPipeExists);
    EXPECT_TRUE(status.toolsPresent.isEmpty());
    EXPECT_FALSE(status.osVersion.isEmpty());
}

// What a host without the audit subsystem looks like: nothing there, launchctl not launchable.
TEST(AuditSystemStatus, UnconfiguredHostReportsNothingFound)
{
    QTemporaryDir root;
    FakeRunner runner;
    const AuditSystemStatus status = AuditSystemStatus::gather(runner, root.path());
    EXPECT_FALSE(status.controlFileExists);
    EXPECT_FALSE(status.controlFileReadable);
    EXPECT_FALSE(status.controlContents);
    EXPECT_FALSE(status.auditdDisabledInLaunchd);
    EXPECT_FALSE(status.auditdLoaded);
    EXPECT_FALSE(status.trailDirectoryExists);
    EXPECT_FALSE(status.auditPipeExists);
    const QMap<QString, bool> noTools = {{"audit", false},
                                         {"auditd", false},
                                         {"praudit", false},
                                         {"auditreduce", false}};
    EXPECT_EQ(status.toolsPresent, noTools);
    EXPECT_EQ(status.osVersion, AuditSystemStatus().osVersion);
}

TEST(AuditSystemStatus, ConfiguredHostIsReadInFull)
{
    QTemporaryDir root;
    const QString r = root.path();
    writeFile(r + "/etc/security/audit_control", "dir:/var/audit\nflags:lo,aa\n", plain);
    QDir().mkpath(r + "/var/audit");
    writeFile(r + "/dev/auditpipe", "");
    writeFile(r + "/usr/sbin/audit", "#!/bin/sh\n", executable);
    writeFile(r + "/usr/sbin/auditd", "#!/bin/sh\n", executable);
    writeFile(r + "/usr/sbin/praudit", "not executable\n", plain);
    QDir().mkpath(r + "/usr/sbin/auditreduce"); // a directory is not an executable file

    FakeRunner runner;
    runner.disabledOutput = "disabled services = {\n\t\"com.apple.auditd\" => enabled\n}\n";
    runner.printStatus = 0;
    const AuditSystemStatus status = AuditSystemStatus::gather(runner, r);

    EXPECT_TRUE(status.controlFileExists);
    EXPECT_TRUE(status.controlFileReadable);
    EXPECT_EQ(status.controlContents, QString("dir:/var/audit\nflags:lo,aa\n"));
    EXPECT_EQ(status.auditdDisabledInLaunchd, false);
    EXPECT_TRUE(status.auditdLoaded);
    EXPECT_TRUE(status.trailDirectoryExists);
    EXPECT_TRUE(status.auditPipeExists);
    const QMap<QString, bool> tools = {{"audit", true}, {"auditd", true}, {"praudit", false}, {"auditreduce", false}};
    EXPECT_EQ(status.toolsPresent, tools);
    const QStringList calls = {"shell /bin/launchctl print-disabled system",
                               "status /bin/launchctl print system/com.apple.auditd"};
    EXPECT_EQ(runner.calls, calls);
}

TEST(AuditSystemStatus, OnlyAZeroExitMeansLoaded)
{
    QTemporaryDir root;
    for (const int exitStatus : {0, 1, 113, -1}) {
        FakeRunner runner;
        runner.printStatus = exitStatus;
        EXPECT_EQ(AuditSystemStatus::gather(runner, root.path()).auditdLoaded, exitStatus == 0) << exitStatus;
    }
}

TEST(AuditSystemStatus, DisabledStateComesFromTheFirstQuotedLabelLine)
{
    struct Case {
        const char *name;
        const char *output;
        std::optional<bool> expected;
    };
    const Case cases[] = {
        {"disabled word", "\t\"com.apple.auditd\" => disabled\n", true},
        {"true word", "\t\"com.apple.auditd\" => true\n", true},
        {"enabled word", "\t\"com.apple.auditd\" => enabled\n", false},
        {"false word", "\t\"com.apple.auditd\" => false\n", false},
        {"no line for the service", "\t\"com.apple.ftpd\" => disabled\n", std::nullopt},
        {"label without quotes does not count", "\tcom.apple.auditd => disabled\n", std::nullopt},
        {"first of two lines decides", "\"com.apple.auditd\" => enabled\n\"com.apple.auditd\" => disabled\n", false},
        {"empty lines skipped", "\n\n\"com.apple.auditd\" => disabled\n\n", true},
        {"tests are case-sensitive", "\"com.apple.auditd\" => DISABLED\n", false},
        {"no output at all", "", std::nullopt},
    };
    QTemporaryDir root;
    for (const Case &c : cases) {
        FakeRunner runner;
        runner.disabledOutput = QString::fromUtf8(c.output);
        EXPECT_EQ(AuditSystemStatus::gather(runner, root.path()).auditdDisabledInLaunchd, c.expected) << c.name;
    }
}

// A control file is read up to 1 MiB: a line of flags padded to exactly that is read, a byte
// more is not.
TEST(AuditSystemStatus, PolicyFileIsReadUpToOneMebibyte)
{
    for (const qsizetype size : {qsizetype(1) << 20, (qsizetype(1) << 20) + 1}) {
        QTemporaryDir root;
        QByteArray bytes = "flags:lo\n";
        bytes += QByteArray(size - bytes.size(), '#');
        writeFile(root.path() + "/etc/security/audit_control", bytes, plain);
        FakeRunner runner;
        const AuditSystemStatus status = AuditSystemStatus::gather(runner, root.path());
        EXPECT_TRUE(status.controlFileReadable) << size;
        EXPECT_EQ(status.controlContents.has_value(), size == qsizetype(1) << 20) << size;
    }
}

TEST(AuditSystemStatus, PolicyFileThatCannotBeReadAsTextLeavesNoContents)
{
    enum class Kind { file, folder, fifo };
    struct Case {
        const char *name;
        Kind kind;
        QByteArray bytes;
        bool readable;
    };
    const Case cases[] = {
        {"not valid UTF-8", Kind::file, QByteArray("flags:lo\xff\xfe\n"), true},
        {"a folder in its place", Kind::folder, {}, true},
        // Nobody writes into it: reading must not wait for a writer.
        {"a named pipe in its place", Kind::fifo, {}, true},
        {"larger than any control file", Kind::file, QByteArray(2 * 1024 * 1024, 'x'), true},
    };
    for (const Case &c : cases) {
        QTemporaryDir root;
        const QString path = root.path() + "/etc/security/audit_control";
        if (c.kind == Kind::folder) {
            QDir().mkpath(path);
        } else if (c.kind == Kind::fifo) {
            QDir().mkpath(root.path() + "/etc/security");
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            writeFile(path, c.bytes, plain);
        }
        FakeRunner runner;
        const AuditSystemStatus status = AuditSystemStatus::gather(runner, root.path());
        EXPECT_TRUE(status.controlFileExists) << c.name;
        EXPECT_EQ(status.controlFileReadable, c.readable) << c.name;
        EXPECT_FALSE(status.controlContents) << c.name;
    }
}

// Root reads every file, so as root (CI) the check runs in a child that has become a user with no
// account; any other user runs it as itself.
TEST(AuditSystemStatus, PolicyFileReadableOnlyByRootIsNotRead)
{
    QTemporaryDir root;
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    writeFile(root.path() + "/etc/security/audit_control", "flags:lo\n", QFile::WriteOwner);
    // What the user sees, as bits an exit status can carry.
    const auto gather = [&] {
        FakeRunner runner;
        const AuditSystemStatus status = AuditSystemStatus::gather(runner, root.path());
        return int(status.controlFileExists) | int(status.controlFileReadable) << 1
               | int(bool(status.controlContents)) << 2;
    };
    const int seen = ::geteuid() == 0 ? OtherUser::run(gather) : gather();
    ASSERT_NE(seen, OtherUser::couldNotSwitch);
    EXPECT_EQ(seen & 1, 1) << "the file is seen";
    EXPECT_EQ(seen & 2, 0) << "but not readable";
    EXPECT_EQ(seen & 4, 0) << "and not read";
}

TEST(AuditSystemStatus, ProbeGathersOffTheCallingThread)
{
    QTemporaryDir root;
    QDir().mkpath(root.path() + "/var/audit");
    auto runner = std::make_shared<FakeRunner>();
    runner->printStatus = 0;
    QFuture<AuditSystemStatus> future = AuditSystemStatus::probe(runner, root.path());
    const AuditSystemStatus status = future.result();
    EXPECT_TRUE(status.trailDirectoryExists);
    EXPECT_TRUE(status.auditdLoaded);
    EXPECT_EQ(status.toolsPresent.size(), 4);
}

TEST(AuditSystemStatus, SystemRunnerKeepsOnlyStandardOutputAndReportsExitStatus)
{
    const auto runner = AuditSystemStatus::systemRunner();
    const QStringList script = {"-c", "printf 'one\\n\\377two'; echo noise >&2; exit 3"};
    EXPECT_EQ(runner->shell("/bin/sh", script), QString::fromUtf8("one\n\xEF\xBF\xBDtwo"));
    EXPECT_EQ(runner->shellStatus("/bin/sh", script), 3);
    EXPECT_EQ(runner->shellStatus("/bin/sh", {"-c", "exit 0"}), 0);
    EXPECT_EQ(runner->shell("/nonexistent/launchctl", {"print-disabled", "system"}), QString());
    EXPECT_EQ(runner->shellStatus("/nonexistent/launchctl", {"print", "system/com.apple.auditd"}), -1);
}

// This host has no launchctl: the real probe must still come back, with the daemon unknown
// and not loaded, rather than fail.
TEST(AuditSystemStatus, RealProbeOnAHostWithoutLaunchctl)
{
    if (QFileInfo::exists("/bin/launchctl")) GTEST_SKIP() << "this host has launchctl";
    const AuditSystemStatus status = AuditSystemStatus::probe().result();
    EXPECT_FALSE(status.auditdDisabledInLaunchd);
    EXPECT_FALSE(status.auditdLoaded);
    EXPECT_EQ(status.toolsPresent.size(), 4);
    EXPECT_EQ(status.controlFileExists, QFileInfo::exists("/etc/security/audit_control"));
}

} // namespace
