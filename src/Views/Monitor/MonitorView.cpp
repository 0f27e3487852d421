#include "Views/Monitor/MonitorView.h"

#include "Platform/SystemSettings.h"
#include "Services/AlertCenter.h"
#include "Services/AlertHistory.h"
#include "Services/LiveMonitor.h"
#include "Store/NativePath.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/CaptureControl.h"
#include "Views/Components/Card.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableColumns.h"
#include "Views/Monitor/AlertDetail.h"
#include "Views/Monitor/AlertTableModel.h"
#include "Views/Monitor/MonitorCards.h"
#include "Views/Monitor/MonitorStatusLine.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <array>

namespace {

constexpr int settingsMinimumHeight = 300;
constexpr int settingsIdealHeight = 430;
constexpr int historyMinimumHeight = 200;
constexpr MasterDetail::Widths detailWidths{300, 380, 560};
constexpr int statusSymbolSize = 38;

constexpr int tableMinimumWidth = 500;

const QString noAlertsDescription = QStringLiteral(
    "High and Critical findings from background monitoring will be listed here.");

// The cell of a monitor alert's severity: its symbol and "Monitor" in the caption font.
int monitorCellWidth(const QTableView *table)
{
    QStyleOptionViewItem option;
    option.initFrom(table);
    option.widget = table;
    option.font = Style::caption();
    option.fontMetrics = QFontMetrics(option.font);
    option.text = QStringLiteral("Monitor");
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    const int icon = table->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, table);
    option.decorationSize = table->iconSize().isValid() ? table->iconSize() : QSize(icon, icon);
    option.icon = symbolIcon(QStringLiteral("bolt.horizontal.circle"), Style::secondaryText());
    return table->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), table).width();
}

using CaptureControl::isRunning;

// The unacknowledged dot at its own 7 points, centred: as an item icon it is scaled to the
// view's icon size and cut by the narrow column.
class DotDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.icon = QIcon();
        background.features &= ~QStyleOptionViewItem::HasDecoration;
        const QWidget *widget = option.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
        if (!index.data(Qt::DecorationRole).isValid()) return;
        constexpr qreal diameter = 7;
        const QPointF centre = QRectF(option.rect).center();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Style::accent());
        painter->drawEllipse(centre, diameter / 2, diameter / 2);
        painter->restore();
    }
};

} // namespace

QString monitorRunningLine(const std::set<std::string> &classes, double ratePerSecond, size_t findings)
{
    QStringList names;
    for (const std::string &name : classes) names << QString::fromStdString(name);
    return QStringLiteral("Classes: ") + names.join(QStringLiteral(", ")) + QStringLiteral(" · ")
           + QLocale().toString(ratePerSecond, 'f', 1) + QStringLiteral(" records/s · ") + QString::number(findings)
           + QStringLiteral(" findings in the rolling buffer");
}

QString monitorFootnote(int64_t bufferLimit)
{
    return QStringLiteral("Monitoring reads /dev/auditpipe through a short-lived root helper, so each start asks for an "
                          "administrator password. The same capture feeds the Live Monitor view. Detections run once a "
                          "second over the most recent ")
           + QLocale().toString(qlonglong(bufferLimit)) + QStringLiteral(" records.");
}

