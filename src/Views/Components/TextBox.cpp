#include "Views/Components/TextBox.h"

#include "Views/Components/Clipboard.h"
#include "Views/Components/KeyValueRow.h"
#include "Views/Components/Style.h"
#include "Views/Components/WrappedText.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {
constexpr int padding = 8;
constexpr qreal cornerRadius = 6;
constexpr double fillOpacity = 0.5;
} // namespace

TextBox::TextBox(const QString &text, const QString &copyTitle, QWidget *parent) : QWidget(parent), m_text(text)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    m_label = new WrappedText(text, this);
    Style::setTextStyle(m_label, Style::monospaced(Style::callout()));
    // The label's own Copy menu would hide ours.
    m_label->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_label);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addCopyMenu(copyTitle);
}

TextBox::TextBox(LongText text, const QString &copyTitle, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    if (text.size() <= size_t(KeyValueRow::longValue)) {
        m_text = text.toQString();
        layout->setContentsMargins(padding, padding, padding, padding);
        m_label = new WrappedText(m_text, this);
        Style::setTextStyle(m_label, Style::monospaced(Style::callout()));
        m_label->setContextMenuPolicy(Qt::NoContextMenu);
        layout->addWidget(m_label);
    } else {
        // The box paints the same panel and padding itself.
        layout->setContentsMargins(0, 0, 0, 0);
        m_long = text;
        m_box = new LineBox(wrappedLines(std::move(text)), KeyValueRow::longValueLines, this);
        m_box->setFont(Style::monospaced(Style::callout()));
        m_box->setContextMenuPolicy(Qt::NoContextMenu);
        layout->addWidget(m_box);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addCopyMenu(copyTitle);
}

QString TextBox::text() const
{
    return m_long ? m_long->toQString() : m_text;
}

void TextBox::addCopyMenu(const QString &copyTitle)
{
    m_copy = new QAction(copyTitle, this);
    connect(m_copy, &QAction::triggered, this, [this] { copyToClipboard(text()); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    if (m_box) {
        m_box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_box, &QWidget::customContextMenuRequested, this,
                [this](const QPoint &at) { emit customContextMenuRequested(m_box->mapTo(this, at)); });
    }
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        auto *menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(m_copy);
        menu->popup(mapToGlobal(at));
    });
}

void TextBox::paintEvent(QPaintEvent *)
{
    if (m_box) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(path, Style::withOpacity(Style::quaternaryText(), fillOpacity));
}
