#include "Views/Findings/FindingsTableModel.h"

#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/CellText.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableTime.h"

namespace {

using FindingsRows::SortKey;

QString timeCell(const FindingsTableModel &, const Finding &f)
{
    return tableTimeText(f.time);
}
QString ruleCell(const FindingsTableModel &, const Finding &f)
{
    return cellText(f.rule);
}
QString tacticCell(const FindingsTableModel &, const Finding &f)
{
    return cellText(f.category);
}
QString techniqueCell(const FindingsTableModel &, const Finding &f)
{
    return f.technique ? cellText(*f.technique) : QString();
}
QString userCell(const FindingsTableModel &, const Finding &f)
{
    return cellText(f.user);
}
QString summaryCell(const FindingsTableModel &, const Finding &f)
{
    return cellText(f.summary, Qt::ElideMiddle);
}
// The badge's text is painted, not a display text.
QString severitySpoken(const FindingsTableModel &, const Finding &f)
{
    return QString::fromUtf8(severityTitle(f.severity));
}

// The columns in display order: the one place a column is written. ATT&CK does not sort.
constexpr TableColumn<FindingsTableModel, Finding, std::optional<SortKey>> columns[] = {
    {"Severity", {70, 90}, nullptr, nullptr, severitySpoken, SortKey::severity},
    {"Time", {130, 150}, timeCell, nullptr, nullptr, SortKey::time, [] { return tableTimeText(widestTableTime()); }},
    {"Rule", {140, 200}, ruleCell, nullptr, nullptr, SortKey::rule},
    {"Tactic", {90, 130}, tacticCell, nullptr, nullptr, SortKey::category},
    {"ATT&CK", {60, 80}, techniqueCell, nullptr, nullptr, std::nullopt},
    {"User", {60, 90}, userCell, nullptr, nullptr, SortKey::user, widestSampleUser},
    {"Summary", {200, 420}, summaryCell, summaryCell, nullptr, SortKey::summary},
};
static_assert(std::size(columns) == FindingsTableModel::numColumns, "one entry per column");

} // namespace

FindingsTableModel::FindingsTableModel(QObject *parent)
    : ColumnTableModel(columns, parent)
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
    return column >= 0 && column < numColumns ? columns[size_t(column)].sortKey : std::nullopt;
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

QVariant FindingsTableModel::cellData(const Finding &finding, int column, int role) const
{
    switch (role) {
    case ItemRoles::severityRole: return column == severityColumn ? QVariant(rawValue(finding.severity)) : QVariant();
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
