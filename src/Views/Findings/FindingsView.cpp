#include "Views/Findings/FindingsView.h"

#include "Store/AuditStore.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/ColumnTable.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/Style.h"
#include "Views/Components/TableColumns.h"
#include "Views/Findings/FindingDetail.h"
#include "Views/Findings/FindingsRows.h"
#include "Views/Findings/FindingsTableModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace {

constexpr int headerPaddingH = 12;
constexpr int headerPaddingV = 8;
constexpr int headerSpacing = 12;
constexpr int pickerWidth = 220;
constexpr int chipSpacing = 6;
constexpr int chipPaddingH = 8;
constexpr int chipPaddingV = 3;
constexpr double chipHighlightOpacity = 0.25;
constexpr MasterDetail::Widths inspectorWidths{300, 380, 520};
constexpr double aroundSeconds = 300;

const char *const noFindingsTitle = "No findings";
const char *const noFindingsAtAll = "None of the detection rules matched this trail.";
const char *const noFindingsShown = "Lower the minimum severity to see more.";

// A tactic and its count on a capsule, tinted while the search is exactly that tactic.
class CategoryChip : public QToolButton {
public:
    CategoryChip(const QString &text, bool highlighted, QWidget *parent) : QToolButton(parent)
    {
        setText(text);
        setProperty("highlighted", highlighted);
        setFont(Style::caption());
        setCursor(Qt::PointingHandCursor);
        setAutoRaise(true);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return {metrics.horizontalAdvance(text()) + 2 * chipPaddingH, metrics.height() + 2 * chipPaddingV};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor fill = property("highlighted").toBool() ? Style::withOpacity(Style::accent(), chipHighlightOpacity)
                                                             : Style::quaternaryText();
        Style::paintCapsule(painter, QRectF(rect()), fill);
        if (hasFocus()) {
            // The keyboard's chip: the capsule's outline in the accent colour.
            painter.setPen(QPen(Style::accent(), 1));
            painter.setBrush(Qt::NoBrush);
            const QRectF ring = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            painter.drawRoundedRect(ring, ring.height() / 2, ring.height() / 2);
        }
        painter.setPen(Style::primaryText());
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};

// The chip strip scrolls sideways without scroll indicators: a wheel turned either way scrolls
// it, and on a focused chip the arrow keys move to the next chip and bring it into view.
class ChipScroller : public QScrollArea {
public:
    using QScrollArea::QScrollArea;

    void watch(QWidget *chip)
    {
        chip->setFocusPolicy(Qt::StrongFocus);
        chip->installEventFilter(this);
    }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        QScrollBar *bar = horizontalScrollBar();
        const QPoint pixels = event->pixelDelta();
        const QPoint angle = event->angleDelta();
        int delta = 0;
        if (!pixels.isNull()) delta = pixels.x() != 0 ? pixels.x() : pixels.y();
        else delta = (angle.x() != 0 ? angle.x() : angle.y()) * wheelStep * bar->singleStep() / 120;
        if (delta == 0 || bar->maximum() == 0) {
            event->ignore();
            return;
        }
        bar->setValue(bar->value() - delta);
        event->accept();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *chip = qobject_cast<QWidget *>(watched);
        if (!chip || chip->parentWidget() != widget()) return QScrollArea::eventFilter(watched, event);
        if (event->type() == QEvent::Wheel) {
            // Over a chip too: the chips take no wheel of their own.
            wheelEvent(static_cast<QWheelEvent *>(event));
            return event->isAccepted();
        }
        if (event->type() == QEvent::FocusIn) {
            ensureWidgetVisible(chip, chipSpacing, 0);
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home || key == Qt::Key_End) {
                const QList<QWidget *> chips = widget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
                QList<QWidget *> shown;
                for (QWidget *c : chips)
                    if (c->isVisibleTo(widget()) && c->focusPolicy() != Qt::NoFocus) shown << c;
                std::sort(shown.begin(), shown.end(), [](QWidget *a, QWidget *b) { return a->x() < b->x(); });
                const qsizetype at = shown.indexOf(chip);
                qsizetype next = at;
                if (key == Qt::Key_Left) next = std::max<qsizetype>(0, at - 1);
                else if (key == Qt::Key_Right) next = std::min<qsizetype>(shown.size() - 1, at + 1);
                else if (key == Qt::Key_Home) next = 0;
                else next = shown.size() - 1;
                if (next >= 0 && next < shown.size()) {
                    shown[next]->setFocus(Qt::OtherFocusReason);
                    ensureWidgetVisible(shown[next], chipSpacing, 0);
                }
                return true;
            }
        }
        return QScrollArea::eventFilter(watched, event);
    }

private:
    static constexpr int wheelStep = 3;
};

} // namespace

