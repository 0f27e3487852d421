#include "Store/TrailFile.h"

#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TrailFile {

namespace {

constexpr size_t chunkSize = size_t(1) << 20;

// A whole file is held in memory, so one larger than the machine's memory cannot be loaded;
// refusing it up front beats an allocation that the kernel honours and then kills us for.
uint64_t memoryCeiling()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
    return uint64_t(pages) * uint64_t(pageSize);
}

// Bytes read into `into`, up to `size` or the end of the file; -1 with errno on failure.
ssize_t readSome(int fd, uint8_t *into, size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, into, std::min(size, chunkSize));
        if (n >= 0 || errno != EINTR) return n;
    }
}

Contents readOpen(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0) return {nullptr, errno};
    if (S_ISDIR(info.st_mode)) return {nullptr, EISDIR};
    // A named pipe or a device has no end to count on: an idle writer would hold the store on
    // "Reading …" for ever, and /dev/zero would fill the memory.
    if (!S_ISREG(info.st_mode)) return {nullptr, FileError::notRegularFile};
    if (uint64_t(info.st_size) > memoryCeiling()) return {nullptr, ENOMEM};
    // Read straight into the buffer the records will share: the file's one copy, never more
    // than the file held when it was opened, however it grows meanwhile.
    std::vector<uint8_t> bytes(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = readSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) return {nullptr, errno};
        if (n == 0) break; // shrank since it was opened
        done += size_t(n);
    }
    bytes.resize(done);
    return {std::make_shared<const std::vector<uint8_t>>(std::move(bytes)), 0};
}

} // namespace

Contents read(const std::string &path)
{
    // Non-blocking, so that opening a named pipe or a device returns at once, to be refused.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return {nullptr, errno};
    try {
        return readOpen(fd.get());
    } catch (const std::bad_alloc &) {
        return {nullptr, ENOMEM};
    } catch (const std::length_error &) {
        return {nullptr, ENOMEM};
    }
}

} // namespace TrailFile