MonitorView::Hooks MonitorView::defaultHooks()
{
    Hooks hooks;
    hooks.chooseExportPath = [](QWidget *parent) {
        return QFileDialog::getSaveFileUrl(parent, QString(),
                                           QUrl::fromLocalFile(QDir::current().filePath("quillmarsh-alerts.json")),
                                           QStringLiteral("JSON (*.json)"));
    };
    hooks.openNotificationSettings = [] { SystemSettings::openNotificationSettings(); };
    hooks.openLoginItems = [] {
        const QString folder = SystemSettings::loginItemsFolder();
        QDir().mkpath(folder); // the file manager cannot open a folder that is not there yet
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    return hooks;
}

MonitorView::MonitorView(const ViewContext &context, QWidget *parent) : MonitorView(context, defaultHooks(), parent) {}

MonitorView::MonitorView(const ViewContext &context, Hooks hooks, QWidget *parent)
    : ScreenWidget(context, parent)
    , m_alerts(context.alertCenter)
    , m_live(context.liveMonitor)
    , m_hooks(std::move(hooks))
{
    Q_ASSERT(m_alerts && m_live);
    auto *frame = MasterDetail::filling(this);
    m_frame = frame;

    auto *regions = new QSplitter(Qt::Vertical, frame->columnWidget());
    regions->setChildrenCollapsible(false);
    regions->addWidget(makeSettings());
    regions->addWidget(makeHistory());
    regions->setStretchFactor(0, 0);
    regions->setStretchFactor(1, 1);
    regions->setSizes({settingsIdealHeight, 400});
    rememberSplitter(regions, context.layout, QStringLiteral("monitorRegions"));
    frame->column()->addWidget(regions);

    frame->setPane("alertDetailColumn",
                   new ContentUnavailable(QStringLiteral("No alert selected"), QStringLiteral("bell.badge"),
                                          QStringLiteral("Alerts raised by background monitoring appear here, "
                                                         "including the evidence captured at the time.")),
                   MasterDetail::PaneMode::alwaysShown, detailWidths);
    frame->giveWayTo(m_table);
    frame->remember(context.layout, QStringLiteral("monitor"));

    m_errorAlert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quillmarsh"), QString(), QMessageBox::Ok, this);
    m_errorAlert->setWindowModality(Qt::WindowModal);
    connect(m_errorAlert, &QMessageBox::finished, this, [this] { m_alerts->setLastError({}); });
    m_exportError = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quillmarsh"), QString(), QMessageBox::Ok,
                                    this);
    m_exportError->setWindowModality(Qt::WindowModal);

    connect(m_alerts, &AlertCenter::alertsChanged, this, [this] {
        updateHistory();
        updateDetail();
    });
    connect(m_alerts, &AlertCenter::selectedAlertIDChanged, this, &MonitorView::takeSelectionRequest);
    connect(m_alerts, &AlertCenter::lastErrorChanged, this, &MonitorView::showLastError);
    for (auto signal :
         {&LiveMonitor::stateChanged, &LiveMonitor::selectedClassesChanged, &LiveMonitor::ratePerSecondChanged,
          &LiveMonitor::findingsChanged, &LiveMonitor::bufferLimitChanged})
        connect(m_live, signal, this, &MonitorView::updateStatusCard);

    updateStatusCard();
    updateHistory();
    updateDetail();
    showLastError();
}

// Each time the screen is shown, also when the window comes back from the tray: take a pending
// request, then refresh the login item and the notification permission.
void MonitorView::appeared()
{
    takeSelectionRequest();
    m_alerts->refreshLoginItemStatus();
    m_alerts->refreshNotificationStatus();
}

