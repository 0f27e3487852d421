#include "Views/Monitor/MenuBarMonitorView.h"

#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"
#include "Views/Components/CaptureControl.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Monitor/AlertRow.h"
#include "Views/Monitor/MonitorCards.h"
#include "Views/Monitor/MonitorStatusLine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int padding = 14;
constexpr int sectionSpacing = 12;

QPushButton *borderless(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 2px 4px; }"));
    return button;
}

} // namespace

QString menuBarSeverityText(Severity minimum)
{
    return QStringLiteral("Alerts: ")
           + (minimum == Severity::critical ? QStringLiteral("Critical") : QStringLiteral("High+"));
}

MenuBarMonitorView::MenuBarMonitorView(LiveMonitor *live, AlertCenter *alerts, Actions actions, QWidget *parent)
    : QWidget(parent), m_live(live), m_alerts(alerts), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("menuBarMonitor"));
    setFixedWidth(panelWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(sectionSpacing);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    auto *shield = new QLabel(this);
    setSymbol(shield, QStringLiteral("shield.lefthalf.filled"), QFontMetrics(Style::title2()).height(), Style::accent());
    header->addWidget(shield);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(1);
    auto *title = new QLabel(QStringLiteral("Quillmarsh Monitor"), this);
    Style::setTextStyle(title, Style::headline());
    titles->addWidget(title);
    m_statusLine = new MonitorStatusLine(m_live, this);
    titles->addWidget(m_statusLine);
    header->addLayout(titles, 1);
    column->addLayout(header);

    auto *controls = new QHBoxLayout;
    m_capture = new QPushButton(this);
    m_capture->setObjectName(QStringLiteral("monitorCaptureButton"));
    connect(m_capture, &QPushButton::clicked, this, [this] { CaptureControl::toggle(*m_live); });
    controls->addWidget(m_capture);
    controls->addStretch(1);
    m_severity = new QLabel(this);
    Style::setTextStyle(m_severity, Style::caption(), Style::secondaryText());
    controls->addWidget(m_severity);
    column->addLayout(controls);
    column->addWidget(horizontalDivider(this));

    m_noAlerts = new QWidget(this);
    m_noAlerts->setObjectName(QStringLiteral("noAlerts"));
    auto *none = new QHBoxLayout(m_noAlerts);
    none->setContentsMargins(0, 8, 0, 8);
    none->addStretch(1);
    auto *noneIcon = new QLabel(m_noAlerts);
    setSymbol(noneIcon, QStringLiteral("checkmark.shield"), QFontMetrics(Style::body()).height(),
              Style::secondaryText());
    none->addWidget(noneIcon);
    auto *noneText = new QLabel(QStringLiteral("No alerts"), m_noAlerts);
    Style::setTextStyle(noneText, Style::body(), Style::secondaryText());
    none->addWidget(noneText);
    none->addStretch(1);
    column->addWidget(m_noAlerts);

    m_alertsHeader = new QWidget(this);
    auto *recent = new QHBoxLayout(m_alertsHeader);
    recent->setContentsMargins(0, 0, 0, 0);
    auto *recentTitle = new QLabel(QStringLiteral("Recent alerts"), m_alertsHeader);
    Style::setTextStyle(recentTitle, Style::semibold(Style::subheadline()));
    recent->addWidget(recentTitle);
    recent->addStretch(1);
    m_acknowledgeAll = makeLinkButton(QStringLiteral("Acknowledge All"), m_alertsHeader);
    m_acknowledgeAll->setFont(Style::caption());
    connect(m_acknowledgeAll, &QPushButton::clicked, m_alerts, &AlertCenter::acknowledgeAll);
    recent->addWidget(m_acknowledgeAll);
    column->addWidget(m_alertsHeader);
    m_alertList = new QVBoxLayout;
    m_alertList->setSpacing(2);
    column->addLayout(m_alertList);
    column->addWidget(horizontalDivider(this));

    auto *bottom = new QHBoxLayout;
    m_open = borderless(QStringLiteral("Open Quillmarsh"), this);
    connect(m_open, &QPushButton::clicked, this, [this] {
        if (m_actions.openApplication) m_actions.openApplication();
        emit finished();
    });
    bottom->addWidget(m_open);
    m_settings = borderless(QStringLiteral("Settings…"), this);
    connect(m_settings, &QPushButton::clicked, this, [this] {
        if (m_actions.showMainWindow) m_actions.showMainWindow(Screen::monitor);
        emit finished();
    });
    bottom->addWidget(m_settings);
    bottom->addStretch(1);
    m_quit = borderless(QStringLiteral("Quit"), this);
    connect(m_quit, &QPushButton::clicked, this, [this] {
        emit finished();
        if (m_actions.quit) m_actions.quit();
    });
    bottom->addWidget(m_quit);
    column->addLayout(bottom);

    connect(m_live, &LiveMonitor::stateChanged, this, &MenuBarMonitorView::updateControls);
    connect(m_alerts, &AlertCenter::minimumSeverityChanged, this, &MenuBarMonitorView::updateControls);
    connect(m_alerts, &AlertCenter::alertsChanged, this, &MenuBarMonitorView::rebuildAlerts);
    updateControls();
    rebuildAlerts();
}

void MenuBarMonitorView::updateControls()
{
    CaptureControl::showState(m_capture, m_live->state(), QStringLiteral("Stop Monitoring"), {5, 4, 10});
    m_severity->setText(menuBarSeverityText(m_alerts->minimumSeverity()));
}

void MenuBarMonitorView::rebuildAlerts()
{
    for (QPushButton *button : m_alertButtons) {
        m_alertList->removeWidget(button);
        button->deleteLater();
    }
    m_alertButtons.clear();
    const std::vector<MonitorAlert> &history = m_alerts->alerts();
    m_noAlerts->setVisible(history.empty());
    m_alertsHeader->setVisible(!history.empty());
    m_acknowledgeAll->setVisible(m_alerts->unacknowledgedCount() > 0);
    const size_t shown = std::min<size_t>(history.size(), recentCount);
    for (size_t i = 0; i < shown; ++i) {
        const MonitorAlert &alert = history[i];
        auto *button = new QPushButton(this);
        button->setObjectName(QStringLiteral("recentAlert"));
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral("QPushButton { border: none; text-align: left; }"
                                             "QPushButton:hover { background: %1; border-radius: 5px; }")
                                  .arg(Style::withOpacity(Style::accent(), 0.12).name(QColor::HexArgb)));
        auto *layout = new QHBoxLayout(button);
        layout->setContentsMargins(6, 4, 6, 4);
        auto *row = new AlertRow(alert, true, button);
        row->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(row);
        button->setMinimumHeight(row->sizeHint().height() + 8);
        connect(button, &QPushButton::clicked, this, [this, id = alert.id] {
            m_alerts->setSelectedAlertID(id);
            if (m_actions.showMainWindow) m_actions.showMainWindow(Screen::monitor);
            emit finished();
        });
        m_alertList->addWidget(button);
        m_alertButtons.push_back(button);
    }
}
