#include "Engine/Export/FindingsReport.h"

#include "Engine/Support/UtcTime.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <vector>

namespace Exporter {

namespace {

constexpr std::array<Severity, 5> reportOrder = {Severity::critical, Severity::high, Severity::medium, Severity::low,
                                                 Severity::info};

} // namespace

std::string mediumDateTime(double time)
{
    static constexpr const char *months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::optional<std::tm> fields = UtcTime::localCalendar(time);
    if (!fields) return UtcTime::plainSeconds(time);
    const std::tm &local = *fields;
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char text[64];
    std::snprintf(text, sizeof text, "%s %d, %d at %d:%02d:%02d %s", months[local.tm_mon], local.tm_mday,
                  local.tm_year + 1900, hour12, local.tm_min, local.tm_sec, local.tm_hour < 12 ? "AM" : "PM");
    return text;
}

std::string markdownCell(std::string_view text)
{
    std::string cell;
    cell.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '|') {
            cell += "\\|";
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            cell += ' ';
        } else {
            cell += c;
        }
    }
    return cell;
}

std::string inlineCode(std::string_view text)
{
    std::string oneLine;
    oneLine.reserve(text.size());
    size_t run = 0, longest = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            oneLine += ' ';
        } else {
            oneLine += c;
        }
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    // A fence longer than any run of backticks inside; a space keeps a backtick at either end
    // from joining the fence, and readers drop it.
    const std::string fence(longest + 1, '`');
    const bool pad = !oneLine.empty() && (oneLine.front() == '`' || oneLine.back() == '`');
    return fence + (pad ? " " : "") + oneLine + (pad ? " " : "") + fence;
}

std::string findingsReport(std::span<const Finding> findings, std::span<const ReportSource> sources,
                           const TrailStats &stats, double generated, const DateText &dateText)
{
    std::string text = "# Quillmarsh findings report\n\n";
    text += "Generated " + dateText(generated) + "\n\n";

    text += "Sources: ";
    for (size_t i = 0; i < sources.size(); ++i) {
        if (i) text += ", ";
        text += inlineCode(sources[i].name) + " (" + std::to_string(sources[i].recordCount) + " records)";
    }
    text += "\n\n";

    if (stats.first && stats.last)
        text += "Time span: " + dateText(*stats.first) + " \u2192 " + dateText(*stats.last) + "\n\n";

    text += "| Severity | Count |\n|---|---|\n";
    for (const Severity severity : reportOrder) {
        const auto count = std::count_if(findings.begin(), findings.end(),
                                         [&](const Finding &f) { return f.severity == severity; });
        if (count > 0) text += "| " + std::string(severityTitle(severity)) + " | " + std::to_string(count) + " |\n";
    }

    text += "\n## Timeline\n\n| Time | Severity | Rule | ATT&CK | User | Summary |\n|---|---|---|---|---|---|\n";
    std::vector<const Finding *> ordered;
    ordered.reserve(findings.size());
    for (const Finding &finding : findings) ordered.push_back(&finding);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Finding *a, const Finding *b) { return a->time < b->time; });
    for (const Finding *finding : ordered) {
        text += "| " + dateText(finding->time) + " | " + severityTitle(finding->severity) + " | "
                + markdownCell(finding->rule) + " | " + markdownCell(finding->technique.value_or("")) + " | "
                + markdownCell(finding->user) + " | " + inlineCode(markdownCell(finding->summary)) + " |\n";
    }
    return text;
}

void exportFindings(std::span<const Finding> findings, std::span<const ReportSource> sources, const TrailStats &stats,
                    const std::string &path, const DateText &dateText)
{
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    replaceFile(path, findingsReport(findings, sources, stats, now, dateText));
}

} // namespace Exporter
