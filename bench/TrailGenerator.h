#pragma once

// A deterministic trail shaped like a busy workstation's: program starts, file opens, network
// connections, logins and authorisations, 80 to 400 bytes a record.

#include "support/TrailBuilder.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace BenchTrail {

using namespace TestBSM;

class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
    template <typename T, size_t N>
    const T &pick(const std::array<T, N> &items) { return items[below(N)]; }

private:
    uint64_t m_state;
};

struct Program {
    const char *path;
    const char *signingID;
    std::array<const char *, 6> args; // nullptr ends the list
};

inline constexpr std::array<Program, 10> programs = {{
    {"/usr/bin/git", "com.apple.git", {"status", "--short"}},
    {"/bin/ls", "com.apple.ls", {"-la", "/Users/alice/Projects"}},
    {"/usr/bin/ssh", "com.apple.openssh", {"-p", "2222", "build@ci.example.net"}},
    {"/usr/local/bin/python3", "org.python.python", {"-m", "pip", "install", "requests"}},
    {"/bin/zsh", "com.apple.zsh", {"-c", "source ~/.zshrc"}},
    {"/usr/bin/curl", "com.apple.curl", {"-fsSL", "https://example.com/install.sh"}},
    {"/usr/sbin/mdworker_shared", "com.apple.mdworker_shared", {"-s", "mdworker", "-c", "MDSImporterWorker", "-m", "com.apple.mdworker.shared"}},
    {"/Applications/Xcode.app/Contents/Developer/usr/bin/make", "com.apple.dt.make", {"-j8", "all"}},
    {"/Applications/Xcode.app/Contents/Developer/Toolchains/XcodeDefault.xctoolchain/usr/bin/clang", "com.apple.clang",
     {"-c", "-O2", "-o", "build/TokenDecoder.o", "src/BSM/TokenDecoder.cpp"}},
    {"/usr/bin/osascript", "com.apple.osascript", {"-e", "tell application \"Finder\" to get name of every disk"}},
}};

inline constexpr std::array<const char *, 10> files = {
    "/Users/alice/Library/Preferences/com.apple.finder.plist",
    "/private/var/db/mds/messages/501/se_SecurityMessages",
    "/Users/alice/Projects/quill/src/main.cpp",
    "/usr/lib/libSystem.B.dylib",
    "/private/tmp/com.apple.launchd.x1y2z3/Listeners",
    "/Users/alice/.ssh/known_hosts",
    "/System/Library/Frameworks/Security.framework/Security",
    "/private/var/folders/zz/zyxvpxvq6csfxvn_n0000000000000/T/tmp.4f2a",
    "/etc/hosts",
    "/Users/alice/Library/Caches/com.apple.Safari/Cache.db-wal",
};

inline constexpr std::array<const char *, 4> users = {"alice", "bob", "build", "root"};

// A running process: the subject and, for signed programs, the code identity that its records carry.
struct Process {
    Subject subject;
    const Program *program;
    uint32_t signer;
    const char *team;
    Bytes cdhash;
};

class Processes {
public:
    explicit Processes(Random &random)
    {
        for (size_t i = 0; i < 64; ++i) {
            Process p;
            p.subject.auid = 501 + uint32_t(random.below(3));
            p.subject.euid = random.below(5) == 0 ? 0 : p.subject.auid;
            p.subject.ruid = p.subject.auid;
            p.subject.pid = 200 + uint32_t(random.below(60000));
            p.subject.sid = 100000 + uint32_t(random.below(50));
            p.program = &random.pick(programs);
            p.signer = random.below(4) ? 1 : random.below(2) ? 2 : 0;
            p.team = p.signer == 2 ? "ABCDE12345" : "";
            p.cdhash.resize(20);
            for (auto &b : p.cdhash) b = uint8_t(random.next());
            m_all.push_back(std::move(p));
        }
    }
    const Process &any(Random &random) const { return m_all[random.below(m_all.size())]; }

private:
    std::vector<Process> m_all;
};

