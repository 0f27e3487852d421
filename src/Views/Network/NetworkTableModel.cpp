#include "Views/Network/NetworkTableModel.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/Analysis/DisplayKeys.h"
#include "Engine/Record/PathComponents.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/CellText.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableTime.h"

#include <algorithm>

namespace {

using NetworkRows::SortKey;

QString joinedSockets(const NetworkTableModel &, const AuditRecord &record)
{
    return cellText(JoinedText(record.sockets(), ", "), Qt::ElideMiddle);
}
QString timeCell(const NetworkTableModel &, const AuditRecord &r)
{
    return tableTimeText(r.time);
}
QString eventCell(const NetworkTableModel &, const AuditRecord &r)
{
    return QString::fromStdString(DisplayKeys::eventLabel(r));
}
QString processCell(const NetworkTableModel &, const AuditRecord &r)
{
    return r.processImage ? cellText(lastPathComponent(*r.processImage)) : QString();
}
QString pidCell(const NetworkTableModel &, const AuditRecord &r)
{
    return QString::number(DisplayKeys::pidValue(r));
}
QString userCell(const NetworkTableModel &, const AuditRecord &r)
{
    return QString::fromStdString(DisplayKeys::userLabel(r));
}
// The badge paints no text.
QString resultBadge(const NetworkTableModel &, const AuditRecord &r)
{
    return ResultBadgePainter::toolTip(r.returnStatus == 0);
}

// The columns in display order: the one place a column is written.
constexpr TableColumn<NetworkTableModel, AuditRecord, SortKey> columns[] = {
    {"Time", {110, 140}, timeCell, nullptr, nullptr, SortKey::time, [] { return tableTimeText(widestTableTime()); }},
    {"Event", {80, 110}, eventCell, nullptr, nullptr, SortKey::event},
    {"Process", {80, 120}, processCell, nullptr, nullptr, SortKey::process},
    {"PID", {40, 55}, pidCell, nullptr, nullptr, SortKey::pid, widestPid},
    {"User", {60, 90}, userCell, nullptr, nullptr, SortKey::user, widestSampleUser},
    {"Address", {160, 280}, joinedSockets, joinedSockets, nullptr, SortKey::address},
    {"Result", {40, 50}, nullptr, resultBadge, resultBadge, SortKey::result},
};
static_assert(std::size(columns) == NetworkTableModel::numColumns, "one entry per column");

} // namespace

NetworkTableModel::NetworkTableModel(QObject *parent)
    : ColumnTableModel(columns, parent)
    , m_table(std::make_shared<const NetworkRows::Table>())
    , m_addressFont(Style::monospaced(Style::callout()))
{}

void NetworkTableModel::setSource(RecordSnapshot records, bool hideLocal, std::string search)
{
    m_records = std::move(records);
    m_hideLocal = hideLocal;
    m_search = std::move(search);
    derive();
}

void NetworkTableModel::derive()
{
    if (!m_records) return;
    m_deriving.run(
        this,
        [records = m_records, hideLocal = m_hideLocal, search = m_search,
         order = m_order](const PoolWork::Ticket &ticket) {
            return std::make_shared<const NetworkRows::Table>(
                NetworkRows::table(records, hideLocal, search, order, [&ticket] { return ticket.stale(); }));
        },
        [this](std::shared_ptr<const NetworkRows::Table> table) { setTable(std::move(table)); });
}

void NetworkTableModel::setTable(std::shared_ptr<const NetworkRows::Table> table)
{
    beginResetModel();
    m_table = table ? std::move(table) : std::make_shared<const NetworkRows::Table>();
    endResetModel();
    emit tableChanged();
}

NetworkRows::SortKey NetworkTableModel::sortKey(int column)
{
    return column >= 0 && column < numColumns ? columns[size_t(column)].sortKey : SortKey::time;
}

void NetworkTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= numColumns) return;
    m_order = {sortKey(column), order == Qt::AscendingOrder};
    derive();
}

int NetworkTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table->rows.size());
}

QVariant NetworkTableModel::cellData(const AuditRecord &record, int column, int role) const
{
    switch (role) {
    case Qt::FontRole: return column == addressColumn ? QVariant(m_addressFont) : QVariant();
    case Qt::ForegroundRole:
        if (column == processColumn && record.processImage && Detections::suspiciousLocation(*record.processImage))
            return Style::ink(Style::orange());
        return {};
    case ItemRoles::resultRole: return column == resultColumn ? QVariant(record.returnStatus == 0) : QVariant();
    case ItemRoles::recordIDRole: return QVariant::fromValue(qint64(record.id));
    default: return {};
    }
}

Qt::ItemFlags NetworkTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == addressColumn) flags |= Qt::ItemIsEditable;
    return flags;
}
