#include "Views/Reference/ReferenceDocs.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/Parser/BSMToken.h"

#include <cstdio>
#include <initializer_list>

namespace {

// "0x14 / 0x15", in the order given.
std::string idsText(std::initializer_list<uint8_t> ids)
{
    std::string text;
    for (const uint8_t id : ids) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", unsigned(id));
        if (!text.empty()) text += " / ";
        text += hex;
    }
    return text;
}

// A rule as the engine words it, with the screen's own description.
RuleDoc documented(const Detections::RuleText &rule, std::string description)
{
    return {std::string(rule.name), std::string(rule.category), rule.severity, std::string(rule.technique),
            std::move(description)};
}

// Where the engine's figures follow the evidence, the documentation names the usual ones.
RuleDoc withFigures(RuleDoc doc, Severity severity, std::string technique)
{
    doc.severity = severity;
    doc.technique = std::move(technique);
    return doc;
}

RuleDoc renamed(RuleDoc doc, std::string name)
{
    doc.name = std::move(name);
    return doc;
}

} // namespace

const std::vector<TokenDoc> &tokenDocs()
{
    using namespace TokenID;
    static const std::vector<TokenDoc> docs = {
        {idsText({header32, header32Ex, header64, header64Ex}), "header",
         "Starts every record: byte count, version, event, modifier, timestamp (optionally host address)."},
        {idsText({trailer}), "trailer", "Ends every record: magic 0xb105 and byte count, used to validate framing."},
        {idsText({subject32, subject64, subject32Ex, subject64Ex}), "subject",
         "Who acted: audit uid, effective/real uid & gid, pid, session id, terminal id."},
        {idsText({process32, process64, process32Ex, process64Ex}), "process",
         "Which process was acted on (kill, task_for_pid, ptrace…). Same layout as subject."},
        {idsText({return32, return64}), "return",
         "Outcome: BSM errno status (0 = success) and the syscall's return value."},
        {idsText({path}), "path", "Resolved file system path of an object."},
        {idsText({execArgs, execEnv}), "exec args / env",
         "argv (policy argv) and environment (policy arge) of an exec."},
        {idsText({arg32, arg64}), "argument",
         "A numbered syscall argument with a short description (flags, mode, fd…)."},
        {idsText({attr32, attr64}), "attribute", "File mode, owner, group, file system id, inode and device."},
        {idsText({text}), "text", "Free-form text, used heavily by userland events (login, sudo, authorisation)."},
        {idsText({sockInet32, sockInet128, sockUnix, socketEx}), "socket",
         "IPv4 / IPv6 / UNIX-domain / extended socket addresses."},
        {idsText({TokenID::exit}), "exit", "Process exit status."},
        {idsText({identity}), "identity", "Apple extension: code-signing ID, team ID and CDHash of an executed binary."},
        {idsText({file}), "file", "Trail file boundaries: written at the start and end of each trail with its name."},
    };
    return docs;
}

const std::vector<RuleDoc> &ruleDocs()
{
    using namespace Detections::Rules;
    static const std::vector<RuleDoc> docs = {
        documented(bruteForce, "≥5 authentication failures from one origin within 10 minutes."),
        documented(loginAfterBruteForce, "Remote login success from an origin that just brute-forced."),
        documented(remoteLogin, "Successful SSH / remote login."),
        documented(privilegeElevation, "sudo / su success (medium on failure)."),
        renamed(documented(accountCreated, "User or group creation, group membership and password changes."),
                "Account created / modified"),
        documented(auditConfigurationChange, "auditon/auditctl changes."),
        documented(clockChanged, "settimeofday()."),
        documented(processMemoryAccess, "task_for_pid / ptrace against another process."),
        documented(setuidSetgidBit, "chmod adding 04000/02000."),
        renamed(documented(executionFrom, "exec from /tmp, /Users/Shared, Downloads, mounted volumes or hidden files."),
                std::string(executionFrom.name) + "unusual location"),
        withFigures(documented(persistenceModified,
                               "Writes to LaunchDaemons/Agents, cron, sudoers, PAM, shell rc files…"),
                    Severity::high, "T1543"),
        withFigures(documented(logRemoved, "Deleting/renaming /var/audit, /var/log or shell history."),
                    logRemoved.severity, "T1070"),
        documented(sensitiveDataAccess, "TCC.db, keychains, account databases, browser credential stores."),
        documented(networkFromSuspiciousBinary, "connect() from a binary in an unusual location."),
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
