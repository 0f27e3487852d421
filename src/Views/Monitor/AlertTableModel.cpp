#include "Views/Monitor/AlertTableModel.h"

#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableTime.h"

#include <algorithm>

#include <QLocale>

namespace {

QString raisedCell(const AlertTableModel &, const MonitorAlert &a)
{
    return alertRaisedText(a.raisedAt);
}
QString ruleCell(const AlertTableModel &, const MonitorAlert &a)
{
    return QString::fromStdString(a.rule);
}
QString techniqueCell(const AlertTableModel &, const MonitorAlert &a)
{
    return a.technique ? QString::fromStdString(*a.technique) : QString();
}
QString userCell(const AlertTableModel &, const MonitorAlert &a)
{
    return QString::fromStdString(a.user);
}
QString summaryCell(const AlertTableModel &, const MonitorAlert &a)
{
    return QString::fromStdString(a.summary);
}

// The columns in display order: the one place a column is written. A severity's texts depend on
// the kind of alert (cellData).
constexpr TableColumn<AlertTableModel, MonitorAlert> columns[] = {
    {"", {14, 14}, nullptr, nullptr, nullptr},
    {"Severity", {80, 95}, nullptr, nullptr, nullptr},
    {"Raised", {120, 140}, raisedCell, nullptr, nullptr, {}, [] { return alertRaisedText(widestTableTime()); }},
    {"Rule", {140, 200}, ruleCell, nullptr, nullptr},
    {"ATT&CK", {60, 80}, techniqueCell, nullptr, nullptr},
    {"User", {60, 90}, userCell, nullptr, nullptr, {}, widestSampleUser},
    {"Summary", {200, 420}, summaryCell, summaryCell, nullptr},
};
static_assert(std::size(columns) == AlertTableModel::numColumns, "one entry per column");

QIcon dotIcon()
{
    return QIcon(dotPixmap(Style::accent(), 7));
}

} // namespace

std::vector<MonitorAlert> alertRows(const std::vector<MonitorAlert> &history, bool newOnly)
{
    std::vector<MonitorAlert> rows;
    for (const MonitorAlert &alert : history)
        if (!newOnly || !alert.acknowledged) rows.push_back(alert);
    return rows;
}

QString alertHistoryCounts(size_t total, int64_t unacknowledged)
{
    return QString::number(total) + QStringLiteral(" total · ") + QString::number(unacknowledged)
           + QStringLiteral(" new");
}

std::set<Uuid> alertMenuIDs(const std::optional<Uuid> &clicked, const std::set<Uuid> &selection)
{
    if (!clicked) return {};
    if (selection.contains(*clicked)) return selection;
    return {*clicked};
}

QString alertSummaryText(const std::vector<MonitorAlert> &history, const std::set<Uuid> &ids)
{
    QStringList lines;
    for (const MonitorAlert &alert : history) {
        if (!ids.contains(alert.id)) continue;
        lines << Style::severity(alert.severity()).title + QStringLiteral(" · ") + QString::fromStdString(alert.rule)
                     + QStringLiteral(" · ") + QString::fromStdString(alert.summary);
    }
    return lines.join(u'\n');
}

std::optional<MonitorAlert> detailAlert(const std::vector<MonitorAlert> &history, const std::set<Uuid> &selection)
{
    if (selection.size() != 1) return std::nullopt;
    for (const MonitorAlert &alert : history)
        if (alert.id == *selection.begin()) return alert;
    return std::nullopt;
}

QString alertRaisedText(double raisedAt)
{
    const bool twelveHour = Format::usesTwelveHourClock();
    return Format::pattern(raisedAt,
                           twelveHour ? QStringLiteral("MMM d, h:mm:ss AP") : QStringLiteral("MMM d, HH:mm:ss"));
}

AlertTableModel::AlertTableModel(QObject *parent)
    : ColumnTableModel(columns, parent)
    , m_dot(dotIcon())
    , m_monitorIcon(symbolIcon(QStringLiteral("bolt.horizontal.circle"), Style::secondaryText()))
    , m_captionFont(Style::caption())
    , m_captionMono(Style::monospaced(Style::caption()))
    , m_calloutMono(Style::monospaced(Style::callout()))
    , m_semibold(Style::semibold(QFont()))
{}

bool AlertTableModel::setRows(std::vector<MonitorAlert> rows)
{
    const bool sameAlerts = rows.size() == m_rows.size()
                            && std::equal(rows.begin(), rows.end(), m_rows.begin(),
                                          [](const MonitorAlert &a, const MonitorAlert &b) { return a.id == b.id; });
    if (sameAlerts) {
        m_rows = std::move(rows);
        if (!m_rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, numColumns - 1));
        return false;
    }
    beginResetModel();
    m_rows = std::move(rows);
    m_rowByID.clear();
    m_rowByID.reserve(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i) m_rowByID.emplace_back(m_rows[i].id, int(i));
    std::sort(m_rowByID.begin(), m_rowByID.end());
    endResetModel();
    return true;
}

int AlertTableModel::rowOf(const Uuid &id) const
{
    const auto found = std::lower_bound(m_rowByID.begin(), m_rowByID.end(), id,
                                        [](const std::pair<Uuid, int> &entry, const Uuid &key) {
                                            return entry.first < key;
                                        });
    return found != m_rowByID.end() && found->first == id ? found->second : -1;
}

int AlertTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant AlertTableModel::cellData(const MonitorAlert &alert, int column, int role) const
{
    const bool monitor = alert.kind == MonitorAlert::Kind::monitor;
    switch (Column(column)) {
    case dotColumn:
        if (role == Qt::DecorationRole && !alert.acknowledged) return m_dot;
        return {};
    case severityColumn:
        if (monitor) {
            if (role == Qt::DisplayRole) return QStringLiteral("Monitor");
            if (role == Qt::DecorationRole) return m_monitorIcon;
            if (role == Qt::FontRole) return m_captionFont;
            if (role == Qt::ForegroundRole) return Style::secondaryText();
            return {};
        }
        if (role == ItemRoles::severityRole) return int(alert.severity());
        // The badge's text is painted, not a display text.
        if (role == Qt::AccessibleTextRole) return QString::fromUtf8(severityTitle(alert.severity()));
        return {};
    case ruleColumn:
        if (role == Qt::FontRole && !alert.acknowledged) return m_semibold;
        return {};
    case techniqueColumn:
        if (role == Qt::FontRole) return m_captionMono;
        return {};
    case summaryColumn:
        if (role == Qt::FontRole) return m_calloutMono;
        return {};
    case raisedColumn:
    case userColumn:
    case numColumns: break;
    }
    return {};
}
