#pragma once

#include "Engine/Analysis/ProcessGraph.h"
#include "Views/Components/PoolWork.h"
#include "Views/Processes/ProcessRows.h"
#include "Views/ScreenWidget.h"

#include <optional>

class AuditStore;
class MasterDetail;
class ProcessDetail;
class ProcessListModel;
class ProcessTreeModel;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QStackedWidget;
class QTableView;
class QToolButton;
class QTreeView;
class SelectionGuard;

// The processes of the loaded trails, as an outline of parents and children or as a sortable list
// of every executed image. The toolbar search and the root-only switch narrow both; the detail
// pane shows the selected process. The selection is a process id kept by the screen: it survives a
// switch between the presentations and a search that hides its row. The outline, the list and a
// process's lineage are derived on the pool; meanwhile the screen shows what it had, with a busy
// indicator beside the count.
class ProcessesView : public ScreenWidget {
    Q_OBJECT

public:
    enum class Mode { tree, list };

    explicit ProcessesView(const ViewContext &context, QWidget *parent = nullptr);

    QString searchPrompt() const override;

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    QToolButton *modeButton(Mode mode) const;
    QCheckBox *rootOnlySwitch() const { return m_rootOnly; }
    QLabel *countLabel() const { return m_count; }
    QTreeView *tree() const { return m_tree; }
    QTableView *table() const { return m_table; }
    ProcessTreeModel *treeModel() const { return m_treeModel; }
    ProcessListModel *listModel() const { return m_listModel; }
    // The detail of the selected process, or null while the placeholder shows.
    ProcessDetail *detail() const;
    std::optional<int64_t> selection() const { return m_selection; }
    // An outline is being derived for the tree; the model shows the one before until it comes.
    bool outlinePending() const;
    // The selected process's lineage is being looked for; the detail shows it when it lands.
    bool lineagePending() const { return m_lineage.pending(); }

    // The menu of one process (Show Events, Show Exec Record, Copy Command Line). Owned by the view.
    QMenu *processMenu(const ProcessNode &process);
    // The list row's menu: empty when the row names no process of the store.
    QMenu *contextMenuForListRow(int row);

private:
    QWidget *makeControls(QWidget *parent);
    void guardSelection();
    ProcessRows::ProcessFilter filter() const;
    void refresh(bool storeChanged = false);
    void refreshTree();
    void applySelection();
    void choose(std::optional<int64_t> id);
    void updateDetail(bool storeChanged);
    // The process with this id in the store's flat list, or null (placeholders are not in it).
    const ProcessNode *process(int64_t id) const;
    void updateBusy();
    void updateCount();
    void openOutline();

    AuditStore &m_store;
    Mode m_mode = Mode::tree;
    QToolButton *m_treeButton = nullptr;
    QToolButton *m_listButton = nullptr;
    QCheckBox *m_rootOnly = nullptr;
    QLabel *m_count = nullptr;
    QProgressBar *m_busy = nullptr;
    MasterDetail *m_frame = nullptr;
    QStackedWidget *m_presentations = nullptr;
    QTreeView *m_tree = nullptr;
    QTableView *m_table = nullptr;
    ProcessTreeModel *m_treeModel = nullptr;
    ProcessListModel *m_listModel = nullptr;
    std::optional<int64_t> m_selection;
    SelectionGuard *m_treeGuard = nullptr;
    SelectionGuard *m_listGuard = nullptr;
    PoolWork::Latest m_lineage;
};
