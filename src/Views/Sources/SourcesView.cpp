#include "Views/Sources/SourcesView.h"

#include "Store/AuditStore.h"
#include "Platform/FileReveal.h"
#include "Views/EmptyStateView.h"
#include "Views/Components/Divider.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/Style.h"
#include "Views/Components/SymbolLabel.h"
#include "Views/Components/TableColumns.h"
#include "Views/Sources/SourceRows.h"
#include "Views/Sources/SourcesTableModel.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QStackedLayout>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

constexpr int detailHeight = 220;
constexpr int detailSpacing = 8;
constexpr int detailPadding = 14;

const TrailSource *findSource(const AuditStore &store, int64_t id)
{
    const auto &sources = store.sources();
    const auto it = std::find_if(sources.begin(), sources.end(), [&](const TrailSource &s) { return s.id == id; });
    return it == sources.end() ? nullptr : &*it;
}

} // namespace

SourcesView::SourcesView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_model(new SourcesTableModel(this)), m_reveal(revealInFileManager)
{
    m_stack = new QStackedLayout(this);

    m_empty = new EmptyStateView(*context.store, this);
    m_stack->addWidget(m_empty);

    m_content = new QWidget(this);
    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_table = new QTableView(m_content);
    m_table->setObjectName(QStringLiteral("sourcesTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setSortingEnabled(false);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setAlternatingRowColors(true);
    m_table->setShowGrid(false);
    m_table->verticalHeader()->hide();
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    setEqualDigits(m_table, {SourcesTableModel::sizeColumn, SourcesTableModel::recordsColumn});
    // The name takes whatever width the other columns leave.
    keepColumnsFitted(m_table, m_model->columnWidths(m_table->font()), SourcesTableModel::fileColumn);
    column->addWidget(m_table, 1);

    m_divider = horizontalDivider(m_content);
    m_divider->setObjectName(QStringLiteral("sourceDetailDivider"));
    column->addWidget(m_divider);

    m_detail = new QScrollArea(m_content);
    m_detail->setObjectName(QStringLiteral("sourceDetail"));
    m_detail->setFixedHeight(detailHeight);
    m_detail->setWidgetResizable(true);
    m_detail->setFrameShape(QFrame::NoFrame);
    m_detail->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    column->addWidget(m_detail);
    m_stack->addWidget(m_content);

    // The selection is a source id, put back after every reload of the table.
    m_guard = new SelectionGuard(
        m_table,
        {[this] {
             const int row = m_selection ? m_model->rowOf(*m_selection) : -1;
             return row < 0 ? QModelIndexList() : QModelIndexList{m_model->index(row, 0)};
         },
         [this](const QModelIndexList &rows) {
             m_selection = rows.isEmpty()
                               ? std::nullopt
                               : std::optional<int64_t>(rows.front().data(SourcesTableModel::sourceIDRole).toLongLong());
             rebuildDetail();
         }},
        false);
    connect(m_table, &QWidget::customContextMenuRequested, this, &SourcesView::showContextMenu);
    connect(context.store, &AuditStore::sourcesChanged, this, &SourcesView::reload);
    reload();
}

SourcesView::~SourcesView() = default;

QScrollArea *SourcesView::detailPane() const
{
    return m_detail->isVisibleTo(this) ? m_detail : nullptr;
}

void SourcesView::reload()
{
    const AuditStore &store = *context().store;
    m_model->setSources(store.sourcesSnapshot());
    m_stack->setCurrentWidget(store.sources().empty() ? m_empty : m_content);
    m_detailShown.reset();
    rebuildDetail();
}

void SourcesView::setSelection(std::optional<int64_t> id)
{
    m_selection = id;
    m_guard->apply();
    rebuildDetail();
}

void SourcesView::rebuildDetail()
{
    const TrailSource *source = m_selection ? findSource(*context().store, *m_selection) : nullptr;
    m_divider->setVisible(source);
    m_detail->setVisible(source);
    if (!source) {
        m_detailShown.reset();
        return;
    }
    if (m_detailShown == source->id) return;
    m_detailShown = source->id;
    m_detail->setWidget(detail(*source));
}

namespace {

QLabel *textLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::setTextStyle(label, font, colour);
    return label;
}

} // namespace

QWidget *SourcesView::detail(const TrailSource &source)
{
    auto *pane = new QWidget;
    auto *rows = new QVBoxLayout(pane);
    rows->setSpacing(detailSpacing);
    rows->setContentsMargins(detailPadding, detailPadding, detailPadding, detailPadding);
    rows->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    const QString path = source.path ? QString::fromStdString(*source.path) : QString::fromUtf8(inMemoryPath);
    rows->addWidget(new KeyValueRow(QStringLiteral("Path"), path, true, pane));
    if (!source.fileTokens.empty()) {
        QStringList names;
        for (const std::string &name : source.fileTokens) names << QString::fromStdString(name);
        rows->addWidget(new KeyValueRow(QStringLiteral("File tokens"), names.join('\n'), true, pane));
        if (showsNotTerminatedNote(source))
            rows->addWidget(new SymbolLabel(QStringLiteral("info.circle"), QString::fromUtf8(notTerminatedNote),
                                            Style::callout(), Style::secondaryText(), pane));
    }
    if (source.issues.empty()) {
        rows->addWidget(new SymbolLabel(QStringLiteral("checkmark.seal"), QString::fromUtf8(cleanSentence),
                                        Style::body(), Style::green(), pane));
    } else {
        rows->addWidget(textLabel(QStringLiteral("Parse issues"), Style::headline(), {}, pane));
        const std::vector<ParseIssue> &issues = source.issues.kept();
        const size_t shown = std::min(issues.size(), listedIssueLimit);
        const QFont issueFont = Style::monospaced(Style::caption());
        for (size_t i = 0; i < shown; ++i) {
            auto *line = textLabel(issueLine(issues[i]), issueFont, {}, pane);
            line->setObjectName(QStringLiteral("parseIssue"));
            rows->addWidget(line);
        }
    }
    return pane;
}

QMenu *SourcesView::buildContextMenu(std::optional<int64_t> id, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const TrailSource *source = id ? findSource(*context().store, *id) : nullptr;
    if (!source) return menu;
    const int64_t sourceID = source->id;
    if (source->path) {
        const QByteArray path = QByteArray::fromStdString(*source->path);
        connect(menu->addAction(QStringLiteral("Reveal in Finder")), &QAction::triggered, this,
                [this, path] { m_reveal(path); });
    }
    // Both may replace this screen (the Events screen, or the empty state after the last file): they
    // hold the store, not the screen.
    AuditStore *store = context().store;
    connect(menu->addAction(QStringLiteral("Show Records from This File")), &QAction::triggered, menu,
            [store, sourceID, name = source->name] {
                store->showRecords(recordIDsOfSource(store->records(), sourceID), name);
            });
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Remove")), &QAction::triggered, menu,
            [store, sourceID] { store->remove(sourceID); });
    return menu;
}

void SourcesView::showContextMenu(const QPoint &pos)
{
    const QModelIndex index = m_table->indexAt(pos);
    std::optional<int64_t> id;
    if (index.isValid()) id = index.data(SourcesTableModel::sourceIDRole).toLongLong();
    QMenu *menu = buildContextMenu(id, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(m_table->viewport()->mapToGlobal(pos));
}
