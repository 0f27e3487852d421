#include "Engine/Support/DescriptorPath.h"

#include <unistd.h>

namespace DescriptorPath {

std::optional<std::string> of(int descriptor)
{
    if (descriptor < 0) return std::nullopt;
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    char buffer[1024];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    // readlink truncates silently; a full buffer may be a cut path, and a cut path must not pass a prefix test.
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

} // namespace DescriptorPath
