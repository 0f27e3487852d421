#include "Views/Components/KeyValueRow.h"

#include "Views/Components/Clipboard.h"
#include "Views/Components/Style.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>

#include <algorithm>

namespace {
constexpr int keyWidth = 118;
constexpr int spacing = 10;
constexpr QChar zeroWidthSpace(0x200B);
// The narrowest the value may become, in average characters; long words wrap below it.
constexpr int minimumCharacters = 4;

// Word-wrapped plain text that also breaks inside a word too wide for the label (a hash, a long
// path), so nothing is cut off and the label never asks for more width than its column has.
// Such a word gets zero-width break opportunities for the width it is laid out at; they are
// never copied.
class WrappingLabel : public QLabel {
public:
    explicit WrappingLabel(QWidget *parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
    }

    void setWholeText(const QString &text)
    {
        m_whole = text;
        m_shownWidth = -1;
        QLabel::setText(text);
        fit(contentsRect().width());
    }

    QSize minimumSizeHint() const override
    {
        const QMargins margins = contentsMargins();
        const int width = fontMetrics().averageCharWidth() * minimumCharacters + margins.left() + margins.right();
        return QSize(width, heightForWidth(width));
    }

    int heightForWidth(int width) const override
    {
        const QMargins margins = contentsMargins();
        const int inner = std::max(1, width - margins.left() - margins.right());
        return fontMetrics().boundingRect(QRect(0, 0, inner, QWIDGETSIZE_MAX), int(alignment()) | Qt::TextWordWrap, broken(inner)).height() +
               margins.top() + margins.bottom();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fit(contentsRect().width());
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Copy) && hasSelectedText()) {
            copyToClipboard(selectedText().remove(zeroWidthSpace));
            event->accept();
            return;
        }
        QLabel::keyPressEvent(event);
    }

private:
    // The text with a break opportunity after every character of each word wider than width.
    QString broken(int width) const
    {
        if (width <= 0) return m_whole;
        const QFontMetrics metrics = fontMetrics();
        QString result;
        result.reserve(m_whole.size());
        qsizetype start = 0;
        while (start < m_whole.size()) {
            qsizetype end = start;
            while (end < m_whole.size() && !m_whole.at(end).isSpace()) ++end;
            const QStringView word = QStringView(m_whole).mid(start, end - start);
            if (metrics.horizontalAdvance(word.toString()) <= width) {
                result += word;
            } else {
                for (qsizetype i = 0; i < word.size(); ++i) {
                    result += word.at(i);
                    const bool splitsPair = word.at(i).isHighSurrogate();
                    const bool beforeMark = i + 1 < word.size() && word.at(i + 1).isMark();
                    if (i + 1 < word.size() && !splitsPair && !beforeMark) result += zeroWidthSpace;
                }
            }
            while (end < m_whole.size() && m_whole.at(end).isSpace()) result += m_whole.at(end++);
            start = end;
        }
        return result;
    }

    void fit(int width)
    {
        if (width <= 0 || width == m_shownWidth) return;
        m_shownWidth = width;
        const QString shown = broken(width);
        if (shown != text()) QLabel::setText(shown);
    }

    QString m_whole;
    int m_shownWidth = -1;
};

} // namespace

KeyValueRow::KeyValueRow(const QString &key, const QString &value, bool monospaced, QWidget *parent)
    : QWidget(parent), m_key(key)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    m_keyLabel = new QLabel(key, this);
    m_keyLabel->setObjectName("key");
    m_keyLabel->setTextFormat(Qt::PlainText);
    m_keyLabel->setFixedWidth(keyWidth);
    m_keyLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_keyLabel->setWordWrap(true);
    Style::setTextStyle(m_keyLabel, Style::callout(), Style::secondaryText());
    m_valueLabel = new WrappingLabel(this);
    m_valueLabel->setObjectName("value");
    m_valueLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_valueLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_valueLabel->setFont(monospaced ? Style::monospaced(Style::callout()) : Style::callout());
    for (QLabel *label : {m_keyLabel, m_valueLabel}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // The row's own menu, not the label's built-in one.
        label->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(label, &QWidget::customContextMenuRequested, this,
                [this, label](const QPoint &position) { showMenu(label->mapTo(this, position)); });
    }
    // Both labels start at the top; the one with the smaller ascent moves down so that their
    // first lines share a baseline (the monospaced value's font is not the key's).
    const int keyAscent = QFontMetrics(m_keyLabel->font()).ascent();
    const int valueAscent = QFontMetrics(m_valueLabel->font()).ascent();
    m_keyLabel->setContentsMargins(0, std::max(0, valueAscent - keyAscent), 0, 0);
    m_valueLabel->setContentsMargins(0, std::max(0, keyAscent - valueAscent), 0, 0);
    row->addWidget(m_keyLabel, 0, Qt::AlignTop);
    row->addWidget(m_valueLabel, 1, Qt::AlignTop);

    m_copyValue = new QAction("Copy Value", this);
    m_copyPair = new QAction(QString::fromUtf8("Copy \u201c") + key + QString::fromUtf8(": \u2026\u201d"), this);
    connect(m_copyValue, &QAction::triggered, this, [this] { copyToClipboard(m_value); });
    connect(m_copyPair, &QAction::triggered, this, [this] { copyToClipboard(m_key + ": " + m_value); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &KeyValueRow::showMenu);

    setValue(value);
}

void KeyValueRow::setValue(const QString &value)
{
    m_value = value;
    static_cast<WrappingLabel *>(m_valueLabel)->setWholeText(value.isEmpty() ? QString::fromUtf8("\u2014") : value);
}

void KeyValueRow::showMenu(const QPoint &position)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_copyValue);
    menu->addAction(m_copyPair);
    menu->popup(mapToGlobal(position));
}
