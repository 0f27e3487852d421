// Every condition of every detection rule, one at a time: records that meet all of a rule's
// conditions but one, and must not raise it. And every alternative of the command rules' pattern
// lists on its own, so that none of them can be lost unnoticed.

#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"

#include "support/RecordValue.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using TestRecords::numbered;
using TestRecords::RecordValue;

constexpr uint16_t userAuthentication = 45023, openSSHLogin = 32800, localLogin = 6152, sudo = 45028, createUser = 6207,
                   auditon = 138, settimeofday = 37, taskForPid = 43048, chmodEvent = 10, execve = 23, unlinkEvent = 6,
                   openRead = 72, openWrite = 76, connectEvent = 32;

RecordValue at(uint16_t event, double dt, const char *address = "203.0.113.7")
{
    return std::move(RecordValue(event, 1700000000 + dt).subject(501, 501, 300, address, 4242));
}

std::vector<AuditRecord> burstThen(std::initializer_list<RecordValue> tail)
{
    std::vector<AuditRecord> records = numbered({at(userAuthentication, 0).failed(), at(userAuthentication, 1).failed(),
                                                 at(userAuthentication, 2).failed(), at(userAuthentication, 3).failed(),
                                                 at(userAuthentication, 4).failed()});
    for (const RecordValue &value : tail) {
        records.push_back(value);
        records.back().id = int64_t(records.size());
    }
    return records;
}

bool raises(const std::vector<AuditRecord> &records, const std::string &rule)
{
    const std::vector<Finding> findings = Detections::run(records);
    return std::any_of(findings.begin(), findings.end(), [&](const Finding &f) { return f.rule == rule; });
}

TEST(DetectionNegative, EachConditionOfTheFixedRules)
{
    UserResolver::shared().seed(501, "orvik");
    struct Case {
        const char *condition;
        std::vector<AuditRecord> records;
        const char *rule; // must not be raised
    };
    const Case cases[] = {
        {"brute force counts failures only",
         numbered({at(userAuthentication, 0), at(userAuthentication, 1), at(userAuthentication, 2),
                   at(userAuthentication, 3), at(userAuthentication, 4)}),
         "Password brute force"},
        {"brute force counts authentications only",
         numbered({at(openRead, 0).failed(), at(openRead, 1).failed(), at(openRead, 2).failed(),
                   at(openRead, 3).failed(), at(openRead, 4).failed()}),
         "Password brute force"},
        {"brute force counts one origin",
         numbered(
             {at(userAuthentication, 0, "198.51.100.1").failed(), at(userAuthentication, 1, "198.51.100.2").failed(),
              at(userAuthentication, 2, "198.51.100.3").failed(), at(userAuthentication, 3, "198.51.100.4").failed(),
              at(userAuthentication, 4, "198.51.100.5").failed()}),
         "Password brute force"},
        {"a login after a burst must succeed", burstThen({at(openSSHLogin, 100).failed()}), "Login after brute force"},
        {"a login after a burst must be remote", burstThen({at(localLogin, 100)}), "Login after brute force"},
        {"a login after a burst must come after it", burstThen({at(openSSHLogin, -10)}), "Login after brute force"},
        {"a remote login must succeed", numbered({at(openSSHLogin, 0).failed()}), "Remote login"},
        {"a local login is no remote login", numbered({at(localLogin, 0)}), "Remote login"},
        {"an authentication failure must fail", numbered({at(userAuthentication, 0)}), "Authentication failure"},
        {"an authentication failure must be an authentication", numbered({at(openRead, 0).failed()}),
         "Authentication failure"},
        {"an account change must succeed", numbered({at(createUser, 0).failed()}), "Account created"},
        {"an account change must be one", numbered({at(openWrite, 0).text("create user <eve>")}), "Account created"},
        {"an audit configuration change must be one", numbered({at(settimeofday, 0)}), "Audit configuration change"},
        {"a clock change must succeed", numbered({at(settimeofday, 0).failed()}), "System clock changed"},
        {"a clock change must be one", numbered({at(auditon, 0)}), "System clock changed"},
        {"a memory access must succeed", numbered({at(taskForPid, 0).target(1, 0).failed()}), "Process memory access"},
        {"a memory access needs a target", numbered({at(taskForPid, 0)}), "Process memory access"},
        {"a memory access to itself is none", numbered({at(taskForPid, 0).target(300, 501)}), "Process memory access"},
        {"a memory access must be one", numbered({at(openRead, 0).target(1, 0)}), "Process memory access"},
        {"a chmod must succeed", numbered({at(chmodEvent, 0).arg("mode", 04755).path("/tmp/sh").failed()}),
         "Setuid/setgid bit set"},
        {"a setuid bit must come with a chmod", numbered({at(openWrite, 0).arg("mode", 04755).path("/tmp/sh")}),
         "Setuid/setgid bit set"},
        {"the bits must be in a mode argument", numbered({at(chmodEvent, 0).arg("flags", 04755).path("/tmp/sh")}),
         "Setuid/setgid bit set"},
        {"an execution must succeed", numbered({at(execve, 0).path("/tmp/x").failed()}), "Execution from /tmp"},
        {"an execution must be one", numbered({at(openRead, 0).path("/tmp/x")}), "Execution from /tmp"},
        {"a command line counts only when executed",
         numbered({at(openRead, 0).path("/usr/bin/csrutil").execArgs({"csrutil", "disable"})}), "SIP disable attempt"},
        {"a command line counts only when the execution succeeded",
         numbered({at(execve, 0).path("/usr/bin/csrutil").execArgs({"csrutil", "disable"}).failed()}),
         "SIP disable attempt"},
        {"an execution's path is no file change", numbered({at(execve, 0).path("/Library/LaunchDaemons/x")}),
         "Persistence location modified"},
        {"a removal must be a deletion", numbered({at(openRead, 0).path("/var/log/system.log")}),
         "Log or history removed"},
        {"a persistence change must write", numbered({at(openRead, 0).path("/Library/LaunchDaemons/x.plist")}),
         "Persistence location modified"},
        {"a path change must succeed", numbered({at(unlinkEvent, 0).path("/var/log/system.log").failed()}),
         "Log or history removed"},
        {"network use must succeed",
         numbered({at(connectEvent, 0).image("/tmp/agent").socket("198.51.100.9:443").failed()}),
         "Network from suspicious binary"},
        {"network use needs a process image", numbered({at(connectEvent, 0).socket("198.51.100.9:443")}),
         "Network from suspicious binary"},
        {"network use needs a socket", numbered({at(connectEvent, 0).image("/tmp/agent")}),
         "Network from suspicious binary"},
        {"a local socket is no network", numbered({at(connectEvent, 0).image("/tmp/agent").socket("/var/run/x")}),
         "Network from suspicious binary"},
        {"network use must be a connection", numbered({at(openRead, 0).image("/tmp/agent").socket("198.51.100.9:443")}),
         "Network from suspicious binary"},
        {"network use from an ordinary binary",
         numbered({at(connectEvent, 0).image("/usr/bin/curl").socket("198.51.100.9:443")}),
         "Network from suspicious binary"},
    };
    for (const Case &c : cases) EXPECT_FALSE(raises(c.records, c.rule)) << c.condition;
}

