#pragma once

#include <optional>
#include <string>

namespace DescriptorPath {

// The real path of what an open descriptor refers to, as the kernel reports it in
// /proc/self/fd; nullopt when it cannot be had or does not fit in 1024 bytes.
std::optional<std::string> of(int descriptor);

} // namespace DescriptorPath
