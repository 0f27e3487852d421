#include "Views/Components/KeyValueRow.h"

#include "Views/Components/Clipboard.h"
#include "Views/Components/Style.h"
#include "Views/Components/WrappedText.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>

#include <algorithm>

namespace {
constexpr int keyWidth = 118;
constexpr int spacing = 10;
} // namespace

KeyValueRow::KeyValueRow(const QString &key, const QString &value, bool monospaced, QWidget *parent)
    : QWidget(parent), m_key(key)
{
    m_valueText = new WrappedText(QString(), this);
    m_valueText->setFont(monospaced ? Style::monospaced(Style::callout()) : Style::callout());
    build(m_valueText);
    setValue(value);
}

KeyValueRow::KeyValueRow(const QString &key, LongText value, QWidget *parent)
    : QWidget(parent), m_key(key), m_long(value)
{
    m_valueBox = new LineBox(wrappedLines(std::move(value)), longValueLines, this);
    m_valueBox->setFont(Style::monospaced(Style::callout()));
    build(m_valueBox);
}

void KeyValueRow::build(QWidget *valueView)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    m_keyLabel = new QLabel(m_key, this);
    m_keyLabel->setObjectName("key");
    m_keyLabel->setTextFormat(Qt::PlainText);
    m_keyLabel->setFixedWidth(keyWidth);
    m_keyLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_keyLabel->setWordWrap(true);
    Style::setTextStyle(m_keyLabel, Style::callout(), Style::secondaryText());
    valueView->setObjectName("value");
    if (m_valueText) m_valueText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_keyLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QWidget *text : {static_cast<QWidget *>(m_keyLabel), valueView}) {
        // The row's own menu, not the label's built-in one.
        text->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(text, &QWidget::customContextMenuRequested, this,
                [this, text](const QPoint &position) { showMenu(text->mapTo(this, position)); });
    }
    // Both labels start at the top; the one with the smaller ascent moves down so that their
    // first lines share a baseline (the monospaced value's font is not the key's).
    const int keyAscent = QFontMetrics(m_keyLabel->font()).ascent();
    const int valueAscent = QFontMetrics(valueView->font()).ascent();
    m_keyLabel->setContentsMargins(0, std::max(0, valueAscent - keyAscent), 0, 0);
    if (m_valueText) m_valueText->setContentsMargins(0, std::max(0, keyAscent - valueAscent), 0, 0);
    row->addWidget(m_keyLabel, 0, Qt::AlignTop);
    row->addWidget(valueView, 1, Qt::AlignTop);

    m_copyValue = new QAction("Copy Value", this);
    m_copyPair = new QAction(QString::fromUtf8("Copy \u201c") + m_key + QString::fromUtf8(": \u2026\u201d"), this);
    connect(m_copyValue, &QAction::triggered, this, [this] { copyToClipboard(value()); });
    connect(m_copyPair, &QAction::triggered, this, [this] { copyToClipboard(m_key + ": " + value()); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &KeyValueRow::showMenu);
}

void KeyValueRow::setValue(const QString &value)
{
    if (!m_valueText) return;
    m_value = value;
    m_valueText->setText(value.isEmpty() ? QString::fromUtf8("\u2014") : value);
}

void KeyValueRow::showMenu(const QPoint &position)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_copyValue);
    menu->addAction(m_copyPair);
    menu->popup(mapToGlobal(position));
}
