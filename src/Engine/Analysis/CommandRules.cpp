#include "Engine/Analysis/Detections.h"

#include <initializer_list>

// Command lines can be tens of kilobytes, so every test here is a plain substring search or a
// bounded scan: linear in the command line, no backtracking, no recursion.

namespace Detections {

namespace {

using Words = std::initializer_list<std::string_view>;

bool has(std::string_view line, std::string_view part)
{
    return line.find(part) != std::string_view::npos;
}

bool hasAny(std::string_view line, Words parts)
{
    for (std::string_view p : parts)
        if (has(line, p)) return true;
    return false;
}

bool isAny(std::string_view exe, Words names)
{
    for (std::string_view n : names)
        if (exe == n) return true;
    return false;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the run of 1 to 3 digits at `at` that is followed by `next` (0: by anything),
// or 0 when there is none. A longer run never matches, as the group cannot end inside it, so
// at most four digits are ever looked at.
size_t digitGroup(std::string_view s, size_t at, char next)
{
    size_t n = 0;
    while (n < 4 && at + n < s.size() && isDigit(s[at + n])) ++n;
    if (n == 0) return 0;
    if (next == 0) return 1; // the last group needs only one digit; what follows is not looked at
    if (n > 3 || at + n >= s.size() || s[at + n] != next) return 0;
    return n;
}

// Whether the line holds https?://\d{1,3}(\.\d{1,3}){3} anywhere: a URL to a bare IPv4 host.
bool hasBareIPURL(std::string_view line)
{
    for (size_t at = line.find("http"); at != std::string_view::npos; at = line.find("http", at + 1)) {
        size_t p = at + 4;
        if (p < line.size() && line[p] == 's') ++p;
        if (line.substr(p, 3) != "://") continue;
        p += 3;
        bool ok = true;
        for (int group = 0; group < 3 && ok; ++group) {
            size_t n = digitGroup(line, p, '.');
            ok = n > 0;
            p += n + 1;
        }
        if (ok && digitGroup(line, p, 0) > 0) return true;
    }
    return false;
}

struct RuleRow {
    const char *name;
    const char *category;
    Severity severity;
    const char *technique;
    const char *explanation;
    bool (*match)(std::string_view exe, std::string_view line);
};

const RuleRow rows[] = {
    {"Encoded payload decoded", "Defense Evasion", Severity::high, "T1140",
     "Decoding base64 inline is a common way to hide commands from casual inspection.",
     [](std::string_view, std::string_view line) {
         return hasAny(line, {"base64 -d", "base64 --decode"});
     }},
    {"Download piped to shell", "Execution", Severity::high, "T1059.004",
     "Piping remote content straight into a shell executes it without leaving a file.",
     [](std::string_view, std::string_view line) {
         // "|zsh" is deliberately not among them.
         return hasAny(line, {"| sh", "|sh", "| bash", "|bash", "| zsh"});
     }},
    {"Tool transfer to unusual location", "Command and Control", Severity::medium, "T1105",
     "curl/wget writing into temporary, shared or hidden paths, or fetching from a bare IP, is typical of payload "
     "staging.",
     [](std::string_view exe, std::string_view line) {
         return isAny(exe, {"curl", "wget"})
                && (hasBareIPURL(line) || hasAny(line, {" /tmp/", "/private/tmp/", "/users/shared/", "/."}));
     }},
    {"Fake password prompt", "Credential Access", Severity::high, "T1056.002",
     "osascript dialogs asking for a password are a hallmark of macOS infostealers.",
     [](std::string_view exe, std::string_view line) {
         return exe == "osascript" && has(line, "dialog") && hasAny(line, {"password", "hidden answer"});
     }},
    {"AppleScript one-liner", "Execution", Severity::low, "T1059.002",
     "Inline AppleScript is often used to automate UI or evade command-line inspection.",
     [](std::string_view exe, std::string_view line) {
         return exe == "osascript" && has(line, " -e") && !(has(line, "dialog") && has(line, "password"));
     }},
    {"Keychain credential access", "Credential Access", Severity::high, "T1555.001",
     "`security` sub-commands that dump or print secrets expose saved passwords.",
     [](std::string_view exe, std::string_view line) {
         return exe == "security"
                && hasAny(line, {"find-generic-password", "find-internet-password", "dump-keychain", "export",
                                 "find-certificate -p"});
     }},
    {"Gatekeeper bypass", "Defense Evasion", Severity::medium, "T1553.001",
     "Removing the quarantine attribute or disabling assessment skips Gatekeeper checks.",
     [](std::string_view exe, std::string_view line) {
         return (exe == "xattr" && hasAny(line, {"com.apple.quarantine", " -c"}))
                || (exe == "spctl" && hasAny(line, {"--master-disable", "--global-disable", "--add"}));
     }},
    {"SIP / security posture query", "Discovery", Severity::low, "T1082",
     "Checking System Integrity Protection status is common reconnaissance.",
     [](std::string_view exe, std::string_view line) { return exe == "csrutil" && !has(line, "disable"); }},
    {"SIP disable attempt", "Defense Evasion", Severity::critical, "T1562.001",
     "Disabling SIP removes core OS protections.",
     [](std::string_view exe, std::string_view line) { return exe == "csrutil" && has(line, "disable"); }},
    {"launchd job loaded", "Persistence", Severity::medium, "T1543",
     "Loading launchd jobs from the command line is a common way to install persistence.",
     [](std::string_view exe, std::string_view line) {
         return exe == "launchctl" && hasAny(line, {" load", " bootstrap", " submit", " enable"});
     }},
    {"Account manipulation command", "Persistence", Severity::high, "T1136.001",
     "Creating users or adding them to admin from the shell is unusual on a managed Mac.",
     [](std::string_view exe, std::string_view line) {
         return (exe == "dscl" && hasAny(line, {"-create", "-append", "-passwd"}))
                || (exe == "sysadminctl" && hasAny(line, {"-adduser", "-resetpasswordfor"}))
                || (exe == "dseditgroup" && has(line, "admin"));
     }},
    {"User / host discovery", "Discovery", Severity::info, "T1033", "Common first commands after gaining a shell.",
     [](std::string_view exe, std::string_view) {
         return isAny(exe,
                      {"whoami", "id", "sw_vers", "uname", "system_profiler", "hostname", "ifconfig", "dscacheutil"});
     }},
    {"Privacy database reset", "Defense Evasion", Severity::medium, "T1562",
     "tccutil reset can be used to re-prompt or clear privacy consent.",
     [](std::string_view exe, std::string_view line) { return exe == "tccutil" && has(line, "reset"); }},
    {"Log erasure", "Defense Evasion", Severity::high, "T1070.002",
     "Erasing unified logs or audit trails destroys evidence.",
     [](std::string_view exe, std::string_view line) {
         return (exe == "log" && has(line, "erase")) || (exe == "rm" && hasAny(line, {"/var/log", "/var/audit"}))
                || (exe == "audit" && has(line, "-t"));
     }},
    {"History tampering", "Defense Evasion", Severity::medium, "T1070.003",
     "Clearing or disabling shell history hides activity.",
     [](std::string_view, std::string_view line) {
         return hasAny(line, {"history -c", "unset histfile", "histsize=0", "rm ~/.zsh_history"});
     }},
    {"Reverse shell pattern", "Execution", Severity::critical, "T1059",
     "netcat with -e, /dev/tcp redirection or socket one-liners open interactive remote shells.",
     [](std::string_view exe, std::string_view line) {
         if (isAny(exe, {"nc", "ncat", "netcat"}) && hasAny(line, {" -e", " -c"})) return true;
         if (has(line, "/dev/tcp/")) return true;
         bool interpreter = exe.starts_with("python") || isAny(exe, {"perl", "ruby"});
         return interpreter && has(line, "socket") && has(line, " -c");
     }},
    {"Cron modification", "Persistence", Severity::medium, "T1053.003", "crontab entries provide scheduled execution.",
     [](std::string_view exe, std::string_view line) { return exe == "crontab" && !has(line, " -l"); }},
    {"Login hook", "Persistence", Severity::high, "T1037.002", "LoginHook scripts run as root at every login.",
     [](std::string_view exe, std::string_view line) { return exe == "defaults" && has(line, "loginhook"); }},
    {"Firewall disabled", "Defense Evasion", Severity::high, "T1562.004",
     "Turning off pf or the application firewall weakens network defences.",
     [](std::string_view exe, std::string_view line) {
         return (exe == "pfctl" && has(line, " -d")) || (exe == "socketfilterfw" && has(line, "off"));
     }},
    {"Remote access enabled", "Lateral Movement", Severity::medium, "T1021.004",
     "Enabling Remote Login or Screen Sharing opens the Mac to network access.",
     [](std::string_view exe, std::string_view line) {
         return (exe == "systemsetup" && has(line, "setremotelogin on"))
                || (exe == "kickstart" && has(line, "-activate"));
     }},
    {"Kernel extension load", "Persistence", Severity::medium, "T1547.006",
     "Loading kernel extensions grants kernel-level code execution.",
     [](std::string_view exe, std::string_view) {
         return isAny(exe, {"kextload", "kmutil"});
     }},
    {"Screen capture", "Collection", Severity::low, "T1113",
     "Command-line screen capture can be used to collect on-screen data.",
     [](std::string_view exe, std::string_view) { return exe == "screencapture"; }},
};

} // namespace

const std::vector<CommandRule> &commandRules()
{
    static const std::vector<CommandRule> rules = [] {
        std::vector<CommandRule> out;
        out.reserve(std::size(rows));
        for (const RuleRow &row : rows)
            out.push_back({row.name, row.category, row.severity, row.technique, row.explanation, row.match});
        return out;
    }();
    return rules;
}

} // namespace Detections
