#include "Views/Components/LineBox.h"

#include "Engine/Analysis/RecordFormatter.h"
#include "Views/Components/Clipboard.h"
#include "Views/Components/Style.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int padding = 8;
constexpr qreal cornerRadius = 6;
constexpr double fillOpacity = 0.5;
// Fewer columns would cut a character of four bytes from its line.
constexpr int minimumColumns = 4;

bool continuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The bytes of the first `columns` columns.
size_t bytesOf(std::string_view bytes, int columns)
{
    size_t at = 0;
    int seen = 0;
    while (at < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[at]);
        const int width = b >= 0xF0 ? 2 : 1;
        if (seen + width > columns) break;
        seen += width;
        ++at;
        while (at < bytes.size() && continuation(bytes[at])) ++at;
    }
    return at;
}

class WrappedLines : public LineSource {
public:
    explicit WrappedLines(LongText text) : m_text(std::move(text)) {}

    bool wraps() const override { return true; }

    size_t lineCount(int columns) const override
    {
        const size_t perLine = size_t(std::max(columns, minimumColumns));
        return std::max<size_t>(1, (m_text.size() + perLine - 1) / perLine);
    }

    QString line(size_t i, int columns) const override
    {
        const std::string bytes = lineBytes(i, columns);
        QString shown = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        // One picture a control character, so columns stay where they were.
        for (QChar &c : shown) {
            if (c.unicode() < 0x20) c = QChar(char16_t(0x2400 + c.unicode()));
            else if (c.unicode() == 0x7F) c = QChar(char16_t(0x2421));
        }
        return shown;
    }

    QString text(Position from, Position to, int columns) const override
    {
        const size_t begin = offsetOf(from, columns), end = offsetOf(to, columns);
        std::string bytes;
        if (end > begin) m_text.text.append(bytes, begin, end - begin);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }

private:
    // Where line i starts: i lines of `columns` bytes, moved back to a character's first byte.
    size_t start(size_t i, int columns) const
    {
        const size_t perLine = size_t(std::max(columns, minimumColumns));
        size_t at = i * perLine;
        if (at >= m_text.size()) return m_text.size();
        std::string before;
        m_text.text.append(before, at > 3 ? at - 3 : 0, std::min<size_t>(at, 3) + 1);
        for (size_t k = before.size(); k-- > 0 && at > 0 && continuation(before[k]);) --at;
        return at;
    }

    std::string lineBytes(size_t i, int columns) const
    {
        const size_t begin = start(i, columns), end = start(i + 1, columns);
        std::string bytes;
        m_text.text.append(bytes, begin, end - begin);
        return bytes;
    }

    size_t offsetOf(Position position, int columns) const
    {
        const std::string bytes = lineBytes(position.line, columns);
        return start(position.line, columns) + bytesOf(bytes, position.column);
    }

    LongText m_text;
};

class HexDumpLines : public LineSource {
public:
    HexDumpLines(std::span<const uint8_t> bytes, std::shared_ptr<const void> keep)
        : m_bytes(bytes), m_keep(std::move(keep))
    {}

    bool wraps() const override { return false; }
    size_t lineCount(int) const override { return std::max<size_t>(1, RecordFormatter::hexLineCount(m_bytes.size())); }

    QString line(size_t i, int) const override
    {
        std::string text;
        RecordFormatter::appendHexLine(text, m_bytes, i);
        return QString::fromLatin1(text.data(), qsizetype(text.size()));
    }

    QString text(Position from, Position to, int columns) const override
    {
        QString out;
        for (size_t i = from.line; i <= to.line && i < lineCount(columns); ++i) {
            const QString whole = line(i, columns);
            const int begin = i == from.line ? std::min(from.column, int(whole.size())) : 0;
            const int end = i == to.line ? std::min(to.column, int(whole.size())) : int(whole.size());
            if (i > from.line) out += u'\n';
            out += whole.mid(begin, std::max(0, end - begin));
        }
        return out;
    }

    int widestLine() const override
    {
        // Full lines are the widest; the last line's offset has the most digits.
        std::string last;
        const size_t lines = RecordFormatter::hexLineCount(m_bytes.size());
        if (lines == 0) return 0;
        RecordFormatter::appendHexLine(last, m_bytes, lines - 1);
        const size_t digits = last.find(' ');
        constexpr int fullLine = 16 * 3 - 1 + 2 + 16 + 2;
        return int(digits) + fullLine;
    }

private:
    std::span<const uint8_t> m_bytes;
    std::shared_ptr<const void> m_keep;
};

} // namespace

LongText LongText::of(std::string text)
{
    auto kept = std::make_shared<const std::string>(std::move(text));
    return {JoinedText(std::string_view(*kept)), kept};
}

LongText LongText::of(const QString &text)
{
    return of(text.toStdString());
}

QString LongText::toQString() const
{
    const std::string all = text.toString();
    return QString::fromUtf8(all.data(), qsizetype(all.size()));
}

std::unique_ptr<LineSource> wrappedLines(LongText text)
{
    return std::make_unique<WrappedLines>(std::move(text));
}

std::unique_ptr<LineSource> hexDumpLines(std::span<const uint8_t> bytes, std::shared_ptr<const void> keep)
{
    return std::make_unique<HexDumpLines>(bytes, std::move(keep));
}

