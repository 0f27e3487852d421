#include "Views/Components/MasterDetail.h"

#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/Divider.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableColumns.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int busyIndicatorWidth = 56;
constexpr int busyIndicatorHeight = 7;

// Takes the right button's presses, releases and double-clicks away from the view. The window
// still turns the press into a context-menu event for the viewport, so the menu opens as before.
class RightClickFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: return static_cast<QMouseEvent *>(event)->button() == Qt::RightButton;
        default: return false;
        }
    }
};

} // namespace

QProgressBar *busyIndicator(const char *objectName, QWidget *parent)
{
    auto *busy = new QProgressBar(parent);
    busy->setObjectName(QString::fromLatin1(objectName));
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedSize(busyIndicatorWidth, busyIndicatorHeight);
    busy->hide();
    return busy;
}

QLabel *countLabel(const char *objectName, QWidget *parent)
{
    auto *count = new QLabel(parent);
    count->setObjectName(QString::fromLatin1(objectName));
    Style::setTextStyle(count, Style::callout(), Style::secondaryText());
    return count;
}

std::pair<QProgressBar *, QLabel *> endWithCount(QHBoxLayout *row, const char *countName)
{
    row->addStretch(1);
    QProgressBar *busy = busyIndicator("derivingIndicator", row->parentWidget());
    row->addWidget(busy);
    QLabel *count = countLabel(countName, row->parentWidget());
    row->addWidget(count);
    return {busy, count};
}

void keepSelectionOnRightClick(QAbstractItemView *view)
{
    QWidget *viewport = view->viewport();
    if (viewport->property("keepsSelectionOnRightClick").toBool()) return;
    viewport->setProperty("keepsSelectionOnRightClick", true);
    viewport->installEventFilter(new RightClickFilter(viewport));
}

SelectionGuard::SelectionGuard(QAbstractItemView *view, Binding binding, bool reveal)
    : QObject(view), m_view(view), m_binding(std::move(binding)), m_reveal(reveal)
{
    keepSelectionOnRightClick(view);
    // After the view's own reset, which it connected when it was given the model.
    connect(view->model(), &QAbstractItemModel::modelReset, this, &SelectionGuard::apply);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SelectionGuard::viewChanged);
}

void SelectionGuard::apply()
{
    const QScopedValueRollback quiet(m_quiet, true);
    QItemSelectionModel *selection = m_view->selectionModel();
    const QModelIndexList rows = m_binding.rows();
    if (rows.isEmpty()) {
        if (m_reveal) selection->clear();
        else selection->clearSelection();
        return;
    }
    if (auto *tree = qobject_cast<QTreeView *>(m_view))
        for (const QModelIndex &row : rows)
            for (QModelIndex up = row.parent(); up.isValid(); up = up.parent()) tree->expand(up);
    if (m_reveal && rows.size() == 1) {
        const QModelIndex index = rows.first().siblingAtColumn(0);
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_view->scrollTo(index);
        return;
    }
    QItemSelection marked;
    for (const QModelIndex &row : rows) marked.select(row.siblingAtColumn(0), row.siblingAtColumn(0));
    selection->select(marked, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void SelectionGuard::quietly(const std::function<void()> &change)
{
    const QScopedValueRollback quiet(m_quiet, true);
    change();
}

void SelectionGuard::viewChanged()
{
    if (m_quiet) return;
    m_binding.chosen(m_view->selectionModel()->selectedRows());
}

void rememberSplitter(QSplitter *splitter, QSettings *settings, const QString &key)
{
    if (!settings) return;
    const QString name = QStringLiteral("layout/") + key;
    const QByteArray kept = settings->value(name).toByteArray();
    if (!kept.isEmpty()) splitter->restoreState(kept);
    QObject::connect(splitter, &QSplitter::splitterMoved, splitter,
                     [splitter, settings, name] { settings->setValue(name, splitter->saveState()); });
}

MasterDetail::MasterDetail(QWidget *parent) : QWidget(parent)
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    outer->addWidget(m_splitter);
    m_columnWidget = new QWidget(m_splitter);
    m_column = new QVBoxLayout(m_columnWidget);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);
    m_splitter->addWidget(m_columnWidget);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->installEventFilter(this);
    connect(m_splitter, &QSplitter::splitterMoved, this, &MasterDetail::dragged);
}

