#include "Views/Overview/ActivityTimeline.h"

#include "Store/AuditStore.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"
#include "Views/Overview/DashboardTexts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <utility>

namespace {

constexpr double barFraction = 0.88;
constexpr double ruleFraction = barFraction / 2;
constexpr int axisGap = 6;   // between the plot and its axis labels
constexpr int legendGap = 8; // between the legend and the plot
constexpr int legendDot = 8;
constexpr int annotationPadding = 6;
constexpr int annotationLineGap = 2;
constexpr qreal annotationRadius = 6;
constexpr int minTickSpacing = 90; // pixels per time label

// The hover annotation's fonts and size: it sits in the band above the plot.
QFont annotationHeadFont()
{
    return Style::semibold(Style::caption());
}
QFont annotationCountFont()
{
    return Style::caption2();
}
double annotationHeight()
{
    return QFontMetricsF(annotationHeadFont()).height() + annotationLineGap
           + QFontMetricsF(annotationCountFont()).height() + 2 * annotationPadding;
}

} // namespace

struct ActivityTimeline::Layout {
    QRectF plot;
    QRectF band; // above the plot: the legend, and the annotation while hovering
    QRectF legend;
    std::optional<TimelineDomain> domain;
    std::vector<double> counts;
    std::vector<double> times;
    double timeStep = 0;
};

ActivityTimeline::ActivityTimeline(AuditStore *store, QWidget *parent) : QWidget(parent), m_store(store)
{
    setMouseTracking(true);
    setFixedHeight(chartHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_store, &AuditStore::statsChanged, this, qOverload<>(&QWidget::update));
}

QSize ActivityTimeline::sizeHint() const
{
    return {600, chartHeight};
}
QSize ActivityTimeline::minimumSizeHint() const
{
    return {200, chartHeight};
}

ActivityTimeline::Layout ActivityTimeline::layout() const
{
    const TrailStats &stats = m_store->stats();
    const QFontMetricsF labels(Style::caption());
    Layout l;
    l.domain = timelineDomain(stats.timeline, stats.bucketSize);
    int64_t maxCount = 0;
    for (const TimeBucket &b : stats.timeline) maxCount = std::max(maxCount, b.success + b.failure);
    l.counts = countTicks(double(maxCount));

    double labelWidth = 0;
    for (double v : l.counts) labelWidth = std::max(labelWidth, labels.horizontalAdvance(Format::count(int64_t(v))));
    const double legendHeight = labels.height();
    const QRectF all = QRectF(rect());
    // The band above the plot holds the legend at its foot and is tall enough for the hover
    // annotation, which never covers the bars.
    const double bandHeight = std::max(legendHeight, annotationHeight());
    l.band = QRectF(all.left(), all.top(), all.width(), bandHeight);
    l.legend = QRectF(all.left(), all.top() + bandHeight - legendHeight, all.width(), legendHeight);
    // Counts along the trailing edge, times below.
    l.plot = QRectF(all.left() + 1, all.top() + bandHeight + legendGap,
                    std::max(0.0, all.width() - labelWidth - axisGap - 2),
                    std::max(0.0, all.height() - bandHeight - legendGap - labels.height() - axisGap));
    if (l.domain) l.times = timeTicks(*l.domain, std::max(1, int(l.plot.width() / minTickSpacing)), &l.timeStep);
    return l;
}

QRectF ActivityTimeline::plotArea() const
{
    return layout().plot;
}

std::optional<size_t> ActivityTimeline::hoveredIndex() const
{
    if (!m_hoveredBucket) return std::nullopt;
    const auto &timeline = m_store->stats().timeline;
    const auto it = std::find_if(timeline.begin(), timeline.end(),
                                 [&](const TimeBucket &b) { return b.start == *m_hoveredBucket; });
    if (it == timeline.end()) return std::nullopt;
    return size_t(it - timeline.begin());
}

QStringList ActivityTimeline::annotationLines() const
{
    const auto index = hoveredIndex();
    if (!index) return {};
    const TimeBucket &bucket = m_store->stats().timeline[*index];
    return {bucketLabel(bucket.start), bucketCountsText(bucket)};
}

