#include "Views/Events/EventsTableModel.h"

#include "Engine/Analysis/DisplayKeys.h"
#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/BSMErrno.h"
#include "Engine/Record/PathComponents.h"
#include "Engine/Support/UtcTime.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/NaturalCompare.h"
#include "Views/Components/RecordCells.h"
#include "Views/Components/ResultBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableTime.h"
#include "Views/Components/CellText.h"
#include "Views/Components/ItemRoles.h"
#include "Views/Components/TextRanks.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

// Ranks of distinct keys under `less`; keys that are equivalent share a rank, so they stay ties.
template <typename Key, typename Less>
std::vector<uint32_t> ranksOf(const std::vector<Key> &distinct, Less less)
{
    std::vector<uint32_t> order(distinct.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return less(distinct[a], distinct[b]); });
    std::vector<uint32_t> rank(distinct.size());
    uint32_t current = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && less(distinct[order[i - 1]], distinct[order[i]])) ++current;
        rank[order[i]] = current;
    }
    return rank;
}

// Per-row sort keys (filtered order). Every key fits 32 bits.
std::vector<uint32_t> eventOrClassKeys(const RecordSelection &filtered, std::string (*label)(const AuditRecord &))
{
    const size_t n = filtered.size();
    // At most 65,536 event numbers: label each once.
    std::vector<int32_t> slotOfEvent(65536, -1);
    std::vector<std::string> labels;
    std::vector<uint32_t> slotOfRow(n);
    for (size_t i = 0; i < n; ++i) {
        const uint16_t event = filtered[i].event;
        if (slotOfEvent[event] < 0) {
            slotOfEvent[event] = int32_t(labels.size());
            labels.push_back(label(filtered[i]));
        }
        slotOfRow[i] = uint32_t(slotOfEvent[event]);
    }
    const std::vector<uint32_t> rank = ranksOf(labels, [](const std::string &a, const std::string &b) { return a < b; });
    std::vector<uint32_t> keys(n);
    for (size_t i = 0; i < n; ++i) keys[i] = rank[slotOfRow[i]];
    return keys;
}

std::vector<uint32_t> eventKeys(const RecordSelection &filtered)
{
    return eventOrClassKeys(filtered, DisplayKeys::eventLabel);
}

std::vector<uint32_t> classKeys(const RecordSelection &filtered)
{
    return eventOrClassKeys(filtered, DisplayKeys::classLabel);
}

std::vector<uint32_t> userKeys(const RecordSelection &filtered)
{
    // The label depends on the audit and effective user only; no subject is a key of its own.
    constexpr uint64_t noSubject = ~uint64_t(0);
    const size_t n = filtered.size();
    std::vector<uint32_t> keys(n);
    std::unordered_map<uint64_t, uint32_t> slotOfPair;
    std::vector<QString> labels;
    for (size_t i = 0; i < n; ++i) {
        const AuditRecord &record = filtered[i];
        const uint64_t pair = record.subject() ? uint64_t(record.subject()->auid) << 32 | record.subject()->euid
                                               : noSubject;
        const auto [it, added] = slotOfPair.try_emplace(pair, uint32_t(labels.size()));
        if (added) labels.push_back(QString::fromStdString(DisplayKeys::userLabel(record)));
        keys[i] = it->second;
    }
    const std::vector<uint32_t> rank = ranksOf(labels,
                                               [](const QString &a, const QString &b) { return naturalLess(a, b); });
    for (uint32_t &key : keys) key = rank[key];
    return keys;
}

std::vector<uint32_t> processKeys(const RecordSelection &filtered)
{
    return textRanks(filtered.size(), [&](size_t i) {
        const AuditRecord &record = filtered[i];
        return JoinedText(record.processImage ? lastPathComponent(*record.processImage) : std::string_view());
    });
}

std::vector<uint32_t> pidKeys(const RecordSelection &filtered)
{
    std::vector<uint32_t> keys(filtered.size());
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = uint32_t(DisplayKeys::pidValue(filtered[i]));
    return keys;
}

std::vector<uint32_t> resultKeys(const RecordSelection &filtered)
{
    std::vector<uint32_t> keys(filtered.size());
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = uint32_t(DisplayKeys::resultRank(filtered[i]));
    return keys;
}

std::vector<uint32_t> detailsKeys(const RecordSelection &filtered)
{
    return textRanks(filtered.size(), [&](size_t i) { return detailText(filtered[i]); });
}