QWidget *MonitorView::makeSettings()
{
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("monitorSettings"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setMinimumHeight(settingsMinimumHeight);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Vertical only: the cards wrap their texts to the width they get.
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(scroll);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    column->addWidget(makeStatusCard(content));
    auto *cards = new QHBoxLayout;
    cards->setSpacing(16);
    m_alertingCard = new AlertingCard(m_alerts, m_hooks.openNotificationSettings, content);
    m_backgroundCard = new BackgroundCard(m_alerts, m_hooks.openLoginItems, content);
    cards->addWidget(m_alertingCard, 1, Qt::AlignTop);
    cards->addWidget(m_backgroundCard, 1, Qt::AlignTop);
    column->addLayout(cards);
    column->addStretch(1);
    scroll->setWidget(content);
    return scroll;
}

QWidget *MonitorView::makeStatusCard(QWidget *parent)
{
    auto *card = new Card(QString(), QString(), parent);
    card->setObjectName(QStringLiteral("statusCard"));
    auto *row = new QHBoxLayout;
    row->setSpacing(16);
    m_statusSymbol = new QLabel(card);
    row->addWidget(m_statusSymbol, 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    m_headline = new QLabel(card);
    m_headline->setWordWrap(true);
    Style::setTextStyle(m_headline, Style::semibold(Style::title2()));
    texts->addWidget(m_headline);
    m_statusLine = new MonitorStatusLine(m_live, card);
    texts->addWidget(m_statusLine);
    m_runningLine = new QLabel(card);
    m_runningLine->setObjectName(QStringLiteral("runningLine"));
    m_runningLine->setWordWrap(true);
    Style::setTextStyle(m_runningLine, Style::caption(), Style::tertiaryText());
    texts->addWidget(m_runningLine);
    row->addLayout(texts, 1);
    m_captureButton = new QPushButton(card);
    m_captureButton->setObjectName(QStringLiteral("captureButton"));
    m_captureButton->setMinimumHeight(32);
    connect(m_captureButton, &QPushButton::clicked, this, [this] { CaptureControl::toggle(*m_live); });
    row->addWidget(m_captureButton, 0, Qt::AlignVCenter);
    card->contentLayout()->addLayout(row);
    m_footnote = new QLabel(card);
    m_footnote->setWordWrap(true);
    Style::setTextStyle(m_footnote, Style::callout(), Style::secondaryText());
    card->contentLayout()->addWidget(m_footnote);
    return card;
}

QWidget *MonitorView::makeHistory()
{
    auto *history = new QWidget(this);
    history->setMinimumHeight(historyMinimumHeight);
    auto *column = new QVBoxLayout(history);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *bar = new QWidget(history);
    bar->setObjectName(QStringLiteral("historyHeader"));
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 8, 12, 8);
    auto *title = new QLabel(QStringLiteral("Alert history"), bar);
    Style::setTextStyle(title, Style::headline());
    row->addWidget(title);
    m_counts = new QLabel(bar);
    m_counts->setObjectName(QStringLiteral("historyCounts"));
    Style::setTextStyle(m_counts, Style::callout(), Style::secondaryText());
    row->addWidget(m_counts);
    row->addStretch(1);
    m_newOnlyBox = new QCheckBox(QStringLiteral("New only"), bar);
    connect(m_newOnlyBox, &QCheckBox::toggled, this, &MonitorView::setNewOnly);
    row->addWidget(m_newOnlyBox);
    m_acknowledgeAll = new QPushButton(QStringLiteral("Acknowledge All"), bar);
    connect(m_acknowledgeAll, &QPushButton::clicked, m_alerts, &AlertCenter::acknowledgeAll);
    row->addWidget(m_acknowledgeAll);
    m_menuButton = new QToolButton(bar);
    m_menuButton->setObjectName(QStringLiteral("historyMenu"));
    m_menuButton->setAutoRaise(true);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    setSymbol(m_menuButton, QStringLiteral("ellipsis.circle"));
    auto *menu = new QMenu(m_menuButton);
    m_exportAction = menu->addAction(QStringLiteral("Export as JSON…"), this, &MonitorView::exportJSON);
    menu->addSeparator();
    m_deleteSelected = menu->addAction(QStringLiteral("Delete Selected"), this, [this] {
        m_alerts->deleteAlerts(m_selection);
        setSelection({});
        m_guard->apply();
    });
    m_clearHistory = menu->addAction(QStringLiteral("Clear History"), this, [this] {
        m_alerts->clearAll();
        setSelection({});
        m_guard->apply();
    });
    m_menuButton->setMenu(menu);
    row->addWidget(m_menuButton);
    column->addWidget(bar);
    column->addWidget(horizontalDivider(history));

    m_table = new QTableView(history);
    m_table->setObjectName(QStringLiteral("alertTable"));
    m_model = new AlertTableModel(m_table);
    m_table->setModel(m_model);
    m_table->setItemDelegateForColumn(AlertTableModel::dotColumn, new DotDelegate(m_table));
    m_table->setItemDelegateForColumn(AlertTableModel::severityColumn, new BadgeDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    setEqualDigits(m_table, {AlertTableModel::raisedColumn});
    m_table->setItemDelegateForColumn(AlertTableModel::summaryColumn, new MiddleElideDelegate(m_table));
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(Style::callout()).height() + 10);
    QHeaderView *header = m_table->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    std::vector<ColumnWidth> widths = m_model->columnWidths(m_table->font());
    widths[AlertTableModel::severityColumn] = widenedTo(widths[AlertTableModel::severityColumn],
                                                        std::max(BadgeDelegate::widestSeverityCell(),
                                                                 monitorCellWidth(m_table)));
    keepColumnsFitted(m_table, widths, AlertTableModel::summaryColumn);
    m_table->setMinimumWidth(tableMinimumWidth);
    // The selected ids stay when their rows leave the table ("New only", a deletion elsewhere).
    m_guard = new SelectionGuard(m_table,
                                 {[this] {
                                      QModelIndexList rows;
                                      for (const Uuid &id : m_selection)
                                          if (const int row = m_model->rowOf(id); row >= 0)
                                              rows << m_model->index(row, 0);
                                      return rows;
                                  },
                                  [this](const QModelIndexList &rows) {
                                      std::set<Uuid> ids;
                                      for (const QModelIndex &index : rows) ids.insert(m_model->idAt(index.row()));
                                      setSelection(std::move(ids));
                                  }},
                                 false);
    MasterDetail::openRowMenus(m_table, [this](const QModelIndex &index) {
        return rowMenu(index.isValid() ? std::optional<Uuid>(m_model->idAt(index.row())) : std::nullopt);
    });
    column->addWidget(m_table, 1);
    m_tableEmpty = new ContentUnavailable(QStringLiteral("No alerts yet"), QStringLiteral("checkmark.shield"),
                                          noAlertsDescription);
    m_tableEmpty->attachTo(m_table->viewport());
    return history;
}

QMenu *MonitorView::rowMenu(const std::optional<Uuid> &clicked)
{
    const std::set<Uuid> ids = alertMenuIDs(clicked, m_selection);
    auto *menu = new QMenu(this);
    menu->addAction(QStringLiteral("Acknowledge"), this, [this, ids] {
        for (const Uuid &id : ids) m_alerts->acknowledge(id);
    });
    menu->addAction(QStringLiteral("Copy Summary"), this,
                    [this, ids] { copyToClipboard(alertSummaryText(m_alerts->alerts(), ids)); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Delete"), this, [this, ids] {
        m_alerts->deleteAlerts(ids);
        std::set<Uuid> kept = m_selection;
        for (const Uuid &id : ids) kept.erase(id);
        setSelection(std::move(kept));
        m_guard->apply();
    });
    return menu;
}

void MonitorView::updateStatusCard()
{
    const LiveMonitor::State &state = m_live->state();
    const bool running = isRunning(state);
    setSymbol(m_statusSymbol, running ? QStringLiteral("checkmark.shield.fill") : QStringLiteral("shield.slash"),
              statusSymbolSize, running ? Style::green() : Style::secondaryText());
    m_headline->setText(running ? QStringLiteral("Monitoring audit events")
                                : QStringLiteral("Background monitoring is off"));
    m_runningLine->setVisible(running);
    if (running)
        m_runningLine->setText(
            monitorRunningLine(m_live->selectedClasses(), m_live->ratePerSecond(), m_live->findings().size()));
    CaptureControl::showState(m_captureButton, state, QStringLiteral("Stop"), {6, 6, 14});
    m_footnote->setText(monitorFootnote(m_live->bufferLimit()));
}

void MonitorView::updateHistory()
{
    const std::vector<MonitorAlert> &history = m_alerts->alerts();
    m_guard->quietly([&] { m_model->setRows(alertRows(history, m_newOnly)); });
    m_counts->setText(alertHistoryCounts(history.size(), m_alerts->unacknowledgedCount()));
    m_acknowledgeAll->setEnabled(m_alerts->unacknowledgedCount() > 0);
    m_menuButton->setEnabled(!history.empty());
    m_deleteSelected->setEnabled(!m_selection.empty());
    m_tableEmpty->setTitle(history.empty() ? QStringLiteral("No alerts yet") : QStringLiteral("No new alerts"));
    m_tableEmpty->setVisible(m_model->rowCount() == 0);
}

void MonitorView::updateDetail()
{
    const std::optional<MonitorAlert> alert = detailAlert(m_alerts->alerts(), m_selection);
    if (!alert) m_frame->setDetail(nullptr);
    else if (!detail() || detail()->alert() != *alert) m_frame->setDetail(new AlertDetail(*alert, m_frame->pane()));
}

AlertDetail *MonitorView::detail() const
{
    return static_cast<AlertDetail *>(m_frame->detail());
}

void MonitorView::select(const std::set<Uuid> &ids)
{
    setSelection(ids);
    m_guard->apply();
}

void MonitorView::setSelection(std::set<Uuid> ids)
{
    const bool changed = ids != m_selection;
    m_selection = std::move(ids);
    m_deleteSelected->setEnabled(!m_selection.empty());
    updateDetail();
    // Selecting one alert acknowledges it (again, when it already was).
    if (changed && m_selection.size() == 1) m_alerts->acknowledge(*m_selection.begin());
}

void MonitorView::setNewOnly(bool on)
{
    if (on == m_newOnly) return;
    m_newOnly = on;
    if (m_newOnlyBox->isChecked() != on) m_newOnlyBox->setChecked(on);
    updateHistory();
}

void MonitorView::takeSelectionRequest()
{
    const std::optional<Uuid> requested = m_alerts->selectedAlertID();
    if (!requested) return;
    select({*requested});
    m_alerts->setSelectedAlertID(std::nullopt);
}

void MonitorView::exportJSON()
{
    const std::string path = m_hooks.chooseExportPath
                                 ? NativePath::fromUrl(m_hooks.chooseExportPath(this)).toStdString()
                                 : std::string();
    if (path.empty()) return;
    const QString error = AlertHistory::exportTo(path, m_alerts->alerts());
    if (error.isEmpty()) return;
    m_exportError->setText(error);
    m_exportError->open();
}

void MonitorView::showLastError()
{
    const QString &error = m_alerts->lastError();
    if (error.isEmpty()) return;
    m_errorAlert->setText(error);
    if (!m_errorAlert->isVisible()) m_errorAlert->open();
}
