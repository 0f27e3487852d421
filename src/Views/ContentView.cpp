#include "Views/ContentView.h"

#include "Store/AuditStore.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/Style.h"
#include "Views/EmptyStateView.h"
#include "Views/MainToolbar.h"
#include "Views/ScreenFactory.h"
#include "Views/ScreenWidget.h"
#include "Views/Sidebar.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int cardPadding = 28;
constexpr int cardRadius = 16;
constexpr int cardSpacing = 12;
constexpr int busyWidth = 160;
const QString sidebarKey = QStringLiteral("layout/sidebar");

} // namespace

LoadingOverlay::LoadingOverlay(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("loadingOverlay"));
    m_card = new QFrame(this);
    m_card->setObjectName(QStringLiteral("loadingCard"));
    m_card->setStyleSheet(
        QStringLiteral("#loadingCard { background: palette(window); border-radius: %1px; }").arg(cardRadius));
    auto *shadow = new QGraphicsDropShadowEffect(m_card);
    shadow->setBlurRadius(40);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, 84));
    m_card->setGraphicsEffect(shadow);
    auto *busy = new QProgressBar(m_card);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedWidth(busyWidth);
    m_message = new QLabel(m_card);
    m_message->setObjectName(QStringLiteral("loadingMessage"));
    m_message->setAlignment(Qt::AlignCenter);
    Style::setTextStyle(m_message, Style::callout(), Style::secondaryText());
    auto *layout = new QVBoxLayout(m_card);
    layout->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    layout->setSpacing(cardSpacing);
    layout->addWidget(busy, 0, Qt::AlignHCenter);
    layout->addWidget(m_message);
    auto *centre = new QVBoxLayout(this);
    centre->addWidget(m_card, 0, Qt::AlignCenter);
}

void LoadingOverlay::setMessage(const QString &message)
{
    m_message->setText(message);
}

QString LoadingOverlay::message() const
{
    return m_message->text();
}

void LoadingOverlay::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), QColor(0, 0, 0, 20));
}

// Swallows the pointer so nothing under the dimmed window reacts while the store loads.
bool LoadingOverlay::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel: event->accept(); return true;
    default: return QWidget::event(event);
    }
}

ContentView::ContentView(const ViewContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("contentView"));
    setAcceptDrops(true);
    AuditStore *store = context.store;

    m_sidebar = new Sidebar(context, this);
    auto *detailColumn = new QWidget(this);
    detailColumn->setObjectName(QStringLiteral("detailColumn"));
    m_toolbar = new MainToolbar(context, detailColumn);
    auto *rule = new QFrame(detailColumn);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setStyleSheet(QStringLiteral("color: rgba(0, 0, 0, 30);"));
    m_host = new QWidget(detailColumn);
    m_host->setObjectName(QStringLiteral("detailHost"));
    auto *hostLayout = new QVBoxLayout(m_host);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    auto *column = new QVBoxLayout(detailColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_toolbar);
    column->addWidget(rule);
    column->addWidget(m_host, 1);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(1);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(detailColumn);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_sidebarPreferred = Sidebar::idealWidth;
    if (m_context.layout) {
        const int kept = m_context.layout->value(sidebarKey, Sidebar::idealWidth).toInt();
        m_sidebarPreferred = std::clamp(kept, int(Sidebar::minimumWidth), int(Sidebar::maximumWidth));
    }
    m_splitter->setSizes({m_sidebarPreferred, 10000});
    m_splitter->installEventFilter(this);
    connect(m_splitter, &QSplitter::splitterMoved, this, &ContentView::sidebarDragged);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_overlay = new LoadingOverlay(this);
    m_overlay->hide();

    m_alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quillmarsh"), QString(), QMessageBox::NoButton,
                              this);
    m_alert->setObjectName(QStringLiteral("errorAlert"));
    m_alert->setWindowModality(Qt::WindowModal);
    m_alert->setEscapeButton(m_alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    m_auditSetupButton = m_alert->addButton(QStringLiteral("Open Audit Setup"), QMessageBox::ActionRole);
    connect(m_alert, &QMessageBox::finished, this, &ContentView::alertClosed);

    connect(store, &AuditStore::screenChanged, this, [this] { showDetail(true); });
    connect(store, &AuditStore::recordsChanged, this, [this] { showDetail(false); });
    connect(store, &AuditStore::sourcesChanged, this, [this] { showDetail(false); });
    connect(store, &AuditStore::isLoadingChanged, this, &ContentView::updateOverlay);
    connect(store, &AuditStore::loadingMessageChanged, this, &ContentView::updateOverlay);
    connect(store, &AuditStore::lastErrorChanged, this, &ContentView::updateAlert);
    showDetail(true);
    updateOverlay();
    updateAlert();
}

