#include "Views/Components/FilterChip.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace {
constexpr int paddingHorizontal = 8;
constexpr int paddingVertical = 3;
constexpr int spacing = 4;
constexpr double fillOpacity = 0.14;
} // namespace

FilterChip::FilterChip(const QString &text, std::function<void()> onRemove, QWidget *parent)
    : QWidget(parent), m_onRemove(std::move(onRemove))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(paddingHorizontal, paddingVertical, paddingHorizontal, paddingVertical);
    row->setSpacing(spacing);
    const QFont font = Style::caption();
    m_text = new QLabel(text, this);
    m_text->setObjectName("chipText");
    m_text->setFont(font);
    m_text->setTextFormat(Qt::PlainText);
    m_remove = new QToolButton(this);
    m_remove->setObjectName("chipRemove");
    m_remove->setAutoRaise(true);
    m_remove->setCursor(Qt::ArrowCursor);
    m_remove->setStyleSheet("QToolButton { border: none; padding: 0; background: transparent; }");
    const int glyph = QFontMetrics(font).height();
    m_remove->setIconSize({glyph, glyph});
    setSymbol(m_remove, "xmark.circle.fill", Style::secondaryText());
    m_remove->setToolTip("Remove");
    m_remove->setAccessibleName("Remove " + text);
    row->addWidget(m_text);
    row->addWidget(m_remove);
    connect(m_remove, &QToolButton::clicked, this, [this] {
        // The action usually rebuilds the chips, this one included: it runs last, from a copy.
        const std::function<void()> action = m_onRemove;
        emit removeClicked();
        if (action) action();
    });
}

QString FilterChip::text() const
{
    return m_text->text();
}

void FilterChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Style::paintCapsule(painter, rect(), Style::withOpacity(Style::accent(), fillOpacity));
}
