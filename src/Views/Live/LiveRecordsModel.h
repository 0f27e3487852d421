#pragma once

#include "Services/LiveMonitor.h"
#include "Views/Components/ColumnTable.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the live table lets through: the failures test first (cheap), then the free text.
struct LiveFilter {
    bool failuresOnly = false;
    std::string search; // as typed; empty keeps everything

    bool operator==(const LiveFilter &) const = default;
};

// The live table's rows as the screen defines them: the source list walked newest first, failures
// only before the text test, at most `cap` entries. Positions into `records`.
std::vector<uint32_t> liveRows(const std::vector<AuditRecord> &records, const LiveFilter &filter, size_t cap);

// One row of the live table: what its cells show of a record, kept with it.
struct LiveRow {
    int64_t id = 0;
    int64_t sequence = 0; // arrival number: position in the source plus everything dropped before
    double time = 0;
    uint16_t event = 0;
    bool success = true;
    int64_t pid = 0;
    QString user;
    QString process;
    QString details;
};

// The live buffer newest first, filtered and capped at 5,000 rows. A publication that only drops
// old records and appends new ones removes rows at the bottom and inserts rows at the top; the
// model is reset only for a new filter, a new source (pause) or a buffer whose order changed.
// Each row keeps its own display values, so the model holds no reference to the buffer between
// updates (a held buffer would make the capture copy it on every arrival).
class LiveRecordsModel : public ColumnTableModel<LiveRecordsModel, LiveRow> {
    Q_OBJECT

public:
    enum Column {
        timeColumn,
        eventColumn,
        userColumn,
        processColumn,
        pidColumn,
        resultColumn,
        detailsColumn,
        numColumns
    };
    static constexpr size_t defaultRowCap = 5000;

    explicit LiveRecordsModel(QObject *parent = nullptr, size_t rowCap = defaultRowCap);

    // Rebuilds every row from this source list: one reset.
    void reset(const LiveMonitor::Records &source, const LiveFilter &filter);
    // The source grew or rolled: `dropped` records left its front since the last update and the
    // rest of `source` past the survivors is new. Removes and inserts rows; no reset.
    void roll(const LiveMonitor::Records &source, int64_t dropped);
    // The same records came back analysed, in the same order: refreshes the process images (and,
    // when a search could now match differently, re-derives the rows). Resets only when the rows
    // themselves change.
    void refresh(const LiveMonitor::Records &source);

    const LiveFilter &filter() const { return m_filter; }
    int64_t idAt(int row) const { return m_rows[size_t(row)].id; }
    const LiveRow &rowAt(int row) const { return m_rows[size_t(row)]; }
    int rowOf(int64_t id) const;

    int rowCount(const QModelIndex &parent = {}) const override;

private:
    friend struct LiveCells;
    using Row = LiveRow;

    QVariant cellData(const LiveRow &row, int column, int role) const override;

    Row makeRow(const AuditRecord &record, int64_t sequence);
    QString eventLabel(uint16_t event) const;

    size_t m_rowCap;
    LiveFilter m_filter;
    std::optional<RecordQuery> m_query;
    std::vector<Row> m_rows;                // newest first
    QHash<int64_t, int64_t> m_sequenceByID; // a row's arrival number, which falls down the rows
    int64_t m_dropped = 0;                  // records dropped from the source's front since the last reset
    size_t m_sourceSize = 0;                // the source's size at the last update
    mutable QHash<uint16_t, QString> m_eventLabels;
    QHash<QString, QString> m_users; // shared texts: many rows, few users
    QFont m_detailsFont;
};

// "4:05:06.789 PM": hour, minute, second and milliseconds in the default locale (with the day
// period where the locale uses one) and the local time zone.
QString liveTimeText(double time);
