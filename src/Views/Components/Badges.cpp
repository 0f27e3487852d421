#include "Views/Components/ResultBadge.h"
#include "Views/Components/SeverityBadge.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QPainter>

namespace {
constexpr int badgeSpacing = 4;
constexpr int paddingWide = 7;
constexpr int paddingCompact = 4;
constexpr int paddingVertical = 2;
constexpr double fillOpacity = 0.14;

QFont badgeFont()
{
    return Style::semibold(Style::caption());
}
int glyphSize()
{
    return QFontMetrics(badgeFont()).height();
}
} // namespace

namespace SeverityBadgePainter {

QSize sizeHint(Severity severity, bool compact)
{
    const QFontMetrics metrics(badgeFont());
    int width = (compact ? paddingCompact : paddingWide) * 2 + glyphSize();
    if (!compact) width += badgeSpacing + metrics.horizontalAdvance(Style::severity(severity).title);
    return {width, metrics.height() + 2 * paddingVertical};
}

void paint(QPainter &painter, const QRect &rect, Severity severity, bool compact, const QColor &backdrop)
{
    const Style::SeverityStyle style = Style::severity(severity);
    const QSize size = sizeHint(severity, compact);
    const QRect badge(rect.left(), rect.top() + (rect.height() - size.height()) / 2,
                      std::min(size.width(), rect.width()), size.height());
    if (backdrop.isValid()) Style::paintCapsule(painter, badge, backdrop);
    Style::paintCapsule(painter, badge, Style::withOpacity(style.color, fillOpacity));
    const int padding = compact ? paddingCompact : paddingWide;
    const int glyph = glyphSize();
    const QRect icon(badge.left() + padding, badge.top() + (badge.height() - glyph) / 2, glyph, glyph);
    symbolIcon(style.symbol, style.color).paint(&painter, icon);
    if (compact) return;
    painter.save();
    painter.setFont(badgeFont());
    // The title in the severity's hue, as dark (or light) as it must be to read on its capsule.
    painter.setPen(Style::ink(style.color, fillOpacity));
    const QRect text(icon.right() + 1 + badgeSpacing, badge.top(), badge.right() - icon.right() - badgeSpacing,
                     badge.height());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, style.title);
    painter.restore();
}

} // namespace SeverityBadgePainter

SeverityBadge::SeverityBadge(Severity severity, bool compact, QWidget *parent)
    : QWidget(parent), m_severity(severity), m_compact(compact)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setProperty("symbol", Style::severity(severity).symbol);
    setAccessibleName(Style::severity(severity).title);
}

void SeverityBadge::setSeverity(Severity severity)
{
    if (severity == m_severity) return;
    m_severity = severity;
    setProperty("symbol", Style::severity(severity).symbol);
    setAccessibleName(Style::severity(severity).title);
    updateGeometry();
    update();
}

QString SeverityBadge::text() const
{
    return m_compact ? QString() : Style::severity(m_severity).title;
}

QSize SeverityBadge::sizeHint() const
{
    return SeverityBadgePainter::sizeHint(m_severity, m_compact);
}

void SeverityBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    SeverityBadgePainter::paint(painter, rect(), m_severity, m_compact);
}

namespace ResultBadgePainter {

QString symbol(bool success)
{
    return success ? "checkmark.circle.fill" : "xmark.octagon.fill";
}
QString toolTip(bool success)
{
    return success ? "Success" : "Failure";
}
QColor color(bool success)
{
    return success ? Style::green() : Style::red();
}
int iconSize()
{
    return QFontMetrics(Style::body()).height();
}

void paint(QPainter &painter, const QRect &rect, bool success, Qt::Alignment alignment)
{
    symbolIcon(symbol(success), color(success)).paint(&painter, rect, alignment);
}

} // namespace ResultBadgePainter

ResultBadge::ResultBadge(bool success, QWidget *parent) : QLabel(parent), m_success(!success)
{
    setAlignment(Qt::AlignCenter);
    setSuccess(success);
}

void ResultBadge::setSuccess(bool success)
{
    if (success == m_success) return;
    m_success = success;
    setSymbol(this, ResultBadgePainter::symbol(success), ResultBadgePainter::iconSize(),
              ResultBadgePainter::color(success));
    setToolTip(ResultBadgePainter::toolTip(success));
    setAccessibleName(ResultBadgePainter::toolTip(success));
}
