#include "Views/Components/MasterDetail.h"

#include "Views/Components/ContentUnavailable.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

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
}

void MasterDetail::addView(QAbstractItemView *view, ContentUnavailable *placeholder)
{
    m_column->addWidget(view, 1);
    if (placeholder) placeholder->attachTo(view->viewport());
}

void MasterDetail::addSidePane(QWidget *pane, int minimumWidth, int idealWidth)
{
    pane->setMinimumWidth(minimumWidth);
    m_splitter->insertWidget(int(m_sides.size()) + 1, pane);
    m_splitter->setStretchFactor(m_splitter->indexOf(pane), 0);
    m_sides.push_back({pane, minimumWidth, idealWidth});
    fit();
}

void MasterDetail::setPane(QWidget *pane, PaneMode mode, Widths widths)
{
    m_pane = pane;
    m_mode = mode;
    m_widths = widths;
    pane->setMinimumWidth(widths.minimum);
    pane->setMaximumWidth(widths.maximum);
    m_splitter->addWidget(pane);
    m_splitter->setStretchFactor(m_splitter->indexOf(pane), 0);
    pane->setVisible(mode != PaneMode::whileSelected);
    fit();
}

bool MasterDetail::paneShown() const
{
    return m_pane && !m_pane->isHidden();
}

void MasterDetail::setPaneShown(bool shown)
{
    if (!m_pane || m_mode == PaneMode::alwaysShown || shown == paneShown()) return;
    m_pane->setVisible(shown);
    // A pane that comes and goes with the selection hands its width to the column and takes it back.
    if (m_mode == PaneMode::whileSelected) fit();
}

void MasterDetail::fit()
{
    const bool shown = paneShown();
    QList<int> sizes;
    int used = 0;
    for (const SidePane &side : m_sides) {
        const int width = shown ? side.minimum : side.ideal;
        sizes << width;
        used += width;
    }
    const int paneWidth = shown ? m_widths.ideal : 0;
    used += paneWidth;
    // Before the first real width every pane still gets its ideal; the column takes the rest later.
    sizes.prepend(std::max({1, m_columnWidget->minimumSizeHint().width(), m_splitter->width() - used}));
    if (m_pane) sizes << paneWidth;
    m_splitter->setSizes(sizes);
}

bool MasterDetail::eventFilter(QObject *watched, QEvent *event)
{
    // The first real width gives the column everything the panes leave.
    if (watched == m_splitter && event->type() == QEvent::Resize && !m_fitted && m_splitter->width() > 0) {
        m_fitted = true;
        fit();
    }
    return QWidget::eventFilter(watched, event);
}
