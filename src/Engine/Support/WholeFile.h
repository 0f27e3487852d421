#pragma once

#include <cstddef>
#include <string>

// Reading a small file (settings, tables, a history) whole.
namespace WholeFile {

enum class Status { read, absent, notRegular, tooLarge, failed };

struct Contents {
    Status status = Status::failed;
    int error = 0;     // the errno of a failed open or read
    std::string bytes; // with status read
};

// Reads a regular file of at most `limit` bytes. Never blocks on a named pipe or device put in
// its place (notRegular), and never holds more than `limit` bytes of one that grows meanwhile.
Contents read(const std::string &path, size_t limit);

} // namespace WholeFile
