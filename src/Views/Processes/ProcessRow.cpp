#include "Views/Processes/ProcessRow.h"

#include "Engine/Analysis/Detections.h"
#include "Engine/BSM/UserResolver.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/CellText.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableTime.h"
#include "Views/Processes/ProcessModels.h"
#include "Views/Processes/ProcessRows.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <cmath>

namespace {

constexpr int userTextSpacing = 3;
constexpr int rowSpacing = 8;
constexpr int iconFrame = 16;
constexpr int rowPaddingV = 4;

const QString &arrowSymbol()
{
    static const QString name = QStringLiteral("arrow.right");
    return name;
}

} // namespace

namespace UserText {

Texts texts(uint32_t auid, uint32_t euid, UserResolver &users)
{
    Texts result;
    const QString audit = QString::fromStdString(users.shortName(auid));
    result.effective = QString::fromStdString(users.shortName(euid));
    result.effectiveIsRoot = euid == 0;
    if (audit != QString::fromUtf8("\u2014") && audit != result.effective) result.audit = audit;
    return result;
}

Texts texts(uint32_t auid, uint32_t euid)
{
    return texts(auid, euid, UserResolver::shared());
}

int width(const QFont &font, const Texts &texts)
{
    const QFontMetrics metrics(font);
    int total = metrics.horizontalAdvance(texts.effective);
    if (!texts.audit.isEmpty())
        total += metrics.horizontalAdvance(texts.audit) + QFontMetrics(Style::caption2()).height()
                 + 2 * userTextSpacing;
    return total;
}

int paint(QPainter &painter, const QRect &rect, const QFont &font, const QColor &primary, const Texts &texts)
{
    painter.save();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    int x = rect.left();
    if (!texts.audit.isEmpty()) {
        painter.setPen(primary);
        const QString audit = metrics.elidedText(texts.audit, Qt::ElideRight, rect.width() / 2);
        painter.drawText(QRect(x, rect.top(), rect.right() - x, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, audit);
        x += metrics.horizontalAdvance(audit) + userTextSpacing;
        const int arrow = QFontMetrics(Style::caption2()).height();
        painter.drawPixmap(QRect(x, rect.center().y() - arrow / 2, arrow, arrow),
                           symbolPixmap(arrowSymbol(), arrow, Style::secondaryText(),
                                        painter.device()->devicePixelRatioF()));
        x += arrow + userTextSpacing;
    }
    painter.setPen(texts.effectiveIsRoot ? Style::ink(Style::red()) : primary);
    const QString effective = metrics.elidedText(texts.effective, Qt::ElideRight, std::max(0, rect.right() - x));
    painter.drawText(QRect(x, rect.top(), std::max(0, rect.right() - x), rect.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, effective);
    x += metrics.horizontalAdvance(effective);
    painter.restore();
    return x - rect.left();
}

} // namespace UserText

namespace ProcessRow {

QString icon(const ProcessNode &process)
{
    if (process.isPlaceholder) return QStringLiteral("questionmark.square.dashed");
    if (Detections::suspiciousLocation(process.image)) return QStringLiteral("exclamationmark.triangle.fill");
    if (process.euid == 0) return QStringLiteral("bolt.shield");
    return process.children ? QStringLiteral("terminal.fill") : QStringLiteral("terminal");
}

QColor iconColor(const ProcessNode &process)
{
    if (process.isPlaceholder) return Style::secondaryText();
    if (Detections::suspiciousLocation(process.image)) return Style::orange();
    if (process.euid == 0) return Style::red();
    return Style::secondaryText();
}

QString argumentText(const ProcessNode &process)
{
    return cellText(JoinedText(process.args.from(1), " "), Qt::ElideMiddle);
}

} // namespace ProcessRow

void ProcessRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const auto *model = qobject_cast<const ProcessTreeModel *>(index.model());
    const ProcessNode *process = model ? model->nodeAt(index) : nullptr;
    if (!process) return;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor primary = selected ? option.palette.color(QPalette::HighlightedText) : Style::primaryText();
    const QColor secondary = selected ? primary : Style::secondaryText();
    const QColor tertiary = selected ? primary : Style::tertiaryText();

    painter->save();
    painter->setClipRect(option.rect);
    const QRect area = option.rect.adjusted(2, 0, -6, 0);
    const int cy = area.center().y();
    int x = area.left();
    const int iconSize = std::min(iconFrame, area.height());
    painter->drawPixmap(QRect(x, cy - iconSize / 2, iconSize, iconSize),
                        symbolPixmap(ProcessRow::icon(*process), iconSize, ProcessRow::iconColor(*process),
                                     painter->device()->devicePixelRatioF()));
    x += iconFrame + rowSpacing;

    // Trailing items first: the flexible space gives way to them.
    const QFont caption = Style::caption();
    const QFontMetrics captionMetrics(caption);
    const QString started = tableTimeText(process->start);
    int right = area.right();
    const int startedWidth = int(std::ceil(EqualDigits::advance(caption, started)));
    painter->setFont(caption);
    painter->setPen(tertiary);
    EqualDigits::draw(*painter, QRectF(right - startedWidth, area.top(), startedWidth, area.height()),
                      Qt::AlignRight | Qt::AlignVCenter, started);
    right -= startedWidth + rowSpacing;
    if (!process->succeeded) {
        const QString failed = QStringLiteral("exec failed");
        const int failedWidth = captionMetrics.horizontalAdvance(failed);
        painter->setPen(Style::ink(Style::red()));
        painter->drawText(QRect(right - failedWidth, area.top(), failedWidth, area.height()),
                          Qt::AlignRight | Qt::AlignVCenter, failed);
        right -= failedWidth + rowSpacing;
    }

    const auto drawLeading = [&](const QString &text, const QFont &font, const QColor &color, Qt::TextElideMode elide) {
        if (x >= right) return;
        const QFontMetrics metrics(font);
        const QString shown = metrics.elidedText(text, elide, right - x);
        painter->setFont(font);
        painter->setPen(color);
        painter->drawText(QRect(x, area.top(), right - x, area.height()), Qt::AlignLeft | Qt::AlignVCenter, shown);
        x += metrics.horizontalAdvance(shown) + rowSpacing;
    };
    drawLeading(ProcessRows::fileName(*process), Style::withWeight(Style::callout(), QFont::Medium),
                process->isPlaceholder ? secondary : primary, Qt::ElideRight);
    drawLeading(QString::number(process->pid), Style::monospaced(caption), secondary, Qt::ElideRight);
    if (x < right) {
        const UserText::Texts users = UserText::texts(process->auid, process->euid);
        x += UserText::paint(*painter, QRect(x, area.top(), right - x, area.height()), caption, primary, users)
             + rowSpacing;
    }
    const QString arguments = ProcessRow::argumentText(*process);
    if (!arguments.isEmpty()) drawLeading(arguments, Style::monospaced(caption), secondary, Qt::ElideMiddle);
    painter->restore();
}

QSize ProcessRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max({size.height(), QFontMetrics(Style::callout()).height() + 2 * rowPaddingV, iconFrame + 4}));
    return size;
}

void UserTextDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    const quint64 ids = index.data(ProcessRoles::userIDsRole).toULongLong();
    const bool selected = option.state & QStyle::State_Selected;
    const QColor primary = selected ? option.palette.color(QPalette::HighlightedText) : Style::primaryText();
    painter->save();
    painter->setClipRect(option.rect);
    UserText::paint(*painter, option.rect.adjusted(4, 0, -4, 0), option.font, primary,
                    UserText::texts(uint32_t(ids >> 32), uint32_t(ids)));
    painter->restore();
}
