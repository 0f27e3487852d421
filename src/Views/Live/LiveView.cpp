#include "Views/Live/LiveView.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Platform/Background.h"
#include "Store/AuditStore.h"
#include "Views/Components/BadgeDelegate.h"
#include "Views/Components/CaptureControl.h"
#include "Views/Components/ContentUnavailable.h"
#include "Views/Components/ElidingToolButton.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/RecordInspector.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableColumns.h"
#include "Views/Live/LiveFindingsList.h"
#include "Views/Live/LiveRecordsModel.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

namespace {

constexpr int barSpacing = 12;
constexpr int statSpacing = 14;
constexpr int tableMinimumWidth = 500;
constexpr int findingsMinimumWidth = 260;
constexpr int findingsIdealWidth = 320;
constexpr MasterDetail::Widths inspectorWidths{320, 380, 520};
constexpr int emptySymbolSize = 54;

const QString runningMessage = QStringLiteral(
    "Records appear here as the kernel emits them. If nothing arrives, the kernel audit subsystem may be\n"
    "inactive — enable auditd under Audit Setup and try again.");
const QString idleMessage = QStringLiteral(
    "Stream events straight from the kernel's audit pipe with a per-session class selection that is\n"
    "independent of audit_control. Requires an administrator password; nothing is installed and the\n"
    "helper exits as soon as you stop capturing or quit.");

using CaptureControl::isRunning;
using CaptureControl::isStarting;

} // namespace

QString liveClassMenuLabel(const std::set<std::string> &classes)
{
    QStringList names;
    for (const std::string &name : classes) names << QString::fromStdString(name); // std::set: ascending
    return QStringLiteral("Classes: ") + names.join(u',');
}

LiveEmptyState liveEmptyState(const LiveMonitor::State &state)
{
    if (isRunning(state))
        return {QStringLiteral("dot.radiowaves.left.and.right"), QStringLiteral("Listening on /dev/auditpipe…"),
                runningMessage};
    if (const auto *failed = std::get_if<LiveMonitor::Failed>(&state))
        return {QStringLiteral("waveform.badge.magnifyingglass"), QStringLiteral("Capture failed"), failed->message,
                true};
    return {QStringLiteral("waveform.badge.magnifyingglass"), QStringLiteral("Live audit stream"), idleMessage};
}

LiveView::LiveView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_live(context.liveMonitor), m_store(context.store), m_tableTimer(new QTimer(this))
{
    Q_ASSERT(m_live && m_store);
    m_tableTimer->setSingleShot(true);
    m_tableTimer->setInterval(tableUpdateIntervalMs);
    connect(m_tableTimer, &QTimer::timeout, this, &LiveView::updateTable);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeControlBar());
    layout->addWidget(horizontalDivider(this));
    m_stack = new QStackedWidget(this);
    m_stack->addWidget(makePlaceholder());
    m_stack->addWidget(makeContent());
    layout->addWidget(m_stack, 1);

    connect(m_live, &LiveMonitor::stateChanged, this, [this] {
        updateControls();
        updateStatistics();
        updateEmptyState();
    });
    connect(m_live, &LiveMonitor::recordsChanged, this, &LiveView::recordsPublished);
    connect(m_live, &LiveMonitor::pausedSnapshotChanged, this, &LiveView::sourceReplaced);
    connect(m_live, &LiveMonitor::pausedChanged, this, &LiveView::updateControls);
    connect(m_live, &LiveMonitor::selectedClassesChanged, this, &LiveView::updateClassMenu);
    connect(m_live, &LiveMonitor::findingsChanged, this,
            [this] { m_findings->findingsModel()->setFindings(m_live->findings()); });
    for (auto signal :
         {&LiveMonitor::totalReceivedChanged, &LiveMonitor::bytesReceivedChanged, &LiveMonitor::ratePerSecondChanged})
        connect(m_live, signal, this, &LiveView::updateStatistics);
    connect(this, &ScreenWidget::searchChanged, this, &LiveView::refilter);

    m_model->reset(sourceList(), currentFilter());
    m_findings->findingsModel()->setFindings(m_live->findings());
    buildClassMenu();
    updateControls();
    updateStatistics();
    updateEmptyState();
    updateInspector();
}

