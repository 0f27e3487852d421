#pragma once

// Every field of a record, and of what analysis derives from records, as one line of text, so two
// runs can be compared whole and a difference reads as a diff.

#include "Engine/Analysis/Finding.h"
#include "Engine/Record/AuditRecord.h"

#include <functional>
#include <sstream>
#include <string_view>
#include <string>
#include <vector>

namespace TestRecords {

inline void dumpSubject(std::ostream &out, const SubjectInfo &s)
{
    out << '{' << s.auid << ' ' << s.euid << ' ' << s.egid << ' ' << s.ruid << ' ' << s.rgid << ' ' << s.pid << ' '
        << s.sid << ' ' << s.terminalPort << ' ' << s.terminalAddress << '}';
}

template <typename List>
void dumpList(std::ostream &out, const char *name, const List &items)
{
    out << ' ' << name << '[';
    for (const auto &item : items) out << item << '|';
    out << ']';
}

inline std::string dump(const AuditRecord &r)
{
    std::ostringstream out;
    out.precision(17);
    const std::string_view raw(reinterpret_cast<const char *>(r.raw().data()), r.raw().size());
    out << r.id << " src " << r.source << " ev " << r.event << '/' << r.modifier << " t " << r.time << " raw "
        << raw.size() << '#' << std::hash<std::string_view>()(raw) << " subj ";
    if (r.subject()) dumpSubject(out, *r.subject());
    out << " target ";
    if (r.target()) dumpSubject(out, *r.target());
    out << " ret " << int(r.returnStatus) << '/' << r.returnValue;
    dumpList(out, "paths", r.paths());
    dumpList(out, "texts", r.texts());
    out << " args[";
    for (const ArgView a : r.args()) out << int(a.number) << '=' << a.value << ':' << a.name << '|';
    out << ']';
    dumpList(out, "exec", r.execArgs());
    dumpList(out, "sockets", r.sockets());
    if (r.identity())
        out << " id " << r.identity()->signerType << ' ' << r.identity()->signingID << ' ' << r.identity()->teamID
            << ' ' << r.identity()->cdhash;
    if (r.exitStatus()) out << " exit " << *r.exitStatus();
    if (r.fileMode()) out << " mode " << *r.fileMode();
    if (r.fileOwner()) out << " owner " << *r.fileOwner();
    out << " tokens " << r.tokenCount;
    if (r.decodeError()) out << " error " << *r.decodeError();
    if (r.processImage) out << " image " << *r.processImage;
    return out.str();
}

inline std::vector<std::string> dump(const std::vector<AuditRecord> &records)
{
    std::vector<std::string> lines;
    lines.reserve(records.size());
    for (const AuditRecord &r : records) lines.push_back(dump(r));
    return lines;
}

// Everything but the id, which is random.
inline std::string dump(const Finding &f)
{
    std::ostringstream out;
    out.precision(17);
    out << f.rule << " | " << f.category << " | " << int(f.severity) << " | " << f.technique.value_or("-") << " | "
        << f.time << " | " << f.summary << " | " << f.explanation << " | " << f.user << " |";
    for (int64_t id : f.recordIDs) out << ' ' << id;
    return out.str();
}

inline std::vector<std::string> dump(const std::vector<Finding> &findings)
{
    std::vector<std::string> lines;
    for (const Finding &f : findings) lines.push_back(dump(f));
    return lines;
}

} // namespace TestRecords
