// The one place that holds every rule's exact words: name, tactic, grade, technique and the
// explanation the screens, alerts and report show. Other tests check which rule fires and leave
// the words to this table.

#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"

#include "support/RecordValue.h"

#include <gtest/gtest.h>

namespace {

using TestRecords::numbered;
using TestRecords::RecordValue;

struct Words {
    std::string rule;
    std::string category;
    Severity severity;
    std::string technique;
    std::string explanation;

    bool operator==(const Words &) const = default;
};

void PrintTo(const Words &w, std::ostream *os)
{
    *os << "{" << w.rule << " | " << w.category << " | " << severityTitle(w.severity) << " | " << w.technique << " | "
        << w.explanation << "}";
}

Words wordsOf(const Finding &f)
{
    return {f.rule, f.category, f.severity, f.technique.value_or(""), f.explanation};
}

RecordValue by(uint16_t event, double dt, const char *address = "203.0.113.7")
{
    return std::move(RecordValue(event, 1700000000 + dt).subject(501, 501, 300, address, 4242));
}

const char *const accounts = "Local account and group changes are a common persistence technique (e.g. hidden admin "
                             "accounts).";
const char *const locations = "Legitimate software rarely runs from world-writable or hidden locations.";

// The fixed rules, each raised by the smallest records that raise it; the last finding is its own.
TEST(ExplanationTexts, FixedRules)
{
    UserResolver::shared().seed(501, "orvik");
    const auto failures = [](std::vector<AuditRecord> tail) {
        std::vector<AuditRecord> records = numbered({by(45023, 0).failed(), by(45023, 1).failed(), by(45023, 2).failed(),
                                                     by(45023, 3).failed(), by(45023, 4).failed()});
        for (AuditRecord &record : tail) {
            records.push_back(std::move(record));
            records.back().id = int64_t(records.size());
        }
        return records;
    };
    struct Case {
        std::vector<AuditRecord> records;
        Words words;
    };
    const Case cases[] = {
        {failures({}),
         {"Password brute force", "Credential Access", Severity::high, "T1110",
          "Repeated authentication failures from one origin in a short window is the classic signature of password "
          "guessing."}},
        {failures(numbered({by(32800, 100)})),
         {"Login after brute force", "Initial Access", Severity::critical, "T1110",
          "A success following a burst of failures from the same origin suggests the password was guessed."}},
        {numbered({by(32800, 0)}),
         {"Remote login", "Lateral Movement", Severity::medium, "T1021.004",
          "Remote interactive logins are worth confirming on endpoints that are not expected to accept SSH."}},
        {numbered({by(45028, 0).failed()}),
         {"Failed privilege elevation", "Privilege Escalation", Severity::medium, "T1548.003",
          "A failed sudo/su can indicate someone without the password attempting to gain root."}},
        {numbered({by(45028, 0)}),
         {"Privilege elevation", "Privilege Escalation", Severity::low, "T1548.003",
          "sudo/su grants root; review the command and whether the user normally administers this Mac."}},
        {numbered({by(45023, 0).failed()}),
         {"Authentication failure", "Credential Access", Severity::low, "T1110", "Isolated authentication failure."}},
        {numbered({by(6207, 0)}), {"Account created", "Persistence", Severity::high, "T1136.001", accounts}},
        {numbered({by(6208, 0)}), {"Account modified", "Persistence", Severity::high, "T1098", accounts}},
        {numbered({by(45001, 0)}),
         {"Audit stopped", "Defense Evasion", Severity::low, "T1562",
          "auditd shut down. Expected at system shutdown; suspicious if the machine kept running afterwards."}},
        {numbered({by(138, 0)}),
         {"Audit configuration change", "Defense Evasion", Severity::high, "T1562",
          "Changes to the audit subsystem can blind future investigation."}},
        {numbered({by(37, 0)}),
         {"System clock changed", "Defense Evasion", Severity::medium, "T1070.006",
          "Changing the clock can disrupt log correlation and timestamps."}},
        {numbered({by(43048, 0).target(1, 0)}),
         {"Process memory access", "Privilege Escalation", Severity::medium, "T1055",
          "task_for_pid/ptrace on another process allows reading or injecting into its memory."}},
        {numbered({by(10, 0).arg("mode", 04755).path("/tmp/sh")}),
         {"Setuid/setgid bit set", "Privilege Escalation", Severity::high, "T1548.001",
          "Setuid binaries run with their owner's privileges; attackers use them as root backdoors."}},
        {numbered({by(23, 0).path("/tmp/x")}),
         {"Execution from /tmp", "Execution", Severity::high, "T1204.002", locations}},
        {numbered({by(23, 0).path("/Users/orvik/.x")}),
         {"Execution from hidden path", "Execution", Severity::high, "T1564.001", locations}},
        {numbered({by(32, 0).image("/tmp/agent").socket("198.51.100.9:443")}),
         {"Network from suspicious binary", "Command and Control", Severity::high, "T1071",
          "Outbound connections from binaries in temporary or hidden locations often indicate command-and-control."}},
        {numbered({by(6, 0).path("/var/log/system.log")}),
         {"Log or history removed", "Defense Evasion", Severity::high, "T1070.002",
          "Removing system logs is a common anti-forensics step."}},
        {numbered({by(76, 0).path("/Library/LaunchDaemons/x.plist")}),
         {"Persistence location modified", "Persistence", Severity::high, "T1543.004",
          "Launch daemons run as root at boot."}},
        {numbered({by(72, 0).path("/Library/Application Support/com.apple.TCC/TCC.db")}),
         {"Sensitive data access", "Credential Access", Severity::medium, "T1555",
          "TCC.db stores privacy permissions; reading or altering it is uncommon outside tccd."}},
    };
    for (const Case &c : cases) {
        const std::vector<Finding> findings = Detections::run(c.records);
        ASSERT_FALSE(findings.empty()) << c.words.rule;
        EXPECT_EQ(wordsOf(findings.back()), c.words);
    }
}

TEST(ExplanationTexts, CommandRules)
{
    const Words expected[] = {
        {"Encoded payload decoded", "Defense Evasion", Severity::high, "T1140",
         "Decoding base64 inline is a common way to hide commands from casual inspection."},
        {"Download piped to shell", "Execution", Severity::high, "T1059.004",
         "Piping remote content straight into a shell executes it without leaving a file."},
        {"Tool transfer to unusual location", "Command and Control", Severity::medium, "T1105",
         "curl/wget writing into temporary, shared or hidden paths, or fetching from a bare IP, is typical of payload "
         "staging."},
        {"Fake password prompt", "Credential Access", Severity::high, "T1056.002",
         "osascript dialogs asking for a password are a hallmark of macOS infostealers."},
        {"AppleScript one-liner", "Execution", Severity::low, "T1059.002",
         "Inline AppleScript is often used to automate UI or evade command-line inspection."},
        {"Keychain credential access", "Credential Access", Severity::high, "T1555.001",
         "`security` sub-commands that dump or print secrets expose saved passwords."},
        {"Gatekeeper bypass", "Defense Evasion", Severity::medium, "T1553.001",
         "Removing the quarantine attribute or disabling assessment skips Gatekeeper checks."},
        {"SIP / security posture query", "Discovery", Severity::low, "T1082",
         "Checking System Integrity Protection status is common reconnaissance."},
        {"SIP disable attempt", "Defense Evasion", Severity::critical, "T1562.001",
         "Disabling SIP removes core OS protections."},
        {"launchd job loaded", "Persistence", Severity::medium, "T1543",
         "Loading launchd jobs from the command line is a common way to install persistence."},
        {"Account manipulation command", "Persistence", Severity::high, "T1136.001",
         "Creating users or adding them to admin from the shell is unusual on a managed Mac."},
        {"User / host discovery", "Discovery", Severity::info, "T1033", "Common first commands after gaining a shell."},
        {"Privacy database reset", "Defense Evasion", Severity::medium, "T1562",
         "tccutil reset can be used to re-prompt or clear privacy consent."},
        {"Log erasure", "Defense Evasion", Severity::high, "T1070.002",
         "Erasing unified logs or audit trails destroys evidence."},
        {"History tampering", "Defense Evasion", Severity::medium, "T1070.003",
         "Clearing or disabling shell history hides activity."},
        {"Reverse shell pattern", "Execution", Severity::critical, "T1059",
         "netcat with -e, /dev/tcp redirection or socket one-liners open interactive remote shells."},
        {"Cron modification", "Persistence", Severity::medium, "T1053.003",
         "crontab entries provide scheduled execution."},
        {"Login hook", "Persistence", Severity::high, "T1037.002", "LoginHook scripts run as root at every login."},
        {"Firewall disabled", "Defense Evasion", Severity::high, "T1562.004",
         "Turning off pf or the application firewall weakens network defences."},
        {"Remote access enabled", "Lateral Movement", Severity::medium, "T1021.004",
         "Enabling Remote Login or Screen Sharing opens the Mac to network access."},
        {"Kernel extension load", "Persistence", Severity::medium, "T1547.006",
         "Loading kernel extensions grants kernel-level code execution."},
        {"Screen capture", "Collection", Severity::low, "T1113",
         "Command-line screen capture can be used to collect on-screen data."},
    };
    const auto &rules = Detections::commandRules();
    ASSERT_EQ(rules.size(), std::size(expected));
    for (size_t i = 0; i < rules.size(); ++i)
        EXPECT_EQ((Words{rules[i].name, rules[i].category, rules[i].severity, rules[i].technique, rules[i].explanation}),
                  expected[i]);
}

// The path rules take their words from the row of the classifier that fired.
TEST(ExplanationTexts, PathClassifierRows)
{
    struct Case {
        const char *path;
        std::optional<std::string> (*why)(const char *path);
        const char *text;
    };
    const auto log = [](const char *path) -> std::optional<std::string> {
        const auto artifact = Detections::logArtifact(path);
        return artifact ? std::optional(artifact->why) : std::nullopt;
    };
    const auto persistence = [](const char *path) -> std::optional<std::string> {
        const auto location = Detections::persistenceLocation(path);
        return location ? std::optional(location->why) : std::nullopt;
    };
    const auto sensitive = [](const char *path) { return Detections::sensitiveData(path); };
    const Case cases[] = {
        {"/var/audit/current", log, "Deleting BSM trails destroys the very evidence this tool reads."},
        {"/var/log/system.log", log, "Removing system logs is a common anti-forensics step."},
        {"/Users/orvik/.zsh_history", log, "Shell history removal hides interactive commands."},
        {"/Library/LaunchDaemons/x.plist", persistence, "Launch daemons run as root at boot."},
        {"/Library/LaunchAgents/x.plist", persistence, "Launch agents run at user login."},
        {"/Library/StartupItems/x/x", persistence, "Startup items run at boot."},
        {"/etc/periodic/daily/x", persistence, "Cron/periodic jobs provide scheduled execution."},
        {"/etc/sudoers", persistence, "sudoers changes can grant passwordless root."},
        {"/etc/pam.d/sudo", persistence, "PAM modules can capture or bypass authentication."},
        {"/Library/Security/SecurityAgentPlugins/x", persistence, "Authorization plugins run during login."},
        {"/Users/orvik/.zshrc", persistence, "Shell start-up files execute on every new shell."},
        {"/Library/Preferences/com.apple.loginwindow.plist", persistence,
         "loginwindow preferences can hold LoginHook/LogoutHook scripts."},
        {"/Library/Application Support/com.apple.TCC/TCC.db", sensitive,
         "TCC.db stores privacy permissions; reading or altering it is uncommon outside tccd."},
        {"/Library/Keychains/System.keychain", sensitive, "Keychain files hold saved credentials."},
        {"/etc/master.passwd", sensitive, "Local account databases contain password hashes."},
        {"/Users/orvik/Library/Cookies/c", sensitive, "Browser credential stores."},
    };
    for (const Case &c : cases) EXPECT_EQ(c.why(c.path), std::optional<std::string>(c.text)) << c.path;
}

} // namespace
