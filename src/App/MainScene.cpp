#include "App/MainScene.h"

#include "App/AppDelegate.h"
#include "App/AppMenus.h"
#include "App/AppServices.h"
#include "App/Snapshotter.h"
#include "Platform/IconBadge.h"
#include "Store/NativePath.h"
#include "Views/Components/CaptureControl.h"
#include "Views/Components/Symbols.h"
#include "Views/MainWindow.h"
#include "Views/Monitor/MenuBarIcon.h"
#include "Views/Monitor/MenuBarMonitorView.h"
#include "Views/Monitor/MonitorStatusLine.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QVBoxLayout>
#include <QSystemTrayIcon>

namespace {

QIcon applicationIcon()
{
    return symbolIcon(QStringLiteral("shield.lefthalf.filled.badge.checkmark"), QColor(0x0A, 0x84, 0xFF));
}

const QString geometryKey = QStringLiteral("layout/window");

// Where the window keeps its size, place and pane widths for the next launch: the user defaults,
// except in the snapshot mode, which neither reads nor writes them.
QSettings *layoutSettings(AppServices &services)
{
    return Snapshotter::directory() ? nullptr : services.alerts().defaults();
}

QList<QUrl> fileUrls(const QList<QByteArray> &paths)
{
    QList<QUrl> urls;
    for (const QByteArray &path : paths) urls.append(NativePath::toUrl(path));
    return urls;
}

} // namespace

MainScene::MainScene(AppServices &services, AppDelegate &delegate, QList<QByteArray> arguments, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_delegate(delegate)
    , m_arguments(std::move(arguments))
    , m_layout(layoutSettings(services))
    , m_window(new MainWindow({&services.store(), &services.live(), &services.alerts(), m_layout}))
{
    // The size and place the window had when it was last closed; the opening size otherwise.
    if (m_layout) m_window->restoreGeometry(m_layout->value(geometryKey).toByteArray());
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainScene::saveGeometry);
    QApplication::setWindowIcon(applicationIcon());
    installMenus(*m_window, services);
    connect(m_window, &MainWindow::appeared, this, &MainScene::appeared);
    connect(m_window, &MainWindow::disappeared, this, &MainScene::disappeared);
    connect(&services.alerts(), &AlertCenter::showMenuBarIconChanged, this, &MainScene::updateTray);
    updateTray();
}

MainScene::~MainScene()
{
    delete m_window;
}

void MainScene::openWindow()
{
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void MainScene::appeared()
{
    m_services.openMainWindow = [this] { openWindow(); };
    m_services.setActivationPolicy(AppServices::ActivationPolicy::regular);
    AuditStore &store = m_services.store();
    const LaunchRequest request = parseLaunchArguments(m_arguments);
    if (request.screen && *request.screen != store.screen()) store.setScreen(*request.screen);
    // Both read the records now: the sample's task has only been started when the paths look.
    const bool empty = store.records().empty();
    if (request.sample && empty) store.openSample();
    if (!request.paths.isEmpty() && empty) store.open(fileUrls(request.paths), TrailSource::Kind::file);
    if (Snapshotter::directory()) Snapshotter::run(m_services);
    AuditStore *storePointer = &store;
    m_delegate.openHandler = [storePointer](const QList<QUrl> &urls) {
        storePointer->open(urls, TrailSource::Kind::file);
    };
    if (!m_delegate.pendingURLs.isEmpty()) {
        const QList<QUrl> pending = std::exchange(m_delegate.pendingURLs, {});
        store.open(pending, TrailSource::Kind::file);
    }
}

void MainScene::saveGeometry()
{
    if (m_layout && m_window->isVisible()) m_layout->setValue(geometryKey, m_window->saveGeometry());
}

void MainScene::disappeared()
{
    // Closed: isVisible() is already false, so the geometry is written here.
    if (m_layout) m_layout->setValue(geometryKey, m_window->saveGeometry());
    AlertCenter &alerts = m_services.alerts();
    if (alerts.keepRunningInBackground() && m_services.menuBarIconShown())
        m_services.setActivationPolicy(AppServices::ActivationPolicy::accessory);
}

// The tray's way back to the window, as a click on the dock icon is elsewhere: the delegate
// brings the window back when none is visible; a visible one only comes to the front.
void MainScene::reopen()
{
    const bool visible = m_window->isVisible() && !m_window->isMinimized();
    m_delegate.handleReopen(visible);
    if (visible) {
        m_window->raise();
        m_window->activateWindow();
    }
}

void MainScene::handleForwarded(const LaunchRequest &request)
{
    if (!request.paths.isEmpty()) m_delegate.openURLs(fileUrls(request.paths));
    m_services.showMainWindow(request.screen);
}

void MainScene::updateTray()
{
    const bool shown = m_services.menuBarIconShown();
    if (!shown) {
        delete m_tray;
        m_tray = nullptr;
        return;
    }
    if (m_tray) return;
    m_tray = new QSystemTrayIcon(this);
    m_tray->setToolTip(QString::fromLatin1(menuBarIconAccessibilityLabel));
    // Some desktops never report a click on the icon; the menu offers what the panel does.
    auto *menu = new QMenu;
    connect(m_tray, &QObject::destroyed, menu, &QObject::deleteLater);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { fillTrayMenu(*menu); });
    fillTrayMenu(*menu);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) showTrayPanel();
        else if (reason == QSystemTrayIcon::DoubleClick) reopen();
    });
    connect(&m_services.live(), &LiveMonitor::stateChanged, m_tray, [this] { updateTrayIcon(); });
    connect(&m_services.alerts(), &AlertCenter::alertsChanged, m_tray, [this] { updateTrayIcon(); });
    if (auto *badge = dynamic_cast<IconBadge *>(m_services.badge()))
        connect(badge, &IconBadge::labelChanged, m_tray, [this] { updateTrayIcon(); });
    updateTrayIcon();
    m_tray->show();
}

