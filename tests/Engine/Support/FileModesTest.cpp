// The mode of a file after each kind of replacement, and names as long as the file system takes.

#include "Engine/Export/EventExporter.h"
#include "Engine/Support/AtomicFile.h"

#include "support/OtherUser.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FileModes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path.empty());
        m_umask = ::umask(022);
    }
    void TearDown() override { ::umask(m_umask); }

    std::string path(const std::string &name) const { return (folder / name).string(); }
    static mode_t modeOf(const std::string &path)
    {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    // A file of the given mode, made by this process.
    void make(const std::string &name, mode_t mode) const
    {
        const int fd = ::open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fchmod(fd, mode), 0);
        ::close(fd);
    }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator())); }

    ScratchFolder scratch{"file-modes"};
    const fs::path &folder = scratch.path;

private:
    mode_t m_umask = 022;
};

int writeNothing(int)
{
    return 0;
}

TEST_F(FileModes, ANewFileOrTheUsersOwnOne)
{
    AtomicFile::Options exact;
    exact.mode = 0600;
    exact.exactMode = true;
    struct Case {
        const char *name;
        std::optional<mode_t> before; // nothing: no file there
        AtomicFile::Options options;
        mode_t umask;
        mode_t after;
    };
    const Case cases[] = {
        {"new, umask 022", std::nullopt, {}, 022, 0644},
        {"new, umask 077", std::nullopt, {}, 077, 0600},
        {"own private file stays private", 0600, {}, 022, 0600},
        {"own group-readable file", 0640, {}, 077, 0640},
        {"own world-writable file", 0666, {}, 022, 0666},
        {"exact mode over a new name", std::nullopt, exact, 0, 0600},
        {"exact mode over an own shared file", 0644, exact, 022, 0600},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(path("target").c_str());
        if (c.before) make("target", *c.before);
        ::umask(c.umask);
        EXPECT_EQ(AtomicFile::replace(path("target"), writeNothing, c.options), 0);
        ::umask(022);
        EXPECT_EQ(modeOf(path("target")), c.after);
        EXPECT_EQ(entries(), 1u);
    }
}

// Another user's world-writable file in a folder both may write to: exporting over it must not
// hand the new file, now the user's, to everybody.
TEST_F(FileModes, AnotherUsersFileLendsTheNewFileNothing)
{
    if (const std::string reason = OtherUser::cannotSwitch(); !reason.empty()) GTEST_SKIP() << reason;
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    const std::string theirs = path("shared.csv"), private_ = path("private.csv");
    ASSERT_EQ(OtherUser::run([&] {
                  for (const auto &[file, mode] : {std::pair{theirs, 0666}, std::pair{private_, 0600}}) {
                      const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                      if (fd < 0 || ::fchmod(fd, mode_t(mode)) != 0) return 1;
                      ::close(fd);
                  }
                  return 0;
              }),
              0);
    ::umask(077);
    Exporter::replaceFile(theirs, "time\n");
    AtomicFile::Options exact;
    exact.mode = 0600;
    exact.exactMode = true;
    EXPECT_EQ(AtomicFile::replace(private_, writeNothing, exact), 0);
    ::umask(022);
    struct stat info;
    ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::geteuid()) << "the new file is the user's";
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "the umask's mode, not the old file's 0666";
    EXPECT_EQ(modeOf(private_), 0600u);
}

TEST_F(FileModes, AnyNameTheFileSystemTakesCanBeWritten)
{
    for (const size_t length : {size_t(1), size_t(NAME_MAX - 14), size_t(NAME_MAX)}) {
        SCOPED_TRACE(length);
        const std::string name(length, 'n');
        EXPECT_EQ(AtomicFile::replace(path(name), [](int fd) { return AtomicFile::writeAll(fd, "x"); }), 0);
        EXPECT_EQ(fs::file_size(path(name)), 1u);
        Exporter::exportEvents(Exporter::RecordList::of({}), Exporter::Format::json, path(name));
        EXPECT_EQ(fs::file_size(path(name)), 3u) << "[]\\n";
        fs::remove(path(name));
        EXPECT_EQ(entries(), 0u) << "no temporary file left";
    }
    // One byte more is the file system's refusal, not ours.
    EXPECT_EQ(AtomicFile::replace(path(std::string(NAME_MAX + 1, 'n')), writeNothing), ENAMETOOLONG);
}

} // namespace
