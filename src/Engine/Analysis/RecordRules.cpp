#include "Engine/Analysis/RecordRules.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Engine/Record/PathComponents.h"
#include "Engine/Support/Parallel.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>
#include <variant>

namespace Detections {
namespace {

namespace Number = AuditEvents::Number;

constexpr double loginAfterBurstLimit = 3600;
constexpr uint64_t setuidSetgidBits = 0xC00;
// Class bits of the standard audit_class file: fw 0x02, fm 0x08, fc 0x10, fd 0x20.
constexpr uint32_t deletionClassBits = 0x3A;
constexpr uint32_t deletionClassValue = 0x20;
constexpr uint32_t writeClassBits = 0x1A;

std::string joined(const StringList &parts, size_t from = 0)
{
    std::string out;
    for (size_t i = from; i < parts.size(); ++i) {
        if (i > from) out += ' ';
        out += parts[i];
    }
    return out;
}

// The patterns are ASCII, so only lowercase mappings that reach ASCII letters matter: A to Z and
// the Kelvin sign, which lowercases to k. (The dotted capital I gives i and a combining dot, which
// no pattern can take up.)
std::string lowercased(std::string_view text)
{
    constexpr std::string_view kelvin = "\u212A";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            out += char(c - 'A' + 'a');
        } else if (c == kelvin[0] && text.substr(i, kelvin.size()) == kelvin) {
            out += 'k';
            i += kelvin.size() - 1;
        } else {
            out += c;
        }
    }
    return out;
}

std::string octal(uint64_t value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%" PRIo64, value);
    return buffer;
}

// The first of a record's paths that a path rule takes, and what the classifier said of it.
struct PathHit {
    std::string_view path;
    std::variant<std::monostate, LogArtifact, PersistenceLocation, std::string> found;
};

// One record as the rules see it. What several rules read is worked out once, when first asked.
class Facts {
public:
    Facts(const AuditRecord &record, const Origins &origins) : record(record), m_origins(origins) {}

    const AuditRecord &record;

    bool succeeded() const { return record.returnStatus == 0; }
    const std::string &description() const
    {
        if (!m_description) m_description = AuditCatalog::shared().eventDescription(record.event);
        return *m_description;
    }
    std::string firstText() const
    {
        return record.texts().empty() ? description() : std::string(record.texts().front());
    }
    const std::string &origin() const
    {
        if (!m_origin) m_origin = Detections::origin(record);
        return *m_origin;
    }
    // Null when the origin failed no authentication.
    const OriginHistory *history() const
    {
        const auto found = m_origins.find(origin());
        return found == m_origins.end() ? nullptr : &found->second;
    }

    // What an execution ran: its first path, else its first argument.
    std::string_view image() const
    {
        if (!m_image) {
            const StringList paths = record.paths(), arguments = record.execArgs();
            m_image = !paths.empty() ? paths.front() : !arguments.empty() ? arguments.front() : std::string_view();
        }
        return *m_image;
    }
    std::string_view executable() const
    {
        if (!m_executable) m_executable = lastPathComponent(image());
        return *m_executable;
    }
    const std::string &arguments() const
    {
        if (!m_arguments) m_arguments = joined(record.execArgs());
        return *m_arguments;
    }
    const std::string &commandLine() const
    {
        if (!m_commandLine) m_commandLine = lowercased(arguments());
        return *m_commandLine;
    }
    const std::optional<std::string> &location() const
    {
        if (!m_location) m_location = suspiciousLocation(image());
        return *m_location;
    }

    const PathHit &pathHit() const
    {
        if (!m_pathHit) m_pathHit = firstPathHit();
        return *m_pathHit;
    }

private:
    // Path by path, each rule in turn: the first path that gives a finding ends the search.
    PathHit firstPathHit() const
    {
        const StringList paths = record.paths();
        if (paths.empty()) return {};
        const auto &masks = AuditCatalog::shared().eventMasks;
        const auto found = masks.find(record.event);
        const uint32_t mask = found == masks.end() ? 0 : found->second;
        const bool deletion = AuditEvents::delete_.contains(record.event)
                              || (mask & deletionClassBits) == deletionClassValue;
        const bool writing = (mask & writeClassBits) != 0;
        const bool systemProcess = record.processImage && record.processImage->starts_with("/System/");
        for (const std::string_view path : paths) {
            if (deletion)
                if (auto artifact = logArtifact(path)) return {path, std::move(*artifact)};
            if (writing)
                if (auto location = persistenceLocation(path)) return {path, std::move(*location)};
            if (!systemProcess)
                if (auto why = sensitiveData(path)) return {path, std::move(*why)};
        }
        return {};
    }

