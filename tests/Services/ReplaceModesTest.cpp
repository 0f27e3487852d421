// The mode of each file the application replaces, after each kind of replacement: the alert
// history (always private), an exported history (the user's own file keeps its mode, another
// user's lends it nothing) and the autostart entry.

#include "Platform/AutostartLoginItem.h"
#include "Services/AlertHistory.h"

#include "support/EnvironmentGuard.h"
#include "support/OtherUser.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string native(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

void make(const QString &path, mode_t mode)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchmod(fd, mode), 0);
    ::close(fd);
}

class ReplaceModes : public ::testing::Test {
protected:
    void SetUp() override { m_umask = ::umask(022); }
    void TearDown() override { ::umask(m_umask); }
    QTemporaryDir folder;

private:
    mode_t m_umask = 022;
};

TEST_F(ReplaceModes, TheHistoryIsPrivateAndAnExportFollowsItsOwner)
{
    const QString history = folder.filePath("alerts.json"), exported = folder.filePath("export.json");
    struct Case {
        const char *name;
        std::function<QString()> replace;
        QString path;
        std::optional<mode_t> before;
        mode_t after;
    };
    const Case cases[] = {
        {"new history", [&] { return AlertHistory(history).save({}); }, history, std::nullopt, 0600},
        {"history over a shared one", [&] { return AlertHistory(history).save({}); }, history, 0644, 0600},
        {"new export", [&] { return AlertHistory::exportTo(native(exported), {}); }, exported, std::nullopt, 0644},
        {"export over the user's private file", [&] { return AlertHistory::exportTo(native(exported), {}); }, exported,
         0600, 0600},
        {"export over the user's group-readable file", [&] { return AlertHistory::exportTo(native(exported), {}); },
         exported, 0640, 0640},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(c.path);
        if (c.before) make(c.path, *c.before);
        EXPECT_EQ(c.replace(), QString());
        EXPECT_EQ(modeOf(c.path), c.after);
    }
}

// Another account's world-writable file in a folder both may write to.
TEST_F(ReplaceModes, AnotherUsersFileLendsAnExportNothing)
{
    if (const std::string reason = OtherUser::cannotSwitch(); !reason.empty()) GTEST_SKIP() << reason;
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
    const QString theirs = folder.filePath("shared.json");
    const QByteArray native = QFile::encodeName(theirs);
    ASSERT_EQ(OtherUser::run([&] {
                  const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                  return fd >= 0 && ::fchmod(fd, 0666) == 0 ? 0 : 1;
              }),
              0);
    EXPECT_EQ(AlertHistory::exportTo(native.toStdString(), {}), QString());
    EXPECT_EQ(modeOf(theirs), 0644u);
}

TEST_F(ReplaceModes, TheAutostartEntryKeepsTheUsersMode)
{
    const EnvironmentGuard keepConfig("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()).constData(), 1);
    AutostartLoginItem item(QStringLiteral("/opt/q/quillmarsh"));
    item.registerItem();
    const QString entry = AutostartLoginItem::entryPath();
    EXPECT_EQ(modeOf(entry), 0644u) << "new: the umask's mode";
    ASSERT_EQ(::chmod(QFile::encodeName(entry).constData(), 0600), 0);
    item.registerItem();
    EXPECT_EQ(modeOf(entry), 0600u) << "replaced: the user's own choice stays";
}

} // namespace
