#include "Services/Privileged.h"

#include "support/FakeElevation.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utime.h>

namespace {

TEST(SystemTrailCopy, QuotesForTheShell)
{
    const struct {
        const char *name;
        const char *text;
        const char *quoted;
    } cases[] = {
        {"plain path", "/tmp/a b", "'/tmp/a b'"},
        {"apostrophe", "/tmp/it's", "'/tmp/it'\\''s'"},
        {"apostrophes only", "''", "''\\'''\\'''"},
        {"empty", "", "''"},
        {"other shell characters stay literal", "$HOME \"x\" \\", "'$HOME \"x\" \\'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Privileged::shellQuoted(c.text), c.quoted);
    }
}

TEST(SystemTrailCopy, BuildsTheRootCommandLine)
{
    EXPECT_EQ(Privileged::systemTrailCopyCommand("/tmp/it's/Quillmarsh-trails-0123ABCD", 501),
              "cd /var/audit && for f in *; do [ -f \"$f\" ] && [ ! -L \"$f\" ] && cp -p \"$f\" "
              "'/tmp/it'\\''s/Quillmarsh-trails-0123ABCD'/; done; "
              "chown -R 501 '/tmp/it'\\''s/Quillmarsh-trails-0123ABCD'"
              " && chmod -R u+rw '/tmp/it'\\''s/Quillmarsh-trails-0123ABCD'");
}

// The user's temporary directory, with an apostrophe in its path.
class SystemTrailCopyRun : public ::testing::Test, public FakeSystemTrails {
protected:
    SystemTrailCopyRun() : FakeSystemTrails("it's tmp") {}

    static std::string path(const QString &p) { return QFile::encodeName(p).toStdString(); }
};

TEST_F(SystemTrailCopyRun, CopiesOnlyRegularTrailFilesInNameOrder)
{
    addTrail("20240101000000.20240101010000", "second");
    addTrail("20231231000000.20240101000000", "first");
    addTrail("odd name 'with' \"quotes\"", "third");
    addTrail(".hidden", "never");
    QDir(trails).mkdir("sub");
    QFile::link(QDir(trails).filePath("20240101000000.20240101010000"), QDir(trails).filePath("current"));
    const utimbuf old = {1600000000, 1600000000};
    ::utime(path(QDir(trails).filePath("20231231000000.20240101000000")).c_str(), &old);
    // A stray dot entry in the copy folder, however it got there, is not a trail.
    useAuthorisingFake("for d in \"$TMPDIR\"/Quillmarsh-trails-*; do touch \"$d/.stray\"; done");

    const std::vector<std::string> copies = Privileged::copySystemTrails().result();

    const QStringList folders = copyFolders();
    ASSERT_EQ(folders.size(), 1);
    EXPECT_TRUE(QRegularExpression("^Quillmarsh-trails-[0-9A-F]{8}$").match(folders[0]).hasMatch()) << folders[0].toStdString();
    const std::string folder = path(QDir(temporary).filePath(folders[0]));
    EXPECT_EQ(copies, (std::vector<std::string>{folder + "/20231231000000.20240101000000",
                                                folder + "/20240101000000.20240101010000",
                                                folder + "/odd name 'with' \"quotes\""}));
    EXPECT_EQ(elevation.arguments(), (std::vector<std::string>{"/bin/sh", "-c", Privileged::systemTrailCopyCommand(folder, ::getuid())}));

    struct stat info;
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, ::getuid());
    ASSERT_EQ(::stat(copies[0].c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1600000000);
    QFile third(QString::fromStdString(copies[2]));
    ASSERT_TRUE(third.open(QIODevice::ReadOnly));
    EXPECT_EQ(third.readAll(), "third");
}

TEST_F(SystemTrailCopyRun, MissingOrEmptyTrailFolderGivesNoFiles)
{
    const struct {
        const char *name;
        bool activeTrailLink;
    } cases[] = {
        {"no trail folder", false},
        {"only the link to the active trail", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.activeTrailLink) {
            QDir().mkpath(trails);
            QFile::link("/nonexistent/active", QDir(trails).filePath("current"));
        }
        useAuthorisingFake();
        EXPECT_TRUE(Privileged::copySystemTrails().result().empty());
    }
    // Each call made a folder of its own, and every one is kept.
    EXPECT_EQ(copyFolders().size(), 2);
}

TEST_F(SystemTrailCopyRun, AuthorisationFailuresLeaveTheEmptyFolder)
{
    const struct {
        const char *name;
        const char *fake;
        PrivilegedError::Kind kind;
        const char *description;
    } cases[] = {
        {"dismissed dialog", "exit 126", PrivilegedError::Kind::cancelled, "Administrator authorisation was cancelled."},
        {"refused authorisation", "echo 'Error executing command as another user: Not authorized' >&2; exit 127",
         PrivilegedError::Kind::failed, "Error executing command as another user: Not authorized"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString &folder : copyFolders()) QDir(QDir(temporary).filePath(folder)).removeRecursively();
        useFake(c.fake);
        try {
            Privileged::copySystemTrails().result();
            ADD_FAILURE() << "no error";
        } catch (const PrivilegedError &e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_STREQ(e.what(), c.description);
        }
        ASSERT_EQ(copyFolders().size(), 1);
        EXPECT_TRUE(QDir(QDir(temporary).filePath(copyFolders()[0])).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
}

TEST_F(SystemTrailCopyRun, MakesATemporaryDirectoryThatDoesNotExistYet)
{
    const QString missing = QDir(temporary).filePath("not/yet");
    qputenv("TMPDIR", QFile::encodeName(missing));
    useAuthorisingFake();
    EXPECT_TRUE(Privileged::copySystemTrails().result().empty());
    EXPECT_EQ(QDir(missing).entryList({"Quillmarsh-trails-*"}, QDir::Dirs).size(), 1);
}

TEST_F(SystemTrailCopyRun, FolderThatCannotBeMadeFailsBeforeAnyDialog)
{
    QFile(QDir(temporary).filePath("file")).open(QIODevice::WriteOnly);
    qputenv("TMPDIR", QFile::encodeName(QDir(temporary).filePath("file/inside")));
    useAuthorisingFake();
    try {
        Privileged::copySystemTrails().result();
        ADD_FAILURE() << "no error";
    } catch (const std::system_error &e) {
        EXPECT_EQ(e.code().value(), ENOTDIR);
    }
    EXPECT_FALSE(elevation.arguments().has_value());
}

} // namespace
