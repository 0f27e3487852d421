#include "Views/Components/TextBox.h"

#include "Views/Components/Clipboard.h"
#include "Views/Components/Style.h"
#include "Views/Components/WrappedText.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {
constexpr int padding = 8;
constexpr qreal cornerRadius = 6;
constexpr double fillOpacity = 0.5;
} // namespace

TextBox::TextBox(const QString &text, const QString &copyTitle, QWidget *parent) : QWidget(parent), m_text(text)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    m_label = new WrappedText(text, this);
    Style::setTextStyle(m_label, Style::monospaced(Style::callout()));
    // The label's own Copy menu would hide ours.
    m_label->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_label);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    m_copy = new QAction(copyTitle, this);
    connect(m_copy, &QAction::triggered, this, [this] { copyToClipboard(m_text); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        auto *menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(m_copy);
        menu->popup(mapToGlobal(at));
    });
}

void TextBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(path, Style::withOpacity(Style::quaternaryText(), fillOpacity));
}
