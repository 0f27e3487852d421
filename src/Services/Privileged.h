#pragma once

#include "Services/PrivilegedError.h"

#include <QFuture>

#include <cstdint>
#include <string>
#include <vector>

// The operations that need administrator rights. Each call asks the user once; none keeps state.
// Results arrive through the future; a failure is rethrown, unchanged, by QFuture::result():
// PrivilegedError, or std::system_error when the elevation program or a file operation fails.
namespace Privileged {

// Runs `command` as root once the user has authorised it, on a thread of its own that waits
// without a time-out, and yields the command's standard output untrimmed (UTF-8; invalid bytes
// become U+FFFD). A dismissed dialog is `cancelled`; any other failure is `failed` with the
// trimmed standard error. `prompt` is handed to the platform's dialog, which may not show it.
QFuture<std::string> run(const std::string &command, const std::string &prompt);

// Copies the system's trail files from /var/audit into a new private folder (mode 0700) in the
// user's temporary directory, gives them to the user and yields their paths in name order, which
// is time order. Empty when /var/audit is missing or holds no regular files. The folder stays
// until removeCopiedTrails(), which the application object's aboutToQuit calls once a copy was
// asked for: the trail screens show the copies' paths for as long as the application runs.
QFuture<std::vector<std::string>> copySystemTrails();

// Removes every copy folder made by this process so far, with all it holds.
void removeCopiedTrails();

// `text` in single quotes for the shell, each apostrophe inside written as '\''.
std::string shellQuoted(const std::string &text);

// The root command line that copies the trail files into `folder`, a private folder of user `uid`,
// and gives them to that user.
std::string systemTrailCopyCommand(const std::string &folder, uint32_t uid);

} // namespace Privileged
