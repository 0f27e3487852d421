#pragma once

#include "Engine/Record/AuditRecord.h"
#include "Store/TrailSource.h"

#include <QString>

#include <cstdint>
#include <span>
#include <vector>

// What the Trail Files screen shows of a source, without widgets.

// The symbol beside a source's name: "doc", "lock.shield", "testtube.2" or
// "dot.radiowaves.left.and.right".
const char *sourceKindSymbol(TrailSource::Kind kind);

// "Clean", or the issue count as "%lld issue(s)".
QString integrityText(size_t issueCount);
const char *integritySymbol(size_t issueCount);

// "offset 0x00001000  " followed by the message.
QString issueLine(const ParseIssue &issue);
// Only this many issues are listed in the detail pane.
inline constexpr size_t listedIssueLimit = 50;

// True when the trail's one file token says it was never closed. With two tokens the trail has
// both its opening and closing token, whatever their names.
bool showsNotTerminatedNote(const TrailSource &source);

// The ids of the source's records, in the order of `records`.
std::vector<int64_t> recordIDsOfSource(std::span<const AuditRecord> records, int64_t sourceID);

inline constexpr const char *inMemoryPath = "in-memory";
inline constexpr const char *notTerminatedNote =
    "Trail was not cleanly terminated (auditd crash, power loss, or still active).";
inline constexpr const char *cleanSentence = "Every byte was accounted for by a well-formed record.";
