#pragma once

// Files named by bytes that are not UTF-8, written by a child of the test under the C locale and
// checked by their bytes: Qt decodes a name's bytes as UTF-8 under any locale, each byte that is
// not UTF-8 to U+FFFD, so a file written through a path's text goes to another name, or fails.

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace NonUtf8Names {

inline const QByteArray chosenFolder = "\xFF\xFE caf\xE9", chosenName = "r\xE9sum\xE9";

// A folder's entries, by their bytes, sorted.
inline QList<QByteArray> entries(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.append(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline QByteArray contents(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}

// The folder, removed with its files by their bytes, which the temporary folder's own removal
// would decode.
struct RemovedFolder {
    QByteArray folder;
    ~RemovedFolder()
    {
        for (const QByteArray &name : entries(folder)) ::unlink((folder + "/" + name).constData());
        ::rmdir(folder.constData());
    }
};

// Runs this test program's disabled test `test` (Suite.DISABLED_Name) under the C locale, with
// QUILLMARSH_EXPORT_FOLDER naming `folder`, and expects it to pass.
inline void runChild(const char *test, const QString &folder)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C");
    environment.insert("LANG", "C");
    environment.insert("QUILLMARSH_EXPORT_FOLDER", folder);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", QStringLiteral("--gtest_filter=") + test});
    ASSERT_TRUE(child.waitForFinished(60000));
    const std::string output = child.readAll().toStdString();
    ASSERT_EQ(child.exitCode(), 0) << output;
    ASSERT_NE(output.find("[       OK ]"), std::string::npos) << output;
}

} // namespace NonUtf8Names
