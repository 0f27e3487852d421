#include "Engine/Export/FindingsReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Exporter::ReportSource;

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Finding finding(double time, Severity severity, std::string rule, std::optional<std::string> technique,
                std::string user, std::string summary)
{
    Finding f;
    f.id = Uuid::random();
    f.time = time;
    f.severity = severity;
    f.rule = std::move(rule);
    f.technique = std::move(technique);
    f.user = std::move(user);
    f.summary = std::move(summary);
    return f;
}

const std::string timelineHeader =
    "\n## Timeline\n\n| Time | Severity | Rule | ATT&CK | User | Summary |\n|---|---|---|---|---|---|\n";

TrailStats span(std::optional<double> first, std::optional<double> last)
{
    TrailStats stats;
    stats.first = first;
    stats.last = last;
    return stats;
}

// Dates as plain seconds, so the layout cases read without clock arithmetic.
std::string seconds(double time)
{
    return std::to_string(static_cast<long long>(time));
}

TEST(FindingsReport, MatchesTheHandWrittenFile)
{
    const std::vector<Finding> findings = {
        finding(1709647629.125, Severity::high, "Privilege escalation via sudo", "T1548.003", "orvik \u2192 root",
                "sudo sh -c echo a|b"),
        finding(1709647600, Severity::low, "Login | local", std::nullopt, "a|b\nc", "line1\r\nline2|x"),
        finding(1709647629.125, Severity::high, "Second at same time", "T1059", "root", "plain"),
    };
    const std::vector<ReportSource> sources = {{"20240305.trail", 3}, {"Live capture 14:05", 1}};
    const char *root = std::getenv("QUILLMARSH_TEST_DATA");
    const std::string expected = readFile(fs::path(root ? root : "tests/data") / "export/findings.md");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Exporter::findingsReport(findings, sources, span(1709647629.125, 1709647631.999), 1709650000), expected);
}