struct TimeTexts {
    QLocale locale;
    std::array<QString, 12> months;
    QString am, pm;
    bool twelveHour = true;

    explicit TimeTexts(const QLocale &l) : locale(l)
    {
        for (int m = 0; m < 12; ++m) months[size_t(m)] = locale.monthName(m + 1, QLocale::ShortFormat);
        am = locale.amText();
        pm = locale.pmText();
        twelveHour = Format::usesTwelveHourClock(locale);
    }
};

// Rebuilt only when the default locale changes.
const TimeTexts &timeTexts()
{
    static std::optional<TimeTexts> texts;
    const QLocale locale;
    if (!texts || texts->locale != locale) texts.emplace(locale);
    return *texts;
}

void appendDigits(QString &out, int value, int width)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < 11);
    for (int i = count; i < width; ++i) out += u'0';
    while (count > 0) out += QLatin1Char(digits[--count]);
}

} // namespace

// What the cells of each column read of a record; a friend, so they reach the model's shared texts.
struct EventsCells {
    static QString time(const EventsTableModel &, const AuditRecord &r) { return eventsTimeText(r.time); }
    static QString event(const EventsTableModel &m, const AuditRecord &r) { return m.eventLabel(r); }
    static QString eventName(const EventsTableModel &, const AuditRecord &r)
    {
        return QString::fromStdString(AuditCatalog::shared().eventName(r.event));
    }
    static QString eventClass(const EventsTableModel &m, const AuditRecord &r) { return m.classLabel(r); }
    static QString user(const EventsTableModel &m, const AuditRecord &r) { return m.userLabel(r); }
    static QString process(const EventsTableModel &, const AuditRecord &r) { return RecordCells::process(r); }
    static QString processPath(const EventsTableModel &, const AuditRecord &r) { return RecordCells::processPath(r); }
    static QString pid(const EventsTableModel &, const AuditRecord &r)
    {
        return r.subject() ? QString::number(r.subject()->pid) : QString();
    }
    static QString result(const EventsTableModel &m, const AuditRecord &r) { return m.failureCaption(r.returnStatus); }
    static QString resultBadge(const EventsTableModel &, const AuditRecord &r)
    {
        return ResultBadgePainter::toolTip(r.returnStatus == 0);
    }
    // The badge paints no text: what it means, then the failure's caption.
    static QString resultSpoken(const EventsTableModel &m, const AuditRecord &r)
    {
        const QString badge = resultBadge(m, r);
        const QString caption = result(m, r);
        return caption.isEmpty() ? badge : badge + QStringLiteral(", ") + caption;
    }
    static QString details(const EventsTableModel &, const AuditRecord &r) { return RecordCells::details(r); }
};

namespace {

// The columns in display order: the one place a column is written.
constexpr TableColumn<EventsTableModel, AuditRecord, EventsSortKeys> columns[] = {
    {"Time", {150, 175}, EventsCells::time, nullptr, nullptr, nullptr, [] { return eventsTimeText(widestTableTime()); }},
    {"Event", {110, 170}, EventsCells::event, EventsCells::eventName, nullptr, eventKeys},
    {"Class", {40, 60}, EventsCells::eventClass, nullptr, nullptr, classKeys},
    {"User", {60, 90}, EventsCells::user, nullptr, nullptr, userKeys, widestSampleUser},
    {"Process", {70, 110}, EventsCells::process, EventsCells::processPath, nullptr, processKeys},
    {"PID", {40, 55}, EventsCells::pid, nullptr, nullptr, pidKeys, widestPid},
    {"Result", {40, 90}, EventsCells::result, EventsCells::resultBadge, EventsCells::resultSpoken, resultKeys},
    {"Details", {200, 480}, EventsCells::details, EventsCells::details, nullptr, detailsKeys},
};
static_assert(std::size(columns) == EventsTableModel::numColumns, "one entry per column");

} // namespace

