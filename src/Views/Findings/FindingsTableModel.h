#pragma once

#include "Engine/Analysis/Finding.h"
#include "Views/Components/ColumnTable.h"
#include "Views/Components/PoolWork.h"
#include "Views/Findings/FindingsRows.h"

#include <QAbstractTableModel>
#include <QFont>

#include <memory>
#include <optional>
#include <span>
#include <vector>

// The findings table: the rows of a FindingsRows::Table, positions into the snapshot of the
// store's findings it holds. The table is derived and sorted on the pool whenever the findings,
// the minimum, the search or the order change; until it lands the table keeps the rows it has.
class FindingsTableModel : public ColumnTableModel<FindingsTableModel, Finding, std::optional<FindingsRows::SortKey>> {
    Q_OBJECT

public:
    enum Column {
        severityColumn,
        timeColumn,
        ruleColumn,
        tacticColumn,
        techniqueColumn,
        userColumn,
        summaryColumn,
        numColumns
    };

    explicit FindingsTableModel(QObject *parent = nullptr);

    // Each re-derives the rows on the pool.
    void setFindings(FindingsRows::FindingsSnapshot findings);
    void setMinimum(Severity minimum);
    void setSearch(const QString &search);
    bool isDeriving() const { return m_deriving.pending(); }

    // The table the rows come from: its findings, chips and look-ups by id.
    const FindingsRows::Table &table() const { return *m_table; }
    const std::vector<Finding> &findings() const { return *m_table->findings; }
    Severity minimum() const { return m_minimum; }
    FindingsRows::SortOrder sortOrder() const { return m_order; }
    // The column's key, or none for the ATT&CK column, which does not sort.
    static std::optional<FindingsRows::SortKey> sortKey(int column);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    const Finding &findingAt(int row) const { return (*m_table->findings)[m_table->rows[size_t(row)]]; }
    const Finding &rowAt(int row) const { return findingAt(row); }
    // The row showing the finding with this id, or -1.
    int rowOf(const Uuid &id) const { return m_table->rowOf(id); }

    int rowCount(const QModelIndex &parent = {}) const override;

signals:
    // A new table is shown (after the model's reset).
    void tableChanged();
    void derivingChanged();

private:
    QVariant cellData(const Finding &finding, int column, int role) const override;
    void derive();

    FindingsRows::FindingsSnapshot m_findings;
    std::shared_ptr<const FindingsRows::Table> m_table;
    PoolWork::Latest m_deriving{[this] { emit derivingChanged(); }};
    Severity m_minimum = Severity::low;
    QString m_search;
    FindingsRows::SortOrder m_order;
    QFont m_ruleFont;
    QFont m_techniqueFont;
    QFont m_summaryFont;
};