std::optional<std::optional<size_t>> ActivityTimeline::bucketAt(QPointF p) const
{
    const Layout l = layout();
    if (!l.domain || l.plot.width() <= 0) return std::nullopt;
    const auto time = timeAtX(p.x() - l.plot.left(), l.plot.width(), *l.domain);
    if (!time) return std::nullopt;
    return bucketIndexAt(m_store->stats().timeline, *time);
}

void ActivityTimeline::mouseMoveEvent(QMouseEvent *event)
{
    const auto found = bucketAt(event->position());
    if (!found) return;
    std::optional<double> hovered;
    if (*found) hovered = m_store->stats().timeline[**found].start;
    if (hovered != m_hoveredBucket) {
        m_hoveredBucket = hovered;
        update();
    }
}

void ActivityTimeline::leaveEvent(QEvent *)
{
    if (!m_hoveredBucket) return;
    m_hoveredBucket.reset();
    update();
}

void ActivityTimeline::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) return;
    const auto found = bucketAt(event->position());
    m_pressedBucket = found ? *found : std::nullopt;
}

void ActivityTimeline::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) return;
    // A click is a press and a release on one bucket; a drag from one to another is none.
    const std::optional<size_t> pressed = std::exchange(m_pressedBucket, std::nullopt);
    const auto found = bucketAt(event->position());
    if (!found || !*found || pressed != *found) return;
    const TrailStats &stats = m_store->stats();
    const TimeBucket bucket = stats.timeline[**found];
    EventFilter filter;
    filter.start = bucket.start;
    filter.end = bucket.start + stats.bucketSize;
    filter.label = bucketLabel(bucket.start).toStdString();
    m_store->showEvents(std::move(filter));
}

double ActivityTimeline::ruleAt(const Layout &l, size_t bucket) const
{
    const TrailStats &stats = m_store->stats();
    return l.plot.left()
           + xAtTime(stats.timeline[bucket].start + ruleFraction * stats.bucketSize, l.plot.width(), *l.domain);
}

QRectF ActivityTimeline::annotationBox(const Layout &l, double ruleX) const
{
    // Above the plot, centred on the rule and moved sideways to stay inside; it may cover the
    // legend while the pointer is over the chart, never the bars.
    const QStringList lines = annotationLines();
    if (lines.size() < 2) return {};
    const double boxWidth = std::max(QFontMetricsF(annotationHeadFont()).horizontalAdvance(lines[0]),
                                     QFontMetricsF(annotationCountFont()).horizontalAdvance(lines[1]))
                            + 2 * annotationPadding;
    const double left = std::clamp(ruleX - boxWidth / 2, 0.0, std::max(0.0, width() - boxWidth));
    return QRectF(left, l.band.bottom() - annotationHeight(), boxWidth, annotationHeight());
}

QRectF ActivityTimeline::annotationArea() const
{
    const auto hovered = hoveredIndex();
    const Layout l = layout();
    if (!hovered || !l.domain) return {};
    return annotationBox(l, ruleAt(l, *hovered));
}

