#pragma once

#include "Engine/Analysis/Finding.h"
#include "Engine/Analysis/TrailStats.h"
#include "Engine/Export/EventExporter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The Markdown findings report: the loaded trails, their time span, the findings per severity
// and a timeline of every finding, for readers who do not run the program.
namespace Exporter {

inline constexpr const char *findingsReportFileName = "audit-findings.md";

// One loaded trail as the report lists it.
struct ReportSource {
    std::string name;
    int64_t recordCount = 0;
};

// How the report writes a date; the default is mediumDateTime.
using DateText = std::function<std::string(double time)>;

// Medium date and time in the local time zone, e.g. "Mar 5, 2024 at 2:07:09 PM"; beyond the
// calendar, the plain seconds.
std::string mediumDateTime(double time);

// The report text. Of the statistics only the first and last record times are read; generated
// is the time the report is made.
std::string findingsReport(std::span<const Finding> findings, std::span<const ReportSource> sources,
                           const TrailStats &stats, double generated, const DateText &dateText = mediumDateTime);

// Writes the report at path (now as its generation time), replacing any old file at once.
// Throws ExportError.
void exportFindings(std::span<const Finding> findings, std::span<const ReportSource> sources, const TrailStats &stats,
                    const std::string &path, const DateText &dateText = mediumDateTime);

// A table cell's text: "|" becomes "\|" and each line break one space, so the row stays one row.
std::string markdownCell(std::string_view text);
// The text as one Markdown code span: line breaks become spaces, and the fence is longer than any
// run of backticks in it, so a file name or summary cannot end the span or start a line.
std::string inlineCode(std::string_view text);

} // namespace Exporter
