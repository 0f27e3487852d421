#pragma once

#include "Engine/Record/Boxed.h"
#include "Engine/Record/RawBytes.h"
#include "Engine/Record/RecordQuery.h"

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

// One decoded audit record. Times are seconds since 1970-01-01 UTC.
struct AuditRecord {
    int64_t id = 0;
    int64_t source = 0;
    uint16_t event = 0;
    uint16_t modifier = 0;
    double time = 0;
    RawBytes raw;
    Boxed<SubjectInfo> subject; // shared by the records a process writes in a row
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
    // The same, appended to `out`: lets a caller reuse one buffer for many records.
    void appendDetailSummary(std::string &out) const;
    // Case-insensitive free-text test behind every search field. The query is prepared once for
    // all the records a search looks at.
    bool matches(const RecordQuery &query) const;
};