QString eventsTimeText(double time)
{
    if (!UtcTime::inCalendar(time)) return QString::fromStdString(UtcTime::plainSeconds(time));
    const TimeTexts &texts = timeTexts();
    // Whole milliseconds first: 0.001 is not exact in binary, and truncating would show .000.
    const long long totalMillis = std::llround(time * 1000.0);
    long long wholeSeconds = totalMillis / 1000;
    if (totalMillis % 1000 < 0) --wholeSeconds;
    const time_t seconds = time_t(wholeSeconds);
    const int millis = int(totalMillis - wholeSeconds * 1000);
    struct tm local {};
    localtime_r(&seconds, &local);

    QString out;
    out.reserve(32);
    out += texts.months[size_t(std::clamp(local.tm_mon, 0, 11))];
    out += u' ';
    appendDigits(out, local.tm_mday, 1);
    out += QLatin1String(", ");
    if (texts.twelveHour) {
        appendDigits(out, local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12, 1);
    } else {
        appendDigits(out, local.tm_hour, 2);
    }
    out += u':';
    appendDigits(out, local.tm_min, 2);
    out += u':';
    appendDigits(out, local.tm_sec, 2);
    out += u'.';
    appendDigits(out, millis, 3);
    if (texts.twelveHour) {
        out += u' ';
        out += local.tm_hour < 12 ? texts.am : texts.pm;
    }
    return out;
}

std::vector<uint32_t> sortedRows(const RecordSelection &filtered, EventsTableModel::Column column, Qt::SortOrder order)
{
    const size_t n = filtered.size();
    std::vector<uint32_t> rows(n);
    const auto keysOf = columns[size_t(column)].sortKey;
    if (!keysOf) {
        if (order == Qt::AscendingOrder) {
            for (size_t i = 0; i < n; ++i) rows[i] = uint32_t(filtered.position(i));
        } else {
            for (size_t i = 0; i < n; ++i) rows[i] = uint32_t(filtered.position(n - 1 - i));
        }
        return rows;
    }
    // Key above, filtered row below: a plain sort of these is the stable sort by key.
    const std::vector<uint32_t> keys = keysOf(filtered);
    std::vector<uint64_t> packed(n);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t key = order == Qt::AscendingOrder ? keys[i] : ~keys[i];
        packed[i] = uint64_t(key) << 32 | uint32_t(i);
    }
    std::sort(packed.begin(), packed.end());
    for (size_t i = 0; i < n; ++i) rows[i] = uint32_t(filtered.position(size_t(uint32_t(packed[i]))));
    return rows;
}

EventsTableModel::EventsTableModel(QObject *parent) : ColumnTableModel(columns, parent)
{
    m_captionFont = Style::caption();
    m_detailsFont = Style::monospaced(Style::callout());
    // Two-letter class names at caption size in a monospaced face are too small to read at a
    // glance: they take the details' size, their secondary colour keeps them quiet.
    m_classFont = m_detailsFont;
    for (bool success : {true, false})
        (success ? m_successIcon : m_failureIcon) = symbolIcon(ResultBadgePainter::symbol(success),
                                                               ResultBadgePainter::color(success));
}

void EventsTableModel::setFiltered(RecordSelection filtered)
{
    derive(std::move(filtered));
}

void EventsTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= numColumns) return;
    m_sortColumn = Column(column);
    m_sortOrder = order;
    derive(m_filtered);
}

void EventsTableModel::derive(RecordSelection filtered)
{
    if (m_sortColumn == timeColumn) {
        m_sorting.cancel();
        show(std::move(filtered), nullptr, m_sortOrder);
        return;
    }
    m_sorting.run(
        this,
        [filtered, column = m_sortColumn, order = m_sortOrder](const PoolWork::Ticket &) {
            auto sorted = std::make_shared<Sorted>();
            sorted->positions = sortedRows(filtered, column, order);
            // A row's place in the result's time order, from its snapshot position.
            sorted->rowOfIndex.resize(sorted->positions.size());
            if (filtered.isAll()) {
                for (size_t row = 0; row < sorted->positions.size(); ++row)
                    sorted->rowOfIndex[sorted->positions[row]] = uint32_t(row);
            } else {
                const std::vector<uint32_t> &positions = *filtered.positions();
                for (size_t row = 0; row < sorted->positions.size(); ++row) {
                    const auto index = std::lower_bound(positions.begin(), positions.end(), sorted->positions[row]);
                    sorted->rowOfIndex[size_t(index - positions.begin())] = uint32_t(row);
                }
            }
            return std::pair(filtered, std::shared_ptr<const Sorted>(std::move(sorted)));
        },
        [this](std::pair<RecordSelection, std::shared_ptr<const Sorted>> result) {
            show(std::move(result.first), std::move(result.second), Qt::AscendingOrder);
        });
}