QWidget *LiveView::makeControlBar()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("liveControlBar"));
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::Window);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(barSpacing);

    m_startButton = new QPushButton(QStringLiteral("Start Capture"), bar);
    setSymbol(m_startButton, QStringLiteral("record.circle"), Qt::white);
    m_startButton->setStyleSheet(
        QStringLiteral(
            "QPushButton { background: %1; color: white; border-radius: 5px; padding: 4px 12px; font-weight: 600; }"
            "QPushButton:pressed { background: %2; }")
            .arg(Style::fillUnderWhite(Style::red()).name(), Style::fillUnderWhite(Style::red()).darker(120).name()));
    connect(m_startButton, &QPushButton::clicked, m_live, &LiveMonitor::start);
    row->addWidget(m_startButton);

    m_waiting = new QWidget(bar);
    auto *waiting = new QHBoxLayout(m_waiting);
    waiting->setContentsMargins(0, 0, 0, 0);
    waiting->setSpacing(6);
    auto *progress = new QProgressBar(m_waiting);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedSize(48, 8);
    waiting->addWidget(progress);
    auto *waitingText = new QLabel(QStringLiteral("Waiting for authorisation…"), m_waiting);
    Style::setTextStyle(waitingText, Style::body(), Style::secondaryText());
    waiting->addWidget(waitingText);
    row->addWidget(m_waiting);

    m_stopButton = new QPushButton(QStringLiteral("Stop"), bar);
    setSymbol(m_stopButton, QStringLiteral("stop.fill"));
    m_stopButton->setDefault(true);
    connect(m_stopButton, &QPushButton::clicked, this, [this] { CaptureControl::stop(*m_live); });
    row->addWidget(m_stopButton);

    m_pauseButton = new QPushButton(QStringLiteral("Pause view"), bar);
    setSymbol(m_pauseButton, QStringLiteral("pause"));
    m_pauseButton->setCheckable(true);
    connect(m_pauseButton, &QPushButton::toggled, this, [this](bool on) {
        if (on != m_live->paused()) m_live->setPaused(on);
    });
    row->addWidget(m_pauseButton);

    m_classButton = new ElidingToolButton(bar);
    m_classButton->setObjectName(QStringLiteral("classMenuButton"));
    m_classButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_classButton->setPopupMode(QToolButton::InstantPopup);
    setSymbol(m_classButton, QStringLiteral("square.stack.3d.up"));
    m_classButton->setToolTip(QStringLiteral("Classes are applied when capture starts"));
    m_classButton->setStyleSheet(QStringLiteral("QToolButton { padding-right: 14px; }"));
    m_classMenu = new QMenu(m_classButton);
    m_classButton->setMenu(m_classMenu);
    row->addWidget(m_classButton);

    m_failuresBox = new QCheckBox(QStringLiteral("Failures only"), bar);
    connect(m_failuresBox, &QCheckBox::toggled, this, &LiveView::setFailuresOnly);
    row->addWidget(m_failuresBox);

    row->addStretch(1);

    m_statistics = new QWidget(bar);
    auto *stats = new QHBoxLayout(m_statistics);
    stats->setContentsMargins(0, 0, 0, 0);
    stats->setSpacing(statSpacing);
    stats->addWidget(stat(m_receivedValue, QStringLiteral("records")));
    stats->addWidget(stat(m_rateValue, QStringLiteral("/ sec")));
    stats->addWidget(stat(m_bytesValue, QString()));
    row->addWidget(m_statistics);

    m_clearButton = new QPushButton(QStringLiteral("Clear"), bar);
    connect(m_clearButton, &QPushButton::clicked, m_live, &LiveMonitor::clear);
    row->addWidget(m_clearButton);

    m_analyseButton = new QPushButton(QStringLiteral("Analyse Capture"), bar);
    setSymbol(m_analyseButton, QStringLiteral("arrow.down.doc"));
    m_analyseButton->setToolTip(QStringLiteral("Add the captured records to the analysis views as a new source"));
    connect(m_analyseButton, &QPushButton::clicked, this, &LiveView::analyseCapture);
    row->addWidget(m_analyseButton);
    return bar;
}

QWidget *LiveView::stat(QLabel *&value, const QString &label)
{
    auto *cell = new QWidget(this);
    auto *row = new QHBoxLayout(cell);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    value = new EqualDigitsLabel(QString(), cell);
    Style::setTextStyle(value, Style::semibold(Style::callout()));
    row->addWidget(value, 0, Qt::AlignBaseline);
    if (!label.isEmpty()) {
        auto *caption = new QLabel(label, cell);
        Style::setTextStyle(caption, Style::caption(), Style::secondaryText());
        row->addWidget(caption, 0, Qt::AlignBaseline);
    }
    return cell;
}

QWidget *LiveView::makePlaceholder()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("liveEmptyState"));
    auto *outer = new QVBoxLayout(page);
    outer->setContentsMargins(40, 40, 40, 40);
    outer->addStretch(1);
    auto *column = new QVBoxLayout;
    column->setSpacing(18);
    m_emptySymbol = new QLabel(page);
    m_emptySymbol->setAlignment(Qt::AlignCenter);
    column->addWidget(m_emptySymbol, 0, Qt::AlignHCenter);
    m_emptyTitle = new QLabel(page);
    m_emptyTitle->setAlignment(Qt::AlignCenter);
    Style::setTextStyle(m_emptyTitle, Style::semibold(Style::title3()));
    column->addWidget(m_emptyTitle);
    m_emptyMessage = new QLabel(page);
    m_emptyMessage->setAlignment(Qt::AlignCenter);
    m_emptyMessage->setWordWrap(true);
    m_emptyMessage->setTextFormat(Qt::PlainText);
    column->addWidget(m_emptyMessage);
    outer->addLayout(column);
    outer->addStretch(1);
    return page;
}