FindingsView::FindingsView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_store(*context.store)
{
    setObjectName("findingsView");
    setWindowTitle(QStringLiteral("Findings"));
    m_frame = MasterDetail::filling(this);
    m_frame->addBar(makeHeader(m_frame->columnWidget()));

    m_model = new FindingsTableModel(this);
    m_table = MasterDetail::listTable(m_frame->columnWidget(), "findingsTable", m_model, 10);
    m_table->setItemDelegateForColumn(FindingsTableModel::severityColumn, new BadgeDelegate(m_table));
    m_table->setItemDelegateForColumn(FindingsTableModel::summaryColumn, new MiddleElideDelegate(m_table));
    setEqualDigits(m_table, {FindingsTableModel::timeColumn});
    std::vector<ColumnWidth> widths = m_model->columnWidths(m_table->font());
    widths[FindingsTableModel::severityColumn] = widenedTo(widths[FindingsTableModel::severityColumn],
                                                           BadgeDelegate::widestSeverityCell());
    keepColumnsFitted(m_table, widths, FindingsTableModel::summaryColumn);
    // The ATT&CK column does not sort.
    enableKeyedSorting(m_table, m_model, FindingsTableModel::timeColumn);
    m_empty = new ContentUnavailable(QString::fromUtf8(noFindingsTitle), QStringLiteral("checkmark.shield"), {});
    m_empty->setObjectName("noFindings");
    m_frame->addView(m_table, m_empty);

    auto *noSelection = new ContentUnavailable(QStringLiteral("Select a finding"),
                                               QStringLiteral("exclamationmark.shield"),
                                               QStringLiteral(
                                                   "Double-click a finding to jump to the records behind it."));
    noSelection->setObjectName("selectAFinding");
    m_frame->setPane("findingInspector", noSelection, MasterDetail::PaneMode::alwaysShown, inspectorWidths);
    m_frame->remember(context.layout, QStringLiteral("findings"));

    MasterDetail::openRowMenus(m_table, [this](const QModelIndex &index) {
        return index.isValid() ? contextMenuForRow(index.row()) : nullptr;
    });
    // A double-click and Return or Enter on the current row, as the platform's style raises them.
    connect(m_table, &QAbstractItemView::activated, this, [this](const QModelIndex &index) { openRow(index.row()); });

    // The rows, chips and count are derived on the pool; each new table brings them all.
    connect(m_minimum, &QComboBox::currentIndexChanged, this, [this] {
        m_model->setMinimum(severityFromRawValue(m_minimum->currentData().toInt()).value_or(Severity::low));
    });
    connect(this, &ScreenWidget::searchChanged, this, [this] { rederive(); });
    connect(m_model, &FindingsTableModel::tableChanged, this, [this] {
        rebuildChips();
        updateDetail();
        updateCountAndOverlay();
    });
    connect(m_model, &FindingsTableModel::derivingChanged, this, &FindingsView::updateCountAndOverlay);
    // The selection is a finding id, so it outlives a search that hides its row.
    new SelectionGuard(m_table, {[this] {
                                     const int row = m_selection ? m_model->rowOf(*m_selection) : -1;
                                     return row < 0 ? QModelIndexList() : QModelIndexList{m_model->index(row, 0)};
                                 },
                                 [this](const QModelIndexList &rows) {
                                     m_selection = rows.isEmpty()
                                                       ? std::nullopt
                                                       : std::optional<Uuid>(m_model->findingAt(rows.first().row()).id);
                                     updateDetail();
                                 }});
    connect(&m_store, &AuditStore::findingsChanged, this, &FindingsView::reload);

    reload();
}

QWidget *FindingsView::makeHeader(QWidget *parent)
{
    auto *header = new QWidget(parent);
    header->setObjectName("findingsHeader");
    header->setAutoFillBackground(true);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(headerPaddingH, headerPaddingV, headerPaddingH, headerPaddingV);
    headerLayout->setSpacing(headerSpacing);
    auto *picker = new QWidget(header);
    picker->setFixedWidth(pickerWidth);
    auto *pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    auto *pickerLabel = new QLabel(QStringLiteral("Minimum severity"), picker);
    pickerLayout->addWidget(pickerLabel);
    m_minimum = new QComboBox(picker);
    m_minimum->setObjectName("minimumSeverity");
    for (Severity severity : allSeverities)
        m_minimum->addItem(QString::fromUtf8(severityTitle(severity)), rawValue(severity));
    m_minimum->setCurrentIndex(rawValue(Severity::low));
    pickerLabel->setBuddy(m_minimum);
    pickerLayout->addWidget(m_minimum, 1);
    headerLayout->addWidget(picker);

    auto *chipScroller = new ChipScroller(header);
    m_chipScroller = chipScroller;
    chipScroller->setProperty("scrollsSideways", true); // without a bar, by the wheel and the keys
    chipScroller->setObjectName("categoryChips");
    chipScroller->setFrameShape(QFrame::NoFrame);
    chipScroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroller->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroller->setWidgetResizable(true);
    chipScroller->setBackgroundRole(QPalette::Window);
    m_chipStrip = new QWidget(chipScroller);
    m_chipLayout = new QHBoxLayout(m_chipStrip);
    m_chipLayout->setContentsMargins(0, 0, 0, 0);
    m_chipLayout->setSpacing(chipSpacing);
    m_chipLayout->addStretch(1);
    chipScroller->setWidget(m_chipStrip);
    chipScroller->setFixedHeight(QFontMetrics(Style::caption()).height() + 2 * chipPaddingV);
    headerLayout->addWidget(chipScroller, 1);

    m_count = ::countLabel("findingsCount", header);
    headerLayout->addWidget(m_count);
    return header;
}

