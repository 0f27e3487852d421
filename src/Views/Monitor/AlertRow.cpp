#include "Views/Monitor/AlertRow.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Shapes.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace {

constexpr int iconWidth = 16;
constexpr int dotSize = 6;

QString timePattern(bool compact)
{
    const bool twelveHour = Format::usesTwelveHourClock();
    const QString time = twelveHour ? QStringLiteral("h:mm AP") : QStringLiteral("HH:mm");
    return compact ? time : QStringLiteral("MMM d, ") + time;
}

} // namespace

AlertIcon alertIcon(const MonitorAlert &alert)
{
    if (alert.kind == MonitorAlert::Kind::monitor)
        return {QStringLiteral("bolt.horizontal.circle"), Style::secondaryText()};
    const Style::SeverityStyle style = Style::severity(alert.severity());
    return {style.symbol, style.color};
}

QString alertRowTime(double raisedAt, bool compact)
{
    return Format::pattern(raisedAt, timePattern(compact));
}

AlertRow::AlertRow(const MonitorAlert &alert, bool compact, QWidget *parent)
    : QWidget(parent), m_summaryText(QString::fromStdString(alert.summary)), m_summaryLines(compact ? 1 : 2)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    const AlertIcon icon = alertIcon(alert);
    auto *iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("alertIcon"));
    setSymbol(iconLabel, icon.symbol, iconWidth, icon.color);
    iconLabel->setFixedWidth(iconWidth);
    row->addWidget(iconLabel, 0, Qt::AlignTop);

    auto *column = new QVBoxLayout;
    column->setSpacing(1);
    auto *top = new QHBoxLayout;
    m_rule = new QLabel(QString::fromStdString(alert.rule), this);
    m_rule->setTextFormat(Qt::PlainText);
    Style::setTextStyle(m_rule, alert.acknowledged ? Style::callout() : Style::semibold(Style::callout()));
    top->addWidget(m_rule, 1);
    auto *time = new QLabel(alertRowTime(alert.raisedAt, compact), this);
    Style::setTextStyle(time, Style::caption2(), Style::tertiaryText());
    top->addWidget(time);
    column->addLayout(top);
    m_summary = new QLabel(this);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setToolTip(m_summaryText);
    Style::setTextStyle(m_summary, Style::monospaced(Style::caption()), Style::secondaryText());
    m_summary->setMinimumWidth(40);
    m_summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(m_summary);
    row->addLayout(column, 1);

    if (!alert.acknowledged) {
        m_dot = new QLabel(this);
        m_dot->setObjectName(QStringLiteral("unacknowledgedDot"));
        constexpr int dotTop = 5; // below the row's top
        const QPixmap pixmap = dotPixmap(Style::accent(), dotSize, dotTop);
        m_dot->setPixmap(pixmap);
        m_dot->setFixedSize(dotSize, dotTop + dotSize);
        row->addWidget(m_dot, 0, Qt::AlignTop);
    }
    elideSummary();
}

void AlertRow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elideSummary();
}

void AlertRow::elideSummary()
{
    const QFontMetrics metrics(m_summary->font());
    const int width = std::max(40, m_summary->width());
    if (m_summaryLines == 1) {
        m_summary->setText(metrics.elidedText(m_summaryText, Qt::ElideMiddle, width));
        return;
    }
    // Two lines: the whole text when it fits, else its start and end around an ellipsis.
    m_summary->setWordWrap(true);
    m_summary->setText(metrics.elidedText(m_summaryText, Qt::ElideMiddle, width * 2 - metrics.averageCharWidth() * 4));
}
