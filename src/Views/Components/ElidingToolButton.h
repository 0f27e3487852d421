#pragma once

#include <QToolButton>

// A tool button that gives up the end of its text, cut with "…", when its bar is too narrow for
// all of it; text() keeps the whole text. The live capture's class menu, whose list can be long.
class ElidingToolButton : public QToolButton {
    Q_OBJECT

public:
    explicit ElidingToolButton(QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    // The text as the current width paints it.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
