#pragma once

#include "Engine/Analysis/TrailStats.h"

#include <QAbstractButton>
#include <QColor>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QVBoxLayout;

// The scale of a bar list: the largest count, and at least 1.
int64_t barScale(const std::vector<CountItem> &items);
// A bar's width in a row: row width × count ÷ scale, and at least 4.
double barWidth(double rowWidth, int64_t count, int64_t scale);

// One row of a BarList: label (cut in the middle) and grouped count over a proportional bar.
class BarListRow : public QAbstractButton {
    Q_OBJECT

public:
    BarListRow(const CountItem &item, int64_t scale, const QColor &tint, bool monospaced, QWidget *parent = nullptr);

    const CountItem &item() const { return m_item; }
    double barWidth() const;
    QString countText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CountItem m_item;
    int64_t m_scale;
    QColor m_tint;
};

// A ranked list of counts, one row per item in the order given, each clickable when onSelect is
// set (rows are disabled otherwise). An empty list shows "No data".
class BarList : public QWidget {
    Q_OBJECT

public:
    using SelectAction = std::function<void(const CountItem &)>;

    BarList(std::vector<CountItem> items, const QColor &tint, bool monospaced = false, SelectAction onSelect = {},
            QWidget *parent = nullptr);

    void setItems(std::vector<CountItem> items);
    const std::vector<CountItem> &items() const { return m_items; }
    QList<BarListRow *> rows() const;
    // The "No data" label, or nullptr while there are items.
    QLabel *emptyLabel() const { return m_empty; }

private:
    void rebuild();

    std::vector<CountItem> m_items;
    QColor m_tint;
    bool m_monospaced;
    SelectAction m_onSelect;
    QVBoxLayout *m_column = nullptr;
    QLabel *m_empty = nullptr;
};
