#pragma once

// Deterministic trails for benchmarks and the tests that need big ones: a mix of program starts,
// file opens, network connections, logins and authorisations of 80 to 400 bytes a record over a
// few dozen processes (mixed), and a busy host's trail whose processes fork, run programs and exit
// as on a real machine, with tens of thousands of pids (busyHost).

#include "support/TrailBuilder.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace GeneratedTrail {

using TestBSM::Bytes;
using TestBSM::ByteWriter;
using TestBSM::Subject;
namespace Token = TestBSM::Token;
using Record = TestBSM::TrailRecordBuilder;

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
    const T &pick(const std::array<T, N> &items)
    {
        return items[below(N)];
    }

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
    {"/usr/sbin/mdworker_shared",
     "com.apple.mdworker_shared",
     {"-s", "mdworker", "-c", "MDSImporterWorker", "-m", "com.apple.mdworker.shared"}},
    {"/Applications/Xcode.app/Contents/Developer/usr/bin/make", "com.apple.dt.make", {"-j8", "all"}},
    {"/Applications/Xcode.app/Contents/Developer/Toolchains/XcodeDefault.xctoolchain/usr/bin/clang",
     "com.apple.clang",
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

// What a server people log in to opens: shorter paths, some of them ones the rules watch.
inline constexpr std::array<const char *, 10> serverFiles = {
    "/etc/hosts",
    "/etc/passwd",
    "/etc/master.passwd",
    "/etc/pam.d/sshd",
    "/usr/lib/libz.1.dylib",
    "/var/log/system.log",
    "/Users/build/.zshrc",
    "/private/tmp/agent.sock",
    "/private/var/run/utmpx",
    "/etc/ssh/sshd_config",
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
inline void actor(Record &r, const Process &p)
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
    Record r(random.below(2) ? 23 : 43190, seconds, ms);
    r.token(args.data()).path(program.path).attr(0100755, 0, 0);
    actor(r, processes.any(random));
    return r.returnValue(0, 0).build();
}

inline Bytes openRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    Record r(random.below(3) ? 72 : 83, seconds, ms);
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
    Record r(random.below(2) ? 32 : 33, seconds, ms);
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
    Record r(random.below(2) ? 32800 : 45021, seconds, ms);
    r.token(Token::subjectEx(processes.any(random).subject, Bytes{192, 168, 1, uint8_t(random.below(255))}));
    r.text("successful login " + user);
    return r.returnValue(0, 0).build();
}

inline Bytes authRecord(Random &random, const Processes &processes, uint32_t seconds, uint32_t ms)
{
    const std::string user = random.pick(users);
    const bool ok = random.below(4) != 0;
    Record r(random.below(2) ? 45023 : 45025, seconds, ms);
    r.subject(processes.any(random).subject).text("Authentication for user <" + user + ">").text("system.preferences");
    return r.returnValue(ok ? 0 : 1, ok ? 0 : 5000).build();
}

// At least targetBytes of records in a fixed mix.
inline Bytes mixed(size_t targetBytes, uint64_t seed = 0x5eed)
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

// The busy host's size.
struct BusyHostMix {
    size_t records = 1'000'000;
    uint32_t pidSpace = 60'000; // pids are handed out in turn from 100 up to 100 + pidSpace, then again
    // A trail as auditd leaves it on a host people log in to: half the opens read, half read, write
    // and create with their mode, of a server's shorter paths; every login sshd's, from another
    // host, with its message; chmods and unlinks in equal parts; a file token first and last.
    bool sshHost = false;
};

// A host under load: about 15 % execs, 10 % forks, 10 % exits, 40 % opens, 10 % connects, 5 %
// kills, 5 % logins and 5 % unlinks and chmods, in time order. Forked children mostly run a
// program, some run several in turn; pids are reused as a kernel reuses them, so a million records
// give about 60,000 distinct pids and 150,000 process images. A hundred processes were running
// before the trail began, so their children hang under placeholders.
class BusyHost {
public:
    BusyHost(uint64_t seed, BusyHostMix mix) : m_random(seed), m_mix(mix), m_live(size_t(mix.pidSpace) + 100, 0)
    {
        for (uint32_t pid = 1; pid < 100; ++pid) {
            Process p = newProcess(pid, m_random.pick(programs));
            m_processes.push_back(p);
            m_live[pid] = uint32_t(m_processes.size());
        }
    }