// Subject and, for signed programs, identity: how a modern kernel closes most records.
inline void actor(RecordBuilder &r, const Process &p)
{
    r.subject(p.subject);
    if (p.signer) r.identity(p.signer, p.program->signingID, p.team, p.cdhash);
}

inline Bytes execRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    const Program &program = random.pick(programs);
    ByteWriter args;
    uint32_t argc = 1;
    for (const char *a : program.args) argc += a != nullptr;
    args.u8(0x3c).u32(argc).cString(program.path);
    for (const char *a : program.args)
        if (a) args.cString(a);
    RecordBuilder r(random.below(2) ? 23 : 43190, seconds, ms);
    r.token(args.data()).path(program.path).attr(0100755, 0, 0);
    actor(r, processes.any(random));
    return r.returnValue(0, 0).build();
}

inline Bytes openRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    RecordBuilder r(random.below(3) ? 72 : 83, seconds, ms);
    const bool create = random.below(3) == 0;
    r.arg(2, create ? 0x601 : 0, "flags");
    if (create) r.arg(3, 0644, "mode");
    r.path(random.pick(files));
    const bool found = random.below(5) != 0;
    if (found) r.attr(random.below(2) ? 0100644 : 0100600, 501, 20);
    actor(r, processes.any(random));
    return r.returnValue(found ? 0 : 2, found ? uint32_t(3 + random.below(200)) : 0xFFFFFFFF).build();
}

inline Bytes networkRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    RecordBuilder r(random.below(2) ? 32 : 33, seconds, ms);
    r.arg(1, uint32_t(3 + random.below(60)), "fd");
    if (random.below(3)) {
        r.token(Token::socketInet(uint16_t(random.below(2) ? 443 : 22),
                                  {uint8_t(10 + random.below(200)), uint8_t(random.below(255)), 3, 4}));
    } else {
        Bytes remote(16, 0);
        remote[0] = 0x20;
        remote[1] = 0x01;
        remote[15] = uint8_t(random.below(255));
        r.token(Token::socketInet6(443, remote));
    }
    actor(r, processes.any(random));
    return r.returnValue(0, 0).build();
}

inline Bytes loginRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    const std::string user = random.pick(users);
    RecordBuilder r(random.below(2) ? 32800 : 45021, seconds, ms);
    r.token(Token::subjectEx(processes.any(random).subject, Bytes{192, 168, 1, uint8_t(random.below(255))}));
    r.text("successful login " + user);
    return r.returnValue(0, 0).build();
}

inline Bytes authRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    const std::string user = random.pick(users);
    const bool ok = random.below(4) != 0;
    RecordBuilder r(random.below(2) ? 45023 : 45025, seconds, ms);
    r.subject(processes.any(random).subject).text("Authentication for user <" + user + ">").text("system.preferences");
    return r.returnValue(ok ? 0 : 1, ok ? 0 : 5000).build();
}

// At least targetBytes of records in a fixed mix.
inline Bytes make(size_t targetBytes, uint64_t seed = 0x5eed)
{
    Random random(seed);
    const Processes processes(random);
    Bytes trail;
    trail.reserve(targetBytes + 512);
    uint32_t seconds = 1714564800;
    while (trail.size() < targetBytes) {
        const uint32_t ms = uint32_t(random.below(1000));
        seconds += uint32_t(random.below(2));
        const size_t kind = random.below(20);
        Bytes record = kind < 4    ? execRecord(random, processes, seconds, ms)
                       : kind < 12 ? openRecord(random, processes, seconds, ms)
                       : kind < 16 ? networkRecord(random, processes, seconds, ms)
                       : kind < 17 ? loginRecord(random, processes, seconds, ms)
                                   : authRecord(random, processes, seconds, ms);
        trail.insert(trail.end(), record.begin(), record.end());
    }
    return trail;
}

} // namespace BenchTrail
