#pragma once

#include "Views/ScreenWidget.h"

class AuditStore;
class EventsTableModel;
class FilterBar;
class MasterDetail;
class SelectionGuard;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTableView;
class RecordInspector;

// The record table: every record that passes the store's filter, the filter bar above it, a
// footer below and the selected record's inspector beside it. The selection is the store's
// selected record id, kept while a filter hides its row and shown again when a later result
// holds it. The screen's own toolbar item ("Inspector") is among its actions().
class EventsView : public ScreenWidget {
    Q_OBJECT

public:
    explicit EventsView(const ViewContext &context, QWidget *parent = nullptr);

    QString searchPrompt() const override;

    QTableView *table() const { return m_table; }
    EventsTableModel *model() const { return m_model; }
    RecordInspector *inspector() const { return m_inspector; }
    QAction *inspectorAction() const { return m_inspectorAction; }
    MasterDetail *frame() const { return m_frame; }
    // The row's record menu, or null when no record stands behind the row. Owned by the view.
    QMenu *contextMenuForRow(int row);

private:
    QWidget *makeFooter(QWidget *parent);
    void showFiltered();
    void updateInspector();
    void updateFooter();
    void updateOverlay();

    AuditStore &m_store;
    FilterBar *m_filterBar = nullptr;
    QTableView *m_table = nullptr;
    EventsTableModel *m_model = nullptr;
    QWidget *m_emptyOverlay = nullptr;
    QProgressBar *m_busy = nullptr;
    QLabel *m_counts = nullptr;
    QLabel *m_selected = nullptr;
    RecordInspector *m_inspector = nullptr;
    QAction *m_inspectorAction = nullptr;
    MasterDetail *m_frame = nullptr;
    SelectionGuard *m_guard = nullptr;
};
