#include "Views/Findings/FindingsTableModel.h"

#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableTime.h"

#include <array>

namespace {

constexpr std::array<const char *, FindingsTableModel::numColumns> columnTitles = {
    "Severity", "Time", "Rule", "Tactic", "ATT&CK", "User", "Summary"};

} // namespace

FindingsTableModel::FindingsTableModel(QObject *parent)
    : QAbstractTableModel(parent),
      m_ruleFont(Style::withWeight(Style::body(), QFont::Medium)),
      m_techniqueFont(Style::monospaced(Style::caption())),
      m_summaryFont(Style::monospaced(Style::callout()))
{
}

void FindingsTableModel::setFindings(std::vector<Finding> findings)
{
    m_findings = std::move(findings);
    derive();
}

void FindingsTableModel::setMinimum(Severity minimum)
{
    if (minimum == m_minimum) return;
    m_minimum = minimum;
    derive();
}

void FindingsTableModel::setSearch(const QString &search)
{
    if (search == m_search) return;
    m_search = search;
    derive();
}

std::optional<FindingsRows::SortKey> FindingsTableModel::sortKey(int column)
{
    using FindingsRows::SortKey;
    switch (column) {
    case severityColumn: return SortKey::severity;
    case timeColumn: return SortKey::time;
    case ruleColumn: return SortKey::rule;
    case tacticColumn: return SortKey::category;
    case userColumn: return SortKey::user;
    case summaryColumn: return SortKey::summary;
    default: return std::nullopt;
    }
}

void FindingsTableModel::sort(int column, Qt::SortOrder order)
{
    const std::optional<FindingsRows::SortKey> key = sortKey(column);
    if (!key) return;
    m_order = {*key, order == Qt::AscendingOrder};
    derive();
}

void FindingsTableModel::derive()
{
    beginResetModel();
    m_rows = FindingsRows::rows(m_findings, m_minimum, m_search, m_order);
    endResetModel();
}

int FindingsTableModel::rowOf(const Uuid &id) const
{
    for (size_t row = 0; row < m_rows.size(); ++row)
        if (m_findings[m_rows[row]].id == id) return int(row);
    return -1;
}

int FindingsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FindingsTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : numColumns;
}

QVariant FindingsTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const Finding &finding = findingAt(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case timeColumn: return tableTimeText(finding.time);
        case ruleColumn: return QString::fromStdString(finding.rule);
        case tacticColumn: return QString::fromStdString(finding.category);
        case techniqueColumn: return finding.technique ? QString::fromStdString(*finding.technique) : QString();
        case userColumn: return QString::fromStdString(finding.user);
        case summaryColumn: return QString::fromStdString(finding.summary);
        default: return {};
        }
    case BadgeRole::severity:
        return column == severityColumn ? QVariant(rawValue(finding.severity)) : QVariant();
    case Qt::AccessibleTextRole:
        // The badge's text is painted, not a display text.
        return column == severityColumn ? QVariant(QString::fromUtf8(severityTitle(finding.severity))) : QVariant();
    case Qt::ToolTipRole:
        return column == summaryColumn ? QVariant(QString::fromStdString(finding.summary)) : QVariant();
    case Qt::FontRole:
        switch (column) {
        case ruleColumn: return m_ruleFont;
        case techniqueColumn: return m_techniqueFont;
        case summaryColumn: return m_summaryFont;
        default: return {};
        }
    case Qt::ForegroundRole:
        return column == tacticColumn ? QVariant(Style::secondaryText()) : QVariant();
    default:
        return {};
    }
}

QVariant FindingsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= numColumns) return {};
    return QString::fromUtf8(columnTitles[size_t(section)]);
}
