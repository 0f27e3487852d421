#include "Views/Network/NetworkView.h"

#include "Store/AuditStore.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/BarList.h"
#include "Views/Components/Card.h"
#include "Views/Components/Divider.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/RecordContextMenu.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableColumns.h"
#include "Views/Network/NetworkRows.h"
#include "Views/Network/NetworkTableModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTableView>
#include <QVBoxLayout>

#include <array>
#include <tuple>

namespace {

constexpr int cardsPadding = 12;
constexpr int cardsSpacing = 16;
constexpr int cardsMaximumHeight = 250;
constexpr int filterPaddingH = 12;
constexpr int filterPaddingV = 6;

const char *const networkRecordLabel = "network record";

// A click into the address of the selected row opens the address in a read-only line edit, where
// the mouse selects and Ctrl+C copies part of it; a double-click still opens the record.
class AddressDelegate : public MiddleElideDelegate {
public:
    using MiddleElideDelegate::MiddleElideDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setObjectName(QStringLiteral("addressEditor"));
        editor->setReadOnly(true);
        editor->setFrame(false);
        editor->setFont(index.data(Qt::FontRole).value<QFont>());
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *line = static_cast<QLineEdit *>(editor);
        const QString address = index.data(Qt::DisplayRole).toString();
        line->setText(address);
        // All of it selected, the start in view.
        line->setSelection(int(address.size()), -int(address.size()));
    }

    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override {}
};

} // namespace

NetworkView::NetworkView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_store(*context.store)
{
    setObjectName("networkView");
    setWindowTitle(QStringLiteral("Network"));
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(makeCards());
    stack->addWidget(horizontalDivider(this));
    stack->addWidget(makeFilterRow());
    stack->addWidget(horizontalDivider(this));

    m_model = new NetworkTableModel(this);
    m_table = MasterDetail::listTable(this, "networkTable", m_model, 8);
    m_table->setItemDelegateForColumn(NetworkTableModel::resultColumn, new BadgeDelegate(m_table));
    m_table->setItemDelegateForColumn(NetworkTableModel::addressColumn, new AddressDelegate(m_table));
    m_table->setEditTriggers(QAbstractItemView::SelectedClicked);
    setEqualDigits(m_table, {NetworkTableModel::timeColumn, NetworkTableModel::pidColumn});
    keepColumnsFitted(m_table, m_model->columnWidths(m_table->font()), NetworkTableModel::addressColumn);
    m_table->horizontalHeader()->setSortIndicator(NetworkTableModel::timeColumn, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    stack->addWidget(m_table, 1);

    MasterDetail::openRowMenus(m_table, [this](const QModelIndex &index) {
        return index.isValid() ? contextMenuForRow(index.row()) : nullptr;
    });
    // A double-click and Return or Enter on the current row, as the platform's style raises them.
    connect(m_table, &QAbstractItemView::activated, this, [this](const QModelIndex &index) { openRow(index.row()); });
    // The table part of the master-detail frame: no pane, no empty state, but a record id kept
    // across searches that hide its row.
    new SelectionGuard(m_table, {[this] {
                                     const int row = m_selection ? m_model->rowOf(*m_selection) : -1;
                                     return row < 0 ? QModelIndexList() : QModelIndexList{m_model->index(row, 0)};
                                 },
                                 [this](const QModelIndexList &rows) {
                                     m_selection = rows.isEmpty() ? std::nullopt
                                                                  : std::optional<int64_t>(
                                                                      m_model->recordAt(rows.first().row()).id);
                                 }});
    connect(m_model, &NetworkTableModel::tableChanged, this, &NetworkView::showTable);
    connect(m_model, &NetworkTableModel::derivingChanged, this, [this] { m_busy->setVisible(isDeriving()); });
    connect(m_hideLocal, &QCheckBox::toggled, this, &NetworkView::refresh);
    connect(this, &ScreenWidget::searchChanged, this, &NetworkView::refresh);
    connect(&m_store, &AuditStore::recordsChanged, this, &NetworkView::refresh);

    refresh();
}

QWidget *NetworkView::makeCards()
{
    auto *cards = new QWidget(this);
    cards->setObjectName("networkCards");
    cards->setMaximumHeight(cardsMaximumHeight);
    auto *cardsLayout = new QHBoxLayout(cards);
    cardsLayout->setContentsMargins(cardsPadding, cardsPadding, cardsPadding, cardsPadding);
    cardsLayout->setSpacing(cardsSpacing);
    // A row's click searches for its key (an address) or its label (a program).
    const auto card = [&](const char *title, const char *symbol, const QColor &colour, const char *name,
                          std::string CountItem::*searched) {
        auto *card = new Card(QString::fromUtf8(title), QString::fromUtf8(symbol), cards);
        auto *list = new BarList(
            {}, colour, true,
            [this, searched](const CountItem &item) { setSearch(QString::fromStdString(item.*searched)); }, card);
        list->setObjectName(QString::fromLatin1(name));
        card->addContent(list);
        card->contentLayout()->addStretch(1);
        cardsLayout->addWidget(card, 1, Qt::AlignTop);
        return list;
    };
    m_destinations = card("Top destinations", "arrow.up.right.circle", Style::orange(), "topDestinations",
                          &CountItem::key);
    m_processes = card("By process", "terminal", Style::purple(), "byProcess", &CountItem::label);
    return cards;
}

QWidget *NetworkView::makeFilterRow()
{
    auto *filterRow = new QWidget(this);
    auto *filterLayout = new QHBoxLayout(filterRow);
    filterLayout->setContentsMargins(filterPaddingH, filterPaddingV, filterPaddingH, filterPaddingV);
    m_hideLocal = new QCheckBox(QStringLiteral("Hide local && UNIX-domain sockets"), filterRow);
    m_hideLocal->setObjectName("hideLocal");
    m_hideLocal->setChecked(true);
    filterLayout->addWidget(m_hideLocal);
    std::tie(m_busy, m_count) = endWithCount(filterLayout, "networkCount");
    return filterRow;
}

QString NetworkView::searchPrompt() const
{
    return QString::fromUtf8("Address, port, process\u2026");
}

bool NetworkView::isDeriving() const
{
    return m_model->isDeriving();
}

void NetworkView::refresh()
{
    m_model->setSource(m_store.recordSnapshot(), m_hideLocal->isChecked(), search().toStdString());
}

void NetworkView::showTable()
{
    m_destinations->setItems(m_model->table().destinations);
    m_processes->setItems(m_model->table().processes);
    m_count->setText(Format::count(m_model->rowCount()) + QStringLiteral(" network records"));
}

QMenu *NetworkView::contextMenuForRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) return nullptr;
    const std::optional<AuditRecord> record = m_store.record(m_model->recordAt(row).id);
    if (!record) return nullptr;
    QMenu *menu = RecordContextMenu::build(m_store, *record, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

void NetworkView::openRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) return;
    m_store.showRecords({m_model->recordAt(row).id}, networkRecordLabel);
}
