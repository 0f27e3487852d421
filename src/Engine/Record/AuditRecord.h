#pragma once

#include "Engine/Record/Boxed.h"
#include "Engine/Record/RawBytes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// User and group ids of 0xFFFFFFFF mean "unset" throughout the audit format.
inline constexpr uint32_t unsetID = 0xFFFFFFFFu;

// The acting (subject token) or target (process token) process of a record.
struct SubjectInfo {
    uint32_t auid = 0;
    uint32_t euid = 0;
    uint32_t egid = 0;
    uint32_t ruid = 0;
    uint32_t rgid = 0;
    uint32_t pid = 0;
    uint32_t sid = 0;
    uint64_t terminalPort = 0;
    std::string terminalAddress;

    bool operator==(const SubjectInfo &) const = default;
};

struct ArgInfo {
    uint8_t number = 0;
    uint64_t value = 0;
    std::string name;

    bool operator==(const ArgInfo &) const = default;
};

struct SigningIdentity {
    uint32_t signerType = 0;
    std::string signingID;
    std::string teamID;
    std::string cdhash;

    // "none", "Apple platform binary", "Developer" or "type N".
    std::string signerDescription() const;

    bool operator==(const SigningIdentity &) const = default;
};

// Hashing over every field, as equality compares every field.
namespace RecordHash {
template <typename... Fields>
size_t of(const Fields &...fields)
{
    size_t seed = 0;
    ((seed ^= std::hash<Fields>()(fields) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2)), ...);
    return seed;
}
} // namespace RecordHash

template <>
struct std::hash<SubjectInfo> {
    size_t operator()(const SubjectInfo &s) const noexcept
    {
        return RecordHash::of(s.auid, s.euid, s.egid, s.ruid, s.rgid, s.pid, s.sid, s.terminalPort, s.terminalAddress);
    }
};

template <>
struct std::hash<ArgInfo> {
    size_t operator()(const ArgInfo &a) const noexcept { return RecordHash::of(a.number, a.value, a.name); }
};

template <>
struct std::hash<SigningIdentity> {
    size_t operator()(const SigningIdentity &i) const noexcept
    {
        return RecordHash::of(i.signerType, i.signingID, i.teamID, i.cdhash);
    }
};

// One decoded audit record. Times are seconds since 1970-01-01 UTC.
struct AuditRecord {
    int64_t id = 0;
    int64_t source = 0;
    uint16_t event = 0;
    uint16_t modifier = 0;
    double time = 0;
    RawBytes raw;
    std::optional<SubjectInfo> subject;
    Boxed<SubjectInfo> target;
    uint8_t returnStatus = 0;
    int64_t returnValue = 0;
    std::vector<std::string> paths;
    std::vector<std::string> texts;
    std::vector<ArgInfo> args;
    std::vector<std::string> execArgs;
    std::vector<std::string> sockets;
    Boxed<SigningIdentity> identity;
    std::optional<int32_t> exitStatus;
    std::optional<uint32_t> fileMode;
    std::optional<uint32_t> fileOwner;
    int64_t tokenCount = 0;
    Boxed<std::string> decodeError;
    Boxed<std::string> processImage; // shared by every record of one process

    // Last path component of processImage; "" without one.
    std::string processName() const;
    // Class short names of the event, in catalogue order.
    std::vector<std::string> classNames() const;
    // One line saying what the record touched.
    std::string detailSummary() const;
    // Case-insensitive free-text test behind every search field.
    bool matches(std::string_view query) const;
};
