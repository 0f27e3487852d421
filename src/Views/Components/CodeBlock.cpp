#include "Views/Components/CodeBlock.h"

#include "Views/Components/Clipboard.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int textMargin = 12;
constexpr int cornerRadius = 8;
constexpr int buttonInset = 8;

} // namespace

CodeBlock::CodeBlock(QString text, QWidget *parent) : QWidget(parent), m_text(std::move(text))
{
    m_label = new QLabel;
    m_label->setTextFormat(Qt::PlainText);
    m_label->setText(m_text);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setContentsMargins(textMargin, textMargin, textMargin, textMargin);
    // 12 points beside the 13-point body: the callout size.
    m_label->setFont(Style::monospaced(Style::callout()));
    m_label->setObjectName(QStringLiteral("codeText"));

    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_label);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The block paints its own background behind the transparent area.
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_label->setAutoFillBackground(false);
    m_scroll->horizontalScrollBar()->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("copyButton"));
    m_button->setFont(Style::caption());
    m_button->setCursor(Qt::PointingHandCursor);
    connect(m_button, &QPushButton::clicked, this, &CodeBlock::copy);
    updateButton();
    fitHeight();
}

void CodeBlock::copy()
{
    copyToClipboard(m_text);
    setCopied(true);
    QTimer::singleShot(copiedDuration, this, [this] { setCopied(false); });
}

void CodeBlock::setCopied(bool copied)
{
    if (copied == m_copied) return;
    m_copied = copied;
    updateButton();
    emit copiedChanged(m_copied);
}

void CodeBlock::updateButton()
{
    m_button->setText(m_copied ? tr("Copied") : tr("Copy"));
    setSymbol(m_button, m_copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
    m_button->adjustSize();
    placeButton();
}

void CodeBlock::placeButton()
{
    m_button->move(width() - buttonInset - m_button->width(), buttonInset);
    m_button->raise();
}

// The area is as tall as the text, plus the scroll bar while a line is wider than the block, and
// never shorter than the copy button needs (an empty or one-line block).
void CodeBlock::fitHeight()
{
    const QScrollBar *bar = m_scroll->horizontalScrollBar();
    const int barHeight = bar->isVisibleTo(m_scroll) ? bar->sizeHint().height() : 0;
    const int buttonHeight = m_button->sizeHint().height() + 2 * buttonInset;
    m_scroll->setFixedHeight(std::max(m_label->sizeHint().height() + barHeight, buttonHeight));
}

void CodeBlock::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeButton();
    fitHeight();
}

bool CodeBlock::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->horizontalScrollBar() && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        fitHeight();
    return QWidget::eventFilter(watched, event);
}

void CodeBlock::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, qRound(255 * 0.06)));
    painter.drawRoundedRect(box, cornerRadius, cornerRadius);
    painter.setPen(QPen(Style::withOpacity(Style::separator(), 0.5), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box, cornerRadius, cornerRadius);
}
