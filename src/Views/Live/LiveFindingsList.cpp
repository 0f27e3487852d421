#include "Views/Live/LiveFindingsList.h"

#include "Views/Components/CellText.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/Style.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
#include <QTextLayout>

namespace {

constexpr int verticalPadding = 2;
constexpr int horizontalPadding = 12;
constexpr int lineSpacing = 3;
constexpr int summaryLines = 2;

} // namespace

void LiveFindingsModel::setFindings(const std::vector<Finding> &inTimeOrder)
{
    beginResetModel();
    m_findings.assign(inTimeOrder.rbegin(), inTimeOrder.rend());
    endResetModel();
}

int LiveFindingsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_findings.size());
}

QVariant LiveFindingsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const Finding &finding = m_findings[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case ruleRole: return QString::fromStdString(finding.rule);
    case severityRole: return int(finding.severity);
    case Qt::AccessibleTextRole:
        // The row paints its badge and texts itself: the severity's name leads what it reads.
        return QStringList{QString::fromUtf8(severityTitle(finding.severity)), QString::fromStdString(finding.rule),
                           Format::dateTime(finding.time, Format::DateStyle::none, Format::TimeStyle::standard),
                           cellText(finding.summary)}
            .join(QStringLiteral(", "));
    case timeRole: return Format::dateTime(finding.time, Format::DateStyle::none, Format::TimeStyle::standard);
    case summaryRole:
    case Qt::ToolTipRole: return cellText(finding.summary);
    default: return {};
    }
}

QStringList wrappedLines(const QString &text, const QFont &font, int width, int lines)
{
    QStringList out;
    if (text.isEmpty() || width <= 0) return out;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int i = 0; i < lines; ++i) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (i == lines - 1 && line.textStart() + line.textLength() < text.size()) {
            out << QFontMetrics(font).elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width);
            break;
        }
        out << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return out;
}

void LiveFindingDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    const QRect area = option.rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const auto severity = Severity(index.data(LiveFindingsModel::severityRole).toInt());
    const QSize badge = SeverityBadgePainter::sizeHint(severity, true);
    const QFont ruleFont = Style::withWeight(Style::callout(), QFont::Medium);
    const QFont timeFont = Style::caption2();
    const QFont summaryFont = Style::monospaced(Style::caption());
    const int firstLine = std::max(badge.height(), QFontMetrics(ruleFont).height());

    SeverityBadgePainter::paint(*painter, QRect(area.left(), area.top(), badge.width(), firstLine), severity, true);
    const QString time = index.data(LiveFindingsModel::timeRole).toString();
    const int timeWidth = QFontMetrics(timeFont).horizontalAdvance(time);
    painter->setFont(timeFont);
    painter->setPen(Style::tertiaryText());
    painter->drawText(QRect(area.right() - timeWidth, area.top(), timeWidth, firstLine),
                      Qt::AlignVCenter | Qt::AlignRight, time);
    const int ruleLeft = area.left() + badge.width() + 6;
    const QRect ruleRect(ruleLeft, area.top(), std::max(0, area.right() - timeWidth - 8 - ruleLeft), firstLine);
    painter->setFont(ruleFont);
    painter->setPen(Style::primaryText());
    painter->drawText(ruleRect, Qt::AlignVCenter | Qt::AlignLeft,
                      QFontMetrics(ruleFont).elidedText(index.data(LiveFindingsModel::ruleRole).toString(),
                                                        Qt::ElideRight, ruleRect.width()));

    painter->setFont(summaryFont);
    painter->setPen(Style::secondaryText());
    const int lineHeight = QFontMetrics(summaryFont).height();
    int y = area.top() + firstLine + lineSpacing;
    for (const QString &line :
         wrappedLines(index.data(LiveFindingsModel::summaryRole).toString(), summaryFont, area.width(), summaryLines)) {
        painter->drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += lineHeight;
    }
    painter->restore();
}

QSize LiveFindingDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const int firstLine = std::max(SeverityBadgePainter::sizeHint(Severity::critical, true).height(),
                                   QFontMetrics(Style::withWeight(Style::callout(), QFont::Medium)).height());
    const int summary = QFontMetrics(Style::monospaced(Style::caption())).height() * summaryLines;
    return {option.rect.width(), 2 * verticalPadding + firstLine + lineSpacing + summary + 6};
}

LiveFindingsList::LiveFindingsList(QWidget *parent) : QListView(parent), m_model(new LiveFindingsModel(this))
{
    setModel(m_model);
    setItemDelegate(new LiveFindingDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setContextMenuPolicy(Qt::NoContextMenu);
}
