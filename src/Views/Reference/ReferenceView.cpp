#include "Views/Reference/ReferenceView.h"

#include "Store/AuditStore.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableColumns.h"
#include "Views/Reference/ReferenceModels.h"
#include "Views/Reference/ReferenceRows.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

namespace {

constexpr int pickerMaxWidth = 520;
constexpr int pickerMargin = 10;
constexpr int tableRowPadding = 10;
constexpr int rowSpacing = 12;
constexpr int rowMargin = 3;
constexpr int tokenNameWidth = 130;
constexpr int tokenIdsWidth = 170;
constexpr int badgeWidth = 90;
constexpr int ruleLineSpacing = 2;

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

QLabel *label(const QString &content, const QFont &font, const QColor &colour = {})
{
    auto *l = new QLabel;
    l->setTextFormat(Qt::PlainText);
    l->setText(content);
    Style::setTextStyle(l, font, colour);
    return l;
}

QTableView *makeTable(QAbstractTableModel *model)
{
    auto *table = new QTableView;
    table->setModel(model);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->setSortingEnabled(false);
    table->setWordWrap(false);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->setFrameShape(QFrame::NoFrame);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + tableRowPadding);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    return table;
}

void fixedColumn(QTableView *table, int column, int width)
{
    table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
    table->horizontalHeader()->resizeSection(column, width);
}

// A plain list: rows on the base colour, one under the other, from the top.
QScrollArea *makeList(QVBoxLayout *&rows)
{
    auto *content = new QWidget;
    content->setBackgroundRole(QPalette::Base);
    content->setAutoFillBackground(true);
    rows = new QVBoxLayout(content);
    rows->setContentsMargins(12, 6, 12, 6);
    rows->setSpacing(0);
    rows->addStretch(1);
    auto *scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return scroll;
}

// Drops every row, keeping the closing stretch.
void clearRows(QVBoxLayout *rows)
{
    while (rows->count() > 1) {
        QLayoutItem *item = rows->takeAt(0);
        delete item->widget();
        delete item;
    }
}

void addRow(QVBoxLayout *rows, QWidget *row)
{
    rows->insertWidget(rows->count() - 1, row);
}

} // namespace

const char *ReferenceView::rawValue(Tab tab)
{
    constexpr std::array<const char *, 4> titles = {"Classes", "Events", "Tokens", "Detection Rules"};
    return titles[size_t(tab)];
}

