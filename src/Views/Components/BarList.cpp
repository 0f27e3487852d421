#include "Views/Components/BarList.h"

#include "Views/Components/EqualDigits.h"
#include "Views/Components/Style.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
constexpr int rowSpacing = 6;
constexpr int innerSpacing = 8;
constexpr int paddingHorizontal = 8;
constexpr int paddingVertical = 4;
constexpr double minimumBar = 4;
constexpr double barRadius = 5;
constexpr double barOpacity = 0.16;
} // namespace

int64_t barScale(const std::vector<CountItem> &items)
{
    int64_t scale = 1;
    for (const CountItem &item : items) scale = std::max(scale, item.count);
    return scale;
}

double barWidth(double rowWidth, int64_t count, int64_t scale)
{
    return std::max(minimumBar, rowWidth * double(count) / double(std::max<int64_t>(1, scale)));
}

BarListRow::BarListRow(const CountItem &item, int64_t scale, const QColor &tint, bool monospaced, QWidget *parent)
    : QAbstractButton(parent), m_item(item), m_scale(scale), m_tint(tint)
{
    setFont(monospaced ? Style::monospaced(Style::callout()) : Style::callout());
    setText(QString::fromStdString(item.label));
    setToolTip(QString::fromStdString(item.label));
    setAccessibleName(text() + QStringLiteral(", ") + countText());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

double BarListRow::barWidth() const
{
    return ::barWidth(width(), m_item.count, m_scale);
}

QString BarListRow::countText() const
{
    return QLocale().toString(qlonglong(m_item.count));
}

QSize BarListRow::sizeHint() const
{
    const QFontMetrics label(font());
    const QFont countFont = Style::callout();
    const int countWidth = int(std::ceil(EqualDigits::advance(countFont, countText())));
    return {label.horizontalAdvance(text()) + innerSpacing + countWidth + 2 * paddingHorizontal,
            std::max(label.height(), QFontMetrics(countFont).height()) + 2 * paddingVertical};
}

QSize BarListRow::minimumSizeHint() const
{
    return {2 * paddingHorizontal + innerSpacing, sizeHint().height()};
}

void BarListRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill = Style::withOpacity(m_tint, barOpacity);
    if (isEnabled() && underMouse()) fill = Style::withOpacity(m_tint, barOpacity * 1.6);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(0, 0, barWidth(), height()), barRadius, barRadius);

    const QRect inner = rect().adjusted(paddingHorizontal, paddingVertical, -paddingHorizontal, -paddingVertical);
    const QString count = countText();
    const QFont countFont = Style::callout();
    const int countWidth = int(std::ceil(EqualDigits::advance(countFont, count)));
    painter.setFont(countFont);
    painter.setPen(Style::secondaryText());
    EqualDigits::draw(painter, QRectF(inner), Qt::AlignRight | Qt::AlignVCenter, count);

    const QRect labelRect(inner.left(), inner.top(), std::max(0, inner.width() - countWidth - innerSpacing),
                          inner.height());
    painter.setFont(font());
    painter.setPen(isEnabled() ? Style::primaryText() : Style::secondaryText());
    const QString label = QFontMetrics(font()).elidedText(text(), Qt::ElideMiddle, labelRect.width());
    painter.drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label);
}

BarList::BarList(std::vector<CountItem> items, const QColor &tint, bool monospaced, SelectAction onSelect,
                 QWidget *parent)
    : QWidget(parent), m_items(std::move(items)), m_tint(tint), m_monospaced(monospaced), m_onSelect(std::move(onSelect))
{
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(rowSpacing);
    rebuild();
}

void BarList::setItems(std::vector<CountItem> items)
{
    if (items == m_items) return;
    m_items = std::move(items);
    rebuild();
}

QList<BarListRow *> BarList::rows() const
{
    return findChildren<BarListRow *>(QString(), Qt::FindDirectChildrenOnly);
}

void BarList::rebuild()
{
    while (QLayoutItem *item = m_column->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_empty = nullptr;
    if (m_items.empty()) {
        m_empty = new QLabel("No data", this);
        m_empty->setObjectName("barListEmpty");
        m_empty->setAlignment(Qt::AlignCenter);
        Style::setTextStyle(m_empty, Style::callout(), Style::tertiaryText());
        m_column->addWidget(m_empty);
        return;
    }
    const int64_t scale = barScale(m_items);
    for (const CountItem &item : m_items) {
        auto *row = new BarListRow(item, scale, m_tint, m_monospaced, this);
        row->setObjectName(QString::fromStdString(item.key));
        row->setEnabled(bool(m_onSelect));
        if (m_onSelect) {
            row->setCursor(Qt::PointingHandCursor);
            connect(row, &QAbstractButton::clicked, this, [this, item] {
                const SelectAction action = m_onSelect;
                action(item);
            });
        }
        m_column->addWidget(row);
    }
}
