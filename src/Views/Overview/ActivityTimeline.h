#pragma once

#include "Views/Overview/TimelineGeometry.h"

#include <QStringList>
#include <QWidget>

#include <optional>

class AuditStore;

// The "Activity" chart: one stacked bar per timeline bucket (successes below, failures on top),
// a hover rule with the bucket's counts, and a click that shows the bucket's records.
class ActivityTimeline : public QWidget {
    Q_OBJECT

public:
    static constexpr int chartHeight = 190;

    explicit ActivityTimeline(AuditStore *store, QWidget *parent = nullptr);

    // The start of the bucket under the pointer, if any.
    std::optional<double> hoveredBucket() const { return m_hoveredBucket; }
    // Where the bars are drawn, in widget coordinates; empty before the first layout.
    QRectF plotArea() const;
    // Where the hover annotation is drawn, above the plot; empty while no bucket is marked.
    QRectF annotationArea() const;
    // The annotation's two lines for the hovered bucket; empty while no bucket is marked.
    QStringList annotationLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    struct Layout;
    Layout layout() const;
    std::optional<size_t> hoveredIndex() const;
    double ruleAt(const Layout &l, size_t bucket) const;
    QRectF annotationBox(const Layout &l, double ruleX) const;
    // Steps 1-3 of both pointer handlers: nothing when no time can be read at p, else the bucket
    // there, which may be none.
    std::optional<std::optional<size_t>> bucketAt(QPointF p) const;

    AuditStore *m_store;
    std::optional<double> m_hoveredBucket;
    // The bucket under the last left press, if any.
    std::optional<size_t> m_pressedBucket;
};
