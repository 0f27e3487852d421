#include "Views/Live/LiveRecordsModel.h"

#include "Engine/Analysis/DisplayKeys.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/RecordCells.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableTime.h"

#include <QLocale>

#include <algorithm>
#include <array>

namespace {

bool passes(const AuditRecord &record, const LiveFilter &filter, const std::optional<RecordQuery> &query)
{
    if (filter.failuresOnly && record.returnStatus == 0) return false;
    return !query || record.matches(*query);
}

} // namespace

// What the cells of each column show of a row; a friend, so they reach the rows and shared texts.
struct LiveCells {
    using Row = LiveRecordsModel::Row;
    static QString time(const LiveRecordsModel &, const Row &row) { return liveTimeText(row.time); }
    static QString event(const LiveRecordsModel &m, const Row &row) { return m.eventLabel(row.event); }
    static QString user(const LiveRecordsModel &, const Row &row) { return row.user; }
    static QString process(const LiveRecordsModel &, const Row &row) { return row.process; }
    static QString pid(const LiveRecordsModel &, const Row &row) { return QString::number(row.pid); }
    static QString result(const LiveRecordsModel &, const Row &row) { return ResultBadgePainter::toolTip(row.success); }
    static QString details(const LiveRecordsModel &, const Row &row) { return row.details; }
};

namespace {

// The columns in display order: the one place a column is written.
constexpr TableColumn<LiveRecordsModel, LiveRow> columns[] = {
    {"Time", {90, 105}, LiveCells::time, nullptr, nullptr, {}, [] { return liveTimeText(widestTableTime()); }},
    {"Event", {90, 140}, LiveCells::event, nullptr, nullptr},
    {"User", {50, 80}, LiveCells::user, nullptr, nullptr, {}, widestSampleUser},
    {"Process", {60, 100}, LiveCells::process, nullptr, nullptr},
    {"PID", {40, 55}, LiveCells::pid, nullptr, nullptr, {}, widestPid},
    {"", {22, 22}, nullptr, LiveCells::result, LiveCells::result},
    {"Details", {200, 420}, LiveCells::details, LiveCells::details, nullptr},
};
static_assert(std::size(columns) == LiveRecordsModel::numColumns, "one entry per column");

} // namespace

std::vector<uint32_t> liveRows(const std::vector<AuditRecord> &records, const LiveFilter &filter, size_t cap)
{
    std::optional<RecordQuery> query;
    if (!filter.search.empty()) query.emplace(filter.search);
    std::vector<uint32_t> rows;
    for (size_t i = records.size(); i-- > 0 && rows.size() < cap;)
        if (passes(records[i], filter, query)) rows.push_back(uint32_t(i));
    return rows;
}

QString liveTimeText(double time)
{
    const bool twelveHour = Format::usesTwelveHourClock();
    return Format::pattern(time, twelveHour ? QStringLiteral("h:mm:ss.zzz AP") : QStringLiteral("HH:mm:ss.zzz"));
}

LiveRecordsModel::LiveRecordsModel(QObject *parent, size_t rowCap)
    : ColumnTableModel(columns, parent), m_rowCap(rowCap), m_detailsFont(Style::monospaced(Style::callout()))
{}

LiveRecordsModel::Row LiveRecordsModel::makeRow(const AuditRecord &record, int64_t sequence)
{
    Row row;
    row.id = record.id;
    row.sequence = sequence;
    row.time = record.time;
    row.event = record.event;
    row.success = record.returnStatus == 0;
    row.pid = DisplayKeys::pidValue(record);
    const QString user = QString::fromStdString(DisplayKeys::userLabel(record));
    auto shared = m_users.find(user);
    if (shared == m_users.end()) shared = m_users.insert(user, user);
    row.user = *shared;
    row.process = RecordCells::process(record);
    // What a cell shows of it: a record's megabyte of arguments is not copied into the row.
    row.details = RecordCells::details(record);
    return row;
}

void LiveRecordsModel::reset(const LiveMonitor::Records &source, const LiveFilter &filter)
{
    beginResetModel();
    m_filter = filter;
    m_query.reset();
    if (!filter.search.empty()) m_query.emplace(filter.search);
    m_rows.clear();
    m_sequenceByID.clear();
    m_dropped = 0;
    m_sourceSize = source ? source->size() : 0;
    if (source) {
        const std::vector<uint32_t> positions = liveRows(*source, filter, m_rowCap);
        m_rows.reserve(positions.size());
        for (const uint32_t position : positions) m_rows.push_back(makeRow((*source)[position], position));
        for (const Row &row : m_rows) m_sequenceByID.insert(row.id, row.sequence);
    }
    endResetModel();
}

