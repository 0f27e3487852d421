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
#include <array>

namespace {

constexpr std::array<const char *, NetworkTableModel::numColumns> columnTitles = {"Time", "Event",   "Process", "PID",
                                                                                  "User", "Address", "Result"};

QString joinedSockets(const AuditRecord &record)
{
    return cellText(JoinedText(record.sockets(), ", "), Qt::ElideMiddle);
}

} // namespace

NetworkTableModel::NetworkTableModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(std::make_shared<const NetworkRows::Table>())
    , m_addressFont(Style::monospaced(Style::callout()))
{}

void NetworkTableModel::setTable(std::shared_ptr<const NetworkRows::Table> table)
{
    beginResetModel();
    m_table = table ? std::move(table) : std::make_shared<const NetworkRows::Table>();
    endResetModel();
}

NetworkRows::SortKey NetworkTableModel::sortKey(int column)
{
    using NetworkRows::SortKey;
    switch (column) {
    case eventColumn: return SortKey::event;
    case processColumn: return SortKey::process;
    case pidColumn: return SortKey::pid;
    case userColumn: return SortKey::user;
    case addressColumn: return SortKey::address;
    case resultColumn: return SortKey::result;
    default: return SortKey::time;
    }
}

void NetworkTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= numColumns) return;
    m_order = {sortKey(column), order == Qt::AscendingOrder};
    emit orderChanged();
}

int NetworkTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table->rows.size());
}

int NetworkTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : numColumns;
}

QVariant NetworkTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const AuditRecord &record = recordAt(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case timeColumn: return tableTimeText(record.time);
        case eventColumn: return QString::fromStdString(DisplayKeys::eventLabel(record));
        case processColumn: return record.processImage ? cellText(lastPathComponent(*record.processImage)) : QString();
        case pidColumn: return QString::number(DisplayKeys::pidValue(record));
        case userColumn: return QString::fromStdString(DisplayKeys::userLabel(record));
        case addressColumn: return joinedSockets(record);
        default: return {};
        }
    case Qt::ToolTipRole:
        if (column == addressColumn) return joinedSockets(record);
        return column == resultColumn ? QVariant(ResultBadgePainter::toolTip(record.returnStatus == 0)) : QVariant();
    case Qt::FontRole: return column == addressColumn ? QVariant(m_addressFont) : QVariant();
    case Qt::ForegroundRole:
        if (column == processColumn && record.processImage && Detections::suspiciousLocation(*record.processImage))
            return Style::ink(Style::orange());
        return {};
    case ItemRoles::resultRole: return column == resultColumn ? QVariant(record.returnStatus == 0) : QVariant();
    case Qt::AccessibleTextRole:
        return column == resultColumn ? QVariant(ResultBadgePainter::toolTip(record.returnStatus == 0)) : QVariant();
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

QVariant NetworkTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= numColumns) return {};
    return QString::fromUtf8(columnTitles[size_t(section)]);
}
