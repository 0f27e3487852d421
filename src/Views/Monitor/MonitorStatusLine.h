#pragma once

#include "Services/LiveMonitor.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>

class QLabel;

// "Not monitoring", "Waiting for administrator authorisation…", "Monitoring since 9:41 AM ·
// 1,204 records" (without " since …" while startedAt is unset) or the failure message.
QString monitorStatusText(const LiveMonitor::State &state, std::optional<double> startedAt, int64_t totalReceived);
// Idle gray, starting yellow, running green, failed red.
QColor monitorStatusColor(const LiveMonitor::State &state);

// A dot in the state's colour and the capture's status in one or two lines.
class MonitorStatusLine : public QWidget {
    Q_OBJECT

public:
    explicit MonitorStatusLine(LiveMonitor *live, QWidget *parent = nullptr);

    QString text() const;
    QColor dotColor() const { return m_color; }

private:
    void update();

    LiveMonitor *m_live;
    QLabel *m_dot;
    QLabel *m_text;
    QColor m_color;
};
