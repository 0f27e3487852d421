#pragma once

#include <QCheckBox>

// A checkbox whose label wraps at word boundaries when its column is narrower than the label, so
// settings cards fit their width instead of cutting their toggles. The whole widget is the hit
// area, as for any checkbox; text() is the label as given.
class WrappingCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit WrappingCheckBox(const QString &text, QWidget *parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override;

private:
    // The indicator's width and the gap after it.
    int labelOffset() const;
    int labelHeight(int width) const;
};
