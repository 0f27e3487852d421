#include "App/MainScene.h"

#include "App/AppDelegate.h"
#include "App/AppMenus.h"
#include "App/AppServices.h"
#include "App/Snapshotter.h"
#include "Platform/IconBadge.h"
#include "Views/MainWindow.h"
#include "Views/Components/Symbols.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

QIcon applicationIcon()
{
    return symbolIcon(QStringLiteral("shield.lefthalf.filled.badge.checkmark"), QColor(0x0A, 0x84, 0xFF));
}

QList<QUrl> fileUrls(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths) urls.append(QUrl::fromLocalFile(path));
    return urls;
}

} // namespace

MainScene::MainScene(AppServices &services, AppDelegate &delegate, QStringList arguments, QObject *parent)
    : QObject(parent), m_services(services), m_delegate(delegate), m_arguments(std::move(arguments)),
      m_window(new MainWindow({&services.store(), &services.live(), &services.alerts()}))
{
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

void MainScene::disappeared()
{
    AlertCenter &alerts = m_services.alerts();
    if (alerts.keepRunningInBackground() && m_services.menuBarIconShown())
        m_services.setActivationPolicy(AppServices::ActivationPolicy::accessory);
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
    m_tray = new QSystemTrayIcon(applicationIcon(), this);
    m_tray->setToolTip(QStringLiteral("Quillmarsh"));
    auto *menu = new QMenu;
    connect(m_tray, &QObject::destroyed, menu, &QObject::deleteLater);
    menu->addAction(QStringLiteral("Open Quillmarsh"), this, [this] { m_delegate.handleReopen(m_window->isVisible()); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Quit Quillmarsh"), qApp, &QCoreApplication::quit);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            m_services.showMainWindow(std::nullopt);
    });
    if (auto *badge = dynamic_cast<IconBadge *>(m_services.badge())) {
        const auto draw = [this](const QString &label) { m_tray->setIcon(IconBadge::drawn(applicationIcon(), label)); };
        connect(badge, &IconBadge::labelChanged, m_tray, draw);
        draw(badge->label());
    }
    m_tray->show();
}
