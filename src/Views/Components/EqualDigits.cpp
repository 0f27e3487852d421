#include "Views/Components/EqualDigits.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

struct DigitWidths {
    bool differ = false;
    qreal widest = 0;
};

// Measured once per font: the ten advances do not change while the font lives.
DigitWidths digitWidths(const QFont &font)
{
    static QHash<QString, DigitWidths> measured;
    const QString key = font.key();
    if (const auto it = measured.constFind(key); it != measured.constEnd()) return *it;
    const QFontMetricsF metrics(font);
    qreal narrowest = metrics.horizontalAdvance(QChar(u'0'));
    qreal widest = narrowest;
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        const qreal advance = metrics.horizontalAdvance(QChar(digit));
        narrowest = std::min(narrowest, advance);
        widest = std::max(widest, advance);
    }
    const DigitWidths widths{widest - narrowest > 0.01, widest};
    measured.insert(key, widths);
    return widths;
}

// Calls run(text between digits) and digit(the digit) in reading order.
template <typename Run, typename Digit>
void forEachPiece(QStringView text, Run run, Digit digit)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isDigit(text[i])) continue;
        if (i > start) run(text.mid(start, i - start).toString());
        if (i < text.size()) digit(QString(text[i]));
        start = i + 1;
    }
}

} // namespace

namespace EqualDigits {

bool needed(const QFont &font)
{
    return digitWidths(font).differ;
}

qreal advance(const QFont &font, QStringView text)
{
    const QFontMetricsF metrics(font);
    const DigitWidths digits = digitWidths(font);
    if (!digits.differ) return metrics.horizontalAdvance(text.toString());
    qreal width = 0;
    forEachPiece(
        text, [&](const QString &run) { width += metrics.horizontalAdvance(run); },
        [&](const QString &) { width += digits.widest; });
    return width;
}

QString elided(const QFont &font, const QString &text, qreal width)
{
    if (advance(font, text) <= width) return text;
    const QString ellipsis(QChar(0x2026));
    QString cut = text;
    while (!cut.isEmpty()) {
        cut.chop(cut.size() > 1 && cut.back().isLowSurrogate() ? 2 : 1);
        if (advance(font, cut + ellipsis) <= width) return cut + ellipsis;
    }
    return advance(font, ellipsis) <= width ? ellipsis : QString();
}

void draw(QPainter &painter, const QRectF &rect, int alignment, const QString &text)
{
    const QFont font = painter.font();
    const DigitWidths digits = digitWidths(font);
    const QFontMetricsF metrics(font);
    if (!digits.differ) {
        painter.drawText(rect, alignment | Qt::TextSingleLine, metrics.elidedText(text, Qt::ElideRight, rect.width()));
        return;
    }
    const QString shown = elided(font, text, rect.width());
    const qreal width = advance(font, shown);
    qreal x = rect.left();
    if (alignment & Qt::AlignRight) x = rect.right() - width;
    else if (alignment & Qt::AlignHCenter) x = rect.left() + (rect.width() - width) / 2;
    qreal baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
    if (alignment & Qt::AlignTop) baseline = rect.top() + metrics.ascent();
    else if (alignment & Qt::AlignBottom) baseline = rect.bottom() - metrics.descent();
    forEachPiece(
        shown,
        [&](const QString &run) {
            painter.drawText(QPointF(x, baseline), run);
            x += metrics.horizontalAdvance(run);
        },
        [&](const QString &digit) {
            painter.drawText(QPointF(x + (digits.widest - metrics.horizontalAdvance(digit)) / 2, baseline), digit);
            x += digits.widest;
        });
}

} // namespace EqualDigits

void EqualDigitsDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    if (item.text.isEmpty() || !EqualDigits::needed(item.font)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    // The style sizes the text's rect for the plain text: ours takes the cell from where the
    // text starts (after any icon) to its end, and aligns itself.
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const QRect area(textRect.left(), item.rect.top(), item.rect.right() - textRect.left() + 1, item.rect.height());
    const QString text = item.text;
    // Background, selection and focus as for any cell; the text is ours.
    item.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) ? QPalette::Normal
                                                                             : QPalette::Inactive;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(
        item.palette.color(group, item.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    EqualDigits::draw(*painter, QRectF(area.adjusted(margin, 0, -margin, 0)), int(item.displayAlignment), text);
    painter->restore();
}

QSize EqualDigitsDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    if (EqualDigits::needed(item.font))
        size.rwidth() += int(std::ceil(EqualDigits::advance(item.font, item.text)
                                       - QFontMetricsF(item.font).horizontalAdvance(item.text)));
    return size;
}

void setEqualDigits(QAbstractItemView *view, std::initializer_list<int> columns)
{
    auto *delegate = new EqualDigitsDelegate(view);
    for (int column : columns) view->setItemDelegateForColumn(column, delegate);
}

EqualDigitsLabel::EqualDigitsLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
}

int EqualDigitsLabel::extraWidth() const
{
    if (!EqualDigits::needed(font())) return 0;
    return int(std::ceil(EqualDigits::advance(font(), text()) - QFontMetricsF(font()).horizontalAdvance(text())));
}

QSize EqualDigitsLabel::sizeHint() const
{
    return QLabel::sizeHint() + QSize(extraWidth(), 0);
}

QSize EqualDigitsLabel::minimumSizeHint() const
{
    return QLabel::minimumSizeHint() + QSize(extraWidth(), 0);
}

void EqualDigitsLabel::paintEvent(QPaintEvent *event)
{
    if (!EqualDigits::needed(font())) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    EqualDigits::draw(painter, QRectF(contentsRect()), int(alignment()), text());
}