ReferenceView::ReferenceView(const ViewContext &context, QWidget *parent) : ScreenWidget(context, parent)
{
    auto *picker = new QWidget;
    picker->setObjectName(QStringLiteral("sectionPicker"));
    picker->setAccessibleName(tr("Section"));
    picker->setMaximumWidth(pickerMaxWidth);
    auto *segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    m_tabGroup = new QButtonGroup(this);
    for (Tab tab : allTabs) {
        auto *segment = new QToolButton;
        segment->setText(QString::fromUtf8(rawValue(tab)));
        segment->setCheckable(true);
        segment->setChecked(tab == m_tab);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_tabGroup->addButton(segment, int(tab));
        segments->addWidget(segment);
    }
    connect(m_tabGroup, &QButtonGroup::idClicked, this, [this](int id) { setTab(Tab(id)); });
    auto *pickerRow = new QHBoxLayout;
    pickerRow->setContentsMargins(pickerMargin, pickerMargin, pickerMargin, pickerMargin);
    // Centred, as wide as it may be.
    pickerRow->addStretch(1);
    pickerRow->addWidget(picker, 1000);
    pickerRow->addStretch(1);

    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);

    m_classModel = new ReferenceClassModel(this);
    m_classTable = makeTable(m_classModel);
    m_classTable->setObjectName(QStringLiteral("classTable"));
    const std::vector<ColumnWidth> classWidths = m_classModel->columnWidths(m_classTable->font());
    for (int column = 0; column < ReferenceClassModel::numColumns; ++column) {
        if (column == ReferenceClassModel::descriptionColumn)
            m_classTable->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Stretch);
        else fixedColumn(m_classTable, column, classWidths[size_t(column)].ideal);
    }
    setEqualDigits(m_classTable, {ReferenceClassModel::definedColumn, ReferenceClassModel::loadedColumn});

    m_eventModel = new ReferenceEventModel(this);
    m_eventTable = makeTable(m_eventModel);
    m_eventTable->setObjectName(QStringLiteral("eventTable"));
    keepColumnsFitted(m_eventTable, m_eventModel->columnWidths(m_eventTable->font()),
                      ReferenceEventModel::descriptionColumn);
    setEqualDigits(m_eventTable, {ReferenceEventModel::numberColumn, ReferenceEventModel::loadedColumn});
    for (int column :
         {ReferenceEventModel::numberColumn, ReferenceEventModel::classesColumn, ReferenceEventModel::loadedColumn})
        m_eventTable->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
    m_eventTable->setMouseTracking(true);
    const auto pressCount = [this](const QModelIndex &index) {
        if (index.column() != ReferenceEventModel::loadedColumn) return;
        const auto &row = m_eventModel->row(index.row());
        if (row.loadedRecords) showEventRecords(row.info.number);
    };
    connect(m_eventTable, &QTableView::clicked, this, pressCount);
    // The keyboard reaches the counts as well: the current cell stays in the "Loaded" column, and
    // Return or Enter presses the count there (a double-click elsewhere in the row does nothing).
    m_eventTable->setFocusPolicy(Qt::StrongFocus);
    connect(m_eventTable, &QAbstractItemView::activated, this, pressCount);
    connect(m_eventTable->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.column() != ReferenceEventModel::loadedColumn)
                    m_eventTable->setCurrentIndex(current.siblingAtColumn(ReferenceEventModel::loadedColumn));
            });
    // The count reads as a link: a pointing hand over it, an arrow elsewhere.
    connect(m_eventTable, &QTableView::entered, this, [this](const QModelIndex &index) {
        const bool link = index.column() == ReferenceEventModel::loadedColumn
                          && m_eventModel->row(index.row()).loadedRecords;
        m_eventTable->viewport()->setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    });

    m_pages = new QStackedWidget;
    m_pages->addWidget(m_classTable);
    m_pages->addWidget(m_eventTable);
    QScrollArea *tokens = makeList(m_tokenRows);
    tokens->setObjectName(QStringLiteral("tokenList"));
    m_pages->addWidget(tokens);
    QScrollArea *rules = makeList(m_ruleRows);
    rules->setObjectName(QStringLiteral("ruleList"));
    m_pages->addWidget(rules);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(pickerRow);
    layout->addWidget(divider);
    layout->addWidget(m_pages, 1);

    connect(this, &ScreenWidget::searchChanged, this, &ReferenceView::refresh);
    if (AuditStore *store = context.store) {
        connect(store, &AuditStore::recordsChanged, this, &ReferenceView::refresh);
        connect(store, &AuditStore::statsChanged, this, &ReferenceView::refresh);
    }
    refresh();
}

QString ReferenceView::searchPrompt() const
{
    return tr("Search reference");
}

void ReferenceView::setTab(Tab tab)
{
    if (QAbstractButton *segment = m_tabGroup->button(int(tab))) segment->setChecked(true);
    if (tab == m_tab) return;
    m_tab = tab;
    refresh();
}

void ReferenceView::showEventRecords(uint16_t number)
{
    AuditStore *store = context().store;
    if (!store) return;
    const auto &events = AuditCatalog::shared().events;
    const auto event = events.find(number);
    EventFilter filter;
    filter.events = {number};
    filter.label = event == events.end() ? std::string() : event->second.description;
    store->showEvents(std::move(filter));
}

