#include "Store/TrailFile.h"

#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TrailFile {

namespace {

constexpr size_t chunkSize = size_t(1) << 20;
// What one thread reads: a few per thread for a large file.
constexpr size_t sliceSize = size_t(8) << 20;

// A whole file is held in memory, so one larger than the machine's memory cannot be loaded;
// refusing it up front beats an allocation that the kernel honours and then kills us for.
uint64_t memoryCeiling()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
    return uint64_t(pages) * uint64_t(pageSize);
}

// Bytes read into `into` from `offset` on, up to `size` or the end of the file; -1 with errno on
// failure.
ssize_t readSome(int fd, uint8_t *into, size_t size, size_t offset)
{
    for (;;) {
        const ssize_t n = ::pread(fd, into, std::min(size, chunkSize), off_t(offset));
        if (n >= 0 || errno != EINTR) return n;
    }
}

struct Slice {
    size_t read = 0;
    int error = 0;
};

Contents readOpen(int fd, Parallel::Pool &pool)
{
    struct stat info;
    if (::fstat(fd, &info) != 0) return {nullptr, errno};
    if (S_ISDIR(info.st_mode)) return {nullptr, EISDIR};
    // A named pipe or a device has no end to count on: an idle writer would hold the store on
    // "Reading …" for ever, and /dev/zero would fill the memory.
    if (!S_ISREG(info.st_mode)) return {nullptr, FileError::notRegularFile};
    if (uint64_t(info.st_size) > memoryCeiling()) return {nullptr, ENOMEM};
    // Read straight into the buffer the records will share: the file's one copy, never more
    // than the file held when it was opened, however it grows meanwhile. The buffer is not
    // cleared first; its pages, huge ones, are made present side by side before its slices are
    // read side by side.
    Parallel::checkpoint(0, uint64_t(info.st_size));
    TrailBuffer bytes;
    bytes.resize(size_t(info.st_size));
    const size_t size = bytes.size();
    Memory::prefault(bytes.data(), size, pool);
    std::vector<Slice> slices((size + sliceSize - 1) / sliceSize);
    pool.forEach(slices.size(), [&](size_t i) {
        const size_t from = i * sliceSize, length = std::min(sliceSize, size - from);
        Slice &slice = slices[i];
        while (slice.read < length) {
            const ssize_t n = readSome(fd, bytes.data() + from + slice.read, length - slice.read, from + slice.read);
            if (n < 0) slice.error = errno;
            if (n <= 0) break;
            slice.read += size_t(n);
        }
    });
    // A slice that ended early found the end of a file that shrank since it was opened: the bytes
    // before it are the file.
    for (size_t i = 0; i < slices.size(); ++i) {
        if (slices[i].error) return {nullptr, slices[i].error};
        if (slices[i].read < std::min(sliceSize, size - i * sliceSize)) {
            bytes.resize(i * sliceSize + slices[i].read);
            break;
        }
    }
    return {std::make_shared<const TrailBuffer>(std::move(bytes)), 0};
}

} // namespace

Contents read(const std::string &path, Parallel::Pool &pool)
{
    // Non-blocking, so that opening a named pipe or a device returns at once, to be refused.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return {nullptr, errno};
    return readOpen(fd.get(), pool);
}

} // namespace TrailFile
