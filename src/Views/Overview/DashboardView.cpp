#include "Views/Overview/DashboardView.h"

#include "Store/AuditStore.h"
#include "Views/Components/BarList.h"
#include "Views/Components/Card.h"
#include "Views/Components/StatTile.h"
#include "Views/Components/Style.h"
#include "Views/Overview/ActivityTimeline.h"
#include "Views/Overview/DashboardTexts.h"
#include "Views/Overview/OverviewCards.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int stackSpacing = 16;
constexpr int padding = 20;
constexpr int headerSpacing = 4;
constexpr int tileSpacing = 12;
constexpr int tileMinWidth = 10;
constexpr int rowSpacing = 16;

QColor tintColour(TileTint tint)
{
    switch (tint) {
    case TileTint::accent: return Style::accent();
    case TileTint::red: return Style::red();
    case TileTint::orange: return Style::orange();
    case TileTint::green: return Style::green();
    case TileTint::purple: return Style::purple();
    case TileTint::teal: return Style::teal();
    case TileTint::indigo: return Style::indigo();
    }
    return Style::accent();
}

struct RankedList {
    RankedCard card;
    const char *title;
    const char *symbol;
    bool monospaced;
    const std::vector<CountItem> TrailStats::*items;
    QColor (*tint)();
};

const std::array<RankedList, 5> rankedLists = {{
    {RankedCard::topEvents, "Top events", "list.number", false, &TrailStats::topEvents, Style::accent},
    {RankedCard::topProcesses, "Top processes", "terminal", true, &TrailStats::topProcesses, Style::purple},
    {RankedCard::users, "Users", "person.2", false, &TrailStats::topUsers, Style::teal},
    {RankedCard::failures, "Most frequent failures", "xmark.octagon", false, &TrailStats::topFailures, Style::red},
    {RankedCard::remoteAddresses, "Remote terminal addresses", "globe", true, &TrailStats::remoteAddresses,
     Style::orange},
}};

QHBoxLayout *cardRow()
{
    auto *row = new QHBoxLayout;
    row->setSpacing(rowSpacing);
    return row;
}

} // namespace