void ReferenceView::refresh()
{
    m_pages->setCurrentIndex(int(m_tab));
    const AuditCatalog &catalog = AuditCatalog::shared();
    const std::string searchText = search().toStdString();
    const AuditStore *store = context().store;
    switch (m_tab) {
    case Tab::classes: {
        const auto counts = store ? classRecordCounts(store->stats()) : std::unordered_map<std::string, int64_t>();
        std::vector<ReferenceClassModel::Row> rows;
        for (auto &info : referenceClasses(catalog, searchText)) {
            const auto count = counts.find(info.shortName);
            const int defined = definedEventCount(catalog, info.shortName);
            rows.push_back({std::move(info), defined,
                            count == counts.end() ? std::nullopt : std::optional<int64_t>(count->second)});
        }
        m_classModel->setRows(std::move(rows));
        break;
    }
    case Tab::events: {
        const auto counts = store ? eventCounts(store->records()) : std::unordered_map<uint16_t, int64_t>();
        std::vector<ReferenceEventModel::Row> rows;
        for (auto &info : referenceEvents(catalog, searchText)) {
            const auto count = counts.find(info.number);
            rows.push_back(
                {std::move(info), count == counts.end() ? std::nullopt : std::optional<int64_t>(count->second)});
        }
        m_eventModel->setRows(std::move(rows));
        break;
    }
    case Tab::tokens: fillTokens(); break;
    case Tab::rules: fillRules(); break;
    }
}

void ReferenceView::fillTokens()
{
    clearRows(m_tokenRows);
    for (const TokenDoc &doc : referenceTokens(search().toStdString())) {
        auto *row = new QWidget;
        row->setObjectName(QStringLiteral("tokenRow"));
        row->setProperty("name", text(doc.name));
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, rowMargin, 0, rowMargin);
        layout->setSpacing(rowSpacing);
        auto *name = label(text(doc.name), Style::semibold(Style::monospaced(Style::callout())));
        name->setFixedWidth(tokenNameWidth);
        auto *ids = label(text(doc.ids), Style::monospaced(Style::caption()), Style::secondaryText());
        ids->setFixedWidth(tokenIdsWidth);
        auto *description = label(text(doc.description), Style::body());
        description->setWordWrap(true);
        layout->addWidget(name, 0, Qt::AlignBaseline);
        layout->addWidget(ids, 0, Qt::AlignBaseline);
        layout->addWidget(description, 1, Qt::AlignBaseline);
        addRow(m_tokenRows, row);
    }
}

void ReferenceView::fillRules()
{
    clearRows(m_ruleRows);
    for (const RuleDoc &doc : referenceRules(search().toStdString())) {
        auto *row = new QWidget;
        row->setObjectName(QStringLiteral("ruleRow"));
        row->setProperty("name", text(doc.name));
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, rowMargin, 0, rowMargin);
        layout->setSpacing(rowSpacing);
        auto *badgeFrame = new QWidget;
        badgeFrame->setFixedWidth(badgeWidth);
        auto *badgeLayout = new QHBoxLayout(badgeFrame);
        badgeLayout->setContentsMargins(0, 0, 0, 0);
        badgeLayout->addWidget(new SeverityBadge(doc.severity));
        badgeLayout->addStretch(1);
        layout->addWidget(badgeFrame, 0, Qt::AlignTop);

        auto *lines = new QVBoxLayout;
        lines->setSpacing(ruleLineSpacing);
        auto *first = new QHBoxLayout;
        first->addWidget(label(text(doc.name), Style::semibold(Style::callout())), 0, Qt::AlignVCenter);
        first->addWidget(label(text(doc.technique), Style::monospaced(Style::caption()), Style::secondaryText()), 0,
                         Qt::AlignVCenter);
        first->addWidget(label(text(doc.tactic), Style::caption(), Style::tertiaryText()), 0, Qt::AlignVCenter);
        first->addStretch(1);
        lines->addLayout(first);
        auto *description = label(text(doc.description), Style::callout(), Style::secondaryText());
        description->setWordWrap(true);
        lines->addWidget(description);
        layout->addLayout(lines, 1);
        addRow(m_ruleRows, row);
    }
}
