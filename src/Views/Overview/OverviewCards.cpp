#include "Views/Overview/OverviewCards.h"

#include "Store/AuditStore.h"
#include "Views/Components/CellText.h"
#include "Views/Components/Divider.h"
#include "Views/Components/ElidedLabel.h"
#include "Views/Components/EqualDigits.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/MasterDetail.h"
#include "Views/Components/SeverityBadge.h"
#include "Views/Components/Style.h"
#include "Views/Components/SymbolLabel.h"

#include <QChart>
#include <QChartView>
#include <QFrame>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QProgressBar>
#include <QVBoxLayout>

#include <array>

namespace {

// The size of the other screens' busy indicators.
constexpr int countRowSpacing = 8;
constexpr int countTileSpacing = 2;
constexpr int rowSpacing = 8;
constexpr int rowTextSpacing = 1;
constexpr int classesSpacing = 16;
constexpr int chartSize = 150;
constexpr double holeSize = 0.6;
constexpr double sectorGap = 1.5;
constexpr int legendSpacing = 5;
constexpr int legendDot = 8;
constexpr int legendKeyWidth = 22;
constexpr int legendPartSpacing = 6;

QLabel *label(const QString &text, const QFont &font, const QColor &colour, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    Style::setTextStyle(l, font, colour);
    return l;
}

// A count whose digits line up with the counts beside it.
QLabel *figure(const QString &text, const QFont &font, const QColor &colour, QWidget *parent)
{
    auto *l = new EqualDigitsLabel(text, parent);
    Style::setTextStyle(l, font, colour);
    return l;
}

} // namespace

void clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *w = item->widget()) delete w;
        if (QLayout *inner = item->layout()) clearLayout(inner);
        delete item;
    }
}

ClickableRow::ClickableRow(std::function<void()> action, QWidget *parent) : QWidget(parent), m_action(std::move(action))
{
    setCursor(Qt::PointingHandCursor);
}

void ClickableRow::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void ClickableRow::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (!click) return;
    emit clicked();
    if (m_action) m_action();
}

// Findings

FindingsCard::FindingsCard(AuditStore *store, QWidget *parent)
    : Card(QStringLiteral("Findings"), QStringLiteral("exclamationmark.shield"), parent), m_store(store)
{
    m_busy = busyIndicator("derivingIndicator", header());
    header()->layout()->addWidget(m_busy);
}

void FindingsCard::setDeriving(bool deriving)
{
    m_busy->setVisible(deriving);
}

void FindingsCard::refresh(const FindingsSummary &summary)
{
    QVBoxLayout *content = contentLayout();
    clearLayout(content);

    // Critical down to Info, sharing the row's width.
    auto *counts = new QWidget(this);
    counts->setObjectName(QStringLiteral("severityCounts"));
    auto *countRow = new QHBoxLayout(counts);
    countRow->setContentsMargins(0, 0, 0, 0);
    countRow->setSpacing(countRowSpacing);
    const auto &bySeverity = summary.bySeverity;
    for (auto it = allSeverities.rbegin(); it != allSeverities.rend(); ++it) {
        const Style::SeverityStyle style = Style::severity(*it);
        const int64_t n = bySeverity[size_t(rawValue(*it))];
        auto *tile = new QWidget(counts);
        auto *column = new QVBoxLayout(tile);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(countTileSpacing);
        auto *number = figure(QString::number(n), Style::semibold(Style::title2()),
                              n > 0 ? style.color : Style::secondaryText(), tile);
        number->setObjectName(QStringLiteral("severityCount"));
        number->setAlignment(Qt::AlignCenter);
        auto *title = label(style.title, Style::caption2(), Style::secondaryText(), tile);
        title->setAlignment(Qt::AlignCenter);
        column->addWidget(number);
        column->addWidget(title);
        countRow->addWidget(tile, 1);
    }
    content->addWidget(counts);

    content->addWidget(horizontalDivider(this));

    const std::vector<Finding> &notable = summary.notable;
    if (notable.empty()) {
        auto *none = new SymbolLabel(QStringLiteral("checkmark.seal"), QStringLiteral("No medium or higher findings"),
                                     Style::body(), Style::green(), this);
        none->setObjectName(QStringLiteral("noNotableFindings"));
        content->addWidget(none);
        return;
    }
    for (const Finding &f : notable) {
        auto *row = new ClickableRow([store = m_store] { store->setScreen(Screen::findings); }, this);
        row->setObjectName(QStringLiteral("findingRow"));
        auto *line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(rowSpacing);
        line->addWidget(new SeverityBadge(f.severity, true, row), 0, Qt::AlignVCenter);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(rowTextSpacing);
        texts->addWidget(label(cellText(f.rule), Style::withWeight(Style::callout(), QFont::Medium), {}, row));
        auto *line2 = new ElidedLabel(cellText(f.summary, Qt::ElideMiddle), Qt::ElideMiddle, row);
        Style::setTextStyle(line2, Style::caption(), Style::secondaryText());
        texts->addWidget(line2);
        line->addLayout(texts, 1);
        auto *time = label(Format::dateTime(f.time, Format::DateStyle::none, Format::TimeStyle::shortened),
                           Style::caption(), Style::tertiaryText(), row);
        line->addWidget(time, 0, Qt::AlignVCenter);
        content->addWidget(row);
    }
}

