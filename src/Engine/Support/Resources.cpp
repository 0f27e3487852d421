#include "Engine/Support/Resources.h"

#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace Resources {

namespace {

std::mutex lock;
std::string overridden;

bool isDirectory(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string executableFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

std::string directory()
{
    {
        std::lock_guard guard(lock);
        if (!overridden.empty()) return overridden;
    }
    static const std::string found = [] {
        const std::string folder = executableFolder();
        for (const char *relative : {"/resources", "/../share/quillmarsh/resources"}) {
            if (!folder.empty() && isDirectory(folder + relative)) return folder + relative;
        }
        return std::string();
    }();
    return found;
}

std::string path(const std::string &name)
{
    const std::string folder = directory();
    if (folder.empty()) return {};
    const std::string candidate = folder + "/" + name;
    struct stat info;
    return ::stat(candidate.c_str(), &info) == 0 ? candidate : std::string();
}

void setDirectory(const std::string &folder)
{
    std::lock_guard guard(lock);
    overridden = folder;
}

} // namespace Resources