MasterDetail *MasterDetail::filling(QWidget *screen)
{
    auto *outer = new QHBoxLayout(screen);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new MasterDetail(screen);
    outer->addWidget(frame);
    return frame;
}

void MasterDetail::addBar(QWidget *bar)
{
    m_column->addWidget(bar);
    m_column->addWidget(horizontalDivider(m_columnWidget));
}

QTableView *MasterDetail::listTable(QWidget *parent, const char *objectName, QAbstractItemModel *model, int rowPadding)
{
    auto *table = new QTableView(parent);
    table->setObjectName(QString::fromLatin1(objectName));
    table->setModel(model);
    setUpListTable(table, rowPadding);
    return table;
}

void MasterDetail::openRowMenus(QAbstractItemView *view, std::function<QMenu *(const QModelIndex &)> menuFor)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, view, [view, menuFor = std::move(menuFor)](const QPoint &at) {
        QMenu *menu = menuFor(view->indexAt(at));
        if (!menu) return;
        menu->setAttribute(Qt::WA_DeleteOnClose);
        if (menu->isEmpty()) {
            menu->deleteLater();
            return;
        }
        menu->popup(view->viewport()->mapToGlobal(at));
    });
}

void MasterDetail::addView(QAbstractItemView *view, ContentUnavailable *placeholder)
{
    m_column->addWidget(view, 1);
    if (placeholder) placeholder->attachTo(view->viewport());
    if (auto *table = qobject_cast<QTableView *>(view); table && fittedTableWidth(table).ideal > 0) giveWayTo(table);
}

void MasterDetail::giveWayTo(QTableView *table)
{
    if (table == m_table) return;
    m_table = table;
    fit();
    emit widthWantedChanged();
}

void MasterDetail::addSidePane(QWidget *pane, int minimumWidth, int idealWidth)
{
    pane->setMinimumWidth(minimumWidth);
    m_splitter->insertWidget(int(m_sides.size()) + 1, pane);
    m_splitter->setStretchFactor(m_splitter->indexOf(pane), 0);
    m_sides.push_back({pane, minimumWidth, idealWidth, idealWidth});
    fit();
}

void MasterDetail::setPane(QWidget *pane, PaneMode mode, Widths widths)
{
    m_pane = pane;
    m_mode = mode;
    m_widths = widths;
    m_panePreferred = widths.ideal;
    pane->setMinimumWidth(widths.minimum);
    pane->setMaximumWidth(widths.maximum);
    m_splitter->addWidget(pane);
    m_splitter->setStretchFactor(m_splitter->indexOf(pane), 0);
    pane->setVisible(mode != PaneMode::whileSelected);
    fit();
}

QStackedWidget *MasterDetail::setPane(const char *objectName, QWidget *placeholder, PaneMode mode, Widths widths)
{
    m_paneStack = new QStackedWidget(this);
    m_paneStack->setObjectName(QString::fromLatin1(objectName));
    m_placeholder = placeholder;
    m_paneStack->addWidget(placeholder);
    setPane(m_paneStack, mode, widths);
    return m_paneStack;
}

void MasterDetail::showInPane(QWidget *widget)
{
    if (!m_paneStack) return;
    if (widget && m_paneStack->indexOf(widget) < 0) m_paneStack->addWidget(widget);
    m_paneStack->setCurrentWidget(widget ? widget : m_placeholder);
}

void MasterDetail::setDetail(QWidget *detail)
{
    if (!m_paneStack || detail == m_detail) return;
    if (m_detail) {
        m_paneStack->removeWidget(m_detail);
        m_detail->deleteLater();
    }
    m_detail = detail;
    showInPane(detail);
}

