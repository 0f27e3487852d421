#include "Views/Processes/ProcessModels.h"

#include "Engine/Analysis/Detections.h"
#include "Views/Components/CellText.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableTime.h"
#include "Views/Processes/ProcessRow.h"

#include <array>

// ProcessTreeModel

ProcessTreeModel::ProcessTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void ProcessTreeModel::setOutline(ProcessRows::OutlineSnapshot outline)
{
    beginResetModel();
    m_outline = std::move(outline);
    endResetModel();
}

void ProcessTreeModel::setTree(ProcessTreeSnapshot tree, const ProcessRows::ProcessFilter &filter)
{
    m_deriving.run(
        this, [tree = std::move(tree), filter](const PoolWork::Ticket &) { return ProcessRows::outline(tree, filter); },
        [this](ProcessRows::OutlineSnapshot outline) { setOutline(std::move(outline)); });
}

void ProcessTreeModel::clear()
{
    m_deriving.cancel();
    beginResetModel();
    m_outline.reset();
    endResetModel();
}

const ProcessRows::ProcessOutline::Row *ProcessTreeModel::rowAt(const QModelIndex &index) const
{
    if (!m_outline || !index.isValid() || index.model() != this || index.internalId() >= m_outline->rows.size())
        return nullptr;
    return &m_outline->rows[index.internalId()];
}

const ProcessNode *ProcessTreeModel::nodeAt(const QModelIndex &index) const
{
    const ProcessRows::ProcessOutline::Row *row = rowAt(index);
    return row ? &m_outline->node(*row) : nullptr;
}

QModelIndex ProcessTreeModel::indexOf(int64_t id) const
{
    const std::optional<int32_t> at = m_outline ? m_outline->rowOf(id) : std::nullopt;
    if (!at) return {};
    return createIndex(m_outline->rows[size_t(*at)].row, 0, quintptr(*at));
}

QModelIndexList ProcessTreeModel::parents(bool all) const
{
    QModelIndexList found;
    if (!m_outline) return found;
    // Rows run level by level, so the roots' rows come first.
    const size_t end = all ? m_outline->rows.size() : size_t(m_outline->rootCount);
    for (size_t at = 0; at < end; ++at) {
        const ProcessRows::ProcessOutline::Row &row = m_outline->rows[at];
        if (row.childCount > 0) found << createIndex(row.row, 0, quintptr(at));
    }
    return found;
}

QModelIndex ProcessTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column != 0 || !m_outline) return {};
    if (!parent.isValid()) return row < m_outline->rootCount ? createIndex(row, 0, quintptr(row)) : QModelIndex();
    const ProcessRows::ProcessOutline::Row *owner = rowAt(parent);
    if (!owner || row >= owner->childCount) return {};
    return createIndex(row, 0, quintptr(owner->firstChild + row));
}

QModelIndex ProcessTreeModel::parent(const QModelIndex &child) const
{
    const ProcessRows::ProcessOutline::Row *row = rowAt(child);
    if (!row || row->parent < 0) return {};
    return createIndex(m_outline->rows[size_t(row->parent)].row, 0, quintptr(row->parent));
}

int ProcessTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!m_outline) return 0;
    if (!parent.isValid()) return m_outline->rootCount;
    if (parent.column() != 0) return 0;
    const ProcessRows::ProcessOutline::Row *row = rowAt(parent);
    return row ? row->childCount : 0;
}

int ProcessTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool ProcessTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant ProcessTreeModel::data(const QModelIndex &index, int role) const
{
    const ProcessNode *node = nodeAt(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole: return ProcessRows::fileName(*node);
    case Qt::ToolTipRole: return cellText(node->commandLineText(), Qt::ElideMiddle);
    case ProcessRoles::processIDRole: return QVariant::fromValue(qint64(node->id));
    default: return {};
    }
}

// ProcessListModel

