#pragma once

#include <string>
#include <system_error>

// The errors of the file helpers: an errno, or notRegularFile where a path names something other
// than the regular file it must be (a named pipe, a device, a socket).
namespace FileError {

constexpr int notRegularFile = -1;

// "Not a regular file", or the system's description of the errno.
inline std::string text(int error)
{
    return error == notRegularFile ? "Not a regular file" : std::generic_category().message(error);
}

} // namespace FileError