bool MasterDetail::paneShown() const
{
    return m_pane && !m_pane->isHidden();
}

void MasterDetail::setPaneShown(bool shown)
{
    if (!m_pane || m_mode == PaneMode::alwaysShown || shown == paneShown()) return;
    m_pane->setVisible(shown);
    // The pane hands its width to the column and takes it back.
    fit();
    emit widthWantedChanged();
}

void MasterDetail::remember(QSettings *settings, const QString &key)
{
    m_settings = settings;
    m_key = key;
    if (!m_settings) return;
    const QVariantList kept = m_settings->value(QStringLiteral("layout/") + m_key).toList();
    if (!kept.isEmpty() && m_pane)
        m_panePreferred = std::clamp(kept.first().toInt(), m_widths.minimum, m_widths.maximum);
    for (size_t i = 0; i < m_sides.size() && i + 1 < size_t(kept.size()); ++i)
        m_sides[i].preferred = std::max(m_sides[i].minimum, kept[qsizetype(i + 1)].toInt());
    fit();
}

int MasterDetail::handlesWidth() const
{
    int shown = 0;
    for (int i = 0; i < m_splitter->count(); ++i)
        if (!m_splitter->widget(i)->isHidden()) ++shown;
    return std::max(0, shown - 1) * m_splitter->handleWidth();
}

int MasterDetail::idealColumnWidth() const
{
    const int table = m_table ? fittedTableWidth(m_table).ideal : 0;
    return std::max(m_columnWidget->minimumSizeHint().width(), table);
}

int MasterDetail::widthWanted() const
{
    const bool shown = paneShown();
    int width = idealColumnWidth() + handlesWidth();
    for (const SidePane &side : m_sides) width += side.minimum;
    if (shown) width += m_widths.minimum;
    return width;
}

void MasterDetail::fit()
{
    const bool shown = paneShown();
    // What each pane would like (sides first, then the trailing pane) and how far it may give way.
    struct Share {
        int width;
        int minimum;
    };
    std::vector<Share> parts;
    for (const SidePane &side : m_sides) parts.push_back({shown ? side.minimum : side.preferred, side.minimum});
    if (m_pane) parts.push_back({shown ? m_panePreferred : 0, shown ? m_widths.minimum : 0});
    const int available = m_splitter->width() - handlesWidth();
    int panes = 0;
    for (const Share &part : parts) panes += part.width;
    // Before the first real width every pane keeps what it would like; the column takes the rest later.
    if (m_splitter->width() > 0) {
        int missing = panes + idealColumnWidth() - available;
        for (auto part = parts.rbegin(); part != parts.rend() && missing > 0; ++part) {
            const int given = std::min(missing, part->width - part->minimum);
            part->width -= given;
            panes -= given;
            missing -= given;
        }
    }
    QList<int> sizes;
    sizes << std::max({1, m_columnWidget->minimumSizeHint().width(), available - panes});
    for (const Share &part : parts) sizes << part.width;
    m_fittedWidth = m_splitter->width();
    m_splitter->setSizes(sizes);
}

void MasterDetail::dragged()
{
    const bool shown = paneShown();
    if (shown) m_panePreferred = std::clamp(m_pane->width(), m_widths.minimum, m_widths.maximum);
    else
        for (SidePane &side : m_sides) side.preferred = std::max(side.minimum, side.widget->width());
    if (!m_settings) return;
    QVariantList kept;
    kept << m_panePreferred;
    for (const SidePane &side : m_sides) kept << side.preferred;
    m_settings->setValue(QStringLiteral("layout/") + m_key, kept);
}

bool MasterDetail::eventFilter(QObject *watched, QEvent *event)
{
    // Every new width shares the room out again.
    if (watched == m_splitter && event->type() == QEvent::Resize && m_splitter->width() != m_fittedWidth) fit();
    return QWidget::eventFilter(watched, event);
}
