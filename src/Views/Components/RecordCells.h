#pragma once

#include "Engine/Record/AuditRecord.h"

#include <QString>

// The cells the record tables (Events, Live) have in common, made the same way in both.
namespace RecordCells {

// The process's executable name, cut to what a cell shows; empty without one.
QString process(const AuditRecord &record);
// The whole executable path, its middle cut when long; empty without one.
QString processPath(const AuditRecord &record);
// The record's one-line summary, its middle cut to what a cell shows.
QString details(const AuditRecord &record);

} // namespace RecordCells
