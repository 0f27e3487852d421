#include "Views/Components/ContentUnavailable.h"

#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int symbolSize = 44;
constexpr int spacing = 8;
constexpr int margin = 24;
constexpr int descriptionWidth = 360;
} // namespace

ContentUnavailable::ContentUnavailable(const QString &title, const QString &symbol, const QString &description,
                                       QWidget *parent)
    : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(spacing);
    column->addStretch(1);
    m_icon = new QLabel(this);
    m_icon->setObjectName("unavailableSymbol");
    m_title = new QLabel(this);
    m_title->setObjectName("unavailableTitle");
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    m_title->setFont(Style::withWeight(Style::title2(), QFont::Bold));
    m_description = new QLabel(this);
    m_description->setObjectName("unavailableDescription");
    m_description->setTextFormat(Qt::PlainText);
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);
    m_description->setMaximumWidth(descriptionWidth);
    Style::setTextStyle(m_description, Style::body(), Style::secondaryText());
    column->addWidget(m_icon, 0, Qt::AlignHCenter);
    column->addWidget(m_title, 0, Qt::AlignHCenter);
    // Centred by stretches rather than by alignment, so the wrapped text gets the height it needs.
    auto *descriptionRow = new QHBoxLayout;
    descriptionRow->addStretch(1);
    descriptionRow->addWidget(m_description, 100);
    descriptionRow->addStretch(1);
    column->addLayout(descriptionRow);
    column->addStretch(1);
    setTitle(title);
    setSymbol(symbol);
    setDescription(description);
}

void ContentUnavailable::setTitle(const QString &title)
{
    m_title->setText(title);
    keepHostTallEnough();
}

void ContentUnavailable::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    ::setSymbol(m_icon, symbol, symbolSize, Style::secondaryText());
    setProperty("symbol", symbol);
}

void ContentUnavailable::setDescription(const QString &description)
{
    m_description->setText(description);
    m_description->setVisible(!description.isEmpty());
    keepHostTallEnough();
}

int ContentUnavailable::neededHeight() const
{
    return layout()->totalHeightForWidth(descriptionWidth + 2 * margin);
}

void ContentUnavailable::keepHostTallEnough()
{
    QWidget *host = parentWidget();
    auto *area = host ? qobject_cast<QAbstractScrollArea *>(host->parentWidget()) : nullptr;
    if (!area || area->viewport() != host) return;
    // What the area puts around its viewport: the frame, a table's header and the horizontal bar
    // of a list narrower than its columns.
    int around = 2 * area->frameWidth();
    if (area->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        around += area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
    if (const auto *table = qobject_cast<const QTableView *>(area); table && !table->horizontalHeader()->isHidden())
        around += table->horizontalHeader()->sizeHint().height();
    area->setMinimumHeight(std::max(area->minimumHeight(), neededHeight() + around));
}

QString ContentUnavailable::title() const
{
    return m_title->text();
}
QString ContentUnavailable::description() const
{
    return m_description->text();
}

void ContentUnavailable::attachTo(QWidget *host)
{
    setParent(host);
    setGeometry(host->rect());
    host->installEventFilter(this);
    raise();
    keepHostTallEnough();
}

bool ContentUnavailable::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