// Event classes

EventClassesCard::EventClassesCard(AuditStore *store, QWidget *parent)
    : Card(QStringLiteral("Event classes"), QStringLiteral("square.stack.3d.up"), parent), m_store(store)
{
    refresh();
}

void EventClassesCard::refresh()
{
    QVBoxLayout *content = contentLayout();
    clearLayout(content);
    const auto &classes = m_store->stats().classes;
    const size_t shown = std::min(classes.size(), classSectorLimit);

    auto *body = new QWidget(this);
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(classesSpacing);

    auto *series = new QPieSeries;
    series->setName(QStringLiteral("Records"));
    series->setHoleSize(holeSize);
    series->setPieSize(1.0);
    for (size_t i = 0; i < shown; ++i) {
        QPieSlice *slice = series->append(QString::fromStdString(classes[i].key), double(classes[i].count));
        slice->setBrush(overviewPaletteColour(i));
        // The panel colour between sectors stands in for their angular inset.
        slice->setPen(QPen(Style::secondaryBackground(), sectorGap));
    }
    auto *chart = new QChart;
    chart->addSeries(series);
    chart->legend()->hide();
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins());
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    auto *view = new QChartView(chart, body);
    view->setObjectName(QStringLiteral("classesChart"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setFixedSize(chartSize, chartSize);
    view->setFrameShape(QFrame::NoFrame);
    view->setBackgroundBrush(Qt::NoBrush);
    view->setStyleSheet(QStringLiteral("background: transparent"));
    row->addWidget(view, 0, Qt::AlignVCenter);

    auto *legend = new QVBoxLayout;
    legend->setSpacing(legendSpacing);
    for (size_t i = 0; i < shown; ++i) {
        const CountItem item = classes[i];
        auto *entry = new ClickableRow([store = m_store, item] { store->showEvents(classRowFilter(item)); }, body);
        entry->setObjectName(QStringLiteral("classLegendRow"));
        auto *line = new QHBoxLayout(entry);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(legendPartSpacing);
        auto *dot = new QLabel(entry);
        QPixmap pixmap(legendDot * 2, legendDot * 2);
        pixmap.fill(Qt::transparent);
        {
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(overviewPaletteColour(i));
            p.drawEllipse(QRectF(0, 0, legendDot * 2, legendDot * 2));
        }
        pixmap.setDevicePixelRatio(2);
        dot->setPixmap(pixmap);
        dot->setFixedSize(legendDot, legendDot);
        line->addWidget(dot);
        auto *key = label(QString::fromStdString(item.key), Style::monospaced(Style::caption()), Style::secondaryText(),
                          entry);
        key->setFixedWidth(legendKeyWidth);
        line->addWidget(key);
        auto *name = new ElidedLabel(QString::fromStdString(item.label), Qt::ElideRight, entry);
        Style::setTextStyle(name, Style::callout());
        line->addWidget(name, 1);
        line->addWidget(figure(Format::count(item.count), Style::callout(), Style::secondaryText(), entry));
        legend->addWidget(entry);
    }
    legend->addStretch(1);
    row->addLayout(legend, 1);
    content->addWidget(body);
}
