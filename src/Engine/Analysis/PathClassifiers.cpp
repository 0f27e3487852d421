#include "Engine/Analysis/Detections.h"

#include <array>

namespace Detections {

namespace {

bool contains(std::string_view path, std::string_view part)
{
    return path.find(part) != std::string_view::npos;
}

template <size_t N>
bool endsWithAny(std::string_view path, const std::array<std::string_view, N> &suffixes)
{
    for (std::string_view s : suffixes)
        if (path.ends_with(s)) return true;
    return false;
}

template <size_t N>
bool containsAny(std::string_view path, const std::array<std::string_view, N> &parts)
{
    for (std::string_view p : parts)
        if (contains(path, p)) return true;
    return false;
}

// The last non-empty piece between slashes; empty when there is none.
std::string_view lastPiece(std::string_view path)
{
    size_t end = path.find_last_not_of('/');
    if (end == std::string_view::npos) return {};
    size_t slash = path.rfind('/', end);
    size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
    return path.substr(begin, end + 1 - begin);
}

} // namespace

std::optional<std::string> suspiciousLocation(std::string_view path)
{
    // /private/tmp and /tmp are one place on the machines these trails come from.
    if (path.starts_with("/private/")) path.remove_prefix(8);

    if (path.starts_with("/tmp/") || path.starts_with("/var/tmp/")) return "/tmp";
    if (path.starts_with("/Users/Shared/")) return "/Users/Shared";
    if (contains(path, "/Downloads/")) return "Downloads";
    if (path.starts_with("/Volumes/") && !contains(path, ".app/")) return "mounted volume";
    std::string_view last = lastPiece(path);
    if (last.size() >= 2 && last.front() == '.') return "hidden path";
    return std::nullopt;
}

std::optional<LogArtifact> logArtifact(std::string_view path)
{
    if (contains(path, "/var/audit/"))
        return LogArtifact{"T1070.002", "Deleting BSM trails destroys the very evidence this tool reads."};
    if (contains(path, "/var/log/"))
        return LogArtifact{"T1070.002", "Removing system logs is a common anti-forensics step."};
    if (path.ends_with("_history") || path.ends_with(".zsh_sessions"))
        return LogArtifact{"T1070.003", "Shell history removal hides interactive commands."};
    return std::nullopt;
}

std::optional<PersistenceLocation> persistenceLocation(std::string_view path)
{
    static constexpr std::array<std::string_view, 3> cronFolders = {"/etc/periodic/", "/var/at/tabs/",
                                                                    "/usr/lib/cron/tabs/"};
    static constexpr std::array<std::string_view, 9> shellStartup = {".zshrc",        ".zprofile",     ".zshenv",
                                                                     ".bash_profile", ".bashrc",       ".profile",
                                                                     "/etc/zshenv",   "/etc/zprofile", "/etc/profile"};

    if (contains(path, "/LaunchDaemons/"))
        return PersistenceLocation{Severity::high, "T1543.004", "Launch daemons run as root at boot."};
    if (contains(path, "/LaunchAgents/"))
        return PersistenceLocation{Severity::medium, "T1543.001", "Launch agents run at user login."};
    if (contains(path, "/StartupItems/"))
        return PersistenceLocation{Severity::high, "T1037.005", "Startup items run at boot."};
    if (containsAny(path, cronFolders))
        return PersistenceLocation{Severity::medium, "T1053.003", "Cron/periodic jobs provide scheduled execution."};
    if (path.ends_with("/etc/sudoers") || contains(path, "/etc/sudoers.d/"))
        return PersistenceLocation{Severity::high, "T1548.003", "sudoers changes can grant passwordless root."};
    if (contains(path, "/etc/pam.d/"))
        return PersistenceLocation{Severity::high, "T1556.003", "PAM modules can capture or bypass authentication."};
    if (contains(path, "/SecurityAgentPlugins/"))
        return PersistenceLocation{Severity::high, "T1547.002", "Authorization plugins run during login."};
    if (endsWithAny(path, shellStartup))
        return PersistenceLocation{Severity::medium, "T1546.004", "Shell start-up files execute on every new shell."};
    if (path.ends_with("com.apple.loginwindow.plist") && !contains(path, "/Preferences/ByHost/"))
        return PersistenceLocation{Severity::low, "T1037.002",
                                   "loginwindow preferences can hold LoginHook/LogoutHook scripts."};
    return std::nullopt;
}

std::optional<std::string> sensitiveData(std::string_view path)
{
    if (path.ends_with("TCC.db"))
        return "TCC.db stores privacy permissions; reading or altering it is uncommon outside tccd.";
    if (contains(path, "/Keychains/") && (path.ends_with(".keychain-db") || path.ends_with(".keychain")))
        return "Keychain files hold saved credentials.";
    if (path.ends_with("/etc/master.passwd") || contains(path, "/var/db/dslocal/nodes/Default/users/")
        || contains(path, "/var/db/shadow/"))
        return "Local account databases contain password hashes.";
    if (contains(path, "/Library/Cookies/") || path.ends_with("/Login Data")) return "Browser credential stores.";
    return std::nullopt;
}

} // namespace Detections
