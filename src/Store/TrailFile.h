#pragma once

#include "Engine/Record/RawBytes.h"

#include <string>

// A trail file's whole content, read once into the buffer that the records decoded from it share.
namespace TrailFile {

struct Contents {
    RawBytes::Buffer bytes; // set when error is 0
    int error = 0;          // the errno of the failure
};

// Reads `path` (a native path) to its end. A regular file is read up to the size it had when
// opened, so a trail still being written gives a consistent prefix; pipes are read until their
// writer closes them. A folder fails with EISDIR, and anything that would not fit in the machine's
// memory fails with ENOMEM before it is read. Blocks: call it off the main thread.
Contents read(const std::string &path);

} // namespace TrailFile