QWidget *LiveView::makeContent()
{
    m_frame = new MasterDetail(this);

    m_table = new QTableView(m_frame->columnWidget());
    m_table->setObjectName(QStringLiteral("liveTable"));
    m_model = new LiveRecordsModel(m_table);
    m_table->setModel(m_model);
    m_table->setItemDelegateForColumn(LiveRecordsModel::resultColumn, new BadgeDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSortingEnabled(false);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(Style::callout()).height() + 8);
    QHeaderView *header = m_table->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    setEqualDigits(m_table, {LiveRecordsModel::timeColumn, LiveRecordsModel::pidColumn});
    keepColumnsFitted(m_table, m_model->columnWidths(m_table->font()), LiveRecordsModel::detailsColumn);
    m_table->setMinimumWidth(tableMinimumWidth);
    m_frame->addView(m_table);
    // Marked, not scrolled to: the table must not jump while records stream in.
    m_guard = new SelectionGuard(m_table,
                                 {[this] {
                                      const int row = m_selection ? m_model->rowOf(*m_selection) : -1;
                                      return row < 0 ? QModelIndexList() : QModelIndexList{m_model->index(row, 0)};
                                  },
                                  [this](const QModelIndexList &rows) {
                                      if (rows.isEmpty()) m_selection.reset();
                                      else m_selection = m_model->idAt(rows.first().row());
                                      updateInspector();
                                  }},
                                 false);

    auto *pane = new QWidget(this);
    pane->setObjectName(QStringLiteral("liveFindingsPane"));
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *heading = new QLabel(QStringLiteral("Live findings"), pane);
    Style::setTextStyle(heading, Style::headline());
    heading->setContentsMargins(12, 12, 12, 12);
    column->addWidget(heading);
    column->addWidget(horizontalDivider(pane));
    m_findings = new LiveFindingsList(pane);
    column->addWidget(m_findings, 1);
    auto *empty = new ContentUnavailable(QStringLiteral("Nothing suspicious yet"), QStringLiteral("checkmark.shield"));
    empty->attachTo(m_findings->viewport());
    m_findingsEmpty = empty;
    connect(m_findings->findingsModel(), &QAbstractItemModel::modelReset, this,
            [this] { m_findingsEmpty->setVisible(m_findings->findingsModel()->rowCount() == 0); });
    m_frame->addSidePane(pane, findingsMinimumWidth, findingsIdealWidth);

    // Blank while the lookup finds nothing.
    m_frame->setPane("liveInspector", new QWidget, MasterDetail::PaneMode::whileSelected, inspectorWidths);
    m_inspector = new RecordInspector(m_frame->pane());
    m_frame->showInPane(m_inspector);
    m_frame->remember(context().layout, QStringLiteral("live"));
    return m_frame;
}

LiveMonitor::Records LiveView::sourceList() const
{
    if (const LiveMonitor::Records &snapshot = m_live->pausedSnapshot()) return snapshot;
    return m_live->records();
}

LiveFilter LiveView::currentFilter() const
{
    return {m_failuresOnly, search().toStdString()};
}

void LiveView::setFailuresOnly(bool on)
{
    if (on == m_failuresOnly) return;
    m_failuresOnly = on;
    if (m_failuresBox->isChecked() != on) m_failuresBox->setChecked(on);
    refilter();
}

void LiveView::recordsPublished()
{
    const LiveMonitor::RecordsChange &change = m_live->recordsChange();
    if (change.analysed) {
        if (change.reordered) m_pendingReset = true;
        else m_pendingRefresh = true;
    } else {
        m_pendingDropped += change.dropped;
        m_pendingRoll = true;
    }
    if (!m_tableTimer->isActive()) m_tableTimer->start();
    updateControls(); // Clear and Analyse follow the buffer itself, not the throttled table
}

void LiveView::sourceReplaced()
{
    m_pendingReset = true;
    updateTable();
}

void LiveView::refilter()
{
    m_pendingReset = true;
    updateTable();
}

