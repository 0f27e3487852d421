#include "Views/Reference/ReferenceDocs.h"

#include "Engine/Analysis/Detections.h"

const std::vector<TokenDoc> &tokenDocs()
{
    static const std::vector<TokenDoc> docs = {
        {"0x14 / 0x15 / 0x74 / 0x79", "header",
         "Starts every record: byte count, version, event, modifier, timestamp (optionally host address)."},
        {"0x13", "trailer", "Ends every record: magic 0xb105 and byte count, used to validate framing."},
        {"0x24 / 0x75 / 0x7a / 0x7c", "subject",
         "Who acted: audit uid, effective/real uid & gid, pid, session id, terminal id."},
        {"0x26 / 0x77 / 0x7b / 0x7d", "process",
         "Which process was acted on (kill, task_for_pid, ptrace…). Same layout as subject."},
        {"0x27 / 0x72", "return", "Outcome: BSM errno status (0 = success) and the syscall's return value."},
        {"0x23", "path", "Resolved file system path of an object."},
        {"0x3c / 0x3d", "exec args / env", "argv (policy argv) and environment (policy arge) of an exec."},
        {"0x2d / 0x71", "argument", "A numbered syscall argument with a short description (flags, mode, fd…)."},
        {"0x3e / 0x73", "attribute", "File mode, owner, group, file system id, inode and device."},
        {"0x28", "text", "Free-form text, used heavily by userland events (login, sudo, authorisation)."},
        {"0x80 / 0x81 / 0x82 / 0x7f", "socket", "IPv4 / IPv6 / UNIX-domain / extended socket addresses."},
        {"0x52", "exit", "Process exit status."},
        {"0xed", "identity", "Apple extension: code-signing ID, team ID and CDHash of an executed binary."},
        {"0x11", "file", "Trail file boundaries: written at the start and end of each trail with its name."},
    };
    return docs;
}

const std::vector<RuleDoc> &ruleDocs()
{
    using enum Severity;
    static const std::vector<RuleDoc> docs = {
        {"Password brute force", "Credential Access", high, "T1110",
         "≥5 authentication failures from one origin within 10 minutes."},
        {"Login after brute force", "Initial Access", critical, "T1110",
         "Remote login success from an origin that just brute-forced."},
        {"Remote login", "Lateral Movement", medium, "T1021.004", "Successful SSH / remote login."},
        {"Privilege elevation", "Privilege Escalation", low, "T1548.003", "sudo / su success (medium on failure)."},
        {"Account created / modified", "Persistence", high, "T1136.001",
         "User or group creation, group membership and password changes."},
        {"Audit configuration change", "Defense Evasion", high, "T1562", "auditon/auditctl changes."},
        {"System clock changed", "Defense Evasion", medium, "T1070.006", "settimeofday()."},
        {"Process memory access", "Privilege Escalation", medium, "T1055",
         "task_for_pid / ptrace against another process."},
        {"Setuid/setgid bit set", "Privilege Escalation", high, "T1548.001", "chmod adding 04000/02000."},
        {"Execution from unusual location", "Execution", high, "T1204.002",
         "exec from /tmp, /Users/Shared, Downloads, mounted volumes or hidden files."},
        {"Persistence location modified", "Persistence", high, "T1543",
         "Writes to LaunchDaemons/Agents, cron, sudoers, PAM, shell rc files…"},
        {"Log or history removed", "Defense Evasion", high, "T1070",
         "Deleting/renaming /var/audit, /var/log or shell history."},
        {"Sensitive data access", "Credential Access", medium, "T1555",
         "TCC.db, keychains, account databases, browser credential stores."},
        {"Network from suspicious binary", "Command and Control", high, "T1071",
         "connect() from a binary in an unusual location."},
    };
    return docs;
}

const std::vector<RuleDoc> &allRuleDocs()
{
    // Only the documented fields of the engine's table are read; its matchers are never called.
    static const std::vector<RuleDoc> docs = [] {
        std::vector<RuleDoc> out = ruleDocs();
        for (const auto &rule : Detections::commandRules())
            out.push_back({rule.name, rule.category, rule.severity, rule.technique, rule.explanation});
        return out;
    }();
    return docs;
}