    Bytes make()
    {
        Bytes trail;
        trail.reserve(m_mix.records * 140);
        const auto file = [&](uint32_t seconds) {
            const Bytes token = Token::file(seconds, 0, "/var/audit/20240501120000.not_terminated");
            trail.insert(trail.end(), token.begin(), token.end());
        };
        if (m_mix.sshHost) file(1714564800);
        for (size_t i = 0; i < m_mix.records; ++i) {
            m_milliseconds += uint32_t(m_random.below(3));
            const uint32_t seconds = 1714564800 + m_milliseconds / 1000, ms = m_milliseconds % 1000;
            const size_t kind = m_random.below(100);
            Bytes record = kind < 15   ? exec(seconds, ms)
                           : kind < 25 ? fork(seconds, ms)
                           : kind < 35 ? exit(seconds, ms)
                           : kind < 75 ? open(seconds, ms)
                           : kind < 85 ? connect(seconds, ms)
                           : kind < 90 ? kill(seconds, ms)
                           : kind < 95 ? login(seconds, ms)
                                       : unlinkOrChmod(seconds, ms);
            trail.insert(trail.end(), record.begin(), record.end());
        }
        if (m_mix.sshHost) file(1714564800 + m_milliseconds / 1000);
        return trail;
    }

private:
    Process newProcess(uint32_t pid, const Program &program)
    {
        Process p;
        p.subject.auid = m_random.below(4) ? 501 + uint32_t(m_random.below(3)) : unset;
        p.subject.euid = m_random.below(5) == 0 ? 0 : p.subject.auid == unset ? 0 : p.subject.auid;
        p.subject.ruid = p.subject.euid;
        p.subject.pid = pid;
        p.subject.sid = 100000 + uint32_t(m_random.below(50));
        p.program = &program;
        p.signer = m_random.below(4) ? 1 : m_random.below(2) ? 2 : 0;
        p.team = p.signer == 2 ? "ABCDE12345" : "";
        p.cdhash.assign(20, 0);
        for (auto &b : p.cdhash) b = uint8_t(m_random.next());
        return p;
    }

    Process &anyProcess() { return m_processes[m_random.below(m_processes.size())]; }

    // The next free pid, as a kernel hands them out: in turn, skipping those in use.
    uint32_t nextPID()
    {
        for (;;) {
            m_nextPID = m_nextPID + 1 >= 100 + m_mix.pidSpace ? 100 : m_nextPID + 1;
            if (!m_live[m_nextPID]) return m_nextPID;
        }
    }

    Bytes exec(uint32_t seconds, uint32_t ms)
    {
        // Most execs are a fresh child's first; the others replace a running program.
        Process *p = nullptr;
        while (!p && !m_forked.empty()) {
            const uint32_t pid = m_forked.front();
            m_forked.pop_front();
            if (m_live[pid]) p = &m_processes[m_live[pid] - 1];
        }
        // A running program that starts another in its place is one the host forked, not a daemon.
        if ((!p || m_random.below(4) == 0) && m_processes.size() > 99)
            p = &m_processes[99 + m_random.below(m_processes.size() - 99)];
        if (!p) p = &anyProcess();
        const Program &program = m_random.pick(programs);
        const bool succeeded = m_random.below(30) != 0;
        ByteWriter args;
        uint32_t argc = 1;
        for (const char *a : program.args) argc += a != nullptr;
        const bool numbered = m_random.below(3) == 0;
        args.u8(0x3c).u32(argc + (numbered ? 1 : 0)).cString(program.path);
        for (const char *a : program.args)
            if (a) args.cString(a);
        if (numbered) args.cString("--job=" + std::to_string(m_random.below(100000)));
        if (succeeded) p->program = &program;
        Record r(23, seconds, ms);
        r.token(args.data()).path(program.path).attr(0100755, 0, 0).subject(p->subject);
        if (succeeded && p->signer) r.identity(p->signer, program.signingID, p->team, p->cdhash);
        return r.returnValue(succeeded ? 0 : 2, succeeded ? 0 : 0xFFFFFFFF).build();
    }

    Bytes fork(uint32_t seconds, uint32_t ms)
    {
        // With every pid taken the kernel refuses to fork: let the host open a file instead.
        if (m_processes.size() + 1 >= m_mix.pidSpace) return open(seconds, ms);
        // Daemons and shells that live long start most programs, so lineages stay a few levels deep.
        Process &parent = m_random.below(10) < 7 ? m_processes[m_random.below(99)] : anyProcess();
        const Subject subject = parent.subject;
        const uint32_t child = nextPID();
        Process p = newProcess(child, *parent.program);
        p.subject = subject;
        p.subject.pid = child;
        m_processes.push_back(p);
        m_live[child] = uint32_t(m_processes.size());
        m_forked.push_back(child);
        return Record(m_random.below(10) ? 2 : 25, seconds, ms).subject(subject).returnValue(0, child).build();
    }

