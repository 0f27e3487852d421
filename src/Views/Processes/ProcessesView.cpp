#include "Views/Processes/ProcessesView.h"

#include "Store/AuditStore.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/ColumnTable.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/TableColumns.h"
#include "Views/Processes/ProcessDetail.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessRow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <array>
#include <tuple>

namespace {

constexpr int controlsPaddingH = 12;
constexpr int controlsPaddingV = 8;
constexpr int pickerWidth = 160;
constexpr MasterDetail::Widths inspectorWidths{300, 360, 520};
// Outlines up to this size open fully expanded; bigger ones show their roots' children only.
constexpr int expandAllLimit = 5000;

} // namespace

ProcessesView::ProcessesView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_store(*context.store)
{
    setObjectName("processesView");
    setWindowTitle(QStringLiteral("Processes"));
    m_frame = MasterDetail::filling(this);
    m_frame->addBar(makeControls(m_frame->columnWidget()));

    m_presentations = new QStackedWidget(m_frame->columnWidget());
    m_treeModel = new ProcessTreeModel(this);
    m_tree = new QTreeView(m_presentations);
    m_tree->setObjectName("processTree");
    m_tree->setModel(m_treeModel);
    m_tree->setHeaderHidden(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setItemDelegate(new ProcessRowDelegate(m_tree));
    m_presentations->addWidget(m_tree);

    m_listModel = new ProcessListModel(this);
    m_table = MasterDetail::listTable(m_frame->columnWidget(), "processTable", m_listModel, 8);
    m_table->setItemDelegateForColumn(ProcessListModel::userColumn, new UserTextDelegate(m_table));
    m_table->setItemDelegateForColumn(ProcessListModel::imageColumn, new MiddleElideDelegate(m_table, Qt::ElideLeft));
    m_table->setItemDelegateForColumn(ProcessListModel::commandLineColumn, new MiddleElideDelegate(m_table));
    setEqualDigits(m_table, {ProcessListModel::startedColumn, ProcessListModel::pidColumn, ProcessListModel::ppidColumn,
                             ProcessListModel::eventsColumn});
    keepColumnsFitted(m_table, m_listModel->columnWidths(m_table->font()), ProcessListModel::commandLineColumn);
    // Columns without a key do not sort.
    enableKeyedSorting(m_table, m_listModel, ProcessListModel::startedColumn);
    m_presentations->addWidget(m_table);
    m_frame->column()->addWidget(m_presentations, 1);

    auto *noSelection = new ContentUnavailable(
        QStringLiteral("No process selected"), QStringLiteral("terminal"),
        QStringLiteral("Select a process to see its command line, signing identity and lineage."));
    noSelection->setObjectName("noProcessSelected");
    m_frame->setPane("processInspector", noSelection, MasterDetail::PaneMode::alwaysShown, inspectorWidths);
    m_frame->remember(context.layout, QStringLiteral("processes"));

    MasterDetail::openRowMenus(m_tree, [this](const QModelIndex &index) {
        const ProcessNode *node = m_treeModel->nodeAt(index);
        return node ? processMenu(*node) : nullptr;
    });
    MasterDetail::openRowMenus(m_table, [this](const QModelIndex &index) {
        return index.isValid() ? contextMenuForListRow(index.row()) : nullptr;
    });

    // A new outline's rows are opened before anything lays the tree out, so the view lays out the
    // open tree in one pass: a node opened after the layout inserts its rows one at a time, moving
    // every row below each time, which over tens of thousands of roots takes seconds.
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, &ProcessesView::openOutline);
    connect(m_treeModel, &ProcessTreeModel::derivingChanged, this, &ProcessesView::updateBusy);
    connect(m_listModel, &QAbstractItemModel::modelReset, this, &ProcessesView::updateCount);
    connect(m_listModel, &ProcessListModel::derivingChanged, this, &ProcessesView::updateBusy);
    guardSelection();
    connect(m_rootOnly, &QCheckBox::toggled, this, [this] { refresh(); });
    connect(this, &ScreenWidget::searchChanged, this, [this] { refresh(); });
    // The models hold snapshots, safe across a rebuild, but a rebuild that keeps every process id
    // notifies nothing about the lists; findingsChanged always follows it, so the screen shows
    // the new figures.
    for (auto signal : {&AuditStore::processesChanged, &AuditStore::processRootsChanged, &AuditStore::findingsChanged})
        connect(&m_store, signal, this, [this] { refresh(true); });

    refresh(true);
}

