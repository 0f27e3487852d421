#pragma once

#include "Platform/Elevation.h"
#include "Services/Privileged.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

// Stands in for pkexec: a shell script in a folder of its own that records its arguments and then
// does what the test asks, usually running them, as pkexec does once the user has authorised.
class FakeElevation {
public:
    FakeElevation() = default;
    explicit FakeElevation(const std::string &body) { install(body); }
    ~FakeElevation() { Elevation::setProgram(""); }
    FakeElevation(const FakeElevation &) = delete;
    FakeElevation &operator=(const FakeElevation &) = delete;

    // Replaces what the script does after recording its arguments.
    void install(const std::string &body)
    {
        const QString program = m_dir.filePath("pkexec");
        QFile script(program);
        script.open(QIODevice::WriteOnly | QIODevice::Truncate);
        script.write(QByteArray::fromStdString("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > "
                                               + quoted(m_dir.filePath("argv")) + "\n" + body + "\n"));
        script.close();
        ::chmod(QFile::encodeName(program).constData(), 0755);
        Elevation::setProgram(QFile::encodeName(program).toStdString());
    }

    // The arguments of its last run, or nothing when it never ran.
    std::optional<std::vector<std::string>> arguments() const
    {
        QFile file(m_dir.filePath("argv"));
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        std::vector<std::string> out;
        for (const QByteArray &part : file.readAll().split('\0')) out.push_back(part.toStdString());
        out.pop_back(); // after the last terminator
        return out;
    }
    QString directory() const { return m_dir.path(); }

    static std::string quoted(const QString &path)
    {
        return Privileged::shellQuoted(QFile::encodeName(path).toStdString());
    }

private:
    QTemporaryDir m_dir;
};

// The system trail copy against the fake: TMPDIR names a folder of the test's own for as long as
// this lives, and the authorising fake runs the root command with /var/audit replaced by `trails`.
class FakeSystemTrails {
public:
    explicit FakeSystemTrails(const QString &temporaryName)
        : temporary(QDir(elevation.directory()).filePath(temporaryName))
        , trails(QDir(elevation.directory()).filePath("audit"))
        , m_savedTmp(qgetenv("TMPDIR"))
    {
        QDir().mkpath(temporary);
        qputenv("TMPDIR", QFile::encodeName(temporary));
    }
    ~FakeSystemTrails() { qputenv("TMPDIR", m_savedTmp); }
    FakeSystemTrails(const FakeSystemTrails &) = delete;
    FakeSystemTrails &operator=(const FakeSystemTrails &) = delete;

    void useFake(const std::string &body)
    {
        elevation.install("export AUDIT_SOURCE=" + FakeElevation::quoted(trails) + "\n" + body);
    }
    // Runs `before` (an unprivileged process meddling while the dialog is open), then the root
    // command as root would, then `after`, and exits with the command's status.
    void useAuthorisingFake(const std::string &after = "", const std::string &before = "")
    {
        useFake(before + "\n/bin/sh -c \"$(printf '%s\\n' \"$3\" | sed \"s|/var/audit|$AUDIT_SOURCE|g\")\"\nstatus=$?\n"
                + after + "\nexit $status");
    }
    void addTrail(const QString &name, const QByteArray &content)
    {
        QDir().mkpath(trails);
        QFile file(QDir(trails).filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }
    // Copy folders made so far in the temporary directory.
    QStringList copyFolders() const { return QDir(temporary).entryList({"Quillmarsh-trails-*"}, QDir::Dirs); }

    FakeElevation elevation;
    const QString temporary;
    const QString trails;

private:
    QByteArray m_savedTmp;
};
