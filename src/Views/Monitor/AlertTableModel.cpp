#include "Views/Monitor/AlertTableModel.h"

#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <algorithm>

#include <QLocale>

namespace {

const char *const columnTitles[] = {"", "Severity", "Raised", "Rule", "ATT&CK", "User", "Summary"};

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
    : QAbstractTableModel(parent)
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

int AlertTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : numColumns;
}

QVariant AlertTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const MonitorAlert &alert = m_rows[size_t(index.row())];
    const bool monitor = alert.kind == MonitorAlert::Kind::monitor;
    switch (Column(index.column())) {
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
    case raisedColumn:
        if (role == Qt::DisplayRole) return alertRaisedText(alert.raisedAt);
        return {};
    case ruleColumn:
        if (role == Qt::DisplayRole) return QString::fromStdString(alert.rule);
        if (role == Qt::FontRole && !alert.acknowledged) return m_semibold;
        return {};
    case techniqueColumn:
        if (role == Qt::DisplayRole) return alert.technique ? QString::fromStdString(*alert.technique) : QString();
        if (role == Qt::FontRole) return m_captionMono;
        return {};
    case userColumn:
        if (role == Qt::DisplayRole) return QString::fromStdString(alert.user);
        return {};
    case summaryColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(alert.summary);
        if (role == Qt::FontRole) return m_calloutMono;
        return {};
    case numColumns: break;
    }
    return {};
}

QVariant AlertTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= numColumns) return {};
    return QString::fromLatin1(columnTitles[section]);
}
