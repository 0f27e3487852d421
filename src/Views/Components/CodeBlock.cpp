#include "Views/Components/CodeBlock.h"

#include <QClipboard>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// 12 points beside the platform's 13-point body text.
constexpr double textScale = 12.0 / 13.0;
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
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(font().pointSizeF() * textScale);
    m_label->setFont(mono);
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
    QFont caption = m_button->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_button->setFont(caption);
    m_button->setCursor(Qt::PointingHandCursor);
    connect(m_button, &QPushButton::clicked, this, &CodeBlock::copy);
    updateButton();
    fitHeight();
}

void CodeBlock::copy()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_text);
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
    m_button->setProperty("symbol", m_copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
    m_button->adjustSize();
    placeButton();
}

void CodeBlock::placeButton()
{
    m_button->move(width() - buttonInset - m_button->width(), buttonInset);
    m_button->raise();
}

// The area is as tall as the text, plus the scroll bar while a line is wider than the block.
void CodeBlock::fitHeight()
{
    const QScrollBar *bar = m_scroll->horizontalScrollBar();
    const int barHeight = bar->isVisibleTo(m_scroll) ? bar->sizeHint().height() : 0;
    m_scroll->setFixedHeight(m_label->sizeHint().height() + barHeight);
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
    QColor separator = palette().color(QPalette::Mid);
    separator.setAlphaF(0.5);
    painter.setPen(QPen(separator, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box, cornerRadius, cornerRadius);
}
