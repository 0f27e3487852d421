#include "Views/Components/Symbols.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIconEngine>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <map>

// Every symbol is a bundled SVG (resources/symbols, compiled in under :/symbols): black on a
// 24-unit grid, its ink applied when it is drawn. A "fill" variant has its inner mark cut out of the
// shape, so the mark shows whatever lies behind the icon, as the platform's symbols do.

namespace {

const QString symbolFolder = QStringLiteral(":/symbols/");
const QString missingSymbol = QStringLiteral(":/symbol-missing.svg");

QString symbolFile(const QString &name)
{
    if (name.isEmpty() || name.contains('/')) return {};
    const QString file = symbolFolder + name + QStringLiteral(".svg");
    return QFile::exists(file) ? file : QString();
}

// Freedesktop icon names that fit a symbol shown in the text colour.
QString themeName(const QString &symbol)
{
    static const std::map<QString, QString> table = {
        {"arrow.clockwise", "view-refresh"},
        {"arrow.down.doc", "document-import"},
        {"arrow.right", "go-next"},
        {"book", "help-contents"},
        {"chevron.right", "go-next"},
        {"doc", "text-x-generic"},
        {"doc.on.doc", "edit-copy"},
        {"exclamationmark.triangle", "dialog-warning"},
        {"gearshape.2", "preferences-system"},
        {"info.circle", "dialog-information"},
        {"network", "network-wired"},
        {"pause", "media-playback-pause"},
        {"play.fill", "media-playback-start"},
        {"plus.rectangle.on.folder", "document-open"},
        {"record.circle", "media-record"},
        {"square.and.arrow.up", "document-export"},
        {"stop.fill", "media-playback-stop"},
        {"terminal", "utilities-terminal"},
    };
    const auto found = table.find(symbol);
    return found == table.end() ? QString() : found->second;
}

class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, QColor color, QString file)
        : m_name(std::move(name)), m_color(std::move(color)), m_file(std::move(file))
    {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1;
        painter->drawPixmap(rect, scaledPixmap((QSizeF(rect.size()) * scale).toSize(), mode, state, scale));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1);
    }

    // QIcon hands over the size in device pixels already.
    QPixmap scaledPixmap(const QSize &pixels, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        if (pixels.isEmpty()) return {};
        // Table cells repaint the same few badges over and over: draw each variant once.
        const QColor color = ink(mode);
        const QString cacheKey = QStringLiteral("qm-symbol:%1:%2:%3x%4:%5")
                                     .arg(m_file)
                                     .arg(color.rgba(), 8, 16)
                                     .arg(pixels.width())
                                     .arg(pixels.height())
                                     .arg(scale);
        QPixmap result;
        if (QPixmapCache::find(cacheKey, &result)) return result;
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            const int side = std::min(pixels.width(), pixels.height());
            QSvgRenderer svg(m_file);
            svg.render(&painter, QRectF((pixels.width() - side) / 2.0, (pixels.height() - side) / 2.0, side, side));
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), color);
        }
        result = QPixmap::fromImage(image);
        result.setDevicePixelRatio(scale);
        QPixmapCache::insert(cacheKey, result);
        return result;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }

    QIconEngine *clone() const override { return new SymbolEngine(m_name, m_color, m_file); }
    QString key() const override { return QStringLiteral("QuillmarshSymbol"); }
    QString iconName() override { return m_name; }

private:
    QColor ink(QIcon::Mode mode) const
    {
        const QPalette palette = QApplication::palette();
        QColor color = m_color.isValid() ? m_color : palette.color(QPalette::WindowText);
        if (mode == QIcon::Selected && !m_color.isValid()) color = palette.color(QPalette::HighlightedText);
        if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35f);
        return color;
    }

    QString m_name;
    QColor m_color;
    QString m_file;
};

} // namespace

QIcon symbolIcon(const QString &name, const QColor &color)
{
    if (!color.isValid()) {
        const QString theme = themeName(name);
        if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) return QIcon::fromTheme(theme);
    }
    const QString file = symbolFile(name);
    return QIcon(new SymbolEngine(name, color, file.isEmpty() ? missingSymbol : file));
}

QPixmap symbolPixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio)
{
    return symbolIcon(name, color).pixmap(QSize(size, size), devicePixelRatio);
}

bool hasSymbol(const QString &name)
{
    return !symbolFile(name).isEmpty();
}

QStringList symbolNames()
{
    QStringList names = QDir(symbolFolder).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    for (QString &name : names) name.chop(4);
    return names;
}

void setSymbol(QAbstractButton *button, const QString &name, const QColor &color)
{
    button->setIcon(symbolIcon(name, color));
    button->setProperty("symbol", name);
}

void setSymbol(QAction *action, const QString &name, const QColor &color)
{
    action->setIcon(symbolIcon(name, color));
    action->setProperty("symbol", name);
}

void setSymbol(QLabel *label, const QString &name, int size, const QColor &color)
{
    const qreal scale = label->devicePixelRatioF();
    label->setPixmap(symbolPixmap(name, size, color, scale));
    label->setFixedSize(size, size);
    label->setProperty("symbol", name);
}
