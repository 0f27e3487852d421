#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/BSMErrno.h"
#include "Engine/Parser/BSMToken.h"
#include "Engine/BSM/ByteReader.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Support/UtcTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {

// Rows show at most this many payload bytes.
constexpr size_t shownDataBytes = 64;

template <typename... Args>
std::string format(const char *pattern, Args... args)
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, pattern, args...);
    return buffer;
}

template <typename T>
std::string decimal(T value)
{
    return std::to_string(value);
}

// ISO 8601 in UTC with milliseconds: 2024-05-01T12:00:00.250Z.
std::string isoTime(double time)
{
    if (!UtcTime::inCalendar(time)) return UtcTime::plainSeconds(time);
    return UtcTime::isoMilliseconds(time);
}

// Local date and time to the second: 2024-05-01 14:00:00.
std::string localTime(double time)
{
    const std::optional<std::tm> parts = UtcTime::localCalendar(time);
    if (!parts) return UtcTime::plainSeconds(time);
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &*parts);
    return std::string(text, length);
}

std::string joined(const std::vector<std::string> &parts, const char *separator)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) text += separator;
        text += parts[i];
    }
    return text;
}

std::string shownData(const std::vector<uint8_t> &bytes)
{
    return hexString(std::span<const uint8_t>(bytes.data(), std::min(bytes.size(), shownDataBytes)));
}

using Rows = std::vector<std::pair<std::string, std::string>>;

struct FieldRows {
    UserResolver &users;
    Rows rows;

    void add(std::string label, std::string value) { rows.emplace_back(std::move(label), std::move(value)); }

    void subject(const SubjectInfo &s)
    {
        add("audit user", users.describe(s.auid));
        add("effective user", users.describe(s.euid));
        add("effective group", users.describeGroup(s.egid));
        add("real user", users.describe(s.ruid));
        add("real group", users.describeGroup(s.rgid));
        add("pid", decimal(s.pid));
        add("session", decimal(s.sid));
        add("terminal", "port " + decimal(s.terminalPort) + " \u00B7 " + s.terminalAddress);
    }
    void list(const std::string &label, const std::vector<std::string> &values)
    {
        for (size_t i = 0; i < values.size(); ++i) add(label + "[" + decimal(i) + "]", values[i]);
    }

