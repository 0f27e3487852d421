#pragma once

#include <QWidget>

#include <memory>

// Selectable text that wraps at word boundaries and breaks inside a word only where that word
// alone is wider than the line: a hash, a signing id or a long path breaks at the pane's edge
// instead of being cut. The breaks exist only in what is painted, so text(), the mouse selection
// and Ctrl+C give the text as it is. With a line limit, the last line shown ends in "…" when the
// text goes on. QLabel wraps only at word boundaries and cannot limit its lines.
class WrappedText : public QWidget {
    Q_OBJECT

public:
    explicit WrappedText(const QString &text = {}, QWidget *parent = nullptr);
    ~WrappedText() override;

    void setText(const QString &text);
    QString text() const { return m_text; }
    // At most this many lines, the last one cut with "…"; 0 for no limit.
    void setMaximumLines(int lines);
    int maximumLines() const { return m_maximumLines; }

    // The lines the current width paints, as painted.
    QStringList shownLines() const;
    // Whether the line limit cuts the text at the current width.
    bool isElided() const;

    QString selectedText() const;
    void selectAll();

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Layout;
    std::unique_ptr<Layout> layOut(int width) const;
    const Layout &layout() const;
    void invalidate();
    int positionAt(QPointF point) const;
    void setSelection(int anchor, int cursor);

    QString m_text;
    int m_maximumLines = 0;
    // The selection, as positions in the text; empty when equal.
    int m_anchor = 0;
    int m_cursor = 0;
    bool m_selecting = false;
    mutable std::unique_ptr<Layout> m_layout;
    mutable int m_hintWidth = -1;
    mutable int m_hintHeight = 0;
    mutable int m_naturalWidth = -1;
};
