#pragma once

#include <string_view>

// The text after the last "/", trailing slashes ignored; "/" for a path of slashes only.
inline std::string_view lastPathComponent(std::string_view path)
{
    const size_t end = path.find_last_not_of('/');
    if (end == std::string_view::npos) return path.empty() ? path : std::string_view("/");
    const size_t slash = path.rfind('/', end);
    const size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
    return path.substr(begin, end + 1 - begin);
}