    const Origins &m_origins;
    mutable std::optional<std::string> m_description;
    mutable std::optional<std::string> m_origin;
    mutable std::optional<std::string_view> m_image;
    mutable std::optional<std::string_view> m_executable;
    mutable std::optional<std::string> m_arguments;
    mutable std::optional<std::string> m_commandLine;
    mutable std::optional<std::optional<std::string>> m_location;
    mutable std::optional<PathHit> m_pathHit;
};

enum class Outcome : uint8_t { succeeded, failed, either };

// Rows that share one of these are alternatives: the first of them that fires ends them.
enum Alternatives : uint8_t { alone, authentication, account, audit };

struct Row {
    bool (*events)(uint16_t event);
    Outcome outcome;
    Alternatives alternatives;
    // The conditions beyond event and outcome; none when null.
    bool (*when)(const Facts &);
    RuleText text;
    std::string (*summary)(const Facts &);
    // The words the evidence changes, where it does.
    void (*adjust)(const Facts &, Finding &) = nullptr;
    // Set on the rows made from the command-line table, whose patterns are their condition.
    const CommandRule *command = nullptr;

    bool holds(const Facts &facts) const
    {
        if (command) return command->match(facts.executable(), facts.commandLine());
        return !when || when(facts);
    }
};

template <const AuditEventSet &set>
bool in(uint16_t event)
{
    return set.contains(event);
}

template <const AuditEventSet &set>
bool notIn(uint16_t event)
{
    return !set.contains(event);
}

template <uint16_t... numbers>
bool oneOf(uint16_t event)
{
    return ((event == numbers) || ...);
}

std::string firstText(const Facts &facts)
{
    return facts.firstText();
}

// The value of the first argument whose name says it is a mode.
std::optional<uint64_t> mode(const AuditRecord &record)
{
    for (const ArgView arg : record.args())
        if (arg.name.find("mode") != std::string_view::npos) return arg.value;
    return std::nullopt;
}

std::string pathSummary(const Facts &facts)
{
    return facts.description() + ": " + std::string(facts.pathHit().path);
}

template <typename Found>
bool pathFound(const Facts &facts)
{
    return std::holds_alternative<Found>(facts.pathHit().found);
}

template <typename Found>
const Found &pathFinding(const Facts &facts)
{
    return std::get<Found>(facts.pathHit().found);
}

