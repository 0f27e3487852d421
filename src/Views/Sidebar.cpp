#include "Views/Sidebar.h"

#include "Store/AuditStore.h"
#include "Services/AlertCenter.h"
#include "Services/LiveMonitor.h"
#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace {

struct Row {
    const char *section; // set on a section's first row
    Screen screen;
    const char *symbol;
};

constexpr std::array<Row, 10> rows = {{
    {"Analysis", Screen::dashboard, "chart.bar.xaxis"},
    {nullptr, Screen::events, "list.bullet.rectangle"},
    {nullptr, Screen::processes, "point.3.connected.trianglepath.dotted"},
    {nullptr, Screen::findings, "exclamationmark.shield"},
    {nullptr, Screen::network, "network"},
    {"Collection", Screen::live, "dot.radiowaves.left.and.right"},
    {nullptr, Screen::monitor, "bell.badge"},
    {nullptr, Screen::sources, "doc.on.doc"},
    {"System", Screen::setup, "gearshape.2"},
    {nullptr, Screen::reference, "book"},
}};

constexpr int rowHeight = 28;
constexpr int headerHeight = 26;
constexpr int dotSize = 7;
constexpr int pulseIntervalMs = 50;

QString spanTime(double time)
{
    return Format::dateTime(time, Format::DateStyle::abbreviated, Format::TimeStyle::shortened);
}

// Rows with the selection as a rounded accent pill, the badge or dot at the trailing edge.
class SidebarDelegate : public QStyledItemDelegate {
public:
    SidebarDelegate(const qreal *pulse, QObject *parent) : QStyledItemDelegate(parent), m_pulse(pulse) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool header = index.data(Sidebar::screenRole).toInt() < 0;
        return {option.rect.width(), header ? headerHeight : rowHeight};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRect rect = option.rect.adjusted(8, 1, -8, -1);
        const QPalette &palette = option.palette;
        if (index.data(Sidebar::screenRole).toInt() < 0) {
            QFont font = option.font;
            font.setBold(true);
            font.setPointSizeF(font.pointSizeF() * 0.85);
            painter->setFont(font);
            painter->setPen(Style::secondaryText());
            painter->drawText(rect.adjusted(6, 0, 0, -3), Qt::AlignLeft | Qt::AlignBottom,
                              index.data(Qt::DisplayRole).toString());
            painter->restore();
            return;
        }
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            QPainterPath pill;
            pill.addRoundedRect(rect, 6, 6);
            painter->fillPath(pill, palette.color(QPalette::Highlight));
        }
        const QColor text = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::WindowText);
        const QRect iconRect(rect.left() + 8, rect.center().y() - 8, 16, 16);
        const QIcon icon = selected ? symbolIcon(index.data(Sidebar::symbolRole).toString(), text)
                                    : index.data(Qt::DecorationRole).value<QIcon>();
        icon.paint(painter, iconRect);

        int right = rect.right() - 8;
        const QString badge = index.data(Sidebar::badgeRole).toString();
        if (!badge.isEmpty()) {
            QFont font = option.font;
            font.setPointSizeF(font.pointSizeF() * 0.9);
            painter->setFont(font);
            const QColor colour = selected                                       ? text
                                  : index.data(Sidebar::badgeAlertRole).toBool() ? Style::ink(Style::orange())
                                                                                 : Style::secondaryText();
            painter->setPen(colour);
            const int width = QFontMetrics(font).horizontalAdvance(badge);
            painter->drawText(QRect(right - width, rect.top(), width, rect.height()), Qt::AlignVCenter | Qt::AlignRight,
                              badge);
            right -= width + 8;
        }
        if (index.data(Sidebar::liveDotRole).toBool()) {
            QColor dot = Style::red();
            dot.setAlphaF(float(0.45 + 0.55 * std::abs(std::sin(*m_pulse))));
            painter->setPen(Qt::NoPen);
            painter->setBrush(dot);
            painter->drawEllipse(QRectF(right - dotSize, rect.center().y() - dotSize / 2.0 + 0.5, dotSize, dotSize));
            right -= dotSize + 8;
        }
        painter->setFont(option.font);
        painter->setPen(text);
        const QRect textRect(iconRect.right() + 9, rect.top(), right - iconRect.right() - 9, rect.height());
        const QString title = QFontMetrics(option.font)
                                  .elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, title);
        painter->restore();
    }

private:
    const qreal *m_pulse;
};

} // namespace

