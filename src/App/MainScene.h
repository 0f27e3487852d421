#pragma once

#include "App/LaunchArguments.h"
#include "Views/Monitor/MenuBarMonitorView.h"

#include <QObject>
#include <QPointer>
#include <QByteArray>
#include <QList>

class AppDelegate;
class AppServices;
class MainWindow;
class QMenu;
class QSettings;
class QSystemTrayIcon;

// The application's scenes: the main window with its menus, and the tray icon while the
// menu-bar setting is on. Handles each appearance of the window (command line, snapshot mode,
// handed-over files) and its close.
class MainScene : public QObject {
    Q_OBJECT

public:
    // arguments: the raw command line after the program path, bytes as given.
    MainScene(AppServices &services, AppDelegate &delegate, QList<QByteArray> arguments, QObject *parent = nullptr);
    ~MainScene() override;

    MainWindow *window() const { return m_window; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    // The tray's panel while it is open.
    QWidget *trayPanel() const { return m_panel; }
    void showTrayPanel();
    // The tray's menu for desktops that never report a click on the icon: the panel's actions.
    void fillTrayMenu(QMenu &menu);

    // What a later launch handed over: its files open as handed-over files, and the window comes
    // forward on its screen.
    void handleForwarded(const LaunchRequest &request);

private:
    void appeared();
    void disappeared();
    void updateTray();
    void updateTrayIcon();
    MenuBarMonitorView::Actions panelActions();
    void openWindow();
    void reopen();
    // Keeps the window's size and place for the next launch (not in the snapshot mode).
    void saveGeometry();

    AppServices &m_services;
    AppDelegate &m_delegate;
    QList<QByteArray> m_arguments;
    QSettings *m_layout;
    MainWindow *m_window;
    QSystemTrayIcon *m_tray = nullptr;
    QPointer<QWidget> m_panel;
};