void LiveRecordsModel::roll(const LiveMonitor::Records &source, int64_t dropped)
{
    const int64_t firstKept = m_dropped + dropped; // sequence of the oldest record still in source
    // Rows are newest first, so the dropped ones are a tail.
    const auto firstGone = std::find_if(m_rows.begin(), m_rows.end(),
                                        [firstKept](const Row &row) { return row.sequence < firstKept; });
    if (firstGone != m_rows.end()) {
        const int first = int(firstGone - m_rows.begin());
        beginRemoveRows({}, first, int(m_rows.size()) - 1);
        for (auto gone = firstGone; gone != m_rows.end(); ++gone) m_sequenceByID.remove(gone->id);
        m_rows.erase(firstGone, m_rows.end());
        endRemoveRows();
    }

    const size_t survivors = size_t(std::max<int64_t>(int64_t(m_sourceSize) - dropped, 0));
    m_dropped = firstKept;
    m_sourceSize = source->size();
    std::vector<Row> added;
    for (size_t i = source->size(); i-- > survivors && added.size() < m_rowCap;) {
        const AuditRecord &record = (*source)[i];
        if (passes(record, m_filter, m_query)) added.push_back(makeRow(record, m_dropped + int64_t(i)));
    }
    if (!added.empty()) {
        beginInsertRows({}, 0, int(added.size()) - 1);
        for (const Row &row : added) m_sequenceByID.insert(row.id, row.sequence);
        m_rows.insert(m_rows.begin(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
        endInsertRows();
    }
    if (m_rows.size() > m_rowCap) {
        beginRemoveRows({}, int(m_rowCap), int(m_rows.size()) - 1);
        for (size_t gone = m_rowCap; gone < m_rows.size(); ++gone) m_sequenceByID.remove(m_rows[gone].id);
        m_rows.resize(m_rowCap);
        endRemoveRows();
    }
}

void LiveRecordsModel::refresh(const LiveMonitor::Records &source)
{
    const std::vector<uint32_t> positions = liveRows(*source, m_filter, m_rowCap);
    const bool sameRows = positions.size() == m_rows.size()
                          && std::equal(positions.begin(), positions.end(), m_rows.begin(),
                                        [&](uint32_t position, const Row &row) {
                                            return (*source)[position].id == row.id;
                                        });
    if (!sameRows) {
        reset(source, m_filter);
        return;
    }
    m_sourceSize = source->size();
    int first = -1, last = -1;
    for (size_t i = 0; i < positions.size(); ++i) {
        QString process = RecordCells::process((*source)[positions[i]]);
        if (process == m_rows[i].process) continue;
        m_rows[i].process = std::move(process);
        if (first < 0) first = int(i);
        last = int(i);
    }
    if (first >= 0) emit dataChanged(index(first, processColumn), index(last, processColumn), {Qt::DisplayRole});
}

int LiveRecordsModel::rowOf(int64_t id) const
{
    // Ids need not rise down the rows (an analysed buffer is in time order), arrival numbers do.
    const auto sequence = m_sequenceByID.constFind(id);
    if (sequence == m_sequenceByID.cend()) return -1;
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), *sequence,
                                     [](const Row &row, int64_t key) { return row.sequence > key; });
    return it != m_rows.end() && it->id == id ? int(it - m_rows.begin()) : -1;
}

QString LiveRecordsModel::eventLabel(uint16_t event) const
{
    auto it = m_eventLabels.find(event);
    if (it == m_eventLabels.end()) {
        AuditRecord probe;
        probe.event = event;
        it = m_eventLabels.insert(event, QString::fromStdString(DisplayKeys::eventLabel(probe)));
    }
    return *it;
}

int LiveRecordsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant LiveRecordsModel::cellData(const LiveRow &row, int column, int role) const
{
    switch (role) {
    case Qt::FontRole:
        if (column == detailsColumn) return m_detailsFont;
        return {};
    case ItemRoles::resultRole:
        if (column == resultColumn) return row.success;
        return {};
    case ItemRoles::recordIDRole: return QVariant::fromValue<qlonglong>(row.id);
    default: return {};
    }
}
