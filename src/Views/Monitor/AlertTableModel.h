#pragma once

#include "Services/MonitorAlert.h"
#include "Views/Components/ColumnTable.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QIcon>
#include <QString>

#include <optional>
#include <set>
#include <span>
#include <vector>

// The history table's rows: every alert, or with "New only" the unacknowledged ones; order kept.
std::vector<MonitorAlert> alertRows(const std::vector<MonitorAlert> &history, bool newOnly);
// "N total · M new", plain integers.
QString alertHistoryCounts(size_t total, int64_t unacknowledged);
// The ids a row menu acts on: none over empty space, the whole selection when the clicked row
// belongs to it, else the clicked row alone.
std::set<Uuid> alertMenuIDs(const std::optional<Uuid> &clicked, const std::set<Uuid> &selection);
// "High · rule · summary" per alert of the history whose id is in ids, history order, joined by
// line feeds.
QString alertSummaryText(const std::vector<MonitorAlert> &history, const std::set<Uuid> &ids);
// The alert the detail column shows: the one selected alone, looked up in the whole history.
std::optional<MonitorAlert> detailAlert(const std::vector<MonitorAlert> &history, const std::set<Uuid> &selection);
// "Dec 8, 6:09:14 AM".
QString alertRaisedText(double raisedAt);

// The alert history table over the screen's rows. Rows change only as a whole: with the same
// alerts in the same order the cells are refreshed in place, otherwise the model resets.
class AlertTableModel : public ColumnTableModel<AlertTableModel, MonitorAlert> {
    Q_OBJECT

public:
    enum Column {
        dotColumn,
        severityColumn,
        raisedColumn,
        ruleColumn,
        techniqueColumn,
        userColumn,
        summaryColumn,
        numColumns
    };

    explicit AlertTableModel(QObject *parent = nullptr);

    // True when it reset.
    bool setRows(std::vector<MonitorAlert> rows);
    const std::vector<MonitorAlert> &rows() const { return m_rows; }
    const Uuid &idAt(int row) const { return m_rows[size_t(row)].id; }
    const MonitorAlert &rowAt(int row) const { return m_rows[size_t(row)]; }
    int rowOf(const Uuid &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;

private:
    QVariant cellData(const MonitorAlert &alert, int column, int role) const override;

    std::vector<MonitorAlert> m_rows;
    std::vector<std::pair<Uuid, int>> m_rowByID; // by id
    QIcon m_dot;
    QIcon m_monitorIcon;
    QFont m_captionFont;
    QFont m_captionMono;
    QFont m_calloutMono;
    QFont m_semibold;
};