void MainScene::updateTrayIcon()
{
    if (!m_tray) return;
    const QIcon icon = menuBarIcon(m_services.live().state(), m_services.alerts().unacknowledgedCount());
    auto *badge = dynamic_cast<IconBadge *>(m_services.badge());
    m_tray->setIcon(badge ? IconBadge::drawn(icon, badge->label()) : icon);
}

MenuBarMonitorView::Actions MainScene::panelActions()
{
    MenuBarMonitorView::Actions actions;
    actions.openApplication = [this] { reopen(); };
    actions.showMainWindow = [this](Screen screen) { m_services.showMainWindow(screen); };
    actions.quit = [] { QCoreApplication::quit(); };
    return actions;
}

void MainScene::showTrayPanel()
{
    delete m_panel;
    m_panel = new QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    m_panel->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new MenuBarMonitorView(&m_services.live(), &m_services.alerts(), panelActions(), m_panel);
    connect(view, &MenuBarMonitorView::finished, m_panel, &QWidget::close);
    layout->addWidget(view);
    m_panel->adjustSize();
    // Beside the icon when the desktop says where it is, else at the pointer; kept on screen.
    const QRect icon = m_tray ? m_tray->geometry() : QRect();
    const QPoint anchor = icon.isValid() ? icon.bottomLeft() : QCursor::pos();
    QRect frame(anchor, m_panel->size());
    if (const QScreen *screen = QGuiApplication::screenAt(anchor)) {
        const QRect available = screen->availableGeometry();
        if (frame.bottom() > available.bottom()) frame.moveBottom((icon.isValid() ? icon.top() : anchor.y()) - 1);
        if (frame.right() > available.right()) frame.moveRight(available.right());
        frame.moveTop(std::max(frame.top(), available.top()));
        frame.moveLeft(std::max(frame.left(), available.left()));
    }
    m_panel->move(frame.topLeft());
    m_panel->show();
}

void MainScene::fillTrayMenu(QMenu &menu)
{
    menu.clear();
    LiveMonitor &live = m_services.live();
    AlertCenter &alerts = m_services.alerts();
    QAction *status = menu.addAction(monitorStatusText(live.state(), live.startedAt(), live.totalReceived()));
    status->setEnabled(false);
    const bool starting = CaptureControl::isStarting(live.state());
    if (CaptureControl::isRunning(live.state()) || starting) {
        QAction *stop = menu.addAction(QStringLiteral("Stop Monitoring"), this, [&live] { CaptureControl::stop(live); });
        stop->setEnabled(!starting);
    } else {
        menu.addAction(QStringLiteral("Start Monitoring"), &live, &LiveMonitor::start);
    }
    if (alerts.unacknowledgedCount() > 0)
        menu.addAction(QStringLiteral("Acknowledge All"), &alerts, &AlertCenter::acknowledgeAll);
    const std::vector<MonitorAlert> &history = alerts.alerts();
    if (!history.empty()) menu.addSeparator();
    for (size_t i = 0; i < std::min<size_t>(history.size(), MenuBarMonitorView::recentCount); ++i) {
        QString rule = QString::fromStdString(history[i].rule);
        menu.addAction(rule.replace(u'&', QStringLiteral("&&")), this, [this, id = history[i].id] {
            m_services.alerts().setSelectedAlertID(id);
            m_services.showMainWindow(Screen::monitor);
        });
    }
    menu.addSeparator();
    const MenuBarMonitorView::Actions actions = panelActions();
    menu.addAction(QStringLiteral("Open Quillmarsh"), this, actions.openApplication);
    menu.addAction(QStringLiteral("Settings…"), this, [show = actions.showMainWindow] { show(Screen::monitor); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Quit"), this, actions.quit);
}
