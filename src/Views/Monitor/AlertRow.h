#pragma once

#include "Services/MonitorAlert.h"

#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;

// The symbol and colour an alert is shown with: "bolt.horizontal.circle" for a monitor alert,
// otherwise its severity's.
struct AlertIcon {
    QString symbol;
    QColor color;
};
AlertIcon alertIcon(const MonitorAlert &alert);

// "Dec 8, 6:09 AM", compact "6:09 AM".
QString alertRowTime(double raisedAt, bool compact);

// One alert in a list: icon, rule (semibold while new) and time, the summary below, and a dot
// while the alert is unacknowledged.
class AlertRow : public QWidget {
    Q_OBJECT

public:
    AlertRow(const MonitorAlert &alert, bool compact, QWidget *parent = nullptr);

    QLabel *ruleLabel() const { return m_rule; }
    bool hasDot() const { return m_dot != nullptr; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elideSummary();

    QString m_summaryText;
    int m_summaryLines;
    QLabel *m_rule;
    QLabel *m_summary;
    QLabel *m_dot = nullptr;
};
