#pragma once

#include "Engine/Record/JoinedText.h"

#include <QAbstractScrollArea>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// A text that may be too long to lay out, or even to hold as one QString: read in place, with
// whatever keeps the texts it views alive (a record's storage, or a string of its own).
struct LongText {
    JoinedText text;
    std::shared_ptr<const void> keep;

    static LongText of(std::string text);
    static LongText of(const QString &text);
    size_t size() const { return text.size(); }
    // All of it, for copying.
    QString toQString() const;
};

// The lines a LineBox shows, made one at a time when painted or copied. A line has one character
// per column.
class LineSource {
public:
    struct Position {
        size_t line = 0;
        int column = 0; // in the line's QString
        auto operator<=>(const Position &) const = default;
    };

    virtual ~LineSource() = default;
    // Whether lines follow the box's width; otherwise each keeps its own and the box scrolls sideways.
    virtual bool wraps() const = 0;
    virtual size_t lineCount(int columns) const = 0;
    virtual QString line(size_t i, int columns) const = 0;
    // What copying from `from` to `to` gives.
    virtual QString text(Position from, Position to, int columns) const = 0;
    // The widest line, in columns, of a source that does not wrap.
    virtual int widestLine() const { return 0; }
};

// A long text cut into lines of as many bytes as the box has columns (at character boundaries),
// control characters shown as their pictures (a line feed as "␊"); copying gives the text itself.
std::unique_ptr<LineSource> wrappedLines(LongText text);
// The raw bytes as the record formatter's hex dump, 16 bytes a line; copying gives its lines.
std::unique_ptr<LineSource> hexDumpLines(std::span<const uint8_t> bytes, std::shared_ptr<const void> keep);

// Monospaced, selectable lines on the rounded, faintly filled panel of the inspector's code
// boxes. Only the lines in view are made and painted, so a 16 MB record's dump or a text of
// sixteen million characters opens as fast as a short one. The box is as tall as its lines up to
// `maximumLines`, and scrolls inside beyond that; a source that does not wrap scrolls sideways
// when the box is narrower. Mouse selection, Ctrl+A and Ctrl+C work as in any text view; the
// context menu holds the box's actions (addAction).
class LineBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    LineBox(std::unique_ptr<LineSource> source, int maximumLines, QWidget *parent = nullptr);
    ~LineBox() override;

    const LineSource &source() const { return *m_source; }
    int columns() const;
    size_t lineCount() const { return m_source->lineCount(columns()); }
    int maximumLines() const { return m_maximumLines; }
    // The lines the box shows whole or in part now.
    size_t firstShownLine() const;
    size_t lastShownLine() const;

    QString selectedText() const;
    void selectAll();
    // All of the box's text, as copying a selection of all of it gives.
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    using Position = LineSource::Position;
    qreal advance() const;
    int lineHeight() const;
    int contentWidth() const;
    void fit();
    Position positionAt(QPointF point) const;

    std::unique_ptr<LineSource> m_source;
    int m_maximumLines;
    Position m_anchor;
    Position m_cursor;
    bool m_selecting = false;
    bool m_fitting = false;
};
