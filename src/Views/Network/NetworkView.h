#pragma once

#include "Views/ScreenWidget.h"

#include <optional>

class AuditStore;
class BarList;
class NetworkTableModel;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QTableView;

// The records with socket addresses: where they connect to and which programs made them (two
// top-six cards whose rows fill the search), the local-socket switch, a count and the table.
// Double-click or Return opens a record on the Events screen. The selection is a record id kept by
// the screen, so it survives a search that hides its row. The rows, their order and the cards are
// derived on the pool, when the screen is made and after each change; meanwhile the screen shows
// what it had, with a busy indicator beside the count.
class NetworkView : public ScreenWidget {
    Q_OBJECT

public:
    explicit NetworkView(const ViewContext &context, QWidget *parent = nullptr);

    QString searchPrompt() const override;

    QCheckBox *hideLocalSwitch() const { return m_hideLocal; }
    QLabel *countLabel() const { return m_count; }
    BarList *destinationsList() const { return m_destinations; }
    BarList *processesList() const { return m_processes; }
    QTableView *table() const { return m_table; }
    NetworkTableModel *model() const { return m_model; }
    std::optional<int64_t> selection() const { return m_selection; }
    // Rows are being derived; the table, cards and count are the ones from before.
    bool isDeriving() const;
    // The row's record menu, or null when the store no longer knows the record. Owned by the view.
    QMenu *contextMenuForRow(int row);
    // The primary action of a row (double-click, Return).
    void openRow(int row);

private:
    QWidget *makeCards();
    QWidget *makeFilterRow();
    void refresh();
    void showTable();

    AuditStore &m_store;
    QProgressBar *m_busy = nullptr;
    QCheckBox *m_hideLocal = nullptr;
    QLabel *m_count = nullptr;
    BarList *m_destinations = nullptr;
    BarList *m_processes = nullptr;
    QTableView *m_table = nullptr;
    NetworkTableModel *m_model = nullptr;
    std::optional<int64_t> m_selection;
};
