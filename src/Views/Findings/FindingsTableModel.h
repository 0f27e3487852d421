#pragma once

#include "Engine/Analysis/Finding.h"
#include "Views/Findings/FindingsRows.h"

#include <QAbstractTableModel>
#include <QFont>

#include <optional>
#include <vector>

// The findings table: the rows FindingsRows::rows derives, over the model's own copy of the
// store's findings (a few thousand at most, and the store replaces its list on every rebuild).
class FindingsTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { severityColumn, timeColumn, ruleColumn, tacticColumn, techniqueColumn, userColumn,
                  summaryColumn, numColumns };

    explicit FindingsTableModel(QObject *parent = nullptr);

    // Re-derives the rows; one reset.
    void setFindings(std::vector<Finding> findings);
    void setMinimum(Severity minimum);
    void setSearch(const QString &search);

    const std::vector<Finding> &findings() const { return m_findings; }
    Severity minimum() const { return m_minimum; }
    FindingsRows::SortOrder sortOrder() const { return m_order; }
    // The column's key, or none for the ATT&CK column, which does not sort.
    static std::optional<FindingsRows::SortKey> sortKey(int column);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const Finding &findingAt(int row) const { return m_findings[m_rows[size_t(row)]]; }
    // The row showing the finding with this id, or -1.
    int rowOf(const Uuid &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void derive();

    std::vector<Finding> m_findings;
    std::vector<uint32_t> m_rows;
    Severity m_minimum = Severity::low;
    QString m_search;
    FindingsRows::SortOrder m_order;
    QFont m_ruleFont;
    QFont m_techniqueFont;
    QFont m_summaryFont;
};
