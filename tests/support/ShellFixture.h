#pragma once

// Stores loaded from small trails written to a temporary folder, for the shell's widget tests.

#include "Store/AuditStore.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdint>

namespace ShellFixture {

// Writes the bytes as a trail file in the folder; returns its path.
inline QString writeTrail(const QTemporaryDir &folder, const QString &name, const TestBSM::Bytes &bytes)
{
    const QString path = QDir(folder.path()).filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    return path;
}

// A root execution carrying a signing identity, a successful clock change (always a finding) and
// plain reads: the smallest trail with records, processes and findings.
inline TestBSM::Bytes incidentTrail(uint32_t second = 1700000000)
{
    using TestBSM::TrailRecordBuilder;
    TestBSM::Subject root;
    root.auid = 501;
    root.euid = root.ruid = 0;
    return TestBSM::trail({
        TrailRecordBuilder(23, second)
            .path("/usr/bin/curl")
            .execArgs({"curl", "http://x"})
            .subject(root)
            .identity(1, "com.example.curl", "TEAM")
            .returnValue(0)
            .build(),
        TrailRecordBuilder(37, second + 1).subject(root).returnValue(0).build(),
        TestBSM::openReadRecords(3, second + 2),
    });
}

// Opens the files and waits for the store to publish them (and its first filter pass).
inline bool load(AuditStore &store, const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths) urls.append(QUrl::fromLocalFile(path));
    const size_t before = store.sources().size();
    store.open(urls, TrailSource::Kind::file);
    return waitUntil([&] {
        return !store.isLoading() && store.sources().size() == before + size_t(paths.size())
               && store.filtered().size() == store.records().size();
    });
}

} // namespace ShellFixture