void ActivityTimeline::paintEvent(QPaintEvent *)
{
    const TrailStats &stats = m_store->stats();
    const Layout l = layout();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont labelFont = Style::caption();
    p.setFont(labelFont);
    const QFontMetricsF fm(labelFont);
    const QColor text = Style::primaryText();
    const QColor secondary = Style::secondaryText();
    const QColor grid = Style::withOpacity(Style::separator(), 0.5);
    const QColor successColour = Style::withOpacity(Style::accent(), 0.75);
    const QColor failureColour = Style::red();

    // Legend, trailing: "Success" then "Failure".
    {
        double x = l.legend.right();
        const std::array<std::pair<QString, QColor>, 2> entries = {std::pair{QStringLiteral("Failure"), failureColour},
                                                                   std::pair{QStringLiteral("Success"), successColour}};
        for (const auto &[name, colour] : entries) {
            const double w = fm.horizontalAdvance(name);
            x -= w;
            p.setPen(secondary);
            p.drawText(QRectF(x, l.legend.top(), w, l.legend.height()), Qt::AlignVCenter | Qt::AlignLeft, name);
            x -= 4 + legendDot;
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawEllipse(QRectF(x, l.legend.center().y() - legendDot / 2.0, legendDot, legendDot));
            x -= 12;
        }
    }

    if (l.plot.width() <= 0 || l.plot.height() <= 0) return;
    const double top = l.counts.back();
    auto yAt = [&](double count) { return l.plot.bottom() - count / top * l.plot.height(); };

    // Count gridlines and labels.
    for (double v : l.counts) {
        const double y = yAt(v);
        p.setPen(QPen(grid, 1, v == 0 ? Qt::SolidLine : Qt::DashLine));
        p.drawLine(QPointF(l.plot.left(), y), QPointF(l.plot.right(), y));
        p.setPen(secondary);
        p.drawText(QRectF(l.plot.right() + axisGap, y - fm.height() / 2, width() - l.plot.right() - axisGap,
                          fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, Format::count(int64_t(v)));
    }
    if (!l.domain) return;

    // Time gridlines and labels; a label that would run past either end is left out.
    for (double t : l.times) {
        const double x = l.plot.left() + xAtTime(t, l.plot.width(), *l.domain);
        p.setPen(QPen(grid, 1, Qt::DashLine));
        p.drawLine(QPointF(x, l.plot.top()), QPointF(x, l.plot.bottom()));
        const QString label = timeAxisLabel(t, l.timeStep);
        const double w = fm.horizontalAdvance(label);
        if (x - w / 2 < 0 || x + w / 2 > width()) continue;
        p.setPen(secondary);
        p.drawText(QRectF(x - w / 2, l.plot.bottom() + axisGap, w, fm.height()), Qt::AlignCenter, label);
    }

    // Bars: successes from 0, failures stacked on them. At least a hair wide, so that buckets of
    // a long trail stay visible.
    p.setPen(Qt::NoPen);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const TimeBucket &b : stats.timeline) {
        const double x0 = l.plot.left() + xAtTime(b.start, l.plot.width(), *l.domain);
        const double x1 = l.plot.left() + xAtTime(b.start + barFraction * stats.bucketSize, l.plot.width(), *l.domain);
        const double w = std::max(1.0, x1 - x0);
        const double ySuccess = yAt(double(b.success));
        const double yTotal = yAt(double(b.success + b.failure));
        if (b.success > 0) p.fillRect(QRectF(x0, ySuccess, w, l.plot.bottom() - ySuccess), successColour);
        if (b.failure > 0) p.fillRect(QRectF(x0, yTotal, w, ySuccess - yTotal), failureColour);
    }
    p.setRenderHint(QPainter::Antialiasing, true);

    const auto hovered = hoveredIndex();
    if (!hovered) return;
    const double ruleX = ruleAt(l, *hovered);
    p.setPen(QPen(Style::withOpacity(secondary, 0.40), 1.5));
    p.drawLine(QPointF(ruleX, l.plot.top()), QPointF(ruleX, l.plot.bottom()));

    const QStringList lines = annotationLines();
    const QFont headFont = annotationHeadFont();
    const QFont countFont = annotationCountFont();
    const QFontMetricsF headMetrics(headFont), countMetrics(countFont);
    const QRectF box = annotationBox(l, ruleX);
    const double boxWidth = box.width();
    p.drawLine(QPointF(ruleX, box.bottom()), QPointF(ruleX, l.plot.top()));
    QPainterPath path;
    path.addRoundedRect(box, annotationRadius, annotationRadius);
    const QColor material = Style::withOpacity(Style::secondaryBackground(), 0.92);
    p.setPen(QPen(grid, 1));
    p.setBrush(material);
    p.drawPath(path);
    p.setPen(text);
    p.setFont(headFont);
    p.drawText(QRectF(box.left() + annotationPadding, box.top() + annotationPadding, boxWidth, headMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter, lines[0]);
    p.setFont(countFont);
    p.drawText(QRectF(box.left() + annotationPadding,
                      box.top() + annotationPadding + headMetrics.height() + annotationLineGap, boxWidth,
                      countMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter, lines[1]);
}
