#include "Views/Components/WrappedText.h"

#include "Views/Components/Clipboard.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Longer texts are taken to be wider than any pane without measuring them.
constexpr qsizetype measuredLength = 4096;
constexpr int hintCharacters = 40;
constexpr int minimumCharacters = 4;

const QChar ellipsis(0x2026);

// QTextLayout breaks lines at U+2028 only; the swap keeps every position where it was.
QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(u'\n', QChar::LineSeparator);
    return shown;
}

} // namespace

struct WrappedText::Layout {
    int width = -1;
    QTextLayout body;
    int bodyLines = 0; // lines of the body painted as they are
    // When the line limit cuts the text, the last line is this one instead: the start of the
    // text's next line, kept characters of it, then "…".
    std::unique_ptr<QTextLayout> tail;
    int tailStart = 0;
    int tailKept = 0;
    qreal tailY = 0;
    qreal height = 0;
};

WrappedText::WrappedText(const QString &text, QWidget *parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    setText(text);
}

WrappedText::~WrappedText() = default;

void WrappedText::setText(const QString &text)
{
    if (text == m_text && m_naturalWidth >= 0) return;
    m_text = text;
    m_anchor = m_cursor = 0;
    setAccessibleName(text);
    invalidate();
}

void WrappedText::setMaximumLines(int lines)
{
    if (lines == m_maximumLines) return;
    m_maximumLines = std::max(0, lines);
    invalidate();
}

void WrappedText::invalidate()
{
    m_layout.reset();
    m_hintWidth = -1;
    m_naturalWidth = -1;
    updateGeometry();
    update();
}

std::unique_ptr<WrappedText::Layout> WrappedText::layOut(int width) const
{
    auto layout = std::make_unique<Layout>();
    layout->width = width;
    const QString shown = displayText(m_text);
    layout->body.setText(shown);
    layout->body.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->body.setTextOption(option);
    layout->body.setCacheEnabled(true);

    const qreal lineWidth = std::max(1, width);
    qreal y = 0;
    layout->body.beginLayout();
    for (;;) {
        QTextLine line = layout->body.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, y));
        const bool last = m_maximumLines > 0 && layout->body.lineCount() == m_maximumLines;
        if (last && line.textStart() + line.textLength() < shown.size()) {
            // Cut: as much of this line as fits before "…".
            QString kept = shown.mid(line.textStart(), line.textLength());
            while (!kept.isEmpty() && (kept.back().isSpace() || kept.back() == QChar::LineSeparator)) kept.chop(1);
            const QFontMetricsF metrics(font());
            while (!kept.isEmpty() && metrics.horizontalAdvance(kept + ellipsis) > lineWidth) kept.chop(1);
            layout->tail = std::make_unique<QTextLayout>(kept + ellipsis, font());
            layout->tail->beginLayout();
            QTextLine tailLine = layout->tail->createLine();
            tailLine.setPosition(QPointF(0, y));
            layout->tail->endLayout();
            layout->tailStart = line.textStart();
            layout->tailKept = int(kept.size());
            layout->tailY = y;
            y += tailLine.height();
            break;
        }
        ++layout->bodyLines;
        y += line.height();
        if (last) break;
    }
    layout->body.endLayout();
    layout->height = y;
    return layout;
}

const WrappedText::Layout &WrappedText::layout() const
{
    const int width = contentsRect().width();
    if (!m_layout || m_layout->width != width) m_layout = layOut(width);
    return *m_layout;
}

int WrappedText::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = width - margins.left() - margins.right();
    if (inner != m_hintWidth) {
        m_hintWidth = inner;
        m_hintHeight = int(std::ceil(m_layout && m_layout->width == inner ? m_layout->height : layOut(inner)->height));
    }
    return m_hintHeight + margins.top() + margins.bottom();
}

