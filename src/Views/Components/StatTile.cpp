#include "Views/Components/StatTile.h"

#include "Views/Components/EqualDigits.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QVBoxLayout>

#include <cmath>

namespace {
constexpr int padding = 14;
constexpr int spacing = 12;
constexpr int iconFrame = 34;
constexpr double iconRadius = 8;
constexpr double iconOpacity = 0.14;
constexpr double valueMinimumScale = 0.6;

// Fits a symbol into the tinted 34-point square.
class IconSquare : public QLabel {
public:
    using QLabel::QLabel;
    QColor tint;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Style::withOpacity(tint, iconOpacity));
        painter.drawRoundedRect(rect(), iconRadius, iconRadius);
        painter.end();
        QLabel::paintEvent(event);
    }
};
} // namespace

FittedText fitText(const QString &text, const QFont &font, int width, double minimumScale)
{
    const double full = EqualDigits::advance(font, text);
    if (full <= width || full <= 0) return {1, text};
    // Glyph widths do not scale exactly with the point size: step down until the text fits.
    double scale = std::max(minimumScale, width / full);
    QFont scaled = font;
    for (;;) {
        scaled.setPointSizeF(font.pointSizeF() * scale);
        if (EqualDigits::advance(scaled, text) <= width) return {scale, text};
        if (scale <= minimumScale) return {scale, EqualDigits::elided(scaled, text, width)};
        scale = std::max(minimumScale, scale * 0.97);
    }
}

ShrinkingLabel::ShrinkingLabel(const QString &text, QWidget *parent) : QWidget(parent), m_text(text)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAccessibleName(text);
}

void ShrinkingLabel::setText(const QString &text)
{
    if (text == m_text) return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

FittedText ShrinkingLabel::fitted() const
{
    return fitText(m_text, font(), width(), valueMinimumScale);
}

QSize ShrinkingLabel::sizeHint() const
{
    return {int(std::ceil(EqualDigits::advance(font(), m_text))), QFontMetrics(font()).height()};
}

QSize ShrinkingLabel::minimumSizeHint() const
{
    return {0, QFontMetrics(font()).height()};
}

void ShrinkingLabel::paintEvent(QPaintEvent *)
{
    const FittedText fit = fitted();
    QFont scaled = font();
    scaled.setPointSizeF(font().pointSizeF() * fit.scale);
    QPainter painter(this);
    painter.setFont(scaled);
    painter.setPen(palette().color(QPalette::WindowText));
    EqualDigits::draw(painter, QRectF(rect()), Qt::AlignLeft | Qt::AlignVCenter, fit.text);
}

StatTile::StatTile(const QString &title, const QString &value, const QString &detail, const QString &symbol,
                   const QColor &tint, std::function<void()> action, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_tint(tint)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(padding, padding, padding, padding);
    row->setSpacing(spacing);

    auto *icon = new IconSquare(this);
    icon->setObjectName("tileSymbol");
    icon->setAlignment(Qt::AlignCenter);
    m_icon = icon;
    row->addWidget(m_icon, 0, Qt::AlignTop);

    auto *column = new QVBoxLayout;
    column->setSpacing(2);
    m_title = new QLabel(title, this);
    m_title->setObjectName("tileTitle");
    Style::setTextStyle(m_title, Style::caption(), Style::secondaryText());
    m_value = new ShrinkingLabel(value, this);
    m_value->setObjectName("tileValue");
    m_value->setFont(Style::semibold(Style::title2()));
    m_detail = new QLabel(this);
    m_detail->setObjectName("tileDetail");
    // Only the value keeps to one line; a detail wider than a narrow tile wraps instead of being cut.
    m_detail->setWordWrap(true);
    Style::setTextStyle(m_detail, Style::caption2(), Style::tertiaryText());
    column->addWidget(m_title);
    column->addWidget(m_value);
    column->addWidget(m_detail);
    // Top-aligned: a tile beside one whose detail wraps is as tall, its texts stay at the top.
    column->addStretch(1);
    row->addLayout(column, 1);

    updateIcon();
    setDetail(detail);
    setAction(std::move(action));
}

void StatTile::setValue(const QString &value)
{
    m_value->setText(value);
    updateAccessibleName();
}

void StatTile::setDetail(const QString &detail)
{
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
    updateAccessibleName();
}

void StatTile::updateAccessibleName()
{
    QStringList parts{title(), value()};
    if (!detail().isEmpty()) parts << detail();
    setAccessibleName(parts.join(QStringLiteral(", ")));
}

void StatTile::setTint(const QColor &tint)
{
    m_tint = tint;
    updateIcon();
}

void StatTile::setAction(std::function<void()> action)
{
    m_action = std::move(action);
    // Without an action the tile lets every click through, as if it were not there.
    setAttribute(Qt::WA_TransparentForMouseEvents, !m_action);
    setCursor(m_action ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

QString StatTile::title() const
{
    return m_title->text();
}
QString StatTile::value() const
{
    return m_value->text();
}
QString StatTile::detail() const
{
    return m_detail->text();
}

void StatTile::updateIcon()
{
    auto *icon = static_cast<IconSquare *>(m_icon);
    icon->tint = m_tint;
    const int glyph = QFontMetrics(Style::title3()).height();
    icon->setPixmap(symbolPixmap(m_symbol, glyph, m_tint, devicePixelRatioF()));
    icon->setFixedSize(iconFrame, iconFrame);
    icon->setProperty("symbol", m_symbol);
    icon->update();
}

void StatTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Style::paintPanel(painter, rect());
}

void StatTile::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void StatTile::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (!click || !m_action) return;
    emit clicked();
    m_action();
}
