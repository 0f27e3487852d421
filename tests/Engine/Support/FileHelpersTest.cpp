#include "Engine/Support/AtomicFile.h"
#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/FileError.h"
#include "Engine/Support/WholeFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FileHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "file-helpers-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string path(const char *name) const { return (folder / name).string(); }
    void write(const char *name, const std::string &text) const { std::ofstream(path(name), std::ios::binary) << text; }
    std::string read(const char *name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator())); }

    fs::path folder;
};

TEST_F(FileHelpers, AReplacementLandsWholeOrNotAtAll)
{
    write("target", "old");
    const auto text = [](std::string_view bytes) { return [bytes](int fd) { return AtomicFile::writeAll(fd, bytes); }; };

    EXPECT_EQ(AtomicFile::replace(path("target"), text("new contents")), 0);
    EXPECT_EQ(read("target"), "new contents");
    EXPECT_EQ(entries(), 1u);

    // A failed write, a throwing writer and a refusal before the rename each keep the old file
    // and leave no temporary one behind.
    EXPECT_EQ(AtomicFile::replace(path("target"), [](int) { return ENOSPC; }), ENOSPC);
    EXPECT_THROW(AtomicFile::replace(path("target"), [](int) -> int { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    AtomicFile::Options refuse;
    refuse.beforeRename = [] { return false; };
    EXPECT_EQ(AtomicFile::replace(path("target"), text("never"), refuse), ECANCELED);
    EXPECT_EQ(read("target"), "new contents");
    EXPECT_EQ(entries(), 1u);

    // A folder that is not there fails with the system's reason.
    EXPECT_EQ(AtomicFile::replace(path("missing/target"), text("x")), ENOENT);
}

// The new file is made in the target's own folder: a rename from anywhere else fails across a
// mount point, and a shared temporary folder is not the user's alone.
TEST_F(FileHelpers, TheNewFileIsMadeBesideTheTarget)
{
    std::vector<std::string> during;
    const auto look = [&] {
        for (const auto &entry : fs::directory_iterator(folder)) during.push_back(entry.path().filename().string());
    };
    EXPECT_EQ(AtomicFile::replace(path("target"),
                                  [&](int fd) {
                                      look();
                                      return AtomicFile::writeAll(fd, "new");
                                  }),
              0);
    ASSERT_EQ(during.size(), 1u) << "no file beside the target while it was written";
    EXPECT_TRUE(during.front().starts_with(".qm") && during.front().ends_with(".tmp")) << during.front();
    EXPECT_EQ(read("target"), "new");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileHelpers, AnExactModeIgnoresTheUmask)
{
    const mode_t saved = ::umask(0077);
    AtomicFile::Options shared;
    shared.mode = 0644;
    shared.exactMode = true;
    const int result = AtomicFile::replace(
        path("shared"), [](int) { return 0; }, shared);
    const int plain = AtomicFile::replace(path("plain"), [](int) { return 0; });
    ::umask(saved);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(plain, 0);
    struct stat info;
    ASSERT_EQ(::stat(path("shared").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    ASSERT_EQ(::stat(path("plain").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "without exactMode the umask applies";
}

// A replaced file keeps who may read it, unless the caller fixes the mode; only a regular file is
// ever replaced, and what else stands there stays as it was.
TEST_F(FileHelpers, AReplacementKeepsThePermissionBitsAndOnlyReplacesRegularFiles)
{
    const auto empty = [](int) { return 0; };
    const mode_t saved = ::umask(022);
    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0666)}) {
        write("private", "old");
        ASSERT_EQ(::chmod(path("private").c_str(), mode), 0);
        EXPECT_EQ(AtomicFile::replace(path("private"), empty), 0);
        struct stat info;
        ASSERT_EQ(::stat(path("private").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
    AtomicFile::Options fixed;
    fixed.mode = 0600;
    fixed.exactMode = true;
    ASSERT_EQ(::chmod(path("private").c_str(), 0644), 0);
    EXPECT_EQ(AtomicFile::replace(path("private"), empty, fixed), 0);
    struct stat info;
    ASSERT_EQ(::stat(path("private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ::umask(saved);

    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("folder"));
    EXPECT_EQ(AtomicFile::replace(path("fifo"), empty), FileError::notRegularFile);
    EXPECT_EQ(AtomicFile::replace(path("folder"), empty), EISDIR);
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_EQ(entries(), 3u) << "no temporary file left";
    EXPECT_EQ(FileError::text(FileError::notRegularFile), "Not a regular file");
    EXPECT_EQ(FileError::text(ENOENT), "No such file or directory");
}

TEST_F(FileHelpers, WholeFilesAreReadOnlyWhenRegularAndSmallEnough)
{
    write("small", "12345");
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("folder"));
    struct Case {
        const char *name;
        size_t limit;
        WholeFile::Status status;
        const char *bytes;
    };
    const Case cases[] = {
        {"small", 5, WholeFile::Status::read, "12345"},     {"small", 4, WholeFile::Status::tooLarge, ""},
        {"absent", 100, WholeFile::Status::absent, ""},     {"small/below", 100, WholeFile::Status::absent, ""},
        {"fifo", 100, WholeFile::Status::notRegular, ""}, // without a writer: must not block
        {"folder", 100, WholeFile::Status::notRegular, ""},
    };
    for (const Case &c : cases) {
        const WholeFile::Contents contents = WholeFile::read(path(c.name), c.limit);
        EXPECT_EQ(contents.status, c.status) << c.name;
        EXPECT_EQ(contents.bytes, c.bytes) << c.name;
    }
}

TEST(FileDescriptor, MovesHandOverOwnership)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileDescriptor first(ends[0]);
    FileDescriptor second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), ends[0]);
    {
        FileDescriptor third;
        third = std::move(second);
        EXPECT_FALSE(second.valid());
    }
    // Gone with the last owner, exactly once.
    EXPECT_EQ(::fcntl(ends[0], F_GETFD), -1);
    EXPECT_EQ(first.close(), 0);
    ::close(ends[1]);
}

} // namespace