TEST(FindingsReport, Layout)
{
    struct Case {
        const char *name;
        std::vector<Finding> findings;
        std::vector<ReportSource> sources;
        std::optional<double> first, last;
        std::string expected;
    };
    const std::string head = "# Quillmarsh findings report\n\nGenerated 100\n\n";
    const std::string severityHeader = "| Severity | Count |\n|---|---|\n";
    const Case cases[] = {
        {"nothing loaded: sources line keeps its space, tables are headers only",
         {},
         {},
         std::nullopt,
         std::nullopt,
         head + "Sources: \n\n" + severityHeader + timelineHeader},
        {"one record is still 'records', no span without a last time",
         {},
         {{"a", 1}},
         5.0,
         std::nullopt,
         head + "Sources: `a` (1 records)\n\n" + severityHeader + timelineHeader},
        {"span when both times are known",
         {},
         {{"a", 2}},
         5.0,
         9.0,
         head + "Sources: `a` (2 records)\n\nTime span: 5 \u2192 9\n\n" + severityHeader + timelineHeader},
        {"severities from critical down, absent ones skipped, no technique leaves the cell empty",
         {finding(7, Severity::low, "r1", "T1", "u", "s1"),
          finding(8, Severity::critical, "r2", std::nullopt, "u", "s2"),
          finding(6, Severity::low, "r3", "T3", "u", "s3")},
         {},
         std::nullopt,
         std::nullopt,
         head + "Sources: \n\n" + severityHeader + "| Critical | 1 |\n| Low | 2 |\n" + timelineHeader
             + "| 6 | Low | r3 | T3 | u | `s3` |\n| 7 | Low | r1 | T1 | u | `s1` |\n| 8 | Critical | r2 |  | u | `s2` |\n"},
        {"equal times keep input order",
         {finding(3, Severity::info, "b", "T", "u", "x"), finding(3, Severity::medium, "a", "T", "u", "y")},
         {},
         std::nullopt,
         std::nullopt,
         head + "Sources: \n\n" + severityHeader + "| Medium | 1 |\n| Info | 1 |\n" + timelineHeader
             + "| 3 | Info | b | T | u | `x` |\n| 3 | Medium | a | T | u | `y` |\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Exporter::findingsReport(c.findings, c.sources, span(c.first, c.last), 100, seconds), c.expected)
            << c.name;
}

// A file name may hold any byte but "/", a summary whatever a record said: neither may add lines,
// headings or rows to the report, nor end its code span early.
TEST(FindingsReport, CellsAndCodeSpansStayOnOneRow)
{
    const auto cell = Exporter::markdownCell;
    const auto code = Exporter::inlineCode;
    struct Case {
        const char *name;
        std::string (*format)(std::string_view);
        const char *text;
        const char *expected;
    };
    const Case cases[] = {
        {"bar escaped", cell, "a|b", "a\\|b"},
        {"line feed becomes a space", cell, "a\nb", "a b"},
        {"carriage return becomes a space", cell, "a\rb", "a b"},
        {"CR LF is one line break", cell, "a\r\nb", "a b"},
        {"two breaks, two spaces", cell, "a\n\nb", "a  b"},
        {"other text untouched", cell, "orvik \u2192 root `x`", "orvik \u2192 root `x`"},
        {"plain code", code, "a.bsm", "`a.bsm`"},
        {"line breaks in code become spaces", code, "x\n## Timeline\r\n| 1 |", "`x ## Timeline | 1 |`"},
        {"a backtick inside: a longer fence", code, "a`b", "``a`b``"},
        {"a run of two: a fence of three", code, "a``b`", "``` a``b` ```"},
        {"a backtick at the start is kept off the fence", code, "`a", "`` `a ``"},
        {"empty code", code, "", "``"},
    };
    for (const Case &c : cases) EXPECT_EQ(c.format(c.text), c.expected) << c.name;

    const std::vector<Finding> findings = {finding(1, Severity::high, "r", "T", "u", "s`|`\nt")};
    const std::vector<ReportSource> sources = {{"w\n## Timeline\n\n| Severity |", 1}};
    const std::string report = Exporter::findingsReport(findings, sources, TrailStats(), 100, seconds);
    EXPECT_NE(report.find("Sources: `w ## Timeline  | Severity |` (1 records)\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("\n## Timeline\n"), report.rfind("\n## Timeline\n")) << "one timeline heading";
    EXPECT_NE(report.find("| 1 | High | r | T | u | ``s`\\|` t`` |\n"), std::string::npos) << report;
}

TEST(FindingsReport, MediumDateTimes)
{
    struct Case {
        const char *name;
        double time;
        const char *expected;
    };
    const Case cases[] = {
        {"afternoon", 1709647629.9, "Mar 5, 2024 at 2:07:09 PM"},
        {"midnight is 12 AM", 1704067200, "Jan 1, 2024 at 12:00:00 AM"},
        {"noon is 12 PM", 1704110400, "Jan 1, 2024 at 12:00:00 PM"},
        {"last second of the year", 1704067199, "Dec 31, 2023 at 11:59:59 PM"},
    };
    for (const Case &c : cases) EXPECT_EQ(Exporter::mediumDateTime(c.time), c.expected) << c.name;
}

TEST(FindingsReport, ExportWritesTheFileOrThrows)
{
    std::string pattern = (fs::temp_directory_path() / "report-test-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const fs::path path = folder / Exporter::findingsReportFileName;
    const std::vector<Finding> findings = {finding(1, Severity::high, "r", "T", "u", "s")};
    const std::vector<ReportSource> sources = {{"a", 1}};
    Exporter::exportFindings(findings, sources, TrailStats(), path.string(), seconds);
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("# Quillmarsh findings report\n\nGenerated ", 0), 0u);
    EXPECT_NE(text.find("| 1 | High | r | T | u | `s` |\n"), std::string::npos);
    EXPECT_THROW(Exporter::exportFindings(findings, sources, TrailStats(), (folder / "missing" / "r.md").string()),
                 Exporter::ExportError);
    fs::remove_all(folder);
}

} // namespace
