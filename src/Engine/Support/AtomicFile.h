#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

// Replacing a file whole, so that a reader, a failed write or a crash finds either the old file
// or the complete new one, never a part.
namespace AtomicFile {

struct Options {
    // Less the umask; a file of the user's own that is replaced keeps its permission bits instead.
    mode_t mode = 0666;
    // The mode exactly, whatever the umask or the file replaced (a private file stays private).
    bool exactMode = false;
    // Runs once the new file is complete, just before it takes the name; false abandons the
    // replacement, which then fails with ECANCELED.
    std::function<bool()> beforeRename;
};

// `write` fills a new hidden file beside path (".qmxxxxxxxx.tmp") through its descriptor and
// returns 0 or an errno; the file is then synced, renamed over path, and the folder synced so the
// rename lasts. Returns 0 or the errno of the step that failed. The temporary file never stays
// behind, also when `write` throws (the exception goes on to the caller). Only a regular file is
// replaced: a folder at path fails with EISDIR and anything else (a named pipe, a device) with
// FileError::notRegularFile, before anything is written.
int replace(const std::string &path, const std::function<int(int fd)> &write, const Options &options = {});

// Writes every byte, going on after interrupted and partial writes. 0 or an errno.
int writeAll(int fd, std::string_view bytes);

} // namespace AtomicFile
