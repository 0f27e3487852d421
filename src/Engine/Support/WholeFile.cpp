#include "Engine/Support/WholeFile.h"

#include "Engine/Support/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace WholeFile {

Contents read(const std::string &path, size_t limit)
{
    Contents contents;
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        contents.error = errno;
        struct stat info;
        if (contents.error == ENOENT || contents.error == ENOTDIR) contents.status = Status::absent;
        else if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) contents.status = Status::notRegular;
        return contents;
    }
    struct stat info;
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        contents.status = Status::notRegular;
        return contents;
    }
    if (uint64_t(info.st_size) > limit) {
        contents.status = Status::tooLarge;
        return contents;
    }
    contents.bytes.reserve(size_t(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            contents.error = errno;
            contents.bytes.clear();
            return contents;
        }
        if (n == 0) break;
        if (contents.bytes.size() + size_t(n) > limit) {
            contents.status = Status::tooLarge;
            contents.bytes.clear();
            return contents;
        }
        contents.bytes.append(buffer, size_t(n));
    }
    contents.status = Status::read;
    return contents;
}

} // namespace WholeFile