namespace {

using ProcessRows::SortKey;

QString startedCell(const ProcessListModel &, const ProcessNode &p)
{
    return tableTimeText(p.start);
}
QString pidCell(const ProcessListModel &, const ProcessNode &p)
{
    return QString::number(p.pid);
}
QString ppidCell(const ProcessListModel &, const ProcessNode &p)
{
    return p.ppid ? QString::number(*p.ppid) : QString::fromUtf8("\u2014");
}
QString imageCell(const ProcessListModel &, const ProcessNode &p)
{
    return cellText(p.image, Qt::ElideLeft);
}
QString commandLineCell(const ProcessListModel &, const ProcessNode &p)
{
    return cellText(p.commandLineText(), Qt::ElideMiddle);
}
QString signingIDCell(const ProcessListModel &, const ProcessNode &p)
{
    return p.signingID ? cellText(*p.signingID) : QString::fromUtf8("\u2014");
}
QString eventsCell(const ProcessListModel &, const ProcessNode &p)
{
    return QString::asprintf("%lld", static_cast<long long>(p.eventCount));
}

// The columns in display order: the one place a column is written. The user's names are painted
// by its delegate; PPID and Signing ID do not sort.
constexpr TableColumn<ProcessListModel, ProcessNode, std::optional<SortKey>> columns[] = {
    {"Started",
     {120, 140},
     startedCell,
     nullptr,
     nullptr,
     SortKey::start,
     [] { return tableTimeText(widestTableTime()); }},
    {"PID", {40, 55}, pidCell, nullptr, nullptr, SortKey::pid, widestPid},
    {"PPID", {40, 55}, ppidCell, nullptr, nullptr, std::nullopt, widestPid},
    {"User", {60, 90}, nullptr, nullptr, nullptr, SortKey::user},
    {"Image", {140, 220}, imageCell, nullptr, nullptr, SortKey::image},
    {"Command line", {200, 380}, commandLineCell, commandLineCell, nullptr, SortKey::commandLine},
    {"Signing ID", {80, 150}, signingIDCell, nullptr, nullptr, std::nullopt},
    {"Events", {40, 55}, eventsCell, nullptr, nullptr, SortKey::eventCount},
};
static_assert(std::size(columns) == ProcessListModel::numColumns, "one entry per column");

} // namespace

ProcessListModel::ProcessListModel(QObject *parent)
    : ColumnTableModel(columns, parent)
    , m_list(ProcessRows::processList(nullptr, {}, {}))
    , m_monoCallout(Style::monospaced(Style::callout()))
    , m_monoCaption(Style::monospaced(Style::caption()))
{}

void ProcessListModel::setProcesses(ProcessesSnapshot processes, const ProcessRows::ProcessFilter &filter)
{
    m_processes = std::move(processes);
    m_filter = filter;
    derive();
}

void ProcessListModel::clear()
{
    m_deriving.cancel();
    beginResetModel();
    m_processes.reset();
    m_list = ProcessRows::processList(nullptr, {}, {});
    endResetModel();
}

std::optional<ProcessRows::SortKey> ProcessListModel::sortKey(int column)
{
    return column >= 0 && column < numColumns ? columns[size_t(column)].sortKey : std::nullopt;
}

void ProcessListModel::sort(int column, Qt::SortOrder order)
{
    const std::optional<ProcessRows::SortKey> key = sortKey(column);
    if (!key) return;
    m_order = {*key, order == Qt::AscendingOrder};
    derive();
}

void ProcessListModel::derive()
{
    m_deriving.run(
        this,
        [processes = m_processes, filter = m_filter, order = m_order](const PoolWork::Ticket &) {
            return ProcessRows::processList(processes, filter, order);
        },
        [this](ProcessRows::ProcessListSnapshot list) {
            beginResetModel();
            m_list = std::move(list);
            endResetModel();
        });
}

int ProcessListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_list->rows.size());
}

QVariant ProcessListModel::cellData(const ProcessNode &process, int column, int role) const
{
    switch (role) {
    case Qt::FontRole:
        switch (column) {
        case imageColumn:
        case commandLineColumn: return m_monoCallout;
        case signingIDColumn: return m_monoCaption;
        default: return {};
        }
    case Qt::ForegroundRole:
        switch (column) {
        case ppidColumn:
        case signingIDColumn: return Style::secondaryText();
        case imageColumn:
            return Detections::suspiciousLocation(process.image) ? QVariant(Style::ink(Style::orange())) : QVariant();
        default: return {};
        }
    case ProcessRoles::userIDsRole:
        return column == userColumn ? QVariant(quint64(process.auid) << 32 | process.euid) : QVariant();
    case ProcessRoles::processIDRole: return QVariant::fromValue(qint64(process.id));
    default: return {};
    }
}