Sidebar::Sidebar(const ViewContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_list(new QListWidget(this))
    , m_footer(new QWidget(this))
    , m_firstLabel(new QLabel(m_footer))
    , m_lastLabel(new QLabel(m_footer))
    , m_pulse(new QTimer(this))
{
    setObjectName(QStringLiteral("sidebar"));
    setMinimumWidth(minimumWidth);
    setMaximumWidth(maximumWidth);
    setAutoFillBackground(true);
    QPalette sidebarPalette = palette();
    sidebarPalette.setColor(QPalette::Window, palette().color(QPalette::Window).darker(104));
    sidebarPalette.setColor(QPalette::Base, sidebarPalette.color(QPalette::Window));
    setPalette(sidebarPalette);

    m_list->setObjectName(QStringLiteral("sidebarList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(new SidebarDelegate(&m_pulsePhase, m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFocusPolicy(Qt::NoFocus);
    for (const Row &row : rows) {
        if (row.section) {
            auto *header = new QListWidgetItem(QString::fromUtf8(row.section), m_list);
            header->setFlags(Qt::NoItemFlags);
            header->setData(screenRole, -1);
        }
        auto *item = new QListWidgetItem(QString::fromUtf8(screenTitle(row.screen)), m_list);
        item->setData(screenRole, int(row.screen));
        item->setData(Qt::DecorationRole,
                      symbolIcon(QString::fromUtf8(row.symbol), palette().color(QPalette::Highlight)));
        item->setData(symbolRole, QString::fromUtf8(row.symbol));
        item->setToolTip(item->text());
    }

    // Footer: caption lines on a faint rounded panel, padded 10 inside and out.
    auto *panel = new QFrame(m_footer);
    panel->setObjectName(QStringLiteral("loadedSpan"));
    panel->setStyleSheet(QStringLiteral("#loadedSpan { background: rgba(0, 0, 0, 13); border-radius: 8px; }"));
    auto *title = new QLabel(QStringLiteral("Loaded span"), panel);
    Style::setTextStyle(title, Style::caption2(), Style::secondaryText());
    for (QLabel *label : {m_firstLabel, m_lastLabel}) {
        label->setParent(panel);
        Style::setTextStyle(label, Style::caption());
    }
    auto *lines = new QVBoxLayout(panel);
    lines->setContentsMargins(10, 10, 10, 10);
    lines->setSpacing(2);
    lines->addWidget(title);
    lines->addWidget(m_firstLabel);
    lines->addWidget(m_lastLabel);
    auto *outer = new QVBoxLayout(m_footer);
    outer->setContentsMargins(10, 10, 10, 10);
    outer->addWidget(panel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_footer);

    m_pulse->setInterval(pulseIntervalMs);
    connect(m_pulse, &QTimer::timeout, this, [this] {
        m_pulsePhase += 0.08;
        m_list->viewport()->update();
    });

    AuditStore *store = m_context.store;
    connect(m_list, &QListWidget::currentRowChanged, this, &Sidebar::rowChosen);
    connect(store, &AuditStore::screenChanged, this, &Sidebar::selectCurrentScreen);
    for (auto signal : {&AuditStore::recordsChanged, &AuditStore::processesChanged, &AuditStore::findingsChanged,
                        &AuditStore::sourcesChanged})
        connect(store, signal, this, &Sidebar::updateBadges);
    connect(store, &AuditStore::statsChanged, this, &Sidebar::updateFooter);
    if (m_context.alertCenter)
        connect(m_context.alertCenter, &AlertCenter::alertsChanged, this, &Sidebar::updateBadges);
    if (m_context.liveMonitor)
        connect(m_context.liveMonitor, &LiveMonitor::stateChanged, this, &Sidebar::updateLiveDot);

    selectCurrentScreen();
    updateBadges();
    updateLiveDot();
    updateFooter();
}

QListWidgetItem *Sidebar::item(Screen screen) const
{
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->data(screenRole).toInt() == int(screen)) return m_list->item(row);
    return nullptr;
}

void Sidebar::updateBadges()
{
    const AuditStore &store = *m_context.store;
    const auto set = [this](Screen screen, std::optional<int64_t> count, bool alert) {
        QListWidgetItem *row = item(screen);
        const QString badge = count && *count > 0 ? Format::count(*count) : QString();
        row->setData(badgeRole, badge);
        row->setData(badgeAlertRole, alert);
        // The badge is painted: read it after the title.
        row->setData(Qt::AccessibleTextRole,
                     badge.isEmpty() ? QVariant() : QVariant(row->text() + QStringLiteral(", ") + badge));
    };
    const bool loaded = !store.records().empty();
    set(Screen::events, loaded ? std::optional<int64_t>(store.records().size()) : std::nullopt, false);
    set(Screen::processes, loaded ? std::optional<int64_t>(store.processes().size()) : std::nullopt, false);
    int64_t serious = 0;
    for (const Finding &finding : store.findings()) serious += finding.severity >= Severity::medium;
    set(Screen::findings, serious, true);
    set(Screen::monitor,
        m_context.alertCenter ? std::optional(m_context.alertCenter->unacknowledgedCount()) : std::nullopt, true);
    set(Screen::sources, int64_t(store.sources().size()), false);
}

void Sidebar::updateLiveDot()
{
    const bool running = m_context.liveMonitor
                         && std::holds_alternative<LiveMonitor::Running>(m_context.liveMonitor->state());
    item(Screen::live)->setData(liveDotRole, running);
    if (running) m_pulse->start();
    else m_pulse->stop();
}

void Sidebar::updateFooter()
{
    const TrailStats &stats = m_context.store->stats();
    const bool known = stats.first && stats.last;
    if (known) {
        m_firstLabel->setText(spanTime(*stats.first));
        m_lastLabel->setText(QStringLiteral("→ ") + spanTime(*stats.last));
    }
    m_footer->setVisible(known);
}

void Sidebar::selectCurrentScreen()
{
    QListWidgetItem *row = item(m_context.store->screen());
    if (m_list->currentItem() == row) return;
    const QSignalBlocker blocker(m_list);
    m_list->setCurrentItem(row);
    m_list->viewport()->update();
}

void Sidebar::rowChosen(int row)
{
    QListWidgetItem *chosen = row >= 0 ? m_list->item(row) : nullptr;
    const int screen = chosen ? chosen->data(screenRole).toInt() : -1;
    // No row, or a section header: keep the current screen selected.
    if (screen < 0) {
        selectCurrentScreen();
        return;
    }
    if (Screen(screen) != m_context.store->screen()) m_context.store->setScreen(Screen(screen));
}
