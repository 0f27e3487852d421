#include "Views/Monitor/MonitorStatusLine.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

constexpr int dotSize = 7;

} // namespace

QString monitorStatusText(const LiveMonitor::State &state, std::optional<double> startedAt, int64_t totalReceived)
{
    if (std::holds_alternative<LiveMonitor::Starting>(state))
        return QStringLiteral("Waiting for administrator authorisation…");
    if (const auto *failed = std::get_if<LiveMonitor::Failed>(&state)) return failed->message;
    if (!std::holds_alternative<LiveMonitor::Running>(state)) return QStringLiteral("Not monitoring");
    QString text = QStringLiteral("Monitoring");
    if (startedAt)
        text += QStringLiteral(" since ")
                + Format::dateTime(*startedAt, Format::DateStyle::none, Format::TimeStyle::shortened);
    return text + QStringLiteral(" · ") + Format::count(totalReceived) + QStringLiteral(" records");
}

QColor monitorStatusColor(const LiveMonitor::State &state)
{
    if (std::holds_alternative<LiveMonitor::Starting>(state)) return Style::yellow();
    if (std::holds_alternative<LiveMonitor::Running>(state)) return Style::green();
    if (std::holds_alternative<LiveMonitor::Failed>(state)) return Style::red();
    return Style::gray();
}

MonitorStatusLine::MonitorStatusLine(LiveMonitor *live, QWidget *parent)
    : QWidget(parent), m_live(live), m_dot(new QLabel(this)), m_text(new QLabel(this))
{
    setObjectName(QStringLiteral("monitorStatusLine"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    m_dot->setFixedSize(dotSize, dotSize);
    row->addWidget(m_dot, 0, Qt::AlignVCenter);
    Style::setTextStyle(m_text, Style::caption(), Style::secondaryText());
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMaximumHeight(2 * QFontMetrics(Style::caption()).lineSpacing() + 2);
    row->addWidget(m_text, 1, Qt::AlignVCenter);
    for (auto signal : {&LiveMonitor::stateChanged, &LiveMonitor::startedAtChanged, &LiveMonitor::totalReceivedChanged})
        connect(m_live, signal, this, &MonitorStatusLine::update);
    update();
}

QString MonitorStatusLine::text() const
{
    return m_text->text();
}

void MonitorStatusLine::update()
{
    m_text->setText(monitorStatusText(m_live->state(), m_live->startedAt(), m_live->totalReceived()));
    m_color = monitorStatusColor(m_live->state());
    m_dot->setPixmap(dotPixmap(m_color, dotSize));
}
