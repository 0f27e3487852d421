#include "Services/AuditSystemStatus.h"

#include "Engine/Support/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QSysInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace {

class ProcessRunner final : public AuditSystemStatus::CommandRunner {
public:
    QString shell(const QString &program, const QStringList &arguments) override
    {
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments, QIODevice::ReadOnly);
        if (!process.waitForStarted(-1)) return QString();
        // QProcess drains the pipe while it waits, so a long output cannot stall the child.
        process.waitForFinished(-1);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    int shellStatus(const QString &program, const QStringList &arguments) override
    {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments, QIODevice::ReadOnly);
        if (!process.waitForStarted(-1)) return -1;
        process.waitForFinished(-1);
        if (process.exitStatus() != QProcess::NormalExit) return -1;
        return process.exitCode();
    }
};

// A real control file is a few hundred bytes; anything far larger is not one.
constexpr size_t largestControlFile = 1024 * 1024;

// The whole file as text, or nothing when it cannot be read or is not UTF-8.
std::optional<QString> readUtf8(const QString &path)
{
    const WholeFile::Contents file = WholeFile::read(QFile::encodeName(path).toStdString(), largestControlFile);
    if (file.status != WholeFile::Status::read) return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(file.bytes.data(), qsizetype(file.bytes.size())));
    if (decoder.hasError()) return std::nullopt;
    return text;
}

} // namespace

AuditSystemStatus::AuditSystemStatus()
    : osVersion(QSysInfo::prettyProductName() + QStringLiteral(" (") + QSysInfo::kernelType() + QLatin1Char(' ')
                + QSysInfo::kernelVersion() + QLatin1Char(')'))
{}

std::shared_ptr<AuditSystemStatus::CommandRunner> AuditSystemStatus::systemRunner()
{
    return std::make_shared<ProcessRunner>();
}

QFuture<AuditSystemStatus> AuditSystemStatus::probe(std::shared_ptr<CommandRunner> runner, const QString &fileRoot)
{
    return QtConcurrent::run(QThreadPool::globalInstance(),
                             [runner = std::move(runner), fileRoot] { return gather(*runner, fileRoot); });
}

AuditSystemStatus AuditSystemStatus::gather(CommandRunner &runner, const QString &fileRoot)
{
    const auto at = [&](const char *path) { return fileRoot + QString::fromUtf8(path); };
    AuditSystemStatus status;

    const QFileInfo control(at(controlFilePath));
    status.controlFileExists = control.exists();
    status.controlFileReadable = control.exists() && control.isReadable();
    if (status.controlFileReadable) status.controlContents = readUtf8(control.filePath());

    status.trailDirectoryExists = QFileInfo::exists(at(trailDirectoryPath));
    status.auditPipeExists = QFileInfo::exists(at(auditPipePath));

    for (const char *name : toolNames) {
        const QFileInfo tool(at(toolFolder) + QString::fromUtf8(name));
        status.toolsPresent.insert(QString::fromUtf8(name), tool.isFile() && tool.isExecutable());
    }

    const QString quotedLabel = QLatin1Char('"') + QString::fromUtf8(serviceLabel) + QLatin1Char('"');
    const QString disabledList = runner.shell(QString::fromUtf8(launchctlPath), {"print-disabled", "system"});
    for (const QString &line : disabledList.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.contains(quotedLabel)) continue;
        status.auditdDisabledInLaunchd = line.contains(QLatin1String("disabled"))
                                         || line.contains(QLatin1String("true"));
        break;
    }

    status.auditdLoaded = runner.shellStatus(QString::fromUtf8(launchctlPath),
                                             {"print", "system/" + QString::fromUtf8(serviceLabel)})
                          == 0;
    return status;
}
