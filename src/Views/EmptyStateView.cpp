#include "Views/EmptyStateView.h"

#include "Store/AuditStore.h"
#include "Views/Actions.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int tileRadius = 14;
constexpr int tileSymbolSize = 26;
constexpr int heroSymbolSize = 64;

QRectF tileShape(const QRect &rect)
{
    return QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
}

} // namespace

ActionTile::ActionTile(const QString &title, const QString &subtitle, const QString &symbol, QWidget *parent)
    : QAbstractButton(parent), m_subtitle(subtitle), m_symbol(symbol)
{
    setText(title);
    setAccessibleDescription(subtitle); // painted under the title
    setProperty("symbol", symbol);
    setFixedSize(width, height);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void ActionTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accent = Style::accent();
    const QColor text = Style::primaryText();
    QPainterPath shape;
    shape.addRoundedRect(tileShape(rect()), tileRadius, tileRadius);
    painter.fillPath(shape, m_hovering ? Style::withOpacity(accent, 0.12) : Style::withOpacity(text, 0.04));
    painter.setPen(QPen(Style::separator(), 1));
    painter.drawPath(shape);

    // Symbol, title and subtitle stacked 10 apart and centred as one block.
    const QFont headline = Style::headline();
    const QFont caption = Style::caption();
    const int titleHeight = QFontMetrics(headline).height();
    const int captionHeight = QFontMetrics(caption).height();
    const int block = tileSymbolSize + 10 + titleHeight + 10 + captionHeight;
    int y = (height - block) / 2;
    symbolIcon(m_symbol, accent).paint(&painter, QRect((width - tileSymbolSize) / 2, y, tileSymbolSize, tileSymbolSize));
    y += tileSymbolSize + 10;
    painter.setFont(headline);
    painter.setPen(text);
    painter.drawText(QRect(4, y, width - 8, titleHeight), Qt::AlignCenter,
                     QFontMetrics(headline).elidedText(this->text(), Qt::ElideRight, width - 8));
    y += titleHeight + 10;
    painter.setFont(caption);
    painter.setPen(Style::secondaryText());
    painter.drawText(QRect(4, y, width - 8, captionHeight), Qt::AlignCenter,
                     QFontMetrics(caption).elidedText(m_subtitle, Qt::ElideRight, width - 8));
}

void ActionTile::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ActionTile::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

bool ActionTile::hitButton(const QPoint &pos) const
{
    QPainterPath shape;
    shape.addRoundedRect(tileShape(rect()), tileRadius, tileRadius);
    return shape.contains(pos);
}

EmptyStateView::EmptyStateView(AuditStore &store, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("emptyState"));
    const QColor accent = Style::accent();

    auto *hero = new QLabel(this);
    setSymbol(hero, QStringLiteral("shield.lefthalf.filled.badge.checkmark"), heroSymbolSize, accent);
    hero->setAlignment(Qt::AlignCenter);

    auto *heading = new QLabel(QString::fromUtf8(title), this);
    heading->setFont(Style::semibold(Style::title()));
    heading->setAlignment(Qt::AlignCenter);
    auto *body = new QLabel(QString::fromUtf8(message), this);
    body->setAlignment(Qt::AlignCenter);
    Style::setTextStyle(body, Style::body(), Style::secondaryText());
    auto *texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(heading);
    texts->addWidget(body);

    auto *tiles = new QHBoxLayout;
    tiles->setSpacing(14);
    tiles->addStretch();
    const auto tile = [&](const char *title, const char *subtitle, const char *symbol, Actions::Command command) {
        auto *button = new ActionTile(QString::fromUtf8(title), QString::fromUtf8(subtitle), QString::fromUtf8(symbol),
                                      this);
        tiles->addWidget(button);
        connect(button, &QAbstractButton::clicked, this,
                [this, &store, command] { Actions::run(command, store, this); });
    };
    tile("Open Trail File", "Any BSM file you have access to", "doc.badge.plus", Actions::Command::openTrail);
    tile("System Trails", "Copy /var/audit (admin)", "lock.shield", Actions::Command::loadSystemTrails);
    tile("Sample Incident", "Synthetic intrusion trail", "testtube.2", Actions::Command::openSample);
    tiles->addStretch();

    auto *tipLabel = new QLabel(QString::fromUtf8(tip), this);
    Style::setTextStyle(tipLabel, Style::caption(), Style::tertiaryText());
    tipLabel->setAlignment(Qt::AlignCenter);

    auto *linkButton = new QPushButton(QString::fromUtf8(link), this);
    linkButton->setObjectName(QStringLiteral("auditingLink"));
    linkButton->setFlat(true);
    linkButton->setCursor(Qt::PointingHandCursor);
    linkButton->setStyleSheet(QStringLiteral("QPushButton { border: none; color: %1; padding: 2px 4px; }"
                                             "QPushButton:hover { text-decoration: underline; }")
                                  .arg(accent.name()));
    connect(linkButton, &QPushButton::clicked, &store, [&store] {
        if (store.screen() != Screen::setup) store.setScreen(Screen::setup);
    });

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(40, 40, 40, 40);
    stack->setSpacing(28);
    stack->addStretch();
    stack->addWidget(hero, 0, Qt::AlignHCenter);
    stack->addLayout(texts);
    stack->addLayout(tiles);
    stack->addWidget(tipLabel);
    stack->addWidget(linkButton, 0, Qt::AlignHCenter);
    stack->addStretch();
}
