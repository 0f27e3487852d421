#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Record/AuditRecord.h"

#include <cstdint>
#include <string>

class AuditCatalog;
class UserResolver;

// The shown text and sort key of the record and finding table columns, computed on every call so
// every table shows and orders a column the same way. The resolver and catalogue default to the
// process-wide ones; tests pass their own.
namespace DisplayKeys {

// "User" columns: the audit user, then " → " and the effective user when the two texts differ;
// "—" for an unset id, the decimal id when no name is known, "" without a subject.
std::string userLabel(const AuditRecord &record, UserResolver &users);
std::string userLabel(const AuditRecord &record);
// "PID" columns: the subject's pid widened without sign; 0 without a subject.
int64_t pidValue(const AuditRecord &record);
// "Result" columns: 0 for success, 1 for any failure, so successes sort first.
int64_t resultRank(const AuditRecord &record);
// Events "Class" column: the event's class short names joined by ",".
std::string classLabel(const AuditRecord &record, const AuditCatalog &catalog);
std::string classLabel(const AuditRecord &record);
// "Event" columns: the catalogue's description, else its name, else "event N".
std::string eventLabel(const AuditRecord &record, const AuditCatalog &catalog);
std::string eventLabel(const AuditRecord &record);
// Findings severity column: 0 (info) to 4 (critical).
int64_t severityRank(const Finding &finding);

} // namespace DisplayKeys
