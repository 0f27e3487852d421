#pragma once

#include <QWidget>

// One line of text that never wraps and, when too narrow, is cut with "…" where asked (the
// middle by default). QLabel cannot elide, and a long path or summary must not widen its column.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString &text = {}, Qt::TextElideMode mode = Qt::ElideMiddle, QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    // Leading by default; vertically centred always.
    void setAlignment(Qt::Alignment alignment);
    // What the current width shows.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    Qt::TextElideMode m_mode;
    Qt::Alignment m_alignment = Qt::AlignLeft;
};