QString FindingsView::searchPrompt() const
{
    return QString::fromUtf8("Rule, tactic, technique\u2026");
}

QList<QToolButton *> FindingsView::chips() const
{
    QList<QToolButton *> chips;
    for (int i = 0; i < m_chipLayout->count(); ++i)
        if (auto *chip = qobject_cast<QToolButton *>(m_chipLayout->itemAt(i)->widget())) chips.append(chip);
    return chips;
}

void FindingsView::reload()
{
    m_model->setFindings(m_store.findingsSnapshot());
}

void FindingsView::rederive()
{
    m_model->setSearch(search());
}

void FindingsView::rebuildChips()
{
    while (m_chipLayout->count() > 1) {
        QLayoutItem *item = m_chipLayout->takeAt(0);
        // A chip may be rebuilding from its own click: let it return first.
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    int at = 0;
    for (const FindingsRows::CategoryCount &chip : m_model->table().chips) {
        auto *button = new CategoryChip(chip.category + u' ' + Format::count(chip.count), search() == chip.category,
                                        m_chipStrip);
        button->setObjectName("categoryChip");
        static_cast<ChipScroller *>(m_chipScroller)->watch(button);
        connect(button, &QToolButton::clicked, this, [this, category = chip.category] {
            setSearch(FindingsRows::searchAfterChipClick(search(), category));
        });
        m_chipLayout->insertWidget(at++, button);
    }
}

void FindingsView::updateCountAndOverlay()
{
    const int64_t total = int64_t(m_model->findings().size());
    m_count->setText(FindingsRows::countText(m_model->rowCount(), total));
    m_empty->setDescription(QString::fromUtf8(total == 0 ? noFindingsAtAll : noFindingsShown));
    m_empty->setVisible(m_model->rowCount() == 0 && !m_model->isDeriving());
}

void FindingsView::updateDetail()
{
    // Looked up among all findings, so a finding the filters hide stays in the inspector.
    const Finding *shown = m_selection ? m_model->table().finding(*m_selection) : nullptr;
    if (!shown) m_frame->setDetail(nullptr);
    else if (!detail() || detail()->finding().id != shown->id)
        m_frame->setDetail(new FindingDetail(m_store, *shown, m_frame->pane()));
}

FindingDetail *FindingsView::detail() const
{
    return static_cast<FindingDetail *>(m_frame->detail());
}

std::optional<Finding> FindingsView::findingOfRow(int row) const
{
    if (row < 0 || row >= m_model->rowCount()) return std::nullopt;
    return m_model->findingAt(row);
}

QMenu *FindingsView::contextMenuForRow(int row)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::optional<Finding> finding = findingOfRow(row);
    if (!finding) return menu;
    // The actions switch to the Events screen, which replaces this one: they hold the store, not it.
    AuditStore *store = &m_store;
    QAction *related = menu->addAction(QStringLiteral("Show Related Records"));
    connect(related, &QAction::triggered, menu,
            [store, ids = finding->recordIDs, rule = finding->rule] { store->showRecords(ids, rule); });
    const std::optional<AuditRecord> first = finding->recordIDs.empty() ? std::nullopt
                                                                        : m_store.record(finding->recordIDs.front());
    if (first) {
        QAction *around = menu->addAction(QString::fromUtf8("Show \u00B15 Minutes Around"));
        connect(around, &QAction::triggered, menu, [store, id = first->id, time = first->time, rule = finding->rule] {
            EventFilter filter;
            filter.start = time - aroundSeconds;
            filter.end = time + aroundSeconds;
            filter.label = "\u00B15 min of " + rule;
            store->showEvents(std::move(filter));
            store->setSelectedRecordID(id);
        });
    }
    return menu;
}

void FindingsView::openRow(int row)
{
    if (const std::optional<Finding> finding = findingOfRow(row))
        m_store.showRecords(finding->recordIDs, finding->rule);
}
