#include "Platform/Elevation.h"

#include "Engine/Support/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace Elevation {

namespace {

constexpr const char *defaultProgram = "/usr/bin/pkexec";
constexpr const char *shell = "/bin/sh";
constexpr int dismissedStatus = 126; // pkexec: the authorisation dialog was dismissed

std::mutex lock;
std::string overridden;

class Pipe {
public:
    Pipe()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category(), "Could not create a pipe");
        m_read = FileDescriptor(ends[0]);
        m_write = FileDescriptor(ends[1]);
    }
    int read() const { return m_read.get(); }
    int write() const { return m_write.get(); }
    void closeRead() { m_read.close(); }
    void closeWrite() { m_write.close(); }

private:
    FileDescriptor m_read;
    FileDescriptor m_write;
};

class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    FileActions(const FileActions &) = delete;
    FileActions &operator=(const FileActions &) = delete;
    posix_spawn_file_actions_t *get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// Reads both streams while the child runs, so a child that writes more than a pipe holds on
// either of them never stalls.
void drain(Pipe &out, Pipe &err, std::string &output, std::string &error)
{
    std::vector<char> chunk(65536);
    pollfd entries[2] = {{out.read(), POLLIN, 0}, {err.read(), POLLIN, 0}};
    std::string *targets[2] = {&output, &error};
    int open = 2;
    while (open > 0) {
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "Could not read the command's output");
        }
        for (int i = 0; i < 2; ++i) {
            if (entries[i].fd < 0 || entries[i].revents == 0) continue;
            const ssize_t n = ::read(entries[i].fd, chunk.data(), chunk.size());
            if (n > 0) {
                targets[i]->append(chunk.data(), static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                entries[i].fd = -1; // poll skips negative descriptors
                --open;
            }
        }
    }
    out.closeRead();
    err.closeRead();
}

int waitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

Result runThrough(const std::string &program, const std::string &command)
{
    std::vector<std::string> arguments;
    if (!program.empty()) arguments.push_back(program);
    arguments.insert(arguments.end(), {shell, "-c", command});
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    Pipe out;
    Pipe err;
    FileActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), out.write(), 1);
    ::posix_spawn_file_actions_adddup2(actions.get(), err.write(), 2);
    // A root child must hold nothing of ours: above all not our end of a capture's named pipe,
    // which would keep a helper writing into a pipe that nobody reads.
    ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);

    pid_t pid = 0;
    const int failure = ::posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), environ);
    if (failure != 0) throw std::system_error(failure, std::generic_category(), "Could not launch " + arguments[0]);
    out.closeWrite();
    err.closeWrite();

    Result result;
    try {
        drain(out, err, result.output, result.error);
    } catch (...) {
        out.closeRead();
        err.closeRead();
        waitForExit(pid);
        throw;
    }
    result.status = waitForExit(pid);
    result.dismissed = !program.empty() && result.status == dismissedStatus;
    return result;
}

Result run(const std::string &command, const std::string &)
{
    std::string program;
    {
        std::lock_guard guard(lock);
        program = overridden;
    }
    if (program.empty()) program = ::geteuid() == 0 ? std::string() : std::string(defaultProgram);
    return runThrough(program, command);
}

void setProgram(const std::string &program)
{
    std::lock_guard guard(lock);
    overridden = program;
}

} // namespace Elevation
