#pragma once

#include <QLabel>
#include <QStyledItemDelegate>

#include <initializer_list>

class QAbstractItemView;
class QPainter;

// Digits of equal width without a font feature (Qt has no API for one): where the font's digits
// differ in advance, each digit is drawn centred in a cell as wide as the widest digit. A font
// whose digits already agree is drawn exactly as it is, so this costs nothing there. Figures keep
// the application font; only their spacing changes.
namespace EqualDigits {

// Whether the font's digits 0-9 differ in advance.
bool needed(const QFont &font);
// The width of one line of text with every digit as wide as the widest.
qreal advance(const QFont &font, QStringView text);
// The text cut at the end with "…" so that it fits the width, digits counted as above.
QString elided(const QFont &font, const QString &text, qreal width);
// Draws one line in the painter's font and pen, aligned in rect by the horizontal and vertical
// flags, cut at the end when it does not fit.
void draw(QPainter &painter, const QRectF &rect, int alignment, const QString &text);

} // namespace EqualDigits

// Table cells whose figures line up: dates, counts, process ids.
class EqualDigitsDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Gives these columns of the view one EqualDigitsDelegate.
void setEqualDigits(QAbstractItemView *view, std::initializer_list<int> columns);

// A one-line label whose figures line up; text() is the text as given.
class EqualDigitsLabel : public QLabel {
public:
    explicit EqualDigitsLabel(const QString &text = {}, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int extraWidth() const;
};
