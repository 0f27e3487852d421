#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A new folder in the temporary folder, removed with all it holds when the scope ends.
struct ScratchFolder {
    explicit ScratchFolder(const char *prefix)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchFolder()
    {
        if (!path.empty()) std::filesystem::remove_all(path);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    std::filesystem::path path; // empty when it could not be made
};
