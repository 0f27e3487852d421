#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The root capture helper mode of the executable. Started as a second copy of the program with
// "--auditpipe-helper", it copies the raw bytes of the audit pipe into the named pipe that the
// application reads, reports how it started in "helper.status" beside that pipe, and ends by
// itself once the application's process is gone or nobody reads the pipe any more.
namespace AuditPipeHelper {

struct Arguments {
    std::string fifoPath;
    uint32_t mask = 0;  // audit classes, for successes and failures alike
    int32_t appPid = 0; // 0 or less: no liveness check
};

// The helper's arguments when argv asks for helper mode (at least five entries, the switch
// second), nullopt otherwise.
std::optional<Arguments> parseArguments(int argc, const char *const *argv);

// Runs the helper and returns its exit status when argv asks for helper mode; otherwise does
// nothing and returns nullopt. Call it before anything else in main.
std::optional<int> runIfRequested(int argc, const char *const *argv);

// Where the helper reads from, and the area in which it trusts a capture folder: the per-user
// runtime directories (/run/user/UID), which nobody but their user and root can write into.
struct Places {
    std::string device = "/dev/auditpipe";
    std::string trustedPrefix = "/run/user/";
};

// The helper itself; returns the exit status: 0 application gone or pipe unread, 2 untrusted
// folder or not a named pipe (both must belong to the user who asked for the elevation:
// PKEXEC_UID, else the real user of process `appPid`), 3 no audit pipe, 4 named pipe not writable, 5 poll failed,
// 6 audit pipe ended or unreadable.
int run(const Arguments &arguments, const Places &places = {});

} // namespace AuditPipeHelper
