#pragma once

#include "Engine/Analysis/Finding.h"
#include "Views/ScreenWidget.h"

#include <optional>

class AuditStore;
class ContentUnavailable;
class FindingDetail;
class FindingsTableModel;
class MasterDetail;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QScrollArea;
class QTableView;
class QToolButton;

// The findings of the loaded trails: a minimum severity, tactic chips and the toolbar search
// narrow them; the table sorts them; the inspector explains the selected one; double-click and the
// row menu lead to the evidence on the Events screen. The selection is a finding id kept by the
// screen, so it survives a search that hides its row.
class FindingsView : public ScreenWidget {
    Q_OBJECT

public:
    explicit FindingsView(const ViewContext &context, QWidget *parent = nullptr);

    QString searchPrompt() const override;

    QComboBox *minimumPicker() const { return m_minimum; }
    QTableView *table() const { return m_table; }
    FindingsTableModel *model() const { return m_model; }
    QLabel *countLabel() const { return m_count; }
    ContentUnavailable *emptyOverlay() const { return m_empty; }
    // The chips in strip order.
    QList<QToolButton *> chips() const;
    // The strip the chips scroll in.
    QScrollArea *chipScroller() const { return m_chipScroller; }
    // The detail of the selected finding, or null while the placeholder shows.
    FindingDetail *detail() const;
    std::optional<Uuid> selection() const { return m_selection; }
    // The row's menu, empty when the row names no finding of the store. Owned by the view.
    QMenu *contextMenuForRow(int row);
    // The double-click action of a row.
    void openRow(int row);

private:
    QWidget *makeHeader(QWidget *parent);
    void reload();
    void rederive();
    void rebuildChips();
    void updateDetail();
    void updateCountAndOverlay();
    std::optional<Finding> findingOfRow(int row) const;

    AuditStore &m_store;
    QComboBox *m_minimum = nullptr;
    QScrollArea *m_chipScroller = nullptr;
    QWidget *m_chipStrip = nullptr;
    QHBoxLayout *m_chipLayout = nullptr;
    QLabel *m_count = nullptr;
    QTableView *m_table = nullptr;
    FindingsTableModel *m_model = nullptr;
    ContentUnavailable *m_empty = nullptr;
    MasterDetail *m_frame = nullptr;
    std::optional<Uuid> m_selection;
};
