#include "Engine/Capture/AuditPipeHelper.h"

#include "Engine/Support/DescriptorPath.h"
#include "Engine/Support/FileDescriptor.h"
#include "Engine/Support/Numbers.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace AuditPipeHelper {

namespace {

// Control requests of the audit pipe, encoded as the BSD ioctl macros do: direction in the top
// bits, the argument's size in bits 16-28, the group letter in bits 8-15, the number below.
constexpr uint32_t copyIn = 0x80000000u;  // the argument goes to the device
constexpr uint32_t copyOut = 0x40000000u; // the device fills in the argument

constexpr uint32_t request(uint32_t direction, uint32_t number, uint32_t argumentSize)
{
    return direction | ((argumentSize & 0x1fffu) << 16) | (uint32_t('A') << 8) | number;
}

struct ClassMask {
    uint32_t success;
    uint32_t failure;
};

constexpr uint32_t setPreselectMode = request(copyIn, 15, sizeof(int32_t));
constexpr uint32_t setPreselectFlags = request(copyIn, 7, sizeof(ClassMask));
constexpr uint32_t setPreselectNonAttributableFlags = request(copyIn, 9, sizeof(ClassMask));
constexpr uint32_t getQueueLimitMax = request(copyOut, 5, sizeof(uint32_t));
constexpr uint32_t setQueueLimit = request(copyIn, 3, sizeof(uint32_t));
static_assert(setPreselectMode == 0x8004410Fu && setPreselectFlags == 0x80084107u
              && setPreselectNonAttributableFlags == 0x80084109u && getQueueLimitMax == 0x40044105u
              && setQueueLimit == 0x80044103u);

constexpr int32_t preselectModeLocal = 2; // the pipe's own masks, not the system-wide flags

constexpr const char *helperSwitch = "--auditpipe-helper";
constexpr const char *statusFileName = "helper.status";
constexpr size_t bufferSize = 262144;
constexpr int pollMilliseconds = 1000;

std::string removingAll(std::string_view text, std::string_view pattern)
{
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(pattern); at != std::string_view::npos; at = text.find(pattern, from)) {
        out.append(text.substr(from, at - from));
        from = at + pattern.size();
    }
    out.append(text.substr(from));
    return out;
}

using Numbers::parseInteger;

uint32_t parseMask(const char *text)
{
    const std::string digits = removingAll(text, "0x");
    return static_cast<uint32_t>(parseInteger(digits, 16, false, 0, UINT32_MAX).value_or(0));
}

int32_t parsePid(const char *text)
{
    return Numbers::parsePid(text).value_or(0);
}