LineBox::LineBox(std::unique_ptr<LineSource> source, int maximumLines, QWidget *parent)
    : QAbstractScrollArea(parent), m_source(std::move(source)), m_maximumLines(std::max(1, maximumLines))
{
    setFrameShape(QFrame::NoFrame);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(m_source->wraps() ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setMinimumWidth(padding * 4);
    fit();
}

LineBox::~LineBox() = default;

qreal LineBox::advance() const
{
    return std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0')));
}

int LineBox::lineHeight() const
{
    return std::max(1, QFontMetrics(font()).lineSpacing());
}

int LineBox::columns() const
{
    return std::max(minimumColumns, int((viewport()->width() - 2 * padding) / advance()));
}

int LineBox::contentWidth() const
{
    return int(std::ceil(m_source->widestLine() * advance())) + 2 * padding;
}

size_t LineBox::firstShownLine() const
{
    return size_t(std::max(0, verticalScrollBar()->value() - padding) / lineHeight());
}

size_t LineBox::lastShownLine() const
{
    const size_t last = size_t(std::max(0, verticalScrollBar()->value() + viewport()->height() - padding)
                               / lineHeight());
    return std::min(last, lineCount() - 1);
}

void LineBox::fit()
{
    if (m_fitting) return;
    m_fitting = true;
    // As tall as the lines up to the limit; the sideways bar, when shown, below them.
    const size_t lines = lineCount();
    const int shown = int(std::min<size_t>(lines, size_t(m_maximumLines)));
    const bool sideways = !m_source->wraps() && contentWidth() > viewport()->width();
    const int bar = sideways ? horizontalScrollBar()->sizeHint().height() : 0;
    setFixedHeight(shown * lineHeight() + 2 * padding + bar + 2 * frameWidth());
    const qint64 height = qint64(lines) * lineHeight() + 2 * padding;
    verticalScrollBar()->setRange(0,
                                  int(std::min<qint64>(INT32_MAX, std::max<qint64>(0, height - viewport()->height()))));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(lineHeight());
    horizontalScrollBar()->setRange(0, m_source->wraps() ? 0 : std::max(0, contentWidth() - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(int(advance()) * 4);
    m_fitting = false;
}

QSize LineBox::sizeHint() const
{
    const int width = m_source->wraps() ? padding * 4 : contentWidth();
    return {width, height()};
}

QSize LineBox::minimumSizeHint() const
{
    return {padding * 4, height()};
}

bool LineBox::event(QEvent *event)
{
    // The panel, behind the transparent viewport and the bars.
    if (event->type() == QEvent::Paint) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        painter.fillPath(path, Style::withOpacity(Style::quaternaryText(), fillOpacity));
    }
    return QAbstractScrollArea::event(event);
}

void LineBox::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const int height = lineHeight();
    const qreal width = advance();
    const int columns = this->columns();
    const int top = padding - verticalScrollBar()->value();
    const qreal left = padding - horizontalScrollBar()->value();
    const Position from = std::min(m_anchor, m_cursor), to = std::max(m_anchor, m_cursor);
    const QFontMetrics metrics(font());
    for (size_t i = firstShownLine(), last = lastShownLine(); i <= last && i < lineCount(); ++i) {
        const QString line = m_source->line(i, columns);
        const int y = top + int(i) * height;
        // The selected part of the line, in columns.
        const int begin = i < from.line ? int(line.size()) : i == from.line ? from.column : 0;
        const int end = i > to.line ? 0 : i == to.line ? to.column : int(line.size()) + (i < to.line ? 1 : 0);
        if (from != to && end > begin)
            painter.fillRect(QRectF(left + begin * width, y, (end - begin) * width, height),
                             palette().brush(QPalette::Highlight));
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPointF(left, y + metrics.ascent()), line);
        if (from != to && end > begin) {
            painter.save();
            painter.setClipRect(QRectF(left + begin * width, y, (end - begin) * width, height));
            painter.setPen(palette().color(QPalette::HighlightedText));
            painter.drawText(QPointF(left, y + metrics.ascent()), line);
            painter.restore();
        }
    }
}

void LineBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    fit();
}

void LineBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) fit();
}

void LineBox::scrollContentsBy(int, int)
{
    viewport()->update();
}

LineBox::Position LineBox::positionAt(QPointF point) const
{
    const size_t lines = lineCount();
    const qreal y = point.y() + verticalScrollBar()->value() - padding;
    const size_t line = y < 0 ? 0 : std::min(lines - 1, size_t(y / lineHeight()));
    const qreal x = point.x() + horizontalScrollBar()->value() - padding;
    const int length = int(m_source->line(line, columns()).size());
    return {line, std::clamp(int(std::lround(x / advance())), 0, length)};
}

void LineBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selecting = true;
    m_anchor = m_cursor = positionAt(event->position());
    viewport()->update();
}

void LineBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton)) return;
    m_cursor = positionAt(event->position());
    viewport()->update();
}

void LineBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting) return;
    m_selecting = false;
    m_cursor = positionAt(event->position());
    viewport()->update();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (m_anchor != m_cursor && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

QString LineBox::selectedText() const
{
    if (m_anchor == m_cursor) return {};
    return m_source->text(std::min(m_anchor, m_cursor), std::max(m_anchor, m_cursor), columns());
}

void LineBox::selectAll()
{
    const size_t last = lineCount() - 1;
    m_anchor = {};
    m_cursor = {last, int(m_source->line(last, columns()).size())};
    viewport()->update();
}

QString LineBox::text() const
{
    const size_t last = lineCount() - 1;
    return m_source->text({}, {last, int(m_source->line(last, columns()).size())}, columns());
}

void LineBox::keyPressEvent(QKeyEvent *event)
{
    if (!selectionKeyPressed(
            event, m_anchor != m_cursor, [this] { return selectedText(); }, [this] { selectAll(); }))
        QAbstractScrollArea::keyPressEvent(event);
}

void LineBox::wheelEvent(QWheelEvent *event)
{
    // A box without lines out of view leaves the wheel to the pane around it.
    const bool vertical = event->angleDelta().x() == 0 && event->pixelDelta().x() == 0;
    if (vertical && verticalScrollBar()->maximum() == 0) {
        event->ignore();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}