QSize WrappedText::sizeHint() const
{
    if (m_naturalWidth < 0) {
        if (m_text.size() > measuredLength) {
            m_naturalWidth = QWIDGETSIZE_MAX;
        } else {
            const QFontMetricsF metrics(font());
            qreal widest = 0;
            for (const QString &line : m_text.split(u'\n')) widest = std::max(widest, metrics.horizontalAdvance(line));
            m_naturalWidth = int(std::ceil(widest)) + 1;
        }
    }
    const QMargins margins = contentsMargins();
    const int width = std::min(m_naturalWidth, fontMetrics().averageCharWidth() * hintCharacters) + margins.left()
                      + margins.right();
    return {width, heightForWidth(width)};
}

QSize WrappedText::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    return {fontMetrics().averageCharWidth() * minimumCharacters + margins.left() + margins.right(),
            fontMetrics().height() + margins.top() + margins.bottom()};
}

QStringList WrappedText::shownLines() const
{
    const Layout &l = layout();
    QStringList lines;
    for (int i = 0; i < l.bodyLines; ++i) {
        const QTextLine line = l.body.lineAt(i);
        lines << m_text.mid(line.textStart(), line.textLength());
    }
    if (l.tail) lines << l.tail->text();
    return lines;
}

bool WrappedText::isElided() const
{
    return bool(layout().tail);
}

QString WrappedText::selectedText() const
{
    return m_text.mid(std::min(m_anchor, m_cursor), std::abs(m_cursor - m_anchor));
}

void WrappedText::selectAll()
{
    setSelection(0, int(m_text.size()));
}

void WrappedText::setSelection(int anchor, int cursor)
{
    if (anchor == m_anchor && cursor == m_cursor) return;
    m_anchor = anchor;
    m_cursor = cursor;
    update();
}

void WrappedText::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ContentsRectChange) invalidate();
    QWidget::changeEvent(event);
}

void WrappedText::paintEvent(QPaintEvent *)
{
    const Layout &l = layout();
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QPointF origin = contentsRect().topLeft();
    const int start = std::min(m_anchor, m_cursor);
    const int end = std::max(m_anchor, m_cursor);
    const auto selection = [&](int from, int to) {
        QList<QTextLayout::FormatRange> ranges;
        if (from >= to) return ranges;
        QTextLayout::FormatRange range;
        range.start = from;
        range.length = to - from;
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        ranges << range;
        return ranges;
    };
    if (l.tail) painter.setClipRect(QRectF(0, 0, width(), origin.y() + l.tailY));
    l.body.draw(&painter, origin, selection(start, end));
    if (!l.tail) return;
    painter.setClipping(false);
    // A selection running into the cut takes the "…" with it.
    const int tailEnd = end > l.tailStart + l.tailKept ? l.tailKept + 1 : end - l.tailStart;
    l.tail->draw(&painter, origin, selection(std::max(0, start - l.tailStart), tailEnd));
}

int WrappedText::positionAt(QPointF point) const
{
    const Layout &l = layout();
    const QPointF p = point - contentsRect().topLeft();
    if (l.tail && p.y() >= l.tailY) {
        const int position = l.tail->lineAt(0).xToCursor(p.x());
        return position >= l.tailKept ? int(m_text.size()) : l.tailStart + position;
    }
    for (int i = 0; i < l.bodyLines; ++i) {
        const QTextLine line = l.body.lineAt(i);
        if (p.y() < line.y() + line.height() || i == l.bodyLines - 1) return line.xToCursor(p.x());
    }
    return 0;
}

void WrappedText::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int position = positionAt(event->position());
    m_selecting = true;
    setSelection(position, position);
}

void WrappedText::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton)) return;
    setSelection(m_anchor, positionAt(event->position()));
}

void WrappedText::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting) return;
    m_selecting = false;
    setSelection(m_anchor, positionAt(event->position()));
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (m_anchor != m_cursor && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void WrappedText::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) return;
    // The word under the pointer: the run of characters between blanks.
    const int position = positionAt(event->position());
    int from = position;
    int to = position;
    while (from > 0 && !m_text[from - 1].isSpace()) --from;
    while (to < m_text.size() && !m_text[to].isSpace()) ++to;
    setSelection(from, to);
}

void WrappedText::keyPressEvent(QKeyEvent *event)
{
    if (!selectionKeyPressed(
            event, m_anchor != m_cursor, [this] { return selectedText(); }, [this] { selectAll(); }))
        QWidget::keyPressEvent(event);
}
