#include "Services/Privileged.h"

#include "support/FakeElevation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

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
    const std::string command = Privileged::systemTrailCopyCommand("/tmp/it's/Quillmarsh-trails-0123ABCD", 501);
    EXPECT_TRUE(command.starts_with("umask 077; cd -P -- '/tmp/it'\\''s/Quillmarsh-trails-0123ABCD' || exit 1; "))
        << command;
    EXPECT_NE(command.find(" != 501:700 ]"), std::string::npos) << command;
    EXPECT_NE(command.find("chown 501 -- \"$f\""), std::string::npos) << command;
    // Nothing is handed over by a path that leads out of root's own staging folder.
    EXPECT_EQ(command.find("-R"), std::string::npos) << command;
}

// The user's temporary directory, with an apostrophe in its path.
class SystemTrailCopyRun : public ::testing::Test, public FakeSystemTrails {
protected:
    SystemTrailCopyRun() : FakeSystemTrails("it's tmp") {}

    static std::string path(const QString &p) { return QFile::encodeName(p).toStdString(); }
    static QByteArray contents(const QString &p)
    {
        QFile file(p);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
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
    EXPECT_TRUE(QRegularExpression("^Quillmarsh-trails-[0-9A-F]{8}$").match(folders[0]).hasMatch())
        << folders[0].toStdString();
    const std::string folder = path(QDir(temporary).filePath(folders[0]));
    EXPECT_EQ(copies, (std::vector<std::string>{folder + "/20231231000000.20240101000000",
                                                folder + "/20240101000000.20240101010000",
                                                folder + "/odd name 'with' \"quotes\""}));
    EXPECT_EQ(elevation.arguments(),
              (std::vector<std::string>{"/bin/sh", "-c", Privileged::systemTrailCopyCommand(folder, ::getuid())}));

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
        EXPECT_TRUE(QDir(QDir(temporary).filePath(copyFolders()[0]))
                        .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
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

// An unprivileged process (the user's own included) plants links while the dialog is open; root
// must neither write through them nor change what they point to.
TEST_F(SystemTrailCopyRun, PlantedLinksLeaveTheirTargetsUntouched)
{
    const QString victims = QDir(elevation.directory()).filePath("victims");
    const QString victim = QDir(victims).filePath("20240101000000.20240101010000");
    const std::string each = "for d in \"$TMPDIR\"/Quillmarsh-trails-*; do ";
    const struct {
        const char *name;
        std::string before;
        bool copies; // whether the call still delivers the trails
    } cases[] = {
        {"link named like a trail in the copy folder",
         each + "ln -s " + FakeElevation::quoted(victim) + " \"$d/20240101000000.20240101010000\"; done", true},
        {"link in place of the staging folder",
         each + "ln -s " + FakeElevation::quoted(victims) + " \"$d/.copy\"; done", false},
        {"copy folder swapped for a link",
         each + "mv \"$d\" \"$d.moved\"; ln -s " + FakeElevation::quoted(victims) + " \"$d\"; done", false},
    };
    addTrail("20240101000000.20240101010000", "trail");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(victims).removeRecursively();
        QDir().mkpath(victims);
        ::chmod(path(victims).c_str(), 0755);
        {
            QFile file(victim);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("precious");
        }
        ::chmod(path(victim).c_str(), 0400);
        const utimbuf old = {1500000000, 1500000000};
        ::utime(path(victim).c_str(), &old);
        useAuthorisingFake("", c.before);

        try {
            const std::vector<std::string> copies = Privileged::copySystemTrails().result();
            EXPECT_TRUE(c.copies) << "no error";
            ASSERT_EQ(copies.size(), 1u);
            EXPECT_EQ(contents(QString::fromStdString(copies[0])), "trail");
            struct stat info;
            ASSERT_EQ(::lstat(copies[0].c_str(), &info), 0);
            EXPECT_TRUE(S_ISREG(info.st_mode));
        } catch (const PrivilegedError &e) {
            EXPECT_FALSE(c.copies) << e.what();
            EXPECT_EQ(e.kind(), PrivilegedError::Kind::failed);
            EXPECT_TRUE(QString::fromStdString(e.message()).startsWith("Refusing to copy into")) << e.message();
        }

        EXPECT_EQ(contents(victim), "precious");
        EXPECT_EQ(QDir(victims).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{victim.section('/', -1)});
        struct stat info;
        ASSERT_EQ(::stat(path(victim).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0400u);
        EXPECT_EQ(info.st_mtime, 1500000000);
        ASSERT_EQ(::stat(path(victims).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0755u);
        EXPECT_EQ(info.st_uid, ::getuid());
    }
}

// The copies stay while the application runs (the trail screens show their paths) and go when
// it quits; folders of other runs are not this run's to remove.
TEST_F(SystemTrailCopyRun, CopyFoldersOfThisRunAreRemovedAtQuit)
{
    QDir(temporary).mkdir("Quillmarsh-trails-0THERRUN");
    addTrail("20240101000000.20240101010000", "trail");
    useAuthorisingFake();
    const std::vector<std::string> first = Privileged::copySystemTrails().result();
    const std::vector<std::string> second = Privileged::copySystemTrails().result();
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    // A dialog dismissed later leaves an empty folder, which goes too.
    useFake("exit 126");
    EXPECT_THROW(Privileged::copySystemTrails().result(), PrivilegedError);
    ASSERT_EQ(copyFolders().size(), 4);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(first[0])));

    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    qApp->exec();

    EXPECT_EQ(copyFolders(), QStringList{"Quillmarsh-trails-0THERRUN"});
}

} // namespace
