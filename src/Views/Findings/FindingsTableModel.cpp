#include "Views/Findings/FindingsTableModel.h"

#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/CellText.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableTime.h"

#include <array>

namespace {

constexpr std::array<const char *, FindingsTableModel::numColumns> columnTitles = {"Severity", "Time",   "Rule",
                                                                                   "Tactic",   "ATT&CK", "User",
                                                                                   "Summary"};

} // namespace

FindingsTableModel::FindingsTableModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(std::make_shared<const FindingsRows::Table>(FindingsRows::table(nullptr, Severity::low, {}, {})))
    , m_ruleFont(Style::withWeight(Style::body(), QFont::Medium))
    , m_techniqueFont(Style::monospaced(Style::caption()))
    , m_summaryFont(Style::monospaced(Style::callout()))
{}

void FindingsTableModel::setFindings(FindingsRows::FindingsSnapshot findings)
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
    m_deriving.run(
        this,
        [findings = m_findings, minimum = m_minimum, search = m_search, order = m_order](const PoolWork::Ticket &) {
            return std::make_shared<const FindingsRows::Table>(FindingsRows::table(findings, minimum, search, order));
        },
        [this](std::shared_ptr<const FindingsRows::Table> table) {
            beginResetModel();
            m_table = std::move(table);
            endResetModel();
            emit tableChanged();
        });
}

int FindingsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table->rows.size());
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
        case ruleColumn: return cellText(finding.rule);
        case tacticColumn: return cellText(finding.category);
        case techniqueColumn: return finding.technique ? cellText(*finding.technique) : QString();
        case userColumn: return cellText(finding.user);
        case summaryColumn: return cellText(finding.summary, Qt::ElideMiddle);
        default: return {};
        }
    case ItemRoles::severityRole: return column == severityColumn ? QVariant(rawValue(finding.severity)) : QVariant();
    case Qt::AccessibleTextRole:
        // The badge's text is painted, not a display text.
        return column == severityColumn ? QVariant(QString::fromUtf8(severityTitle(finding.severity))) : QVariant();
    case Qt::ToolTipRole:
        return column == summaryColumn ? QVariant(cellText(finding.summary, Qt::ElideMiddle)) : QVariant();
    case Qt::FontRole:
        switch (column) {
        case ruleColumn: return m_ruleFont;
        case techniqueColumn: return m_techniqueFont;
        case summaryColumn: return m_summaryFont;
        default: return {};
        }
    case Qt::ForegroundRole: return column == tacticColumn ? QVariant(Style::secondaryText()) : QVariant();
    default: return {};
    }
}

QVariant FindingsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= numColumns) return {};
    return QString::fromUtf8(columnTitles[size_t(section)]);
}