QWidget *ProcessesView::makeControls(QWidget *parent)
{
    auto *controls = new QWidget(parent);
    controls->setObjectName("processControls");
    auto *controlsLayout = new QHBoxLayout(controls);
    controlsLayout->setContentsMargins(controlsPaddingH, controlsPaddingV, controlsPaddingH, controlsPaddingV);
    auto *picker = new QWidget(controls);
    picker->setObjectName("viewPicker");
    picker->setAccessibleName(QStringLiteral("View"));
    picker->setFixedWidth(pickerWidth);
    auto *pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    const auto segment = [&](const char *title, Mode mode) {
        auto *button = new QToolButton(picker);
        button->setText(QString::fromUtf8(title));
        button->setCheckable(true);
        button->setChecked(mode == m_mode);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group->addButton(button);
        pickerLayout->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, mode] { setMode(mode); });
        return button;
    };
    m_treeButton = segment("Tree", Mode::tree);
    m_listButton = segment("List", Mode::list);
    controlsLayout->addWidget(picker);
    m_rootOnly = new QCheckBox(QStringLiteral("Only processes running as root"), controls);
    m_rootOnly->setObjectName("rootOnly");
    controlsLayout->addWidget(m_rootOnly);
    std::tie(m_busy, m_count) = endWithCount(controlsLayout, "imageCount");
    return controls;
}

void ProcessesView::guardSelection()
{
    // One process id, kept across both presentations; only the shown one passes the user's choice on.
    m_treeGuard = new SelectionGuard(m_tree, {[this] {
                                                  const QModelIndex index = m_selection && m_mode == Mode::tree
                                                                                ? m_treeModel->indexOf(*m_selection)
                                                                                : QModelIndex();
                                                  return index.isValid() ? QModelIndexList{index} : QModelIndexList();
                                              },
                                              [this](const QModelIndexList &rows) {
                                                  if (m_mode != Mode::tree) return;
                                                  const ProcessNode *node = rows.isEmpty()
                                                                                ? nullptr
                                                                                : m_treeModel->nodeAt(rows.first());
                                                  choose(node ? std::optional<int64_t>(node->id) : std::nullopt);
                                              }});
    m_listGuard = new SelectionGuard(
        m_table, {[this] {
                      const int row = m_selection && m_mode == Mode::list ? m_listModel->rowOf(*m_selection) : -1;
                      return row < 0 ? QModelIndexList() : QModelIndexList{m_listModel->index(row, 0)};
                  },
                  [this](const QModelIndexList &rows) {
                      if (m_mode != Mode::list) return;
                      choose(rows.isEmpty() ? std::nullopt
                                            : std::optional<int64_t>(m_listModel->processAt(rows.first().row()).id));
                  }});
}

QString ProcessesView::searchPrompt() const
{
    return QString::fromUtf8("Image, argument, pid, signing id\u2026");
}

QToolButton *ProcessesView::modeButton(Mode mode) const
{
    return mode == Mode::tree ? m_treeButton : m_listButton;
}

void ProcessesView::setMode(Mode mode)
{
    modeButton(mode)->setChecked(true);
    if (mode == m_mode) return;
    m_mode = mode;
    if (m_mode == Mode::tree) {
        refreshTree();
        m_presentations->setCurrentWidget(m_tree);
        // The outline's rows take any width; only the list's columns ask the pane to give way.
        m_frame->giveWayTo(nullptr);
    } else {
        // The outline is only kept while shown; the list is always current for the count.
        m_treeModel->clear();
        m_presentations->setCurrentWidget(m_table);
        m_frame->giveWayTo(m_table);
    }
    applySelection();
}

