#pragma once

// Records made from fuzz input through RecordContent, with the fields the analysis, exporters and
// formatters read: events the rules know, times near each other or anywhere a double reaches,
// texts that mix the rules' patterns with arbitrary bytes.

#include "Engine/Record/RecordBuilder.h"

#include "FuzzCheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

namespace FuzzRecords {

template <typename T, size_t N>
const T &pick(FuzzedDataProvider &in, const std::array<T, N> &choices)
{
    return choices[in.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

// Events of every rule, their neighbours, and a few nobody knows.
constexpr std::array<uint16_t, 30> events = {45023, 32800, 6152, 45028, 6159, 6207, 6208, 45015, 6511, 45001,
                                             138,   37,    313,  43048, 10,   39,   23,   43190, 6,    42,
                                             72,    74,    76,   32,    248,  2,    1,    6153,  0,    65535};
constexpr std::array<const char *, 24> pieces = {"/tmp/",
                                                 "/private/tmp/",
                                                 "/Users/Shared/",
                                                 "/Downloads/",
                                                 "/Volumes/x/",
                                                 "/.",
                                                 "/var/log/",
                                                 "/var/audit/",
                                                 "_history",
                                                 "/Library/LaunchDaemons/",
                                                 "/etc/sudoers",
                                                 "TCC.db",
                                                 "/Keychains/a.keychain-db",
                                                 "base64 -d",
                                                 "| sh",
                                                 "curl",
                                                 "http://1.2.3.4/",
                                                 "csrutil",
                                                 "disable",
                                                 "osascript",
                                                 " -e",
                                                 "\u212A",
                                                 "<user>",
                                                 "|,\"\n\r\t\x1F"};
constexpr std::array<const char *, 6> addresses = {"0.0.0.0", "::", "203.0.113.7", "198.51.100.1", "", "2001:db8::1"};

inline std::string text(FuzzedDataProvider &in)
{
    std::string out;
    const int parts = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < parts; ++i)
        out += in.ConsumeBool() ? std::string(pick(in, pieces)) : in.ConsumeRandomLengthString(24);
    return out;
}

inline std::vector<std::string> texts(FuzzedDataProvider &in, int most)
{
    std::vector<std::string> out(size_t(in.ConsumeIntegralInRange(0, most)));
    for (std::string &t : out) t = text(in);
    return out;
}

inline double time(FuzzedDataProvider &in, double base)
{
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return in.ConsumeFloatingPoint<double>();
    case 1: return std::numeric_limits<double>::quiet_NaN();
    case 2: return double(in.ConsumeIntegral<uint64_t>());
    default: return base + in.ConsumeIntegralInRange(0, 7200) + in.ConsumeIntegralInRange(0, 999) / 1000.0;
    }
}

inline SubjectInfo subject(FuzzedDataProvider &in)
{
    SubjectInfo s;
    s.auid = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 3) * 500 : in.ConsumeIntegral<uint32_t>();
    s.euid = in.ConsumeBool() ? s.auid : in.ConsumeIntegralInRange<uint32_t>(0, 2);
    s.ruid = s.euid;
    s.pid = in.ConsumeIntegralInRange<uint32_t>(1, 12);
    s.sid = in.ConsumeIntegralInRange<uint32_t>(0, 3);
    s.terminalAddress = in.ConsumeBool() ? std::string(pick(in, addresses)) : in.ConsumeRandomLengthString(16);
    return s;
}

inline AuditRecord record(FuzzedDataProvider &in, int64_t id, double base = 1700000000)
{
    RecordContent c;
    c.id = id;
    c.source = 1;
    c.event = in.ConsumeBool() ? pick(in, events) : in.ConsumeIntegral<uint16_t>();
    c.modifier = in.ConsumeIntegral<uint8_t>();
    c.time = time(in, base);
    c.returnStatus = in.ConsumeBool() ? 0 : in.ConsumeIntegral<uint8_t>();
    c.returnValue = in.ConsumeIntegral<int64_t>();
    if (in.ConsumeBool()) c.subject = subject(in);
    if (in.ConsumeBool()) c.target = subject(in);
    c.paths = texts(in, 3);
    c.texts = texts(in, 2);
    c.execArgs = texts(in, 4);
    c.sockets = texts(in, 2);
    const int args = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < args; ++i)
        c.args.push_back({uint8_t(i + 1), in.ConsumeIntegral<uint64_t>(),
                          in.ConsumeBool() ? std::string("mode") : in.ConsumeRandomLengthString(8)});
    if (in.ConsumeBool()) c.processImage = text(in);
    if (in.ConsumeBool())
        c.identity = SigningIdentity{in.ConsumeIntegralInRange<uint32_t>(0, 3), in.ConsumeRandomLengthString(16),
                                     in.ConsumeRandomLengthString(8), in.ConsumeRandomLengthString(8)};
    if (in.ConsumeBool()) c.exitStatus = in.ConsumeIntegral<int32_t>();
    c.raw = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 64));
    return c.record();
}

// Up to `most` records numbered from 1.
inline std::vector<AuditRecord> records(FuzzedDataProvider &in, size_t most)
{
    std::vector<AuditRecord> out;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, most);
    for (size_t i = 0; i < count && in.remaining_bytes() > 0; ++i) out.push_back(record(in, int64_t(i + 1)));
    return out;
}

} // namespace FuzzRecords