void EventsTableModel::show(RecordSelection filtered, std::shared_ptr<const Sorted> sorted, Qt::SortOrder timeOrder)
{
    beginResetModel();
    m_filtered = std::move(filtered);
    m_sorted = std::move(sorted);
    m_shownTimeOrder = timeOrder;
    endResetModel();
}

size_t EventsTableModel::position(int row) const
{
    if (m_sorted) return m_sorted->positions[size_t(row)];
    const size_t index = m_shownTimeOrder == Qt::AscendingOrder ? size_t(row) : m_filtered.size() - 1 - size_t(row);
    return m_filtered.position(index);
}

int64_t EventsTableModel::idAt(int row) const
{
    return row >= 0 && size_t(row) < m_filtered.size() ? recordAt(row).id : -1;
}

int EventsTableModel::rowOf(int64_t id, double time) const
{
    // Snapshots are ordered by time, then id, and a filter result keeps that order.
    const std::vector<AuditRecord> &records = *m_filtered.records();
    const auto it = std::lower_bound(records.begin(), records.end(), std::pair(time, id),
                                     [](const AuditRecord &r, const std::pair<double, int64_t> &key) {
                                         return r.time < key.first || (r.time == key.first && r.id < key.second);
                                     });
    if (it == records.end() || it->id != id) return -1;
    const auto position = uint32_t(it - records.begin());
    size_t index = position;
    if (!m_filtered.isAll()) {
        const std::vector<uint32_t> &positions = *m_filtered.positions();
        const auto found = std::lower_bound(positions.begin(), positions.end(), position);
        if (found == positions.end() || *found != position) return -1;
        index = size_t(found - positions.begin());
    }
    if (m_sorted) return int(m_sorted->rowOfIndex[index]);
    return int(m_shownTimeOrder == Qt::AscendingOrder ? index : m_filtered.size() - 1 - index);
}

int EventsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_filtered.size());
}

QString EventsTableModel::eventLabel(const AuditRecord &record) const
{
    auto it = m_eventLabels.find(record.event);
    if (it == m_eventLabels.end())
        it = m_eventLabels.insert(record.event, QString::fromStdString(DisplayKeys::eventLabel(record)));
    return *it;
}

QString EventsTableModel::classLabel(const AuditRecord &record) const
{
    auto it = m_classLabels.find(record.event);
    if (it == m_classLabels.end())
        it = m_classLabels.insert(record.event, QString::fromStdString(DisplayKeys::classLabel(record)));
    return *it;
}

QString EventsTableModel::userLabel(const AuditRecord &record) const
{
    if (!record.subject()) return {};
    const uint64_t pair = uint64_t(record.subject()->auid) << 32 | record.subject()->euid;
    auto it = m_userLabels.find(pair);
    if (it == m_userLabels.end())
        it = m_userLabels.insert(pair, QString::fromStdString(DisplayKeys::userLabel(record)));
    return *it;
}

QString EventsTableModel::failureCaption(uint8_t status) const
{
    if (status == 0) return {};
    auto it = m_failureCaptions.find(status);
    if (it == m_failureCaptions.end()) {
        const auto &descriptions = bsmErrnoDescriptions();
        const auto text = descriptions.find(status);
        it = m_failureCaptions.insert(status, text != descriptions.end() ? QString::fromStdString(text->second)
                                                                         : QString::number(status));
    }
    return *it;
}

QVariant EventsTableModel::cellData(const AuditRecord &record, int column, int role) const
{
    switch (role) {
    case Qt::FontRole:
        if (column == classColumn) return m_classFont;
        if (column == detailsColumn) return m_detailsFont;
        if (column == resultColumn) return m_captionFont;
        return {};
    case Qt::ForegroundRole:
        if (column == classColumn || column == resultColumn) return Style::secondaryText();
        return {};
    case Qt::DecorationRole:
        if (column == resultColumn) return record.returnStatus == 0 ? m_successIcon : m_failureIcon;
        return {};
    case ItemRoles::recordIDRole: return qlonglong(record.id);
    default: return {};
    }
}

QVariant EventsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // A click on another column starts with its forward order.
    if (role == Qt::InitialSortOrderRole && orientation == Qt::Horizontal && section >= 0 && section < numColumns)
        return int(Qt::AscendingOrder);
    return ColumnTableModel::headerData(section, orientation, role);
}