void ProcessesView::applySelection()
{
    (m_mode == Mode::tree ? m_treeGuard : m_listGuard)->apply();
}

ProcessRows::ProcessFilter ProcessesView::filter() const
{
    return ProcessRows::ProcessFilter(search(), m_rootOnly->isChecked());
}

void ProcessesView::refresh(bool storeChanged)
{
    m_listModel->setProcesses(m_store.processesSnapshot(), filter());
    if (m_mode == Mode::tree) refreshTree();
    updateDetail(storeChanged);
}

void ProcessesView::updateCount()
{
    m_count->setText(Format::count(m_listModel->rowCount()) + QStringLiteral(" images"));
}

void ProcessesView::updateBusy()
{
    m_busy->setVisible(m_listModel->isDeriving() || m_treeModel->isDeriving());
}

void ProcessesView::openOutline()
{
    // Stored as open only, while the view's layout is still pending after the reset.
    const bool all = m_treeModel->nodeCount() <= expandAllLimit;
    for (const QModelIndex &parent : m_treeModel->parents(all)) m_tree->expand(parent);
}

void ProcessesView::refreshTree()
{
    m_treeModel->setTree(m_store.processTreeSnapshot(), filter());
}

void ProcessesView::choose(std::optional<int64_t> id)
{
    m_selection = id;
    updateDetail(false);
}

const ProcessNode *ProcessesView::process(int64_t id) const
{
    const ProcessTree &tree = m_store.processTree();
    const std::optional<uint32_t> at = tree.position(id);
    return at && *at < tree.processes.size() ? &tree.processes[*at] : nullptr;
}

void ProcessesView::updateDetail(bool storeChanged)
{
    // Looked up in the flat list only: a placeholder has no detail.
    const ProcessNode *shown = m_selection ? process(*m_selection) : nullptr;
    // The same process keeps its pane (and scroll position) until the store changes.
    if (detail() && shown && !storeChanged && detail()->process().id == shown->id) return;
    m_lineage.cancel();
    if (!shown) {
        m_frame->setDetail(nullptr);
        return;
    }
    m_frame->setDetail(new ProcessDetail(m_store, *shown, m_frame->pane()));
    // The lineage walks the whole list, backwards, up to 32 times: on the pool.
    m_lineage.run(
        this,
        [processes = m_store.processesSnapshot(), node = *shown](const PoolWork::Ticket &) {
            return ProcessRows::ancestry(node, *processes);
        },
        [this, id = shown->id](std::vector<ProcessNode> lineage) {
            if (detail() && detail()->process().id == id) detail()->setLineage(lineage);
        });
}

ProcessDetail *ProcessesView::detail() const
{
    return static_cast<ProcessDetail *>(m_frame->detail());
}

QMenu *ProcessesView::processMenu(const ProcessNode &process)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const ProcessNode node = process;
    // These switch to the Events screen, which replaces this one: they hold the store, not it.
    AuditStore *store = &m_store;
    connect(menu->addAction(QStringLiteral("Show Events for This Process")), &QAction::triggered, menu,
            [store, node] { store->showProcessEvents(node); });
    connect(menu->addAction(QStringLiteral("Show Exec Record")), &QAction::triggered, menu,
            [store, id = node.id, label = ProcessRows::execRecordLabel(node)] { store->showRecords({id}, label); });
    menu->addSeparator();
    // Made when chosen: a command line can run to megabytes.
    connect(menu->addAction(QStringLiteral("Copy Command Line")), &QAction::triggered, this,
            [node] { copyToClipboard(QString::fromStdString(node.commandLine())); });
    return menu;
}

QMenu *ProcessesView::contextMenuForListRow(int row)
{
    if (row >= 0 && row < m_listModel->rowCount())
        if (const ProcessNode *shown = process(m_listModel->processAt(row).id)) return processMenu(*shown);
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

bool ProcessesView::outlinePending() const
{
    return m_treeModel->isDeriving();
}
