#include "Views/Sources/SourceRows.h"

#include <algorithm>
#include <array>

const char *sourceKindSymbol(TrailSource::Kind kind)
{
    constexpr std::array<const char *, 4> symbols = {"doc", "lock.shield", "testtube.2",
                                                     "dot.radiowaves.left.and.right"};
    return symbols[static_cast<size_t>(kind)];
}

QString integrityText(const TrailSource &source)
{
    if (source.issues.empty()) return QStringLiteral("Clean");
    return QStringLiteral("%1 issue(s)").arg(qint64(source.issues.total()));
}

const char *integritySymbol(const TrailSource &source)
{
    return source.issues.empty() ? "checkmark.seal" : "exclamationmark.triangle";
}

QString issueLine(const ParseIssue &issue)
{
    // Offsets past 4 GiB keep all their digits; eight is the minimum, not a cut.
    return QStringLiteral("offset 0x%1  ").arg(quint64(issue.offset), 8, 16, QLatin1Char('0'))
           + QString::fromStdString(issue.message);
}

bool showsNotTerminatedNote(const TrailSource &source)
{
    if (source.fileTokens.size() >= 2) return false;
    return std::any_of(source.fileTokens.begin(), source.fileTokens.end(),
                       [](const std::string &name) { return name.ends_with(".not_terminated"); });
}

std::vector<int64_t> recordIDsOfSource(std::span<const AuditRecord> records, int64_t sourceID)
{
    std::vector<int64_t> ids;
    for (const AuditRecord &r : records)
        if (r.source == sourceID) ids.push_back(r.id);
    return ids;
}