    void operator()(const Payload::Header &p)
    {
        add("record bytes", decimal(p.size));
        add("version", decimal(p.version));
        add("event", decimal(p.event) + " (" + AuditCatalog::shared().eventName(p.event) + ")");
        add("modifier", format("0x%04x", unsigned(p.modifier)));
        add("time", isoTime(p.time));
        if (p.host) add("host", *p.host);
    }
    void operator()(const Payload::Trailer &p) { add("record bytes", decimal(p.size)); }
    void operator()(const Payload::Subject &p) { subject(p.info); }
    void operator()(const Payload::Process &p) { subject(p.info); }
    void operator()(const Payload::ReturnValue &p)
    {
        add("status", p.status == 0 ? std::string("success") : "failure: " + errnoDescription(p.status));
        add("value", decimal(static_cast<int64_t>(p.value)));
    }
    void operator()(const Payload::Path &p) { add("path", p.path); }
    void operator()(const Payload::Text &p) { add("text", p.text); }
    void operator()(const Payload::Arg &p)
    {
        add("#", decimal(p.arg.number));
        add("name", p.arg.name);
        add("value", format("0x%llx (%llu)", static_cast<unsigned long long>(p.arg.value),
                            static_cast<unsigned long long>(p.arg.value)));
    }
    void operator()(const Payload::Attr &p)
    {
        add("mode", format("%o", p.mode));
        add("owner", users.describe(p.uid));
        add("group", users.describeGroup(p.gid));
        add("fsid", decimal(p.fsid));
        add("inode", decimal(p.node));
        add("device", decimal(p.device));
    }
    void operator()(const Payload::ExecArgs &p)
    {
        add("argc", decimal(p.args.size()));
        add("argv", joined(p.args, " "));
    }
    void operator()(const Payload::ExecEnv &p) { list("env", p.env); }
    void operator()(const Payload::Exit &p)
    {
        add("status", decimal(static_cast<int32_t>(p.status)));
        add("return", decimal(static_cast<int32_t>(p.value)));
    }
    void operator()(const Payload::InAddr &p) { add("address", p.address); }
    void operator()(const Payload::IPort &p) { add("port", decimal(p.port)); }
    void operator()(const Payload::IP &p)
    {
        add("version", decimal(p.version));
        add("protocol", decimal(p.protocolNumber));
        add("source", p.source);
        add("destination", p.destination);
    }
    void operator()(const Payload::SocketInet &p)
    {
        add("family", decimal(p.family));
        add("port", decimal(p.port));
        add("address", p.address);
    }
    void operator()(const Payload::SocketUnix &p)
    {
        add("family", decimal(p.family));
        add("path", p.path);
    }
    void operator()(const Payload::Socket &p)
    {
        if (p.domain) add("domain", decimal(*p.domain));
        add("type", decimal(p.type));
        add("local", p.localAddress + ":" + decimal(p.localPort));
        add("remote", p.remoteAddress + ":" + decimal(p.remotePort));
    }
    void operator()(const Payload::Seq &p) { add("sequence", decimal(p.value)); }
    void operator()(const Payload::NewGroups &p)
    {
        std::vector<std::string> groups;
        groups.reserve(p.groups.size());
        for (uint32_t gid : p.groups) {
            const auto name = users.groupName(gid);
            groups.push_back(name ? *name + " (" + decimal(gid) + ")" : decimal(gid));
        }
        add("groups", joined(groups, ", "));
    }
    void operator()(const Payload::Identity &p)
    {
        add("signer", p.identity.signerDescription());
        add("signing id", p.identity.signingID);
        add("team id", p.identity.teamID.empty() ? std::string("\u2014") : p.identity.teamID);
        add("cdhash", p.identity.cdhash);
    }
    void operator()(const Payload::File &p)
    {
        add("time", localTime(p.time));
        add("file", p.name);
    }
    void operator()(const Payload::Opaque &p)
    {
        add("bytes", decimal(p.bytes.size()));
        add("data", shownData(p.bytes));
    }
    void operator()(const Payload::Zonename &p) { add("zone", p.name); }
    void operator()(const Payload::Ipc &p)
    {
        add("type", decimal(p.type));
        add("id", decimal(p.id));
    }
    void operator()(const Payload::IpcPerm &p)
    {
        add("owner", users.describe(p.uid));
        add("group", users.describeGroup(p.gid));
        add("creator", users.describe(p.creatorUID));
        add("creator group", users.describeGroup(p.creatorGID));
        add("mode", format("%o", p.mode));
        add("seq", decimal(p.seq));
        add("key", decimal(p.key));
    }
    void operator()(const Payload::Arbitrary &p)
    {
        add("format", decimal(p.format));
        add("unit size", decimal(p.unitSize));
        add("count", decimal(p.count));
        add("data", shownData(p.bytes));
    }
    void operator()(const Payload::Privilege &p)
    {
        if (p.success) add("result", *p.success ? "success" : "failure");
        if (p.set) add("set", *p.set);
        add("privilege", p.name);
    }
    void operator()(const Payload::Strings &p) { list(p.label, p.values); }
};

} // namespace

std::string BSMToken::name() const
{
    for (const auto &entry : tokenNames)
        if (entry.id == id) return std::string(entry.name);
    return format("token 0x%02x", unsigned(id));
}

std::vector<std::pair<std::string, std::string>> BSMToken::fields(UserResolver &users) const
{
    FieldRows rows{users, {}};
    std::visit(rows, payload);
    return std::move(rows.rows);
}

std::string SigningIdentity::signerDescription() const
{
    switch (signerType) {
    case 0: return "none";
    case 1: return "Apple platform binary";
    case 2: return "Developer";
    default: return "type " + std::to_string(signerType);
    }
}
