#include "Views/Components/Expander.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int spacing = 4;
constexpr int headerSpacing = 6;
constexpr int chevronFrame = 12;
constexpr int headerPadding = 2;
constexpr int contentIndent = 18;

class Chevron : public QWidget {
public:
    explicit Chevron(QWidget *parent) : QWidget(parent)
    {
        setFixedWidth(chevronFrame);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    bool expanded = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const int size = std::min(chevronFrame, QFontMetrics(Style::caption()).height());
        painter.translate(width() / 2.0, height() / 2.0);
        painter.rotate(expanded ? 90 : 0);
        symbolIcon("chevron.right", Style::secondaryText()).paint(&painter, QRect(-size / 2, -size / 2, size, size));
    }
};

class HeaderButton : public QAbstractButton {
public:
    HeaderButton(QWidget *header, QWidget *parent) : QAbstractButton(parent)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(0, headerPadding, 0, headerPadding);
        row->setSpacing(headerSpacing);
        chevron = new Chevron(this);
        chevron->setProperty("symbol", QStringLiteral("chevron.right"));
        row->addWidget(chevron);
        // Labels inside a button take its Button role and paint in ButtonText; the header's own
        // role keeps the caller's text colours.
        if (header) header->setBackgroundRole(QPalette::Window);
        if (header) row->addWidget(header, 1);
        else row->addStretch(1);
    }
    Chevron *chevron = nullptr;

    QSize sizeHint() const override { return layout()->sizeHint(); }
    QSize minimumSizeHint() const override { return layout()->minimumSize(); }

protected:
    void paintEvent(QPaintEvent *) override {}
    // The whole rectangle is the hit area, whatever the header draws.
    bool hitButton(const QPoint &position) const override { return rect().contains(position); }
};
} // namespace

Expander::Expander(QWidget *header, QWidget *content, bool expanded, QWidget *parent)
    : QWidget(parent), m_expanded(expanded), m_content(content)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    m_button = new HeaderButton(header, this);
    m_button->setObjectName("expanderHeader");
    column->addWidget(m_button);
    m_contentFrame = new QWidget(this);
    auto *indent = new QVBoxLayout(m_contentFrame);
    indent->setContentsMargins(contentIndent, 0, 0, 0);
    if (content) indent->addWidget(content);
    column->addWidget(m_contentFrame);
    connect(m_button, &QAbstractButton::clicked, this, [this] {
        setExpanded(!m_expanded);
        emit expandedChanged(m_expanded);
    });
    apply();
}

void Expander::setExpanded(bool expanded)
{
    if (expanded == m_expanded) return;
    m_expanded = expanded;
    apply();
}

void Expander::apply()
{
    static_cast<HeaderButton *>(m_button)->chevron->expanded = m_expanded;
    static_cast<HeaderButton *>(m_button)->chevron->update();
    m_button->setAccessibleDescription(m_expanded ? "expanded" : "collapsed");
    m_contentFrame->setVisible(m_expanded);
}
