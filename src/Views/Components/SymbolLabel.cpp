#include "Views/Components/SymbolLabel.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {
constexpr int symbolSpacing = 6;
} // namespace

SymbolLabel::SymbolLabel(const QString &symbol, const QString &text, const QFont &font, const QColor &color,
                         QWidget *parent)
    : QWidget(parent), m_symbol(symbol)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(symbolSpacing);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("symbolLabelIcon"));
    setSymbol(icon, symbol, QFontMetrics(font).height(), color.isValid() ? color : Style::primaryText());
    row->addWidget(icon, 0, Qt::AlignTop);
    m_text = new QLabel(text, this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Style::setTextStyle(m_text, font, color);
    row->addWidget(m_text, 1);
}

QString SymbolLabel::text() const
{
    return m_text->text();
}