// Folder and last component of the named pipe's path.
std::pair<std::string, std::string> splitPath(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The user who asked for the elevation: pkexec names them in PKEXEC_UID; without it, the real
// user of the application process the helper was started for. Nobody when neither is known.
std::optional<uid_t> requestingUser(int32_t appPid)
{
    if (const char *named = std::getenv("PKEXEC_UID")) {
        const std::optional<int64_t> uid = parseInteger(named, 10, false, 0, UINT32_MAX - 1);
        if (!uid) return std::nullopt;
        return static_cast<uid_t>(*uid);
    }
    if (appPid <= 0) return std::nullopt;
    std::ifstream status("/proc/" + std::to_string(appPid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (!line.starts_with("Uid:")) continue;
        std::istringstream fields(line.substr(4));
        int64_t real = -1;
        if (fields >> real && real >= 0 && real < int64_t(UINT32_MAX)) return static_cast<uid_t>(real);
        return std::nullopt;
    }
    return std::nullopt;
}

// A folder that root writes into must be one that nobody but its owner, the ordinary user who
// asked for the capture, can change, found at its real path in the trusted area.
bool isTrustedFolder(int folder, uid_t user, const std::string &trustedPrefix)
{
    struct stat info;
    if (::fstat(folder, &info) != 0) return false;
    if (info.st_uid == 0 || info.st_uid != user) return false;
    if ((info.st_mode & 022) != 0) return false;
    const std::optional<std::string> real = DescriptorPath::of(folder);
    return real && real->starts_with(trustedPrefix);
}

// First writer wins: an existing status file is never replaced.
void report(const std::string &status, int folder)
{
    const FileDescriptor file(
        ::openat(folder, statusFileName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file.valid()) return;
    // The umask handed down from the user's session may hide the line from that very user.
    ::fchmod(file.get(), 0644);
    const std::string line = status + "\n";
    if (::write(file.get(), line.data(), line.size()) < 0) return;
}

// Devices that know none of these requests refuse them; the pipe then keeps its defaults.
void configure(int device, uint32_t mask)
{
    int32_t mode = preselectModeLocal;
    ::ioctl(device, setPreselectMode, &mode);
    ClassMask masks = {mask, mask};
    ::ioctl(device, setPreselectFlags, &masks);
    ::ioctl(device, setPreselectNonAttributableFlags, &masks);
    uint32_t limit = 0;
    if (::ioctl(device, getQueueLimitMax, &limit) == 0 && limit != 0) ::ioctl(device, setQueueLimit, &limit);
}

int copy(int device, int fifo, int32_t appPid)
{
    std::vector<uint8_t> buffer(bufferSize);
    pollfd entry = {device, POLLIN, 0};
    for (;;) {
        if (appPid > 0 && ::kill(appPid, 0) != 0 && errno == ESRCH) return 0;
        const int ready = ::poll(&entry, 1, pollMilliseconds);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 5;
        }
        if (ready == 0) continue;
        const ssize_t count = ::read(device, buffer.data(), buffer.size());
        if (count == 0) return 6;
        if (count < 0) {
            if (errno == EINTR) continue;
            return 6;
        }
        // A full pipe blocks here, holding back the audit pipe, which queues meanwhile.
        for (size_t done = 0; done < static_cast<size_t>(count);) {
            const ssize_t written = ::write(fifo, buffer.data() + done, static_cast<size_t>(count) - done);
            if (written <= 0) return 0;
            done += static_cast<size_t>(written);
        }
    }
}

} // namespace

std::optional<Arguments> parseArguments(int argc, const char *const *argv)
{
    if (argc < 5 || argv == nullptr || std::strcmp(argv[1], helperSwitch) != 0) return std::nullopt;
    return Arguments{argv[2], parseMask(argv[3]), parsePid(argv[4])};
}

std::optional<int> runIfRequested(int argc, const char *const *argv)
{
    const std::optional<Arguments> arguments = parseArguments(argc, argv);
    if (!arguments) return std::nullopt;
    return run(*arguments);
}

int run(const Arguments &arguments, const Places &places)
{
    // Without a reader a write must fail with EPIPE rather than end the helper unseen.
    std::signal(SIGPIPE, SIG_IGN);

    const auto [folderPath, fifoName] = splitPath(arguments.fifoPath);
    const std::optional<uid_t> user = requestingUser(arguments.appPid);
    if (!user) return 2;
    const FileDescriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.valid() || !isTrustedFolder(folder.get(), *user, places.trustedPrefix)) return 2;

    const FileDescriptor device(::open(places.device.c_str(), O_RDONLY | O_CLOEXEC));
    if (!device.valid()) {
        const int error = errno;
        report(std::string("error: cannot open /dev/auditpipe: ") + std::strerror(error), folder.get());
        return 3;
    }
    configure(device.get(), arguments.mask);

    // The application holds its end open before it starts the helper. Were it gone meanwhile, a
    // blocking open would wait for a reader for ever, as root; this one fails at once instead.
    const FileDescriptor fifo(::openat(folder.get(), fifoName.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fifo.valid()) {
        const int error = errno;
        report(std::string("error: cannot open FIFO: ") + std::strerror(error), folder.get());
        return 4;
    }
    struct stat info;
    if (::fstat(fifo.get(), &info) != 0 || !S_ISFIFO(info.st_mode)) {
        report("error: " + arguments.fifoPath + " is not a FIFO", folder.get());
        return 2;
    }
    if (info.st_uid != *user) {
        report("error: " + arguments.fifoPath + " is not the user's FIFO", folder.get());
        return 2;
    }
    // Writes block while the pipe is full, which holds back the audit pipe.
    if (const int flags = ::fcntl(fifo.get(), F_GETFL); flags >= 0) ::fcntl(fifo.get(), F_SETFL, flags & ~O_NONBLOCK);

    report("pid " + std::to_string(::getpid()), folder.get());
    return copy(device.get(), fifo.get(), arguments.appPid);
}

} // namespace AuditPipeHelper
