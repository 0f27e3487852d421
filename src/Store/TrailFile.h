#pragma once

#include "Engine/Record/TrailBytes.h"
#include "Engine/Support/Parallel.h"

#include <string>

// A trail file's whole content, read once into the buffer that the records decoded from it share.
namespace TrailFile {

struct Contents {
    TrailBytes bytes; // set when error is 0
    int error = 0;    // the errno of the failure, or FileError::notRegularFile
};

// Reads `path` (a native path), a regular file, up to the size it had when opened, so a trail
// still being written gives a consistent prefix. A folder fails with EISDIR, any other file that
// is not regular with FileError::notRegularFile (at once, without waiting for a pipe's writer), and a file
// larger than the machine's memory with ENOMEM before it is read. A failed allocation throws, and
// so does the thread's interruption at its checkpoints. Slices of a large file are read side by
// side on the pool's threads. Blocks on the disk: call it off the main thread.
Contents read(const std::string &path, Parallel::Pool &pool);

} // namespace TrailFile