bool ContentView::showsEmptyState(Screen screen, const AuditStore &store)
{
    switch (screen) {
    case Screen::dashboard:
    case Screen::events:
    case Screen::processes:
    case Screen::findings:
    case Screen::network: return store.records().empty();
    case Screen::sources: return store.sources().empty();
    case Screen::live:
    case Screen::monitor:
    case Screen::setup:
    case Screen::reference: return false;
    }
    return false;
}

QString ContentView::title() const
{
    // Trail Files shows the empty state as its own content, under its own title.
    const bool titled = m_screen || m_shownScreen == Screen::sources;
    return titled ? QString::fromUtf8(screenTitle(m_shownScreen)) : QStringLiteral("Quillmarsh");
}

void ContentView::showDetail(bool recreate)
{
    const Screen screen = m_context.store->screen();
    const bool empty = showsEmptyState(screen, *m_context.store);
    if (!recreate && m_detail && screen == m_shownScreen && empty == bool(m_empty)) return;

    if (m_detail) {
        // The switch may come from a handler of the old screen that is still running: it is
        // detached now, so it can no longer act, and deleted when control is back in the event
        // loop. The new screen starts afresh either way.
        m_toolbar->setScreen(nullptr, QString());
        QWidget *old = std::exchange(m_detail, nullptr);
        m_host->layout()->removeWidget(old);
        if (auto *oldScreen = qobject_cast<ScreenWidget *>(old)) oldScreen->detach();
        else detachFromServices(old, m_context);
        old->deleteLater();
        m_screen = nullptr;
        m_empty = nullptr;
    }
    m_shownScreen = screen;
    if (empty) {
        m_empty = new EmptyStateView(*m_context.store, m_host);
        m_detail = m_empty;
    } else {
        m_screen = makeScreen(screen, m_context, m_host);
        m_detail = m_screen;
    }
    m_host->layout()->addWidget(m_detail);
    m_detail->show();
    if (auto *frame = m_screen ? m_screen->findChild<MasterDetail *>() : nullptr)
        connect(frame, &MasterDetail::widthWantedChanged, this, &ContentView::fitSidebar);
    fitSidebar();
    m_toolbar->setScreen(m_screen, title());
    emit titleChanged(title());
}

void ContentView::updateOverlay()
{
    const AuditStore &store = *m_context.store;
    m_overlay->setMessage(QString::fromStdString(store.loadingMessage()));
    if (store.isLoading() == m_overlay->isVisible()) return;
    m_overlay->setVisible(store.isLoading());
    if (store.isLoading()) {
        m_overlay->setGeometry(rect());
        m_overlay->raise();
    }
}

void ContentView::updateAlert()
{
    const QString &text = m_context.store->lastError();
    if (text.isEmpty()) {
        if (m_alert->isVisible()) m_alert->hide();
        return;
    }
    m_alert->setText(text);
    m_auditSetupButton->setVisible(text.contains(QLatin1String("Audit Setup"))
                                   || text.contains(QLatin1String("disabled")));
    if (!m_alert->isVisible()) m_alert->open();
}

void ContentView::alertClosed()
{
    const bool toSetup = m_alert->clickedButton() == m_auditSetupButton;
    AuditStore &store = *m_context.store;
    if (!store.lastError().isEmpty()) store.setLastError({});
    if (toSetup && store.screen() != Screen::setup) store.setScreen(Screen::setup);
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_overlay->setGeometry(rect());
}

bool ContentView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_splitter && event->type() == QEvent::Resize && m_splitter->width() != m_fittedWidth) fitSidebar();
    return QWidget::eventFilter(watched, event);
}

void ContentView::fitSidebar()
{
    if (m_splitter->width() <= 0) return;
    m_fittedWidth = m_splitter->width();
    const int available = m_splitter->width() - m_splitter->handleWidth();
    const MasterDetail *frame = m_screen ? m_screen->findChild<MasterDetail *>() : nullptr;
    const int wanted = frame ? frame->widthWanted() : 0;
    const int sidebar = std::clamp(available - wanted, int(Sidebar::minimumWidth), m_sidebarPreferred);
    m_splitter->setSizes({sidebar, std::max(1, available - sidebar)});
}

void ContentView::sidebarDragged()
{
    m_sidebarPreferred = std::clamp(m_sidebar->width(), int(Sidebar::minimumWidth), int(Sidebar::maximumWidth));
    if (m_context.layout) m_context.layout->setValue(sidebarKey, m_sidebarPreferred);
}

bool ContentView::acceptDrop(const QList<QUrl> &urls)
{
    QList<QUrl> files;
    for (const QUrl &url : urls) {
        const bool directory = url.path().endsWith(u'/') || (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir());
        if (!directory) files.append(url);
    }
    if (files.isEmpty()) return false;
    m_context.store->open(files, TrailSource::Kind::file);
    return true;
}

void ContentView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ContentView::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ContentView::dropEvent(QDropEvent *event)
{
    if (acceptDrop(event->mimeData()->urls())) event->acceptProposedAction();
    else event->ignore();
}