DashboardView::DashboardView(const ViewContext &context, QWidget *parent)
    : ScreenWidget(context, parent), m_summarizing([this] { m_findings->setDeriving(m_summarizing.pending()); })
{
    AuditStore *store = context.store;
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("overviewScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);

    auto *content = new QWidget;
    auto *stack = new QVBoxLayout(content);
    stack->setSpacing(stackSpacing);
    stack->setContentsMargins(padding, padding, padding, padding);

    // Header
    auto *header = new QVBoxLayout;
    header->setSpacing(headerSpacing);
    auto *title = new QLabel(QStringLiteral("Audit overview"), content);
    title->setObjectName(QStringLiteral("overviewTitle"));
    Style::setTextStyle(title, Style::withWeight(Style::largeTitle(), QFont::Bold));
    header->addWidget(title);
    m_span = new QLabel(content);
    m_span->setObjectName(QStringLiteral("overviewSpan"));
    m_span->setTextFormat(Qt::PlainText);
    Style::setTextStyle(m_span, Style::body(), Style::secondaryText());
    header->addWidget(m_span);
    stack->addLayout(header);

    // Tiles: six equal columns, so they stay one row at any width.
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(tileSpacing);
    grid->setVerticalSpacing(tileSpacing);
    const std::array<std::function<void()>, 6> actions = {
        [store] { store->showEvents(EventFilter()); },
        [store] {
            EventFilter failures;
            failures.result = ResultFilter::failure;
            failures.label = "failures";
            store->showEvents(std::move(failures));
        },
        [store] { store->setScreen(Screen::findings); },
        [store] { store->setScreen(Screen::processes); },
        {},
        {},
    };
    const auto tiles = overviewTiles({store->stats(), store->sources().size(), int64_t(store->findings().size()),
                                      std::nullopt, store->processes().size()});
    for (size_t i = 0; i < m_tiles.size(); ++i) {
        const TileContent &texts = tiles[i];
        m_tiles[i] = new StatTile(texts.title, texts.value, texts.detail.value_or(QString()), texts.symbol,
                                  tintColour(texts.tint), actions[i], content);
        m_tiles[i]->setMinimumWidth(tileMinWidth);
        m_tiles[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        grid->addWidget(m_tiles[i], 0, int(i));
        grid->setColumnStretch(int(i), 1);
    }
    stack->addLayout(grid);

    // Activity
    auto *activity = new Card(QStringLiteral("Activity"), QStringLiteral("waveform.path.ecg"), content);
    m_timeline = new ActivityTimeline(store, activity);
    activity->addContent(m_timeline);
    m_caption = new QLabel(activity);
    m_caption->setObjectName(QStringLiteral("bucketCaption"));
    Style::setTextStyle(m_caption, Style::caption(), Style::tertiaryText());
    activity->addContent(m_caption);
    stack->addWidget(activity);

    QHBoxLayout *charts = cardRow();
    m_findings = new FindingsCard(store, content);
    m_classes = new EventClassesCard(store, content);
    charts->addWidget(m_findings, 1, Qt::AlignTop);
    charts->addWidget(m_classes, 1, Qt::AlignTop);
    stack->addLayout(charts);

    QHBoxLayout *middle = cardRow();
    QHBoxLayout *bottom = cardRow();
    for (size_t i = 0; i < rankedLists.size(); ++i) {
        const RankedList &ranked = rankedLists[i];
        auto *card = new Card(QString::fromUtf8(ranked.title), QString::fromUtf8(ranked.symbol), content);
        const RankedCard which = ranked.card;
        m_lists[i] = new BarList(
            {}, ranked.tint(), ranked.monospaced,
            [store, which](const CountItem &item) { store->showEvents(rankedRowFilter(which, item)); }, card);
        card->addContent(m_lists[i]);
        (i < 2 ? middle : bottom)->addWidget(card, 1, Qt::AlignTop);
    }
    stack->addLayout(middle);
    stack->addLayout(bottom);
    stack->addStretch(1);
    scroll->setWidget(content);

    connect(store, &AuditStore::statsChanged, this, [this] {
        refreshHeader();
        refreshTiles();
        refreshStats();
    });
    connect(store, &AuditStore::findingsChanged, this, &DashboardView::summarize);
    connect(store, &AuditStore::sourcesChanged, this, [this] {
        refreshTiles();
        emit subtitleChanged();
    });
    connect(store, &AuditStore::processesChanged, this, &DashboardView::refreshTiles);
    refreshHeader();
    refreshTiles();
    refreshStats();
    summarize();
}

void DashboardView::summarize()
{
    m_summarizing.run(
        this,
        [findings = context().store->findingsSnapshot()](const PoolWork::Ticket &) {
            return summarizeFindings(*findings);
        },
        [this](FindingsSummary summary) {
            m_summary = std::move(summary);
            refreshTiles();
            m_findings->refresh(*m_summary);
        });
}

QString DashboardView::subtitle() const
{
    return windowSubtitle(context().store->sources());
}

void DashboardView::refreshHeader()
{
    const TrailStats &stats = context().store->stats();
    const QString line = spanLine(stats.first, stats.last);
    m_span->setText(line);
    m_span->setVisible(!line.isEmpty());
}

void DashboardView::refreshTiles()
{
    const AuditStore &store = *context().store;
    // The count of high and critical findings is the summary's, so it agrees with the card.
    const auto tiles = overviewTiles(
        {store.stats(), store.sources().size(), m_summary ? m_summary->total : int64_t(store.findings().size()),
         m_summary ? std::optional(m_summary->highOrCritical()) : std::nullopt, store.processes().size()});
    for (size_t i = 0; i < tiles.size(); ++i) {
        StatTile *tile = m_tiles[i];
        const TileContent &texts = tiles[i];
        tile->setValue(texts.value);
        tile->setDetail(texts.detail.value_or(QString()));
        tile->setTint(tintColour(texts.tint));
    }
}

void DashboardView::refreshStats()
{
    const TrailStats &stats = context().store->stats();
    m_caption->setText(bucketSizeCaption(stats.bucketSize));
    m_timeline->update();
    m_classes->refresh();
    for (size_t i = 0; i < rankedLists.size(); ++i) m_lists[i]->setItems(stats.*rankedLists[i].items);
}
