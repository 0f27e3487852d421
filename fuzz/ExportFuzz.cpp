// Whatever the records hold, the JSON export parses back with one object per record, the CSV has
// one row of twenty cells per record, and the findings report one timeline row per finding.

#include "Engine/Analysis/TrailAnalysis.h"
#include "Engine/Analysis/TrailStats.h"
#include "Engine/Export/EventExporter.h"
#include "Engine/Export/FindingsReport.h"

#include "FuzzRecords.h"

#include <nlohmann/json.hpp>

#include <sstream>

namespace {

// Rows and their cell counts, reading quotes as RFC 4180 does.
std::vector<size_t> csvRows(const std::string &text)
{
    std::vector<size_t> rows;
    size_t cells = 1;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') ++i;
            else if (c == '"') quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            ++cells;
        } else if (c == '\n') {
            rows.push_back(cells);
            cells = 1;
        } else {
            require(c != '\r', "no bare carriage return outside quotes");
        }
    }
    require(!quoted, "every quote closed");
    require(cells == 1, "the last row ends with a line feed");
    return rows;
}

// The bars of a Markdown table row that split cells: a bar after a backslash is the cell's text.
size_t bars(const std::string &line)
{
    size_t count = 0;
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '|' && (i == 0 || line[i - 1] != '\\')) ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::vector<AuditRecord> records = FuzzRecords::records(in, 40);
    const auto list = Exporter::RecordList::of(records);

    std::ostringstream json;
    Exporter::writeEvents(json, list, Exporter::Format::json);
    const nlohmann::json document = nlohmann::json::parse(json.str()); // throws, and so fails, on bad JSON
    require(document.is_array() && document.size() == records.size(), "one JSON object per record");
    for (size_t i = 0; i < records.size(); ++i) {
        require(document[i]["id"] == records[i].id, "objects in record order");
        require(document[i]["paths"].size() == records[i].paths().size(), "every path exported");
        require(document[i]["commandLine"].size() == records[i].execArgs().size(), "every argument exported");
    }

    std::ostringstream csv;
    Exporter::writeEvents(csv, list, Exporter::Format::csv);
    const std::vector<size_t> rows = csvRows(csv.str());
    require(rows.size() == records.size() + 1, "a header and one CSV row per record");
    for (const size_t cells : rows) require(cells == 20, "twenty cells in every row");

    const TrailAnalysis analysis = TrailAnalysis::of(records, {}, Parallel::Pool::single());
    const std::vector<Exporter::ReportSource> sources = {{in.ConsumeRandomLengthString(16), int64_t(records.size())}};
    const std::string report = Exporter::findingsReport(analysis.findings, sources,
                                                        TrailStats::compute(analysis.records), 1700000000);
    const size_t timeline = report.find("\n## Timeline\n");
    require(timeline != std::string::npos, "the report has its timeline");
    require(report.find("\n## Timeline\n", timeline + 1) == std::string::npos, "and only one");
    require(report.find("\n| Severity | Count |\n") == report.rfind("\n| Severity | Count |\n"), "one count table");
    std::istringstream lines(report.substr(timeline));
    std::string line;
    size_t tableRows = 0;
    while (std::getline(lines, line)) {
        if (!line.starts_with("|")) continue;
        require(bars(line) == 7, "every timeline row has six cells");
        ++tableRows;
    }
    require(tableRows == analysis.findings.size() + 2, "one timeline row per finding, after the heading rows");
    return 0;
}