// The rules over one record, in the order a record's findings are made. The command-line rules
// run between the two parts, each as a row of its own, in their table's order.
constexpr Row beforeCommandLines[] = {
    {in<AuditEvents::remoteLogin>, Outcome::succeeded, authentication,
     [](const Facts &f) {
         const OriginHistory *history = f.history();
         return history && history->lastBurst && f.record.time > *history->lastBurst
                && f.record.time - *history->lastBurst < loginAfterBurstLimit;
     },
     Rules::loginAfterBruteForce,
     [](const Facts &f) { return "Successful remote login from " + f.origin() + " shortly after a brute-force burst"; }},
    {in<AuditEvents::remoteLogin>, Outcome::succeeded, authentication, nullptr, Rules::remoteLogin,
     [](const Facts &f) { return "Remote login (" + f.description() + ") from " + f.origin(); }},
    {in<AuditEvents::privilegeElevation>, Outcome::failed, authentication, nullptr, Rules::failedPrivilegeElevation,
     firstText},
    {in<AuditEvents::privilegeElevation>, Outcome::succeeded, authentication, nullptr, Rules::privilegeElevation,
     firstText},
    // An origin with enough failures to be guessing is left to the brute-force pass.
    {inAuthenticationSet, Outcome::failed, authentication,
     [](const Facts &f) {
         const OriginHistory *history = f.history();
         return !history || history->failures < bruteForceThreshold;
     },
     Rules::authenticationFailure, firstText},
    // The events that create users or groups.
    {in<AuditEvents::accountManagement>, Outcome::succeeded, account,
     [](const Facts &f) {
         return oneOf<Number::createUser, Number::createGroup, Number::darwinCreateGroup>(f.record.event);
     },
     Rules::accountCreated, firstText},
    {in<AuditEvents::accountManagement>, Outcome::succeeded, account, nullptr, Rules::accountModified, firstText},
    // Audit shutdown, which is an audit control event too.
    {oneOf<Number::auditShutdown>, Outcome::either, audit, nullptr, Rules::auditStopped, firstText},
    {in<AuditEvents::auditControl>, Outcome::either, audit, nullptr, Rules::auditConfigurationChange,
     [](const Facts &f) { return f.description() + (f.succeeded() ? "" : " (failed)"); },
     [](const Facts &f, Finding &finding) {
         if (!f.succeeded()) finding.severity = Severity::medium;
     }},
    {in<AuditEvents::timeChange>, Outcome::succeeded, alone, nullptr, Rules::clockChanged,
     [](const Facts &f) {
         const std::string_view name = f.record.processImage ? lastPathComponent(*f.record.processImage) : "";
         return "settimeofday() by "
                + (!name.empty() ? std::string(name)
                                 : "pid " + std::to_string(f.record.subject() ? f.record.subject()->pid : 0));
     }},
    {in<AuditEvents::processAccess>, Outcome::succeeded, alone,
     [](const Facts &f) {
         return f.record.target() && !(f.record.subject() && f.record.subject()->pid == f.record.target()->pid);
     },
     Rules::processMemoryAccess,
     [](const Facts &f) {
         return f.description() + " on pid " + std::to_string(f.record.target()->pid) + " ("
                + UserResolver::shared().shortName(f.record.target()->euid) + ")";
     }},
    {in<AuditEvents::chmod>, Outcome::succeeded, alone,
     [](const Facts &f) {
         const auto bits = mode(f.record);
         return bits && (*bits & setuidSetgidBits) != 0;
     },
     Rules::setuidSetgidBit,
     [](const Facts &f) {
         return "chmod " + octal(*mode(f.record)) + " "
                + (f.record.paths().empty() ? std::string("?") : std::string(f.record.paths().front()));
     }},
    {in<AuditEvents::exec>, Outcome::succeeded, alone, [](const Facts &f) { return f.location().has_value(); },
     Rules::executionFrom, [](const Facts &f) { return std::string(f.image()) + " " + joined(f.record.execArgs(), 1); },
     [](const Facts &f, Finding &finding) {
         finding.rule = ruleWords(finding.rule.str() + *f.location());
         if (*f.location() == "hidden path") finding.technique = "T1564.001";
     }},
};

std::string commandLineSummary(const Facts &f)
{
    return f.arguments().empty() ? std::string(f.image()) : f.arguments();
}

constexpr Row afterCommandLines[] = {
    // The path rules take their severity, technique and explanation from the classifier that fired.
    {notIn<AuditEvents::exec>, Outcome::succeeded, alone, pathFound<LogArtifact>, Rules::logRemoved, pathSummary,
     [](const Facts &f, Finding &finding) {
         finding.technique = pathFinding<LogArtifact>(f).technique;
         finding.explanation = ruleWords(pathFinding<LogArtifact>(f).why);
     }},
    {notIn<AuditEvents::exec>, Outcome::succeeded, alone, pathFound<PersistenceLocation>, Rules::persistenceModified,
     pathSummary,
     [](const Facts &f, Finding &finding) {
         finding.severity = pathFinding<PersistenceLocation>(f).severity;
         finding.technique = pathFinding<PersistenceLocation>(f).technique;
         finding.explanation = ruleWords(pathFinding<PersistenceLocation>(f).why);
     }},
    {notIn<AuditEvents::exec>, Outcome::succeeded, alone, pathFound<std::string>, Rules::sensitiveDataAccess,
     pathSummary,
     [](const Facts &f, Finding &finding) { finding.explanation = ruleWords(pathFinding<std::string>(f)); }},
    // connect(2) and putmsg-connect; only the first socket is looked at.
    {oneOf<Number::connect, Number::sockconnect>, Outcome::succeeded, alone,
     [](const Facts &f) {
         return f.record.processImage && !f.record.sockets().empty() && !f.record.sockets().front().starts_with("/")
                && suspiciousLocation(*f.record.processImage);
     },
     Rules::networkFromSuspiciousBinary,
     [](const Facts &f) {
         return std::string(lastPathComponent(*f.record.processImage)) + " → "
                + std::string(f.record.sockets().front());
     }},
};