// The same records with the one condition met raise the rule: the cases above fail for the
// reason they name, not for another.
TEST(DetectionNegative, TheSameRecordsWithTheConditionMetRaiseTheRule)
{
    struct Case {
        std::vector<AuditRecord> records;
        const char *rule;
    };
    const Case cases[] = {
        {burstThen({at(openSSHLogin, 100)}), "Login after brute force"},
        {numbered({at(taskForPid, 0).target(1, 0)}), "Process memory access"},
        {numbered({at(chmodEvent, 0).arg("mode", 04755).path("/tmp/sh")}), "Setuid/setgid bit set"},
        {numbered({at(execve, 0).path("/usr/bin/csrutil").execArgs({"csrutil", "disable"})}), "SIP disable attempt"},
        {numbered({at(unlinkEvent, 0).path("/var/log/system.log")}), "Log or history removed"},
        {numbered({at(openWrite, 0).path("/Library/LaunchDaemons/x.plist")}), "Persistence location modified"},
        {numbered({at(connectEvent, 0).image("/tmp/agent").socket("198.51.100.9:443")}),
         "Network from suspicious binary"},
    };
    for (const Case &c : cases) EXPECT_TRUE(raises(c.records, c.rule)) << c.rule;
}

// Each alternative a command rule lists is enough on its own, with the rule's executable; with
// another executable the executable-bound rules stay quiet.
TEST(DetectionNegative, EveryAlternativeOfTheCommandRules)
{
    struct Case {
        const char *exe;
        const char *line;
        const char *rule;
        bool anyExecutable;
    };
    const Case cases[] = {
        {"sh", "x base64 -d y", "Encoded payload decoded", true},
        {"sh", "x base64 --decode y", "Encoded payload decoded", true},
        {"sh", "x | sh", "Download piped to shell", true},
        {"sh", "x |sh", "Download piped to shell", true},
        {"sh", "x | bash", "Download piped to shell", true},
        {"sh", "x |bash", "Download piped to shell", true},
        {"sh", "x | zsh", "Download piped to shell", true},
        {"curl", "curl -o /tmp/x h", "Tool transfer to unusual location", false},
        {"wget", "wget -o /private/tmp/x h", "Tool transfer to unusual location", false},
        {"curl", "curl -o /users/shared/x h", "Tool transfer to unusual location", false},
        {"curl", "curl -o ~/.x h", "Tool transfer to unusual location", false},
        {"curl", "curl https://10.0.0.1/x", "Tool transfer to unusual location", false},
        {"osascript", "osascript -e display dialog password", "Fake password prompt", false},
        {"osascript", "osascript x dialog with hidden answer", "Fake password prompt", false},
        {"osascript", "osascript -e beep", "AppleScript one-liner", false},
        {"security", "security find-generic-password", "Keychain credential access", false},
        {"security", "security find-internet-password", "Keychain credential access", false},
        {"security", "security dump-keychain", "Keychain credential access", false},
        {"security", "security export", "Keychain credential access", false},
        {"security", "security find-certificate -p", "Keychain credential access", false},
        {"xattr", "xattr -d com.apple.quarantine x", "Gatekeeper bypass", false},
        {"xattr", "xattr -c x", "Gatekeeper bypass", false},
        {"spctl", "spctl --master-disable", "Gatekeeper bypass", false},
        {"spctl", "spctl --global-disable", "Gatekeeper bypass", false},
        {"spctl", "spctl --add x", "Gatekeeper bypass", false},
        {"csrutil", "csrutil status", "SIP / security posture query", false},
        {"csrutil", "csrutil disable", "SIP disable attempt", false},
        {"launchctl", "launchctl load x", "launchd job loaded", false},
        {"launchctl", "launchctl bootstrap x", "launchd job loaded", false},
        {"launchctl", "launchctl submit x", "launchd job loaded", false},
        {"launchctl", "launchctl enable x", "launchd job loaded", false},
        {"dscl", "dscl . -create x", "Account manipulation command", false},
        {"dscl", "dscl . -append x", "Account manipulation command", false},
        {"dscl", "dscl . -passwd x", "Account manipulation command", false},
        {"sysadminctl", "sysadminctl -adduser x", "Account manipulation command", false},
        {"sysadminctl", "sysadminctl -resetpasswordfor x", "Account manipulation command", false},
        {"dseditgroup", "dseditgroup -a x admin", "Account manipulation command", false},
        {"tccutil", "tccutil reset all", "Privacy database reset", false},
        {"log", "log erase", "Log erasure", false},
        {"rm", "rm /var/log/x", "Log erasure", false},
        {"rm", "rm /var/audit/x", "Log erasure", false},
        {"audit", "audit -t", "Log erasure", false},
        {"sh", "history -c", "History tampering", true},
        {"sh", "unset histfile", "History tampering", true},
        {"sh", "histsize=0", "History tampering", true},
        {"sh", "rm ~/.zsh_history", "History tampering", true},
        {"nc", "nc -e sh", "Reverse shell pattern", false},
        {"ncat", "ncat -c sh", "Reverse shell pattern", false},
        {"netcat", "netcat -e sh", "Reverse shell pattern", false},
        {"sh", "x > /dev/tcp/1.2.3.4/1", "Reverse shell pattern", true},
        {"python", "python -c socket", "Reverse shell pattern", false},
        {"perl", "perl -c socket", "Reverse shell pattern", false},
        {"ruby", "ruby -c socket", "Reverse shell pattern", false},
        {"crontab", "crontab x", "Cron modification", false},
        {"defaults", "defaults write x loginhook y", "Login hook", false},
        {"pfctl", "pfctl -d", "Firewall disabled", false},
        {"socketfilterfw", "socketfilterfw --setglobalstate off", "Firewall disabled", false},
        {"systemsetup", "systemsetup -setremotelogin on", "Remote access enabled", false},
        {"kickstart", "kickstart -activate", "Remote access enabled", false},
        {"kextload", "kextload x", "Kernel extension load", false},
        {"kmutil", "kmutil load", "Kernel extension load", false},
        {"screencapture", "screencapture x", "Screen capture", false},
    };
    const auto fires = [](const std::string &exe, const std::string &line, const std::string &rule) {
        for (const Detections::CommandRule &r : Detections::commandRules())
            if (r.name == rule) return r.match(exe, line);
        ADD_FAILURE() << "no rule " << rule;
        return false;
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(fires(c.exe, c.line, c.rule)) << c.line;
        if (!c.anyExecutable) {
            EXPECT_FALSE(fires("other", c.line, c.rule)) << c.line << " from another executable";
        }
    }
    // The executables named alone, with nothing on the line that a rule asks for.
    for (const char *exe : {"kickstart", "sysadminctl", "launchctl", "tccutil", "defaults", "pfctl", "systemsetup"}) {
        const std::string line = std::string(exe) + " -list";
        for (const Detections::CommandRule &rule : Detections::commandRules())
            EXPECT_FALSE(rule.match(exe, line)) << line << ": " << rule.name;
    }
}

} // namespace
