#include "Views/Components/Card.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int padding = 16;
constexpr int spacing = 12;
constexpr int headerIconSpacing = 6;
} // namespace

Card::Card(const QString &title, const QString &symbol, QWidget *parent)
    : QWidget(parent), m_titleText(title), m_symbol(symbol)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    if (!title.isEmpty()) {
        m_header = new QWidget(this);
        m_header->setObjectName("cardHeader");
        auto *row = new QHBoxLayout(m_header);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(headerIconSpacing);
        const QFont font = Style::headline();
        if (!symbol.isEmpty()) {
            auto *icon = new QLabel(m_header);
            icon->setObjectName("cardSymbol");
            setSymbol(icon, symbol, QFontMetrics(font).height(), Style::secondaryText());
            row->addWidget(icon);
        }
        auto *label = new QLabel(title, m_header);
        label->setObjectName("cardTitle");
        label->setFont(font);
        row->addWidget(label);
        row->addStretch(1);
        column->addWidget(m_header);
    }
    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(spacing);
    column->addLayout(m_content);
    column->addStretch(1);
}

void Card::addContent(QWidget *widget)
{
    m_content->addWidget(widget);
}

void Card::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Style::paintPanel(painter, rect());
}