// The rows, and for each event number the rows that may fire for it, as bits in row order.
class Table {
public:
    Table()
    {
        m_rows.assign(std::begin(beforeCommandLines), std::end(beforeCommandLines));
        for (const CommandRule &rule : commandRules())
            m_rows.push_back({in<AuditEvents::exec>,
                              Outcome::succeeded,
                              alone,
                              nullptr,
                              {rule.name, rule.category, rule.severity, rule.technique, rule.explanation},
                              commandLineSummary,
                              nullptr,
                              &rule});
        m_rows.insert(m_rows.end(), std::begin(afterCommandLines), std::end(afterCommandLines));
        if (m_rows.size() > 64) throw std::logic_error("more detection rules than bits in a row mask");

        for (size_t r = 0; r < m_rows.size(); ++r) {
            const Row &row = m_rows[r];
            const uint64_t bit = uint64_t(1) << r;
            if (row.outcome != Outcome::failed) m_succeeded |= bit;
            if (row.outcome != Outcome::succeeded) m_failed |= bit;
            uint64_t later = 0;
            for (size_t s = r + 1; s < m_rows.size(); ++s)
                if (row.alternatives != alone && m_rows[s].alternatives == row.alternatives) later |= uint64_t(1) << s;
            m_alternativesAfter.push_back(later);
        }

        // Events with the same rows share one mask; rows with the same event test share its answer.
        m_maskOfEvent.resize(size_t(UINT16_MAX) + 1);
        std::vector<uint64_t> masks(m_maskOfEvent.size());
        std::vector<bool (*)(uint16_t)> tests;
        for (const Row &row : m_rows)
            if (std::find(tests.begin(), tests.end(), row.events) == tests.end()) tests.push_back(row.events);
        for (const auto test : tests) {
            uint64_t rows = 0;
            for (size_t r = 0; r < m_rows.size(); ++r)
                if (m_rows[r].events == test) rows |= uint64_t(1) << r;
            for (size_t event = 0; event < masks.size(); ++event)
                if (test(uint16_t(event))) masks[event] |= rows;
        }
        for (size_t event = 0; event < masks.size(); ++event) {
            const auto known = std::find(m_masks.begin(), m_masks.end(), masks[event]);
            m_maskOfEvent[event] = uint16_t(known - m_masks.begin());
            if (known == m_masks.end()) m_masks.push_back(masks[event]);
        }
    }

    const Row &row(size_t r) const { return m_rows[r]; }
    uint64_t candidates(const AuditRecord &record) const
    {
        return m_masks[m_maskOfEvent[record.event]] & (record.returnStatus == 0 ? m_succeeded : m_failed);
    }
    // The alternatives of row r that come after it.
    uint64_t alternativesAfter(size_t r) const { return m_alternativesAfter[r]; }

private:
    std::vector<Row> m_rows;
    uint64_t m_succeeded = 0;
    uint64_t m_failed = 0;
    std::vector<uint64_t> m_alternativesAfter;
    std::vector<uint16_t> m_maskOfEvent;
    std::vector<uint64_t> m_masks;
};

} // namespace

Finding makeFinding(const RuleText &text, const AuditRecord &record, std::string summary)
{
    Finding finding;
    finding.id = Uuid::random();
    finding.rule = ruleWords(text.name);
    finding.category = ruleWords(text.category);
    finding.severity = text.severity;
    finding.technique = std::string(text.technique);
    finding.time = record.time;
    finding.summary = std::move(summary);
    finding.explanation = ruleWords(text.explanation);
    finding.recordIDs = {record.id};
    finding.user = user(record);
    return finding;
}

std::string origin(const AuditRecord &record)
{
    if (!record.subject()) return "unknown";
    const std::string &address = record.subject()->terminalAddress;
    if (address != "0.0.0.0" && address != "::") return address;
    return "session " + std::to_string(record.subject()->sid);
}

void checkRecords(std::span<const AuditRecord> records, const Origins &origins, std::vector<Finding> &findings)
{
    static const Table table;
    for (size_t at = 0; at < records.size(); ++at) {
        // A superseded or over-budget load stops here.
        if ((at & 1023) == 1023) Parallel::checkpoint();
        const AuditRecord &record = records[at];
        uint64_t candidates = table.candidates(record);
        if (!candidates) continue;
        const Facts facts(record, origins);
        while (candidates) {
            const auto r = size_t(std::countr_zero(candidates));
            candidates &= candidates - 1;
            const Row &row = table.row(r);
            if (!row.holds(facts)) continue;
            Finding finding = makeFinding(row.text, record, row.summary(facts));
            if (row.adjust) row.adjust(facts, finding);
            findings.push_back(std::move(finding));
            candidates &= ~table.alternativesAfter(r);
        }
    }
}

} // namespace Detections
