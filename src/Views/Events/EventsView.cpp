#include "Views/Events/EventsView.h"

#include "Store/AuditStore.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/Divider.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/RecordContextMenu.h"
#include "Views/Components/RecordInspector.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableColumns.h"
#include "Views/Events/EventsTableModel.h"
#include "Views/Events/FilterBar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTableView>

#include <algorithm>

namespace {

constexpr MasterDetail::Widths inspectorWidths{320, 400, 600};
constexpr int footerPaddingH = 12;
constexpr int footerPaddingV = 6;

} // namespace

EventsView::EventsView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_store(*context.store)
{
    setObjectName("eventsView");
    m_inspectorAction = new QAction("Inspector", this);
    m_inspectorAction->setObjectName("inspectorToggle");
    setSymbol(m_inspectorAction, "sidebar.right");
    m_inspectorAction->setToolTip("Show or hide the record inspector");
    m_inspectorAction->setCheckable(true);
    m_inspectorAction->setChecked(true);
    addAction(m_inspectorAction);

    m_frame = MasterDetail::filling(this);
    m_filterBar = new FilterBar(m_store, m_frame->columnWidget());
    m_frame->addBar(m_filterBar);

    m_model = new EventsTableModel(this);
    m_table = MasterDetail::listTable(m_frame->columnWidget(), "eventsTable", m_model, 8);
    m_table->setItemDelegateForColumn(EventsTableModel::detailsColumn, new MiddleElideDelegate(m_table));
    setEqualDigits(m_table, {EventsTableModel::timeColumn, EventsTableModel::pidColumn});
    keepColumnsFitted(m_table, m_model->columnWidths(m_table->font()), EventsTableModel::detailsColumn);
    m_table->horizontalHeader()->setSortIndicator(EventsTableModel::timeColumn, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    auto *empty = new ContentUnavailable("No matching records", "line.3.horizontal.decrease.circle",
                                         "Adjust or clear the filters.");
    empty->setObjectName("noMatchingRecords");
    m_frame->addView(m_table, empty);
    m_emptyOverlay = empty;
    m_frame->column()->addWidget(horizontalDivider(m_frame->columnWidget()));
    m_frame->column()->addWidget(makeFooter(m_frame->columnWidget()));

    auto *noSelection = new ContentUnavailable("No selection", "sidebar.right",
                                               "Select a record to see every token it contains.");
    noSelection->setObjectName("noSelection");
    m_frame->setPane("", noSelection, MasterDetail::PaneMode::toggled, inspectorWidths);
    m_inspector = new RecordInspector(m_frame->pane());
    m_frame->showInPane(m_inspector);
    m_frame->remember(context.layout, QStringLiteral("events"));
    connect(m_inspectorAction, &QAction::toggled, m_frame, &MasterDetail::setPaneShown);
    MasterDetail::openRowMenus(m_table, [this](const QModelIndex &index) {
        return index.isValid() ? contextMenuForRow(index.row()) : nullptr;
    });

    // The selection is the store's, so a drill-down's record is selected here and survives a filter.
    m_guard = new SelectionGuard(m_table, {[this] {
                                               QModelIndexList rows;
                                               if (const std::optional<int64_t> id = m_store.selectedRecordID())
                                                   if (const std::optional<AuditRecord> record = m_store.record(*id))
                                                       if (const int row = m_model->rowOf(*id, record->time); row >= 0)
                                                           rows << m_model->index(row, 0);
                                               return rows;
                                           },
                                           [this](const QModelIndexList &rows) {
                                               // A selection emptied by the user clears the store's; one hidden by a filter never gets here.
                                               m_store.setSelectedRecordID(
                                                   rows.isEmpty()
                                                       ? std::nullopt
                                                       : std::optional<int64_t>(m_model->idAt(rows.first().row())));
                                           }});

    connect(&m_store, &AuditStore::filteredChanged, this, &EventsView::showFiltered);
    // A sort under way shows in the footer as a filter pass does; the rows change when it lands.
    connect(m_model, &EventsTableModel::sortingChanged, this, [this] {
        updateFooter();
        updateOverlay();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        updateFooter();
        updateOverlay();
    });
    connect(&m_store, &AuditStore::isFilteringChanged, this, [this] {
        updateFooter();
        updateOverlay();
    });
    connect(&m_store, &AuditStore::selectedRecordIDChanged, this, [this] {
        m_guard->apply();
        updateInspector();
        updateFooter();
    });
    connect(&m_store, &AuditStore::recordsChanged, this, [this] {
        updateInspector();
        updateFooter();
    });

    // The toolbar search edits the filter's free text; a text set elsewhere shows in the field.
    setSearch(QString::fromStdString(m_store.filter().text));
    connect(this, &ScreenWidget::searchChanged, this, [this](const QString &text) {
        const std::string wanted = text.toStdString();
        if (wanted == m_store.filter().text) return;
        EventFilter filter = m_store.filter();
        filter.text = wanted;
        m_store.setFilter(std::move(filter));
    });
    connect(&m_store, &AuditStore::filterChanged, this,
            [this] { setSearch(QString::fromStdString(m_store.filter().text)); });

    showFiltered();
    updateInspector();
}

QWidget *EventsView::makeFooter(QWidget *parent)
{
    auto *footer = new QWidget(parent);
    footer->setObjectName("footer");
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(footerPaddingH, footerPaddingV, footerPaddingH, footerPaddingV);
    m_busy = busyIndicator("filteringIndicator", footer);
    footerLayout->addWidget(m_busy);
    m_counts = countLabel("recordCounts", footer);
    footerLayout->addWidget(m_counts);
    footerLayout->addStretch(1);
    m_selected = new QLabel(footer);
    m_selected->setObjectName("selectedRecord");
    Style::setTextStyle(m_selected, Style::monospaced(Style::caption()), Style::tertiaryText());
    footerLayout->addWidget(m_selected);
    return footer;
}

QString EventsView::searchPrompt() const
{
    return QString::fromUtf8("Path, command, user, event, pid\u2026");
}

QMenu *EventsView::contextMenuForRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) return nullptr;
    const std::optional<AuditRecord> record = m_store.record(m_model->idAt(row));
    if (!record) return nullptr;
    QMenu *menu = RecordContextMenu::build(m_store, *record, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

// Every publication, not only one whose count or end ids differ: two results can agree on those
// and still hold different records.
void EventsView::showFiltered()
{
    m_model->setFiltered(m_store.filtered());
}

void EventsView::updateInspector()
{
    const std::optional<int64_t> id = m_store.selectedRecordID();
    const std::optional<AuditRecord> record = id ? m_store.record(*id) : std::nullopt;
    if (record) {
        m_inspector->setRecord(*record);
        m_frame->showInPane(m_inspector);
    } else {
        // The placeholder stands in for the inspector: the next selection starts one afresh.
        m_inspector->reset();
        m_frame->showInPane(nullptr);
    }
}

void EventsView::updateFooter()
{
    m_busy->setVisible(m_store.isFiltering() || m_model->isSorting());
    m_counts->setText(Format::count(m_model->rowCount()) + " of " + Format::count(int64_t(m_store.records().size()))
                      + " records");
    const std::optional<int64_t> id = m_store.selectedRecordID();
    const std::optional<AuditRecord> record = id ? m_store.record(*id) : std::nullopt;
    m_selected->setText(record ? QString::asprintf("#%lld \u00B7 %lld bytes \u00B7 %lld tokens",
                                                   static_cast<long long>(record->id),
                                                   static_cast<long long>(record->raw().size()),
                                                   static_cast<long long>(record->tokenCount))
                               : QString());
}

void EventsView::updateOverlay()
{
    m_emptyOverlay->setVisible(m_model->rowCount() == 0 && !m_store.isFiltering() && !m_model->isSorting());
}
