#pragma once

#include "Engine/Analysis/TrailStats.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/Record/AuditRecord.h"
#include "Views/Reference/ReferenceDocs.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The rows of the Reference screen's four tabs for one search text, worked out afresh on every
// change: the tables are small and the counts follow each rebuild of the store.
//
// Search: an empty text keeps every row; otherwise a row is kept when one of its searched fields
// contains the text, ignoring case. The text is used as typed, never trimmed.

// Catalogue order; short name, then description, searched.
std::vector<AuditClassInfo> referenceClasses(const AuditCatalog &catalog, std::string_view search);
// Sorted by number; name, description, then the number written in decimal equal to the whole text.
std::vector<AuditEventInfo> referenceEvents(const AuditCatalog &catalog, std::string_view search);
// Table order; name, then description (never the ids).
std::vector<TokenDoc> referenceTokens(std::string_view search);
// Documented rules, then the engine's command rules; name, description, then technique.
std::vector<RuleDoc> referenceRules(std::string_view search);

// Catalogue events whose class list holds exactly this short name.
int definedEventCount(const AuditCatalog &catalog, const std::string &shortName);
// Records per event number over every loaded record.
std::unordered_map<uint16_t, int64_t> eventCounts(const std::vector<AuditRecord> &records);
// Records per class short name, from the statistics' (top 20) class list.
std::unordered_map<std::string, int64_t> classRecordCounts(const TrailStats &stats);
