#include "Engine/Support/AtomicFile.h"

#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/FileError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A short name of its own beside path, whatever path's name: a target of NAME_MAX bytes leaves
// no room to add to its name.
std::string temporaryPathBeside(const std::string &path)
{
    static thread_local std::mt19937 random{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof name, ".qm%08x.tmp", unsigned(random()));
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + name;
}

} // namespace

int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        bytes.remove_prefix(size_t(written));
    }
    return 0;
}

int replace(const std::string &path, const std::function<int(int fd)> &write, const Options &options)
{
    // A named pipe or device there is not to be written into or renamed over: it may not even
    // be the user's (/dev/null, as root).
    mode_t mode = options.mode;
    bool exactMode = options.exactMode;
    struct stat target;
    if (::stat(path.c_str(), &target) == 0) {
        if (S_ISDIR(target.st_mode)) return EISDIR;
        if (!S_ISREG(target.st_mode)) return FileError::notRegularFile;
        // Who may read a file is its owner's choice: the user's own private file stays private.
        // Another user's file (a world-writable one in a shared folder) lends the new file
        // nothing: it gets the mode the umask gives.
        if (!exactMode && target.st_uid == ::geteuid()) {
            mode = target.st_mode & 0777;
            exactMode = true;
        }
    }

    std::string temporary;
    FileDescriptor file;
    for (int attempt = 0; attempt < 8 && !file.valid(); ++attempt) {
        temporary = temporaryPathBeside(path);
        file = FileDescriptor(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!file.valid() && errno != EEXIST) break;
    }
    if (!file.valid()) return errno;

    const auto abandon = [&](int error) {
        file.close();
        ::unlink(temporary.c_str());
        return error;
    };
    int error = 0;
    try {
        error = write(file.get());
    } catch (...) {
        abandon(0);
        throw;
    }
    if (error != 0) return abandon(error);
    if (exactMode && ::fchmod(file.get(), mode) != 0) return abandon(errno);
    if (::fsync(file.get()) != 0) return abandon(errno);
    if (file.close() != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return error;
    }
    if (options.beforeRename && !options.beforeRename()) return abandon(ECANCELED);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return abandon(errno);

    // Makes the rename itself durable; a failure here leaves a good file either way.
    const FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) ::fsync(folder.get());
    return 0;
}

} // namespace AtomicFile
