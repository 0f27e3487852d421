#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

class AppServices;

// The application's side of the desktop: files handed over (a second launch, the file manager),
// the quit rule for the last window, reopening, and clicks on alert notifications.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppServices &services, QObject *parent = nullptr);

    // Installed by each appearance of the main window; files wait in pendingURLs until then.
    std::function<void(const QList<QUrl> &)> openHandler;
    QList<QUrl> pendingURLs;

    // Launch finished: regular policy, the quit rule applied, then the services' launch steps.
    void applicationDidFinishLaunching(int argumentCount);
    void openURLs(const QList<QUrl> &urls);
    bool shouldTerminateAfterLastWindowClosed() const;
    // The tray's "Open Quillmarsh" (and a double-click on the icon): shows the main window when
    // none is visible, on the screen it last showed.
    bool handleReopen(bool hasVisibleWindows);
    // A click on a notification: selects its alert (an id that is no UUID clears the selection)
    // and shows the Background Monitor.
    void notificationClicked(const QString &alertID);

private:
    void applyQuitRule();

    AppServices &m_services;
};
