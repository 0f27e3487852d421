#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;

// How a one-line text fits a width: the font scale used (1 down to the minimum) and the text
// shown, cut at the end with "…" only when even the smallest scale is too wide.
struct FittedText {
    double scale = 1;
    QString text;
};
FittedText fitText(const QString &text, const QFont &font, int width, double minimumScale);

// A line of text that shrinks to 60 % of its font before it is cut; never wraps.
class ShrinkingLabel : public QWidget {
    Q_OBJECT

public:
    explicit ShrinkingLabel(const QString &text = {}, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    // What the current width shows.
    FittedText fitted() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};

// A metric tile: symbol in a tinted square, then title (caption, secondary), value (title2,
// semibold, one line, shrinking to 60 % then cut, digits of equal width) and optional detail
// (caption2, tertiary), top-aligned.
// With an action the whole tile is clickable; without one it ignores the pointer entirely.
class StatTile : public QWidget {
    Q_OBJECT

public:
    StatTile(const QString &title, const QString &value, const QString &detail, const QString &symbol,
             const QColor &tint, std::function<void()> action = {}, QWidget *parent = nullptr);

    void setValue(const QString &value);
    void setDetail(const QString &detail); // empty: no detail line
    void setTint(const QColor &tint);
    void setAction(std::function<void()> action);

    QString title() const;
    QString value() const;
    QString detail() const;
    QString symbol() const { return m_symbol; }
    QColor tint() const { return m_tint; }
    ShrinkingLabel *valueLabel() const { return m_value; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateIcon();
    // Title, value and detail joined with ", ".
    void updateAccessibleName();

    QString m_symbol;
    QColor m_tint;
    std::function<void()> m_action;
    QLabel *m_icon = nullptr;
    QLabel *m_title = nullptr;
    ShrinkingLabel *m_value = nullptr;
    QLabel *m_detail = nullptr;
    bool m_pressed = false;
};
