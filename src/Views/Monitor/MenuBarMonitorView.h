#pragma once

#include "Engine/Analysis/Finding.h"
#include "Store/Screen.h"

#include <QWidget>

#include <functional>
#include <vector>

class AlertCenter;
class LiveMonitor;
class MonitorStatusLine;
class QLabel;
class QPushButton;
class QVBoxLayout;

// "Alerts: Critical" for a critical minimum, "Alerts: High+" for every other one.
QString menuBarSeverityText(Severity minimum);

// The tray's panel: whether monitoring runs, start and stop, the six newest alerts, acknowledge
// all, and the ways to the main window and out of the application.
class MenuBarMonitorView : public QWidget {
    Q_OBJECT

public:
    static constexpr int recentCount = 6;
    static constexpr int panelWidth = 360;

    // What the panel asks of the application shell.
    struct Actions {
        std::function<void()> openApplication;      // "Open Quillmarsh": the window, its screen as it was
        std::function<void(Screen)> showMainWindow; // "Settings…" and alert rows
        std::function<void()> quit;
    };

    MenuBarMonitorView(LiveMonitor *live, AlertCenter *alerts, Actions actions, QWidget *parent = nullptr);

    MonitorStatusLine *statusLine() const { return m_statusLine; }
    QPushButton *captureButton() const { return m_capture; }
    QLabel *severityLabel() const { return m_severity; }
    QWidget *noAlertsLabel() const { return m_noAlerts; }
    QPushButton *acknowledgeAllButton() const { return m_acknowledgeAll; }
    const std::vector<QPushButton *> &alertButtons() const { return m_alertButtons; }
    QPushButton *openButton() const { return m_open; }
    QPushButton *settingsButton() const { return m_settings; }
    QPushButton *quitButton() const { return m_quit; }

signals:
    // An action that leaves the panel ran: a popup host closes.
    void finished();

private:
    void updateControls();
    void rebuildAlerts();

    LiveMonitor *m_live;
    AlertCenter *m_alerts;
    Actions m_actions;
    MonitorStatusLine *m_statusLine;
    QPushButton *m_capture;
    QLabel *m_severity;
    QWidget *m_noAlerts;
    QWidget *m_alertsHeader;
    QPushButton *m_acknowledgeAll;
    QVBoxLayout *m_alertList;
    std::vector<QPushButton *> m_alertButtons;
    QPushButton *m_open;
    QPushButton *m_settings;
    QPushButton *m_quit;
};