    Bytes exit(uint32_t seconds, uint32_t ms)
    {
        // The processes from before the trail stay; so does a floor of others.
        if (m_processes.size() < 300) return open(seconds, ms);
        const size_t at = 99 + m_random.below(m_processes.size() - 99);
        const Subject subject = m_processes[at].subject;
        m_live[subject.pid] = 0;
        if (at + 1 != m_processes.size()) {
            m_processes[at] = std::move(m_processes.back());
            m_live[m_processes[at].subject.pid] = uint32_t(at + 1);
        }
        m_processes.pop_back();
        const uint32_t status = m_random.below(8) ? 0 : uint32_t(m_random.below(3) + 1);
        return Record(1, seconds, ms).exit(status, 0).subject(subject).returnValue(0, 0).build();
    }

    Bytes open(uint32_t seconds, uint32_t ms)
    {
        if (m_mix.sshHost) return sshHostOpen(seconds, ms);
        Record r(m_random.below(3) ? 72 : 76, seconds, ms);
        r.arg(2, m_random.below(3) ? 0 : 0x601, "flags").path(m_random.pick(files));
        const bool found = m_random.below(6) != 0;
        if (found) r.attr(m_random.below(2) ? 0100644 : 0100600, 501, 20);
        r.subject(anyProcess().subject);
        return r.returnValue(found ? 0 : 2, found ? uint32_t(3 + m_random.below(200)) : 0xFFFFFFFF).build();
    }

    Bytes connect(uint32_t seconds, uint32_t ms)
    {
        Record r(32, seconds, ms);
        r.arg(1, uint32_t(3 + m_random.below(60)), "fd");
        r.socketInet(m_random.below(2) ? 443 : 22,
                     {uint8_t(10 + m_random.below(200)), uint8_t(m_random.below(255)), 3, 4});
        const bool refused = m_random.below(10) == 0;
        return r.subject(anyProcess().subject).returnValue(refused ? 61 : 0, refused ? 0xFFFFFFFF : 0).build();
    }

    Bytes kill(uint32_t seconds, uint32_t ms)
    {
        const Subject target = anyProcess().subject;
        Record r(15, seconds, ms);
        r.arg(2, m_random.below(2) ? 15 : 9, "signal").process(target);
        return r.subject(anyProcess().subject).returnValue(0, 0).build();
    }

    // Read (72) or read, write and create (79), in equal parts.
    Bytes sshHostOpen(uint32_t seconds, uint32_t ms)
    {
        const bool create = m_random.below(2) == 0;
        Record r(create ? 79 : 72, seconds, ms);
        r.arg(2, create ? 0x602 : 0, "flags");
        if (create) r.arg(3, 0644, "mode");
        r.path(m_random.pick(serverFiles));
        const bool found = m_random.below(6) != 0;
        if (found) r.attr(m_random.below(2) ? 0100644 : 0100600, 501, 20);
        r.subject(anyProcess().subject);
        return r.returnValue(found ? 0 : 2, found ? uint32_t(3 + m_random.below(200)) : 0xFFFFFFFF).build();
    }

    Bytes login(uint32_t seconds, uint32_t ms)
    {
        if (m_mix.sshHost) {
            const std::string user = m_random.pick(users);
            const Bytes from{uint8_t(10 + m_random.below(200)), uint8_t(m_random.below(255)), 7,
                             uint8_t(m_random.below(255))};
            Record r(32800, seconds, ms);
            r.token(Token::subjectEx(anyProcess().subject, from));
            return r.text("successful login " + user).returnValue(0, 0).build();
        }
        const std::string user = m_random.pick(users);
        Record r(m_random.below(2) ? 32800 : 45021, seconds, ms);
        r.token(Token::subjectEx(anyProcess().subject, Bytes{192, 168, 1, uint8_t(m_random.below(255))}));
        return r.text("successful login " + user).returnValue(0, 0).build();
    }

    Bytes unlinkOrChmod(uint32_t seconds, uint32_t ms)
    {
        const bool chmod = m_random.below(2) == 0;
        Record r(chmod ? 10 : 6, seconds, ms);
        if (chmod) r.arg(2, m_random.below(20) ? 0644 : 04755, "new file mode");
        r.path(m_random.pick(m_mix.sshHost ? serverFiles : files)).subject(anyProcess().subject);
        return r.returnValue(0, 0).build();
    }

    static constexpr uint32_t unset = 0xFFFFFFFF;
    Random m_random;
    BusyHostMix m_mix;
    std::vector<Process> m_processes; // running now
    std::vector<uint32_t> m_live;     // pid -> 1 + its place in m_processes, 0 when free
    std::deque<uint32_t> m_forked;    // children that have not run a program yet, oldest first
    uint32_t m_nextPID = 100;
    uint32_t m_milliseconds = 0;
};

inline Bytes busyHost(BusyHostMix mix = {}, uint64_t seed = 0xb05b)
{
    return BusyHost(seed, mix).make();
}

} // namespace GeneratedTrail