void LiveView::updateTable()
{
    QElapsedTimer clock;
    clock.start();
    m_tableTimer->stop();
    const LiveMonitor::Records source = sourceList();
    // Rows that leave the table keep their id selected: what the model does to the selection is
    // not the user's choice. A reset puts the selection back by itself.
    m_guard->quietly([&] {
        if (m_pendingReset) {
            m_model->reset(source, currentFilter());
        } else if (!m_live->paused()) {
            // A paused table stands on its snapshot; the live publications wait for the unpause.
            if (m_pendingRoll) m_model->roll(source, m_pendingDropped);
            if (m_pendingRefresh) m_model->refresh(source);
            if (m_selection && m_table->selectionModel()->selectedRows().isEmpty()) m_guard->apply();
        }
    });
    m_pendingDropped = 0;
    m_pendingRoll = m_pendingRefresh = m_pendingReset = false;
    updateEmptyState();
    updateInspector();
    emit tableUpdated(clock.nsecsElapsed());
}

bool LiveView::inspectorPresented() const
{
    return m_frame->paneShown();
}

bool LiveView::showsEmptyState() const
{
    return m_stack->currentIndex() == 0;
}

void LiveView::updateInspector()
{
    m_frame->setPaneShown(m_selection.has_value());
    if (!m_selection) return;
    const LiveMonitor::Records source = sourceList();
    const auto found = std::find_if(source->begin(), source->end(),
                                    [this](const AuditRecord &record) { return record.id == *m_selection; });
    if (found == source->end()) {
        m_frame->showInPane(nullptr);
        return;
    }
    const std::optional<AuditRecord> &shown = m_inspector->record();
    // Rebuilt only for another record or its analysed copy, so the inspector keeps its place.
    if (!shown || shown->id != found->id || shown->processName() != found->processName())
        m_inspector->setRecord(*found);
    m_frame->showInPane(m_inspector);
}

void LiveView::updateEmptyState()
{
    const LiveEmptyState empty = liveEmptyState(m_live->state());
    const bool running = isRunning(m_live->state());
    setSymbol(m_emptySymbol, empty.symbol, emptySymbolSize, running ? Style::red() : Style::secondaryText());
    m_emptyTitle->setText(empty.title);
    m_emptyMessage->setText(empty.message);
    Style::setTextStyle(m_emptyMessage, Style::body(), empty.failed ? Style::red() : Style::secondaryText());
    m_stack->setCurrentIndex(sourceList()->empty() ? 0 : 1);
}

void LiveView::updateControls()
{
    const LiveMonitor::State &state = m_live->state();
    const bool running = isRunning(state);
    const bool starting = isStarting(state);
    m_startButton->setVisible(!running && !starting);
    m_waiting->setVisible(starting);
    m_stopButton->setVisible(running);
    m_pauseButton->setVisible(running);
    {
        const QSignalBlocker blocker(m_pauseButton);
        m_pauseButton->setChecked(m_live->paused());
    }
    m_classButton->setEnabled(!running && !starting);
    const bool empty = m_live->records()->empty();
    m_clearButton->setEnabled(!empty);
    m_analyseButton->setEnabled(!empty);
}

void LiveView::updateStatistics()
{
    m_statistics->setVisible(isRunning(m_live->state()) || m_live->totalReceived() > 0);
    const QLocale locale;
    m_receivedValue->setText(Format::count(m_live->totalReceived()));
    m_rateValue->setText(locale.toString(m_live->ratePerSecond(), 'f', 1));
    m_bytesValue->setText(Format::byteCount(m_live->bytesReceived()));
    updateControls();
}

void LiveView::buildClassMenu()
{
    for (const AuditClassInfo &info : AuditCatalog::shared().selectableClasses()) {
        QString label = QString::fromStdString(info.shortName) + QStringLiteral(" — ")
                        + QString::fromStdString(info.description);
        auto *action = m_classMenu->addAction(label.replace(u'&', QStringLiteral("&&")));
        action->setCheckable(true);
        action->setData(QString::fromStdString(info.shortName));
        connect(action, &QAction::toggled, this, [this, name = info.shortName](bool on) {
            std::set<std::string> classes = m_live->selectedClasses();
            if (on) classes.insert(name);
            else classes.erase(name);
            m_live->setSelectedClasses(std::move(classes));
        });
    }
    updateClassMenu();
}

void LiveView::updateClassMenu()
{
    m_classButton->setText(liveClassMenuLabel(m_live->selectedClasses()));
    for (QAction *action : m_classMenu->actions()) {
        const QSignalBlocker blocker(action);
        action->setChecked(m_live->selectedClasses().contains(action->data().toString().toStdString()));
    }
}

void LiveView::analyseCapture()
{
    AuditStore *store = m_store;
    // Continued on the store, not on this screen: the switch happens even if the screen is gone.
    // An import cancelled, or undone because the store could not analyse it, leaves the screen as it is.
    Background::whenDone(store->importLive(*m_live->records()), store, [store](QFuture<void> imported) {
        try {
            imported.waitForFinished();
        } catch (...) {
            return;
        }
        if (imported.isCanceled()) return;
        if (store->screen() != Screen::dashboard) store->setScreen(Screen::dashboard);
    });
}
