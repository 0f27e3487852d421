#pragma once

#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// Exit status of a child; -1 when it crashed or did not exit normally, or did not end within
// `guardMs`, a guard against a hung test after which it is killed.
inline int waitForExit(pid_t pid, int guardMs)
{
    for (int waited = 0; waited < guardMs; waited += 10) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}
