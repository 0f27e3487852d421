#pragma once

// Part of a test run the way a second local account would run it: a forked child switches to a
// user and group id that no account uses, then does the attacker's part. Only root can switch, so
// tests skip with cannotSwitch() as the reason otherwise; CI runs as root.

#include "support/ChildProcess.h"

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace OtherUser {

// Exit status of a child that could not become the other user.
constexpr int couldNotSwitch = 125;

// An id that neither an account nor a group has.
inline uid_t unusedID()
{
    for (uid_t id = 61000; id < 65000; ++id)
        if (!::getpwuid(id) && !::getgrgid(gid_t(id))) return id;
    return 64999;
}

// Why this process cannot run a child as another user; empty when it can.
inline std::string cannotSwitch()
{
    return ::geteuid() == 0 ? std::string() : "only root can start a process as another user";
}

// Forks a child that becomes the unused user (no supplementary groups) and exits with what body
// returns (0-255); the child's pid. body runs in a copy of this process with one thread: keep it
// to system calls.
inline pid_t start(const std::function<int()> &body, uid_t id = unusedID())
{
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(id, id, id) != 0 || ::setresuid(id, id, id) != 0
        || ::geteuid() != id)
        ::_exit(couldNotSwitch);
    ::_exit(body());
}

// Runs body as the other user and waits for it: its exit status, -1 when it crashed or hung.
inline int run(const std::function<int()> &body, int guardMs = 20000)
{
    return waitForExit(start(body), guardMs);
}

} // namespace OtherUser
